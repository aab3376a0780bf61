/*
 * The token scanner written the plain way, kept beside the real one as a
 * yardstick: the benchmarks time it, and the differential test requires the
 * real scanner to give the same tokens on every line it generates.
 *
 * It compares every delimiter at every position, keeps private copies of the
 * delimiters, records separators in two parallel arrays that grow by 50
 * entries, cuts each field through a 999+1 byte token buffer and allocates
 * every token on its own.  A field too long for the token buffer is cut
 * through a buffer of its own size, so it comes back whole, as it does from
 * korva_parsebuf.
 */
#ifndef KORVA_ORACLE_LITERAL_TOKENIZER_H
#define KORVA_ORACLE_LITERAL_TOKENIZER_H

#include <stdint.h>

/* korva_parsebuf's contract, with a retained list of its own (one token
 * allocation each, plus the array), released by the next call. */
void literal_parsebuf(const char *text, char ***tokens, int32_t *count, int32_t ndelim,
                      const char *delims, int32_t quote, int32_t *status);

#endif
