#!/bin/sh
# Builds the converter and runs it on the bundled demo song, typing its name at the prompt.
set -e
cd "$(dirname "$0")"
sh tools/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kzm2it
echo examples/demo | ./build/kzm2it
echo
ls -l examples/demo.it
