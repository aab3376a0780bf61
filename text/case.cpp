/* Case conversion. */
#include <ctype.h>
#include <stddef.h>

#include "korva_vb6.h"

namespace {

/* toupper/tolower of the current locale, always given a value in the range
 * of unsigned char: a negative char would be undefined behaviour.  In the
 * default locale only a-z / A-Z change. */
char upper(char c) { return (char)toupper((unsigned char)c); }
char lower(char c) { return (char)tolower((unsigned char)c); }

char *convert(char *text, char (*map)(char))
{
    if (!text) return NULL;
    for (char *p = text; *p; p++) *p = map(*p);
    return text;
}

char *convert_r(const char *src, char *dst, char (*map)(char))
{
    if (!dst) return NULL;
    size_t i = 0;
    if (src)
        for (; src[i]; i++) dst[i] = map(src[i]);   /* dst == src is fine */
    dst[i] = 0;
    return dst;
}

} /* namespace */

/***********************************************************************
 *              korva_upper
 */
char *KORVA_API korva_upper(char *text)
{
    return convert(text, upper);
}

/***********************************************************************
 *              korva_lower
 */
char *KORVA_API korva_lower(char *text)
{
    return convert(text, lower);
}

/***********************************************************************
 *              korva_upper_r
 */
char *KORVA_API korva_upper_r(const char *src, char *dst)
{
    return convert_r(src, dst, upper);
}

/***********************************************************************
 *              korva_lower_r
 */
char *KORVA_API korva_lower_r(const char *src, char *dst)
{
    return convert_r(src, dst, lower);
}
