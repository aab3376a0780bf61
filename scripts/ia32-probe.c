/*
 * A 32-bit x86 Linux program with no C library, built by scripts/ia32.sh to
 * learn how this host runs 32-bit programs.  It prints the machine name the
 * kernel gives it: a 64-bit kernel that runs it natively says "x86_64",
 * qemu's user-mode emulator says "i686" (or "i386").  When the kernel
 * cannot run it at all, its exec fails with "Exec format error".
 */
struct utsname_raw {
    char field[6][65];
};

static long syscall1(long nr, long a)
{
    long r;
    __asm__ volatile("int $0x80" : "=a"(r) : "a"(nr), "b"(a) : "memory");
    return r;
}

static long syscall3(long nr, long a, long b, long c)
{
    long r;
    __asm__ volatile("int $0x80" : "=a"(r) : "a"(nr), "b"(a), "c"(b), "d"(c) : "memory");
    return r;
}

void _start(void)
{
    enum { SYS_exit = 1, SYS_write = 4, SYS_newuname = 122 };
    static struct utsname_raw u;
    char *machine = u.field[4];
    int n = 0;

    if (syscall1(SYS_newuname, (long)&u) != 0) syscall1(SYS_exit, 1);
    while (n < 64 && machine[n]) n++;
    machine[n] = '\n';
    syscall3(SYS_write, 1, (long)machine, n + 1);
    syscall1(SYS_exit, 0);
}
