#!/bin/sh
# Checks ./release.sh: built twice in two folders it gives the same files, and they install, convert the
# demo as the native build does, and carry the licence and the notices of the code of others they hold.
# Usage: tools/release-check.sh   (as root on Debian 12 it installs what it lacks; exits non-zero on any failure)
# Works in build-release-check/: two clones of HEAD with this work tree's changes over them, a/ and
# the longer second-copy/ built with another TZ and umask; the native reference; scratch roots.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)
version=$(sed -n 's/^project(kzm2it VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
arch=$(dpkg --print-architecture)
work="$root/build-release-check"

. tools/wine-env.sh   # bits, winepkgs, wine_start, pe_i386, pe_imports
sh tools/deps.sh git lintian man-db file unzip g++-mingw-w64-i686 libz-mingw-w64-dev binutils-mingw-w64-i686 \
    $winepkgs </dev/null
rm -rf "$work"
mkdir -p "$work"

fail() { echo "FAIL: $*"; exit 1; }
# A clone of HEAD in $1 with the work tree's files over it: what a commit of this tree would give.
copy() {
    git clone -q "$root" "$1"
    git ls-tree -r --name-only HEAD | while IFS= read -r f; do [ -e "$f" ] || rm -f "$1/$f"; done
    git ls-files -z --cached --others --exclude-standard |
        tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - --no-same-permissions -C "$1"
}

echo "== release check: the release built twice =="
a="$work/a"
b="$work/second-copy"
copy "$a"
(umask 077 && copy "$b")
"$a/release.sh" >"$work/a.log" 2>&1 || { tail -n 30 "$work/a.log"; fail "release.sh in $a"; }
(umask 077 && TZ=NPT-5:45 "$b/release.sh" >"$work/b.log" 2>&1) || { tail -n 30 "$work/b.log"; fail "release.sh in $b"; }
dist="$a/dist"
names="SHA256SUMS kzm2it-$version-web.zip kzm2it-$version-win32.zip kzm2it-$version.tgz kzm2it_${version}_$arch.deb"
[ "$(echo $(LC_ALL=C ls "$dist"))" = "$names" ] || fail "dist/ holds $(echo $(ls "$dist")), not $names"
[ "$(echo $(LC_ALL=C ls "$b/dist"))" = "$names" ] || fail "the second dist/ holds $(echo $(ls "$b/dist"))"
for f in $names; do
    cmp -s "$dist/$f" "$b/dist/$f" || fail "$f differs between the two builds"
done
(cd "$dist" && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
echo "$names: byte-identical"

echo "== release check: the native reference =="
cmake -S "$a" -B "$work/ref" -DKZM_TESTS=OFF >/dev/null
cmake --build "$work/ref" -j"$jobs" >/dev/null
mkdir -p "$work/run/native"
cp examples/demo.kzm "$work/run/native/"
(cd "$work/run/native" && "$work/ref/kzm2it" demo.kzm >/dev/null)
# converts NAME COMMAND...: COMMAND demo.kzm in a folder of its own writes the native build's demo.it.
converts() {
    name=$1
    shift
    mkdir -p "$work/run/$name"
    cp examples/demo.kzm "$work/run/$name/"
    (cd "$work/run/$name" && "$@" demo.kzm </dev/null >/dev/null) || fail "$name: exit status $?"
    cmp "$work/run/native/demo.it" "$work/run/$name/demo.it" || fail "$name: demo.it differs"
    echo "$name: demo.it identical"
}
# holds FILE TEXT...: FILE holds each TEXT, the copyright line of a licence or notice.
holds() {
    f=$1
    shift
    for t in "$@"; do
        grep -qF "$t" "$f" || fail "$f lacks \"$t\""
    done
}
own="Copyright (c) 2026 the kzm2it authors"
zlib="Copyright (C) 1995-2022 Jean-loup Gailly and Mark Adler"
emscripten="Copyright (c) 2010-2022 The Emscripten Authors"
musl="Copyright © 2005-2020 Rich Felker, et al."
fflate="Arjun Barrett"
mikmod="Copyright (C) 1998-2016 Miodrag Vallat and others"
lgpl="GNU LESSER GENERAL PUBLIC LICENSE"
mingw="Copyright (c) 2009-2016 the mingw-w64 project"
gdtoa="by Lucent Technologies"
winpthreads="Copyright (c) 2011-2016 mingw-w64 project"
lockless="Copyright (c) 2010 Lockless Inc."

echo "== release check: the Debian package =="
deb="$dist/kzm2it_${version}_$arch.deb"
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
want="./usr/ ./usr/bin/ ./usr/bin/kzm2it ./usr/share/ ./usr/share/doc/ ./usr/share/doc/kzm2it/
./usr/share/doc/kzm2it/changelog.gz ./usr/share/doc/kzm2it/copyright ./usr/share/man/ ./usr/share/man/man1/
./usr/share/man/man1/kzm2it.1.gz"
[ "$(echo $files)" = "$(echo $want)" ] || fail "the package holds:" $files
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package) $(field Version) $(field Architecture)" = "kzm2it $version $arch" ] ||
    fail "package $(field Package) $(field Version) $(field Architecture)"
[ "$(field Section) $(field Priority)" = "sound optional" ] || fail "section and priority"
field Maintainer | grep -q '^[^<]* <[^@>]*@[^>]*>$' || fail "Maintainer: $(field Maintainer)"
for d in libc6 libstdc++6 zlib1g; do
    field Depends | grep -q "$d (>= " || fail "Depends lacks $d: $(field Depends)"
done
[ "$(field Description | wc -l)" -ge 3 ] || fail "no extended description"
lint=$(lintian --allow-root -I "$deb" 2>&1) || true
[ -z "$lint" ] || fail "lintian: $lint"
dpkg-deb -x "$deb" "$work/debroot"
bin="$work/debroot/usr/bin/kzm2it"
file -b "$bin" | grep -q ", stripped" || fail "the program is not stripped"
# zlib is Debian's own, with its own copyright file: the program holds only its start files' code.
objdump -p "$bin" | grep -q "NEEDED *libz.so.1" || fail "the program does not load zlib"
holds "$work/debroot/usr/share/doc/kzm2it/copyright" "Copyright: 2026 the kzm2it authors" "License: Expat"
[ "$("$bin" --version)" = "kzm2it $version" ] || fail "--version says $("$bin" --version)"
warn=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l "$work/debroot/usr/share/man/man1/kzm2it.1.gz" 2>&1 >/dev/null)
[ -z "$warn" ] || fail "man: $warn"
converts deb "$bin"
echo "lintian clean, fields and files as wanted, --version: kzm2it $version, the manual page renders"

