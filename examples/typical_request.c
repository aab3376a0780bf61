/*
 * typical_request: what a Visual Basic 6 program does with KORVA_VB6.dll,
 * written in C.  It loads the module by name, binds korva_parsebuf_wrapper by
 * name, splits the line  TAG1, TAG2,"A,B"  at ',' with quote handling on,
 * and prints the tokens and the status.  Run it with KORVA_STANDIN_TRACE=1 to
 * see the host's parse lock taken and given back.
 */
#include <stdio.h>
#include <windows.h>

typedef void (WINAPI *parsebuf_fn)(const char *text, char ***tokens, int *count,
                                   int ndelim, const char *delims, int quote, int *status);

int main(void)
{
    const char *line = "TAG1, TAG2,\"A,B\"";
    static const char delims[] = ",";        /* one delimiter: ',' and its NUL */
    char **tokens = NULL;
    int count = 0, status = 0, i;

    HMODULE module = LoadLibraryA("KORVA_VB6.dll");
    if (!module) {
        printf("cannot load KORVA_VB6.dll (error %lu)\n", GetLastError());
        return 1;
    }
    parsebuf_fn parse = (parsebuf_fn)(void *)GetProcAddress(module, "korva_parsebuf_wrapper");
    if (!parse) {
        printf("KORVA_VB6.dll has no korva_parsebuf_wrapper\n");
        return 1;
    }

    printf("line:   %s\n", line);
    fflush(stdout);
    parse(line, &tokens, &count, 1, delims, 1, &status);
    printf("status: %d\n", status);
    printf("count:  %d\n", count);
    /* the tokens belong to the module: copy them before the next parse */
    for (i = 0; i < count; i++) printf("token %d: '%s'\n", i, tokens[i]);

    FreeLibrary(module);
    return status == 0 && count == 3 ? 0 : 1;
}
