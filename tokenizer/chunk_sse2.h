/*
 * The pieces every SSE2 kernel of scan_sse2.cpp is built from, always
 * inlined into each: the chunk and its masks, the chunk reader (which
 * chunks are loaded from the text and which from the working copy), the
 * quote tracker (the quote state carried from chunk to chunk) and the token
 * writer (the tokens cut so far and the room left).  A kernel adds how it
 * finds its separators.  Included by scan_sse2.cpp alone: like everything
 * of the SSE2 path it is built with -msse2 and has internal linkage (see
 * scan.h).
 */
#ifndef KORVA_TOKENIZER_CHUNK_SSE2_H
#define KORVA_TOKENIZER_CHUNK_SSE2_H

#include <emmintrin.h>

#include "scan.h"

#define KORVA_INLINE inline __attribute__((always_inline))

namespace {

/* A chunk of Bytes bytes (32 or 64), as its 16-byte blocks, and its mask
 * type: one bit per byte, bit k for byte k. */
template <int Bytes> struct chunk;
template <> struct chunk<32> {
    typedef uint32_t mask;
    __m128i b[2];
};
template <> struct chunk<64> {
    typedef uint64_t mask;
    __m128i b[4];
};

template <int Bytes> inline chunk<Bytes> load_chunk(const char *p)    /* p 16-byte aligned */
{
    chunk<Bytes> c;
    for (int k = 0; k < Bytes / 16; k++) c.b[k] = _mm_load_si128(reinterpret_cast<const __m128i *>(p) + k);
    return c;
}

template <int Bytes> inline chunk<Bytes> loadu_chunk(const char *p)
{
    chunk<Bytes> c;
    for (int k = 0; k < Bytes / 16; k++) c.b[k] = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p) + k);
    return c;
}

template <int Bytes> inline void store_chunk(char *p, const chunk<Bytes> &c)    /* p 16-byte aligned */
{
    for (int k = 0; k < Bytes / 16; k++) _mm_store_si128(reinterpret_cast<__m128i *>(p) + k, c.b[k]);
}

/* The mask of a chunk's comparison results (0xFF or 0 per byte). */
template <int Bytes> inline typename chunk<Bytes>::mask bits(const chunk<Bytes> &c)
{
    typename chunk<Bytes>::mask m = 0;
    for (int k = 0; k < Bytes / 16; k++)
        m |= (typename chunk<Bytes>::mask)(uint32_t)_mm_movemask_epi8(c.b[k]) << 16 * k;
    return m;
}

/* The bytes of the chunk that equal those of v. */
template <int Bytes> inline chunk<Bytes> equal(const chunk<Bytes> &c, __m128i v)
{
    chunk<Bytes> e;
    for (int k = 0; k < Bytes / 16; k++) e.b[k] = _mm_cmpeq_epi8(c.b[k], v);
    return e;
}

/* Both comparisons' bytes. */
template <int Bytes> inline chunk<Bytes> either(const chunk<Bytes> &x, const chunk<Bytes> &y)
{
    chunk<Bytes> e;
    for (int k = 0; k < Bytes / 16; k++) e.b[k] = _mm_or_si128(x.b[k], y.b[k]);
    return e;
}

/* Whether any byte of a comparison matched. */
template <int Bytes> inline bool any(const chunk<Bytes> &matched)
{
    __m128i a = matched.b[0];
    for (int k = 1; k < Bytes / 16; k++) a = _mm_or_si128(a, matched.b[k]);
    return _mm_movemask_epi8(a) != 0;
}

/* The chunk with the bytes where a comparison matched zeroed. */
template <int Bytes> inline chunk<Bytes> unless(const chunk<Bytes> &matched, const chunk<Bytes> &c)
{
    chunk<Bytes> e;
    for (int k = 0; k < Bytes / 16; k++) e.b[k] = _mm_andnot_si128(matched.b[k], c.b[k]);
    return e;
}

template <int Bytes> inline typename chunk<Bytes>::mask equal_bits(const chunk<Bytes> &c, __m128i v)
{
    return bits(equal(c, v));
}

/* The position of the lowest set bit of m, which is not 0. */
template <typename Mask> inline unsigned lowest(Mask m)
{
    return sizeof(m) > sizeof(uint32_t) ? __builtin_ctzll(m) : __builtin_ctz((uint32_t)m);
}

