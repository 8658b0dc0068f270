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

// A job is one row: {row, name, leaf, file} for a file (leaf its own name, file null where it cannot
// be had), {row, name, folder: 'none' | 'unreadable'} for a folder without a .kzm file or one that
// cannot be read.
const queue = [];
const converted = [];   // {name, blob} of each IT file, in order: its link's Blob, for the zip too
const taken = [];       // IT file names given out so far, in order: a later file may not reuse one
let nextId = 1;
let current = null;     // the job the worker has
let worker = null;
let workerUrl = null;
let wasm = null;
let playerUrl = null;
let playerWasm = null;
let ready = false;
let lost = '';          // the reason of a file whose worker died under it
let piece = 0;          // bytes per piece of the worker's files; the page reads a file in READ of them
let zipping = false;
let offlineAsked = false;
let refused = false;    // the page's policy refused the worker

// Everything the workers need is had now, once: a worker that dies is replaced from memory.
async function load() {
    if (typeof WebAssembly !== 'object')
        return cannot('wasm');
    if (typeof Worker !== 'function')
        return cannot('worker');
    try {
        [[workerUrl, wasm], [playerUrl, playerWasm]] = await Promise.all([
            workerParts('kzmweb', 'worker.js'), workerParts('kzmplay', 'player.js')]);
    } catch (err) {
        statusLine.textContent = 'The converter could not be loaded: ' + err.message;
        return;
    }
    startWorker();
}

