/* The token scanner's block and the retained token list, and the entry
 * points (see scan.h).  This file is built for the plain instruction set: it
 * runs on every processor. */
#include <stdlib.h>
#include <string.h>

#include "korva_vb6.h"
#include "delimiters.h"
#include "scan.h"
#include "../frame/module_state.h"
#include "../platform/processor.h"
#include "../text/blank.h"

#ifndef KORVA_DLL
unsigned long korva_kernel_hits[KORVA_KERNELS];
#endif

namespace {

/* The previous parse's block.  It is released only after the new list is
 * built, because the text and the delimiter list may be among its tokens
 * (both are read where the caller keeps them, up to the end of the scan).
 * A new list that needs about as much room takes it over instead, unless
 * it holds either (see parsebuf_on). */
struct old_block {
    char *p;
    size_t size;    /* 0: not to be taken over */

    bool holds(const char *q) const { return q >= p && q < p + size; }

    char *take(size_t need)
    {
        if (!p || need > size || need < size / 2) return NULL;
        char *q = p;
        p = NULL;
        return q;
    }
};

korva_scan_path chosen_path()
{
    /* a first call on two threads at once may ask twice; both store the
     * same answer */
    int32_t path = korva_scan_choice.load(std::memory_order_acquire);
    if (!path) {
        path = KORVA_SSE2_SCAN && korva_sse2_present() ? KORVA_SCAN_SSE2 : KORVA_SCAN_PLAIN;
        korva_scan_choice.store(path, std::memory_order_release);
    }
    return (korva_scan_path)path;
}

/* A parse: the text, its length after the trim, what is appended to close
 * its last field, the list, and the previous parse's block. */
struct parse_job {
    korva_scan_path path;
    const char *text;
    size_t n;           /* the text's bytes, trailing blanks cut */
    size_t extra;       /* delimiter 0's bytes appended: 0, or its length */
    const korva_delimiters &ds;
    bool quote;
    old_block old;
};

/* One block: an array of `room` token pointers and a spare one (see the
 * kernels in scan.h), behind it the working copy, and how many tokens were
 * cut in it (room + 1: they did not fit); array NULL when memory ran out. */
struct block {
    char **array;
    size_t count, size;
};

/* Makes a block for `room` tokens and cuts the text in it: the working copy,
 * 16-byte aligned behind the array, is text[0..n) followed by `extra` bytes
 * of delimiter 0 (see korva_copy_room), in which the tokens are cut where
 * they stand.  Inlined into its callers: out of line, its arguments went
 * through the stack on i686, and a short line took longer natively too. */
inline __attribute__((always_inline)) block cut_tokens(parse_job &job, size_t room)
{
    const size_t n = job.n, extra = job.extra;
    const korva_delimiters &ds = job.ds;
    block b = {NULL, 0, 0};
    size_t copy_room = korva_copy_room(n + extra);
    if (copy_room < n || room >= (SIZE_MAX - copy_room - 15) / sizeof(char *)) return b;
    b.size = (room + 1) * sizeof(char *) + 15 + copy_room;
    b.array = reinterpret_cast<char **>(job.old.take(b.size));
    if (b.array) b.size = job.old.size;
    else b.array = static_cast<char **>(malloc(b.size));
    if (!b.array) return b;

    char *w = reinterpret_cast<char *>(((uintptr_t)(b.array + room + 1) + 15) & ~(uintptr_t)15);
    /* A one-byte delimiter 0, the usual one, is stored whether it is
     * wanted or not: where it is not, the NUL takes its place. */
    const char *d0 = ds.d[0].s;
    if (ds.d[0].len == 1)
        w[n] = d0[0];
    else
        for (size_t k = 0; k < extra; k++) w[n + k] = d0[k];
    memset(w + n + extra, 0, KORVA_MATCH_WORD);    /* the NUL, and the rest of korva_match's word */
#if KORVA_SSE2_SCAN
    if (job.path == KORVA_SCAN_SSE2) {
#ifndef KORVA_DLL
        korva_kernel_hits[ds.kernel]++;
#endif
        /* one entry per korva_kernel; none: the plain scan below */
        static size_t (*const kernels[KORVA_KERNELS])(KORVA_KERNEL_ARGS) = {
            NULL,                    korva_scan_byte_sse2,   korva_scan_bytes_sse2,
            korva_scan_short1_sse2,  korva_scan_short21_sse2, korva_scan_short2_sse2,
            korva_scan_short_sse2,   korva_scan_general_sse2,
        };
        static_assert(KORVA_KERNEL_GENERAL == 7 && KORVA_KERNELS == 8, "a kernel for each korva_kernel");
        if (kernels[ds.kernel]) {
            b.count = kernels[ds.kernel](w, job.text, n, n + extra, ds, job.quote, b.array, room);
            return b;
        }
    }
#endif
    memcpy(w, job.text, n);
    b.count = korva_scan_plain(w, n + extra, ds, job.quote, b.array, room);
    return b;
}

/* Makes the block the retained list. */
int32_t keep(const block &b)
{
    if (b.count > INT32_MAX) {
        free(b.array);
        return KORVA_PARSE_NOMEM;
    }
    korva_retained.tokens = b.array;
    korva_retained.count = (int32_t)b.count;
    korva_retained.size = b.size;
    return KORVA_PARSE_OK;
}

/* A line of shorter fields than parse allowed room for: its first block
 * (array) is dropped and it is cut again with room for one token per stop
 * byte, plus the appended delimiter 0, since every separator starts at one
 * of those.  Kept out of the usual line's way. */
__attribute__((noinline, cold)) int32_t parse_again(parse_job &job, const block &first)
{
    /* The first block may take the second round as the previous list's
     * would: a caller parsing such lines one after another then keeps the
     * block of the second round and goes back to the heap for neither. */
    if (!job.old.p) job.old = old_block{reinterpret_cast<char *>(first.array), first.size};
    else free(first.array);
    size_t room = 1;
#if KORVA_SSE2_SCAN
    if (job.path == KORVA_SCAN_SSE2 && !job.ds.many_first)
        room += korva_count_stops_sse2(job.text, job.n, job.ds, job.quote);
    else
#endif
        room += korva_count_stops(job.text, job.n, job.ds, job.quote);
    block b = cut_tokens(job, room);
    if (!b.array) return KORVA_PARSE_NOMEM;
    if (b.count > room) {
        free(b.array);
        return KORVA_PARSE_NOMEM;
    }
    return keep(b);
}

/* Parses text into the retained list, which is empty; returns the status. */
inline __attribute__((always_inline)) int32_t parse(parse_job &job)
{
    /* trailing blank bytes are cut; leading and inner ones stay */
    const char *text = job.text;
    size_t n = 0;
#if KORVA_SSE2_SCAN
    if (text && job.path == KORVA_SCAN_SSE2) n = korva_length_sse2(text);
    else
#endif
    if (text) n = strlen(text);
    while (n && korva_is_blank(text[n - 1])) n--;
    if (!n) return KORVA_PARSE_OK;

    /* the text must end with delimiter 0, so the last field is closed */
    const korva_delimiter &d0 = job.ds.d[0];
    size_t extra = 0;
    if (d0.len == 1)
        extra = text[n - 1] != d0.s[0];     /* the usual one, at less cost */
    else if (n < d0.len)
        extra = d0.len;
    else
        for (size_t k = 0; !extra && k < d0.len; k++)
            if (text[n - d0.len + k] != d0.s[k]) extra = d0.len;
    job.n = n;
    job.extra = extra;

    /* Room for a token per 8 bytes of text fits most lines without a pass
     * to count them; a chunk's worth more (KORVA_CHUNK) lets the SSE2 scan
     * cut a short line's chunks without checking the room token by token. */
    size_t room = n / 8 + KORVA_CHUNK;
    block b = cut_tokens(job, room);
    if (!b.array) return KORVA_PARSE_NOMEM;
    if (b.count > room) return parse_again(job, b);
    return keep(b);
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
    korva_delimiter_set ds;
    int32_t rc = korva_unpack_delimiters(ndelim, delims, ds);
    if (rc == KORVA_PARSE_BADDELIM) {
        if (status) *status = rc;
        return;
    }

    if (status) *status = KORVA_PARSE_OK;
    if (count) *count = 0;

    /* The previous list is released: empty from here on, its block freed
     * (or reused) once the text has been read. */
    parse_job job = {path ? path : chosen_path(), text, 0, 0, ds, quote != 0,
                     {reinterpret_cast<char *>(korva_retained.tokens), korva_retained.size}};
    korva_retained = korva_token_list{NULL, 0, 0};
    if (job.old.holds(text) || job.old.holds(delims)) job.old.size = 0;

    if (rc == KORVA_PARSE_OK) rc = parse(job);
    if (job.old.p) free(job.old.p);
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
