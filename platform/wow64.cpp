/* WOW64 detection and the calling thread's file-system redirection.  The
 * kernel functions are looked up by name at every call, so the module loads
 * and answers 0 on systems that lack them. */
#include "korva_vb6.h"

namespace {

typedef BOOL(WINAPI *is_wow64_process_fn)(HANDLE process, BOOL *wow64);
typedef BOOL(WINAPI *disable_redirection_fn)(void **old);
typedef BOOL(WINAPI *revert_redirection_fn)(void *old);

/* A kernel32 export by name, or NULL; nothing is cached. */
template <typename F> F kernel32_function(const char *name)
{
    HMODULE kernel32 = GetModuleHandleA("kernel32");
    if (!kernel32) return NULL;
    return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(kernel32, name)));
}

} /* namespace */

/***********************************************************************
 *              KORVA_IsWow64
 */
int32_t KORVA_API KORVA_IsWow64(void)
{
    BOOL wow64 = FALSE;
    is_wow64_process_fn is_wow64 = kernel32_function<is_wow64_process_fn>("IsWow64Process");
    if (!is_wow64 || !is_wow64(GetCurrentProcess(), &wow64)) return 0;
    return wow64;
}

/***********************************************************************
 *              KORVA_MyWow64Disable
 */
int32_t KORVA_API KORVA_MyWow64Disable(void **old)
{
    /* Without a slot the state could never be restored: refuse. */
    if (!old) return 0;
    disable_redirection_fn disable =
        kernel32_function<disable_redirection_fn>("Wow64DisableWow64FsRedirection");
    if (!disable) return 0;
    return disable(old);
}

/***********************************************************************
 *              KORVA_MyWow64Revert
 */
int32_t KORVA_API KORVA_MyWow64Revert(void *old)
{
    /* NULL is a valid saved state (redirection was on), passed on as is. */
    revert_redirection_fn revert =
        kernel32_function<revert_redirection_fn>("Wow64RevertWow64FsRedirection");
    if (!revert) return 0;
    return revert(old);
}
