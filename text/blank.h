/* The two notions of "blank" the text exports share. */
#ifndef KORVA_TEXT_BLANK_H
#define KORVA_TEXT_BLANK_H

/* A blank byte: at most 32 when read as a signed 8-bit number, so the
 * control bytes, the space, and every byte 0x80-0xFF. */
static inline bool korva_is_blank(unsigned char c)
{
    return static_cast<signed char>(c) <= 32;
}

/* Whitespace as isspace() sees it in the default locale; no byte above 0x7F. */
static inline bool korva_is_space(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

#endif
