/*
 * Bad input for every export, against the built DLL: null pointers in every
 * pointer position (Visual Basic passes one for vbNullString), empty texts,
 * zero and negative lengths and counts, empty delimiters, fields and lines of
 * 100 000, names and values far over 260 characters, VARIANTs of every kind,
 * null and overlong formats.  Each row states the result the interface
 * header documents and checks it.
 *
 * Inputs the contract leaves to the caller sit in read-only pages; every
 * buffer ends right before an inaccessible page and has canary bytes in
 * front, so one byte read or written past either end is caught (guarded.h).
 */
#include <errno.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "korva_standin.h"
#include "../harness/harness.h"
#include "../cases/tokenize.h"
#include "dll.h"
#include "guarded.h"
#include "host_records.h"
#include "platform_env.h"

namespace {

const size_t BIG = 100000;

/* ---- rows ------------------------------------------------------------------ */

/* Starts a row: the fault handler and the messages below name it. */
void row(const char *export_name, const std::string &what)
{
    static bool watching = (guarded::watch_faults(korva_module()), true);
    (void)watching;
    guarded::row() = std::string(export_name) + ": " + what;
}

const char *R()
{
    return guarded::row().c_str();
}

std::string repeat(const std::string &s, size_t n)
{
    std::string out;
    out.reserve(s.size() * n);
    for (size_t i = 0; i < n; i++) out += s;
    return out;
}

/* A short printable form of a text that may be 100 000 bytes long. */
std::string brief(const std::string &s)
{
    if (s.size() <= 40) return korva_test::show(s.c_str(), s.size());
    return korva_test::show(s.c_str(), 30) + "... (" + std::to_string(s.size()) + " bytes)";
}

std::string brief(const char *s)
{
    return s ? brief(std::string(s)) : "(null)";
}

/* A 32-bit out-parameter slot ending at a guard page, holding a sentinel. */
const int32_t SENTINEL = 0x5a5a5a5a;

struct slot {
    guarded g;
    explicit slot(const char *label) : g(4, label) { *value() = SENTINEL; }
    int32_t *value() const { return reinterpret_cast<int32_t *>(g.data()); }
};

bool canaries(std::initializer_list<const guarded *> list)
{
    for (const guarded *g : list)
        if (g && !g->canary_intact()) return false;
    return true;
}

} /* namespace */

/* ---- blanks and case, in place ------------------------------------------------ */

TEST(texts_changed_in_place)
{
    struct fn {
        const char *name;
        char *(WINAPI *call)(char *);
    };
    const fn fns[] = {
        {"korva_lefttrim", KORVA_BIND(korva_lefttrim)},
        {"korva_leftpack", KORVA_BIND(korva_leftpack)},
        {"korva_upper", KORVA_BIND(korva_upper)},
        {"korva_lower", KORVA_BIND(korva_lower)},
        {"KORVA_FILTER_CRLF", KORVA_BIND(KORVA_FILTER_CRLF)},
        {"KORVA_FILTER_ALL_CRLF", KORVA_BIND(KORVA_FILTER_ALL_CRLF)},
    };

    /* the documented result of each export, in the order of fns */
    std::string core = repeat("aB", (BIG - 4) / 2);
    const struct {
        const char *what;
        std::string text, want[6];
    } cases[] = {
        {"empty text", "", {"", "", "", "", "", ""}},
        {"blank bytes only", " \t\r\n\x01\x80\xff ",
         {"", "", " \t\r\n\x01\x80\xff ", " \t\r\n\x01\x80\xff ", " \t\r\n\x01\x80\xff ",
          " \t\r\n\x01\x80\xff "}},
        {"CR LF alone", "\r\n", {"", "", "\r\n", "\r\n", "\n", ""}},
        {"field of 100 000 characters", " " + core + " \r\n",
         {core, core, " " + repeat("AB", core.size() / 2) + " \r\n", " " + repeat("ab", core.size() / 2) + " \r\n",
          " " + core + " \n", " " + core + " "}},
    };

    for (const auto &c : cases) {
        for (int f = 0; f < 6; f++) {
            row(fns[f].name, c.what);
            guarded text = guarded::text(c.text, "the text");
            char *r = fns[f].call(text.data());
            ok(r == text.data(), "%s: returned %p, not the text %p", R(), r, text.data());
            ok(c.want[f] == text.data(), "%s: %s, want %s", R(), brief(text.data()).c_str(),
               brief(c.want[f]).c_str());
            ok(text.canary_intact(), "%s: bytes in front of the text changed", R());
        }
    }

    /* null text: null back, except that the filters hand out a new default
     * message, which the caller releases with LocalFree */
    static const char message[] = "No English error message text found\n";
    for (const fn &f : fns) {
        row(f.name, "null text");
        char *r = f.call(NULL);
        if (!strncmp(f.name, "KORVA_FILTER", 12)) {
            ok(r && !strcmp(r, message), "%s: %s", R(), brief(r).c_str());
            ok(r && LocalSize(r) == sizeof(message), "%s: a block of %lu bytes", R(),
               r ? (unsigned long)LocalSize(r) : 0ul);
            ok(r && LocalFree(r) == NULL, "%s: LocalFree failed", R());
        } else {
            ok(r == NULL, "%s: returned %p", R(), r);
        }
    }
}

