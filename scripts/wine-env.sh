# Sourced by every script that runs Wine: the environment of a Wine run.
export WINEDEBUG=-all

# why nothing runs where scripts/ia32.sh answers "none"
KORVA_NO_IA32="this host cannot run 32-bit programs (no IA-32 execution, no emulator registered)"

# Where qemu's user-mode emulator runs the 32-bit programs (scripts/ia32.sh),
# the guest gets 2 GiB + 16 MiB of address space instead of 4 GiB.  Wine 8
# reserves all the space above 2 GiB when a process starts; qemu does not
# place its blocks there, and Wine halves each refused block and tries again,
# down to 64 KiB: with 4 GiB that takes about a minute per process, with this
# 3 s.  Wine still finds the space above 2 GiB it checks for.  A kernel that
# runs 32-bit programs itself ignores the variable.
export QEMU_RESERVED_VA=0x81000000
