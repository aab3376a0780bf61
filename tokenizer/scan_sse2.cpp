/*
 * The token scanner with SSE2, a chunk at a time.  Built with -msse2 (and
 * only this file): korva_parsebuf calls into it only when the processor has
 * SSE2.  Nothing here may be shared with the other files as an inline
 * function of external linkage (see scan.h), so it includes no C++ library
 * header.
 *
 * The idea: compare a chunk of the text (KORVA_CHUNK bytes, 64 on x86-64
 * and 32 on i686, see scan.h; 32 everywhere for the short lists) with each
 * distinct first byte of the delimiters at once (pcmpeqb), and squeeze the
 * comparisons into a mask with one bit per byte (pmovmskb, 16 bits at a
 * time).  A set bit is a place where a delimiter may start.  The bits are
 * then visited from the lowest up: count trailing zeros (`lowest`) gives
 * the position of the lowest set bit, and `mask &= ~(mask_t)1 << i` clears
 * that bit and every one below it (or `mask &= mask - 1`, which clears just
 * the lowest set bit: subtracting 1 turns it to 0 and the zeros below it to
 * ones, which the AND drops).  Only at those places are the delimiters
 * compared in full, in list order, or not at all where the masks already
 * prove a full match.  Most bytes of a line are never looked at one by one.
 */
#include "scan.h"

#if KORVA_SSE2_SCAN

#ifndef __SSE2__
#error "scan_sse2.cpp must be compiled with -msse2"
#endif
#include "chunk_sse2.h"

size_t korva_length_sse2(const char *text)
{
    const __m128i zero = _mm_setzero_si128();
    /* the NULs of the aligned block at q, as bits */
    auto nuls = [zero](const char *q) {
        return (uint32_t)_mm_movemask_epi8(_mm_cmpeq_epi8(load_aligned(q), zero));
    };
    size_t skew = (uintptr_t)text & 15;
    const char *p = text - skew;
    /* the first block: the bytes in front of the text shifted out */
    uint32_t nul = nuls(p) >> skew;
    if (nul) return __builtin_ctz(nul);
    /* A short line ends within the next four blocks, each tested on its
     * own.  Then 16-byte blocks up to a 64-byte boundary, then 64 bytes at
     * a time: the least byte of four blocks (pminub) is 0 only where one of
     * them holds a NUL.  A 64-byte aligned group lies within one page too. */
    for (int k = 0; k < 4; k++) {
        p += 16;
        if ((nul = nuls(p))) return (size_t)(p - text) + __builtin_ctz(nul);
    }
    while ((uintptr_t)p & 63) {
        p += 16;
        if ((nul = nuls(p))) return (size_t)(p - text) + __builtin_ctz(nul);
    }
    for (;;) {
        __m128i a = load_aligned(p), b = load_aligned(p + 16), c = load_aligned(p + 32),
                d = load_aligned(p + 48);
        __m128i least = _mm_min_epu8(_mm_min_epu8(a, b), _mm_min_epu8(c, d));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(least, zero))) break;
        p += 64;
    }
    for (;; p += 16)
        if ((nul = nuls(p))) return (size_t)(p - text) + __builtin_ctz(nul);
}

/* Only the second round counts: built for size. */
__attribute__((cold)) size_t korva_count_stops_sse2(const char *text, size_t n, const korva_delimiters &ds,
                                                    bool quote)
{
    __m128i stop[KORVA_MAX_FIRST + 1];
    int32_t nstop = 0;
    for (int32_t k = 0; k < ds.nfirst; k++) stop[nstop++] = _mm_set1_epi8((char)ds.first[k]);
    if (quote) stop[nstop++] = _mm_set1_epi8('"');
    /* each block's stops as bytes of 1, summed by psadbw into two 64-bit
     * lanes */
    const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi8(1);
    __m128i sums = zero;
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i));
        __m128i hit = zero;
        for (int32_t k = 0; k < nstop; k++) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(c, stop[k]));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(_mm_and_si128(hit, one), zero));
    }
    uint64_t lane[2];
    _mm_storeu_si128(reinterpret_cast<__m128i *>(lane), sums);
    /* the last bytes as the plain scan counts them */
    return (size_t)(lane[0] + lane[1]) + korva_count_stops(text + i, n - i, ds, quote);
}

