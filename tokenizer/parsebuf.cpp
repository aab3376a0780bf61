/* The token scanner and the retained token list, and the plain path of the
 * scan (see scan.h).  This file is built for the plain instruction set: it
 * runs on every processor. */
#include <stdlib.h>
#include <string.h>

#include "korva_vb6.h"
#include "scan.h"
#include "../frame/module_state.h"
#include "../text/blank.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

/* The caller's delimiter list, unpacked.  Short lists (the usual case) live
 * on the stack. */
struct delimiter_set : korva_delimiters {
    korva_delimiter local[8];
    korva_delimiter *heap = NULL;

    ~delimiter_set()
    {
        if (heap) free(heap);
    }
};

/* The bytes at which the plain scan has to look closer.  The NUL entry is
 * set, so the terminator ends every walk; `only` is the one other byte of
 * the set, when there is just one, which memchr can then find for us. */
struct stop_set {
    bool table[256] = {true};
    int only = -1;
    int n = 0;

    void add(unsigned char c)
    {
        if (table[c]) return;
        table[c] = true;
        only = n++ ? -1 : c;
    }
};

/* Byte k (0-3) of a 4-byte word as korva_match loads it from memory.  Made
 * with shifts: a 4-byte load of bytes just stored one by one would wait for
 * them to reach the cache. */
inline uint32_t korva_head(unsigned char byte, size_t k)
{
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return (uint32_t)byte << (24 - 8 * k);
#else
    return (uint32_t)byte << (8 * k);
#endif
}

int32_t unpack_list(int32_t ndelim, const char *block, delimiter_set &ds);

inline int32_t unpack_delimiters(int32_t ndelim, const char *block, delimiter_set &ds)
{
    if (ndelim == 1 && block && block[0] && !block[1]) {
        /* one delimiter of one byte, the usual list, at less cost */
        unsigned char c = (unsigned char)block[0];
        ds.local[0] = korva_delimiter{block, 1, korva_head(c, 0), korva_head(0xFF, 0)};
        ds.d = ds.local;
        ds.n = ds.nfirst = 1;
        ds.first[0] = c;
        ds.all_one_byte = c != '"';
        ds.short_list = true;
        return KORVA_PARSE_OK;
    }
    return unpack_list(ndelim, block, ds);
}

/* Any other list: kept out of line, so that the usual one's caller keeps
 * its registers. */
__attribute__((noinline)) int32_t unpack_list(int32_t ndelim, const char *block, delimiter_set &ds)
{
    if (ndelim < 1 || !block) return KORVA_PARSE_BADDELIM;

    /* Byte by byte, never past the last delimiter's NUL: the list may end
     * right before a page the process cannot read.  A long list is checked
     * before its entries are allocated; a short one as it is unpacked. */
    korva_delimiter *d = ds.local;
    if ((size_t)ndelim > sizeof(ds.local) / sizeof(ds.local[0])) {
        const char *s = block;
        for (int32_t j = 0; j < ndelim; j++) {
            if (!*s) return KORVA_PARSE_BADDELIM;
            while (*s) s++;
            s++;
        }
        if ((size_t)ndelim > SIZE_MAX / sizeof(korva_delimiter)) return KORVA_PARSE_NOMEM;
        d = ds.heap = static_cast<korva_delimiter *>(malloc(ndelim * sizeof(korva_delimiter)));
        if (!d) return KORVA_PARSE_NOMEM;
    }

    ds.nfirst = 0;
    ds.all_one_byte = true;
    ds.short_list = ndelim <= 8;
    const char *s = block;
    for (int32_t j = 0; j < ndelim; j++) {
        /* the first 4 bytes, and a mask of those that belong to it */
        uint32_t head = 0, mask = 0;
        size_t len = 0;
        if (!*s) return KORVA_PARSE_BADDELIM;
        for (; s[len]; len++)
            if (len < 4) {
                head |= korva_head((unsigned char)s[len], len);
                mask |= korva_head(0xFF, len);
            }
        d[j].s = s;
        d[j].len = len;
        d[j].head = head;
        d[j].head_mask = mask;
        ds.all_one_byte = ds.all_one_byte && len == 1 && *s != '"';
        ds.short_list = ds.short_list && len <= 2;
        s += len + 1;

        /* the distinct first bytes, counted only up to 17 (more than the
         * SSE2 scan takes) */
        unsigned char c = (unsigned char)d[j].s[0];
        int32_t k = 0;
        while (k < ds.nfirst && k < 16 && ds.first[k] != c) k++;
        if (k == ds.nfirst && k <= 16) {
            if (k < 16) ds.first[k] = c;
            ds.nfirst++;
        }
    }
    ds.d = d;
    ds.n = ndelim;
    return KORVA_PARSE_OK;
}

/* Where a plain scan outside quotes stops: the delimiters' first bytes, and
 * the double quote when quotes count. */
void stops_outside_quotes(const korva_delimiters &ds, bool quote, stop_set &stops)
{
    for (int32_t j = 0; j < ds.n; j++) stops.add(ds.d[j].s[0]);
    if (quote) stops.add('"');
}

