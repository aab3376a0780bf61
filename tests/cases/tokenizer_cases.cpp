/* The token scanner and its retained list, natively and under Wine. */
#include <stdio.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "../harness/harness.h"
#include "api.h"
#include "tokenize.h"

using korva_test::show;
using list = std::vector<std::string>;

namespace {

/* Parses text and returns the tokens; checks the status is 0. */
list parse(const std::string &text, std::initializer_list<const char *> delims, int32_t quote = 0)
{
    std::string block = delimiter_block(delims);
    char **array = NULL;
    int32_t count = -7, status = -7;
    api().parsebuf(text.c_str(), &array, &count, (int32_t)delims.size(), block.data(), quote, &status);
    ok(status == 0, "%s: status %d", show(text.c_str()).c_str(), status);
    if (count > 0 && !array) {
        ok(0, "%s: count %d without an array", show(text.c_str()).c_str(), count);
        return list();
    }
    return tokens_of(array, count);
}

#define expect_tokens(got, ...)                                                           \
    do {                                                                                  \
        list want_ = {__VA_ARGS__};                                                       \
        list got_ = (got);                                                                \
        ok(got_ == want_, "%s: got %s, want %s", #got, show(got_).c_str(), show(want_).c_str()); \
    } while (0)

} /* namespace */

TEST(fields_and_trailing_delimiter)
{
    expect_tokens(parse("A,B,C", {","}), "A", "B", "C");
    expect_tokens(parse("A,B,C,", {","}), "A", "B", "C");
    expect_tokens(parse("A,B,C   ", {","}), "A", "B", "C");
    expect_tokens(parse("  A , B", {","}), "  A ", " B");
    expect_tokens(parse("A,,B", {","}), "A", "", "B");
    expect_tokens(parse(",", {","}), "");
    expect_tokens(parse(",,", {","}), "", "");
    expect_tokens(parse("a,caf\xe9", {","}), "a", "caf");
    expect_tokens(parse("a\tb\t", {"\t"}), "a", "b");   /* a tab delimiter is cut as a blank, then put back */
    expect_tokens(parse("x\xe9y,z", {","}), "x\xe9y", "z");

    /* One-letter fields overflow the first guess of the array, a token per
     * 8 bytes plus a chunk's worth, on both builds, whose chunks differ: the
     * second round counts the separators, and the delimiter appended to a
     * text that does not end with one closes one field more than there are
     * separators. */
    const size_t fields = 100, length = 2 * fields - 1, larger_chunk = 64;
    static_assert(fields > length / 8 + larger_chunk, "the first guess would hold every field");
    std::string letters;
    list want;
    for (size_t i = 0; i < fields; i++) {
        letters += std::string(i ? "," : "") + (char)('a' + i % 26);
        want.push_back(std::string(1, (char)('a' + i % 26)));
    }
    list got = parse(letters, {","});
    ok(letters.size() == length && got == want, "%u one-letter fields on a line of %u: got %s",
       (unsigned)fields, (unsigned)letters.size(), show(got).c_str());
}

TEST(multi_character_delimiters)
{
    expect_tokens(parse("a;b;", {",", ";"}), "a", "b", "");
    expect_tokens(parse("x", {"::"}), "x");
    expect_tokens(parse("ab::cd", {"::"}), "ab", "cd");
    expect_tokens(parse("a::b", {":", "::"}), "a", "", "b");      /* list order beats length */
    expect_tokens(parse("a::b", {"::", ":"}), "a", "b");
    expect_tokens(parse("a; b; ", {"; "}), "a", "b;");
    expect_tokens(parse("a ,", {",", " ,"}), "a");
    expect_tokens(parse("a:", {"::"}), "a");        /* "a:" + "::": the separator starts at the colon */
    expect_tokens(parse("ab:::cd", {"::"}), "ab", ":cd");
    expect_tokens(parse("k=v&&x=y", {"&&", "="}), "k", "v", "x", "y");
    /* the longer delimiter near the end must not be compared past the text */
    expect_tokens(parse("a,b", {",", ",b,c,d,e"}), "a", "b");
    expect_tokens(parse("AbA", {"a"}), "AbA");                    /* case-sensitive */
}

TEST(quotes)
{
    expect_tokens(parse("\"a,b\",c", {","}, 1), "a,b", "c");
    expect_tokens(parse("\"a,b\",c", {","}, 0), "\"a", "b\"", "c");
    expect_tokens(parse("TAG1, TAG2,\"A,B\"", {","}, 1), "TAG1", " TAG2", "A,B");
    expect_tokens(parse("\"hello\"", {","}, 0), "hello");
    expect_tokens(parse("\"\"", {","}), "");
    /* the closing quote ends a chunk and the separator starts the next, on
     * both builds: the quote must be remembered across the edge, also when
     * the separator is the one appended after the trim */
    const std::string edge = "\"" + std::string(62, 'x') + "\"";
    expect_tokens(parse(edge + ",z", {","}), std::string(62, 'x'), "z");
    expect_tokens(parse(edge + "  ", {","}), std::string(62, 'x'));
    expect_tokens(parse("\"", {","}), "\"");
    expect_tokens(parse("a\"b\"c,d", {","}, 1), "a\"b\"c", "d");          /* inner quotes stay */
    expect_tokens(parse("\"x\"\"y\",z", {","}, 1), "x\"\"y", "z");
    expect_tokens(parse("\"a\" ,b", {","}, 1), "\"a\" ", "b");            /* not outer: ends in blank */
    expect_tokens(parse("a,\"b,c", {","}, 1), "a");                       /* unclosed quote */
    /* a delimiter that starts with a quote never matches when quotes count */
    ok(parse("a\"b", {"\"b", ","}, 1).empty(), "quote-led delimiter matched");
    expect_tokens(parse("a\"b", {"\"b", ","}, 0), "a");

    /* nothing before the unclosed quote closes a field: no token, but an array */
    std::string block = delimiter_block({","});
    char *sentinel[1];
    char **array = sentinel;
    int32_t count = -7, status = -7;
    api().parsebuf("\"abc", &array, &count, 1, block.data(), 1, &status);
    ok(status == 0 && count == 0, "'\"abc': status %d count %d", status, count);
    ok(array != sentinel && array != NULL, "'\"abc': the array pointer must be written");
}

TEST(empty_texts_keep_the_callers_pointer)
{
    std::string block = delimiter_block({","});
    const char *texts[] = {"", "   ", "\t\r\n\xff", NULL};
    for (const char *text : texts) {
        parse("primed,list", {","});
        char *sentinel[1];
        char **array = sentinel;
        int32_t count = -7, status = -7;
        api().parsebuf(text, &array, &count, 1, block.data(), 0, &status);
        ok(status == 0 && count == 0, "%s: status %d count %d", show(text).c_str(), status, count);
        ok(array == sentinel, "%s: the array pointer changed", show(text).c_str());
    }
    /* a parse after an empty one works normally */
    expect_tokens(parse("after,empty", {","}), "after", "empty");
}

TEST(retained_list_lifetime)
{
    std::string block = delimiter_block({","});
    char **first = NULL, **second = NULL;
    int32_t count = 0, status = 0;

    api().parsebuf("one,two", &first, &count, 1, block.data(), 0, &status);
    list kept = tokens_of(first, count);
    expect_tokens(kept, "one", "two");

    /* the second parse releases the first list and hands out its own */
    api().parsebuf("three", &second, &count, 1, block.data(), 0, &status);
    expect_tokens(tokens_of(second, count), "three");

    /* the array of a parse is a block of count pointers to terminated tokens */
    api().parsebuf("a,bb,,ccc", &first, &count, 1, block.data(), 0, &status);
    ok(count == 4, "count %d", count);
    size_t lens[] = {1, 2, 0, 3};
    for (int32_t i = 0; i < count && i < 4; i++)
        ok(strlen(first[i]) == lens[i], "token %d has length %u", i, (unsigned)strlen(first[i]));
}

TEST(many_fields_and_long_fields)
{
    std::string text;
    list want;
    for (int i = 0; i < 120; i++) {
        std::string field = "f" + std::to_string(i);
        text += field + ";";
        want.push_back(field);
    }
    ok(parse(text, {";"}) == want, "120 fields did not come back in order");

    text.clear();
    want.clear();
    for (int i = 0; i < 20000; i++) {
        text += (i % 3 ? "x" : "") + std::string(i % 2 ? "::" : ",");
        want.push_back(i % 3 ? "x" : "");
    }
    want.push_back("");     /* the text ends in "::", so "," is appended too */
    list got = parse(text, {",", "::"});
    ok(got == want, "20000 fields: got %u tokens", (unsigned)got.size());

    /* a field longer than 999 characters comes back whole */
    for (size_t len : {998, 999, 1000, 1001, 100000}) {
        std::string big(len, 'L');
        got = parse("a," + big + ",b", {","});
        ok(got.size() == 3 && got[1] == big && got[2] == "b",
           "field of %u: got %u tokens, middle length %u", (unsigned)len, (unsigned)got.size(),
           got.size() > 1 ? (unsigned)got[1].size() : 0u);
    }
    std::string quoted = "\"" + std::string(1500, 'q') + "\"";
    got = parse(quoted, {","}, 1);
    ok(got.size() == 1 && got[0] == std::string(1500, 'q'), "quoted field of 1502 not whole");
}

TEST(bad_delimiter_lists)
{
    std::string good = delimiter_block({","});
    char **kept = NULL;
    int32_t kept_count = 0, kept_status = 0;
    api().parsebuf("keep,these", &kept, &kept_count, 1, good.data(), 0, &kept_status);

    struct { int32_t ndelim; const char *block; size_t size; const char *what; } cases[] = {
        {0, ",", 2, "count 0"},
        {-1, ",", 2, "count -1"},
        {INT32_MIN, ",", 2, "count INT32_MIN"},
        {1, NULL, 0, "null list"},
        {1, "", 1, "empty delimiter"},
        {2, ",\0\0", 3, "empty second delimiter"},
    };
    for (auto &c : cases) {
        char *sentinel[1];
        char **array = sentinel;
        int32_t count = -7, status = -7;
        api().parsebuf("x,y", &array, &count, c.ndelim, c.block, 0, &status);
        ok(status == KORVA_PARSE_BADDELIM, "%s: status %d", c.what, status);
        ok(count == -7 && array == sentinel, "%s: outputs touched (count %d)", c.what, count);
    }

    /* every pointer null and no delimiters: refused as well */
    api().parsebuf(NULL, NULL, NULL, 0, NULL, 0, NULL);

    /* the list retained before the refused calls is still there, unreleased */
    expect_tokens(tokens_of(kept, kept_count), "keep", "these");
}

TEST(null_out_pointers)
{
    std::string block = delimiter_block({","});
    int32_t count = -7;
    api().parsebuf("a,b,c", NULL, &count, 1, block.data(), 0, NULL);
    ok(count == 3, "count only: %d", count);

    char **array = NULL;
    int32_t status = -7;
    api().parsebuf("p,q", &array, NULL, 1, block.data(), 0, &status);
    ok(status == 0 && array && !strcmp(array[0], "p") && !strcmp(array[1], "q"),
       "array only: status %d", status);

    /* a null text is the empty text */
    count = -7;
    api().parsebuf(NULL, &array, &count, 1, block.data(), 0, &status);
    ok(count == 0 && status == 0, "null text: count %d status %d", count, status);
}

TEST(reparsing_a_token_of_the_previous_parse)
{
    /* A caller that splits a field of the last result again hands in text
     * that lives in the list this parse releases: it must be read first. */
    std::string outer = delimiter_block({";"}), inner = delimiter_block({"="}),
                outer_comma = delimiter_block({","});
    char **array = NULL;
    int32_t count = 0, status = -7;
    api().parsebuf("name=value;k=v;x", &array, &count, 1, outer.data(), 0, &status);
    ok(count == 3, "outer: %d tokens", count);

    char **fields = NULL;
    api().parsebuf(array[1], &fields, &count, 1, inner.data(), 0, &status);
    expect_tokens(tokens_of(fields, count), "k", "v");

    /* and again, a token of that list, with a line long enough to matter */
    std::string line;
    for (int i = 0; i < 500; i++) line += "a" + std::to_string(i) + "=" + std::string(40, 'v') + ";";
    api().parsebuf(line.c_str(), &array, &count, 1, outer.data(), 0, &status);
    api().parsebuf(array[499], &fields, &count, 1, inner.data(), 0, &status);
    expect_tokens(tokens_of(fields, count), "a499", std::string(40, 'v'));
    api().parsebuf(fields[1], &fields, &count, 1, inner.data(), 0, &status);
    expect_tokens(tokens_of(fields, count), std::string(40, 'v'));

    /* The delimiter list may be such a token too: it is read while the
     * line is cut, so the released list's block must not be reused. */
    const struct {
        const char *first, *line, *want[2];
    } lists[] = {
        {"x,;", "p;q", {"p", "q"}},                           /* the plain scan's list */
        {"x,:::::", "abcdefgh:::::ij", {"abcdefgh", "ij"}},   /* compared in full by the SSE2 scan */
    };
    for (const auto &l : lists) {
        api().parsebuf(l.first, &array, &count, 1, outer_comma.data(), 0, &status);
        api().parsebuf(l.line, &fields, &count, 1, array[1], 0, &status);
        expect_tokens(tokens_of(fields, count), l.want[0], l.want[1]);
    }

    /* A field of one-letter items takes two sizing rounds, and the second
     * reads the text again: by then a list block released too early has
     * been handed out anew and written over, which the tokens show even
     * where no sanitizer watches.  They are compared with a copy of the
     * field made before the call. */
    std::string items;
    for (int i = 0; i < 100; i++) items += std::string(i ? "=" : "") + (char)('a' + i % 26);
    api().parsebuf(("x;" + items + ";y").c_str(), &array, &count, 1, outer.data(), 0, &status);
    if (!ok(status == 0 && count == 3, "field of 100 items: status %d, %d tokens", status, count)) return;
    std::string copy = array[1];
    list want;
    for (size_t i = 0; i < copy.size(); i += 2) want.push_back(copy.substr(i, 1));
    api().parsebuf(array[1], &fields, &count, 1, inner.data(), 0, &status);
    ok(copy == items && status == 0 && tokens_of(fields, count) == want, "100 items: status %d, got %s", status,
       show(tokens_of(fields, count)).c_str());
}
