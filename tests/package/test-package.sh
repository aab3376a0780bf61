#!/bin/sh
# test-package.sh <zip> <cc> <c++> <stand-in dir> <work dir>
# Unpacks the release zip and checks its SHA256SUMS.txt; builds a C and a C++
# caller with MinGW against its header and import libraries, and an MSVC-ABI
# caller (clang for i686-pc-windows-msvc, linked by lld-link at its defaults)
# against KORVA_VB6.lib; runs all three under Wine (WINEPREFIX from the
# environment) beside the packaged DLL and the stand-in host libraries, then
# the packaged probe tool, whose account of the DLL must match the zip's.
set -eu
zip=$1 cc=$2 cxx=$3 standins=$4 work=$5
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work/run" "$work/msvc"
(cd "$work" && unzip -q "$zip")
pkg=$(echo "$work"/KORVA_VB6-*)
for f in bin/KORVA_VB6.dll symbols/KORVA_VB6.pdb include/korva_vb6.h lib/KORVA_VB6.def lib/libKORVA_VB6.a \
         lib/KORVA_VB6.lib vb6/KORVA_VB6.bas vb6/KORVA_VB6.tlb README.txt THIRD-PARTY-NOTICES.txt \
         examples/split.c examples/vb6/KorvaSample.vbp examples/vb6/Sample.bas tools/korva_probe.exe \
         symbols/korva_probe.pdb doc/reference.md doc/visual-basic.md doc/support.md SHA256SUMS.txt CHANGES.txt; do
    [ -f "$pkg/$f" ] || { echo "the package lacks $f"; exit 1; }