/* How many bytes of t[0..n) are in the set. */
size_t count_stops(const char *t, size_t n, const stop_set &stops)
{
    size_t k = 0;
    for (size_t i = 0; i < n; i++) k += stops.table[(unsigned char)t[i]];
    return k;
}

/* The first position from pos on whose byte is in the set; n (where the
 * terminator is) when there is none. */
size_t next_stop(const char *w, size_t pos, size_t n, const stop_set &stops)
{
    if (stops.only >= 0) {
        const void *hit = memchr(w + pos, stops.only, n - pos);
        return hit ? static_cast<const char *>(hit) - w : n;
    }
    while (!stops.table[(unsigned char)w[pos]]) pos++;
    return pos;
}

/* The plain scan: cuts the working copy w[0..n), which ends with delimiter
 * 0, at every separator and stores the tokens in order, at most `room` of
 * them.  Returns how many there are, or room + 1 when they do not fit.
 * Inside quotes (quote flag set) only the closing quote is looked for. */
size_t scan_plain(char *w, size_t n, const korva_delimiters &ds, bool quote, char **tokens,
                  size_t room)
{
    stop_set stops, quotes;
    stops_outside_quotes(ds, quote, stops);
    quotes.add('"');
    size_t last = n - ds.d[0].len, pos = 0, start = 0, count = 0;
    bool in_quote = false;

    while ((pos = next_stop(w, pos, n, in_quote ? quotes : stops)) <= last) {
        if (quote && w[pos] == '"') {
            in_quote = !in_quote;
            pos++;
            continue;
        }
        size_t len = korva_match(w + pos, ds);
        if (!len) {
            pos++;
            continue;
        }
        if (count == room) return room + 1;
        tokens[count++] = korva_cut(w + start, w + pos);
        pos += len;
        start = pos;
    }
    return count;
}

/* The previous parse's block.  It is released only after the new list is
 * built, because the text may be one of its tokens; a new list that needs
 * about as much room takes it over instead, unless the text lies in it. */
struct old_block {
    char *p;
    size_t size;

    char *take(const char *text, size_t need)
    {
        if (!p || need > size || need < size / 2) return NULL;
        if (text >= p && text < p + size) return NULL;
        char *q = p;
        p = NULL;
        return q;
    }
};

/* Whether this process scans with SSE2, asked once.  Windows 2000 answers
 * no for SSE2 even where the processor has it: the plain path then runs. */
bool sse2_present()
{
#if defined(_WIN32)
    return IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
#elif defined(__x86_64__) || defined(__SSE2__)
    return true;    /* part of the instruction set this file is built for */
#else
    return false;
#endif
}

korva_scan_path chosen_path()
{
    /* a first call on two threads at once may ask twice; both store the
     * same answer */
    int32_t path = korva_scan_choice.load(std::memory_order_acquire);
    if (!path) {
        path = KORVA_SSE2_SCAN && sse2_present() ? KORVA_SCAN_SSE2 : KORVA_SCAN_PLAIN;
        korva_scan_choice.store(path, std::memory_order_release);
    }
    return (korva_scan_path)path;
}

/* One block: an array of `room` token pointers and, behind it, 16-byte
 * aligned, the working copy: text[0..n) followed by `extra` bytes of
 * delimiter 0 (see korva_copy_room), in which the tokens are cut where they
 * stand.  NULL when memory ran out; *count = room + 1 when the tokens did
 * not fit.  Inlined into its callers: out of line, its ten arguments went
 * through the stack on i686, and a short line took a tenth longer natively
 * too (x86-64, GCC 12). */
inline __attribute__((always_inline)) char **
cut_tokens(korva_scan_path path, const char *text, size_t n, size_t extra,
           const korva_delimiters &ds, bool quote, size_t room, size_t *count, old_block &old,
           size_t *size)
{
    size_t copy_room = korva_copy_room(n + extra);
    if (copy_room < n || room > (SIZE_MAX - copy_room - 15) / sizeof(char *)) return NULL;
    *size = room * sizeof(char *) + 15 + copy_room;
    char **array = reinterpret_cast<char **>(old.take(text, *size));
    if (array) *size = old.size;
    else array = static_cast<char **>(malloc(*size));
    if (!array) return NULL;

    char *w = reinterpret_cast<char *>(((uintptr_t)(array + room) + 15) & ~(uintptr_t)15);
    /* A one-byte delimiter 0, the usual one, is stored whether it is
     * wanted or not: where it is not, the NUL takes its place. */
    const char *d0 = ds.d[0].s;
    if (ds.d[0].len == 1)
        w[n] = d0[0];
    else
        for (size_t k = 0; k < extra; k++) w[n + k] = d0[k];
    memset(w + n + extra, 0, 4);    /* the NUL, and 3 for korva_match */
#if KORVA_SSE2_SCAN
    if (path == KORVA_SCAN_SSE2 && ds.nfirst <= 16) {
        *count = ds.all_one_byte ? korva_scan_bytes_sse2(w, text, n, n + extra, ds, quote, array, room)
                                 : korva_scan_sse2(w, text, n, n + extra, ds, quote, array, room);
        return array;
    }
#endif
    (void)path;
    memcpy(w, text, n);
    *count = scan_plain(w, n + extra, ds, quote, array, room);
    return array;
}

