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
mkdir -p "$build/seeds" "$build/corpus" "$build/findings"
(cd build && KZM_SEEDS="$root/$build/seeds" ctest -j"$(nproc)" >/dev/null)

# Every input goes through a container, a work file and an IT file: in a tmpfs folder, where the
# system has one, they stay in memory.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    run=$(mktemp -d /dev/shm/kzmfuzz.XXXXXX)
    trap 'rm -rf "$run"' EXIT
else
    run="$root/$build/run"
    mkdir -p "$run"
fi
echo "== fuzz_work for $seconds s from $(ls "$build/seeds" | wc -l) seeds, files in $run"
cd "$run"
# -timeout: an input that runs this long is a finding (a hang). A quarantine of 32 MiB, not the
# default 256, still holds the blocks of many inputs, while fresh memory for every block of every
# input would cost a third of the speed in page faults.
if ! ASAN_OPTIONS=quarantine_size_mb=32 "$root/$build/fuzz/fuzz_work" -max_total_time="$seconds" -timeout=60 -max_len=65536 \
    -dict="$root/fuzz/kzm.dict" -artifact_prefix="$root/$build/findings/" -print_final_stats=1 \
    "$root/$build/corpus" "$root/$build/seeds" </dev/null; then
    echo "FUZZING FOUND A FAULT (input in $build/findings)"
    exit 1
fi
echo "fuzzing: no findings"
