// Benchmark: the memory that the page takes in Chromium, served and as one file, and the Node program's.
// Usage: node bench/membench.mjs   (after ./test.sh, from the repository's root)
// The page's figures are the proportional set size (PSS) of every process of the browser, summed,
// over the same browser showing a blank tab, so that what the browser's own processes keep for
// the page (its Blobs) counts too. Each scenario starts a browser afresh; the largest module's goes
// on to play it, stop it and save its WAV file. Node's figures are peak resident sizes (ru_maxrss).
// Prints each figure against its bar and exits 1 when one is missed.
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { serve } from '../web/serve.mjs';
import { launch, ready, settled, until } from '../tests/web/browsers.mjs';

const MiB = 1048576;
const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kzmmembench.'));
const at = (...names) => path.join(scratch, ...names);
const pause = (ms) => new Promise((r) => setTimeout(r, ms));
execFileSync(path.join(root, 'build/bench/kzmbench'), ['-w', scratch]);
fs.copyFileSync(path.join(root, 'examples/demo.kzm'), at('demo.kzm'));
const copies = [];
for (let i = 1; i <= 40; i++) {
    copies.push(at(`typical${String(i).padStart(2, '0')}.kzm`));
    fs.copyFileSync(at('typical.kzm'), copies.at(-1));
}
execFileSync(path.join(root, 'build/kzm2it'), ['-o', scratch, at('typical.kzm'), at('largest.kzm')]);
const itSize = (name) => fs.statSync(at(name)).size / MiB;
fs.copyFileSync(path.join(root, 'build-wasm/kzm2it.html'), at('kzm2it.html'));
const server = await serve(path.join(root, 'build-wasm/web'));
const FORMS = { served: server.url, file: pathToFileURL(at('kzm2it.html')).href };

// PSS in MiB of the process pid and all its descendants.
function pss(pid) {
    const children = {};
    for (const p of fs.readdirSync('/proc').filter((d) => /^\d+$/.test(d))) {
        try {
            const ppid = fs.readFileSync(`/proc/${p}/stat`, 'utf8').replace(/^.*\) /, '').split(' ')[1];
            (children[ppid] ||= []).push(p);
        } catch (err) {
            // ended meanwhile
        }
    }
    let kib = 0;
    for (const todo = [String(pid)]; todo.length;) {
        const p = todo.pop();
        try {
            kib += Number(/^Pss:\s+(\d+)/m.exec(fs.readFileSync(`/proc/${p}/smaps_rollup`, 'utf8'))[1]);
        } catch (err) {
            // ended meanwhile
        }
        todo.push(...(children[p] || []));
    }
    return kib / 1024;
}

// A browser with a blank tab, then the page ready: {b, pid, blank, ready}, sizes over the blank tab.
async function open(url) {
    const b = await launch('chromium', at('downloads'));
    const pid = b.page.browser().process().pid;
    await b.go('about:blank');
    await pause(3000);
    const blank = pss(pid);
    if (await ready(b, url) !== 'Ready: choose or drop KZM files.')
        throw new Error('the page is not ready');
    await pause(3000);
    return { b, pid, blank, ready: pss(pid) - blank };
}

// Runs act() and samples the browser's PSS every 50 ms until done() holds; returns the peak over
// the blank tab.
async function peak(s, act, done) {
    let top = 0;
    let finished = false;
    const watch = (async () => {
        while (!finished) {
            top = Math.max(top, pss(s.pid) - s.blank);
            await pause(50);
        }
    })();
    await act();
    await done();
    finished = true;
    await watch;
    return Math.max(top, pss(s.pid) - s.blank);
}

// What the tab holds once it has settled: the least of ten samples over 5 s, after wait ms.
async function afterwards(s, wait = 10000) {
    await pause(wait);
    let least = Infinity;
    for (let i = 0; i < 10; i++, await pause(500))
        least = Math.min(least, pss(s.pid) - s.blank);
    return least;
}

