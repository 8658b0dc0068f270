// The page: queues the files chosen or dropped, has the worker convert them in turn, offers the IT files.
import { zipSync } from './fflate.js';

const statusLine = document.getElementById('status');
const rows = document.getElementById('rows');
const all = document.getElementById('all');
const zipLink = document.getElementById('zip');

// A job is one row: {row, name, file} for a file, {row, name, nokzm: true} for a folder without one.
const queue = [];
const converted = {};   // IT file name -> bytes, for the zip
const taken = [];       // IT file names given out so far, in order: a later file may not reuse one
let nextId = 1;
let current = null;     // the job the worker has
let worker = null;
let workerUrl = null;
let wasm = null;
let ready = false;
let lost = '';          // the reason of a file whose worker died under it
let zipUrl = null;
let zipStale = true;

// Everything the worker needs is fetched now, once: a worker that dies is replaced from memory.
async function load() {
    try {
        const [glue, own, binary] = await Promise.all([
            fetch('kzmweb.js').then(need).then((r) => r.text()),
            fetch('worker.js').then(need).then((r) => r.text()),
            fetch('kzmweb.wasm').then(need).then((r) => r.arrayBuffer()),
        ]);
        workerUrl = URL.createObjectURL(new Blob([glue, '\n', own], { type: 'text/javascript' }));
        wasm = binary;
        startWorker();
    } catch (err) {
        statusLine.textContent = 'The converter could not be loaded: ' + err.message;
    }
}

function need(response) {
    if (!response.ok)
        throw new Error(response.url + ': ' + response.status);
    return response;
}

function startWorker() {
    ready = false;
    worker = new Worker(workerUrl);
    worker.onmessage = (e) => heard(e.data);
    worker.onerror = (e) => {
        e.preventDefault();
        died();
    };
    worker.postMessage({ type: 'init', wasm });
}

// A worker that dies while it converts is replaced, and the queue goes on; one that dies before it
// is ready would only die again.
function died() {
    worker.terminate();
    if (!ready) {
        statusLine.textContent = 'The converter cannot start in this browser.';
        return;
    }
    if (current)
        fail(current, lost);
    current = null;
    startWorker();
}

function heard(m) {
    if (m.type === 'ready') {
        ready = true;
        lost = m.lost;
        statusLine.textContent = 'Ready: choose or drop KZM files.';
        pump();
        return;
    }
    if (m.type === 'broken') {
        statusLine.textContent = 'The converter cannot start in this browser: it lacks memory.';
        worker.terminate();
        return;
    }
    const job = current;
    if (!job || m.id !== job.id)
        return;
    if (m.out && !taken.includes(m.out))
        taken.push(m.out);
    if (m.error !== undefined) {
        fail(job, m.error);
    } else if (m.it) {
        succeed(job, m.out, new Uint8Array(m.it));
    } else {
        return;   // started: the row already says so
    }
    current = null;
    if (m.dead)
        died();
    else
        pump();
}

function addRow(name) {
    const row = document.createElement('li');
    const label = document.createElement('span');
    const state = document.createElement('span');
    label.textContent = name;
    state.className = 'state';
    state.textContent = 'waiting';
    row.append(label, state);
    rows.append(row);
    return row;
}

function add(job) {
    job.row = addRow(job.name);
    queue.push(job);
    pump();
}

async function pump() {
    if (!ready || current || queue.length === 0)
        return;
    const job = queue.shift();
    current = job;
    job.id = nextId++;
    const state = job.row.querySelector('.state');
    state.textContent = 'converting…';
    job.row.setAttribute('aria-busy', 'true');
    if (job.nokzm) {
        worker.postMessage({ type: 'nokzm', id: job.id });
        return;
    }
    let bytes = null;
    try {
        bytes = await job.file.arrayBuffer();
    } catch (err) {
        // the worker words what cannot be read
    }
    const name = job.file.name;
    const message = { type: 'convert', id: job.id, name, bytes, taken: taken.slice() };
    worker.postMessage(message, bytes ? [bytes] : []);
}

