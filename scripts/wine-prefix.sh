#!/bin/sh
# wine-prefix.sh <dir> <win64|win32>
# Makes a Wine prefix ready for a test run: creates it once, keeps its
# wineserver up (-p) so each program starts in tens of milliseconds, and
# warms it.  Wine's helper processes are started with every descriptor
# pointing at a log file, so they never hold the caller's pipes open.
set -eu
prefix=$1
arch=$2
log=$prefix.log

export WINEPREFIX="$prefix" WINEDEBUG=-all
[ "$arch" = win32 ] && export WINEARCH=win32

if wine --version 2>&1 | grep -q "Exec format error"; then
    echo "SKIPPED: this host cannot run 32-bit programs (IA-32 emulation is off): no $arch prefix"
    exit 77
fi

mkdir -p "$(dirname "$prefix")"
if [ ! -f "$prefix/.korva-ready" ]; then
    rm -rf "$prefix"
    wineboot -i </dev/null >>"$log" 2>&1
    wineserver -w </dev/null >>"$log" 2>&1
    touch "$prefix/.korva-ready"
    echo "created $arch prefix $prefix"
fi
wineserver -p </dev/null >>"$log" 2>&1 || true
wine cmd /c exit </dev/null >>"$log" 2>&1
echo "$arch prefix $prefix ready"
