#!/bin/sh
# Makes the release zip (build/windows/KORVA_VB6-<version>.zip): installs
# what is missing, builds the windows preset's release target, prints the
# zip's path and contents.
set -eu
cd "$(dirname "$0")/.."
./scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target korva_release >/dev/null
zip=$(ls build/windows/KORVA_VB6-*.zip)
echo "$zip"
unzip -l "$zip"
