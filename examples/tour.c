/*
 * tour: one line per family of KORVA_VB6.dll's exports, readable in a
 * terminal.  Every export is bound by name with GetProcAddress, the way a
 * Visual Basic 6 program binds a Declare.  Run it beside the host libraries
 * (here the stand-ins, with KORVA_STANDIN_LOG=console so their log records
 * show up between the lines).
 */
#include <stdio.h>
#include <string.h>

#include "korva_vb6.h"

static HMODULE module;

static void *export_of(const char *name)
{
    void *p = (void *)GetProcAddress(module, name);
    if (!p) {
        printf("KORVA_VB6.dll has no export %s\n", name);
        ExitProcess(1);
    }
    return p;
}
#define BIND(fn) __typeof__(&fn) p_##fn = (__typeof__(&fn))export_of(#fn)

/* text in single quotes with \r \n \t and \xNN shown */
static const char *show(const char *s)
{
    static char out[4][256];
    static int slot;
    char *o = out[slot++ % 4], *end = o + 240;
    *o++ = '\'';
    for (; *s && o < end; s++) {
        unsigned char c = *s;
        if (c == '\r') o += sprintf(o, "\\r");
        else if (c == '\n') o += sprintf(o, "\\n");
        else if (c == '\t') o += sprintf(o, "\\t");
        else if (c < 0x20 || c >= 0x7f) o += sprintf(o, "\\x%02X", c);
        else *o++ = c;
    }
    *o++ = '\'';
    *o = 0;
    return out[(slot - 1) % 4];
}

static void heading(const char *title)
{
    printf("\n%s\n", title);
    fflush(stdout);
}

/* "  call -> result", the arrows lined up */
static void row(const char *call, const char *result)
{
    printf("  %-40s -> %s\n", call, result);
}

static void show_tokens(char **tokens, int32_t count)
{
    int32_t i;
    printf("%d token%s:", (int)count, count == 1 ? "" : "s");
    for (i = 0; i < count; i++) printf(" %s", show(tokens[i]));
    printf("\n");
}

