/*
 * The token scanner's two paths and what they share.
 *
 * korva_parsebuf (parsebuf.cpp: the block, the retained list, the entry
 * points) unpacks the delimiter list (delimiters.cpp), which decides the
 * kernel the list takes, and scans with that SSE2 kernel (scan_sse2.cpp,
 * the only file built with -msse2) when the processor has SSE2, and
 * otherwise with the byte-at-a-time scan of scan_plain.cpp, built for the
 * plain i686 instruction set.  The choice of path is made once per process.
 * Both paths give the same results; the tests and fuzzers drive each one
 * through korva_parsebuf_on.
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

/* The limits of the lists the SSE2 kernels take, tied together:
 * - KORVA_MAX_FIRST: the distinct first bytes a kernel compares each chunk
 *   with, one register each; a list with more takes the plain scan;
 * - KORVA_SHORT_MAX: the delimiters of a short list (one or two bytes
 *   each, distinct first bytes), matched in full a chunk at a time; the
 *   unpacking keeps that many on the stack;
 * - KORVA_MATCH_WORD: the bytes korva_match loads at a place, which the
 *   working copy's room keeps readable behind its NUL. */
enum : int32_t { KORVA_MAX_FIRST = 16, KORVA_SHORT_MAX = 8, KORVA_MATCH_WORD = 4 };
static_assert(KORVA_SHORT_MAX <= KORVA_MAX_FIRST, "a short list's first bytes are kept");
static_assert(KORVA_MATCH_WORD == sizeof(uint32_t), "korva_match loads one 32-bit word");

/* The SSE2 kernel a delimiter list takes, decided when the list is
 * unpacked (tokenizer/delimiters.cpp) and used in one place, a table of the
 * kernels indexed by it (parsebuf.cpp).  Each is a copy of a scan for a kind
 * of list; their reasons are at their definitions in scan_sse2.cpp. */
enum korva_kernel : uint8_t {
    KORVA_KERNEL_NONE,      /* more than KORVA_MAX_FIRST first bytes: the plain scan */
    KORVA_KERNEL_BYTE,      /* one one-byte delimiter, not a quote */
    KORVA_KERNEL_BYTES,     /* one-byte delimiters, none a quote */
    KORVA_KERNEL_SHORT_1,   /* a short list with one two-byte delimiter */
    KORVA_KERNEL_SHORT_2_1, /* two two-byte delimiters and one one-byte */
    KORVA_KERNEL_SHORT_2,   /* two two-byte delimiters and none or 2-6 one-byte */
    KORVA_KERNEL_SHORT,     /* any other short list without a quote */
    KORVA_KERNEL_GENERAL,   /* any other list */
    KORVA_KERNELS
};

#ifndef KORVA_DLL
/* How many parses on the SSE2 path each kernel made in this process
 * (KORVA_KERNEL_NONE: the plain scan there), so that the tests can show
 * they reach every one.  The DLL does not count. */
extern unsigned long korva_kernel_hits[KORVA_KERNELS];
#endif

struct korva_delimiter {
    const char *s;          /* in the caller's block */
    size_t len;
    uint32_t head, head_mask;   /* its first (up to) 4 bytes, and which of those count */
};

/* The caller's delimiter list, unpacked: the delimiters, the distinct first
 * bytes of the delimiters in list order (at most KORVA_MAX_FIRST kept;
 * many_first when there are more) and the kernel the list takes. */
struct korva_delimiters {
    const korva_delimiter *d;
    int32_t n;
    int32_t nfirst;
    unsigned char first[KORVA_MAX_FIRST];
    bool many_first;
    korva_kernel kernel;
};

/* The SSE2 scan's step: 64 bytes where a mask of one bit per byte fits
 * one register (x86-64), 32 where it would take two (i686). */
#if defined(__x86_64__)
#define KORVA_CHUNK 64
#else
#define KORVA_CHUNK 32
#endif

/* The room of the working copy a scan runs over: `n` bytes (the text,
 * ending with delimiter 0), then a NUL and KORVA_MATCH_WORD - 1 more zero
 * bytes, and more, so that the SSE2 scan's steps (aligned, from the copy's
 * 16-byte aligned start) and its loads one byte further on stay inside the
 * block.  The bytes past the zeros are read, never used. */
static inline size_t korva_copy_room(size_t n)
{
    return ((n + KORVA_MATCH_WORD + KORVA_CHUNK - 1) & ~(size_t)(KORVA_CHUNK - 1)) + 16;
}

/* The length of the first delimiter in list order that matches at `at`, or
 * 0 when none does.  at[0..KORVA_MATCH_WORD) must be readable: the working
 * copy's room behind its NUL makes it so.  The NUL ends every comparison, since no
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

/* The plain scan (scan_plain.cpp): cuts the working copy w[0..n), which
 * ends with delimiter 0, at every separator and stores the tokens in order,
 * at most `room` of them.  Returns how many there are, or room + 1 when
 * they do not fit. */
size_t korva_scan_plain(char *w, size_t n, const korva_delimiters &ds, bool quote, char **tokens,
                        size_t room);

/* An upper bound of the separators in text[0..n): the bytes at which one
 * may start (scan_plain.cpp). */
size_t korva_count_stops(const char *text, size_t n, const korva_delimiters &ds, bool quote);

#if KORVA_SSE2_SCAN
/* strlen, 16 bytes at a time. */
size_t korva_length_sse2(const char *text);

/* korva_count_stops 16 bytes at a time, for a list of at most
 * KORVA_MAX_FIRST first bytes (not many_first). */
size_t korva_count_stops_sse2(const char *text, size_t n, const korva_delimiters &ds, bool quote);

/* The SSE2 kernels (scan_sse2.cpp), one for each korva_kernel but NONE.
 * Each copies text[0..ntext) to w[0..ntext), which is 16-byte aligned and
 * already holds the rest of the working copy w[0..n) (see korva_copy_room),
 * which ends with delimiter 0; cuts it at every separator and stores the
 * tokens in order, at most `room` of them, in tokens[0..room), and may
 * keep the open token's start in the slot after the last one stored, up
 * to tokens[room].  Returns how many there are, or room + 1 when they do
 * not fit. */
#define KORVA_KERNEL_ARGS \
    char *w, const char *text, size_t ntext, size_t n, const korva_delimiters &ds, bool quote, \
        char **tokens, size_t room
size_t korva_scan_byte_sse2(KORVA_KERNEL_ARGS);
size_t korva_scan_bytes_sse2(KORVA_KERNEL_ARGS);
size_t korva_scan_short1_sse2(KORVA_KERNEL_ARGS);
size_t korva_scan_short21_sse2(KORVA_KERNEL_ARGS);
size_t korva_scan_short2_sse2(KORVA_KERNEL_ARGS);
size_t korva_scan_short_sse2(KORVA_KERNEL_ARGS);
size_t korva_scan_general_sse2(KORVA_KERNEL_ARGS);
/* korva_scan_byte_sse2 with quotes on */
size_t korva_scan_byte_quoted_sse2(KORVA_KERNEL_ARGS);
#endif

#endif
