/* Records this module sends to the host's diagnostic log. */
#ifndef KORVA_HOST_LOG_H
#define KORVA_HOST_LOG_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

/*
 * Formats into buf[0..size) with the C runtime's printf conventions
 * (msvcrt.dll's _vsnprintf) and always terminates: _vsnprintf leaves the
 * buffer unterminated when the message does not fit, so a longer message is
 * cut to size - 1 characters here.
 */
void korva_format(char *buf, size_t size, const char *fmt, va_list args);
void korva_formatf(char *buf, size_t size, const char *fmt, ...);

/* Has the host fill a fresh client block and sends one record with it. */
void korva_send_log(const char *area, int32_t msgno, const char *text);

#endif
