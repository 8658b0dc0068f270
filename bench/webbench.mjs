// Benchmark: the largest module converted by the native program, under Node and in the page, side
// by side; then the page's player.
// Usage: node bench/webbench.mjs [RUNS (5)]   (after ./test.sh, from the repository's root)
// Each run times, in turn first, the native program and the Node program on the command line, as
// fresh processes, and the page from choosing the file to its link, on a page loaded anew. 3 s of
// rest before each, as kzmbench rests. Then, on pages loaded anew, the time from a click on a play
// button to the sound of the demo, the typical and the largest module, and how fast the page
// renders the typical module's WAV file. Prints medians and exits 1 when the page converts in more
// than 2.5 times the native program's time or Node in more than 1.8 times, or when a song sounds
// later than 0.5 s after its click (the largest module's 2 s).
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { serve } from '../web/serve.mjs';
import { launch, ready, settled, until } from '../tests/web/browsers.mjs';

const runs = Number(process.argv[2] || 5);
const root = path.resolve(path.dirname(new URL(import.meta.url).pathname), '..');
const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'kzmwebbench.'));
const rest = () => new Promise((r) => setTimeout(r, 3000));
execFileSync(path.join(root, 'build/bench/kzmbench'), ['-w', scratch]);
const largest = path.join(scratch, 'largest.kzm');

const server = await serve(path.join(root, 'build-wasm/web'));
const b = await launch('chromium', path.join(scratch, 'downloads'));
const commands = {
    native: [path.join(root, 'build/kzm2it')],
    node: ['node', path.join(root, 'build-wasm/kzm2it.js')],
};
const times = { native: [], node: [], page: [] };
for (let r = 0; r < runs; r++) {
    const order = ['native', 'node', 'page'];
    for (const way of order.slice(r % 3).concat(order.slice(0, r % 3))) {
        fs.rmSync(path.join(scratch, 'largest.it'), { force: true });
        if (way === 'page')
            await ready(b, server.url);
        await rest();
        const started = performance.now();
        if (way === 'page') {
            await b.choose([largest]);
            const [row] = await settled(b, 1);
            if (row[1] !== 'largest.it')
                throw new Error('the page did not convert: ' + row[2]);
        } else {
            const [cmd, ...args] = commands[way];
            const done = spawnSync(cmd, [...args, largest], { cwd: scratch });
            if (done.status !== 0)
                throw new Error(way + ' failed: ' + done.stderr);
        }
        times[way].push(performance.now() - started);
    }
}

// The player, on the served page: ms from a click to the first sound (when the first buffer is set
// to start), and the WAV file's seconds of sound per second of making it.
fs.copyFileSync(path.join(root, 'examples/demo.kzm'), path.join(scratch, 'demo.kzm'));
const player = { demo: [], typical: [], largest: [], wav: [] };
for (let r = 0; r < runs; r++) {
    for (const song of ['demo', 'typical', 'largest']) {
        await ready(b, server.url);
        await b.choose([path.join(scratch, song + '.kzm')]);
        await settled(b, 1);
        await b.run(() => {
            const start = AudioBufferSourceNode.prototype.start;
            AudioBufferSourceNode.prototype.start = function (when) {
                window.sounds ||= performance.now() + (when - this.context.currentTime) * 1000;
                return start.apply(this, arguments);
            };
            document.addEventListener('click', () => (window.clicked = performance.now()), true);
        });
        await b.click('#rows .play');
        player[song].push(await until(b, () => (window.sounds ? window.sounds - window.clicked : null)));
        if (song !== 'typical')
            continue;
        const started = performance.now();
        await b.click('#rows .save');
        const bytes = await until(b, () => /\(([\d,]+) bytes\)/.exec(document.querySelector('#rows .player > :last-child').textContent), null, 300);
        player.wav.push((Number(bytes[1].replace(/,/g, '')) - 44) / 176400 / ((performance.now() - started) / 1000));
    }
}
await b.close();
server.close();
fs.rmSync(scratch, { recursive: true, force: true });

const median = (v) => [...v].sort((a, b) => a - b)[(v.length - 1) >> 1];
const base = median(times.native);
let missed = false;
console.log(`largest module, medians of ${runs} runs, ${os.cpus().length} CPUs (${os.cpus()[0].model})`);
for (const [way, bar] of [['native', 0], ['node', 1.8], ['page', 2.5]]) {
    const ratio = median(times[way]) / base;
    const each = times[way].map((t) => Math.round(t)).join(' ');
    console.log(`${way.padEnd(7)}${median(times[way]).toFixed(0).padStart(6)} ms  ${ratio.toFixed(2)} x native${bar ? `; bar ${bar}` : ''}  (${each})`);
    missed ||= bar > 0 && ratio > bar;
}
for (const [song, bar] of [['demo', 500], ['typical', 500], ['largest', 2000]]) {
    const each = player[song].map((t) => Math.round(t)).join(' ');
    console.log(`${(song + ':').padEnd(9)}${median(player[song]).toFixed(0).padStart(5)} ms from a click to sound; bar ${bar}  (${each})`);
    missed ||= median(player[song]) > bar;
}
console.log(`WAV file of the typical module made at ${median(player.wav).toFixed(0)} times real time (${player.wav.map((x) => x.toFixed(0)).join(' ')})`);
console.log(missed ? 'SOME BARS MISSED' : 'all bars met');
process.exit(missed ? 1 : 0);