int main(void)
{
    char path[MAX_PATH], buf[64], dst[64];
    char **tokens = NULL;
    int32_t count = 0, status = 0, value = 0, i;

    module = LoadLibraryA("KORVA_VB6.dll");
    if (!module) {
        printf("cannot load KORVA_VB6.dll (error %lu)\n", GetLastError());
        return 1;
    }
    GetModuleFileNameA(module, path, sizeof(path));
    printf("KORVA_VB6.dll tour: %s\n", path);

    {
        BIND(korva_parsebuf_wrapper);
        heading("The typical request: korva_parsebuf_wrapper, delimiter ',', quote flag 1");
        p_korva_parsebuf_wrapper("TAG1, TAG2,\"A,B\"", &tokens, &count, 1, ",", 1, &status);
        printf("  %s -> status %d, ", show("TAG1, TAG2,\"A,B\""), (int)status);
        show_tokens(tokens, count);
    }
    {
        BIND(korva_trimblanks); BIND(korva_lefttrim); BIND(korva_leftpack); BIND(korva_lefttrim_r);
        heading("Blanks (a blank byte is a control byte, a space, or any byte above 0x7F)");
        char call[128];
        memcpy(buf, "AB  \0\0\0\0", 8);
        p_korva_trimblanks(buf, 8);
        row("korva_trimblanks('AB  ' + 4 NULs, 8)", show(buf));
        strcpy(buf, "  abc \xe9 ");
        snprintf(call, sizeof(call), "korva_lefttrim(%s)", show(buf));
        row(call, show(p_korva_lefttrim(buf)));
        strcpy(buf, " a b\tc ");
        snprintf(call, sizeof(call), "korva_leftpack(%s)", show(buf));
        row(call, show(p_korva_leftpack(buf)));
        row("korva_lefttrim_r('  hello world \\n', 5)", show(p_korva_lefttrim_r("  hello world \n", 5, dst)));
    }
    {
        BIND(korva_upper); BIND(korva_lower_r);
        heading("Case (a-z / A-Z only)");
        char call[128];
        strcpy(buf, "abc-xyz \xe9 1");
        snprintf(call, sizeof(call), "korva_upper(%s)", show(buf));
        row(call, show(p_korva_upper(buf)));
        row("korva_lower_r('MiXeD')", show(p_korva_lower_r("MiXeD", dst)));
    }
    {
        static const char *texts[] = {"42", " -17 ", "0x1F", "010", "", "12abc", "08", "2147483648"};
        static const char *meaning[] = {"converted", "", "", "", "empty", "characters after the number",
                                        "", "outside the 32-bit range (ERANGE)"};
        BIND(korva_atoi);
        heading("Integer conversion: korva_atoi");
        for (i = 0; i < (int32_t)(sizeof(texts) / sizeof(texts[0])); i++) {
            value = -999;
            p_korva_atoi(texts[i], &value, &status);
            if (status == 0) printf("  %-14s -> %d\n", show(texts[i]), (int)value);
            else printf("  %-14s -> status %d%s%s\n", show(texts[i]), (int)status, *meaning[i] ? ": " : "",
                        meaning[i]);
        }
    }
    {
        BIND(KORVA_FILTER_CRLF); BIND(KORVA_FILTER_ALL_CRLF);
        char *message;
        heading("Message line endings");
        strcpy(buf, "Disk full\r\n");
        printf("  KORVA_FILTER_CRLF('Disk full\\r\\n')     -> %s\n", show(p_KORVA_FILTER_CRLF(buf)));
        strcpy(buf, "Disk full\r\n");
        printf("  KORVA_FILTER_ALL_CRLF('Disk full\\r\\n') -> %s\n", show(p_KORVA_FILTER_ALL_CRLF(buf)));
        message = p_KORVA_FILTER_CRLF(NULL);
        printf("  KORVA_FILTER_CRLF(NULL) -> %s (the caller's: LocalFree)\n", message ? show(message) : "NULL");
        LocalFree(message);
    }
    {
        BIND(korva_parsebuf);
        static const char delims[] = ";\0::\0, ";    /* three delimiters, each with its NUL */
        heading("Tokenizer: delimiters ';' '::' ', ', the first that matches wins");
        p_korva_parsebuf("a;b::\"c;d\", e;;f", &tokens, &count, 3, delims, 1, &status);
        printf("  quotes on:  ");
        show_tokens(tokens, count);
        p_korva_parsebuf("a;b::\"c;d\", e;;f", &tokens, &count, 3, delims, 0, &status);
        printf("  quotes off: ");
        show_tokens(tokens, count);
        p_korva_parsebuf("x", &tokens, &count, 0, delims, 0, &status);
        printf("  delimiter count 0 -> status %d (refused, nothing touched)\n", (int)status);
    }
    {
        BIND(KernelDebugLog); BIND(KernelDebugLogEx);
        heading("Host log (the stand-in prints what reaches it)");
        fflush(stdout);
        p_KernelDebugLog("x=%d", 5);
        p_KernelDebugLogEx("MYAREA", 7, "%s, %d items", "done", 3);
    }
    {
        BIND(Q47_GETENVVB);
        static const wchar_t *names[] = {L"TEMPDIR", L"NOT_DEFINED"};
        heading("Variables: Q47_GETENVVB (with its trace, when the host's log state is 0)");
        for (i = 0; i < 2; i++) {
            VARIANT name, result;
            VariantInit(&name);
            V_VT(&name) = VT_BSTR;
            V_BSTR(&name) = SysAllocString(names[i]);
            fflush(stdout);
            result = p_Q47_GETENVVB(name);
            if (V_VT(&result) == VT_BSTR) printf("  %ls -> VT_BSTR \"%ls\"\n", names[i], V_BSTR(&result));
            else printf("  %ls -> VT_EMPTY (not defined)\n", names[i]);
            VariantClear(&result);
            VariantClear(&name);
        }
    }
    {
        BIND(KORVA_UTILS_ISUSERADMINISTRATOR); BIND(KORVA_IsWow64); BIND(GetKorvaRegSamViewFlag);
        BIND(GetVn35RegSamViewFlag); BIND(KORVA_isVN35_64Bit); BIND(korva_GetLastErrorEx);
        int32_t crt, sys, nf, korva = p_GetKorvaRegSamViewFlag(), vn35 = p_GetVn35RegSamViewFlag();
        heading("Platform");
        printf("  Administrators member: %d\n", (int)p_KORVA_UTILS_ISUSERADMINISTRATOR());
        printf("  WOW64:                 %d\n", (int)p_KORVA_IsWow64());
        printf("  KORVA view flag:       %#x%s\n", (unsigned)korva,
               korva == 0x200 ? " (KEY_WOW64_32KEY)" : " (the process's default view)");
        printf("  VN35 view flag:        %#x%s\n", (unsigned)vn35,
               vn35 == 0x100 ? " (KEY_WOW64_64KEY)" : vn35 == 0x200 ? " (KEY_WOW64_32KEY)" : " (default view)");
        printf("  VN35 64-bit:           %d\n", (int)p_KORVA_isVN35_64Bit());
        SetLastError(ERROR_FILE_NOT_FOUND);
        p_korva_GetLastErrorEx(&crt, &sys, &nf);
        printf("  korva_GetLastErrorEx after error 2: runtime %d, system %d, not found %d\n", (int)crt,
               (int)sys, (int)nf);
    }
    return 0;
}
