// The page: queues the files chosen or dropped, has the worker convert them in turn, offers the IT files.
// A classic script after fflate's (the global fflate), so that the same file also runs inlined in a
// page opened from disk, where module scripts cannot load.
'use strict';

const statusLine = document.getElementById('status');
const rows = document.getElementById('rows');
const all = document.getElementById('all');
const zipLink = document.getElementById('zip');

// Why the converter cannot start, as the status line words it.
const CANNOT = {
    wasm: 'this browser does not allow WebAssembly on this page',
    worker: 'this browser does not allow this page a worker',
    memory: 'it lacks memory',
    died: 'its worker stopped as it started',
};

// A job is one row: {row, name, file} for a file, {row, name, folder: 'none' | 'unreadable'} for a
// folder without a .kzm file or one that cannot be read.
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
let offlineAsked = false;
let refused = false;    // the page's policy refused the worker

// Everything the worker needs is had now, once: a worker that dies is replaced from memory. The page
// as one file carries the worker's script and the WebAssembly in two inert script elements; served,
// they are fetched beside the page.
async function load() {
    if (typeof WebAssembly !== 'object')
        return cannot('wasm');
    if (typeof Worker !== 'function')
        return cannot('worker');
    const inlined = document.getElementById('kzmweb-js');
    try {
        let code;
        if (inlined) {
            code = [inlined.textContent];
            wasm = Uint8Array.from(atob(document.getElementById('kzmweb-wasm').textContent), (c) => c.charCodeAt(0)).buffer;
        } else {
            const [glue, own, binary] = await Promise.all([
                fetch('kzmweb.js').then(need).then((r) => r.text()),
                fetch('worker.js').then(need).then((r) => r.text()),
                fetch('kzmweb.wasm').then(need).then((r) => r.arrayBuffer()),
            ]);
            code = [glue, '\n', own];
            wasm = binary;
        }
        workerUrl = URL.createObjectURL(new Blob(code, { type: 'text/javascript' }));
    } catch (err) {
        statusLine.textContent = 'The converter could not be loaded: ' + err.message;
        return;
    }
    startWorker();
}

function need(response) {
    if (!response.ok)
        throw new Error(response.url + ': ' + response.status);
    return response;
}

function cannot(why) {
    statusLine.textContent = 'The converter cannot start: ' + CANNOT[why] + '.';
    if (worker)
        worker.terminate();
}

// A browser that refuses the worker by the page's policy may say so only in this event, which
// comes before or after the worker's error event.
document.addEventListener('securitypolicyviolation', (e) => {
    if (!ready && /^(worker|child|script)-src/.test(e.effectiveDirective) && /^blob/.test(e.blockedURI)) {
        refused = true;
        cannot('worker');
    }
});

function startWorker() {
    ready = false;
    try {
        worker = new Worker(workerUrl);
    } catch (err) {
        worker = null;
        return cannot('worker');
    }
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
    if (!ready)
        return cannot(refused ? 'worker' : 'died');
    worker.terminate();
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
        if (!offlineAsked)
            keepOffline();
        offlineAsked = true;
        pump();
        return;
    }
    if (m.type === 'broken')
        return cannot(m.why);
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

// Served from a web site, the page has a service worker keep the site's files for offline use. A
// newer site's worker waits until this page is ready, so that one load never mixes two versions;
// then it takes over and the next load is the new version's.
function keepOffline() {
    if (!('serviceWorker' in navigator) || !/^https?:$/.test(location.protocol))
        return;
    const newer = (reg) => {
        if (!reg.waiting || !navigator.serviceWorker.controller)
            return;
        document.getElementById('update').hidden = false;
        reg.waiting.postMessage('take over');
    };
    navigator.serviceWorker.register('sw.js').then((reg) => {
        const watch = (w) => w && w.addEventListener('statechange', () => w.state === 'installed' && newer(reg));
        newer(reg);
        watch(reg.installing);
        reg.addEventListener('updatefound', () => watch(reg.installing));
    }, () => {
        // without it the page still converts; it only does not work offline
    });
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
    if (job.folder) {
        worker.postMessage({ type: 'folder', id: job.id, unreadable: job.folder === 'unreadable' });
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
    const zipped = fflate.zipSync(converted, { level: 0 });
    zipUrl = URL.createObjectURL(new Blob([zipped], { type: 'application/zip' }));
    zipLink.href = zipUrl;
    zipStale = false;
});

// A folder stands for the files directly in it whose names end in .kzm, in any case, in the byte
// order of their names, as on the command line.
const encoder = new TextEncoder();
const isKzm = (name) => /\.kzm$/i.test(name);

function byteOrder(a, b) {
    const x = encoder.encode(a.name);
    const y = encoder.encode(b.name);
    for (let i = 0; i < x.length && i < y.length; i++) {
        if (x[i] !== y[i])
            return x[i] - y[i];
    }
    return x.length - y.length;
}

// The .kzm files in a folder entry, as [{name, file}] (file null where it cannot be had).
function entryFiles(folder) {
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
    }).then((list) => Promise.all(list.filter((e) => e.isFile && isKzm(e.name)).map((e) =>
        new Promise((resolve) => e.file((file) => resolve({ name: e.name, file }), () => resolve({ name: e.name, file: null }))))));
}

// The same from a folder handle, where entries cannot be read (a page opened from disk).
async function handleFiles(handle) {
    const found = [];
    for await (const [name, h] of handle.entries()) {
        if (h.kind === 'file' && isKzm(name))
            found.push({ name, file: await h.getFile().catch(() => null) });
    }
    return found;
}

// Reads a dropped folder by whichever way the browser allows; null when none can.
async function folderFiles(drop) {
    try {
        return await entryFiles(drop.entry);
    } catch (err) {
        // no entries here: try the handle
    }
    try {
        const handle = await drop.handle;
        if (handle && handle.kind === 'directory')
            return await handleFiles(handle);
    } catch (err) {
        // neither way reads it
    }
    return null;
}

async function addFolder(drop) {
    const kzms = await folderFiles(drop);
    if (!kzms || kzms.length === 0)
        return add({ name: drop.name, folder: kzms ? 'none' : 'unreadable' });
    kzms.sort(byteOrder);
    for (const { name, file } of kzms)
        add({ name: drop.name + '/' + name, file: file || { name, arrayBuffer: unreadable } });
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

// A drop's items die when this handler returns: every entry, handle and file is taken now; only
// their contents are read later.
document.addEventListener('drop', (e) => {
    e.preventDefault();
    document.body.classList.remove('dragging');
    const drops = [...e.dataTransfer.items].filter((i) => i.kind === 'file').map((i) => {
        const entry = i.webkitGetAsEntry ? i.webkitGetAsEntry() : null;
        const handle = i.getAsFileSystemHandle ? i.getAsFileSystemHandle().catch(() => null) : null;
        return { entry, handle, file: i.getAsFile() };
    });
    addDrops(drops);
});

async function addDrops(drops) {
    for (const drop of drops) {
        const handle = drop.entry ? null : await drop.handle;
        if ((drop.entry && drop.entry.isDirectory) || (handle && handle.kind === 'directory')) {
            drop.name = drop.entry ? drop.entry.name : handle.name;
            await addFolder(drop);
        } else if (drop.file) {
            add({ name: drop.file.name, file: drop.file });
        }
    }
}

load();
