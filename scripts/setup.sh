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

for p in g++-mingw-w64-i686 mingw-w64-tools wine wine32:i386 wine64 cmake ninja-build lld-14 llvm-14 osslsigncode openssl \
         clang libclang-rt-14-dev libbenchmark-dev python3 python3-pefile zip unzip file; do
    have "$p" || need="$need $p"
done

if [ -n "$need" ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends $need >/dev/null
fi

# Wine's loader is a 32-bit program: where the kernel cannot run those, have
# qemu's user-mode emulator run them (a host that can is left as it is).
echo "32-bit programs on this host: $(sh "$(dirname "$0")/ia32.sh" --enable)"
