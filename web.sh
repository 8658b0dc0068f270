#!/bin/sh
# Builds the page and serves build-wasm/web/ on http://127.0.0.1:8000/, with its policy, until Ctrl-C.
set -e
cd "$(dirname "$0")"
sh tools/deps.sh --web
emcmake cmake -S . -B build-wasm >/dev/null
cmake --build build-wasm -j"$(nproc)"
exec node web/serve.mjs build-wasm/web 8000