TEST(blank_walk_over_a_stated_length)
{
    auto trimblanks = KORVA_BIND(korva_trimblanks);
    auto trim_ex = KORVA_BIND(korva_trimBlanksEx);
    /* the buffers have no terminator at all: only the stated length counts,
     * and the canary in front is blank, so a walk past buf[0] would show */
    const struct {
        const char *what;
        std::string bytes;
        int32_t len;
        std::string want;
    } cases[] = {
        {"length 0", "ab  ", 0, "ab  "},
        {"length -1", "ab  ", -1, "ab  "},
        {"length INT32_MIN", "ab  ", INT32_MIN, "ab  "},
        {"unterminated buffer, its own length", "ab  ", 4, std::string("ab\0\0", 4)},
        {"blank bytes only", "\x80 \t\xff    ", 8, std::string(8, '\0')},
        {"length shorter than the text", "abc   ", 4, std::string("abc\0  ", 6)},
        {"field of 100 000 characters", std::string(BIG / 2, 'x') + std::string(BIG / 2, ' '), (int32_t)BIG,
         std::string(BIG / 2, 'x') + std::string(BIG / 2, '\0')},
    };
    for (const auto &c : cases) {
        for (int ex = 0; ex < 2; ex++) {
            row(ex ? "korva_trimBlanksEx" : "korva_trimblanks", c.what);
            guarded buf = guarded::bytes(c.bytes, "the buffer");
            char *r = buf.data();
            if (ex) r = trim_ex(buf.data(), c.len);
            else trimblanks(buf.data(), c.len);
            ok(r == buf.data(), "%s: returned %p, not the buffer", R(), r);
            ok(buf.contents() == c.want, "%s: %s", R(), brief(buf.contents()).c_str());
            ok(buf.canary_intact(), "%s: bytes in front of the buffer changed", R());
        }
    }
    row("korva_trimblanks", "null buffer");
    trimblanks(NULL, 10);
    row("korva_trimBlanksEx", "null buffer");
    ok(trim_ex(NULL, 10) == NULL, "%s: not null", R());
}

/* ---- copies into the caller's buffer ------------------------------------------ */

TEST(copies_into_the_callers_buffer)
{
    auto lefttrim_r = KORVA_BIND(korva_lefttrim_r);
    auto upper_r = KORVA_BIND(korva_upper_r);
    auto lower_r = KORVA_BIND(korva_lower_r);

    std::string mixed = repeat("aB", BIG / 2);
    std::string padded = "  " + std::string(BIG - 4, 'F') + "  ";
    const char *NONE = "\x01(null)";   /* stands for a null pointer below */
    const struct {
        const char *name, *what;
        std::string src;
        int32_t maxlen;
        size_t dst;          /* bytes of dst; 0: a null dst, and null back */
        std::string want;
    } cases[] = {
        {"korva_lefttrim_r", "null dst", "  x  ", 5, 0, ""},
        {"korva_lefttrim_r", "null src", NONE, 8, 9, ""},
        {"korva_lefttrim_r", "null src and dst", NONE, 8, 0, ""},
        {"korva_lefttrim_r", "maxlen 0", "  abc ", 0, 1, ""},
        {"korva_lefttrim_r", "maxlen -1", "  abc ", -1, 1, ""},
        {"korva_lefttrim_r", "maxlen INT32_MIN", "  abc ", INT32_MIN, 1, ""},
        {"korva_lefttrim_r", "empty src", "", 4, 5, ""},
        {"korva_lefttrim_r", "whitespace only", " \t\n\v\f\r ", 10, 11, ""},
        {"korva_lefttrim_r", "field of 100 000 characters", padded, (int32_t)BIG, BIG + 1,
         std::string(BIG - 4, 'F')},
        {"korva_lefttrim_r", "100 000 characters cut to 1000", padded, 1000, 1001, std::string(1000, 'F')},
        {"korva_upper_r", "null dst", "abc", 0, 0, ""},
        {"korva_upper_r", "null src", NONE, 0, 1, ""},
        {"korva_upper_r", "null src and dst", NONE, 0, 0, ""},
        {"korva_upper_r", "empty src", "", 0, 1, ""},
        {"korva_upper_r", "field of 100 000 characters", mixed, 0, BIG + 1, repeat("AB", BIG / 2)},
        {"korva_lower_r", "null dst", "ABC", 0, 0, ""},
        {"korva_lower_r", "null src", NONE, 0, 1, ""},
        {"korva_lower_r", "null src and dst", NONE, 0, 0, ""},
        {"korva_lower_r", "empty src", "", 0, 1, ""},
        {"korva_lower_r", "field of 100 000 characters", mixed, 0, BIG + 1, repeat("ab", BIG / 2)},
    };
    for (const auto &c : cases) {
        row(c.name, c.what);
        bool null_src = c.src == NONE;
        guarded src = guarded::text(null_src ? "" : c.src, "src");
        src.read_only();   /* src is never modified */
        guarded dst(c.dst, "dst", '#');
        const char *s = null_src ? NULL : src.data();
        char *d = c.dst ? dst.data() : NULL;

        char *r;
        if (!strcmp(c.name, "korva_lefttrim_r")) r = lefttrim_r(s, c.maxlen, d);
        else if (!strcmp(c.name, "korva_upper_r")) r = upper_r(s, d);
        else r = lower_r(s, d);

        if (!d) {
            ok(r == NULL, "%s: returned %p", R(), r);
        } else {
            ok(r == d, "%s: returned %p, not dst %p", R(), r, d);
            ok(r && c.want == r, "%s: dst %s, want %s", R(), brief(r).c_str(), brief(c.want).c_str());
        }
        ok(null_src || src.contents() == c.src + '\0', "%s: src changed", R());
        ok(canaries({&src, &dst}), "%s: bytes in front of src or dst changed", R());
    }
}

