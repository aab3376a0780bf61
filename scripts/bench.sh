#!/bin/sh
# Runs the benchmarks (a few minutes): installs what is missing, then
#  - natively, Google Benchmark over the portable code built optimised and
#    without sanitizers in build/bench: korva_parsebuf against the literal
#    scanner and the floor, the text primitives, and this run's shares and
#    ratios, with no verdict;
#  - under Wine, the timing program over the built KORVA_VB6.dll (windows
#    preset, WOW64 prefix) on lines (a)-(d), in 5 processes, and the goals'
#    verdicts on the median of each line's 5 shares: one process's share
#    moves with where its pages and blocks land, so no one process decides.
#    Only where the kernel runs 32-bit programs itself (under an emulator it
#    would time the emulator).  The other lines and the text primitives:
#    korva_wine_bench.exe without arguments, in build/windows/bin.
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
out=$PWD/build/windows/bench-wine
mkdir -p "$out"
cd build/windows/bin
. ../../../scripts/wine-env.sh
for i in 1 2 3 4 5; do
    echo "process $i of 5 (its table: $out/process-$i.txt)"
    WINEPREFIX="$prefix" wine korva_wine_bench.exe a b c d >"$out/process-$i.txt"
done

# korva_parsebuf's time as a share of the literal scanner's in the same
# process, from each table's prod/literal column; the goals hold the median.
/usr/bin/python3 - "$out"/process-[1-5].txt <<'EOF'
import re, statistics, sys
goals = {"a": 0.0042, "b": 0.0058, "c": 0.0132, "d": 0.0097}
row = re.compile(r"([a-d]) .* (\d+\.\d+|-) +(?:\S+x|-) +\S+$")
shares = {case: [] for case in goals}
for path in sys.argv[1:]:
    got = {}
    for line in open(path):
        m = row.match(line.rstrip())
        if m and m.group(2) != "-":
            got[m.group(1)] = float(m.group(2))
    for case in goals:
        shares[case].append(got.get(case))
print(f"\n{'case':4}  {'prod/literal in each process':39}  {'median':>7}  {'goal':>9}  verdict")
for case, goal in goals.items():
    each = shares[case]
    if None in each:
        median, verdict = None, "not met (a process gave no share)"
    else:
        median = statistics.median(each)
        verdict = "met" if median <= goal else "not met"
    print(f"{case:4}  {' '.join('-' if s is None else f'{s:.5f}' for s in each):39}  "
          f"{'-' if median is None else f'{median:.5f}':>7}  <= {goal:.4f}  {verdict}")
EOF
