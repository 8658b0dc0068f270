// The page in headless Chromium, as a person uses it: files chosen and dropped, links followed, the zip.
// Usage: node tests/web/page.test.mjs SITE NATIVE MODULES [--time]
//   SITE: the built page (build-wasm/web); NATIVE: the native program, the reference for every IT
//   file; MODULES: a folder holding demo.kzm, typical.kzm and largest.kzm. Exits 1 on any failure.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import os from 'node:os';
import path from 'node:path';

const require = createRequire(new URL('../../web/package.json', import.meta.url));
const puppeteer = require('puppeteer-core');
const { unzipSync } = require('fflate');

const [site, native, modules] = process.argv.slice(2, 5).map((p) => path.resolve(p));
const timing = process.argv.includes('--time');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kzmpage.'));
const downloads = path.join(scratch, 'downloads');
const DAMAGED = 'not a KZM file, or its data is damaged or cut short';

// The inputs, and the native program's IT file for each that converts.
const input = (name) => path.join(scratch, 'in', name);
fs.mkdirSync(path.join(scratch, 'in', 'again'), { recursive: true });
for (const m of ['demo', 'typical', 'largest'])
    fs.copyFileSync(path.join(modules, m + '.kzm'), input(m + '.kzm'));
const demo = fs.readFileSync(input('demo.kzm'));
fs.writeFileSync(input('cut.kzm'), demo.subarray(0, demo.length >> 1));
fs.copyFileSync(input('typical.kzm'), input('again/demo.kzm'));
fs.mkdirSync(input('songs/sub.kzm'), { recursive: true });
fs.mkdirSync(input('empty'));
fs.copyFileSync(input('demo.kzm'), input('songs/b.kzm'));
fs.copyFileSync(input('demo.kzm'), input('songs/A.KZM'));
fs.writeFileSync(input('songs/notes.txt'), 'not a module');
fs.mkdirSync(path.join(scratch, 'ref'));
let started = Date.now();
execFileSync(native, ['-o', path.join(scratch, 'ref'), input('demo.kzm'), input('typical.kzm'), input('largest.kzm')]);
const nativeMs = Date.now() - started;
const reference = (name) => fs.readFileSync(path.join(scratch, 'ref', name));

