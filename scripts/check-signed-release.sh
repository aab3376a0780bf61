#!/bin/sh
# check-signed-release.sh [options] <signed DLL or zip> <unsigned DLL or zip>
# Shows that a signed KORVA_VB6.dll is, apart from its signature, the DLL an
# unsigned build of the same commit makes: the signature verifies, removing it
# (osslsigncode remove-signature) gives the unsigned DLL back byte for byte,
# and the Authenticode digest in the signature is the unsigned DLL's.  A zip
# stands for the bin/KORVA_VB6.dll in it.  Prints the SHA-256 sums; exit
# status 0 only when all of it holds.
#
#   --rebuild <command>  run <command> first (sh -c); it makes <unsigned DLL>
#   --cafile <file>      trust anchors for osslsigncode verify (PEM); default:
#                        osslsigncode's own (the system's CA bundle)
set -eu
here=$(cd "$(dirname "$0")" && pwd)

rebuild="" cafile=""
usage() { sed -n '2,12s/^# \{0,1\}//p' "$0" >&2; exit 2; }
while [ $# -gt 0 ]; do
    case $1 in
        --rebuild) [ $# -ge 2 ] || usage; rebuild=$2; shift 2 ;;
        --cafile) [ $# -ge 2 ] || usage; cafile=$2; shift 2 ;;
        --) shift; break ;;
        -*) usage ;;
        *) break ;;
    esac
done
[ $# -eq 2 ] || usage
release=$1 unsigned=$2

if [ -n "$rebuild" ]; then
    echo "== rebuild: $rebuild"
    sh -c "$rebuild" || { echo "FAILED: the rebuild"; exit 1; }
fi
for f in "$release" "$unsigned"; do
    [ -f "$f" ] || { echo "no such file: $f"; exit 1; }
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dll_of() {  # dll_of <DLL or zip> <name>: the DLL itself, or bin/KORVA_VB6.dll from the zip
    case $1 in
        *.zip)
            entry=$(unzip -Z1 "$1" | grep -E '(^|/)bin/KORVA_VB6\.dll$' | head -1)
            [ -n "$entry" ] || { echo "$1 holds no bin/KORVA_VB6.dll" >&2; exit 1; }
            mkdir -p "$tmp/$2"
            unzip -p "$1" "$entry" >"$tmp/$2/KORVA_VB6.dll"
            echo "$tmp/$2/KORVA_VB6.dll" ;;
        *) echo "$1" ;;
    esac
}
signed=$(dll_of "$release" signed) || exit 1
unsigned_dll=$(dll_of "$unsigned" unsigned) || exit 1
echo "signed:   $release"
echo "unsigned: $unsigned"
unsigned=$unsigned_dll
sum() { set -- $(sha256sum <"$1"); echo "$1"; }

status=0
echo "== signature"
set -- verify -in "$signed"
[ -n "$cafile" ] && set -- "$@" -CAfile "$cafile"
if osslsigncode "$@" >"$tmp/verify" 2>&1; then
    sed -n 's/^[[:space:]]*Subject: /signer: /p' "$tmp/verify" | head -1
    grep -E '^Signature verification|^Timestamp|Signing time' "$tmp/verify" | sed 's/^[[:space:]]*//'
else
    if ! grep -q 'Signature Index' "$tmp/verify"; then
        echo "FAILED: $signed carries no signature"
        exit 1
    fi
    grep -E 'Subject:|verification|[Ff]ailed|[Ee]rror' "$tmp/verify" | sed 's/^[[:space:]]*//' | head -8
    echo "FAILED: the signature does not verify"
    status=1
fi

echo "== signature removed"
osslsigncode remove-signature -in "$signed" -out "$tmp/stripped.dll" >"$tmp/log" 2>&1 || {
    cat "$tmp/log"; echo "FAILED: osslsigncode could not remove the signature"; exit 1; }
echo "SHA-256 signed    $(sum "$signed")"
echo "SHA-256 stripped  $(sum "$tmp/stripped.dll")"
echo "SHA-256 unsigned  $(sum "$unsigned")"
if cmp -s "$tmp/stripped.dll" "$unsigned"; then
    echo "stripped == unsigned: byte for byte"
else
    echo "FAILED: stripped != unsigned; differing bytes (position from 1, octal values):"
    cmp -l "$tmp/stripped.dll" "$unsigned" 2>&1 | head -8 || true
    # A DLL linked without its PE checksum gets one when the signature is
    # removed: say so, but do not count it as equal.
    python3 "$here/pe-image.py" checksum "$unsigned" | sed "s|^.*: |unsigned: |" || true
    python3 "$here/pe-image.py" checksum "$tmp/stripped.dll" | sed "s|^.*: |stripped: |" || true
    status=1
fi

echo "== Authenticode SHA-256"
in_signature=$(sed -n 's/^Current message digest *: *\([0-9A-F]*\).*/\1/p' "$tmp/verify" | head -1)
of_signed=$(python3 "$here/pe-image.py" digest "$signed")
of_unsigned=$(python3 "$here/pe-image.py" digest "$unsigned")
# osslsigncode's own digest of the unsigned DLL: the data it would sign
osslsigncode extract-data -h sha256 -in "$unsigned" -out "$tmp/data.der" >/dev/null 2>&1 &&
    by_osslsigncode=$(openssl asn1parse -inform DER -in "$tmp/data.der" |
                      sed -n 's/.*OCTET STRING *\[HEX DUMP\]://p' | tail -1) || by_osslsigncode=""
echo "in the signature                       ${in_signature:-(none)}"
echo "of the signed DLL (pe-image.py)        $of_signed"
echo "of the unsigned DLL (pe-image.py)      $of_unsigned"
echo "of the unsigned DLL (osslsigncode)     ${by_osslsigncode:-(none)}"
if [ -n "$in_signature" ] && [ "$in_signature" = "$of_signed" ] && [ "$of_signed" = "$of_unsigned" ] &&
   [ "$of_unsigned" = "$by_osslsigncode" ]; then
    echo "digests: equal"
else
    echo "FAILED: the digests differ"
    status=1
fi

[ $status = 0 ] && echo "OK: the signed DLL is the unsigned build plus its signature" \
                || echo "FAILED: the signed DLL is not the unsigned build plus its signature"
exit $status
