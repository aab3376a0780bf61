/*
 * The inputs both benchmark programs time: the tokenizer's lines (the
 * yardstick that needs no tokenizer at all is in simd_floor.h).
 */
#ifndef KORVA_BENCH_LINES_H
#define KORVA_BENCH_LINES_H

#include <stddef.h>
#include <stdint.h>

#include <string>

struct bench_line {
    const char *id;          /* "a" ... "f", or a name for a helper line */
    const char *title;
    std::string text;
    std::string delims;      /* the delimiter block: each delimiter and its NUL */
    int32_t ndelim;
    int32_t quote;
    size_t fields;           /* how many tokens a parse yields */
    bool literal;            /* the literal scanner is timed on it too */
};

/* The line called id: "a" 1 MiB of 10-byte fields at ','; "b" the same
 * fields at ';', '::' and ', '; "c" 64 bytes, 5 fields; "d" quotes on, half
 * the fields quoted, each quoted one holding a ','; "e" 1 M fields; "f" a
 * 64 MiB line; "10k" 10 000 fields, the yardstick for "e". */
bench_line make_line(const char *id);

/* Times and ratios as the benchmark tables print them ("-" for none). */
std::string show_time(double seconds);
std::string show_ratio(double num, double den);    /* "2.50x" */
std::string show_share(double num, double den);    /* "0.01200" */

#endif
