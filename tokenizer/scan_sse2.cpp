/*
 * The token scanner with SSE2, 32 bytes at a time.  Built with -msse2 (and
 * only this file): korva_parsebuf calls into it only when the processor has
 * SSE2.  Nothing here may be shared with the other files as an inline
 * function of external linkage (see scan.h), so it includes no C++ library
 * header.
 *
 * The idea: compare a chunk of 32 bytes with each distinct first byte of the
 * delimiters at once (pcmpeqb), squeeze each comparison into a 32-bit mask
 * with one bit per byte (pmovmskb), and OR them.  A set bit is a place where
 * a delimiter may start.  The bits are then visited from the lowest up:
 * __builtin_ctz (count trailing zeros) gives the position of the lowest set
 * bit, and `mask &= ~1u << i` clears that bit and every one below it.  Only
 * at those places are the delimiters compared in full, in list order.  Most
 * bytes of a line are never looked at one by one.
 */
#include "scan.h"

#if KORVA_SSE2_SCAN

#ifndef __SSE2__
#error "scan_sse2.cpp must be compiled with -msse2"
#endif
#include <emmintrin.h>

namespace {

/* The bytes of the chunk lo:hi that equal those of c, as bits 0-31
 * (byte k of lo is bit k, byte k of hi is bit 16 + k). */
inline uint32_t equal_bits(__m128i lo, __m128i hi, __m128i c)
{
    return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(lo, c)) |
           (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(hi, c)) << 16;
}

/* x without its bits 0..k-1; k may be 32 or more. */
inline uint32_t from_bit(uint32_t x, size_t k)
{
    return k >= 32 ? 0 : x & (~0u << k);
}

/* An aligned 16-byte load from the caller's text.  It may read up to 15
 * bytes before the text or past its terminator, but never into another
 * page: pages are 4096-byte aligned, so an aligned 16-byte block lies within
 * one page, the page of a byte of the text.  AddressSanitizer would report
 * those bytes (they are outside the caller's object), so it is told not to
 * look at this one helper; the bytes are never used. */
__attribute__((no_sanitize_address)) __m128i load_aligned(const char *p)
{
    return _mm_load_si128(reinterpret_cast<const __m128i *>(p));
}

} /* namespace */

size_t korva_length_sse2(const char *text)
{
    const __m128i zero = _mm_setzero_si128();
    size_t skew = (uintptr_t)text & 15;
    const char *p = text - skew;
    /* the first block: the bytes in front of the text shifted out */
    uint32_t nul = (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(load_aligned(p), zero)) >> skew;
    if (nul) return __builtin_ctz(nul);
    for (;;) {
        p += 16;
        nul = (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(load_aligned(p), zero));
        if (nul) return (size_t)(p - text) + __builtin_ctz(nul);
    }
}

void korva_copy_sse2(char *w, const char *text, size_t n)
{
    /* unaligned loads only of whole 16-byte blocks inside the text */
    size_t i = 0;
    for (; i + 16 <= n; i += 16)
        _mm_store_si128(reinterpret_cast<__m128i *>(w + i),
                        _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i)));
    for (; i < n; i++) w[i] = text[i];
}

size_t korva_scan_sse2(char *w, size_t n, const korva_delimiters &ds, bool quote, char **tokens,
                       size_t room)
{
    /* Every separator starts before `limit`: the scan ends where delimiter
     * 0 would last fit. */
    const size_t limit = n - ds.d[0].len + 1;
    /* one delimiter of one byte: every place found is a separator */
    const bool one_byte = ds.n == 1 && ds.d[0].len == 1;
    const __m128i first = _mm_set1_epi8((char)ds.first[0]), dquote = _mm_set1_epi8('"');
    __m128i more[15];
    for (int32_t k = 1; k < ds.nfirst; k++) more[k - 1] = _mm_set1_epi8((char)ds.first[k]);

    size_t start = 0, count = 0, resume = 0;
    bool in_quote = false;
    for (size_t at = 0; at < limit; at += 32) {
        /* w is 16-byte aligned and its room a multiple of 32 bytes */
        __m128i lo = _mm_load_si128(reinterpret_cast<const __m128i *>(w + at));
        __m128i hi = _mm_load_si128(reinterpret_cast<const __m128i *>(w + at + 16));
        uint32_t stops = equal_bits(lo, hi, first);
        for (int32_t k = 1; k < ds.nfirst; k++) stops |= equal_bits(lo, hi, more[k - 1]);
        uint32_t quotes = quote ? equal_bits(lo, hi, dquote) : 0;
        if (limit - at < 32) {
            uint32_t before_limit = (1u << (limit - at)) - 1;
            stops &= before_limit;
            quotes &= before_limit;
        }
        /* the tail of a separator that began in an earlier chunk */
        if (resume > at) {
            stops = from_bit(stops, resume - at);
            quotes = from_bit(quotes, resume - at);
        }

        /* Inside quotes only the closing quote counts.  A quote comes
         * before any delimiter that starts with one. */
        for (;;) {
            uint32_t next = in_quote ? quotes : stops | quotes;
            if (!next) break;
            unsigned i = __builtin_ctz(next);
            size_t pos = at + i;
            size_t len = 0;
            if (quotes >> i & 1) in_quote = !in_quote;
            else len = one_byte ? 1 : korva_match(w + pos, ds);
            if (!len) {
                stops &= ~1u << i;
                quotes &= ~1u << i;
                continue;
            }
            if (count == room) return room + 1;
            tokens[count++] = korva_cut(w, start, pos);
            start = resume = pos + len;
            stops = from_bit(stops, resume - at);
            quotes = from_bit(quotes, resume - at);
        }
    }
    return count;
}

#endif
