#!/bin/sh
# Runs every test on a fresh or prepared Debian machine: installs what is
# missing, then configures, builds and tests the presets: the DLL under Wine
# (a WOW64 and a pure 32-bit prefix; under qemu's user-mode emulator where
# the kernel cannot run 32-bit programs), the portable parts natively under
# AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzzers.  Ends
# with what the Wine tests did: how many ran natively, emulated or
# shortened, and which were skipped, and why.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh

status=0
rm -f build/windows/wine-tests.xml
cmake --workflow --preset windows || status=1
cmake --workflow --preset native || status=1
cmake --workflow --preset fuzz || status=1

# Wine's server was kept up for the run; let it go.
for p in build/windows/wine/w64 build/windows/wine/w32; do
    [ -d "$p" ] && WINEPREFIX="$PWD/$p" wineserver -k 2>/dev/null || true
done
python3 scripts/wine-summary.py build/windows
exit $status
