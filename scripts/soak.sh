#!/bin/sh
# The long runs under Wine, with their full counts: eight threads x 50 000
# parses through the host's parse lock, and the leak check (a million parses,
# a hundred thousand calls of every other export that allocates), 2 000
# cycles of load, use and unload of the module and the host libraries, in the
# WOW64 and the pure 32-bit prefix.  The normal test run has the same
# programs with smaller counts.  Installs what is missing first.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

cmake --preset windows >/dev/null
cmake --build --preset windows

. scripts/wine-env.sh
# under qemu's emulator, threads start one at a time, as in the test run
# (korva_under_emulation in tests/wine/CMakeLists.txt says why)
[ "$(sh scripts/ia32.sh)" = emulated ] && export KORVA_THREADS_ONE_AT_A_TIME=1
status=0
for p in w64 w32; do
    prefix=$PWD/build/windows/wine/$p
    arch=win64 archvar=
    [ "$p" = w32 ] && arch=win32 archvar=WINEARCH=win32
    sh scripts/wine-prefix.sh "$prefix" $arch
    for t in thread_stress leak unload; do
        echo
        echo "== $t in $p"
        start=$(date +%s)
        env $archvar WINEPREFIX="$prefix" KORVA_SOAK=full \
            wine build/windows/bin/test_$t.exe || status=1
        echo "($(($(date +%s) - start)) s)"
    done
    # the prefix's server was kept up for the run; let it go
    WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
done
exit $status
