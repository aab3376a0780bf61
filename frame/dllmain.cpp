/*
 * Load and unload.  Loading does no work of its own.  An unload by
 * FreeLibrary releases the retained token list, which nothing can reach once
 * the module is gone; at process exit (reserved non-null) nothing is done:
 * the process is going away, and another thread may have been stopped in
 * the middle of a parse.
 */
#include <windows.h>

#include "module_state.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
    if (reason == DLL_PROCESS_DETACH && !reserved) korva_release_retained();
    return TRUE;
}
