#!/bin/sh
# at-source-date.sh <source dir> <command> [<arg>...]
# Runs a tool that writes the wall-clock time into its output (widl stamps
# type libraries with it) with the clock frozen, in UTC, at the release's
# time: SOURCE_DATE_EPOCH when set, else the commit time of <source dir>'s
# checkout, else 1980-01-01.
set -eu
src=$1
shift
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$src" log -1 --format=%ct 2>/dev/null || echo 315532800)}
exec env TZ=UTC faketime -f "@$(date -u -d "@$epoch" "+%Y-%m-%d %H:%M:%S") x0" "$@"