done
# the change log's newest section is this version's
newest=$(tr -d '\r' <"$pkg/CHANGES.txt" | sed -n 's/^## \([0-9][0-9.]*\).*/\1/p' | head -n 1)
[ "$newest" = "${pkg##*/KORVA_VB6-}" ] || { echo "CHANGES.txt's newest section is '$newest', not ${pkg##*/KORVA_VB6-}"; exit 1; }
# the VB6 IDE reads its files with CR LF line ends only, and old Notepads
# show text so; a page with non-ASCII bytes starts with a UTF-8 BOM
for f in vb6/KORVA_VB6.bas examples/vb6/KorvaSample.vbp examples/vb6/Sample.bas README.txt CHANGES.txt doc/*.md; do
    (cd "$pkg" && python3 -c 'import sys; d = open(sys.argv[1], "rb").read(); sys.exit(d.count(b"\n") != d.count(b"\r\n"))' $f) ||
        { echo "$f in the package does not end every line in CR LF"; exit 1; }
done
python3 -c 'import sys; sys.exit(any(not open(f, "rb").read().startswith(b"\xef\xbb\xbf") for f in sys.argv[1:]))' \
    $(grep -lP '[^\x00-\x7f]' "$pkg"/doc/*.md) || { echo "a non-ASCII page in doc/ lacks a UTF-8 BOM"; exit 1; }
# SHA256SUMS.txt holds every other file, and each sum is right
(cd "$pkg" && sha256sum --quiet -c SHA256SUMS.txt) || { echo "SHA256SUMS.txt does not match the files"; exit 1; }
(cd "$pkg" && find . -type f ! -name SHA256SUMS.txt | sed 's|^\./||' | sort >"$work/files" &&
    tr -d '\r' <SHA256SUMS.txt | sed 's/^[0-9a-f]*  //' | sort | diff -u "$work/files" -) ||
    { echo "SHA256SUMS.txt does not list the package's files"; exit 1; }
# the probe tool's header allows Windows 2000 (5.0) as the DLL's does
"${cc%-gcc*}-objdump" -p "$pkg/tools/korva_probe.exe" >"$work/probe-header"
for v in MajorOSystemVersion.5 MinorOSystemVersion.0 MajorSubsystemVersion.5 MinorSubsystemVersion.0; do
    grep -Eq "^${v%.*}\s+${v#*.}\$" "$work/probe-header" ||
        { echo "korva_probe.exe's header wants more than Windows 2000: $(grep -E "^${v%.*}" "$work/probe-header")"; exit 1; }
done

cp "$pkg/bin/KORVA_VB6.dll" "$standins/KORVA.dll" "$standins/libq47.dll" "$work/run/"
"$cc" -std=c99 -Wall -Werror -I"$pkg/include" "$here/caller.c" -L"$pkg/lib" -lKORVA_VB6 -loleaut32 \
      -static -o "$work/run/caller_c.exe"
"$cxx" -x c++ -Wall -Werror -I"$pkg/include" "$here/caller.c" -x none "$pkg/lib/libKORVA_VB6.a" -loleaut32 \
      -static -o "$work/run/caller_cpp.exe"
# the example the package ships, built as its own comment says
(cd "$pkg/examples" && "$cc" -Wall -Werror split.c -I../include -L../lib -lKORVA_VB6 -o "$work/run/split.exe")

# The MSVC ABI.  There is no Windows SDK or Visual C++ runtime here: the
# MinGW-w64 headers stand in for the SDK's (they need __GNUC__ and _X86_),
# and the few system functions the caller uses get short-format import
# libraries of their own, as an SDK's would be.
cd "$work/msvc"
printf 'LIBRARY kernel32.dll\nEXPORTS\nGetStdHandle@4\nWriteFile@20\nExitProcess@4\n' >kernel32.def
printf 'LIBRARY oleaut32.dll\nEXPORTS\nSysAllocString@4\nVariantClear@4\nVariantInit@4\n' >oleaut32.def
printf 'LIBRARY msvcrt.dll\nEXPORTS\nmemcpy\n' >msvcrt.def
for lib in kernel32 oleaut32 msvcrt; do llvm-dlltool-14 -m i386 -k -d $lib.def -l $lib.lib; done
clang -target i686-pc-windows-msvc -fgnuc-version=12 -D_X86_ -isystem /usr/i686-w64-mingw32/include \
      -Wall -Werror -I"$pkg/include" -c "$here/msvc_caller.c" -o msvc_caller.obj
lld-link msvc_caller.obj "$pkg/lib/KORVA_VB6.lib" kernel32.lib oleaut32.lib msvcrt.lib /out:"$work/run/caller_msvc.exe"
cd - >/dev/null
echo "built caller_c, caller_cpp (MinGW) and caller_msvc (lld-link at its defaults)"

export Q47_STANDIN_VARS="PACKAGE_VAR=linked"
status=0
for exe in caller_c caller_cpp caller_msvc; do
    echo "== $exe"
    (cd "$work/run" && sh "$here/../../scripts/wine-run.sh" "$exe.exe") || status=$?
    [ $status = 77 ] && exit 77
done
echo "== split (the package's example)"
(cd "$work/run" && sh "$here/../../scripts/wine-run.sh" --expect "field 2: '1250'.*amount: 1250" split.exe) ||
    status=1
echo "== korva_probe (the package's tool)"
cp "$pkg/tools/korva_probe.exe" "$work/run/"
(cd "$work/run" && sh "$here/../../scripts/wine-run.sh" --expect "Administrators" korva_probe.exe) >"$work/probe.txt" ||
    status=1
cat "$work/probe.txt"
# what it says of the DLL beside it: the zip's file, version and commit
said() { tr -d '\r' <"$work/probe.txt" | sed -n "s/^$1: //p"; }
version=${pkg##*/KORVA_VB6-}
commit=$(tr -d '\r' <"$pkg/README.txt" | sed -n '/^Built from commit/{n;s/^ *//p;}')
for want in "SHA-256|$(sha256sum <"$pkg/bin/KORVA_VB6.dll" | cut -d' ' -f1)" "file version|$version.0" \
            "SourceCommit|$commit" "signature|none"; do
    [ -n "${want#*|}" ] && [ "$(said "${want%%|*}")" = "${want#*|}" ] ||
        { echo "FAIL: the probe's ${want%%|*} is '$(said "${want%%|*}")', want '${want#*|}'"; status=1; }
done
exit $status
