#!/bin/sh
# Builds everything and runs every test: the native build's, then the WebAssembly program's and the page's.
set -e
cd "$(dirname "$0")"
sh tools/deps.sh pkg-config libopenmpt-dev libxmp-dev libmikmod-dev
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
(cd build && ctest --output-on-failure -j"$(nproc)")
sh tools/web-check.sh
