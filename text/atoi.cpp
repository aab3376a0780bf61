/* Validating text-to-integer conversion. */
#include <errno.h>
#include <string.h>

#include "korva_vb6.h"
#include "blank.h"

namespace {

int digit_value(unsigned char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'z') return c - 'a' + 10;
    if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
    return 99;
}

/*
 * strtol in base 0 over s[0..n), into a 32-bit signed range whatever the
 * width of long: optional whitespace and sign, then 0x/0X for hexadecimal, a
 * leading 0 for octal, else decimal.  Returns how many bytes were used (0 when
 * there is no number) and sets *range when the number does not fit.
 */
size_t parse_int32(const char *s, size_t n, int32_t *value, bool *range)
{
    size_t i = 0;
    while (i < n && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) i++;
    bool negative = false;
    if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';

    unsigned base = 10;
    if (i < n && s[i] == '0') {
        base = 8;
        if (i + 2 < n && (s[i + 1] == 'x' || s[i + 1] == 'X') && digit_value(s[i + 2]) < 16) {
            base = 16;
            i += 2;
        }
    }

    size_t digits = i;
    uint64_t magnitude = 0, limit = negative ? 0x80000000u : 0x7fffffffu;
    *range = false;
    for (; i < n && digit_value(s[i]) < (int)base; i++) {
        magnitude = magnitude * base + digit_value(s[i]);
        if (magnitude > limit) {
            *range = true;
            magnitude = limit + 1;      /* stays small; the digits are still consumed */
        }
    }
    if (i == digits) return 0;          /* no digit: nothing was converted */

    if (*range) *value = negative ? INT32_MIN : INT32_MAX;
    else *value = (int32_t)(negative ? -(int64_t)magnitude : (int64_t)magnitude);
    return i;
}

} /* namespace */

/***********************************************************************
 *              korva_atoi
 */
void KORVA_API korva_atoi(const char *text, int32_t *result, int32_t *status)
{
    if (status) *status = 0;
    if (!text || !*text) {
        if (status) *status = KORVA_ATOI_EMPTY;
        return;
    }

    /* leading and trailing blank bytes do not count */
    size_t n = strlen(text), first = 0;
    while (first < n && korva_is_blank(text[first])) first++;
    while (n > first && korva_is_blank(text[n - 1])) n--;
    const char *s = text + first;
    n -= first;

    errno = 0;
    int32_t value = 0;
    bool range = false;
    size_t used = parse_int32(s, n, &value, &range);
    if (range) errno = ERANGE;

    if (used < n && !errno) {
        if (status) *status = KORVA_ATOI_TRAILING;
    } else if (errno) {
        if (status) *status = errno;
    } else if (result) {
        *result = value;
    }
}
