#!/bin/sh
# Runs the benchmarks (a few minutes): installs what is missing, then
#  - natively, Google Benchmark over the portable code built optimised and
#    without sanitizers in build/bench: korva_parsebuf against the literal
#    scanner and the floor, the text primitives, and the ratios the scanner
#    is held to;
#  - under Wine, the timing program over the built KORVA_VB6.dll (windows
#    preset, WOW64 prefix): the same cases and ratios; only where the kernel
#    runs 32-bit programs itself (under an emulator it would time the emulator).
# Arguments go to the native program, e.g. --benchmark_filter=parse/a/.
# The benchmarks are never part of ./scripts/test.sh.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

echo "== native (build/bench: Release, no sanitizers)"
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVA_SANITIZE= >/dev/null
cmake --build build/bench --target korva_bench >/dev/null
build/bench/bench/korva_bench "$@"

echo
echo "== KORVA_VB6.dll under Wine (build/windows)"
ia32=$(sh scripts/ia32.sh)
if [ "$ia32" != native ]; then
    echo "skipped: 32-bit programs run $ia32 here, not natively; timings would measure the emulator"
    exit 0
fi
cmake --preset windows >/dev/null
cmake --build --preset windows --target korva_wine_bench >/dev/null
prefix=$PWD/build/windows/wine/w64
sh scripts/wine-prefix.sh "$prefix" win64 >/dev/null
cd build/windows/bin
. ../../../scripts/wine-env.sh
WINEPREFIX="$prefix" wine korva_wine_bench.exe
