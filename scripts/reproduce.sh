#!/bin/sh
# reproduce.sh [--signed <release zip>] [--cafile <pem>] [commit]
# Builds the release twice from two clean clones of one commit (HEAD by
# default), in folders of different names and at different times, and
# compares what a release ships: the DLL, its PDB, the probe tool and its
# PDB, both import libraries, the type library and the zip.  Prints each
# file's SHA-256 from both builds; exits non-zero if any pair differs.  With --signed, also checks a signed
# release of that commit against the rebuild: its signature removed, its DLL
# must be the rebuilt one byte for byte (scripts/check-signed-release.sh;
# --cafile names the signer's trust anchors when they are not the system's).
# Committed work only: uncommitted changes are not in the clones.
set -eu
signed="" cafile=""
while [ $# -gt 0 ]; do
    case $1 in
        --signed) signed=$(realpath "$2"); shift 2 ;;
        --cafile) cafile=$(realpath "$2"); shift 2 ;;
        *) break ;;
    esac
done
cd "$(dirname "$0")/.."
[ -n "${KORVA_SKIP_SETUP:-}" ] || ./scripts/setup.sh
commit=$(git rev-parse "${1:-HEAD}")
top=$(mktemp -d /tmp/korva-reproduce.XXXXXX)
trap 'if [ "${status:-1}" = 0 ]; then rm -rf "$top"; else echo "builds kept in $top"; fi' EXIT

build() {
    dir=$1
    git clone -q --no-checkout "$PWD" "$dir"
    git -C "$dir" -c advice.detachedHead=false checkout -q "$commit"
    (cd "$dir" && cmake --preset windows >/dev/null && cmake --build --preset windows --target korva_release >/dev/null)
}

echo "commit $commit"
build "$top/first"
sleep 2
build "$top/a-second-clone-elsewhere"

status=0
for f in bin/KORVA_VB6.dll bin/KORVA_VB6.pdb bin/korva_probe.exe bin/korva_probe.pdb \
         release/libKORVA_VB6.a release/KORVA_VB6.lib bin/KORVA_VB6.tlb \
         "$(cd "$top/first/build/windows" && ls KORVA_VB6-*.zip)"; do
    a=$(sha256sum < "$top/first/build/windows/$f" | cut -d' ' -f1)
    b=$(sha256sum < "$top/a-second-clone-elsewhere/build/windows/$f" | cut -d' ' -f1)
    if [ "$a" = "$b" ]; then verdict=same; else verdict=DIFFERENT; status=1; fi
    printf '%-24s %s\n%-24s %s %s\n' "$(basename "$f")" "$a" "" "$b" "$verdict"
done
[ $status = 0 ] && echo "byte-identical: every file the same in both builds" || echo "NOT reproducible"

if [ -n "$signed" ]; then
    echo "== the signed release against the rebuild"
    sh scripts/check-signed-release.sh ${cafile:+--cafile "$cafile"} "$signed" \
        "$top/first/build/windows/bin/KORVA_VB6.dll" || status=1
fi
exit $status
