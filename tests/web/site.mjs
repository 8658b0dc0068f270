// The built page on a local server of its own, and headless Chromium opening it until it is ready.
import fs from 'node:fs';
import http from 'node:http';
import { createRequire } from 'node:module';
import path from 'node:path';

export const require = createRequire(new URL('../../web/package.json', import.meta.url));
const puppeteer = require('puppeteer-core');
const TYPES = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };

// Serves the folder site on 127.0.0.1 at a port the system picks, calling served(path) for every
// request. Returns the server; its address is server.url.
export async function serve(site, served) {
    const server = http.createServer((req, res) => {
        served(req.url);
        const file = path.join(site, new URL(req.url, 'http://x').pathname.replace(/\/$/, '/index.html'));
        if (!file.startsWith(site) || !fs.existsSync(file)) {
            res.writeHead(404).end();
            return;
        }
        res.writeHead(200, { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream' });
        fs.createReadStream(file).pipe(res);
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    server.url = `http://127.0.0.1:${server.address().port}/`;
    return server;
}

// Debian's Chromium, headless, with a profile of its own in profile and nothing of its own on the
// network, and a new tab in it.
export async function open(profile) {
    const browser = await puppeteer.launch({
        executablePath: '/usr/bin/chromium',
        userDataDir: profile,
        args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-sync',
            '--disable-background-networking', '--disable-component-update'],
    });
    const page = await browser.newPage();
    return { browser, page };
}

// Opens url in page and waits until the page says it is ready to convert.
export async function ready(page, url) {
    await page.goto(url);
    await page.waitForFunction(() => document.getElementById('status').textContent.startsWith('Ready'));
}

// Waits until the page has n rows and none waits or converts; returns [name, link's name or null,
// the text after the link or the reason] for each.
export async function settled(page, n) {
    await page.waitForFunction((count) => {
        const li = [...document.querySelectorAll('#rows li')];
        return li.length === count && li.every((r) => !r.hasAttribute('aria-busy') && !/^waiting/.test(r.lastChild.textContent));
    }, { timeout: 120000 }, n);
    return page.$$eval('#rows li', (li) => li.map((r) => {
        const a = r.querySelector('a');
        return [r.firstChild.textContent, a ? a.download : null, a ? r.lastChild.lastChild.textContent.trim() : r.lastChild.textContent];
    }));
}