namespace {

/* The scan when every delimiter is one byte and none is a double quote:
 * every place found outside quotes is a separator, and nothing needs to be
 * compared or stepped over.  Kept apart from the general scan below, whose
 * many cases would otherwise cost this, the usual one, registers and set-up
 * on every call.  One: the list has one first byte. */
template <bool One>
KORVA_INLINE size_t scan_bytes(char *w, const char *text, size_t ntext, size_t limit,
                               const korva_delimiters &ds, bool quote, char **tokens, size_t room)
{
    typedef chunk<KORVA_CHUNK> chunk_t;
    typedef chunk_t::mask mask_t;
    const int32_t nfirst = One ? 1 : ds.nfirst;
    const __m128i first = _mm_set1_epi8((char)ds.first[0]), dquote = _mm_set1_epi8('"');
    __m128i more[KORVA_MAX_FIRST - 1];
    for (int32_t k = 1; k < nfirst; k++) more[k - 1] = _mm_set1_epi8((char)ds.first[k]);

    token_writer tw(w, tokens, room, KORVA_CHUNK);
    quote_tracker<mask_t> qt;

    /* Stores the chunk c at w + at and cuts it there; its bits outside
     * `keep` lie past the end.  False when the tokens do not fit. */
    auto cut_chunk = [&](const chunk_t &c, size_t at, mask_t keep) __attribute__((always_inline)) {
        /* Each first byte's mask is ORed on its own, and below the quote
         * test comes before the room test: the other way round the i686
         * build runs this loop slower. */
        const chunk_t at_first = equal(c, first);
        mask_t stops = bits(at_first);
        for (int32_t k = 1; k < nfirst; k++) stops |= equal_bits(c, more[k - 1]);
        stops &= keep;
        char *const base = w + at;

        /* Without a quote in the chunk or right before it, as in most
         * chunks, no token ending here loses quotes: each is cut as it
         * stands.  Where quotes do not count that is known from one
         * pmovmskb. */
        const chunk_t dquotes = equal(c, dquote);
        __m128i any = dquotes.b[0];
        for (int k = 1; k < KORVA_CHUNK / 16; k++) any = _mm_or_si128(any, dquotes.b[k]);
        const bool as_they_stand = !quote && !(_mm_movemask_epi8(any) | qt.last) && tw.chunk_fits();
        if (as_they_stand && nfirst == 1) {
            /* With one first byte, the usual list, the separators are
             * zeroed in the stored chunk itself (the first compare's bytes
             * are their mask), and a token costs one store.  Longer lists
             * would repeat their compares for it, which costs a short line
             * more than it saves. */
            store_chunk(base, unless(at_first, c));
            tw.cut_all_stored(base, stops);
            return true;
        }
        store_chunk(base, c);
        if (as_they_stand) {
            tw.cut_all(base, stops);
            return true;
        }

        const mask_t quotes = bits(dquotes);
        if (quote) stops &= ~qt.inside(quotes);     /* quotes past `limit` do no harm */

        /* A token loses its outer quotes only where a quote stands right
         * before its separator. */
        const mask_t before = qt.before(quotes);
        if (!before && tw.chunk_fits()) {
            tw.cut_all(base, stops);
            return true;
        }

        /* Otherwise the separators of the tokens that lose their quotes
         * are found for the whole chunk.  Such a token begins with a
         * quote, a quote stands right before its separator, and it is not
         * that one quote alone.  Which separators close a token that
         * begins with a quote comes out of one subtraction: taking the bit
         * of each such beginning from the separators' bits borrows up to,
         * and clears, the next separator above it.  The token still open
         * when the chunk starts, if it begins with a quote, takes bit 0,
         * whether it begins there or earlier. */
        const size_t behind = (size_t)(base - tw.start());  /* how far back the open token began */
        const mask_t opens = *tw.start() == '"';
        const mask_t later = stops << 1 & quotes;           /* the tokens that begin here with one */
        const mask_t lone = later << 1 | (opens << 1) >> (behind < 2 ? behind : 2);
        const mask_t strip = stops & ~(stops - (later | opens)) & before & ~lone;
        /* The room is tested token by token only where a whole chunk's
         * tokens might not fit. */
        return tw.chunk_fits() ? tw.cut_all_quoted<false>(base, stops, strip)
                               : tw.cut_all_quoted<true>(base, stops, strip);
    };

    if (!One)
        return read_chunks<KORVA_CHUNK>(w, text, ntext, limit,
                                        [&](const chunk_t &c, char *base) __attribute__((always_inline)) {
                                            return cut_chunk(c, (size_t)(base - w), ~(mask_t)0);
                                        })
                   ? tw.count()
                   : room + 1;

    /* korva_scan_byte_sse2 hands quoted lines to a copy of their own, so
     * quote is false here; the branch for it below is kept all the same,
     * since without it clang gives the text loop other registers, and the
     * usual line ran slower. */
    size_t at = 0;
    if (!quote) {
        /* The usual line's chunks in the text, written out here so that
         * the loop carries only the working copy's pointer, the token
         * array's end and the quote carry, which the i686 build keeps in
         * registers (the text's chunk is loaded through the copy's pointer
         * and the distance between the two, which may stay on the stack).
         * A chunk without a quote, not after one, with room for all its
         * tokens, is cut as the one-first-byte way above cuts it; any other
         * goes to cut_chunk. */
        const size_t whole = ntext & ~(size_t)(KORVA_CHUNK - 1);
        const ptrdiff_t to_text = text - w;
        char *q = w;
        for (char *const end = w + whole; q != end; q += KORVA_CHUNK) {
            const chunk_t c = loadu_chunk<KORVA_CHUNK>(q + to_text);
            const chunk_t at_first = equal(c, first);
            if ((int)any(equal(c, dquote)) | (int)(qt.last != 0) | (int)!tw.chunk_fits()) {
                if (!cut_chunk(c, (size_t)(q - w), ~(mask_t)0)) return room + 1;
                continue;
            }
            store_chunk(q, unless(at_first, c));
            tw.cut_all_stored(q, bits(at_first));
        }
        at = whole;
    } else if (!read_text_chunks<KORVA_CHUNK>(text, ntext, at, cut_chunk)) {
        return room + 1;
    }
    if (at == ntext && limit - at == 1) {
        /* Only the delimiter appended to close the last field is left (a
         * line of whole chunks, such as a fixed-length record): it is a
         * separator unless quotes are open. */
        if (qt.in_quote) return tw.count();
        return tw.cut_checked(w + at, w + at + 1) ? tw.count() : room + 1;
    }
    if (!read_copied_chunks<KORVA_CHUNK>(w, text, ntext, limit, at, cut_chunk)) return room + 1;
    return tw.count();
}

/* The scan for up to KORVA_SHORT_MAX delimiters of one or two bytes that
 * start with distinct bytes and hold no double quote (the usual
 * multi-character lists).  Where each delimiter matches in full is found
 * for a whole chunk at once: the chunk is compared with its first byte and,
 * for a two-byte one, the chunk one byte further on with its second, and
 * the two ANDed.  With distinct first bytes no two delimiters match at one
 * place, so their order does not matter.  The separators and tokens are
 * then cut as in scan_bytes.  Pairs and Ones, where not 0 and -1, are the
 * list's counts of two-byte and one-byte delimiters, known to the compiler. */
template <int Pairs, int Ones = -1>
__attribute__((noinline)) size_t scan_short(char *w, const char *text, size_t ntext, size_t limit,
                                            const korva_delimiters &ds, bool quote, char **tokens,
                                            size_t room)
{
    __m128i byte0[KORVA_SHORT_MAX], pair0[KORVA_SHORT_MAX], pair1[KORVA_SHORT_MAX];
    int32_t ones = 0, pairs = 0;
    for (int32_t j = 0; j < ds.n; j++)
        if (ds.d[j].len == 1) {
            byte0[ones++] = _mm_set1_epi8(ds.d[j].s[0]);
        } else {
            pair0[pairs] = _mm_set1_epi8(ds.d[j].s[0]);
            pair1[pairs++] = _mm_set1_epi8(ds.d[j].s[1]);
        }
    const __m128i dquote = _mm_set1_epi8('"');

    /* 32 bytes at a time on every target: the x86-64 build runs the usual
     * multi-character list slower in 64-byte chunks. */
    const int bytes = 32;
    typedef chunk<bytes> chunk_t;
    typedef chunk_t::mask mask_t;
    token_writer tw(w, tokens, room, bytes);
    quote_tracker<mask_t> qt;
    mask_t covered = 0;         /* the chunk before ends with a two-byte separator's first byte */
    const mask_t top = (mask_t)1 << (bytes - 1);

    /* A list that comes here holds 1 to KORVA_SHORT_MAX two-byte
     * delimiters and so at most KORVA_SHORT_MAX - 1 one-byte ones (one-byte
     * ones alone, without a quote, go to scan_bytes). */
    const int32_t npairs = Pairs ? Pairs : pairs;
    /* c is the chunk, next the chunk one byte further on; stored: c is
     * already at w + at (otherwise it is stored here) */
    auto cut_chunk = [&](const chunk_t &c, const chunk_t &next, size_t at, mask_t keep, bool stored)
                         __attribute__((always_inline)) {
        /* Where the two-byte delimiters start, then where any does.  The
         * copies for one and two pairs have their compares unrolled. */
        chunk_t found;
        for (int k = 0; k < bytes / 16; k++) found.b[k] = _mm_setzero_si128();
        for (int32_t j = 0; j < npairs; j++)
            for (int k = 0; k < bytes / 16; k++)
                found.b[k] = _mm_or_si128(found.b[k], _mm_and_si128(_mm_cmpeq_epi8(c.b[k], pair0[j]),
                                                                    _mm_cmpeq_epi8(next.b[k], pair1[j])));
        mask_t twos = bits(found);
        /* A plain loop in the i686 build: unrolled by two, with the odd
         * one after, it costs the usual list (one one-byte delimiter) four
         * branches and a spilled register a chunk.  The x86-64 build has
         * the registers, and the plain loop is no faster there. */
        const int32_t nones = Ones >= 0 ? Ones : ones;
#if defined(__i386__)
#pragma GCC unroll 1
#endif
        for (int32_t j = 0; j < nones; j++) found = either(found, equal(c, byte0[j]));
        const mask_t found_bits = bits(found);
        mask_t stops = found_bits & keep & ~covered;
        const mask_t quotes = equal_bits(c, dquote);
        if (quote) stops &= ~qt.inside(quotes);     /* no separator holds a quote */
        twos &= stops;
        if (twos << 1 & stops) {
            /* A two-byte separator takes the first byte of a place found
             * right after it: from the lowest up, as the plain scan goes. */
            mask_t kept = 0;
            for (mask_t left = stops; left; left &= left - 1) {
                mask_t bit = left & (0 - left);
                kept |= bit;
                if (twos & bit) left &= ~(bit << 1);
            }
            stops = kept;
            twos &= kept;
        }
        covered = twos >> (bytes - 1);

        char *const base = w + at;
        const mask_t before = qt.before(quotes);
        /* Where every place found is a separator and no token loses
         * quotes, as in most chunks, the separators' first bytes are zeroed
         * in the stored chunk itself, and a token costs one store: the next
         * begins after the last byte of its separator.  Adding a two-byte
         * separator's bit moves it onto that byte (the bit above is never
         * a separator's), except out of the top bit: that chunk, and any
         * other, takes the token-by-token way below. */
        if (stops == found_bits && !(stops & before) && tw.chunk_fits() && twos < top) {
            store_chunk(base, unless(found, c));
            tw.cut_all_stored(base, stops + twos);
            return true;
        }
        if (!stored) store_chunk(base, c);
        for (; stops; stops &= stops - 1) {
            unsigned i = lowest(stops);
            char *sep = base + i;
            if (!tw.cut_checked(sep, sep + 1 + (twos >> i & 1))) return false;
        }
        return true;
    };

    /* The chunk reader's steps are written out here, the chunk one byte
     * further on loaded beside each chunk (a chunk and the byte after it
     * must lie inside the text to be loaded from it): through the reader's
     * callback the i686 build runs (b) slower. */
    const char *p = text;
    for (const char *const whole = text + (ntext ? (ntext - 1) / bytes * bytes : 0); p != whole; p += bytes)
        if (!cut_chunk(loadu_chunk<bytes>(p), loadu_chunk<bytes>(p + 1), (size_t)(p - text), ~(mask_t)0, false))
            return room + 1;
    size_t at = (size_t)(p - text);
    if (at < ntext) copy(w + at, text + at, ntext - at);
    for (; at < limit; at += bytes)
        if (!cut_chunk(load_chunk<bytes>(w + at), loadu_chunk<bytes>(w + at + 1), at,
                       below<mask_t>(limit - at), true))
            return room + 1;
    return tw.count();
}

/* The scan for any other list.  It compares in full at each place, which
 * may read ahead of the chunk: the whole text is copied first. */
__attribute__((noinline)) size_t scan_general(char *w, const char *text, size_t ntext, size_t limit,
                                              const korva_delimiters &ds, bool quote, char **tokens,
                                              size_t room)
{
    typedef chunk<KORVA_CHUNK> chunk_t;
    typedef chunk_t::mask mask_t;
    /* Kept in locals: the tokens are cut by byte stores, which the compiler
     * must otherwise assume could change *ds. */
    const int32_t nfirst = ds.nfirst;
    const __m128i first = _mm_set1_epi8((char)ds.first[0]), dquote = _mm_set1_epi8('"');
    __m128i more[KORVA_MAX_FIRST - 1];
    for (int32_t k = 1; k < nfirst; k++) more[k - 1] = _mm_set1_epi8((char)ds.first[k]);

    token_writer tw(w, tokens, room, 0);
    size_t resume = 0;
    bool in_quote = false;
    auto cut_chunk = [&](const chunk_t &c, size_t at, mask_t keep) __attribute__((always_inline)) {
        chunk_t found = equal(c, first);
        for (int32_t k = 1; k < nfirst; k++) found = either(found, equal(c, more[k - 1]));
        mask_t stops = bits(found) & keep;
        mask_t quotes = quote ? equal_bits(c, dquote) & keep : 0;

        /* the tail of a separator that began in an earlier chunk */
        if (resume > at) {
            stops = from_bit(stops, resume - at);
            quotes = from_bit(quotes, resume - at);
        }

        /* Place by place as the plain scan goes: the delimiters compared in
         * list order.  Inside quotes only the closing quote counts.  A quote
         * comes before any delimiter that starts with one. */
        for (;;) {
            mask_t next = in_quote ? quotes : stops | quotes;
            if (!next) break;
            unsigned i = lowest(next);
            mask_t above = ~(mask_t)1 << i;
            bool is_quote = quotes >> i & 1;
            stops &= above;
            quotes &= above;
            if (is_quote) {
                in_quote = !in_quote;
                continue;
            }
            char *sep = w + at + i;
            size_t len = korva_match(sep, ds);
            if (!len) continue;
            if (!tw.cut_checked(sep, sep + len)) return false;
            if (len > 1) {
                /* the separator's other bytes are not looked at again */
                resume = at + i + len;
                stops = from_bit(stops, i + len);
                quotes = from_bit(quotes, i + len);
            }
        }
        return true;
    };
    return read_copied_chunks<KORVA_CHUNK>(w, text, ntext, limit, 0, cut_chunk) ? tw.count() : room + 1;
}

} /* namespace */

