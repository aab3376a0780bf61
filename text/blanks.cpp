/* Blank trimming and packing. */
#include <string.h>

#include "korva_vb6.h"
#include "blank.h"

/***********************************************************************
 *              korva_trimblanks
 */
void KORVA_API korva_trimblanks(char *buf, int32_t len)
{
    if (!buf || len < 1) return;
    for (int32_t i = len - 1; i >= 0 && korva_is_blank(buf[i]); i--)
        buf[i] = 0;
}

/***********************************************************************
 *              korva_trimBlanksEx
 */
char *KORVA_API korva_trimBlanksEx(char *buf, int32_t len)
{
    korva_trimblanks(buf, len);
    return buf;
}

/***********************************************************************
 *              korva_lefttrim
 */
char *KORVA_API korva_lefttrim(char *text)
{
    if (!text) return NULL;

    size_t len = strlen(text), first = 0;
    while (first < len && korva_is_blank(text[first])) first++;
    while (len > first && korva_is_blank(text[len - 1])) len--;

    memmove(text, text + first, len - first);
    text[len - first] = 0;
    return text;
}

/***********************************************************************
 *              korva_leftpack
 */
char *KORVA_API korva_leftpack(char *text)
{
    if (!text) return NULL;

    char *out = text;
    for (const char *in = text; *in; in++)
        if (!korva_is_blank(*in)) *out++ = *in;
    *out = 0;
    return text;
}

/***********************************************************************
 *              korva_lefttrim_r
 */
char *KORVA_API korva_lefttrim_r(const char *src, int32_t maxlen, char *dst)
{
    if (!dst) return NULL;
    if (!src || maxlen <= 0) {
        dst[0] = 0;
        return dst;
    }

    size_t len = strlen(src), first = 0;
    while (first < len && korva_is_space(src[first])) first++;
    while (len > first && korva_is_space(src[len - 1])) len--;

    size_t n = len - first;
    if (n > (size_t)maxlen) n = (size_t)maxlen;
    /* read everything before writing: src and dst may overlap */
    memmove(dst, src + first, n);
    dst[n] = 0;
    return dst;
}
