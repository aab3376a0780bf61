#!/bin/sh
# wine-prefix.sh <dir> <win64|win32>
# Makes a Wine prefix ready for a test run: creates it once, keeps its
# wineserver up (-p) so each program starts in tens of milliseconds, and
# warms it.  Wine's helper processes are started with every descriptor
# pointing at a log file, so they never hold the caller's pipes open.
# KORVA_IA32 (scripts/ia32.sh) says how 32-bit programs run here: with
# "none" there is no prefix to make (exit 77, skipped); under "emulated" a
# prefix that cannot be made is reported skipped, and <dir>.unusable keeps the
# reason for the tests that need it (scripts/wine-run.sh).
set -eu
prefix=$1
arch=$2
log=$prefix.log

. "$(dirname "$0")/wine-env.sh"
export WINEPREFIX="$prefix"
[ "$arch" = win32 ] && export WINEARCH=win32

if [ "${KORVA_IA32:-}" = none ]; then
    echo "SKIPPED: $KORVA_NO_IA32: no $arch prefix"
    exit 77
fi

mkdir -p "$(dirname "$prefix")"
rm -f "$prefix.unusable"
unusable() {
    if [ "${KORVA_IA32:-}" != emulated ]; then
        echo "the $arch prefix could not be made: see $log"
        exit 1
    fi
    echo "qemu's user-mode emulator could not make the $arch prefix ($1; see $log)" >"$prefix.unusable"
    echo "SKIPPED: $(cat "$prefix.unusable")"
    exit 77
}
if [ ! -f "$prefix/.korva-ready" ]; then
    rm -rf "$prefix"
    wineboot -i </dev/null >>"$log" 2>&1 || unusable "wineboot failed"
    wineserver -w </dev/null >>"$log" 2>&1
    touch "$prefix/.korva-ready"
    echo "created $arch prefix $prefix"
fi
wineserver -p </dev/null >>"$log" 2>&1 || true
wine cmd /c exit </dev/null >>"$log" 2>&1 || unusable "a program does not start in it"
echo "$arch prefix $prefix ready"
