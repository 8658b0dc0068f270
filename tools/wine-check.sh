#!/bin/sh
# Cross-builds the 32-bit Windows program and proves it under wine against the native build.
# Usage: tools/wine-check.sh   (as root on Debian 12 it installs what it lacks; exits non-zero on any failure)
# Builds build-win/kzm2it.exe and, as the reference and test runner, the native build in build-win-ref.
# A machine whose kernel runs no 32-bit code (wine32 cannot start there) runs the same sources built
# as a 64-bit Windows program, build-win64/kzm2it.exe, under wine64 instead.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

. tools/wine-env.sh   # bits, winepkgs, wine_start, pe_i386, pe_imports

echo "== Windows build: packages =="
sh tools/deps.sh g++-mingw-w64-i686 libz-mingw-w64-dev file binutils-mingw-w64-i686 $winepkgs </dev/null

echo "== Windows build: cross-build and native reference =="
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DKZM_TESTS=OFF --no-warn-unused-cli >/dev/null
cmake --build build-win -j"$jobs"
if [ "$bits" = 64 ]; then
    cmake -S . -B build-win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DKZM_TESTS=OFF \
        --no-warn-unused-cli >/dev/null
    cmake --build build-win64 -j"$jobs"
fi
cmake -S . -B build-win-ref >/dev/null
cmake --build build-win-ref -j"$jobs"
ref="$root/build-win-ref/kzm2it"

echo "== Windows build: executable =="
pe_i386 build-win/kzm2it.exe
pe_imports build-win/kzm2it.exe i686-w64-mingw32-objdump
if [ "$bits" = 32 ]; then
    exe="$root/build-win/kzm2it.exe"
else
    exe="$root/build-win64/kzm2it.exe"
    echo "file (64-bit build run under wine64): $(file -b "$exe")"
    pe_imports "$exe" x86_64-w64-mingw32-objdump
fi

echo "== Windows build: wine =="
wine_start "$(dirname "$exe")"

echo "== Windows build: demo conversion, byte for byte =="
check="$root/build-win/check"
rm -rf "$check"
mkdir -p "$check/native" "$check/wine"
cp examples/demo.kzm "$check/native/"
cp examples/demo.kzm "$check/wine/"
native_rc=0
wine_rc=0
(cd "$check/native" && echo demo | "$ref" >../native.out) || native_rc=$?
(cd "$check/wine" && echo demo | $wine "$exe" >../wine.raw) || wine_rc=$?
tr -d '\r' <"$check/wine.raw" >"$check/wine.out"
fail=0
[ "$native_rc" = 0 ] && [ "$wine_rc" = 0 ] || { echo "FAIL: exit status $native_rc natively, $wine_rc under wine"; fail=1; }
tail -c 4 "$check/wine.out" | grep -qx DONE || { echo "FAIL: the Windows program did not print DONE"; fail=1; }
cmp "$check/native.out" "$check/wine.out" || { echo "FAIL: messages differ"; fail=1; }
cmp "$check/native/demo.it" "$check/wine/demo.it" || { echo "FAIL: demo.it differs"; fail=1; }
[ "$(ls "$check/native")" = "$(ls "$check/wine")" ] || { echo "FAIL: different files left"; fail=1; }
[ "$fail" = 0 ]
echo "demo.it identical ($(wc -c <"$check/wine/demo.it") bytes), same messages, exit status 0"

echo "== Windows build: a file dropped on the program =="
# Explorer starts the program with the dropped file's full path as its one argument.
drop="$WINEPREFIX/drive_c/kzm2it drop"
rm -rf "$drop"
mkdir -p "$drop"
cp examples/demo.kzm "$drop/"
drop_rc=0
$wine "$exe" 'C:\kzm2it drop\demo.kzm' </dev/null >"$check/drop.out" 2>"$check/drop.err" || drop_rc=$?
printf 'C:\\kzm2it drop\\demo.kzm -> C:\\kzm2it drop\\demo.it\r\n' >"$check/drop.want"
[ "$drop_rc" = 0 ] || { echo "FAIL: exit status $drop_rc"; fail=1; }
cmp "$check/drop.want" "$check/drop.out" || { echo "FAIL: the dropped file's line differs"; fail=1; }
[ ! -s "$check/drop.err" ] || { echo "FAIL: messages on standard error"; cat "$check/drop.err"; fail=1; }
cmp "$check/native/demo.it" "$drop/demo.it" || { echo "FAIL: the dropped file's demo.it differs"; fail=1; }
[ "$fail" = 0 ]
echo "demo.it identical, one line: $(tr -d '\r' <"$check/drop.out")"

echo "== Windows build: end-to-end tests under wine =="
# The test runner launches the .exe and compares its output and files with the native build's.
# Wine keeps its server's socket in TMPDIR, which the runner sets for the program: wine gets its own.
KZM2IT_CMD="env -u TMPDIR $wine '$exe'" "$root/build-win-ref/tests/kzmtests" --gtest_brief=1 </dev/null
echo "Windows build: all checks passed"
