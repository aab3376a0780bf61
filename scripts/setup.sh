#!/bin/sh
# Installs what the build and the tests need on a Debian machine (run as root).
# Idempotent: every step is skipped when its result is already there.
set -eu

need=""
have() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed'; }

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    updated=""
fi

for p in g++-mingw-w64-i686 mingw-w64-tools wine wine32:i386 wine64 cmake ninja-build clang-16 lld-16 llvm-16 \
         lld-14 llvm-14 osslsigncode openssl clang libclang-rt-14-dev libbenchmark-dev python3 python3-pefile zip \
         unzip file; do
    have "$p" || need="$need $p"
done

# The indexes apt could not fetch, from its "Failed to fetch <url> <reason>"
# lines: each suite, with the architectures of its failed package lists.
failed_indexes() {
    awk '/^[EW]: Failed to fetch / && match($5, "/dists/") {
             n = split(substr($5, RSTART + 7), part, "/"); suite = part[1]
             if (!(suite in arch)) { arch[suite] = ""; order[++count] = suite }
             for (i = 2; i <= n; i++)
                 if (part[i] ~ /^binary-/ && index(" " arch[suite] " ", " " substr(part[i], 8) " ") == 0)
                     arch[suite] = arch[suite] (arch[suite] == "" ? "" : " and ") substr(part[i], 8)
         }
         END {
             for (i = 1; i <= count; i++)
                 printf "%s%s%s", (i > 1 ? ", " : ""), order[i], (arch[order[i]] == "" ? "" : " for " arch[order[i]])
         }' "$1"
}

if [ -n "$need" ]; then
    export DEBIAN_FRONTEND=noninteractive
    out=$(mktemp)
    trap 'rm -f "$out"' EXIT

    # A mirror in the middle of a sync serves an index whose size or hash
    # does not match its Release file, for minutes or for hours.  Try a few
    # times, then go on with the indexes that did download: apt keeps them.
    failed="" tries=1
    until apt-get update -qq >"$out" 2>&1; do
        if [ $tries -lt 3 ]; then
            tries=$((tries + 1))
            sleep 10
            continue
        fi
        failed=$(failed_indexes "$out")
        if [ -z "$failed" ]; then
            cat "$out" >&2
            echo "setup: apt-get update failed $tries times; trying the install with the package indexes there are" >&2
        else
            if grep -qE 'Mirror sync in progress|Hash Sum mismatch|unexpected size' "$out"; then
                why="the mirror is in the middle of a sync"
            else
                why=$(sed -n 's/^[EW]: Failed to fetch [^ ]*  *//p' "$out" | head -n 1)
            fi
            echo "setup: could not fetch the package index of $failed in $tries tries: $why; going on with the indexes that did download (to retry later, run ./scripts/setup.sh)" >&2
        fi
        break
    done

    if ! apt-get install -y -qq --no-install-recommends $need >"$out" 2>&1; then
        codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}") || codename=""
        if [ -z "$failed" ] || [ -z "$codename" ]; then
            grep -vE '^(Reading|Building|$)' "$out" >&2 || true
            echo "setup: apt-get install failed for:$need" >&2
            exit 1
        fi
        # With one suite's index missing, amd64 and i386 can be offered
        # different versions of a Multi-Arch: same package, which cannot be
        # installed side by side; the release suite has both at one version.
        echo "setup: the install did not resolve without the index of $failed; trying again with the release suite as target release (-t $codename)" >&2
        if ! apt-get install -y -qq --no-install-recommends -t "$codename" $need >"$out" 2>&1; then
            grep -vE '^(Reading|Building|$)' "$out" >&2 || true
            echo "setup: could not install$need, with the package index of $failed missing; run ./scripts/setup.sh again once that index downloads" >&2
            exit 1
        fi
    fi
fi

# Wine's loader is a 32-bit program: where the kernel cannot run those, have
# qemu's user-mode emulator run them (a host that can is left as it is).
echo "32-bit programs on this host: $(sh "$(dirname "$0")/ia32.sh" --enable)"