/* ---- integer conversion ------------------------------------------------------- */

TEST(integer_conversion)
{
    auto atoi = KORVA_BIND(korva_atoi);
    const char *NONE = "\x01(null)";
    const struct {
        const char *what;
        std::string text;
        bool result_ptr, status_ptr;
        int32_t status;
        bool written;        /* *result written */
        int32_t value;
    } cases[] = {
        {"null text", NONE, true, true, KORVA_ATOI_EMPTY, false, 0},
        {"empty text", "", true, true, KORVA_ATOI_EMPTY, false, 0},
        {"blank bytes only", " \t\xff\x01", true, true, KORVA_ATOI_OK, true, 0},
        {"100 000 digits", std::string(BIG, '1'), true, true, KORVA_ATOI_RANGE, false, 0},
        {"100 000 zeros", std::string(BIG, '0'), true, true, KORVA_ATOI_OK, true, 0},
        {"a number among 200 000 blanks", std::string(BIG, ' ') + "-7" + std::string(BIG, '\t'), true, true,
         KORVA_ATOI_OK, true, -7},
        {"a sign alone", "-", true, true, KORVA_ATOI_TRAILING, false, 0},
        {"null result", "12", false, true, KORVA_ATOI_OK, false, 0},
        {"null status", "12", true, false, 0, true, 12},
        {"null result, trailing characters", "12abc", false, true, KORVA_ATOI_TRAILING, false, 0},
        {"null text, result and status", NONE, false, false, 0, false, 0},
    };
    for (const auto &c : cases) {
        row("korva_atoi", c.what);
        bool null_text = c.text == NONE;
        guarded text = guarded::text(null_text ? "" : c.text, "the text");
        text.read_only();
        slot result("result"), status("status");
        atoi(null_text ? NULL : text.data(), c.result_ptr ? result.value() : NULL,
             c.status_ptr ? status.value() : NULL);
        if (c.status_ptr) ok(*status.value() == c.status, "%s: status %d, want %d", R(), *status.value(), c.status);
        int32_t want = c.written ? c.value : SENTINEL;
        ok(*result.value() == want, "%s: result %d, want %d", R(), *result.value(), want);
        ok(canaries({&text, &result.g, &status.g}), "%s: canary bytes changed", R());
    }
}

/* ---- the tokenizer, direct and under the host's lock ------------------------- */

namespace {

std::string show_tokens(const std::vector<std::string> &t)
{
    std::string out = std::to_string(t.size()) + " tokens";
    if (!t.empty()) out += ", first " + brief(t.front()) + ", last " + brief(t.back());
    return out;
}

} /* namespace */