/* The kernels, as korva_kernel names them.  For the short and general
 * scans every separator starts before `limit`: the scan ends where
 * delimiter 0 would last fit. */
#define KORVA_LIMIT (n - ds.d[0].len + 1)

/* delimiter 0 is one byte: every separator starts before n.  Out of line:
 * the one-delimiter kernel below hands quoted lines on to it on i686. */
__attribute__((noinline)) size_t korva_scan_bytes_sse2(KORVA_KERNEL_ARGS)
{
    return scan_bytes<false>(w, text, ntext, n, ds, quote, tokens, room);
}

/* The usual list with quotes on: one one-byte delimiter, not a quote.  A
 * separator inside quotes is none, and a token loses its outer quotes
 * where it begins with a quote and one stands right before its separator:
 * that quote closes the quotes the first one opened.  Since a quote opens
 * quotes, the separator right after one is inside them, and no token is a
 * lone quote, which scan_bytes must test for.  Kept apart from scan_bytes,
 * whose chunks also carry the quote flag, the test for a chunk without
 * quotes and the compares of a longer list. */
size_t korva_scan_byte_quoted_sse2(KORVA_KERNEL_ARGS)
{
    (void)quote;
    typedef chunk<KORVA_CHUNK> chunk_t;
    typedef chunk_t::mask mask_t;
    const __m128i first = _mm_set1_epi8((char)ds.first[0]), dquote = _mm_set1_epi8('"');
    token_writer tw(w, tokens, room, KORVA_CHUNK);
    quote_tracker<mask_t> qt;

    auto cut_chunk = [&](const chunk_t &c, char *base) __attribute__((always_inline)) {
        store_chunk(base, c);
        const mask_t quotes = equal_bits(c, dquote);
        const mask_t seps = equal_bits(c, first) & ~qt.inside(quotes);
        const mask_t before = qt.before(quotes);
        /* Which separators close a token that begins with a quote, by the
         * subtraction scan_bytes explains; the open token, stored, takes
         * bit 0. */
        const mask_t opens = *tw.start() == '"';
        const mask_t strip = seps & ~(seps - ((seps << 1 & quotes) | opens)) & before;
        if (!tw.chunk_fits()) return tw.cut_all_quoted<true>(base, seps, strip);
        if (!strip) tw.cut_all(base, seps);
        else tw.cut_all_quoted<false>(base, seps, strip);
        return true;
    };
    return read_chunks<KORVA_CHUNK>(w, text, ntext, n, cut_chunk) ? tw.count() : room + 1;
}

