/* Formatted messages into the host's diagnostic log. */
#include "korva_vb6.h"
#include "log.h"

/***********************************************************************
 *              KernelDebugLog
 */
void KORVA_CDECL KernelDebugLog(const char *fmt, ...)
{
    if (!fmt) return;

    char text[512];
    va_list args;
    va_start(args, fmt);
    korva_format(text, sizeof(text), fmt, args);
    va_end(args);
    korva_send_log("KERNEL_DEBUG", 122030, text);
}

/***********************************************************************
 *              KernelDebugLogEx
 */
void KORVA_CDECL KernelDebugLogEx(const char *area, int32_t msgno, const char *fmt, ...)
{
    if (!area || !fmt) return;

    char text[2056];
    va_list args;
    va_start(args, fmt);
    korva_format(text, sizeof(text), fmt, args);
    va_end(args);
    korva_send_log(area, msgno, text);
}
