// The page as people use it in Chromium, Firefox and WebKit, served and as one file from disk:
// IT files byte for byte the native program's, songs played and saved as WAV files byte for byte
// as Debian's libmikmod renders them, the policy holding, offline use, accessibility.
// Usage: xvfb-run -a node tests/web/page.test.mjs SITE ONEFILE NATIVE RENDER MODULES
//   SITE, ONEFILE: the page's two forms as built; NATIVE: the native program, the reference for
//   every IT file; RENDER: kzmrender, for every WAV file; MODULES: a folder with demo.kzm,
//   typical.kzm, largest.kzm, short.kzm and unplayable.kzm. 1 on a failure.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { SERVED } from '../../web/policy.mjs';
import { serve } from '../../web/serve.mjs';
import { launch, ready, require, settled, until, workerNamed } from './browsers.mjs';

const { unzipSync } = require('fflate');
const [site, onefile, native, render, modules] = process.argv.slice(2, 7).map((p) => path.resolve(p));
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kzmpage.'));
const at = (...names) => path.join(scratch, ...names);
const READY = 'Ready: choose or drop KZM files.';
const CANNOT = 'The converter cannot start: this browser does not allow ';

// The inputs, and the native program's IT file for each that converts.
const input = (name) => at('in', name);
for (const folder of ['again', 'songs/sub.kzm', 'empty'])
    fs.mkdirSync(input(folder), { recursive: true });
const copies = { 'demo.kzm': 'demo', 'typical.kzm': 'typical', 'largest.kzm': 'largest',
    'again/demo.kzm': 'typical', 'songs/b.kzm': 'demo', 'songs/A.KZM': 'demo', 'after.kzm': 'demo',
    'short.kzm': 'short', 'unplayable.kzm': 'unplayable' };
for (const [name, m] of Object.entries(copies))
    fs.copyFileSync(path.join(modules, m + '.kzm'), input(name));
const demo = fs.readFileSync(input('demo.kzm'));
fs.writeFileSync(input('cut.kzm'), demo.subarray(0, demo.length >> 1));
fs.writeFileSync(input('songs/notes.txt'), 'not a module');
const converts = ['demo', 'typical', 'largest', 'short', 'unplayable'].map((m) => input(m + '.kzm'));
execFileSync(native, ['-o', scratch, ...converts]);
for (const song of ['demo', 'short'])
    execFileSync(render, [at(song + '.it'), at(song + '.pcm')]);
const reference = (name) => fs.readFileSync(at(name));

// A song's WAV file: the canonical 44-byte header (PCM, 2 channels, 44,100 Hz, 16 bits), the render.
const le = (bytes, v) => Buffer.from([0, 8, 16, 24].slice(0, bytes).map((shift) => (v >> shift) & 255));
const wav = (pcm) => Buffer.concat([Buffer.from('RIFF'), le(4, 36 + pcm.length), Buffer.from('WAVEfmt '),
    le(4, 16), le(2, 1), le(2, 2), le(4, 44100), le(4, 176400), le(2, 4), le(2, 16), Buffer.from('data'),
    le(4, pcm.length), pcm]);

// The one file, copied anywhere; the site on a server that notes what it serves after ready.
fs.mkdirSync(at('anywhere'));
fs.copyFileSync(onefile, at('anywhere', 'kzm2it.html'));
let served = null;
const server = await serve(site, { served: (url) => served?.push(url) });
const FORMS = { served: server.url, file: pathToFileURL(at('anywhere', 'kzm2it.html')).href };
const siteFiles = ['/sw.js', ...fs.readdirSync(site).map((f) => '/' + f)];

// A listener on another loopback port: what the page or its worker sends there is heard.
const heard = [];
const listener = http.createServer((req, res) => {
    heard.push(req.url);
    res.end();
});
listener.on('upgrade', (req, socket) => {
    heard.push(req.url);
    socket.destroy();
});
await new Promise((resolve) => listener.listen(0, '127.0.0.1', resolve));
const away = `127.0.0.1:${listener.address().port}`;
const SENT = ['page-beacon', 'page-fetch', 'page-image', 'page-socket', 'worker-fetch', 'worker-socket'];

// Sends to the listener every way the scope has: a page fetch, image, beacon and socket; a worker
// fetch and socket (the others throw there).
function send(to, from) {
    const url = (way) => `http://${to}/${from}-${way}`;
    const ways = [() => fetch(url('fetch')).catch(() => {}), () => (new Image().src = url('image')),
        () => navigator.sendBeacon(url('beacon')), () => new WebSocket(url('socket').replace('http', 'ws'))];
    for (const go of ways) {
        try {
            go();
        } catch (err) {
            // refused, or not in this scope
        }
    }
}

