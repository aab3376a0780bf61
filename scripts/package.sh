#!/bin/sh
# package.sh [--pkcs12 <file>] [--password-file <file>] [--timestamp <url>]
# Makes the release zip: installs what is missing, builds the windows
# preset's release target, and writes build/windows/package/KORVA_VB6-<version>.zip.
# Given a code-signing certificate (the options above, or KORVA_SIGN_PKCS12
# with KORVA_SIGN_PASSWORD or KORVA_SIGN_PASSWORD_FILE, and optionally
# KORVA_SIGN_TIMESTAMP_URL; see scripts/sign-dll.sh) the DLL in it carries an
# Authenticode SHA-256 signature; without one it is the unsigned build, and
# the script says so.  The folder is zipped again after signing, which makes
# the zip's SHA256SUMS.txt anew, with the signed DLL's sum
# (cmake/release-zip.py).  Prints the zip's path and contents.
set -eu
cd "$(dirname "$0")/.."
[ -n "${KORVA_SKIP_SETUP:-}" ] || ./scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target korva_release >/dev/null

# the version CMake takes from the header; a build folder may still hold
# the zips of earlier versions
name=KORVA_VB6-$(sed -n 's/^#define KORVA_VB6_VERSION  *"\([0-9.]*\)".*/\1/p' include/korva_vb6.h)
[ -f "build/windows/$name.zip" ] || { echo "build/windows/$name.zip was not built" >&2; exit 1; }
out=build/windows/package
rm -rf "$out"
mkdir -p "$out"
cp -R "build/windows/release/$name" "$out/"
sh scripts/sign-dll.sh "$@" "build/windows/release/$name/bin/KORVA_VB6.dll" "$out/$name/bin/KORVA_VB6.dll"
python3 cmake/release-zip.py "$out/$name" "$out/$name.zip" build/windows/release/release-time
rm -rf "${out:?}/$name"
echo "$out/$name.zip"
unzip -l "$out/$name.zip"
