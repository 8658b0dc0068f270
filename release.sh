#!/bin/sh
# Builds a release into dist/: the Debian package, the Windows zip, the web zip, the npm package, SHA256SUMS.
# Usage: ./release.sh   (as root on Debian 12 it installs what it lacks). The same commit gives the same
# bytes in any folder: times come from SOURCE_DATE_EPOCH, the commit's time unless it is set already.
set -e
cd "$(dirname "$0")"
root=$(pwd)
jobs=$(nproc)
version=$(sed -n 's/^project(kzm2it VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "No version in CMakeLists.txt's project()"; exit 1; }

sh tools/deps.sh --web g++-mingw-w64-i686 libz-mingw-w64-dev binutils-mingw-w64-i686 zip </dev/null

if [ -z "$SOURCE_DATE_EPOCH" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) || { echo "Not a git clone: set SOURCE_DATE_EPOCH"; exit 1; }
    [ -z "$(git status --porcelain --untracked-files=no)" ] || echo "NOTE: the work tree differs from its commit"
fi
# Nothing from the builder's locale, time zone or umask reaches the files.
export SOURCE_DATE_EPOCH LC_ALL=C.UTF-8 TZ=UTC
umask 022
out="$root/build-release"
rm -rf "$out" dist
mkdir -p "$out/stage" dist
# Paths inside the objects are relative to the source folder, whatever folder that is.
prefixmap="-ffile-prefix-map=$root=."

echo "== release $version: Debian package =="
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)   # CMake ignores CPPFLAGS: they go with the compile flags
CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B "$out/deb" -DCMAKE_BUILD_TYPE=Release -DKZM_TESTS=OFF >/dev/null
cmake --build "$out/deb" -j"$jobs"
(cd "$out/deb" && cpack >/dev/null)
cp "$out/deb"/kzm2it_"$version"_*.deb dist/

echo "== release $version: Windows program =="
CFLAGS="$prefixmap" CXXFLAGS="$prefixmap" LDFLAGS="-Wl,--no-insert-timestamp" \
    cmake -S . -B "$out/win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
    -DKZM_TESTS=OFF --no-warn-unused-cli >/dev/null
cmake --build "$out/win" -j"$jobs"
win="$out/stage/kzm2it-$version-win32"
mkdir -p "$win"
i686-w64-mingw32-strip -o "$win/kzm2it.exe" "$out/win/kzm2it.exe"
# The texts with Windows' line ends.
crlf() { sed 's/\r$//; s/$/\r/' "$1" >"$2"; }
crlf "$out/win/README.txt" "$win/README.txt"
crlf LICENSE "$win/LICENSE.txt"
crlf "$out/win/THIRD-PARTY.txt" "$win/THIRD-PARTY.txt"

echo "== release $version: WebAssembly program and page =="
CFLAGS="$prefixmap" CXXFLAGS="$prefixmap" emcmake cmake -S . -B "$out/wasm" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$out/wasm" -j"$jobs"
web="$out/stage/kzm2it-$version-web"
mkdir -p "$web"
cp -R "$out/wasm/web" "$web/site"
[ ! -f "$out/wasm/kzm2it.html" ] || cp "$out/wasm/kzm2it.html" "$web/kzm2it-$version.html"

# A zip of one folder: fixed times, modes and order, no owner, DOS times in UTC.
zipup() {
    (cd "$out/stage" &&
        find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} + &&
        find "$1" -type d -exec chmod 755 {} + &&
        find "$1" -type f -exec chmod 644 {} + &&
        find "$1" -type f | LC_ALL=C sort | zip -X -D -9 -q "$root/dist/$1.zip" -@)
}
zipup "kzm2it-$version-win32"
zipup "kzm2it-$version-web"

echo "== release $version: npm package =="
# npm pack sets the times and modes of what it packs itself; the staged copy has the modes set here.
cp -R "$out/wasm/npm" "$out/stage/npm"
find "$out/stage/npm" -type f -exec chmod 644 {} +
chmod 755 "$out/stage/npm/bin/kzm2it.js"
(cd dist && npm pack --silent "$out/stage/npm" >/dev/null)
[ -f "dist/kzm2it-$version.tgz" ] || { echo "npm pack did not write kzm2it-$version.tgz"; exit 1; }

(cd dist && sha256sum $(LC_ALL=C ls | grep -v '^SHA256SUMS$') >SHA256SUMS)
echo "== release $version in dist/ =="
(cd dist && ls -l && cat SHA256SUMS)