// What the listener hears from the page and its worker.
async function leak(page) {
    heard.length = 0;
    await page.evaluate(send, away, 'page');
    await (await workerNamed(page, 'converter')).evaluate(send, away, 'worker');
    await new Promise((r) => setTimeout(r, 1500));
    return heard.map((url) => url.slice(1)).sort();
}

// Follows the link that selector names, as a click does; returns the file saved, once it has no
// .part beside it and has kept its size for 0.1 s (Firefox may make the file before its .part).
async function follow(b, selector, name) {
    await b.click(selector);
    const saved = path.join(b.downloads, name);
    const size = () => (fs.existsSync(saved) && !fs.existsSync(saved + '.part') ? fs.statSync(saved).size : -1);
    for (let t = 0, was = -1; size() < 0 || size() !== was; t++) {
        assert.ok(t < 600, 'no download of ' + name);
        was = size();
        await new Promise((r) => setTimeout(r, 100));
    }
    return fs.readFileSync(saved);
}

// A folder whose entry cannot be read, with no handle, dropped as a browser hands it over.
function dropLocked() {
    const reader = { readEntries: (ok, fail) => fail(new DOMException('no', 'EncodingError')) };
    const entry = { isDirectory: true, name: 'locked', createReader: () => reader };
    const item = { kind: 'file', webkitGetAsEntry: () => entry, getAsFile: () => null };
    const drop = new Event('drop', { bubbles: true, cancelable: true });
    Object.defineProperty(drop, 'dataTransfer', { value: { items: [item] } });
    document.body.dispatchEvent(drop);
}

// Listening, in every engine: a click on a row's play button changes the row at once, a song that
// the player refuses says so and keeps its link, and the WAV files of the demo and the short song
// are Debian's libmikmod's render (WebKit's WebDriver gets no downloads: their names and sizes
// shown). In Chromium the audio context runs and its time advances, a second song stops the first,
// and a pause leaves no context running (headless Firefox keeps its context suspended).
async function listen(b, engine, what) {
    const player = (n) => b.run((n) => [...document.querySelectorAll(`#rows li:nth-child(${n}) .player > *`)]
        .filter((e) => !e.hidden).map((e) => e.getAttribute('aria-label') || e.textContent)[0], n);
    await b.click('#rows li:nth-child(6) .play');
    await until(b, () => document.querySelector('#rows li:nth-child(6) .play').hidden || null);
    assert.deepEqual([await player(6), (await settled(b, 6))[5][1]], ['this song cannot be played here', 'unplayable.it']);
    await b.click('#rows li:nth-child(1) .play');
    assert.equal(await player(1), 'Pause demo.it', what);
    let pausing = 1;
    if (engine === 'chromium') {
        const t = await until(b, () => (audio.state === 'running' && audio.currentTime > 0.5 ? audio.currentTime : null));
        await until(b, (t) => (audio.currentTime > t + 0.5 ? true : null), t);
        await b.click('#rows li:nth-child(2) .play');
        assert.deepEqual([await player(1), await player(2)], ['Play demo.it', 'Pause typical.it'], what);
        pausing = 2;
    }
    await b.click(`#rows li:nth-child(${pausing}) .play`);
    assert.match(await player(pausing), /^Play /, what);
    assert.ok(await until(b, () => (audio.state === 'running' ? null : audio.state)));
    for (const [n, song] of [[1, 'demo'], [5, 'short']]) {
        const want = wav(reference(song + '.pcm'));
        if (engine !== 'webkit') {
            assert.ok((await follow(b, `#rows li:nth-child(${n}) .save`, song + '.wav')).equals(want), what + song);
            continue;
        }
        await b.click(`#rows li:nth-child(${n}) .save`);
        const note = await until(b, (n) => document.querySelector(`#rows li:nth-child(${n}) .player > :last-child`).textContent || null, n);
        assert.match(note, new RegExp(`^${song}\\.wav .*\\(${want.length.toLocaleString('en')} bytes\\)$`), what);
    }
}

