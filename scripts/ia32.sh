#!/bin/sh
# ia32.sh [--enable]: how this host runs 32-bit x86 programs, Wine's loader
# among them.  Prints one word:
#   native    the kernel runs them (IA-32 emulation on);
#   emulated  qemu's user-mode emulator runs them, registered with binfmt_misc;
#   none      they cannot run: exec fails with "Exec format error".
# This is the one place that decides it: scripts/setup.sh asks it whether to
# set up the emulator, the windows preset asks it how to run the Wine tests.
#
# --enable (root): where the answer is "none", installs Debian's
# qemu-user-static and registers its i386 emulator with binfmt_misc under the
# name qemu-i386, then answers again.  Where the answer is "native" it touches
# nothing.  Undo: echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386
set -eu
here=$(cd "$(dirname "$0")" && pwd)

# run as $(probe): the subshell's exit removes the probe
probe() {
    dir=$(mktemp -d)
    trap 'rm -rf "$dir"' EXIT
    clang --target=i386-linux-gnu -O1 -ffreestanding -nostdlib -static -fuse-ld=lld \
        -o "$dir/probe" "$here/ia32-probe.c"
    case $("$dir/probe" 2>/dev/null || true) in
        x86_64) echo native ;;
        i?86) echo emulated ;;
        *) echo none ;;
    esac
}

binfmt=/proc/sys/fs/binfmt_misc

register_qemu() {
    have() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q '^install ok installed'; }
    if ! have qemu-user-static; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            qemu-user-static >/dev/null || return 1
    fi
    [ -f $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt || return 1
    if [ -f $binfmt/qemu-i386 ]; then
        echo 1 >$binfmt/qemu-i386
    else
        # an i386 ELF executable or shared object, as qemu's own scripts
        # register it; F: the interpreter is opened now, so it serves
        # processes in any mount namespace
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            >$binfmt/register
    fi
}

mode=$(probe)
if [ "${1:-}" = --enable ] && [ "$mode" = none ]; then
    if register_qemu >&2; then
        mode=$(probe)
    else
        echo "ia32.sh: could not register qemu-i386 with binfmt_misc" >&2
    fi
fi
echo "$mode"
