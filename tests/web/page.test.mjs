// The page in headless Chromium, as a person uses it: files chosen and dropped, links followed, the zip.
// Usage: node tests/web/page.test.mjs SITE NATIVE MODULES
//   SITE: the built page (build-wasm/web); NATIVE: the native program, the reference for every IT
//   file; MODULES: a folder holding demo.kzm, typical.kzm and largest.kzm. Exits 1 on any failure.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { open, ready, require, serve, settled } from './site.mjs';

const { unzipSync } = require('fflate');
const [site, native, modules] = process.argv.slice(2, 5).map((p) => path.resolve(p));
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
execFileSync(native, ['-o', path.join(scratch, 'ref'), input('demo.kzm'), input('typical.kzm'), input('largest.kzm')]);
const reference = (name) => fs.readFileSync(path.join(scratch, 'ref', name));

// Every request once the page says it is ready, as the server and as the page see it.
let isReady = false;
const servedAfterReady = [];
const server = await serve(site, (url) => isReady && servedAfterReady.push(url));
const { browser, page } = await open(path.join(scratch, 'profile'));
let failed = false;
try {
    const cdp = await page.createCDPSession();
    await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    const afterReady = [];
    page.on('request', (r) => {
        if (isReady && /^https?:/.test(r.url()))
            afterReady.push(r.url());
    });
    await ready(page, server.url);
    isReady = true;

    // Follows the link that selector names, as a click does, and returns the file saved.
    const follow = async (selector, name) => {
        await page.click(selector);
        const saved = path.join(downloads, name);
        for (let t = 0; !fs.existsSync(saved) && t < 600; t++)
            await new Promise((r) => setTimeout(r, 100));
        return fs.readFileSync(saved);
    };

    // Through the file button: two modules, a damaged one, and one whose IT file's name is taken.
    const button = await page.$('#files');
    await button.uploadFile(input('demo.kzm'), input('typical.kzm'), input('cut.kzm'), input('again/demo.kzm'));
    let rows = await settled(page, 4);
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
    rows = await settled(page, 6);
    assert.deepEqual(rows.slice(4), [['broken.kzm', null, 'the work file cannot be made or read'],
        ['Demo copy.KZM', 'Demo copy.it', rows[5][2]]]);
    assert.ok((await follow('#rows li:nth-child(6) a', 'Demo copy.it')).equals(reference('demo.it')));

    // Folders dropped as the system drops them: the .kzm files directly in one, in byte order; a
    // folder without one.
    const data = { items: [], files: [input('songs'), input('empty')], dragOperationsMask: 1 };
    for (const type of ['dragEnter', 'dragOver', 'drop'])
        await cdp.send('Input.dispatchDragEvent', { type, x: 10, y: 10, data });
    rows = await settled(page, 9);
    assert.deepEqual(rows.slice(6).map((r) => r.slice(0, 2)), [['songs/A.KZM', 'A.it'], ['songs/b.kzm', 'b.it'],
        ['empty', null]]);
    assert.equal(rows[8][2], 'the folder holds no .kzm file');

    // The largest module the records hold.
    await button.uploadFile(input('largest.kzm'));
    rows = await settled(page, 10);
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
