/*
 * The caller's delimiter list unpacked (the korva_delimiters of scan.h),
 * with the kernel it takes.  Short lists, the usual ones, live on the
 * stack; the usual list of one one-byte delimiter is unpacked inline.
 */
#ifndef KORVA_TOKENIZER_DELIMITERS_H
#define KORVA_TOKENIZER_DELIMITERS_H

#include <stdlib.h>

#include "korva_vb6.h"
#include "scan.h"

struct korva_delimiter_set : korva_delimiters {
    korva_delimiter local[KORVA_SHORT_MAX];
    korva_delimiter *heap = NULL;

    ~korva_delimiter_set()
    {
        if (heap) free(heap);
    }
};

/* Byte k (0-3) of a 4-byte word as korva_match loads it from memory.  Made
 * with shifts: a 4-byte load of bytes just stored one by one would wait for
 * them to reach the cache. */
static inline uint32_t korva_head(unsigned char byte, size_t k)
{
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return (uint32_t)byte << (24 - 8 * k);
#else
    return (uint32_t)byte << (8 * k);
#endif
}

/* Any list but the usual one (delimiters.cpp). */
int32_t korva_unpack_list(int32_t ndelim, const char *block, korva_delimiter_set &ds);

/* Unpacks the caller's list of ndelim delimiters in block: KORVA_PARSE_OK,
 * KORVA_PARSE_BADDELIM for a list that is empty, null or holds an empty
 * delimiter, KORVA_PARSE_NOMEM when a long list cannot be stored. */
static inline int32_t korva_unpack_delimiters(int32_t ndelim, const char *block, korva_delimiter_set &ds)
{
    if (ndelim == 1 && block && block[0] && !block[1]) {
        /* one delimiter of one byte, the usual list, at less cost */
        unsigned char c = (unsigned char)block[0];
        ds.local[0] = korva_delimiter{block, 1, korva_head(c, 0), korva_head(0xFF, 0)};
        ds.d = ds.local;
        ds.n = ds.nfirst = 1;
        ds.first[0] = c;
        ds.many_first = false;
        ds.kernel = c != '"' ? KORVA_KERNEL_BYTE : KORVA_KERNEL_GENERAL;
        return KORVA_PARSE_OK;
    }
    return korva_unpack_list(ndelim, block, ds);
}

#endif
