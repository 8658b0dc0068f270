// The page's Content-Security-Policy: what the page may load and where it may send, in each form.

const COMMON = ["default-src 'none'", "base-uri 'none'", "form-action 'none'"];

// The served site: its own files, its service worker and manifest, the worker made from memory.
export const SERVED = [...COMMON, "script-src 'self' 'wasm-unsafe-eval'", "worker-src 'self' blob:",
    "connect-src 'self'", "style-src 'self'", "img-src 'self' data:", "manifest-src 'self'"].join('; ');

// The page as one file: only its own inline script and style, by their hashes, and no connection.
export function inlined(scriptHash, styleHash) {
    return [...COMMON, `script-src 'sha256-${scriptHash}' 'wasm-unsafe-eval'`, 'worker-src blob:',
        "connect-src 'none'", `style-src 'sha256-${styleHash}'`, 'img-src data:'].join('; ');
}
