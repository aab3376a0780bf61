#!/bin/sh
# The main job: installs what is missing, builds everything, and runs the
# sample caller under Wine against the stand-in host libraries, with the
# host's calls traced.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

cmake --preset windows >/dev/null
cmake --build --preset windows
prefix=$PWD/build/windows/wine/w64
sh scripts/wine-prefix.sh "$prefix" win64

echo
export WINEPREFIX="$prefix" WINEDEBUG=-all KORVA_STANDIN_TRACE=1
wine build/windows/bin/typical_request.exe
