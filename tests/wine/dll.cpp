#include <stdio.h>
#include <stdlib.h>

#include "dll.h"

HMODULE korva_module()
{
    static HMODULE module;
    if (!module) {
        module = LoadLibraryA("KORVA_VB6.dll");
        if (!module) {
            printf("cannot load KORVA_VB6.dll: error %lu\n", GetLastError());
            exit(2);
        }
    }
    return module;
}

FARPROC korva_proc(const char *name)
{
    return GetProcAddress(korva_module(), name);
}

void korva_missing_export(const char *name)
{
    printf("KORVA_VB6.dll does not export %s\n", name);
    exit(2);
}
