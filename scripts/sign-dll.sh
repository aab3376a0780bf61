#!/bin/sh
# sign-dll.sh [options] <in.dll> <out.dll>
# Gives <out.dll> an Authenticode SHA-256 signature over <in.dll> with
# osslsigncode, or, with no certificate, copies <in.dll> unchanged and says
# the release is unsigned.  Prints one line starting "signed:" or "unsigned:".
#
#   --pkcs12 <file>         certificate, its chain and key  (KORVA_SIGN_PKCS12)
#   --password-file <file>  the PKCS#12 password, first line; "-" reads stdin
#                           (KORVA_SIGN_PASSWORD_FILE, or the password itself
#                           in KORVA_SIGN_PASSWORD)
#   --timestamp <url>       RFC 3161 time-stamp server  (KORVA_SIGN_TIMESTAMP_URL)
#   --require               fail instead of copying when no certificate is given
#
# The password is never an argument: it reaches osslsigncode on its standard
# input (or as the path of the caller's file), so no process command line
# shows it, and it is never printed.  Nothing is stored.  After signing, the
# signature is removed again from a scratch copy, which must give <in.dll>
# back byte for byte; if it does not (an image without its PE checksum, see
# scripts/pe-image.py), nothing is written and the exit status is 1.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

pkcs12=${KORVA_SIGN_PKCS12:-}
# kept in the shell only: the programs started below do not inherit it
password=${KORVA_SIGN_PASSWORD:-}
unset KORVA_SIGN_PASSWORD
passfile=${KORVA_SIGN_PASSWORD_FILE:-}
tsurl=${KORVA_SIGN_TIMESTAMP_URL:-}
require=0
usage() { sed -n '2,13s/^# \{0,1\}//p' "$0" >&2; exit 2; }
while [ $# -gt 0 ]; do
    case $1 in
        --pkcs12) [ $# -ge 2 ] || usage; pkcs12=$2; shift 2 ;;
        --password-file) [ $# -ge 2 ] || usage; passfile=$2; shift 2 ;;
        --timestamp) [ $# -ge 2 ] || usage; tsurl=$2; shift 2 ;;
        --require) require=1; shift ;;
        --) shift; break ;;
        -*) usage ;;
        *) break ;;
    esac
done
[ $# -eq 2 ] || usage
in=$1 out=$2
[ -f "$in" ] || { echo "sign-dll.sh: no such file: $in" >&2; exit 1; }

if [ -z "$pkcs12" ]; then
    if [ "$require" = 1 ]; then
        echo "sign-dll.sh: no certificate (--pkcs12 or KORVA_SIGN_PKCS12) and --require given" >&2
        exit 1
    fi
    [ "$in" -ef "$out" ] || cp "$in" "$out"
    echo "unsigned: $out (no certificate given: --pkcs12 or KORVA_SIGN_PKCS12)"
    exit 0
fi
[ -f "$pkcs12" ] || { echo "sign-dll.sh: no such PKCS#12 file: $pkcs12" >&2; exit 1; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
chmod 700 "$tmp"
if osslsigncode extract-signature -in "$in" -out "$tmp/existing" >/dev/null 2>&1; then
    echo "sign-dll.sh: $in is signed already; sign the unsigned build" >&2
    exit 1
fi

set -- sign -pkcs12 "$pkcs12" -h sha256 -in "$in" -out "$tmp/signed.dll"
[ -n "$tsurl" ] && set -- "$@" -ts "$tsurl"
if [ -n "$passfile" ]; then
    osslsigncode "$@" -readpass "$passfile" >"$tmp/log" 2>&1 || status=$?
elif [ -n "$password" ]; then
    # printf is built into the shell: the password is on no command line
    printf '%s\n' "$password" | osslsigncode "$@" -readpass - >"$tmp/log" 2>&1 || status=$?
else
    osslsigncode "$@" </dev/null >"$tmp/log" 2>&1 || status=$?
fi
if [ "${status:-0}" != 0 ]; then
    echo "sign-dll.sh: osslsigncode could not sign $in:" >&2
    cat "$tmp/log" >&2
    exit 1
fi

# The signature must be removable down to the very bytes that were signed.
osslsigncode remove-signature -in "$tmp/signed.dll" -out "$tmp/stripped.dll" >"$tmp/log" 2>&1 || {
    cat "$tmp/log" >&2; exit 1; }
if ! cmp -s "$in" "$tmp/stripped.dll"; then
    echo "sign-dll.sh: removing the signature does not give $in back:" >&2
    cmp -l "$in" "$tmp/stripped.dll" 2>&1 | head -8 >&2 || true
    python3 "$here/pe-image.py" checksum "$in" >&2 || \
        echo "sign-dll.sh: the DLL must carry its PE checksum (the build writes it with pefile)" >&2
    exit 1
fi

digest=$(python3 "$here/pe-image.py" digest "$in")
signer=$(osslsigncode verify -in "$tmp/signed.dll" 2>/dev/null | sed -n 's/^[[:space:]]*Subject: //p' | head -1)
mv "$tmp/signed.dll" "$out"
echo "signed: $out (Authenticode SHA-256 $digest, signer $signer, time stamp ${tsurl:-none})"
