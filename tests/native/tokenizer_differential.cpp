/*
 * korva_parsebuf, on each of its scan paths (plain and SSE2), against the
 * plain-way scanner (tests/oracle/literal_tokenizer) on generated lines:
 * delimiters of 1-3 bytes that share prefixes or hold a double quote, quotes
 * on and off, blanks, bytes 0x80-0xFF, empty fields, lines ending in part of a
 * delimiter, long fields, lines of fields short enough that the token array
 * needs a second round, lengths around the 16-, 32- and 64-byte chunks, a
 * quoted field's quotes and separator put on those edges, texts starting at
 * every offset from a 32-byte boundary, and a token of the list
 * just handed out parsed again.  They must give the same status, count,
 * tokens, and the same answer to whether the array pointer was written.
 *
 * The seed is fixed; KORVA_DIFF_SEED and KORVA_DIFF_LINES choose others.
 */
#include <stdio.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "../harness/harness.h"
#include "korva_vb6.h"
#include "literal_tokenizer.h"
#include "../../tokenizer/scan.h"

using korva_test::show;

namespace {

using parse_fn = void (*)(const char *, char ***, int32_t *, int32_t, const char *, int32_t,
                          int32_t *);

struct outcome {
    int32_t status, count;
    bool array_written;
    std::vector<std::string> tokens;

    bool operator==(const outcome &o) const
    {
        return status == o.status && count == o.count && array_written == o.array_written &&
               tokens == o.tokens;
    }
};

struct line {
    std::string text;
    std::vector<std::string> delims;
    int32_t quote;
    size_t offset;      /* of the text from a 32-byte boundary */
};

void parse_plain(const char *text, char ***tokens, int32_t *count, int32_t ndelim,
                 const char *delims, int32_t quote, int32_t *status)
{
    korva_parsebuf_on(KORVA_SCAN_PLAIN, text, tokens, count, ndelim, delims, quote, status);
}

void parse_sse2(const char *text, char ***tokens, int32_t *count, int32_t ndelim,
                const char *delims, int32_t quote, int32_t *status)
{
    korva_parsebuf_on(KORVA_SCAN_SSE2, text, tokens, count, ndelim, delims, quote, status);
}

/* the process's choice, through the entry callers use (__stdcall on i686) */
void parse_chosen(const char *text, char ***tokens, int32_t *count, int32_t ndelim,
                  const char *delims, int32_t quote, int32_t *status)
{
    korva_parsebuf(text, tokens, count, ndelim, delims, quote, status);
}

/* Parses `text`, which is l.text or lies in the list of the parser's last
 * call; `array` is left at the list handed out. */
outcome run(parse_fn parse, const line &l, const char *text, char **&array)
{
    std::string block;
    for (const std::string &d : l.delims) block += d + '\0';
    char *sentinel[1];
    array = sentinel;
    outcome o = {-7, -7, false, {}};
    parse(text, &array, &o.count, (int32_t)l.delims.size(), block.data(), l.quote, &o.status);
    o.array_written = array != sentinel;
    for (int32_t i = 0; o.array_written && i < o.count; i++) o.tokens.push_back(array[i]);
    return o;
}

class generator {
public:
    explicit generator(unsigned seed) : rng(seed) {}

    line next()
    {
        line l;
        l.quote = pick(2);
        size_t ndelim = 1 + pick(4);
        for (size_t j = 0; j < ndelim; j++) l.delims.push_back(delimiter(l.delims));
        if (!pick(40)) l.delims = wide_list();
        l.offset = pick(32);
        if (!pick(4)) {
            around_an_edge(l);
            return l;
        }

        /* most lines are short; some are dense, some hold a long field */
        size_t pieces = pick(4) ? pick(24) : 50 + pick(400);
        bool dense = !pick(6);
        for (size_t i = 0; i < pieces; i++) l.text += piece(l.delims, dense);
        if (!pick(20)) l.text.insert(pick(l.text.size() + 1), std::string(990 + pick(30), 'L'));
        if (!pick(4)) l.text.resize(16 * (1 + pick(8)) - 2 + pick(5), 'x');   /* around a chunk */

        switch (pick(6)) {      /* how the line ends */
        case 0: l.text += l.delims[pick(l.delims.size())]; break;
        case 1: l.text += prefix(l.delims[pick(l.delims.size())]); break;
        case 2: l.text += std::string(1 + pick(3), " \t\xe9\x01"[pick(4)]); break;
        default: break;
        }
        return l;
    }

private:
    std::mt19937 rng;

