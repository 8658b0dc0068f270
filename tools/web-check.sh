#!/bin/sh
# Builds the WebAssembly program and page and tests them as users meet them: the end-to-end tests
# through the program under Node, its npm package installed as a command, the page in Chromium.
# Usage: tools/web-check.sh   (after ./test.sh's native build in build/; exits non-zero on any failure)
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
sh tools/deps.sh --web </dev/null
emcmake cmake -S . -B build-wasm >/dev/null
cmake --build build-wasm -j"$(nproc)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

echo "== WebAssembly: the end-to-end tests through the program under Node =="
KZM2IT_CMD="node $root/build-wasm/kzm2it.js" build/tests/kzmtests --gtest_filter='Program.*' --gtest_brief=1 </dev/null

echo "== WebAssembly: the npm package, installed as a command =="
(cd "$scratch" && npm pack --silent "$root/build-wasm/npm" >/dev/null)
npm install -g --silent --no-audit --no-fund --prefix "$scratch/prefix" "$scratch"/kzm2it-*.tgz
mkdir "$scratch/native" "$scratch/npm"
cp examples/demo.kzm "$scratch/native/"
cp examples/demo.kzm "$scratch/npm/"
(cd "$scratch/native" && "$root/build/kzm2it" demo.kzm >/dev/null)
(cd "$scratch/npm" && "$scratch/prefix/bin/kzm2it" demo.kzm >/dev/null)
cmp "$scratch/native/demo.it" "$scratch/npm/demo.it"
echo "demo.it identical to the native program's"

echo "== WebAssembly: the page in Chromium, Firefox and WebKit, served and as one file =="
cp examples/demo.kzm "$scratch/"
build/bench/kzmbench -w "$scratch" >/dev/null
build/tests/players/kzmrender -m "$scratch"
xvfb-run -a node tests/web/page.test.mjs build-wasm/web build-wasm/kzm2it.html build/kzm2it \
    build/tests/players/kzmrender "$scratch"