TEST(tokenizer)
{
    auto direct = KORVA_BIND(korva_parsebuf);
    auto wrapper = KORVA_BIND(korva_parsebuf_wrapper);
    standin_reset();
    standin_set_lock_mode(0);

    enum outcome { LIST, EMPTY, UNTOUCHED };
    const char *NONE = "\x01(null)";
    const std::string comma(",\0", 2), two(",\0::\0", 5);
    std::string field(BIG, 'F'), inner = repeat("x,", BIG / 2);
    const struct {
        const char *what;
        std::string text;
        std::string delims;     /* the block's exact bytes */
        int32_t ndelim, quote;
        bool outs;              /* out-pointers given */
        int32_t status;
        outcome result;
        std::vector<std::string> tokens;
    } cases[] = {
        {"null text", NONE, comma, 1, 0, true, KORVA_PARSE_OK, EMPTY, {}},
        {"empty text", "", comma, 1, 0, true, KORVA_PARSE_OK, EMPTY, {}},
        {"blank bytes only", " \t\xff", comma, 1, 1, true, KORVA_PARSE_OK, EMPTY, {}},
        {"delimiter count 0", "a,b", comma, 0, 0, true, KORVA_PARSE_BADDELIM, UNTOUCHED, {}},
        {"delimiter count -1", "a,b", comma, -1, 0, true, KORVA_PARSE_BADDELIM, UNTOUCHED, {}},
        {"null delimiter list", "a,b", NONE, 1, 0, true, KORVA_PARSE_BADDELIM, UNTOUCHED, {}},
        {"empty delimiter", "a,b", std::string("\0", 1), 1, 0, true, KORVA_PARSE_BADDELIM, UNTOUCHED, {}},
        {"empty second delimiter", "a,b", std::string(",\0\0", 3), 2, 0, true, KORVA_PARSE_BADDELIM, UNTOUCHED, {}},
        {"delimiter list read to its last byte", "a::b,\"c,d\"", two, 2, 1, true, KORVA_PARSE_OK, LIST,
         {"a", "b", "c,d"}},
        {"field of 100 000 characters", "a," + field + ",b", comma, 1, 0, true, KORVA_PARSE_OK, LIST,
         {"a", field, "b"}},
        {"quoted field of 100 000 characters", "\"" + inner + "\"", comma, 1, 1, true, KORVA_PARSE_OK, LIST,
         {inner}},
        {"unclosed quote before 100 000 characters", "a,\"" + field, comma, 1, 1, true, KORVA_PARSE_OK, LIST,
         {"a"}},
        {"line of 100 000 fields", repeat("f,", BIG), comma, 1, 0, true, KORVA_PARSE_OK, LIST,
         std::vector<std::string>(BIG, "f")},
        {"line of 100 000 empty fields", std::string(BIG, ','), comma, 1, 0, true, KORVA_PARSE_OK, LIST,
         std::vector<std::string>(BIG, "")},
        {"every out-pointer null", "a,b", comma, 1, 0, false, 0, LIST, {}},
        {"every out-pointer null, delimiter count 0", "a,b", comma, 0, 0, false, 0, UNTOUCHED, {}},
    };

    for (const auto &c : cases) {
        for (int locked = 0; locked < 2; locked++) {
            row(locked ? "korva_parsebuf_wrapper" : "korva_parsebuf", c.what);

            /* a list retained before the call, which a refused call keeps */
            char **kept = NULL;
            int32_t kept_count = 0;
            direct("keep,these", &kept, &kept_count, 1, ",", 0, NULL);

            bool null_text = c.text == NONE, null_delims = c.delims == NONE;
            guarded text = guarded::text(null_text ? "" : c.text, "the text");
            guarded delims = guarded::bytes(null_delims ? "" : c.delims, "the delimiter list");
            text.read_only();
            delims.read_only();
            slot tokens("tokens"), count("count"), status("status");
            char **before = reinterpret_cast<char **>(*tokens.value());
            int32_t gets = standin_counter("lock_get");

            (locked ? wrapper : direct)(null_text ? NULL : text.data(),
                                        c.outs ? reinterpret_cast<char ***>(tokens.value()) : NULL,
                                        c.outs ? count.value() : NULL, c.ndelim,
                                        null_delims ? NULL : delims.data(), c.quote, c.outs ? status.value() : NULL);

            char **array = reinterpret_cast<char **>(*tokens.value());
            if (c.outs) {
                ok(*status.value() == c.status, "%s: status %d, want %d", R(), *status.value(), c.status);
                if (c.result == LIST) {
                    std::vector<std::string> got = *count.value() == (int32_t)c.tokens.size()
                                                       ? tokens_of(array, *count.value())
                                                       : std::vector<std::string>();
                    ok(*count.value() == (int32_t)c.tokens.size() && got == c.tokens, "%s: count %d, %s; want %s",
                       R(), *count.value(), show_tokens(got).c_str(), show_tokens(c.tokens).c_str());
                } else if (c.result == EMPTY) {
                    ok(*count.value() == 0 && array == before, "%s: count %d, array %s", R(), *count.value(),
                       array == before ? "kept" : "changed");
                }
            }
            if (c.result == UNTOUCHED) {
                ok(*count.value() == SENTINEL && array == before && *status.value() == (c.outs ? c.status : SENTINEL),
                   "%s: outputs touched: count %d", R(), *count.value());
                ok(tokens_of(kept, kept_count) == std::vector<std::string>({"keep", "these"}),
                   "%s: the retained list changed", R());
            }
            if (locked)
                ok(standin_counter("lock_get") == gets + 1 && standin_lock_depth() == 0 &&
                       standin_counter("lock_unbalanced") == 0,
                   "%s: lock asked %d times, depth %d", R(), standin_counter("lock_get") - gets,
                   standin_lock_depth());
            ok(text.contents() == (null_text ? "" : c.text) + '\0' &&
                   delims.contents() == (null_delims ? "" : c.delims),
               "%s: an input changed", R());
            ok(canaries({&text, &delims, &tokens.g, &count.g, &status.g}), "%s: canary bytes changed", R());
        }
    }

    /* a refused lock: status -1, nothing else touched, null pointers too */
    standin_set_lock_mode(1);
    row("korva_parsebuf_wrapper", "lock refused");
    slot tokens("tokens"), count("count"), status("status");
    wrapper("a,b", reinterpret_cast<char ***>(tokens.value()), count.value(), 1, ",", 0, status.value());
    ok(*status.value() == KORVA_PARSE_LOCKED && *count.value() == SENTINEL && *tokens.value() == SENTINEL,
       "%s: status %d, count %d", R(), *status.value(), *count.value());
    row("korva_parsebuf_wrapper", "lock refused, every pointer null");
    int32_t gets = standin_counter("lock_get");
    wrapper(NULL, NULL, NULL, 0, NULL, 0, NULL);
    standin_set_lock_mode(0);
    ok(standin_counter("lock_get") == gets + 1 && standin_lock_depth() == 0 &&
           standin_counter("lock_unbalanced") == 0,
       "%s: lock asked %d times, depth %d", R(), standin_counter("lock_get") - gets, standin_lock_depth());
}