/* The bits of a mask's first k bytes; k may be its width or more. */
template <typename Mask> inline Mask below(size_t k)
{
    return k >= sizeof(Mask) * 8 ? ~(Mask)0 : ((Mask)1 << k) - 1;
}

/* x without its bits 0..k-1; k may be its width or more. */
template <typename Mask> inline Mask from_bit(Mask x, size_t k)
{
    return x & ~below<Mask>(k);
}

/* Which bytes of a chunk lie inside quotes, from its quote bits: bit k is
 * the parity of the quotes at bits 0..k (a prefix XOR, done in five or six
 * shifts: after the shift by 1 each bit holds the XOR of 2 bits, after the
 * shift by 2 of 4, and so on up to the chunk's size), flipped throughout
 * when the chunk starts inside quotes.  in_quote becomes the state after
 * the chunk. */
template <typename Mask> inline Mask inside_quotes(Mask quotes, bool &in_quote)
{
    Mask inside = quotes;
    for (unsigned k = 1; k < sizeof(Mask) * 8; k *= 2) inside ^= inside << k;
    inside ^= (Mask)0 - (Mask)in_quote;    /* flipped without a branch */
    in_quote = inside >> (sizeof(Mask) * 8 - 1);
    return inside;
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

/* Copies text[0..n) to w, which is 16-byte aligned: unaligned loads only
 * of whole 16-byte blocks inside the text. */
void copy(char *w, const char *text, size_t n)
{
    size_t i = 0;
    for (; i + 16 <= n; i += 16)
        _mm_store_si128(reinterpret_cast<__m128i *>(w + i),
                        _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i)));
    for (; i < n; i++) w[i] = text[i];
}

/* ------------------------------------------------------- the quote tracker */

/* What a chunk hands the next about quotes. */
template <typename Mask> struct quote_tracker {
    bool in_quote = false;  /* the next chunk starts inside quotes */
    Mask last = 0;          /* the chunk ends with a quote: bit 0 of the next one's `before` */

    /* The chunk's bytes inside quotes; the state moves past the chunk. */
    KORVA_INLINE Mask inside(Mask quotes) { return inside_quotes(quotes, in_quote); }

    /* The chunk's bytes that a quote stands right before; `last` moves past
     * the chunk. */
    KORVA_INLINE Mask before(Mask quotes)
    {
        const Mask b = quotes << 1 | last;
        last = quotes >> (sizeof(Mask) * 8 - 1);
        return b;
    }
};

/* --------------------------------------------------------- the token writer */

/* The tokens cut so far and the room.  The open token's start waits in
 * the array at *out, the slot its pointer takes when it is closed (the
 * spare slot behind the room when the room is full): a kernel's loop then
 * carries one value fewer from chunk to chunk, which the i686 build would
 * otherwise keep on the stack.  Below `roomy` the tokens of a whole chunk
 * of Bytes bytes fit, so a chunk there is cut without testing the room
 * token by token. */
struct token_writer {
    char **const tokens;
    char **out;
    char **const full, **const roomy;

    KORVA_INLINE token_writer(char *w, char **t, size_t room, size_t bytes)
        : tokens(t), out(t), full(t + room), roomy(full - (room < bytes ? room : bytes))
    {
        *out = w;
    }

    KORVA_INLINE char *start() const { return *out; }

    KORVA_INLINE bool chunk_fits() const { return out < roomy; }

    /* The open token ends at a separator already zeroed in the stored
     * chunk; the next begins at next. */
    KORVA_INLINE void cut_stored(char *next) { *++out = next; }

    /* The open token ends at sep, as it stands; the next begins at next. */
    KORVA_INLINE void cut(char *sep, char *next)
    {
        *sep = 0;
        cut_stored(next);
    }

    KORVA_INLINE void cut(char *sep) { cut(sep, sep + 1); }

    /* The open token ends at sep, a one-byte separator; with strip it loses
     * its outer quotes, its first byte and the one before sep.  The
     * branch is taken or not token by token: every form without it runs
     * slower. */
    KORVA_INLINE void cut_quoted(char *sep, bool strip)
    {
        if (strip) {
            sep[-1] = 0;
            ++*out;
        } else {
            *sep = 0;
        }
        cut_stored(sep + 1);
    }

