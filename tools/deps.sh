#!/bin/sh
# Installs the Debian packages that building and testing need, or prints the line that would.
# Usage: tools/deps.sh [--web] [package ...]  (extra packages beyond the build's own)
# --web adds what the WebAssembly build and the page need: emscripten; for the page's tests
# Chromium, Firefox and WebKit's WebDriver with a virtual display; zlib's and libmikmod's sources
# (Debian's source packages of the releases the native build links, unpacked into build-deps/) and
# the page's npm packages (npm ci in web/, from its lock file).
set -e
cd "$(dirname "$0")/.."
web=no
if [ "$1" = --web ]; then
    web=yes
    shift
fi
# Without recommends: emscripten and chromium would bring a desktop's worth of them.
lean=""
need="cmake make g++ zlib1g-dev libgtest-dev $*"
if [ "$web" = yes ]; then
    lean="emscripten chromium dpkg-dev firefox-esr webkit2gtk-driver xvfb xauth"
    command -v npm >/dev/null || need="$need nodejs npm"   # Node's own npm conflicts with Debian's package
    command -v python3 >/dev/null || need="$need python3"   # web.sh serves the page with it
fi
missing=""
for p in $need $lean; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
    if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
        echo "Installing:$missing"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        for p in $missing; do
            case " $lean " in
                *" $p "*) apt-get install -y -qq --no-install-recommends "$p" >/dev/null ;;
                *) apt-get install -y -qq "$p" >/dev/null ;;
            esac
        done
    else
        echo "Missing packages. Run:"
        echo "  sudo apt-get install -y$missing"
        exit 1
    fi
fi
[ "$web" = yes ] || exit 0

# Fetches Debian's source package NAME=VERSION and unpacks it into build-deps/DIR, unless FILE is
# already there; removes only this package's own leftovers, so the other sources stay.
fetch_source() {
    name=$1 ver=$2 dir=build-deps/$3 file=$4
    [ -f "$dir/$file" ] && return 0
    if ! apt-get source --print-uris -qq "$name=$ver" >/dev/null 2>&1; then
        # A deb-src entry like the machine's own Debian entry: the same addresses, the main suite.
        src=/etc/apt/sources.list.d/debian.sources
        suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
        uri=$(sed -n 's/^URIs:[[:space:]]*//p' "$src" 2>/dev/null | head -n 1)
        key=$(sed -n 's/^Signed-By:[[:space:]]*//p' "$src" 2>/dev/null | head -n 1)
        if [ -z "$uri" ]; then
            uri=$(sed -n 's/^deb[[:space:]]\{1,\}\(\[[^]]*\][[:space:]]*\)\{0,1\}\([^[:space:]]*\).*/\2/p' \
                /etc/apt/sources.list 2>/dev/null | head -n 1)
            key=/usr/share/keyrings/debian-archive-keyring.gpg
        fi
        entry="Types: deb-src\nURIs: $uri\nSuites: $suite\nComponents: main\nSigned-By: $key\n"
        if [ "$(id -u)" != 0 ] || [ -z "$uri" ] || [ -z "$suite" ]; then
            echo "$name's source package is not available. As root, add this entry to"
            echo "/etc/apt/sources.list.d/kzm2it-src.sources and run apt-get update:"
            printf "$entry"
            exit 1
        fi
        printf "$entry" >/etc/apt/sources.list.d/kzm2it-src.sources
        apt-get update -qq
    fi
    rm -rf "$dir" "build-deps/${name}_"*
    mkdir -p build-deps
    (cd build-deps && apt-get source -qq "$name=$ver" >/dev/null 2>&1)
    [ -f "$dir/$file" ] || { echo "$name's source did not unpack into $dir"; exit 1; }
}
# zlib's source, exactly the release that zlib1g-dev links natively.
zver=1:1.2.13.dfsg-1
fetch_source zlib "$zver" zlib-1.2.13.dfsg inflate.c
# libmikmod's source, the release of libmikmod-dev: the IT player for the WebAssembly build.
mver=3.3.11.1-7
fetch_source libmikmod "$mver" libmikmod-3.3.11.1 include/mikmod.h

# The page's npm packages, again whenever the lock file is newer than what is installed.
if [ ! -f web/node_modules/.package-lock.json ] || [ web/package-lock.json -nt web/node_modules/.package-lock.json ]; then
    (cd web && npm ci --no-audit --no-fund --loglevel=error)
fi
