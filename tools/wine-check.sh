#!/bin/sh
# Cross-builds the 32-bit Windows program and proves it under wine against the native build.
# Usage: tools/wine-check.sh   (as root on Debian 12 it installs what it lacks; exits non-zero on any failure)
# Builds build-win/kzm2it.exe and, as the reference and test runner, the native build in build-win-ref.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

echo "== Windows build: packages =="
# wine32 is an i386 package; without it the 64-bit wine prints an error for a 32-bit program and exits 0.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    if [ "$(id -u)" != 0 ]; then
        echo "Run: sudo dpkg --add-architecture i386 && sudo apt-get update"
        exit 1
    fi
    dpkg --add-architecture i386
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
fi
sh tools/deps.sh g++-mingw-w64-i686 libz-mingw-w64-dev wine wine32:i386 file binutils-mingw-w64-i686 </dev/null

echo "== Windows build: cross-build and native reference =="
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DKZM_TESTS=OFF --no-warn-unused-cli >/dev/null
cmake --build build-win -j"$jobs"
cmake -S . -B build-win-ref >/dev/null
cmake --build build-win-ref -j"$jobs"
exe="$root/build-win/kzm2it.exe"
ref="$root/build-win-ref/kzm2it"

echo "== Windows build: executable =="
kind=$(file -b "$exe")
echo "file: $kind"
case "$kind" in
    "PE32 executable (console) Intel 80386"*) ;;
    *) echo "FAIL: not a PE32 console executable for Intel 80386"; exit 1 ;;
esac
dlls=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "DLL imports:" $dlls
for d in $dlls; do
    case "$(echo "$d" | tr '[:upper:]' '[:lower:]')" in
        kernel32.dll | msvcrt.dll) ;;
        *) echo "FAIL: imports $d, not a system DLL"; exit 1 ;;
    esac
done

echo "== Windows build: wine =="
export WINEPREFIX="$root/build-win/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="   # no installer dialogues for .NET or the HTML engine
mkdir -p "$WINEPREFIX"
# A server started by the first wine process would inherit this script's output and hold pipes open.
wineserver -p >/dev/null 2>&1 </dev/null
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot -i >/dev/null 2>&1 </dev/null

echo "== Windows build: demo conversion, byte for byte =="
check="$root/build-win/check"
rm -rf "$check"
mkdir -p "$check/native" "$check/wine"
cp examples/demo.kzm "$check/native/"
cp examples/demo.kzm "$check/wine/"
native_rc=0
wine_rc=0
(cd "$check/native" && echo demo | "$ref" >../native.out) || native_rc=$?
(cd "$check/wine" && echo demo | wine "$exe" >../wine.raw) || wine_rc=$?
tr -d '\r' <"$check/wine.raw" >"$check/wine.out"
fail=0
[ "$native_rc" = 0 ] && [ "$wine_rc" = 0 ] || { echo "FAIL: exit status $native_rc natively, $wine_rc under wine"; fail=1; }
tail -c 4 "$check/wine.out" | grep -qx DONE || { echo "FAIL: the Windows program did not print DONE"; fail=1; }
cmp "$check/native.out" "$check/wine.out" || { echo "FAIL: messages differ"; fail=1; }
cmp "$check/native/demo.it" "$check/wine/demo.it" || { echo "FAIL: demo.it differs"; fail=1; }
[ "$(ls "$check/native")" = "$(ls "$check/wine")" ] || { echo "FAIL: different files left"; fail=1; }
[ "$fail" = 0 ]
echo "demo.it identical ($(wc -c <"$check/wine/demo.it") bytes), same messages, exit status 0"

echo "== Windows build: end-to-end tests under wine =="
# The test runner launches the .exe and compares its output and files with the native build's.
KZM2IT_CMD="wine '$exe'" "$root/build-win-ref/tests/kzmtests" --gtest_brief=1 </dev/null
echo "Windows build: all checks passed"
