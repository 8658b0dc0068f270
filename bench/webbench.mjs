// Benchmark: the largest module converted by the native program, under Node and in the page, side by side.
// Usage: node bench/webbench.mjs [RUNS (5)]   (after ./test.sh, from the repository's root)
// Each run times, in turn first, the native program and the Node program on the command line, as
// fresh processes, and the page from choosing the file to its link, on a page loaded anew. 3 s of
// rest before each, as kzmbench rests. Prints medians and exits 1 when the page takes more than 2.5
// times the native program or Node more than 1.8 times.
import { execFileSync, spawnSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { serve } from '../web/serve.mjs';
import { launch, ready, settled } from '../tests/web/browsers.mjs';

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
console.log(missed ? 'SOME BARS MISSED' : 'all bars met');
process.exit(missed ? 1 : 0);
