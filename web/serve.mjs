// Serves the built site on 127.0.0.1 with its Content-Security-Policy as a header.
// Usage: node web/serve.mjs SITE [PORT (8000)]; as a module, serve() for the page's tests.
import fs from 'node:fs';
import http from 'node:http';
import path from 'node:path';
import { SERVED } from './policy.mjs';

const TYPES = {
    '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm',
    '.svg': 'image/svg+xml', '.webmanifest': 'application/manifest+json', '.txt': 'text/plain; charset=utf-8',
};

// The file of root that url names, or null: outside root, not a file, or not a name at all.
function inside(root, url) {
    try {
        const name = decodeURIComponent(new URL(url, 'http://x').pathname).replace(/\/$/, '/index.html');
        const file = path.join(root, name);
        return file.startsWith(root + path.sep) && fs.statSync(file).isFile() ? file : null;
    } catch (err) {
        return null;
    }
}

// Serves the folder site at port (0: one the system picks), calling served(path) for each request,
// with policy as the header (false: none). Resolves to the listening server; its address is server.url.
export function serve(site, { port = 0, policy = SERVED, served = () => {} } = {}) {
    const root = path.resolve(site);
    const server = http.createServer((req, res) => {
        served(req.url);
        const file = inside(root, req.url);
        if (!file) {
            res.writeHead(404).end();
            return;
        }
        const headers = { 'Content-Type': TYPES[path.extname(file)] || 'application/octet-stream', 'Cache-Control': 'no-cache' };
        if (policy)
            headers['Content-Security-Policy'] = policy;
        res.writeHead(200, headers);
        fs.createReadStream(file).pipe(res);
    });
    return new Promise((resolve, reject) => {
        server.once('error', reject);
        server.listen(port, '127.0.0.1', () => {
            server.url = `http://127.0.0.1:${server.address().port}/`;
            resolve(server);
        });
    });
}

if (process.argv[1] && path.resolve(process.argv[1]) === new URL(import.meta.url).pathname) {
    const port = Number(process.argv[3] || 8000);
    serve(process.argv[2], { port }).then((server) => {
        console.log(`Serving the page on ${server.url} (Ctrl-C stops it)`);
    }, (err) => {
        console.log(err.code === 'EADDRINUSE'
            ? `Port ${port} on 127.0.0.1 is taken: stop what serves there, or serve build-wasm/web/ yourself.`
            : `Cannot serve on port ${port}: ${err.message}`);
        process.exit(1);
    });
}