/* Makes the block the retained list. */
int32_t keep(char **array, size_t count, size_t size)
{
    if (count > INT32_MAX) {
        free(array);
        return KORVA_PARSE_NOMEM;
    }
    korva_retained.tokens = array;
    korva_retained.count = (int32_t)count;
    korva_retained.size = size;
    return KORVA_PARSE_OK;
}

/* A line of shorter fields than parse allowed room for: its first block
 * (array) is dropped and it is cut again with room for one token per stop
 * byte, plus the appended delimiter 0, since every separator starts at one
 * of those.  Kept out of the usual line's way. */
__attribute__((noinline, cold)) int32_t parse_again(korva_scan_path path, const char *text,
                                                    size_t n, size_t extra,
                                                    const korva_delimiters &ds, bool quote,
                                                    char **array, old_block &old)
{
    free(array);
    stop_set stops;
    stops_outside_quotes(ds, quote, stops);
    size_t room = count_stops(text, n, stops) + 1, count = 0, size = 0;
    array = cut_tokens(path, text, n, extra, ds, quote, room, &count, old, &size);
    if (!array) return KORVA_PARSE_NOMEM;
    if (count > room) {
        free(array);
        return KORVA_PARSE_NOMEM;
    }
    return keep(array, count, size);
}

/* Parses text into the retained list, which is empty; returns the status. */
inline __attribute__((always_inline)) int32_t parse(korva_scan_path path, const char *text,
                                                    const korva_delimiters &ds, bool quote,
                                                    old_block &old)
{
    /* trailing blank bytes are cut; leading and inner ones stay */
    size_t n = 0;
#if KORVA_SSE2_SCAN
    if (text && path == KORVA_SCAN_SSE2) n = korva_length_sse2(text);
    else
#endif
    if (text) n = strlen(text);
    while (n && korva_is_blank(text[n - 1])) n--;
    if (!n) return KORVA_PARSE_OK;

    /* the text must end with delimiter 0, so the last field is closed */
    const korva_delimiter &d0 = ds.d[0];
    size_t extra = 0;
    if (d0.len == 1)
        extra = text[n - 1] != d0.s[0];     /* the usual one, at less cost */
    else if (n < d0.len)
        extra = d0.len;
    else
        for (size_t k = 0; !extra && k < d0.len; k++)
            if (text[n - d0.len + k] != d0.s[k]) extra = d0.len;

    /* Room for a token per 8 bytes of text fits most lines without a pass
     * to count them; a chunk's worth more (KORVA_CHUNK) lets the SSE2 scan
     * cut a short line's chunks without checking the room token by token. */
    size_t room = n / 8 + KORVA_CHUNK, count = 0, size = 0;
    char **array = cut_tokens(path, text, n, extra, ds, quote, room, &count, old, &size);
    if (!array) return KORVA_PARSE_NOMEM;
    if (count > room) return parse_again(path, text, n, extra, ds, quote, array, old);
    return keep(array, count, size);
}

} /* namespace */

/***********************************************************************
 *              korva_parsebuf
 */
namespace {

/* korva_parsebuf on the given path, written once for both entries below. */
inline __attribute__((always_inline)) void
parsebuf_on(korva_scan_path path, const char *text, char ***tokens, int32_t *count,
            int32_t ndelim, const char *delims, int32_t quote, int32_t *status)
{
    delimiter_set ds;
    int32_t rc = unpack_delimiters(ndelim, delims, ds);
    if (rc == KORVA_PARSE_BADDELIM) {
        if (status) *status = rc;
        return;
    }

    if (status) *status = KORVA_PARSE_OK;
    if (count) *count = 0;

    /* The previous list is released: empty from here on, its block freed
     * (or reused) once the text has been read. */
    old_block old = {reinterpret_cast<char *>(korva_retained.tokens), korva_retained.size};
    korva_retained = korva_token_list{NULL, 0, 0};

    if (rc == KORVA_PARSE_OK) rc = parse(path ? path : chosen_path(), text, ds, quote != 0, old);
    if (old.p) free(old.p);
    if (status) *status = rc;
    if (korva_retained.tokens) {
        if (count) *count = korva_retained.count;
        if (tokens) *tokens = korva_retained.tokens;
    }
}

} /* namespace */

void KORVA_API korva_parsebuf(const char *text, char ***tokens, int32_t *count,
                              int32_t ndelim, const char *delims, int32_t quote,
                              int32_t *status)
{
    parsebuf_on(KORVA_SCAN_CHOSEN, text, tokens, count, ndelim, delims, quote, status);
}

/* Only the tests and fuzzers choose the path; the DLL leaves this out
 * rather than carry a second copy of the parse. */
#ifndef KORVA_DLL
void korva_parsebuf_on(korva_scan_path path, const char *text, char ***tokens, int32_t *count,
                       int32_t ndelim, const char *delims, int32_t quote, int32_t *status)
{
    parsebuf_on(path, text, tokens, count, ndelim, delims, quote, status);
}
#endif
