/* Loading KORVA_VB6.dll and binding its exports by name. */
#ifndef KORVA_TEST_DLL_H
#define KORVA_TEST_DLL_H

#include <windows.h>

#include "korva_vb6.h"

/* The module, loaded once by name; exits the test program when it is missing. */
HMODULE korva_module();

/* An export by name, or NULL. */
FARPROC korva_proc(const char *name);

/* An export by name, typed like the header's declaration of it; exits when missing. */
template <typename F> F korva_bind(F, const char *name)
{
    extern void korva_missing_export(const char *name);
    FARPROC p = korva_proc(name);
    if (!p) korva_missing_export(name);
    return reinterpret_cast<F>(reinterpret_cast<void *>(p));
}
#define KORVA_BIND(fn) korva_bind(&fn, #fn)

#endif
