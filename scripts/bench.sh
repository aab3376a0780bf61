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
# Draws the native run's chart (scripts/bench-chart.py) to
# build/bench/performance.png.
# The benchmarks are never part of ./scripts/test.sh.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

echo "== native (build/bench: Release, no sanitizers)"
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKORVA_SANITIZE= >/dev/null
cmake --build build/bench --target korva_bench >/dev/null
build/bench/bench/korva_bench --benchmark_out=build/bench/korva_bench.json --benchmark_out_format=json "$@"

# the chart of this run (docs/performance.png is the one the documented
# figures come from: copy this one there with them)
if ! /usr/bin/python3 -c "import matplotlib" 2>/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends python3-matplotlib >/dev/null
fi
/usr/bin/python3 scripts/bench-chart.py build/bench/korva_bench.json build/bench/performance.png &&
    echo "chart of this run: build/bench/performance.png"

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
