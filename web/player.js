// The page's player worker: plays an IT file, or makes its WAV file, through libmikmod (createPlay).
// The page joins this script to the player's and starts it from memory, a worker for each song, so
// that what a song took goes with its worker; the song's WAV file is made in the same worker.
let play = null;
let id = 0;          // the page's number for what is under way: every message out carries it
let size = 0;
let room = 0;        // where the IT file goes in the player's memory, once opened
let filled = 0;
const SECOND = 11;   // VC_WriteBytes calls a piece for playing: 45,056 frames, about a second
const PIECE = 64;    // calls a piece of a WAV file: 1 MiB

// Messages in: {type: 'init', wasm}; {type: 'open', size}, which ends the song before, then {type:
// 'piece', bytes} until the IT file is had; {type: 'start', id, wav}, which starts the song afresh,
// to play or to make its WAV file; while playing, {type: 'more'} for each next piece. Out: {type:
// 'ready'} or {type: 'broken'} after 'init'; then, with the id of the last start, {type: 'refused'}
// when libmikmod does not take the file; playing, {type: 'started'}, then for each 'more' {type:
// 'second', frames, left, right} (floats, transferred) or {type: 'end'} once the song has ended;
// a WAV file, {type: 'wav', blob}.
onmessage = async (e) => {
    const m = e.data;
    if (m.type === 'init') {
        postMessage({ type: await start(m.wasm) ? 'ready' : 'broken' });
    } else if (m.type === 'open') {
        size = m.size;
        filled = 0;
        room = play._kzmplayopen(size);
    } else if (m.type === 'piece') {
        if (room)
            play.HEAPU8.set(new Uint8Array(m.bytes), room + filled);
        filled += m.bytes.byteLength;
    } else if (m.type === 'start') {
        id = m.id;
        if (!room || filled !== size || !play._kzmplaystart())
            postMessage({ id, type: 'refused' });
        else if (m.wav)
            wav();
        else
            postMessage({ id, type: 'started' });
    } else if (m.type === 'more') {
        second();
    }
};

async function start(wasm) {
    try {
        const compiled = await WebAssembly.compile(wasm);
        play = await createPlay({
            instantiateWasm: (imports, done) => {
                WebAssembly.instantiate(compiled, imports).then((instance) => done(instance, compiled));
                return {};
            },
            print: () => {},
            printErr: () => {},
        });
        return play._kzmplayinit() === 1;
    } catch (err) {
        return false;
    }
}

function second() {
    const bytes = play._kzmplayrender(SECOND);
    if (!bytes) {
        postMessage({ id, type: 'end' });
        return;
    }
    const frames = bytes / 4;
    const at = play._kzmplayfloats(bytes) / 4;
    const left = play.HEAPF32.slice(at, at + frames).buffer;
    const right = play.HEAPF32.slice(at + frames, at + 2 * frames).buffer;
    postMessage({ id, type: 'second', frames, left, right }, [left, right]);
}

// The WAV file, its pieces rendered as its Blob takes them in: a Blob made from a stream goes to
// where the browser keeps Blobs as it comes, without a copy held here.
async function wav() {
    const mine = id;
    let total = 0;
    const data = new ReadableStream({
        pull(stream) {
            const bytes = play._kzmplayrender(PIECE);
            const at = play._kzmplaypcm();
            if (bytes)
                stream.enqueue(play.HEAPU8.slice(at, at + bytes));
            else
                stream.close();
            total += bytes;
        },
    });
    const pcm = await new Response(data).blob();
    const at = play._kzmplaywavheader(total);
    postMessage({ id: mine, type: 'wav', blob: new Blob([play.HEAPU8.slice(at, at + 44), pcm], { type: 'audio/wav' }) });
}