/* The scan reads the text up to 32 bytes at a time: a text of every length
 * from 1 to 100 bytes, so at every offset from a 16-byte boundary, ends
 * right before an inaccessible page, and so does the delimiter list. */
TEST(tokenizer_text_at_every_length)
{
    auto direct = KORVA_BIND(korva_parsebuf);
    const std::string pattern = repeat("abc,de,f,,ghij:kl,", 6);
    for (size_t len = 1; len <= 100; len++) {
        std::string s = pattern.substr(0, len);
        std::vector<std::string> want(1);
        for (size_t i = 0; i < len; i++) {
            if (s[i] == ',') want.push_back("");
            else want.back() += s[i];
        }
        if (s.back() == ',') want.pop_back();
        for (int32_t quote = 0; quote < 2; quote++) {
            row("korva_parsebuf", "text of " + std::to_string(len) + " bytes before a guard page, quote " +
                                      std::to_string(quote));
            guarded text = guarded::text(s, "the text"), delims = guarded::bytes(std::string(",\0", 2), "the list");
            text.read_only();
            delims.read_only();
            char **array = NULL;
            int32_t count = -1, status = -1;
            direct(text.data(), &array, &count, 1, delims.data(), quote, &status);
            std::vector<std::string> got = status == 0 && count >= 0 ? tokens_of(array, count)
                                                                     : std::vector<std::string>();
            ok(status == 0 && got == want, "%s: status %d, %s; want %s", R(), status, show_tokens(got).c_str(),
               show_tokens(want).c_str());
        }
    }
}

/* ---- log messages -------------------------------------------------------------- */

TEST(log_messages)
{
    auto debug_log = KORVA_BIND(KernelDebugLog);
    auto debug_log_ex = KORVA_BIND(KernelDebugLogEx);
    standin_reset();

    const char *NONE = "\x01(null)";
    std::string big(BIG, 'm'), f300(300, 'p'), g300(300, 'q'), area(1000, 'A');
    /* every format takes up to two strings */
    const struct {
        const char *name, *what;
        std::string area;
        int32_t msgno;
        std::string fmt, arg1, arg2;
        bool sent;
        std::string want;
    } cases[] = {
        {"KernelDebugLog", "null format", "", 0, NONE, "", "", false, ""},
        {"KernelDebugLog", "empty format", "", 0, "", "", "", true, ""},
        {"KernelDebugLog", "argument of 100 000 characters", "", 0, "%s", big, "", true, big.substr(0, 511)},
        {"KernelDebugLog", "format that pads past the buffer", "", 0, "%700s", "x", "", true, std::string(511, ' ')},
        {"KernelDebugLog", "format of 100 000 characters", "", 0, big, "", "", true, big.substr(0, 511)},
        {"KernelDebugLog", "two arguments that together overflow", "", 0, "%s%s", f300, g300, true,
         (f300 + g300).substr(0, 511)},
        {"KernelDebugLogEx", "null area", NONE, 1, "x", "", "", false, ""},
        {"KernelDebugLogEx", "null format", "AREA", 1, NONE, "", "", false, ""},
        {"KernelDebugLogEx", "null area and format", NONE, 1, NONE, "", "", false, ""},
        {"KernelDebugLogEx", "empty area, negative number", "", -1, "x", "", "", true, "x"},
        {"KernelDebugLogEx", "area of 1000 characters, argument of 100 000", area, INT32_MIN, "%s", big, "", true,
         big.substr(0, 2055)},
        {"KernelDebugLogEx", "format that pads past the buffer", "AREA", 7, "%3000s", "y", "", true,
         std::string(2055, ' ')},
        {"KernelDebugLogEx", "format of 100 000 characters", "AREA", 8, big, "", "", true, big.substr(0, 2055)},
    };
    for (const auto &c : cases) {
        row(c.name, c.what);
        bool ex = !strcmp(c.name, "KernelDebugLogEx");
        guarded a = guarded::text(c.area == NONE ? "" : c.area, "the area");
        guarded f = guarded::text(c.fmt == NONE ? "" : c.fmt, "the format");
        guarded x = guarded::text(c.arg1, "the first argument"), y = guarded::text(c.arg2, "the second argument");
        for (guarded *g : {&a, &f, &x, &y}) g->read_only();
        const char *fmt = c.fmt == NONE ? NULL : f.data();
        int32_t records = standin_record_count(), fills = standin_counter("initblk");

        if (ex) debug_log_ex(c.area == NONE ? NULL : a.data(), c.msgno, fmt, x.data(), y.data());
        else debug_log(fmt, x.data(), y.data());

        if (!c.sent) {
            ok(standin_record_count() == records && standin_counter("initblk") == fills,
               "%s: %d records sent", R(), standin_record_count() - records);
            continue;
        }
        if (!ok(standin_record_count() == records + 1, "%s: %d records sent", R(), standin_record_count() - records))
            continue;
        host_record got = read_record(records);
        std::string want_area = ex ? c.area : "KERNEL_DEBUG";
        int32_t want_msgno = ex ? c.msgno : 122030;
        ok(want_area == got.area && got.msgno == want_msgno && got.block_ok, "%s: area %s, number %d, block %d",
           R(), brief(got.area).c_str(), got.msgno, got.block_ok);
        ok(got.text == c.want, "%s: text %s, want %s", R(), brief(got.text).c_str(), brief(c.want).c_str());
        ok(canaries({&a, &f, &x, &y}), "%s: canary bytes changed", R());
    }
}