// A worker's script (the emscripten glue NAME.js, then our own) as a URL to start it from, and its
// WebAssembly NAME.wasm. The page as one file carries them in inert script elements of those ids,
// the WebAssembly deflated and in base64; served, they are fetched beside the page.
async function workerParts(name, own) {
    const inlined = document.getElementById(name + '.js');
    const script = (code) => URL.createObjectURL(new Blob(code, { type: 'text/javascript' }));
    if (inlined) {
        const base64 = document.getElementById(name + '.wasm').textContent;
        const deflated = Uint8Array.from(atob(base64), (c) => c.charCodeAt(0));
        return [script([inlined.textContent]), fflate.unzlibSync(deflated).buffer];
    }
    const [glue, ours, binary] = await Promise.all([
        fetch(name + '.js').then(need).then((r) => r.text()),
        fetch(own).then(need).then((r) => r.text()),
        fetch(name + '.wasm').then(need).then((r) => r.arrayBuffer()),
    ]);
    return [script([glue, '\n', ours]), binary];
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
        worker = new Worker(workerUrl, { name: 'converter' });
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

// Past WORKER_KEPT an IT file has left the worker holding about as much memory, which WebAssembly
// never gives back, and the pieces of files that a worker has let go, past WORKER_DROPPED, may lie
// in its memory until its collector runs: the worker is then replaced, as one that dies is.
const WORKER_KEPT = 16 * 1048576;
const WORKER_DROPPED = 8 * 1048576;

// A worker that dies while it converts is replaced, and the queue goes on; one that dies before it
// is ready would only die again.
function died() {
    if (!ready)
        return cannot(refused ? 'worker' : 'died');
    if (current)
        fail(current, lost);
    current = null;
    replaceWorker();
}

function replaceWorker() {
    worker.terminate();
    startWorker();
}

function heard(m) {
    if (m.type === 'ready') {
        ready = true;
        lost = m.lost;
        piece = m.piece;
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
    if (m.error === undefined && !m.it)
        return;   // started: the row already says so
    current = null;
    if (m.dead || (m.it && m.it.size > WORKER_KEPT) || m.dropped > WORKER_DROPPED)
        replaceWorker();
    if (m.error !== undefined)
        fail(job, m.error);
    else
        succeed(job, m.out, m.it);
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
    // The file goes to the worker as the pieces read here, which become its input file's own; the
    // worker words what cannot be read.
    const input = await reads(job.file);
    const message = { type: 'convert', id: job.id, name: job.leaf, input, taken: taken.slice() };
    worker.postMessage(message, input ? input.reads : []);
}

// Pieces a read of a file takes: each read costs a round trip to the browser's file reader, so
// that reads of a piece alone would take several times as long.
const READ = 16;

// A file or Blob read in slices of READ pieces, an ArrayBuffer each; it throws when the file cannot
// be read, at any point, or reads short (a file removed since it was chosen may read as nothing).
async function* slices(file) {
    for (let at = 0; at < file.size; at += READ * piece) {
        const bytes = await file.slice(at, at + READ * piece).arrayBuffer();
        if (bytes.byteLength !== Math.min(READ * piece, file.size - at))
            throw new Error('read short');
        yield bytes;
    }
}

// The file as {reads, size}, all its slices; null when it cannot be read.
async function reads(file) {
    const read = [];
    try {
        for await (const bytes of slices(file))
            read.push(bytes);
    } catch (err) {
        return null;
    }
    return { reads: read, size: file.size };
}

function fail(job, reason) {
    job.row.classList.add('failed');
    job.row.removeAttribute('aria-busy');
    job.row.querySelector('.state').textContent = reason;
}

function succeed(job, name, blob) {
    const link = document.createElement('a');
    link.download = name;
    link.href = URL.createObjectURL(blob);
    link.textContent = name;
    const state = job.row.querySelector('.state');
    state.textContent = ' ' + size(blob.size);
    state.prepend(link);
    job.row.removeAttribute('aria-busy');
    converted.push({ name, blob });
    all.hidden = false;
    job.it = name;
    job.blob = blob;
    job.wav = name.replace(/\.it$/, '') + '.wav';
    job.play = button('play', () => toggle(job));
    job.time = document.createElement('span');
    job.time.className = 'time';
    job.save = button('save', () => start(job, 'wav'));
    job.note = document.createElement('span');
    const player = document.createElement('span');
    player.className = 'player';
    player.append(job.play, job.time, job.save, job.note);
    job.row.append(player);
    shows(job, 'idle');
}

function button(kind, click) {
    const b = document.createElement('button');
    b.type = 'button';
    b.className = kind;
    b.addEventListener('click', click);
    return b;
}

// Listening: one player worker at a time, playing one song or making one song's WAV file. Starting
// either ends what was under way; a worker ends with its song, so that the memory a song took goes
// with it, but the WAV file of the song that a worker plays is made in that worker, in the same
// memory. The sound goes through the Web Audio API as buffers of about a second, scheduled back to
// back on the audio clock, two ahead of what plays; the audio context is made at the first play and
// suspended whenever nothing plays.
const PLAY_RATE = 44100;
const AHEAD = 2;
const LEAD = 0.1;    // seconds from the first buffer's arrival to its start
let audio = null;
let task = null;     // {job, kind: 'play' | 'wav', id, worker, sources, t0, frames, ended, paused, timer}
let tasks = 0;

// What a row's player shows: 'idle', 'playing', 'paused', 'saving' or 'refused'.
function shows(job, state) {
    const pause = state === 'playing';
    job.play.textContent = pause ? 'Pause' : 'Play';
    job.play.setAttribute('aria-label', (pause ? 'Pause ' : 'Play ') + job.it);
    job.save.textContent = (state === 'saving' ? 'Saving ' : 'Save ') + job.wav;
    job.save.disabled = state === 'saving';
    if (state === 'idle')
        job.time.textContent = '0:00';
    if (state === 'refused') {
        job.play.hidden = job.save.hidden = job.time.hidden = true;
        job.note.textContent = 'this song cannot be played here';
    }
}

function toggle(job) {
    if (!task || task.job !== job || task.kind !== 'play')
        return start(job, 'play');
    task.paused = !task.paused;
    shows(job, task.paused ? 'paused' : 'playing');
    if (task.paused)
        audio.suspend();
    else
        audio.resume();
}

// Plays the job's song, or makes its WAV file (kind 'wav'), in a new player worker, or in the one
// that plays the song.
function start(job, kind) {
    const holder = task && task.job === job && task.kind === 'play' ? task.worker : null;
    stop(holder);
    const t = { job, kind, id: ++tasks, sources: [], t0: null, frames: 0, ended: false, paused: false };
    task = t;
    shows(job, kind === 'play' ? 'playing' : 'saving');
    try {
        if (kind === 'play') {
            audio ||= new AudioContext({ sampleRate: PLAY_RATE });
            audio.resume();
        }
        t.worker = holder || new Worker(playerUrl, { name: 'player' });
    } catch (err) {
        return unplayable(t);   // no audio output, or no worker allowed
    }
    // What a worker says of an earlier song is not heard.
    t.worker.onmessage = (e) => task === t && (e.data.id || t.id) === t.id && heardPlayer(t, e.data);
    t.worker.onerror = (e) => {
        e.preventDefault();
        if (task === t)
            unplayable(t);
    };
    if (holder)
        t.worker.postMessage({ type: 'start', id: t.id, wav: kind === 'wav' });
    else
        t.worker.postMessage({ type: 'init', wasm: playerWasm });
    if (kind === 'play')
        t.timer = setInterval(() => tick(t), 250);
}

// Ends what the player does, if anything, and lets its row show that nothing plays; its worker ends
// too, unless it is kept.
function stop(kept) {
    const t = task;
    if (!t)
        return;
    task = null;
    clearInterval(t.timer);
    for (const source of t.sources) {
        source.onended = null;
        source.stop();
    }
    if (t.worker && t.worker !== kept)
        t.worker.terminate();
    if (audio)
        audio.suspend();
    shows(t.job, 'idle');
}

function unplayable(t) {
    stop();
    shows(t.job, 'refused');
}

function heardPlayer(t, m) {
    if (m.type === 'ready') {
        hand(t);
    } else if (m.type === 'broken' || m.type === 'refused') {
        unplayable(t);
    } else if (m.type === 'started') {
        for (let i = 0; i < AHEAD; i++)
            t.worker.postMessage({ type: 'more' });
    } else if (m.type === 'second') {
        schedule(t, m);
    } else if (m.type === 'end') {
        t.ended = true;
        if (!t.sources.length)
            finish(t);
    } else if (m.type === 'wav') {
        saved(t, m.blob);
    }
}

// The IT file goes to the player in pieces as they are read, so that it is held whole only there.
async function hand(t) {
    const blob = t.job.blob;
    t.worker.postMessage({ type: 'open', size: blob.size });
    try {
        for await (const bytes of slices(blob)) {
            if (task !== t)
                return;
            t.worker.postMessage({ type: 'piece', bytes }, [bytes]);
        }
    } catch (err) {
        return unplayable(t);
    }
    t.worker.postMessage({ type: 'start', id: t.id, wav: t.kind === 'wav' });
}

function schedule(t, m) {
    const buffer = audio.createBuffer(2, m.frames, PLAY_RATE);
    buffer.copyToChannel(new Float32Array(m.left), 0);
    buffer.copyToChannel(new Float32Array(m.right), 1);
    const source = audio.createBufferSource();
    source.buffer = buffer;
    source.connect(audio.destination);
    if (t.t0 === null)
        t.t0 = audio.currentTime + LEAD;
    source.start(t.t0 + t.frames / PLAY_RATE);
    t.frames += m.frames;
    t.sources.push(source);
    source.onended = () => {
        t.sources.shift();
        if (!t.ended)
            t.worker.postMessage({ type: 'more' });
        else if (!t.sources.length)
            finish(t);
    };
}

// The time played so far, as m:ss.
function tick(t) {
    const played = t.t0 === null ? 0 : Math.min(Math.max(audio.currentTime - t.t0, 0), t.frames / PLAY_RATE);
    t.job.time.textContent = Math.floor(played / 60) + ':' + String(Math.floor(played % 60)).padStart(2, '0');
}

// The song has played to its end: the row keeps the time it reached.
function finish(t) {
    tick(t);
    const time = t.job.time.textContent;
    stop();
    t.job.time.textContent = time;
}

// The WAV file is saved as the zip is, and let go once its download has begun.
function saved(t, blob) {
    const url = URL.createObjectURL(blob);
    const link = document.createElement('a');
    link.href = url;
    link.download = t.job.wav;
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
    stop();
    t.job.note.textContent = t.job.wav + ' ' + size(blob.size);
}

function size(n) {
    const exact = n.toLocaleString('en') + ' bytes';
    if (n < 1024)
        return exact;
    const [v, unit] = n < 1048576 ? [n / 1024, 'KiB'] : [n / 1048576, 'MiB'];
    return v.toFixed(1) + ' ' + unit + ' (' + exact + ')';
}

// The zip is made from the IT files' Blobs each time the link is followed, so that it holds every
// file converted by then, and let go once its download has begun: the page holds each file once.
// Its entries are stored, read in pieces and gathered into a Blob a file at a time.
zipLink.addEventListener('click', async (e) => {
    if (zipping)
        return;   // the zip made below, followed
    e.preventDefault();
    let zipped = new Blob([]);
    const parts = [];
    const zip = new fflate.Zip((err, chunk) => parts.push(chunk));
    for (const { name, blob } of converted) {
        const entry = new fflate.ZipPassThrough(name);
        zip.add(entry);
        const reader = blob.stream().getReader();
        for (let got = await reader.read(); ; got = await reader.read()) {
            entry.push(got.done ? new Uint8Array(0) : got.value, got.done);
            if (got.done)
                break;
        }
        zipped = new Blob([zipped, ...parts.splice(0)]);
    }
    zip.end();
    const url = URL.createObjectURL(new Blob([zipped, ...parts], { type: 'application/zip' }));
    zipLink.href = url;
    zipping = true;
    zipLink.click();
    zipping = false;
    zipLink.href = '#';
    setTimeout(() => URL.revokeObjectURL(url), 60000);
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
        add({ name: drop.name + '/' + name, leaf: name, file });
}

document.getElementById('files').addEventListener('change', (e) => {
    for (const file of e.target.files)
        add({ name: file.name, leaf: file.name, file });
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
            add({ name: drop.file.name, leaf: drop.file.name, file: drop.file });
        }
    }
}

load();