function fail(job, reason) {
    job.row.classList.add('failed');
    job.row.removeAttribute('aria-busy');
    job.row.querySelector('.state').textContent = reason;
}

function succeed(job, name, bytes) {
    const link = document.createElement('a');
    link.download = name;
    link.href = URL.createObjectURL(new Blob([bytes], { type: 'application/octet-stream' }));
    link.textContent = name;
    const state = job.row.querySelector('.state');
    state.textContent = ' ' + size(bytes.length);
    state.prepend(link);
    job.row.removeAttribute('aria-busy');
    converted[name] = bytes;
    zipStale = true;
    all.hidden = false;
}

function size(n) {
    const exact = n.toLocaleString('en') + ' bytes';
    if (n < 1024)
        return exact;
    const [v, unit] = n < 1048576 ? [n / 1024, 'KiB'] : [n / 1048576, 'MiB'];
    return v.toFixed(1) + ' ' + unit + ' (' + exact + ')';
}

// The zip is made as the link is followed, so that it holds every file converted by then.
zipLink.addEventListener('click', () => {
    if (!zipStale)
        return;
    if (zipUrl)
        URL.revokeObjectURL(zipUrl);
    const zipped = zipSync(converted, { level: 0 });
    zipUrl = URL.createObjectURL(new Blob([zipped], { type: 'application/zip' }));
    zipLink.href = zipUrl;
    zipStale = false;
});

// A folder stands for the files directly in it whose names end in .kzm, in any case, in the byte
// order of their names, as on the command line.
const encoder = new TextEncoder();

function byteOrder(a, b) {
    const x = encoder.encode(a.name);
    const y = encoder.encode(b.name);
    for (let i = 0; i < x.length && i < y.length; i++) {
        if (x[i] !== y[i])
            return x[i] - y[i];
    }
    return x.length - y.length;
}

function entries(folder) {
    const reader = folder.createReader();
    const found = [];
    return new Promise((resolve, reject) => {
        const more = () => reader.readEntries((batch) => {
            found.push(...batch);
            if (batch.length)
                more();
            else
                resolve(found);
        }, reject);
        more();
    });
}

async function addFolder(folder) {
    let kzms = [];
    try {
        kzms = (await entries(folder)).filter((e) => e.isFile && /\.kzm$/i.test(e.name));
    } catch (err) {
        // an unreadable folder holds, as far as the page can tell, no file
    }
    kzms.sort(byteOrder);
    if (kzms.length === 0)
        add({ name: folder.name, nokzm: true });
    for (const entry of kzms) {
        const file = await new Promise((resolve) => entry.file(resolve, () => resolve(null)));
        add({ name: folder.name + '/' + entry.name, file: file || { name: entry.name, arrayBuffer: unreadable } });
    }
}

function unreadable() {
    return Promise.reject(new Error('unreadable'));
}

document.getElementById('files').addEventListener('change', (e) => {
    for (const file of e.target.files)
        add({ name: file.name, file });
    e.target.value = '';
});

for (const type of ['dragenter', 'dragover']) {
    document.addEventListener(type, (e) => {
        e.preventDefault();
        document.body.classList.add('dragging');
    });
}
document.addEventListener('dragleave', (e) => {
    if (!e.relatedTarget)
        document.body.classList.remove('dragging');
});
document.addEventListener('drop', async (e) => {
    e.preventDefault();
    document.body.classList.remove('dragging');
    const items = [...e.dataTransfer.items].filter((i) => i.kind === 'file');
    // The entries must be taken while the event lasts; their contents may be read later.
    const dropped = items.map((i) => (i.webkitGetAsEntry ? i.webkitGetAsEntry() : null));
    const files = items.map((i) => i.getAsFile());
    for (let i = 0; i < items.length; i++) {
        if (dropped[i] && dropped[i].isDirectory)
            await addFolder(dropped[i]);
        else if (files[i])
            add({ name: files[i].name, file: files[i] });
    }
});

load();
