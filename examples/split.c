/*
 * split: a C program that links KORVA_VB6.dll the ordinary way, through
 * include/korva_vb6.h and the import library, and splits an export row into
 * fields and converts one of them.
 *
 * The DLL is 32-bit, so build it with a 32-bit compiler:
 *
 *   MinGW-w64:      i686-w64-mingw32-gcc split.c -I../include -L../lib -lKORVA_VB6 -o split.exe
 *   Visual Studio:  a Win32 (x86) project, not x64; add ..\include to
 *                   C/C++ > General > Additional Include Directories and
 *                   ..\lib\KORVA_VB6.lib to Linker > Input > Additional
 *                   Dependencies.
 *
 * It is ISO C with no POSIX extras, so it builds with Visual Studio's SDL
 * checks on.
 *
 * At run time KORVA_VB6.dll, KORVA.dll and libq47.dll must be beside
 * split.exe (or on the PATH).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "korva_vb6.h"

/* A copy of text from the heap, or NULL when the heap is exhausted. */
static char *copy_text(const char *text)
{
    size_t size = strlen(text) + 1;
    char *copy = (char *)malloc(size);

    if (copy != NULL) memcpy(copy, text, size);
    return copy;
}

int main(void)
{
    static const char delims[] = ";\0::";     /* two delimiters, each with its NUL */
    char **tokens = NULL, *fields[8];
    int32_t count = 0, kept = 0, status = 0, amount = 0, i;

    korva_parsebuf_wrapper("ACCT-4217;Jensen Oy::1250;EUR", &tokens, &count, 2, delims, 0, &status);
    if (status != 0) {
        printf("parse failed: status %d\n", (int)status);
        return 1;
    }
    /* the tokens stay the DLL's until the next parse, by any thread: copy them */
    for (kept = 0; kept < count && kept < 8; kept++) {
        fields[kept] = copy_text(tokens[kept]);
        if (fields[kept] == NULL) {
            printf("out of memory\n");
            for (i = 0; i < kept; i++) free(fields[i]);
            return 1;
        }
    }
    for (i = 0; i < kept; i++) printf("field %d: '%s'\n", (int)i, fields[i]);

    if (kept >= 3) {
        korva_atoi(fields[2], &amount, &status);
        if (status == KORVA_ATOI_OK) printf("amount: %d\n", (int)amount);
        else printf("'%s' is not a number: status %d\n", fields[2], (int)status);
    }
    for (i = 0; i < kept; i++) free(fields[i]);
    return 0;
}
