#!/bin/sh
# Builds the libFuzzer target with clang and runs it for a bounded time; fails on any finding.
# Usage: tools/fuzz.sh [SECONDS]   (default 120)
# Seeds are the last work file of each test process. The corpus grows in build-fuzz/corpus and
# is reused by the next run; findings land in build-fuzz/findings.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-120}
build=build-fuzz

sh tools/deps.sh clang libclang-rt-dev
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKZM_FUZZ=ON -DKZM_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

# Each test process leaves its last work file in the seed folder.
rm -rf "$build/seeds" "$build/run"
mkdir -p "$build/seeds" "$build/run" "$build/corpus" "$build/findings"
(cd build && KZM_SEEDS="$root/$build/seeds" ctest -j"$(nproc)" >/dev/null)
echo "== fuzz_work for $seconds s from $(ls "$build/seeds" | wc -l) seeds"
cd "$build/run"
# -timeout: an input that runs this long is a finding (a hang). Freed blocks skip the quarantine:
# every run frees the 104 MB of sample records, and holding them would only cost time.
if ! ASAN_OPTIONS=quarantine_size_mb=0 ../fuzz/fuzz_work -max_total_time="$seconds" -timeout=60 \
    -max_len=65536 -dict="$root/fuzz/kzm.dict" -artifact_prefix=../findings/ -print_final_stats=1 \
    ../corpus ../seeds </dev/null; then
    echo "FUZZING FOUND A FAULT (input in $build/findings)"
    exit 1
fi
echo "fuzzing: no findings"