    size_t pick(size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; }

    char delimiter_byte() { return ",;:| \t\"a\xe9"[pick(9)]; }

    /* A new delimiter, or one that shares a prefix with an earlier one. */
    std::string delimiter(const std::vector<std::string> &earlier)
    {
        std::string d;
        if (!earlier.empty() && pick(2)) d = prefix(earlier[pick(earlier.size())]);
        size_t len = 1 + pick(3);
        while (d.size() < len) d += delimiter_byte();
        return d.substr(0, len);
    }

    /* More distinct first bytes than the SSE2 scan compares at once (16):
     * 17 to 20 delimiters, all of one byte or all longer, each with a first
     * byte of its own. */
    std::vector<std::string> wide_list()
    {
        static const char firsts[] = ",;:| \t\"a\xe9!#$%&*+/<=>?";
        std::vector<std::string> list;
        bool one_byte = pick(2);
        for (size_t j = 0, n = 17 + pick(4); j < n; j++) {
            std::string d(1, firsts[j]);
            if (!one_byte) d += std::string(1 + pick(2), firsts[pick(9)]);
            list.push_back(d);
        }
        return list;
    }

    /* A field that ends in a quote, and its separator, placed so that an
     * edge (a multiple of 16, 32 or 64 bytes: a vector, and the chunks of
     * either build) falls at its opening quote, at its closing one or inside
     * its separator.  Random lines put such bytes on an edge too rarely to
     * catch a kernel that forgets what the chunk before ended with.  The
     * field starts the line or follows a delimiter; it mostly begins with a
     * quote too, so that it loses its quotes (or is a quote alone).  Some
     * lines end with the field and blanks: the delimiter appended after the
     * trim then takes the separator's place; in some, a whole chunk of the
     * text follows the edge, so that it is read from the text and not from
     * the copy of the line's last bytes. */
    void around_an_edge(line &l)
    {
        size_t edge = ((size_t)16 << pick(3)) * (1 + pick(3));
        size_t opening = pick(8) != 0, at = pick(5);    /* 0-1: around the opening quote */
        size_t start = edge - at, inner = pick(24);
        if (at >= 2) {  /* the closing quote, or the separator's first or second byte */
            size_t before = edge - opening - (at - 2);
            start = pick(3) ? pick(before + 1) : 0;
            inner = before - start;
        }
        const std::string &lead = l.delims[pick(l.delims.size())];
        if (start >= lead.size()) l.text = plain(start - lead.size()) + lead;
        else l.text = plain(start);
        if (opening) l.text += '"';
        std::string field;
        while (field.size() < inner) field += pick(2) ? plain(inner) : piece(l.delims, false);
        l.text += field.substr(0, inner) + '"';
        if (!pick(4)) {
            l.text += std::string(1 + pick(3), " \t\xe9"[pick(3)]);
            return;
        }
        l.text += l.delims[pick(l.delims.size())];
        for (size_t i = pick(6); i; i--) l.text += piece(l.delims, false);
        if (pick(2)) l.text += plain(64 + pick(64));
    }

    /* n bytes that are no delimiter's and no quote. */
    std::string plain(size_t n)
    {
        std::string s;
        while (s.size() < n) s += "bcXYZ019-"[pick(9)];
        return s;
    }

    /* A proper prefix of d (possibly empty). */
    std::string prefix(const std::string &d) { return d.substr(0, pick(d.size())); }

