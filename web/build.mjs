// Builds the page in its two forms from the same files: the static site, and one HTML file that
// holds everything and works opened from disk.
// Usage: node web/build.mjs SITE ONEFILE VERSION GLUE WASM PLAYGLUE PLAYWASM LICENSE NOTICES
//   SITE: the folder to fill; ONEFILE: the single page to write; GLUE, WASM: the worker's converter
//   (kzmweb.js, kzmweb.wasm); PLAYGLUE, PLAYWASM: the player's (kzmplay.js, kzmplay.wasm); LICENSE:
//   the project's licence; NOTICES: those of others' code in it.
import crypto from 'node:crypto';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { SERVED, inlined } from './policy.mjs';

const here = path.dirname(new URL(import.meta.url).pathname);
const [site, onefile, version, glue, wasm, playglue, playwasm, license, notices] = process.argv.slice(2);
if (!notices)
    throw new Error('usage: node web/build.mjs SITE ONEFILE VERSION GLUE WASM PLAYGLUE PLAYWASM LICENSE NOTICES');
const own = (name) => fs.readFileSync(path.join(here, name));
const sha256 = (data) => crypto.createHash('sha256').update(data).digest('base64');
const { zlibSync } = createRequire(import.meta.url)('fflate');

// The site's files, by name, as they are served.
const files = {
    'index.html': null,
    'style.css': own('style.css'),
    'main.js': own('main.js'),
    'worker.js': own('worker.js'),
    'fflate.js': own('node_modules/fflate/umd/index.js'),
    'kzmweb.js': fs.readFileSync(glue),
    'kzmweb.wasm': fs.readFileSync(wasm),
    'player.js': own('player.js'),
    'kzmplay.js': fs.readFileSync(playglue),
    'kzmplay.wasm': fs.readFileSync(playwasm),
    'icon.svg': own('icon.svg'),
    'manifest.webmanifest': own('manifest.webmanifest'),
    'LICENSE.txt': fs.readFileSync(license),
    'THIRD-PARTY.txt': fs.readFileSync(notices),
};

// Fills each marker of the page's markup, which must stand there exactly once.
function page(parts) {
    let html = own('index.html').toString();
    for (const [marker, text] of Object.entries(parts)) {
        const pieces = html.split(marker);
        if (pieces.length !== 2)
            throw new Error(`index.html must hold ${marker} once`);
        html = pieces.join(text);
    }
    return html;
}

const escapeHtml = (s) => s.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');

// Text inside a script element ends at "</script" and changes meaning after "<!--".
function scriptText(text, what) {
    if (/<\/script|<!--/i.test(text))
        throw new Error(`${what} cannot be inlined: it holds </script or <!--`);
    return text;
}

files['index.html'] = Buffer.from(page({
    '@VERSION@': version,
    '<!-- kzm:head -->': [
        `<meta http-equiv="Content-Security-Policy" content="${SERVED}">`,
        '<link rel="icon" href="icon.svg" type="image/svg+xml">',
        '<link rel="manifest" href="manifest.webmanifest">',
        '<link rel="stylesheet" href="style.css">',
        '<script src="fflate.js" defer></script>',
        '<script src="main.js" defer></script>',
    ].join('\n'),
    '<!-- kzm:notices -->': '<a href="LICENSE.txt">LICENSE.txt</a>, <a href="THIRD-PARTY.txt">THIRD-PARTY.txt</a>.',
    '<!-- kzm:end -->': '',
}));

// The service worker names its cache after every other file's hash: a change to any of them is a
// new version, and the same files always make the same worker.
const hashes = Object.fromEntries(Object.entries(files).map(([name, data]) => [name, sha256(data)]));
const cacheId = crypto.createHash('sha256').update(JSON.stringify(hashes)).digest('hex').slice(0, 16);
files['sw.js'] = Buffer.concat([
    Buffer.from(`const CACHE = 'kzm2it-${cacheId}';\nconst FILES = ${JSON.stringify(hashes, null, 1)};\n`),
    own('sw.js'),
]);

fs.mkdirSync(site, { recursive: true });
for (const [name, data] of Object.entries(files))
    fs.writeFileSync(path.join(site, name), data);

// A worker's script (its glue, then our own) and its WebAssembly as inert script elements named for
// the files, which the page reads instead of fetching them. The WebAssembly is deflated with the
// page's own fflate, which inflates it, and then base64: it is most of the file.
function inertWorker(name, own) {
    const code = scriptText(files[name + '.js'] + '\n' + files[own], name + '\'s worker script');
    const wasm = Buffer.from(zlibSync(files[name + '.wasm'], { level: 9 })).toString('base64');
    return [`<script type="text/plain" id="${name}.js">${code}</script>`,
        `<script type="application/octet-stream" id="${name}.wasm">${wasm}</script>`];
}

// The one file: fflate's and the page's script as one classic inline script, the worker's script
// and the WebAssembly (base64) in inert script elements that the page reads, the notices inside.
const script = scriptText(files['fflate.js'] + '\n' + files['main.js'], 'the page\'s script');
const style = files['style.css'].toString();
fs.writeFileSync(onefile, page({
    '@VERSION@': version,
    '<!-- kzm:head -->': [
        `<meta http-equiv="Content-Security-Policy" content="${inlined(sha256(script), sha256(style))}">`,
        `<link rel="icon" href="data:image/svg+xml;base64,${files['icon.svg'].toString('base64')}">`,
        `<style>${style}</style>`,
    ].join('\n'),
    '<!-- kzm:notices -->': '<details><summary>the licences</summary><pre>'
        + escapeHtml(files['LICENSE.txt'] + '\n' + files['THIRD-PARTY.txt']) + '</pre></details>',
    '<!-- kzm:end -->': [
        ...inertWorker('kzmweb', 'worker.js'),
        ...inertWorker('kzmplay', 'player.js'),
        `<script>${script}</script>`,
    ].join('\n'),
}));