/* The usual list, one delimiter, has a copy of its own without the compares
 * of a longer list for lines with quotes off, which then need no quote
 * state, and the scan above for quoted ones. */
size_t korva_scan_byte_sse2(KORVA_KERNEL_ARGS)
{
    if (quote) return korva_scan_byte_quoted_sse2(w, text, ntext, n, ds, quote, tokens, room);
    return scan_bytes<true>(w, text, ntext, n, ds, false, tokens, room);
}

/* The usual counts of two-byte delimiters get a copy each, in which the
 * compares need no loop, and so does a list of one one-byte and two
 * two-byte delimiters, whose one-byte compare's loop the i686 build would
 * otherwise keep. */
size_t korva_scan_short1_sse2(KORVA_KERNEL_ARGS)
{
    return scan_short<1>(w, text, ntext, KORVA_LIMIT, ds, quote, tokens, room);
}

size_t korva_scan_short21_sse2(KORVA_KERNEL_ARGS)
{
    return scan_short<2, 1>(w, text, ntext, KORVA_LIMIT, ds, quote, tokens, room);
}

size_t korva_scan_short2_sse2(KORVA_KERNEL_ARGS)
{
    return scan_short<2>(w, text, ntext, KORVA_LIMIT, ds, quote, tokens, room);
}

size_t korva_scan_short_sse2(KORVA_KERNEL_ARGS)
{
    return scan_short<0>(w, text, ntext, KORVA_LIMIT, ds, quote, tokens, room);
}

/* The lists that come here (shared first bytes, a quote in a delimiter,
 * more than KORVA_SHORT_MAX delimiters or longer ones) are the rare ones. */
size_t korva_scan_general_sse2(KORVA_KERNEL_ARGS)
{
    return scan_general(w, text, ntext, KORVA_LIMIT, ds, quote, tokens, room);
}

#endif
