// The page's worker: runs the converter's own C++ (createKzm) on each file that the page hands over.
// The page joins this script to the converter's and starts it from memory, so it fetches nothing.
let kzm = null;
const INPUT = '/input.kzm';
const OUTPUT = '/output.it';

function text(fn, ...args) {
    return kzm.UTF8ToString(kzm.ccall(fn, 'number', args.map(() => 'string'), args));
}

// Messages in: {type: 'init', wasm}, then {type: 'convert', id, name, bytes, taken} or
// {type: 'folder', id, unreadable}. Out: {type: 'ready', lost} or {type: 'broken', why}; for a file
// {id, out} as it starts, then {id, out, it} or {id, out, error}, with dead: true when this worker
// must be replaced.
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
    return { type: 'ready', lost: text('kzmworkerbroken', '') };
}

function convert(m) {
    const out = text('kzmworkeroutput', m.name);
    if (m.taken.includes(out)) {
        postMessage({ id: m.id, out, error: text('kzmworkerclash', out) });
        return;
    }
    postMessage({ id: m.id, out });
    if (!m.bytes) {
        postMessage({ id: m.id, out, error: text('kzmworkerunreadable') });
        return;
    }
    let reason;
    try {
        kzm.FS.writeFile(INPUT, new Uint8Array(m.bytes), { canOwn: true });
        reason = text('kzmworkerconvert', INPUT, OUTPUT, out);
    } catch (err) {
        // Broken off midway: the runtime's state is not to be trusted with another file.
        postMessage({ id: m.id, out, error: text('kzmworkerbroken', out), dead: true });
        return;
    } finally {
        try {
            kzm.FS.unlink(INPUT);
        } catch (err) {
            // never written
        }
    }
    if (reason) {
        postMessage({ id: m.id, out, error: reason });
        return;
    }
    const it = kzm.FS.readFile(OUTPUT);
    kzm.FS.unlink(OUTPUT);
    postMessage({ id: m.id, out, it: it.buffer }, [it.buffer]);
}
