/*
 * A C (and C++) program that links KORVA_VB6.dll the ordinary way: the
 * release package's header and import library, no GetProcAddress.  If the
 * import library's symbols did not match the header's declarations, this
 * would not link; if the calling conventions were wrong, it would not run.
 */
#include <stdio.h>
#include <string.h>

#include "korva_vb6.h"

static int passed, failed;

static void check(int cond, const char *what)
{
    if (cond) passed++;
    else {
        failed++;
        printf("FAILED: %s\n", what);
    }
}

int main(void)
{
    char buf[64], dst[64];
    char **tokens = NULL;
    int32_t count = 0, status = -7, value = 0, crt = 0, sys = 0, nf = 0;
    static const char delims[] = ",\0::";

    strcpy(buf, "  padded  ");
    check(!strcmp(korva_lefttrim(buf), "padded"), "korva_lefttrim");
    check(!strcmp(korva_lefttrim_r(" \tcopy\n", 10, dst), "copy"), "korva_lefttrim_r");
    strcpy(buf, "MiXeD");
    check(!strcmp(korva_upper(buf), "MIXED"), "korva_upper");
    korva_atoi(" 0x1F ", &value, &status);
    check(status == 0 && value == 31, "korva_atoi");

    strcpy(buf, "Disk full\r\n");
    check(!strcmp(KORVA_FILTER_ALL_CRLF(buf), "Disk full"), "KORVA_FILTER_ALL_CRLF");
    {
        char *message = KORVA_FILTER_CRLF(NULL);
        check(message && !strcmp(message, "No English error message text found\n"), "default message");
        check(LocalFree(message) == NULL, "LocalFree of the default message");
    }

    korva_parsebuf_wrapper("TAG1, TAG2,\"A,B\"::x", &tokens, &count, 2, delims, 1, &status);
    check(status == 0 && count == 4, "korva_parsebuf_wrapper count");
    check(count == 4 && !strcmp(tokens[2], "A,B") && !strcmp(tokens[3], "x"), "korva_parsebuf_wrapper tokens");

    KernelDebugLog("%s %d", "from the package caller", 42);
    KernelDebugLogEx("PACKAGE", 1, "%s", "cdecl entry");

    {
        VARIANT name, value_v;
        VariantInit(&name);
        V_VT(&name) = VT_BSTR;
        V_BSTR(&name) = SysAllocString(L"PACKAGE_VAR");
        value_v = Q47_GETENVVB(name);
        check(V_VT(&value_v) == VT_BSTR && !wcscmp(V_BSTR(&value_v), L"linked"), "Q47_GETENVVB");
        VariantClear(&value_v);
        VariantClear(&name);
    }

    SetLastError(ERROR_FILE_NOT_FOUND);
    korva_GetLastErrorEx(&crt, &sys, &nf);
    check(sys == 2 && nf == 1, "korva_GetLastErrorEx");
    SetLastError(5);
    check(korva_GetLastError() == 5, "korva_GetLastError");

    /* Wine's user is an administrator; the stand-in host knows no 64-bit
     * VN35; the product key is looked for in the default view */
    {
        BOOL wow64 = FALSE;
        HKEY key;
        int32_t korva_flag = 0x200;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Velmarcon\\KORVA", 0, KEY_READ, &key) == ERROR_SUCCESS) {
            korva_flag = 0;
            RegCloseKey(key);
        }
        IsWow64Process(GetCurrentProcess(), &wow64);
        check(KORVA_UTILS_ISUSERADMINISTRATOR() == 1, "administrators");
        check(KORVA_IsWow64() == (wow64 ? 1 : 0), "KORVA_IsWow64");
        check(GetKorvaRegSamViewFlag() == korva_flag, "KORVA view flag");
        check(KORVA_isVN35_64Bit() == 0, "KORVA_isVN35_64Bit");
        check(GetVn35RegSamViewFlag() == (wow64 ? 0x200 : 0), "VN35 view flag");
    }

    printf("%d passed, %d failed\n", passed, failed);
    return failed != 0;
}
