#!/bin/sh
# The main job: installs what is missing, builds everything, and runs under
# Wine, against the stand-in host libraries, first the typical request with
# the host's parse-lock calls traced, then the tour of every export family.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

cmake --preset windows >/dev/null
cmake --build --preset windows
prefix=$PWD/build/windows/wine/w64
sh scripts/wine-prefix.sh "$prefix" win64
. scripts/wine-env.sh
export WINEPREFIX="$prefix"

echo
echo "== The typical request, with the stand-in host's calls traced"
KORVA_STANDIN_TRACE=1 wine build/windows/bin/typical_request.exe

echo
echo "== The tour"
KORVA_STANDIN_LOG=console Q47_STANDIN_VARS='TEMPDIR=C:\Temp' Q47_STANDIN_ENV=0 \
    wine build/windows/bin/tour.exe
