#!/bin/sh
# wine-run.sh [--expect <ERE>] [--sh] <program> [<arg>...]
# Runs one Wine test: the Windows program under Wine, or with --sh a shell
# script that runs Wine itself.  It is every Wine test's command (and the
# build's CMAKE_CROSSCOMPILING_EMULATOR), so what decides whether and how a
# test runs is here, from the environment the windows preset gives it:
#   KORVA_IA32=none          this host cannot run 32-bit programs
#                            (scripts/ia32.sh): skipped, with that reason;
#   KORVA_SKIP=<reason>      skipped by name, for that reason;
#   KORVA_SHORTENED=<what>   runs, said to be shortened, and how;
#   <WINEPREFIX>.unusable    the prefix could not be made under emulation
#                            (scripts/wine-prefix.sh): skipped, its reason.
# A skipped test exits 77.  --expect: the output must also match the
# extended regular expression, across lines; the exit status counts either way.
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

expect= script=
while :; do
    case ${1:-} in
        --expect) expect=$2; shift 2 ;;
        --sh) script=1; shift ;;
        *) break ;;
    esac
done

skip() {
    echo "SKIPPED: $*"
    exit 77
}
[ "${KORVA_IA32:-}" = none ] && skip "$KORVA_NO_IA32"
[ -n "${KORVA_SKIP:-}" ] && skip "$KORVA_SKIP"
[ -n "${WINEPREFIX:-}" ] && [ -f "$WINEPREFIX.unusable" ] && skip "$(cat "$WINEPREFIX.unusable")"
[ -n "${KORVA_SHORTENED:-}" ] && echo "SHORTENED: $KORVA_SHORTENED"

if [ -n "$script" ]; then set -- sh "$@"; else set -- wine "$@"; fi
[ -z "$expect" ] && exec "$@"

out=$(mktemp)
"$@" >"$out" 2>&1
status=$?
cat "$out"
if [ $status = 0 ] && ! grep -Ezq -- "$expect" "$out"; then
    echo "FAIL: the output does not match: $expect"
    status=1
fi
rm -f "$out"
exit $status