// Until row n's song has played for seconds, as its time shows.
const played = (b, n, seconds) => until(b, ([n, seconds]) => {
    const [m, ss] = document.querySelector(`#rows li:nth-child(${n}) .time`).textContent.split(':');
    return m * 60 + Number(ss) >= seconds ? true : null;
}, [n, seconds]);

// Until row n's WAV file has been saved; its size.
const wavSaved = (b, n) => until(b, (n) => {
    const note = document.querySelector(`#rows li:nth-child(${n}) .player > :last-child`).textContent;
    return /\.wav /.test(note) ? Number(/\(([\d,]+) bytes\)/.exec(note)[1].replace(/,/g, '')) : null;
}, n, 600);

const rows = [];
function figure(what, value, bar) {
    rows.push({ what, value, bar });
    console.log(`${what.padEnd(58)} ${value.toFixed(1).padStart(7)} MiB; bar ${bar.toFixed(1)}${value > bar ? '  MISSED' : ''}`);
}

for (const [form, url] of Object.entries(FORMS)) {
    let s = await open(url);
    figure(`${form}: ready`, s.ready, 32);
    const typical = await peak(s, () => s.b.choose([at('typical.kzm')]), () => settled(s.b, 1));
    figure(`${form}: typical module, peak`, typical, s.ready + 24);
    await s.b.close();

    s = await open(url);
    const largest = await peak(s, () => s.b.choose([at('largest.kzm'), at('demo.kzm')]), () => settled(s.b, 2));
    figure(`${form}: largest module, peak`, largest, 400);
    const before = await afterwards(s);
    figure(`${form}: largest module, afterwards`, before, s.ready + itSize('largest.it') + 32);
    // Its song played (loading included) for 3 s; stopped by playing the demo; played again, and
    // its WAV file saved while it plays.
    const play = (n) => s.b.click(`#rows li:nth-child(${n}) .play`);
    const playing = await peak(s, () => play(1), () => played(s.b, 1, 3));
    figure(`${form}: largest module playing, peak over the tab before`, playing - before, 3 * itSize('largest.it') + 32);
    await play(2);
    figure(`${form}: largest module stopped, afterwards over the tab before`, await afterwards(s) - before, 32);
    await play(1);
    await played(s.b, 1, 3);
    const level = await afterwards(s, 0);
    let wav = 0;
    const saving = await peak(s, () => s.b.click('#rows li:nth-child(1) .save'), async () => (wav = await wavSaved(s.b, 1)));
    figure(`${form}: its WAV file saved, peak over the tab playing`, saving - level, wav / MiB + 32);
    await s.b.close();

    s = await open(url);
    await s.b.choose(copies);
    await settled(s.b, copies.length);
    figure(`${form}: 40 typical modules, afterwards`, await afterwards(s),
        s.ready + 1.15 * 40 * itSize('typical.it') + 16);
    await s.b.close();
}
server.close();

// Peak resident size in MiB of a command, from a shell that reports its children's.
function maxrss(cmd) {
    const done = spawnSync('python3', ['-c', 'import resource, subprocess, sys; subprocess.run(sys.argv[1:], '
        + 'stdout=subprocess.DEVNULL, check=True); print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)',
        ...cmd], { cwd: scratch, encoding: 'utf8' });
    if (done.status !== 0)
        throw new Error(cmd.join(' ') + ' failed: ' + done.stderr);
    return Number(done.stdout) / 1024;
}
const node = ['node', path.join(root, 'build-wasm/kzm2it.js')];
const version = maxrss([...node, '--version']);
const native = maxrss([path.join(root, 'build/kzm2it'), at('largest.kzm')]);
console.log(`node: kzm2it.js --version ${version.toFixed(1)} MiB; the native program, largest module ${native.toFixed(1)} MiB`);
figure('node: typical module, peak', maxrss([...node, at('typical.kzm')]), version + 32);
figure('node: largest module, peak', maxrss([...node, at('largest.kzm')]), version + native + 32);
fs.rmSync(scratch, { recursive: true, force: true });
const missed = rows.filter((r) => r.value > r.bar);
console.log(missed.length ? 'SOME BARS MISSED' : 'all bars met');
process.exit(missed.length ? 1 : 0);
