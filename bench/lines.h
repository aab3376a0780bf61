/*
 * The inputs both benchmark programs time: the tokenizer's lines, and the
 * yardstick that needs no tokenizer at all (one memchr pass plus one copy of
 * every byte).
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
    bool floor;              /* one one-byte delimiter and no quotes: the floor applies */
    bool literal;            /* the literal scanner is timed on it too */
};

/* The line called id: "a" 1 MiB of 10-byte fields at ','; "b" the same
 * fields at ';', '::' and ', '; "c" 64 bytes, 5 fields; "d" quotes on, half
 * the fields quoted, each quoted one holding a ','; "e" 1 M fields; "f" a
 * 64 MiB line; "10k" 10 000 fields, the yardstick for "e". */
bench_line make_line(const char *id);

/* The floor: finds every `sep` in line[0..n) with memchr and copies the line
 * to out once; returns how many it found. */
size_t floor_split(const char *line, size_t n, char sep, char *out);

/* Times and ratios as the benchmark tables print them ("-" for none). */
std::string show_time(double seconds);
std::string show_ratio(double num, double den);

#endif
