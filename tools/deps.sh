#!/bin/sh
# Installs the Debian packages that building and testing need, or prints the line that would.
# Usage: tools/deps.sh [package ...]  (extra packages beyond the build's own)
set -e
need="cmake make g++ zlib1g-dev libgtest-dev $*"
missing=""
for p in $need; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null; then
    echo "Installing:$missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq $missing >/dev/null
else
    echo "Missing packages. Run:"
    echo "  sudo apt-get install -y$missing"
    exit 1
fi
