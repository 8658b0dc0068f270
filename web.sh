#!/bin/sh
# Builds the page and serves build-wasm/web/ on http://127.0.0.1:8000/ until Ctrl-C.
set -e
cd "$(dirname "$0")"
sh tools/deps.sh --web
emcmake cmake -S . -B build-wasm >/dev/null
cmake --build build-wasm -j"$(nproc)"
if ! python3 -c 'import socket; socket.socket().bind(("127.0.0.1", 8000))' 2>/dev/null; then
    echo "Port 8000 on 127.0.0.1 is taken: stop what serves there, or serve build-wasm/web/ yourself."
    exit 1
fi
echo "Serving the page on http://127.0.0.1:8000/ (Ctrl-C stops it)"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory build-wasm/web