/* ---- variable lookup for Automation callers ----------------------------------- */

namespace {

std::wstring wide(const std::string &s)
{
    std::wstring w;
    for (unsigned char ch : s) w += (wchar_t)ch;   /* ASCII only below */
    return w;
}

/* An Automation object whose default value (DISPID_VALUE) is a number, or
 * which has none.  Counts its references. */
struct object : IDispatch {
    LONG refs = 1;
    bool has_value;
    explicit object(bool value) : has_value(value) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override
    {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = NULL;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *n) override
    {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS *, VARIANT *result, EXCEPINFO *,
                                     UINT *) override
    {
        if (id != DISPID_VALUE || !has_value) return DISP_E_MEMBERNOTFOUND;
        if (result) {
            V_VT(result) = VT_I4;
            V_I4(result) = 42;
        }
        return S_OK;
    }
};

} /* namespace */

TEST(variable_lookup)
{
    auto getenv_vb = KORVA_BIND(Q47_GETENVVB);
    standin_reset();
    standin_set_logstate(0);   /* every lookup traced too, in a 512-byte buffer */
    q47standin_reset();
    q47standin_set_env_fallback(0);
    q47standin_set("", "empty-name value");
    q47standin_set("42", "forty-two");
    q47standin_set("-7", "minus seven");
    std::string n259(259, 'n'), n260(260, 'n'), n261(261, 'n'), n262(262, 'n'), nbig(BIG, 'n'),
        undefined(1000, 'u');
    for (const std::string *n : {&n259, &n260, &n261, &n262})
        q47standin_set(n->c_str(), std::string(n->size(), 'v').c_str());
    q47standin_set(nbig.c_str(), std::string(BIG, 'v').c_str());

    object valued(true), valueless(false);
    SAFEARRAY *numbers = SafeArrayCreateVector(VT_I4, 0, 3);
    SAFEARRAY *strings = SafeArrayCreateVector(VT_BSTR, 0, 2);

    /* each argument is made afresh; the test keeps what it made and frees it */
    auto bstr = [](const std::string &s) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = VT_BSTR;
        std::wstring w = wide(s);
        V_BSTR(&v) = SysAllocStringLen(w.data(), (UINT)w.size());
        return v;
    };
    auto of = [](VARTYPE vt, std::function<void(VARIANT &)> set) {
        VARIANT v;
        VariantInit(&v);
        V_VT(&v) = vt;
        set(v);
        return v;
    };
    const char *NOT_ASKED = "\x01(not asked)";
    const struct {
        const char *what;
        std::function<VARIANT()> make;
        const char *asked;     /* the name the host is asked, or NOT_ASKED */
        const char *value;     /* NULL: VT_EMPTY back */
        size_t value_len;      /* not 0: the value is this many 'v' */
    } cases[] = {
        {"null BSTR, the empty name", [&] { return of(VT_BSTR, [](VARIANT &v) { V_BSTR(&v) = NULL; }); }, "",
         "empty-name value", 0},
        {"empty BSTR", [&] { return bstr(""); }, "", "empty-name value", 0},
        {"VT_EMPTY, converted to the empty name", [&] { return of(VT_EMPTY, [](VARIANT &) {}); }, "",
         "empty-name value", 0},
        {"VT_I4 42", [&] { return of(VT_I4, [](VARIANT &v) { V_I4(&v) = 42; }); }, "42", "forty-two", 0},
        {"VT_I2 -7", [&] { return of(VT_I2, [](VARIANT &v) { V_I2(&v) = -7; }); }, "-7", "minus seven", 0},
        {"VT_NULL", [&] { return of(VT_NULL, [](VARIANT &) {}); }, NOT_ASKED, NULL, 0},
        {"array of numbers", [&] { return of(VT_ARRAY | VT_I4, [&](VARIANT &v) { V_ARRAY(&v) = numbers; }); },
         NOT_ASKED, NULL, 0},
        {"array of strings", [&] { return of(VT_ARRAY | VT_BSTR, [&](VARIANT &v) { V_ARRAY(&v) = strings; }); },
         NOT_ASKED, NULL, 0},
        {"null object (VT_UNKNOWN)", [&] { return of(VT_UNKNOWN, [](VARIANT &v) { V_UNKNOWN(&v) = NULL; }); },
         NOT_ASKED, NULL, 0},
        {"null object (VT_DISPATCH)", [&] { return of(VT_DISPATCH, [](VARIANT &v) { V_DISPATCH(&v) = NULL; }); },
         NOT_ASKED, NULL, 0},
        {"object without a default value",
         [&] { return of(VT_DISPATCH, [&](VARIANT &v) { V_DISPATCH(&v) = &valueless; }); }, NOT_ASKED, NULL, 0},
        {"object whose default value is 42",
         [&] { return of(VT_DISPATCH, [&](VARIANT &v) { V_DISPATCH(&v) = &valued; }); }, "42", "forty-two", 0},
        {"missing optional argument (VT_ERROR)",
         [&] { return of(VT_ERROR, [](VARIANT &v) { V_ERROR(&v) = DISP_E_PARAMNOTFOUND; }); }, NOT_ASKED, NULL, 0},
        {"name of 259 characters", [&] { return bstr(n259); }, n259.c_str(), "", 259},
        {"name of 260 characters", [&] { return bstr(n260); }, n260.c_str(), "", 260},
        {"name of 261 characters", [&] { return bstr(n261); }, n261.c_str(), "", 261},
        {"name of 262 characters", [&] { return bstr(n262); }, n262.c_str(), "", 262},
        {"name and value of 100 000 characters", [&] { return bstr(nbig); }, nbig.c_str(), "", BIG},
        {"undefined name of 1000 characters", [&] { return bstr(undefined); }, undefined.c_str(), NULL, 0},
    };

    for (const auto &c : cases) {
        row("Q47_GETENVVB", c.what);
        VARIANT arg = c.make();
        VARIANT copy = arg;
        std::wstring text = V_VT(&arg) == VT_BSTR && V_BSTR(&arg)
                                ? std::wstring(V_BSTR(&arg), SysStringLen(V_BSTR(&arg)))
                                : std::wstring();
        LONG refs_valued = valued.refs, refs_valueless = valueless.refs;
        int32_t asked_before = q47standin_lookup_count(), records = standin_record_count();

        VARIANT r = getenv_vb(arg);

        std::vector<std::string> asked = names_asked_since(asked_before);
        if (c.asked == NOT_ASKED)
            ok(asked.empty(), "%s: the host was asked %u names", R(), (unsigned)asked.size());
        else
            ok(asked.size() == 1 && asked[0] == c.asked, "%s: asked %u names, first %s", R(), (unsigned)asked.size(),
               asked.empty() ? "-" : brief(asked[0]).c_str());
        ok(standin_record_count() == records + (int32_t)asked.size(), "%s: %d trace records for %u lookups", R(),
           standin_record_count() - records, (unsigned)asked.size());
        for (int32_t i = records; i < standin_record_count(); i++)
            ok(standin_record(i, NULL, 0, NULL, NULL, 0, NULL) <= 511, "%s: trace of %d characters", R(),
               standin_record(i, NULL, 0, NULL, NULL, 0, NULL));

        if (!c.value) {
            ok(V_VT(&r) == VT_EMPTY, "%s: type %d, want VT_EMPTY", R(), V_VT(&r));
        } else {
            std::wstring want = c.value_len ? std::wstring(c.value_len, L'v') : wide(c.value);
            ok(V_VT(&r) == VT_BSTR && V_BSTR(&r) && SysStringLen(V_BSTR(&r)) == want.size() &&
                   !memcmp(V_BSTR(&r), want.data(), want.size() * sizeof(wchar_t)),
               "%s: type %d, %u characters, want VT_BSTR of %u", R(), V_VT(&r),
               V_VT(&r) == VT_BSTR ? SysStringLen(V_BSTR(&r)) : 0u, (unsigned)want.size());
        }

        /* the argument is the caller's: unchanged, its object's references
         * given back */
        ok(!memcmp(&arg, &copy, sizeof(VARIANT)), "%s: the argument changed", R());
        ok(V_VT(&arg) != VT_BSTR || !V_BSTR(&arg) ||
               std::wstring(V_BSTR(&arg), SysStringLen(V_BSTR(&arg))) == text,
           "%s: the argument's text changed", R());
        ok(valued.refs == refs_valued && valueless.refs == refs_valueless, "%s: object references %ld, %ld", R(),
           valued.refs, valueless.refs);

        VariantClear(&r);   /* the returned BSTR is the caller's */
        if (V_VT(&arg) == VT_BSTR) SysFreeString(V_BSTR(&arg));
    }
    SafeArrayDestroy(numbers);
    SafeArrayDestroy(strings);
    q47standin_reset();
    standin_reset();
}

