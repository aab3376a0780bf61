#!/bin/sh
# test-package.sh <zip> <cc> <c++> <stand-in dir> <work dir>
# Unpacks the release zip, builds a C and a C++ caller against its header
# and each of its import libraries, and runs them under Wine (WINEPREFIX from
# the environment) beside the packaged DLL and the stand-in host libraries.
set -eu
zip=$1 cc=$2 cxx=$3 standins=$4 work=$5
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work/run"
(cd "$work" && unzip -q "$zip")
pkg=$(echo "$work"/KORVA_VB6-*)
for f in bin/KORVA_VB6.dll include/korva_vb6.h lib/KORVA_VB6.def lib/libKORVA_VB6.a lib/KORVA_VB6.lib \
         vb6/KORVA_VB6.bas vb6/KORVA_VB6.tlb README.txt; do
    [ -f "$pkg/$f" ] || { echo "the package lacks $f"; exit 1; }
done

cp "$pkg/bin/KORVA_VB6.dll" "$standins/KORVA.dll" "$standins/libq47.dll" "$work/run/"
"$cc" -std=c99 -Wall -Werror -I"$pkg/include" "$here/caller.c" -L"$pkg/lib" -lKORVA_VB6 -loleaut32 \
      -static -o "$work/run/caller_c.exe"
"$cxx" -x c++ -Wall -Werror -I"$pkg/include" "$here/caller.c" -x none "$pkg/lib/KORVA_VB6.lib" -loleaut32 \
      -static -o "$work/run/caller_cpp.exe"

export Q47_STANDIN_VARS="PACKAGE_VAR=linked"
status=0
for exe in caller_c caller_cpp; do
    echo "== $exe"
    (cd "$work/run" && wine "$exe.exe") || status=1
done
exit $status