// The site as a static server serves it, on a port of the system's choosing.
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };
let ready = false;
const servedAfterReady = [];
const server = http.createServer((req, res) => {
    if (ready)
        servedAfterReady.push(req.url);
    const file = path.join(site, new URL(req.url, 'http://x').pathname.replace(/\/$/, '/index.html'));
    if (!file.startsWith(site) || !fs.existsSync(file)) {
        res.writeHead(404).end();
        return;
    }
    res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
    fs.createReadStream(file).pipe(res);
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const url = `http://127.0.0.1:${server.address().port}/`;

const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    userDataDir: path.join(scratch, 'profile'),
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-sync',
        '--disable-background-networking', '--disable-component-update'],
});
let failed = false;
try {
    const page = await browser.newPage();
    const cdp = await page.createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    const afterReady = [];
    page.on('request', (r) => {
        if (ready && /^https?:/.test(r.url()))
            afterReady.push(r.url());
    });
    await page.goto(url);
    await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Ready'));
    ready = true;

    // The rows' states once no row waits or converts: [name, link or null, text after the link].
    const settled = async (count) => {
        await page.waitForFunction((n) => {
            const li = [...document.querySelectorAll('#rows li')];
            return li.length === n && li.every((r) => !r.hasAttribute('aria-busy') && !/^waiting/.test(r.lastChild.textContent));
        }, { timeout: 120000 }, count);
        return page.$$eval('#rows li', (li) => li.map((r) => {
            const a = r.querySelector('a');
            return [r.firstChild.textContent, a ? a.download : null, a ? r.lastChild.lastChild.textContent.trim() : r.lastChild.textContent];
        }));
    };
    // Follows the link of row i, as a click does, and returns the file saved.
    const follow = async (selector, name) => {
        await page.click(selector);
        const saved = path.join(downloads, name);
        for (let t = 0; !fs.existsSync(saved) && t < 600; t++)
            await new Promise((r) => setTimeout(r, 100));
        return fs.readFileSync(saved);
    };

    // Through the file button: two modules, a damaged one, and one whose IT file's name is taken.
    const button = await page.$('#files');
    started = Date.now();
    await button.uploadFile(input('demo.kzm'), input('typical.kzm'), input('cut.kzm'), input('again/demo.kzm'));
    let rows = await settled(4);
    assert.deepEqual(rows.map((r) => r.slice(0, 2)), [['demo.kzm', 'demo.it'], ['typical.kzm', 'typical.it'],
        ['cut.kzm', null], ['demo.kzm', null]]);
    assert.equal(rows[2][2], DAMAGED);
    assert.equal(rows[3][2], 'demo.it would replace a file of this run');
    assert.match(rows[0][2], new RegExp(`\\(${reference('demo.it').length.toLocaleString('en')} bytes\\)`));
    assert.ok((await follow('#rows li:nth-child(1) a', 'demo.it')).equals(reference('demo.it')));
    assert.ok((await follow('#rows li:nth-child(2) a', 'typical.it')).equals(reference('typical.it')));

    // Dropped: files made by a script; a worker broken off midway is replaced.
    const worker = page.workers()[0];
    await worker.evaluate(() => {
        kzm._kzmworkerconvert = () => {
            throw new RangeError('out of memory');
        };
    });
    const drop = (files) => page.evaluate((given) => {
        const dt = new DataTransfer();
        for (const [name, bytes] of given)
            dt.items.add(new File([new Uint8Array(bytes)], name));
        document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: dt, bubbles: true, cancelable: true }));
    }, files);
    await drop([['broken.kzm', [...demo]], ['Demo copy.KZM', [...demo]]]);
    rows = await settled(6);
    assert.deepEqual(rows.slice(4), [['broken.kzm', null, 'the work file cannot be made or read'],
        ['Demo copy.KZM', 'Demo copy.it', rows[5][2]]]);
    assert.ok((await follow('#rows li:nth-child(6) a', 'Demo copy.it')).equals(reference('demo.it')));

    // Folders dropped as the system drops them: the .kzm files directly in one, in byte order; a
    // folder without one.
    const data = { items: [], files: [input('songs'), input('empty')], dragOperationsMask: 1 };
    for (const type of ['dragEnter', 'dragOver', 'drop'])
        await cdp.send('Input.dispatchDragEvent', { type, x: 10, y: 10, data });
    rows = await settled(9);
    assert.deepEqual(rows.slice(6).map((r) => r.slice(0, 2)), [['songs/A.KZM', 'A.it'], ['songs/b.kzm', 'b.it'],
        ['empty', null]]);
    assert.equal(rows[8][2], 'the folder holds no .kzm file');

    // The largest module the records hold, timed from choosing it to its link.
    started = Date.now();
    await button.uploadFile(input('largest.kzm'));
    rows = await settled(10);
    const pageMs = Date.now() - started;
    assert.deepEqual(rows[9].slice(0, 2), ['largest.kzm', 'largest.it']);
    assert.ok((await follow('#rows li:nth-child(10) a', 'largest.it')).equals(reference('largest.it')));

    // Download all: one zip of exactly the files converted.
    const zip = unzipSync(await follow('#zip', 'kzm2it-converted.zip'));
    const demos = ['Demo copy.it', 'A.it', 'b.it'];
    assert.deepEqual(Object.keys(zip).sort(), ['A.it', 'Demo copy.it', 'b.it', 'demo.it', 'largest.it', 'typical.it']);
    for (const [name, bytes] of Object.entries(zip))
        assert.ok(Buffer.from(bytes).equals(reference(demos.includes(name) ? 'demo.it' : name)), name);

    assert.deepEqual(afterReady, [], 'requests after the page was ready');
    assert.deepEqual(servedAfterReady, [], 'files served after the page was ready');
    if (timing)
        console.log(`largest module: native ${nativeMs} ms (three modules), page ${pageMs} ms`);
    console.log('page: every check passed');
} catch (err) {
    failed = true;
    console.error(err);
} finally {
    await browser.close();
    server.close();
    fs.rmSync(scratch, { recursive: true, force: true });
}
process.exit(failed ? 1 : 0);
