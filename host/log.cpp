#include <stdio.h>

#include "log.h"
#include "korva_host.h"

void korva_format(char *buf, size_t size, const char *fmt, va_list args)
{
    if (!size) return;
    _vsnprintf(buf, size - 1, fmt, args);
    buf[size - 1] = 0;
}

void korva_formatf(char *buf, size_t size, const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    korva_format(buf, size, fmt, args);
    va_end(args);
}

void korva_send_log(const char *area, int32_t msgno, const char *text)
{
    unsigned char block[KORVA_CLIENT_BLOCK_SIZE];   /* the host's; it fills it */
    KORVA_CLIENT_INITBLK(block);
    KORVA_DIAG_LOG(area, msgno, text, block);
}
