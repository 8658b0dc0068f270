// Three browser engines behind one small interface: Chromium and Firefox through puppeteer-core,
// WebKit through its WebDriver (it needs a display: run under xvfb-run).
import fs from 'node:fs';
import { createRequire } from 'node:module';

export const require = createRequire(new URL('../../web/package.json', import.meta.url));
const puppeteer = require('puppeteer-core');
const { Builder, By } = require('selenium-webdriver');
const { DriverService } = require('selenium-webdriver/remote');
const CHROMIUM = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-sync', '--disable-background-networking', '--disable-component-update'];

// Starts engine with a profile of its own and nothing of its own on the network, saving downloads
// into the folder downloads where the engine lets a driver choose one. Returns {run(fn, ...args),
// go(url), choose(paths), click(selector), downloads, page (puppeteer's, or null), close()}.
export async function launch(engine, downloads) {
    fs.mkdirSync(downloads, { recursive: true });
    if (engine === 'webkit') {
        const service = new DriverService.Builder('/usr/bin/WebKitWebDriver').setLoopback(true).build();
        const caps = { browserName: 'MiniBrowser', 'webkitgtk:browserOptions': { args: ['--automation'] } };
        const driver = await new Builder().withCapabilities(caps).usingServer(await service.start()).build();
        return {
            downloads,
            page: null,
            run: (fn, ...args) => driver.executeScript(fn, ...args),
            go: (url) => driver.get(url),
            choose: (paths) => driver.findElement(By.id('files')).sendKeys(paths.join('\n')),
            click: (selector) => driver.findElement(By.css(selector)).click(),
            close: () => driver.quit().finally(() => service.kill()),
        };
    }
    const firefox = { browser: 'firefox', executablePath: '/usr/bin/firefox-esr',
        extraPrefsFirefox: { 'browser.download.dir': downloads, 'browser.download.folderList': 2 } };
    const chromium = { executablePath: '/usr/bin/chromium', args: CHROMIUM };
    const browser = await puppeteer.launch(engine === 'firefox' ? firefox : chromium);
    const page = await browser.newPage();
    if (engine === 'chromium') {
        const cdp = await page.createCDPSession();
        await cdp.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads });
    }
    return {
        downloads,
        page,
        run: (fn, ...args) => page.evaluate(fn, ...args),
        // Not until the load event, which Firefox once never sent for the one file: ready() waits.
        go: (url) => page.goto(url, { waitUntil: 'domcontentloaded' }),
        choose: async (paths) => (await page.$('#files')).uploadFile(...paths),
        click: (selector) => page.click(selector),
        close: () => browser.close(),
    };
}

// Polls fn in the page until it returns something other than null; returns that.
export async function until(b, fn, arg = null, seconds = 120) {
    for (let t = 0; t < seconds * 10; t++) {
        const got = await b.run(fn, arg);
        if (got !== null)
            return got;
        await new Promise((r) => setTimeout(r, 100));
    }
    throw new Error('timed out: ' + fn);
}

// Opens url and waits until the page says whether it can convert; returns what its status says.
export async function ready(b, url) {
    await b.go(url);
    return until(b, () => {
        const text = document.getElementById('status').textContent;
        return text.startsWith('Loading') ? null : text;
    });
}

// Waits until the page has n rows and none waits or converts; returns [name, link's name or null,
// the text after the link or the reason] for each.
export function settled(b, n) {
    return until(b, (count) => {
        const li = [...document.querySelectorAll('#rows li')];
        const busy = (r) => r.hasAttribute('aria-busy') || /^waiting/.test(r.querySelector('.state').textContent);
        if (li.length !== count || li.some(busy))
            return null;
        return li.map((r) => {
            const state = r.querySelector('.state');
            const a = state.querySelector('a');
            const after = a ? state.lastChild.textContent.trim() : state.textContent;
            return [r.firstChild.textContent, a ? a.download : null, after];
        });
    }, n);
}

// The page's worker of this name ('converter' or 'player'), for puppeteer's page.
export async function workerNamed(page, name) {
    for (const w of page.workers()) {
        if (await w.evaluate(() => self.name) === name)
            return w;
    }
    throw new Error('no worker ' + name);
}
