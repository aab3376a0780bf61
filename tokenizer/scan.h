/*
 * The token scanner's two paths and what they share.
 *
 * korva_parsebuf scans with SSE2 (scan_sse2.cpp, the only file built with
 * -msse2) when the processor has it, and otherwise with the byte-at-a-time
 * path of parsebuf.cpp, built for the plain i686 instruction set.  The
 * choice is made once per process.  Both paths give the same results; the
 * tests and fuzzers drive each one through korva_parsebuf_on.
 *
 * Everything defined here is static: each file gets its own copy, compiled
 * with its own instruction set.  A shared inline function with external
 * linkage could be merged by the linker into the copy built with -msse2
 * and then run on a processor without SSE2.
 */
#ifndef KORVA_TOKENIZER_SCAN_H
#define KORVA_TOKENIZER_SCAN_H

#include <stddef.h>
#include <stdint.h>

#if defined(__i386__) || defined(__x86_64__)
#define KORVA_SSE2_SCAN 1
#else
#define KORVA_SSE2_SCAN 0
#endif

enum korva_scan_path { KORVA_SCAN_CHOSEN = 0, KORVA_SCAN_PLAIN = 1, KORVA_SCAN_SSE2 = 2 };

/* korva_parsebuf on the given path (KORVA_SCAN_CHOSEN: the process's
 * choice).  KORVA_SCAN_SSE2 where SSE2 is not built in takes the plain
 * path.  For the native tests and fuzzers; the DLL is built without it
 * (KORVA_DLL). */
void korva_parsebuf_on(korva_scan_path path, const char *text, char ***tokens, int32_t *count,
                       int32_t ndelim, const char *delims, int32_t quote, int32_t *status);

struct korva_delimiter {
    const char *s;          /* in the caller's block */
    size_t len;
    uint32_t head, head_mask;   /* its first (up to) 4 bytes, and which of those count */
};

/* The caller's delimiter list, unpacked, and the distinct first bytes of
 * its delimiters in list order (only the first 16 are kept; nfirst counts
 * them up to 17). */
struct korva_delimiters {
    const korva_delimiter *d;
    int32_t n;
    int32_t nfirst;
    unsigned char first[16];
    bool all_one_byte;    /* every delimiter is one byte, none a double quote */
    bool short_list;      /* up to 8 delimiters, none longer than 2 bytes */
};

/* The SSE2 scan's step: 64 bytes where a mask of one bit per byte fits
 * one register (x86-64), 32 where it would take two (i686). */
#if defined(__x86_64__)
#define KORVA_CHUNK 64
#else
#define KORVA_CHUNK 32
#endif

/* The room of the working copy a scan runs over: `n` bytes (the text,
 * ending with delimiter 0), then a NUL and 3 more zero bytes, and more, so
 * that the SSE2 scan's steps (aligned, from the copy's 16-byte aligned
 * start) and its loads one byte further on stay inside the block.  The
 * bytes past the zeros are read, never used. */
static inline size_t korva_copy_room(size_t n)
{
    return ((n + 4 + KORVA_CHUNK - 1) & ~(size_t)(KORVA_CHUNK - 1)) + 16;
}

/* The length of the first delimiter in list order that matches at `at`, or
 * 0 when none does.  at[0..3] must be readable: the working copy's room
 * behind its NUL makes it so.  The NUL ends every comparison, since no
 * delimiter holds one. */
static inline size_t korva_match(const char *at, const korva_delimiters &ds)
{
    uint32_t word;
    __builtin_memcpy(&word, at, 4);
    for (int32_t j = 0; j < ds.n; j++) {
        const korva_delimiter &d = ds.d[j];
        if ((word & d.head_mask) != d.head) continue;
        size_t k = 4;
        while (k < d.len && at[k] == d.s[k]) k++;
        if (k >= d.len) return d.len;
    }
    return 0;
}

/* Terminates the token [start, end) in place; a token of two or more
 * characters loses a pair of outer double quotes. */
static inline char *korva_cut(char *start, char *end)
{
    if (end - start >= 2 && *start == '"' && end[-1] == '"') {
        start++;
        end--;
    }
    *end = 0;
    return start;
}

#if KORVA_SSE2_SCAN
/* strlen, 16 bytes at a time. */
size_t korva_length_sse2(const char *text);

/* Copies text[0..ntext) to w[0..ntext), which is 16-byte aligned and
 * already holds the rest of the working copy w[0..n) (see korva_copy_room),
 * which ends with delimiter 0; cuts it at every separator and stores the
 * tokens in order, at most `room` of them.  Returns how many there are, or
 * room + 1 when they do not fit.  Needs ds.nfirst <= 16.  The first is for
 * a list of one-byte delimiters without a quote (ds.all_one_byte), the usual
 * one, reached with one call less; the second for any list. */
size_t korva_scan_bytes_sse2(char *w, const char *text, size_t ntext, size_t n,
                             const korva_delimiters &ds, bool quote, char **tokens, size_t room);
size_t korva_scan_sse2(char *w, const char *text, size_t ntext, size_t n,
                       const korva_delimiters &ds, bool quote, char **tokens, size_t room);
#endif

#endif
