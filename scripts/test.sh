#!/bin/sh
# Runs every test on a fresh or prepared Debian machine: installs what is
# missing, then configures, builds and tests both presets: the DLL under Wine
# (a WOW64 and a pure 32-bit prefix) and the portable parts natively under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

status=0
cmake --workflow --preset windows || status=1
cmake --workflow --preset native || status=1
cmake --workflow --preset fuzz || status=1

# Wine's server was kept up for the run; let it go.
for p in build/windows/wine/w64 build/windows/wine/w32; do
    [ -d "$p" ] && WINEPREFIX="$PWD/$p" wineserver -k 2>/dev/null || true
done
exit $status
