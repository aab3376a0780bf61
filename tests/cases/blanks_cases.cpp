/* Blank trimming and packing, run natively and against the DLL under Wine. */
#include <string.h>

#include "../harness/harness.h"
#include "api.h"

using korva_test::show;

namespace {

/* buffer contents compared byte for byte, NULs included */
bool same(const char *buf, const char *want, size_t n)
{
    return !memcmp(buf, want, n);
}

} /* namespace */

TEST(trimblanks)
{
    char buf[12];

    memcpy(buf, "AB  \0\0\0\0", 8);
    api().trimblanks(buf, 8);
    ok(same(buf, "AB\0\0\0\0\0\0", 8), "padded buffer: got %s", show(buf, 8).c_str());

    /* the walk ignores the terminator and stops at the last non-blank byte */
    memcpy(buf, "A\0B \0 ", 6);
    api().trimblanks(buf, 6);
    ok(same(buf, "A\0B\0\0\0", 6), "inner NUL: got %s", show(buf, 6).c_str());

    /* every byte 0x80-0xFF and every control byte is blank */
    memcpy(buf, "x\x80\xff\x7f\x01\xe9\x20\x1f", 8);
    api().trimblanks(buf, 8);
    ok(same(buf, "x\x80\xff\x7f\0\0\0\0", 8), "high and control bytes: got %s", show(buf, 8).c_str());

    memcpy(buf, " \t\xa0\0", 4);
    api().trimblanks(buf, 4);
    ok(same(buf, "\0\0\0\0", 4), "all blank: got %s", show(buf, 4).c_str());

    /* only the stated length is touched */
    memcpy(buf, "ab  cd", 7);
    api().trimblanks(buf, 4);
    ok(same(buf, "ab\0\0cd", 7), "length 4: got %s", show(buf, 7).c_str());

    for (int32_t len : {0, -5, INT32_MIN}) {
        memcpy(buf, "AB  ", 5);
        api().trimblanks(buf, len);
        ok(same(buf, "AB  ", 5), "length %d changed the buffer: %s", len, show(buf).c_str());
        ok(api().trimBlanksEx(buf, len) == buf, "trimBlanksEx(len %d) must return the buffer", len);
    }

    memcpy(buf, "AB \0", 4);
    ok(api().trimBlanksEx(buf, 4) == buf && same(buf, "AB\0\0", 4),
       "trimBlanksEx: got %s", show(buf, 4).c_str());

    ok(api().trimBlanksEx(NULL, 8) == NULL, "trimBlanksEx(NULL) must return NULL");
}

TEST(lefttrim)
{
    char buf[16];

    memcpy(buf, "  abc  ", 8);
    ok(api().lefttrim(buf) == buf, "lefttrim must return its argument");
    /* only the result and its terminator are written */
    ok(same(buf, "abc\0c  \0", 8), "'  abc  ': got %s", show(buf, 8).c_str());

    memcpy(buf, "   ", 4);
    api().lefttrim(buf);
    ok(same(buf, "\0  \0", 4), "'   ': got %s", show(buf, 4).c_str());

    memcpy(buf, "", 1);
    ok(api().lefttrim(buf) == buf && !buf[0], "'': got %s", show(buf).c_str());

    strcpy(buf, "caf\xe9");
    api().lefttrim(buf);
    ok(!strcmp(buf, "caf"), "trailing 0xE9 is blank: got %s", show(buf).c_str());

    strcpy(buf, "\x01\xa0 a b\t\x7f\r\n");
    api().lefttrim(buf);
    ok(!strcmp(buf, "a b\t\x7f"), "control and high bytes both ends: got %s", show(buf).c_str());

    strcpy(buf, "no-blanks");
    api().lefttrim(buf);
    ok(!strcmp(buf, "no-blanks"), "nothing to trim: got %s", show(buf).c_str());

    ok(api().lefttrim(NULL) == NULL, "lefttrim(NULL) must return NULL");
}

TEST(leftpack)
{
    char buf[16];

    strcpy(buf, " a b\tc ");
    ok(api().leftpack(buf) == buf, "leftpack must return its argument");
    ok(same(buf, "abc\0\tc \0", 8), "' a b\\tc ': got %s", show(buf, 8).c_str());

    /* a text of blanks only becomes empty: every blank byte is removed */
    strcpy(buf, "   ");
    api().leftpack(buf);
    ok(!buf[0], "'   ': got %s", show(buf).c_str());

    strcpy(buf, "\xe9x\x80y\x1fz");
    api().leftpack(buf);
    ok(!strcmp(buf, "xyz"), "high and control bytes: got %s", show(buf).c_str());

    strcpy(buf, "");
    ok(api().leftpack(buf) == buf && !buf[0], "'': got %s", show(buf).c_str());
    ok(api().leftpack(NULL) == NULL, "leftpack(NULL) must return NULL");
}

TEST(lefttrim_r)
{
    char dst[16];

    memset(dst, '#', sizeof(dst));
    ok(api().lefttrim_r("  hello world \n", 100, dst) == dst, "lefttrim_r must return dst");
    ok(!strcmp(dst, "hello world"), "max 100: got %s", show(dst).c_str());
    ok(dst[12] == '#', "wrote past the terminator: %s", show(dst, 16).c_str());

    memset(dst, '#', sizeof(dst));
    api().lefttrim_r("  hello world \n", 5, dst);
    ok(same(dst, "hello\0#", 7), "max 5 keeps the start: got %s", show(dst, 7).c_str());

    memset(dst, '#', sizeof(dst));
    api().lefttrim_r("hello", 5, dst);
    ok(same(dst, "hello\0#", 7), "exact fit: got %s", show(dst, 7).c_str());

    const char *empties[] = {" \t ", "", "\r\n\v\f"};
    for (const char *src : empties) {
        memset(dst, '#', sizeof(dst));
        api().lefttrim_r(src, 10, dst);
        ok(same(dst, "\0#", 2), "%s: got %s", show(src).c_str(), show(dst, 2).c_str());
    }

    /* whitespace only, not blank bytes: 0xE9 and control bytes stay */
    api().lefttrim_r("\x01 caf\xe9 ", 10, dst);
    ok(!strcmp(dst, "\x01 caf\xe9"), "0xE9 and 0x01 are not whitespace: got %s", show(dst).c_str());

    for (int32_t maxlen : {0, -1, INT32_MIN}) {
        memset(dst, '#', sizeof(dst));
        api().lefttrim_r("abc", maxlen, dst);
        ok(same(dst, "\0#", 2), "max %d: got %s", maxlen, show(dst, 2).c_str());
    }

    /* overlapping source and destination keep the caller's text */
    strcpy(dst, "  same  ");
    ok(api().lefttrim_r(dst, 15, dst) == dst && !strcmp(dst, "same"),
       "same buffer: got %s", show(dst).c_str());
    strcpy(dst, "  shifted");
    api().lefttrim_r(dst, 15, dst + 1);
    ok(!strcmp(dst + 1, "shifted"), "dst overlapping src forward: got %s", show(dst + 1).c_str());
    strcpy(dst + 3, " back ");
    api().lefttrim_r(dst + 3, 15, dst);
    ok(!strcmp(dst, "back"), "dst overlapping src backward: got %s", show(dst).c_str());

    memset(dst, '#', sizeof(dst));
    ok(api().lefttrim_r(NULL, 10, dst) == dst && same(dst, "\0#", 2),
       "null source: got %s", show(dst, 2).c_str());
    ok(api().lefttrim_r("abc", 10, NULL) == NULL, "null destination must return NULL");
}