    /* Each bit of seps a one-byte separator at base + bit, the token it
     * closes losing its outer quotes where strip has the bit (cut_quoted);
     * the room is tested token by token when Check.  False when it is
     * full. */
    template <bool Check, typename Mask> KORVA_INLINE bool cut_all_quoted(char *base, Mask seps, Mask strip)
    {
        for (; seps; seps &= seps - 1) {
            unsigned i = lowest(seps);
            if (Check && out == full) return false;
            cut_quoted(base + i, strip >> i & 1);
        }
        return true;
    }

    /* Each bit of seps a one-byte separator at base + bit, the tokens cut as
     * they stand; the room is not tested. */
    template <typename Mask> KORVA_INLINE void cut_all(char *base, Mask seps)
    {
        for (; seps; seps &= seps - 1) cut(base + lowest(seps));
    }

    /* Each bit of ends the last byte of a separator at base + bit whose
     * first byte is already zeroed in the stored chunk: the next token
     * begins after it.  The room is not tested. */
    template <typename Mask> KORVA_INLINE void cut_all_stored(char *base, Mask ends)
    {
        for (; ends; ends &= ends - 1) cut_stored(base + lowest(ends) + 1);
    }

    /* The open token ends at sep, losing a pair of outer quotes; the next
     * begins at next.  False when the room is full. */
    KORVA_INLINE bool cut_checked(char *sep, char *next)
    {
        if (out == full) return false;
        *out = korva_cut(*out, sep);
        cut_stored(next);
        return true;
    }

    KORVA_INLINE size_t count() const { return (size_t)(out - tokens); }
};

/* -------------------------------------------------------- the chunk reader */

/* A kernel's scan of the working copy w[0..limit), which holds the rest of
 * the working copy behind text[0..ntext), a chunk of Bytes bytes at a time:
 * cut(c, at, keep) for each chunk c at w + at, with `keep` the bits of its
 * bytes before `limit`; the kernel stores c there.  The copy is made as the
 * scan goes: a chunk that lies wholly inside the text is loaded from it
 * with unaligned loads that stay inside it; then the rest of the text is
 * copied (16 bytes at a time while whole blocks remain, then byte by byte)
 * into w, which is 16-byte aligned, and the last chunks are loaded from w,
 * whose room is a multiple of the chunk and already holds what follows the
 * text.  A kernel's cuts write into w only at or before the chunk just
 * stored.  `at` ends where the chunks of the text ended, in the first half;
 * false when a cut returned false. */
template <int Bytes, typename Cut>
KORVA_INLINE bool read_text_chunks(const char *text, size_t ntext, size_t &at, Cut &&cut)
{
    typedef typename chunk<Bytes>::mask mask_t;
    for (; at + Bytes <= ntext; at += Bytes)
        if (!cut(loadu_chunk<Bytes>(text + at), at, ~(mask_t)0)) return false;
    return true;
}

template <int Bytes, typename Cut>
KORVA_INLINE bool read_copied_chunks(char *w, const char *text, size_t ntext, size_t limit, size_t at,
                                     Cut &&cut)
{
    typedef typename chunk<Bytes>::mask mask_t;
    if (at < ntext) copy(w + at, text + at, ntext - at);
    for (; at < limit; at += Bytes)
        if (!cut(load_chunk<Bytes>(w + at), at, below<mask_t>(limit - at))) return false;
    return true;
}

/* The same scan of w[0..n) in one loop, so that a kernel's chunk code is
 * inlined once: cut(c, base) for each chunk c at w's address base, first
 * those wholly inside the text, loaded from it, then, once the rest of the
 * text is copied, the last ones, loaded from w.  The bytes past the zeros
 * that end the working copy are zeroed first, up to the end of the last
 * chunk (the room reaches 16 bytes past it), so that every byte of a chunk
 * is one the kernel may take as it stands: no mask of the bytes before n.
 * False when a cut returned false. */
template <int Bytes, typename Cut>
KORVA_INLINE bool read_chunks(char *w, const char *text, size_t ntext, size_t n, Cut &&cut)
{
    ptrdiff_t to_source = text - w;
    char *q = w, *end = w + (ntext & ~(size_t)(Bytes - 1));
    for (;;) {
        for (; q != end; q += Bytes)
            if (!cut(loadu_chunk<Bytes>(q + to_source), q)) return false;
        if (!to_source) return true;
        copy(q, q + to_source, ntext - (size_t)(q - w));
        to_source = 0;
        end = w + ((n + Bytes - 1) & ~(size_t)(Bytes - 1));
        for (char *z = w + n; z < end; z += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i *>(z), _mm_setzero_si128());
    }
}

} /* namespace */

#endif
