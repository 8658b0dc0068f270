#!/bin/sh
# Builds the libFuzzer targets with clang and runs them for a bounded time; fails on any finding.
# Usage: tools/fuzz.sh [SECONDS]   (default 120, shared evenly by the targets)
# The corpora grow in build-fuzz/corpus and are reused by the next run; findings land in build-fuzz/findings.
set -e
cd "$(dirname "$0")/.."
total=${1:-120}
build=build-fuzz

sh tools/deps.sh clang libclang-rt-dev
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKZM_FUZZ=ON -DKZM_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

rm -rf "$build/seeds"
"$build/fuzz/kzmseeds" "$build/seeds"
mkdir -p "$build/findings"

targets="kzm work"
each=$((total / 2))
[ "$each" -ge 1 ] || each=1
failed=""
for t in $targets; do
    mkdir -p "$build/corpus/$t"
    echo "== fuzz_$t for $each s"
    # -timeout: an input that runs this long is a finding (a hang); the slowest seeds take a second.
    if ! "$build/fuzz/fuzz_$t" -max_total_time="$each" -timeout=60 -max_len=65536 -dict=fuzz/kzm.dict \
        -artifact_prefix="$build/findings/$t-" -print_final_stats=1 \
        "$build/corpus/$t" "$build/seeds/$t" </dev/null; then
        failed="$failed fuzz_$t"
    fi
done
if [ -n "$failed" ]; then
    echo "FUZZING FOUND A FAULT in:$failed (inputs in $build/findings)"
    exit 1
fi
echo "fuzzing: no findings"