echo "== release check: the Windows zip =="
zip="$dist/kzm2it-$version-win32.zip"
w="kzm2it-$version-win32"
[ "$(echo $(unzip -Z1 "$zip"))" = "$w/LICENSE.txt $w/README.txt $w/THIRD-PARTY.txt $w/kzm2it.exe" ] ||
    fail "the zip holds" $(unzip -Z1 "$zip")
unzip -q "$zip" -d "$work/win"
cr=$(printf '\r')
for t in README.txt LICENSE.txt THIRD-PARTY.txt; do
    lines=$(wc -l <"$work/win/$w/$t")
    [ "$lines" -gt 0 ] && [ "$(grep -c "$cr\$" "$work/win/$w/$t")" = "$lines" ] && [ "$(tail -c 1 "$work/win/$w/$t")" = "" ] ||
        fail "$t has lines without CR LF"
done
holds "$work/win/$w/LICENSE.txt" "$own"
holds "$work/win/$w/THIRD-PARTY.txt" "$zlib" "$mingw" "$gdtoa" "$winpthreads" "$lockless"
exe="$work/win/$w/kzm2it.exe"
pe_i386 "$exe"
pe_imports "$exe" i686-w64-mingw32-objdump
i686-w64-mingw32-objdump -t "$exe" | grep -q "^no symbols" || fail "kzm2it.exe is not stripped"
if [ "$bits" = 64 ]; then
    cmake -S "$a" -B "$work/win64" -DCMAKE_TOOLCHAIN_FILE="$a/cmake/mingw-x86_64.cmake" -DKZM_TESTS=OFF \
        --no-warn-unused-cli >/dev/null
    cmake --build "$work/win64" -j"$jobs" >/dev/null
    exe="$work/win64/kzm2it.exe"
fi
wine_start "$work"
converts wine $wine "$exe"

echo "== release check: the npm package =="
tgz="$dist/kzm2it-$version.tgz"
[ "$(echo $(tar -tzf "$tgz" | LC_ALL=C sort))" = "package/LICENSE package/README.md package/THIRD-PARTY.txt \
package/bin/kzm2it.js package/kzm2it.js package/kzm2it.wasm package/package.json" ] || fail "the tarball holds" $(tar -tzf "$tgz")
mkdir -p "$work/npm"
tar -xzf "$tgz" -C "$work/npm"
holds "$work/npm/package/package.json" "\"version\": \"$version\"" '"license": "MIT"'
holds "$work/npm/package/LICENSE" "$own"
holds "$work/npm/package/THIRD-PARTY.txt" "$zlib" "$emscripten" "$musl"
npm install -g --silent --no-audit --no-fund --prefix "$work/prefix" "$tgz"
converts npm "$work/prefix/bin/kzm2it"

echo "== release check: the web zip =="
web="kzm2it-$version-web"
unzip -q "$dist/$web.zip" -d "$work/web"
for f in "$web/kzm2it-$version.html" "$web/site/index.html" "$web/site/kzmweb.wasm" "$web/site/kzmplay.wasm" \
         "$web/site/LICENSE.txt" "$web/site/THIRD-PARTY.txt"; do
    [ -f "$work/web/$f" ] || fail "the web zip lacks $f"
done
holds "$work/web/$web/site/LICENSE.txt" "$own"
holds "$work/web/$web/site/THIRD-PARTY.txt" "$zlib" "$emscripten" "$musl" "$fflate" "$mikmod" "$lgpl"
holds "$work/web/$web/kzm2it-$version.html" "$own" "$zlib" "$emscripten" "$musl" "$fflate" "$mikmod" "$lgpl"
echo "Release check: all checks passed"
