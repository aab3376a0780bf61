/*
 * The SIMD floor: the least a tokenizer built on SSE2 can do on a line.  It
 * finds the line's length 16 bytes at a time, copies it into a block it
 * keeps from call to call, and records a pointer into the copy at every byte
 * that equals a delimiter's first byte.  Nothing is checked and no token is
 * cut: its "tokens" are wrong, its time is the yardstick.
 */
#ifndef KORVA_BENCH_SIMD_FLOOR_H
#define KORVA_BENCH_SIMD_FLOOR_H

#include <stddef.h>

#include <string>
#include <vector>

struct simd_floor {
    std::vector<char> copy;       /* reused: grows, never shrinks */
    std::vector<char *> places;

    /* Runs over text (NUL-terminated) for the delimiter block `delims` of
     * ndelim delimiters; returns how many places it recorded. */
    size_t run(const char *text, const std::string &delims, int ndelim);
};

#endif
