# Sourced by the checks that run the Windows program under wine (wine-check.sh, release-check.sh).
# Sets bits: 32 when this kernel runs 32-bit code, else 64 (the same sources built as a 64-bit Windows
# program then stand in, under wine64); winepkgs: the Debian packages that run it, for tools/deps.sh,
# after adding the i386 architecture that wine32 needs. Defines wine_start DIR, which starts a wine
# session with its prefix in DIR and sets wine, the command; pe_i386 EXE, which fails unless EXE is a
# 32-bit console program for Intel 80386; and pe_imports EXE OBJDUMP, which fails unless EXE imports
# only Windows' own DLLs.

# A 96-byte 32-bit x86 program that only exits with status 42: does this kernel run 32-bit code?
probe="$(pwd)/build-i386probe.$$"
octs=""
for b in 7f 45 4c 46 01 01 01 00 00 00 00 00 00 00 00 00 02 00 03 00 01 00 00 00 54 80 04 08 \
         34 00 00 00 00 00 00 00 00 00 00 00 34 00 20 00 01 00 00 00 00 00 00 00 01 00 00 00 \
         00 00 00 00 00 80 04 08 00 80 04 08 60 00 00 00 60 00 00 00 05 00 00 00 00 10 00 00 \
         bb 2a 00 00 00 b8 01 00 00 00 cd 80; do
    octs="$octs$(printf '\\%03o' "0x$b")"
done
printf "$octs" >"$probe"
chmod +x "$probe"
status=0
"$probe" 2>/dev/null || status=$?
rm -f "$probe"
if [ "$status" = 42 ]; then
    bits=32
    # wine32 is an i386 package; without it the 64-bit wine prints an error for a 32-bit program and exits 0.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        if [ "$(id -u)" != 0 ]; then
            echo "Run: sudo dpkg --add-architecture i386 && sudo apt-get update"
            exit 1
        fi
        dpkg --add-architecture i386
        DEBIAN_FRONTEND=noninteractive apt-get update -qq
    fi
    winepkgs="wine wine32:i386"
else
    bits=64
    winepkgs="wine64 g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64"
    echo "NOTE: this kernel runs no 32-bit programs: the wine checks run the 64-bit Windows build"
fi

wine_start() {
    if [ "$bits" = 32 ]; then
        wine=wine
    else
        wine=/usr/lib/wine/wine64
        export WINELOADER=$wine
    fi
    export WINEPREFIX="$1/wineprefix"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="   # no installer dialogues for .NET or the HTML engine
    mkdir -p "$WINEPREFIX"
    # A server started by the first wine process would inherit the script's output and hold pipes open.
    # The server creates the files that Windows programs write, under its own umask: the test runner's.
    wineserver -k >/dev/null 2>&1 || true
    (umask 027 && wineserver -p >/dev/null 2>&1 </dev/null) || true
    trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
    $wine wineboot -i >/dev/null 2>&1 </dev/null
}

pe_i386() {
    kind=$(file -b "$1")
    echo "file: $kind"
    case "$kind" in
        "PE32 executable (console) Intel 80386"*) ;;
        *) echo "FAIL: not a PE32 console executable for Intel 80386"; exit 1 ;;
    esac
}

pe_imports() {
    dlls=$("$2" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p')
    echo "DLL imports:" $dlls
    for d in $dlls; do
        case "$(echo "$d" | tr '[:upper:]' '[:lower:]')" in
            kernel32.dll | msvcrt.dll) ;;
            *) echo "FAIL: imports $d, not a system DLL"; exit 1 ;;
        esac
    done
}