// In Chromium: drops of files and folders, a worker broken off, the largest module and a module after
// it, a file changed on disk since it was chosen, the zip.
async function chromium(b) {
    const page = b.page;
    await (await workerNamed(page, 'converter')).evaluate(() => {
        kzm._kzmworkerconvert = null;   // the next conversion throws midway, as lack of memory does
    });
    await page.evaluate((given) => {
        const dt = new DataTransfer();
        for (const [name, bytes] of given)
            dt.items.add(new File([new Uint8Array(bytes)], name));
        const init = { dataTransfer: dt, bubbles: true, cancelable: true };
        document.body.dispatchEvent(new DragEvent('drop', init));
    }, [['broken.kzm', [...demo]], ['Demo copy.KZM', [...demo]]]);
    await settled(b, 8);
    // Folders as the system drops them: read through their entries, or their handles from disk.
    const cdp = await page.createCDPSession();
    const data = { items: [], files: [input('songs'), input('empty')], dragOperationsMask: 1 };
    for (const type of ['dragEnter', 'dragOver', 'drop'])
        await cdp.send('Input.dispatchDragEvent', { type, x: 10, y: 10, data });
    await settled(b, 11);
    await page.evaluate(dropLocked);
    fs.copyFileSync(input('demo.kzm'), input('gone.kzm'));
    await b.choose(['largest.kzm', 'after.kzm', 'gone.kzm'].map(input));
    await page.evaluate(() => queue.at(-1).file.size);   // the browser notes the file as it stands
    fs.appendFileSync(input('gone.kzm'), 'changed');
    const rows = await settled(b, 15);
    const shown = rows.slice(6).map((r) => r[1] || r[2]);
    assert.deepEqual(shown, ['the work file cannot be made or read', 'Demo copy.it', 'A.it', 'b.it',
        'the folder holds no .kzm file', 'the folder cannot be read', 'largest.it', 'after.it', 'cannot be opened']);
    const names = rows.slice(8, 12).map((r) => r[0]);
    assert.deepEqual(names, ['songs/A.KZM', 'songs/b.kzm', 'empty', 'locked']);
    // The worker that converted the largest module is replaced: the next module is still right.
    for (const [n, name, like] of [[13, 'largest.it', 'largest.it'], [14, 'after.it', 'demo.it']])
        assert.ok((await follow(b, `#rows li:nth-child(${n}) a`, name)).equals(reference(like)), name);
    const zip = unzipSync(await follow(b, '#zip', 'kzm2it-converted.zip'));
    const demos = ['Demo copy.it', 'A.it', 'b.it', 'after.it'];
    const zipped = [...demos, 'demo.it', 'largest.it', 'typical.it', 'short.it', 'unplayable.it'];
    assert.deepEqual(Object.keys(zip).sort(), zipped.sort());
    for (const [name, bytes] of Object.entries(zip))
        assert.ok(reference(demos.includes(name) ? 'demo.it' : name).equals(bytes), name);
    assert.deepEqual(await leak(page), [], 'sent past the policy');
}

