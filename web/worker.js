// The page's worker: runs the converter's own C++ (createKzm) on each file that the page hands over.
// The page joins this script to the converter's and starts it from memory, so it fetches nothing.
let kzm = null;
const OUTPUT = '/output.it';

function text(fn, ...args) {
    return kzm.UTF8ToString(kzm.ccall(fn, 'number', args.map(() => 'string'), args));
}

// Messages in: {type: 'init', wasm}, then {type: 'convert', id, name, input, taken} or {type:
// 'folder', id, unreadable}, where input is the page's reads of the file, {reads, size}, each a
// whole number of pieces of piece bytes but the last (transferred), or null when the page could
// not read it. Out: {type: 'ready', lost,
// piece} or {type: 'broken', why}; for a file {id, out} as it starts, then {id, out, it} (the IT
// file, a Blob made here from the file's pieces, so that the page gets it without a copy) or {id,
// out, error}, with dead: true when this worker must be replaced; each with dropped, the bytes of
// pieces that this worker's files have let go so far.
onmessage = async (e) => {
    const m = e.data;
    if (m.type === 'init') {
        postMessage(await start(m.wasm));
    } else if (m.type === 'folder') {
        postMessage({ id: m.id, error: kzm.UTF8ToString(kzm._kzmworkernokzm(m.unreadable ? 1 : 0)) });
    } else {
        convert(m);
    }
};

// Our own module failing to compile means that the browser refuses WebAssembly here (a policy
// without 'wasm-unsafe-eval'); failing to instantiate or to allocate the records, that memory ran out.
async function start(wasm) {
    let compiled;
    try {
        compiled = await WebAssembly.compile(wasm);
    } catch (err) {
        return { type: 'broken', why: 'wasm' };
    }
    try {
        kzm = await new Promise((resolve, reject) => {
            const instantiateWasm = (imports, done) => {
                WebAssembly.instantiate(compiled, imports).then((instance) => done(instance, compiled), reject);
                return {};
            };
            createKzm({ instantiateWasm, print: () => {}, printErr: () => {} }).then(resolve, reject);
        });
    } catch (err) {
        return { type: 'broken', why: 'memory' };
    }
    if (!kzm.ccall('kzmworkerinit', 'number', [], []))
        return { type: 'broken', why: 'memory' };
    return { type: 'ready', lost: text('kzmworkerbroken', ''), piece: kzm.kzmpiece };
}

async function convert(m) {
    const out = text('kzmworkeroutput', m.name);
    if (m.taken.includes(out)) {
        postMessage({ id: m.id, out, error: text('kzmworkerclash', out) });
        return;
    }
    postMessage({ id: m.id, out });
    if (!m.input) {
        postMessage({ id: m.id, out, error: text('kzmworkerunreadable') });
        return;
    }
    let reason;
    try {
        reason = text('kzmworkerconvert', kzm.kzminput(m.input), OUTPUT, out);
    } catch (err) {
        // Broken off midway: the runtime's state is not to be trusted with another file.
        postMessage({ id: m.id, out, error: text('kzmworkerbroken', out), dead: true });
        return;
    } finally {
        kzm.kzminputdone();
    }
    if (reason) {
        postMessage({ id: m.id, out, error: reason, dropped: kzm.kzmdropped });
        return;
    }
    const it = await kzm.kzmtake(OUTPUT, 'application/octet-stream');
    postMessage({ id: m.id, out, it, dropped: kzm.kzmdropped });
}
