/* Error retrieval: the thread's C runtime and system error numbers. */
#include <errno.h>

#include "korva_vb6.h"

/***********************************************************************
 *              korva_GetLastErrorEx
 */
void KORVA_API korva_GetLastErrorEx(int32_t *crt_error, int32_t *sys_error,
                                    int32_t *not_found)
{
    /* Reading errno goes through the runtime's thread data; take the system
     * error first and put it back, so that read cannot disturb it. */
    DWORD sys = GetLastError();
    int crt = errno;
    SetLastError(sys);

    if (crt_error) *crt_error = crt;
    if (sys_error) *sys_error = (int32_t)sys;
    if (not_found) *not_found = sys == ERROR_FILE_NOT_FOUND;
}

/***********************************************************************
 *              korva_GetLastError
 */
int32_t KORVA_API korva_GetLastError(void)
{
    int32_t crt, sys, not_found;
    korva_GetLastErrorEx(&crt, &sys, &not_found);
    return sys;
}