// In Chromium, the site: installable, accessible, offline once visited, a new version announced.
async function app(b) {
    const page = b.page;
    // The true reason when the browser refuses WebAssembly or a worker.
    for (const [refused, says] of [[" 'wasm-unsafe-eval'", 'WebAssembly on this page'],
        [' blob:', 'this page a worker']]) {
        const strict = await serve(site, { policy: SERVED.replace(refused, '') });
        assert.equal(await ready(b, strict.url), CANNOT + says + '.');
        strict.close();
    }
    assert.equal(await ready(b, server.url), READY);
    await page.evaluate(() => navigator.serviceWorker.ready);
    const cdp = await page.createCDPSession();
    assert.deepEqual((await cdp.send('Page.getInstallabilityErrors')).installabilityErrors, []);

    // axe finds nothing, light and dark, at a phone's and a desktop's width, before and after a
    // conversion; nothing is wider than a phone; the keyboard's first stop is the file button.
    await page.evaluate(fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8'));
    const axe = () => page.evaluate(() => axe.run().then((r) => r.violations.map((v) => v.id)));
    await page.keyboard.press('Tab');
    assert.equal(await page.evaluate(() => document.activeElement.id), 'files');
    assert.deepEqual(await axe(), []);
    await b.choose([input('demo.kzm'), input('cut.kzm')]);
    await settled(b, 2);
    for (const [scheme, width] of [['dark', 360], ['light', 360], ['dark', 1280]]) {
        await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: scheme }]);
        await page.setViewport({ width, height: 800 });
        assert.deepEqual(await axe(), [], scheme + ' ' + width);
        const fits = await page.evaluate(() => document.documentElement.scrollWidth <= innerWidth);
        assert.ok(fits, 'wider than ' + width);
    }
    // The keyboard alone plays and pauses a song: from the file button, past its IT file's link.
    await page.focus('#files');
    for (const key of ['Tab', 'Tab', 'Space'])
        await page.keyboard.press(key);
    assert.equal(await page.$eval('#rows .play', (e) => e.ariaLabel), 'Pause demo.it');
    await page.keyboard.press('Space');

    // Offline: the server gone, the page loads from the service worker's cache and converts.
    server.closeAllConnections();
    await new Promise((r) => server.close(r));
    assert.equal(await ready(b, server.url), READY);
    await b.choose([input('demo.kzm')]);
    assert.deepEqual((await settled(b, 1))[0].slice(0, 2), ['demo.kzm', 'demo.it']);

    // The site built anew as another version, on the same origin: the old version announces it,
    // the next load is the new one; a page loaded before goes on getting its own version's files.
    const other = await page.browser().newPage();
    await other.goto(server.url);
    const build = new URL('../../web/build.mjs', import.meta.url).pathname;
    const parts = ['kzmweb.js', 'kzmweb.wasm', 'kzmplay.js', 'kzmplay.wasm', 'LICENSE.txt', 'THIRD-PARTY.txt'];
    execFileSync('node', [build, at('site2'), at('one2.html'), '9.9.9', ...parts.map((f) => site + '/' + f)]);
    const port = Number(new URL(server.url).port);
    const changed = await serve(at('site2'), { port });
    const version = () => page.$eval('footer', (f) => f.textContent.trim().split(',')[0]);
    assert.equal(await ready(b, server.url), READY);
    assert.notEqual(await version(), 'kzm2it 9.9.9');
    await until(b, () => (document.getElementById('update').hidden ? null : true));
    await until(b, () => navigator.serviceWorker.getRegistration().then((r) => (r.waiting ? null : 1)));
    const own = await other.evaluate(() => fetch('index.html').then((r) => r.text()));
    assert.ok(!own.includes('9.9.9'), 'an open page got a file of the new version');
    assert.equal(await ready(b, server.url), READY);
    assert.equal(await version(), 'kzm2it 9.9.9');
    changed.close();
}

let failed = false;
try {
    for (const engine of ['chromium', 'firefox', 'webkit']) {
        for (const [form, url] of Object.entries(FORMS)) {
            const what = `${engine}, ${form}: `;
            const b = await launch(engine, at('downloads', engine + '-' + form));
            try {
                assert.equal(await ready(b, url), READY, what);
                served = [];
                await b.choose(['demo', 'typical', 'cut', 'again/demo', 'short', 'unplayable'].map((m) => input(m + '.kzm')));
                const rows = await settled(b, 6);
                assert.deepEqual(rows, [['demo.kzm', 'demo.it', rows[0][2]],
                    ['typical.kzm', 'typical.it', rows[1][2]],
                    ['cut.kzm', null, 'not a KZM file, or its data is damaged or cut short'],
                    ['demo.kzm', null, 'demo.it would replace a file of this run'],
                    ['short.kzm', 'short.it', rows[4][2]], ['unplayable.kzm', 'unplayable.it', rows[5][2]]], what);
                for (const [i, name] of [[0, 'demo.it'], [1, 'typical.it']]) {
                    const size = `(${reference(name).length.toLocaleString('en')} bytes)`;
                    assert.ok(rows[i][2].endsWith(size), what + rows[i][2]);
                    // WebKit's WebDriver gets no downloads: there the names and sizes must do.
                    if (engine === 'webkit')
                        continue;
                    const got = await follow(b, `#rows li:nth-child(${i + 1}) a`, name);
                    assert.ok(got.equals(reference(name)), what + name);
                }
                await listen(b, engine, what);
                if (engine === 'chromium')
                    await chromium(b);
                const own = served.every((u) => form === 'served' && siteFiles.includes(u));
                assert.ok(own, what + 'served after ready: ' + served);
                // Without the policy the same tries are heard: the check of the policy can fail.
                if (engine === 'chromium') {
                    await b.page.setBypassCSP(true);
                    assert.equal(await ready(b, url), READY);
                    assert.deepEqual(await leak(b.page), SENT, what + 'without the policy');
                }
            } finally {
                await b.close();
            }
            console.log(what + 'passed');
        }
    }
    const b = await launch('chromium', at('downloads', 'app'));
    await app(b).finally(() => b.close());
    console.log('page: every check passed');
} catch (err) {
    failed = true;
    console.error(err);
} finally {
    server.close();
    listener.close();
    fs.rmSync(scratch, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
