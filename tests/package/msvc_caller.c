/*
 * A caller built the way a Visual C++ project builds one: compiled for the
 * MSVC ABI (clang -target i686-pc-windows-msvc) and linked by an MSVC-style
 * linker (lld-link, which like link.exe applies /SAFESEH to x86 images) at
 * its defaults against the package's KORVA_VB6.lib.  No C runtime (none is
 * on this machine for that ABI): mainCRTStartup, which the runtime would
 * supply, is the two lines at the end, and output goes through WriteFile.
 */
#include "korva_vb6.h"

static int passed, failed;

static void put(const char *s)
{
    DWORD n = 0, written;
    while (s[n]) n++;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), s, n, &written, NULL);
}

static void put_int(int v)
{
    char buf[16], *p = buf + sizeof buf - 1;
    unsigned u = v < 0 ? 0u - (unsigned)v : (unsigned)v;
    *p = 0;
    do *--p = (char)('0' + u % 10); while (u /= 10);
    if (v < 0) *--p = '-';
    put(p);
}

static int same(const char *a, const char *b)
{
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

static int same_w(const wchar_t *a, const wchar_t *b)
{
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

static void check(int cond, const char *what)
{
    if (cond) {
        passed++;
    } else {
        failed++;
        put("FAILED: ");
        put(what);
        put("\n");
    }
}

int main(void)
{
    char buf[32] = "MiXeD";
    char **tokens = 0;
    int32_t count = 0, status = -7, value = 0;
    static const char delims[] = ",\0::";
    VARIANT name, result;

    check(same(korva_upper(buf), "MIXED"), "korva_upper (stdcall, one argument)");
    korva_atoi(" -42 ", &value, &status);
    check(status == 0 && value == -42, "korva_atoi (stdcall, three arguments)");
    korva_parsebuf("a::b,c", &tokens, &count, 2, delims, 0, &status);
    check(status == 0 && count == 3 && same(tokens[0], "a") && same(tokens[2], "c"),
          "korva_parsebuf (stdcall, seven arguments)");
    KernelDebugLogEx("MSVC", 7, "%s %d", "cdecl from an MSVC-ABI caller", 7);

    /* a VARIANT by value in, a VARIANT out through the hidden pointer */
    VariantInit(&name);
    V_VT(&name) = VT_BSTR;
    V_BSTR(&name) = SysAllocString(L"PACKAGE_VAR");
    result = Q47_GETENVVB(name);
    check(V_VT(&result) == VT_BSTR && V_BSTR(&result) && same_w(V_BSTR(&result), L"linked"),
          "Q47_GETENVVB (VARIANT result)");
    VariantClear(&result);
    VariantClear(&name);

    put_int(passed);
    put(" passed, ");
    put_int(failed);
    put(" failed\n");
    return failed != 0;
}

void mainCRTStartup(void)
{
    ExitProcess(main());
}
