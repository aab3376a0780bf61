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

/* The most korva_parsebuf may take on line id, as a share of the literal
 * scanner's time in the same run: natively (korva_bench) or under Wine
 * (korva_wine_bench, on a host that runs 32-bit programs itself); 0 for a
 * line without a goal.  The two differ because glibc's allocation per
 * token, which the literal scanner pays, is cheaper than Wine's. */
double native_goal(const char *id);
double wine_goal(const char *id);

/* "<= 0.021 met", "<= 0.021 MISSED", or "" for no goal. */
std::string show_goal(double goal, double production, double literal);

/* Times and ratios as the benchmark tables print them ("-" for none). */
std::string show_time(double seconds);
std::string show_ratio(double num, double den);    /* "2.50x" */
std::string show_share(double num, double den);    /* "0.012" */

#endif
