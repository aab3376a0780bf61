#!/bin/sh
# wine-run.sh <program.exe> [<arg>...]: runs a 32-bit Windows program under
# Wine (the build's CMAKE_CROSSCOMPILING_EMULATOR).  Some Linux hosts run
# 64-bit programs only (the kernel's IA-32 emulation is off: exec of a 32-bit
# ELF fails with ENOEXEC), and there Wine's 32-bit loader cannot start at
# all; the program is then reported as skipped (exit 77) instead of failed,
# with the reason, so that a run on such a host says what it did not test.
if wine --version 2>&1 | grep -q "Exec format error"; then
    echo "SKIPPED: this host cannot run 32-bit programs (IA-32 emulation is off), so Wine cannot run $(basename "$1")"
    exit 77
fi
exec wine "$@"
