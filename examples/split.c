/*
 * split: a C program that links KORVA_VB6.dll the ordinary way, through
 * include/korva_vb6.h and the import library, and splits an export row into
 * fields and converts one of them.
 *
 *   MinGW:          gcc split.c -I../include -L../lib -lKORVA_VB6 -o split.exe
 *   Visual Studio:  a Win32 (x86) project; add ..\include to the include
 *                   folders and ..\lib\KORVA_VB6.lib to the linker's input.
 *
 * At run time KORVA_VB6.dll, KORVA.dll and libq47.dll must be beside
 * split.exe (or on the PATH).
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "korva_vb6.h"

int main(void)
{
    static const char delims[] = ";\0::";     /* two delimiters, each with its NUL */
    char **tokens = NULL, *fields[8];
    int32_t count = 0, status = 0, amount = 0, i;

    korva_parsebuf_wrapper("ACCT-4217;Jensen Oy::1250;EUR", &tokens, &count, 2, delims, 0, &status);
    if (status != 0) {
        printf("parse failed: status %d\n", (int)status);
        return 1;
    }
    /* the tokens stay the DLL's until the next parse, by any thread: copy them */
    for (i = 0; i < count && i < 8; i++) fields[i] = strdup(tokens[i]);
    for (i = 0; i < count && i < 8; i++) printf("field %d: '%s'\n", (int)i, fields[i]);

    if (count >= 3) {
        korva_atoi(fields[2], &amount, &status);
        if (status == KORVA_ATOI_OK) printf("amount: %d\n", (int)amount);
        else printf("'%s' is not a number: status %d\n", fields[2], (int)status);
    }
    for (i = 0; i < count && i < 8; i++) free(fields[i]);
    return 0;
}