/* ---- error retrieval ------------------------------------------------------------ */

TEST(error_retrieval)
{
    auto get_ex = KORVA_BIND(korva_GetLastErrorEx);
    auto get = KORVA_BIND(korva_GetLastError);

    /* every combination of null pointers: the others still delivered */
    for (int mask = 0; mask < 8; mask++) {
        std::string what = std::string("pointers ") + (mask & 1 ? "crt " : "-- ") + (mask & 2 ? "sys " : "-- ") +
                           (mask & 4 ? "not_found" : "--");
        row("korva_GetLastErrorEx", what);
        slot crt("crt_error"), sys("sys_error"), nf("not_found");
        errno = EDOM;
        SetLastError(ERROR_FILE_NOT_FOUND);
        get_ex(mask & 1 ? crt.value() : NULL, mask & 2 ? sys.value() : NULL, mask & 4 ? nf.value() : NULL);
        DWORD after = GetLastError();
        ok(*crt.value() == (mask & 1 ? EDOM : SENTINEL) && *sys.value() == (mask & 2 ? 2 : SENTINEL) &&
               *nf.value() == (mask & 4 ? 1 : SENTINEL),
           "%s: %d %d %d", R(), *crt.value(), *sys.value(), *nf.value());
        ok(after == ERROR_FILE_NOT_FOUND, "%s: the last error became %lu", R(), after);
        ok(canaries({&crt.g, &sys.g, &nf.g}), "%s: canary bytes changed", R());
    }
    row("korva_GetLastError", "no arguments: the thread's last error, whatever it is");
    SetLastError(0xdeadbeef);
    ok(get() == (int32_t)0xdeadbeef, "%s: %#x", R(), get());
}