    std::string piece(const std::vector<std::string> &delims, bool dense)
    {
        static const char plain[] = "abcXYZ019-\"";
        switch (pick(dense ? 3 : 10)) {
        case 0:
        case 1: return delims[pick(delims.size())];
        case 2: return prefix(delims[pick(delims.size())]) + plain[pick(sizeof(plain) - 1)];
        case 3: return "\"";
        case 4: return std::string(1, " \t\r\x01"[pick(4)]);
        case 5: return std::string(1, (char)(0x80 + pick(128)));
        default: return std::string(1 + pick(5), plain[pick(sizeof(plain) - 1)]);
        }
    }
};

unsigned env_or(const char *name, unsigned fallback)
{
    const char *v = getenv(name);
    return v && *v ? (unsigned)strtoul(v, NULL, 0) : fallback;
}

std::string describe(const line &l)
{
    std::string d = show(l.text.c_str(), l.text.size()) + " quote " + std::to_string(l.quote) +
                    " delimiters";
    for (const std::string &s : l.delims) d += " " + show(s.c_str(), s.size());
    return d;
}

} /* namespace */

TEST(same_tokens_as_the_literal_scanner)
{
    unsigned seed = env_or("KORVA_DIFF_SEED", 20240601), lines = env_or("KORVA_DIFF_LINES", 20000);
    static const struct { const char *name; parse_fn parse; } paths[] = {
        {"plain", parse_plain}, {"sse2", parse_sse2}, {"chosen", parse_chosen},
    };
    generator gen(seed);
    unsigned mismatches = 0, tokens = 0;
    for (unsigned i = 0; i < lines && mismatches < 5; i++) {
        line l = gen.next();
        std::vector<char> buf(l.offset + 32 + l.text.size() + 1);
        char *text = reinterpret_cast<char *>(((uintptr_t)buf.data() + 31) & ~(uintptr_t)31) + l.offset;
        memcpy(text, l.text.c_str(), l.text.size() + 1);
        char **want_list, **got_list;
        outcome want = run(literal_parsebuf, l, l.text.c_str(), want_list);
        tokens += want.tokens.size();
        for (const auto &p : paths) {
            outcome got = run(p.parse, l, text, got_list);
            if (!ok(got == want, "seed %u line %u, %s path: %s\n  got status %d count %d%s %s\n  want "
                    "status %d count %d%s %s", seed, i, p.name, describe(l).c_str(), got.status,
                    got.count, got.array_written ? "" : " (array untouched)",
                    show(got.tokens).c_str(), want.status, want.count,
                    want.array_written ? "" : " (array untouched)", show(want.tokens).c_str())) {
                mismatches++;
                continue;
            }

            /* a token of the list just handed out, parsed again in place */
            if (!got.array_written || !got.count) continue;
            size_t k = i % got.count;
            line again = l;
            again.text = got.tokens[k];
            outcome want2 = run(literal_parsebuf, again, again.text.c_str(), want_list);
            outcome got2 = run(p.parse, again, got_list[k], got_list);
            if (!ok(got2 == want2, "seed %u line %u, %s path, token %zu parsed again: %s\n  got %s\n"
                    "  want %s", seed, i, p.name, k, describe(again).c_str(),
                    show(got2.tokens).c_str(), show(want2.tokens).c_str()))
                mismatches++;
        }
    }
    korva_test::trace("seed %u: %u lines, %u tokens compared on each path\n", seed, lines, tokens);
}

/* The lines above reach every kernel this build has, so that each is
 * compared: a change of the generator or of the dispatch that leaves one
 * out fails here. */
TEST(every_kernel_reached)
{
    static const char *const names[KORVA_KERNELS] = {"none (plain scan)", "byte", "bytes", "short 1",
                                                      "short 2+1", "short 2", "short", "general"};
    for (int k = 0; k < KORVA_KERNELS; k++) {
        ok(korva_kernel_hits[k] > 0, "kernel %s never ran", names[k]);
        korva_test::trace("kernel %-18s %lu parses\n", names[k], korva_kernel_hits[k]);
    }
}
