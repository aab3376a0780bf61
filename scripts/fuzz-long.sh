#!/bin/sh
# Runs every fuzzer long, after installing what is missing and building the
# fuzz preset:
#   ./scripts/fuzz-long.sh               10 million executions each
#   ./scripts/fuzz-long.sh 3600          an hour each
#   ./scripts/fuzz-long.sh 50000000runs  50 million executions each
#   ./scripts/fuzz-long.sh 600 tokenizer atoi   only these fuzzers
# As many at a time as there are cores (FUZZ_JOBS to change it).  Each corpus
# grows in build/fuzz/long/<name>/, seeded from fuzz/corpus/<name>/; logs are
# build/fuzz/long/<name>.log and crashing inputs land in
# build/fuzz/long/artifacts/.  Exits 1 when a fuzzer found something.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

limit=${1:-10000000runs}
[ $# -gt 0 ] && shift
names=${*:-tokenizer atoi blanks case crlf}
case "$limit" in
    *[0-9]runs) count=${limit%runs}; bound="-runs=$count" ;;
    *[!0-9]* | "") echo "usage: $0 [SECONDS | COUNTruns] [FUZZER...]" >&2; exit 2 ;;
    *) bound="-max_total_time=$limit" ;;
esac
case "${count:-0}" in *[!0-9]*) echo "usage: $0 [SECONDS | COUNTruns] [FUZZER...]" >&2; exit 2 ;; esac
jobs=${FUZZ_JOBS:-$(nproc)}
for n in $names; do
    [ -f "fuzz/fuzz_$n.cpp" ] || { echo "no fuzzer named $n" >&2; exit 2; }
done

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

out=build/fuzz/long
mkdir -p "$out/artifacts"
for n in $names; do mkdir -p "$out/$n"; rm -f "$out/$n.rc"; done

echo "fuzzing ($bound, $jobs at a time): $names"
started=$(date +%s)
# shellcheck disable=SC2016
printf '%s\n' $names | xargs -P "$jobs" -I{} sh -c '
    build/fuzz/fuzz/fuzz_$1 '"$bound"' -timeout=30 -print_final_stats=1 \
        -artifact_prefix='"$out"'/artifacts/$1- '"$out"'/$1 fuzz/corpus/$1 \
        >'"$out"'/$1.log 2>&1
    echo $? >'"$out"'/$1.rc' sh {}

status=0
printf '\n%-10s %14s %9s %8s  %s\n' fuzzer executions seconds corpus result
for n in $names; do
    rc=$(cat "$out/$n.rc" 2>/dev/null || echo "?")
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$out/$n.log" | tail -n 1)
    secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$out/$n.log" | tail -n 1)
    files=$(ls "$out/$n" | wc -l)
    if [ "$rc" = 0 ]; then result=clean; else result="FOUND SOMETHING (exit $rc)"; status=1; fi
    printf '%-10s %14s %9s %8s  %s\n' "$n" "${runs:-?}" "${secs:-?}" "$files" "$result"
done
echo "total $(( $(date +%s) - started )) s, $(date -u '+%Y-%m-%d')"

if [ $status -ne 0 ]; then
    echo
    ls -l "$out/artifacts"
    for n in $names; do
        [ "$(cat "$out/$n.rc" 2>/dev/null)" = 0 ] || { echo "--- $n"; grep -E -A12 'check failed|ERROR:|runtime error' "$out/$n.log" | head -40; }
    done
fi
exit $status