/* ---- platform probes ------------------------------------------------------------ */

TEST(platform_probes)
{
    auto disable = KORVA_BIND(KORVA_MyWow64Disable);
    auto revert = KORVA_BIND(KORVA_MyWow64Revert);
    bool win64 = system_is_64bit();

    row("KORVA_MyWow64Disable", "null slot");
    ok(disable(NULL) == 0, "%s: not refused", R());

    row("KORVA_MyWow64Disable", "slot at the end of a page");
    slot old("old");
    int32_t off = disable(reinterpret_cast<void **>(old.value()));
    if (win64) {
        ok(off != 0 && *old.value() != SENTINEL, "%s: %d, slot %#x", R(), off, *old.value());
        row("KORVA_MyWow64Revert", "the state stored");
        ok(revert(reinterpret_cast<void *>((INT_PTR)*old.value())) != 0, "%s: not restored", R());
    } else {
        ok(off == 0 && *old.value() == SENTINEL, "%s: %d on 32-bit Windows, slot %#x", R(), off, *old.value());
    }
    ok(old.g.canary_intact(), "%s: canary bytes changed", R());

    row("KORVA_MyWow64Revert", "null state (redirection was on)");
    int32_t back = revert(NULL);
    ok(win64 ? back != 0 : back == 0, "%s: %d", R(), back);

    /* no arguments: nothing to misuse, but a result of the documented kind */
    row("KORVA_IsWow64", "no arguments");
    ok(KORVA_BIND(KORVA_IsWow64)() == (win64 ? 1 : 0), "%s: wrong answer", R());
    row("KORVA_UTILS_ISUSERADMINISTRATOR", "no arguments (Wine's user is an administrator)");
    ok(KORVA_BIND(KORVA_UTILS_ISUSERADMINISTRATOR)() == 1, "%s: not 1", R());

    row("KORVA_isVN35_64Bit", "host answers -1, then 0");
    auto vn35 = KORVA_BIND(KORVA_isVN35_64Bit);
    standin_set_vn35(-1, 0);
    int32_t yes = vn35();
    standin_set_vn35(0, -1);
    int32_t no = vn35();
    ok(yes == 1 && no == 0, "%s: %d, %d", R(), yes, no);
    /* the view flags take nothing and depend on the registry and the host:
     * their answers are held exactly by the view-flag test */
    standin_reset();
}
