/* Case conversion, integer conversion and line-ending filters, natively
 * and against the DLL under Wine. */
#include <errno.h>
#include <stdint.h>
#include <string.h>

#include "../harness/harness.h"
#include "api.h"

using korva_test::show;

TEST(case_conversion)
{
    char buf[32];

    strcpy(buf, "abc-xyz 1");
    ok(api().upper(buf) == buf && !strcmp(buf, "ABC-XYZ 1"), "upper: got %s", show(buf).c_str());
    strcpy(buf, "MiXeD @[`{");
    ok(api().lower(buf) == buf && !strcmp(buf, "mixed @[`{"), "lower: got %s", show(buf).c_str());

    /* bytes 0x80-0xFF are unchanged, whatever their sign as a char */
    const char high[] = "\xc9\xe9\x80\xff\xdf\xb5";
    strcpy(buf, high);
    api().upper(buf);
    ok(!strcmp(buf, high), "upper changed high bytes: %s", show(buf).c_str());
    api().lower(buf);
    ok(!strcmp(buf, high), "lower changed high bytes: %s", show(buf).c_str());

    const char src[] = "MiXeD";
    char dst[8];
    memset(dst, '#', sizeof(dst));
    ok(api().lower_r(src, dst) == dst && !memcmp(dst, "mixed\0#", 7),
       "lower_r: got %s", show(dst, 7).c_str());
    ok(!strcmp(src, "MiXeD"), "lower_r changed its source");
    ok(api().upper_r(src, dst) == dst && !strcmp(dst, "MIXED"), "upper_r: got %s", show(dst).c_str());

    strcpy(buf, "Same Buffer");
    ok(api().upper_r(buf, buf) == buf && !strcmp(buf, "SAME BUFFER"), "upper_r in place: %s",
       show(buf).c_str());

    memset(dst, '#', sizeof(dst));
    ok(api().upper_r(NULL, dst) == dst && !memcmp(dst, "\0#", 2), "null source: %s", show(dst, 2).c_str());
    ok(api().lower_r("", dst) == dst && !dst[0], "empty source: %s", show(dst).c_str());
    ok(api().upper_r("x", NULL) == NULL && api().lower_r("x", NULL) == NULL, "null destination");
    ok(api().upper(NULL) == NULL && api().lower(NULL) == NULL, "null text");
}

TEST(atoi_values)
{
    struct { const char *text; int32_t value; } good[] = {
        {"42", 42}, {"  -17  ", -17}, {"0x1F", 31}, {"0X1f", 31}, {"010", 8}, {"+5", 5},
        {"0", 0}, {"-0", 0}, {"   ", 0}, {"\t\xa0", 0}, {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN}, {"0x7FFFFFFF", INT32_MAX}, {"-0x80000000", INT32_MIN},
        {"017777777777", INT32_MAX}, {"42\xa0", 42}, {"\x01" "7\xff", 7},
        {"000000000000000000000000000001", 1},
    };
    for (auto &c : good) {
        int32_t result = -999, status = -999;
        errno = EDOM;
        api().atoi(c.text, &result, &status);
        ok(status == 0 && result == c.value, "%s: status %d result %d, want %d", show(c.text).c_str(),
           status, result, c.value);
        ok(errno == 0, "%s: errno %d after success", show(c.text).c_str(), errno);
    }
}

TEST(atoi_failures_leave_the_result)
{
    struct { const char *text; int32_t status; } bad[] = {
        {"", KORVA_ATOI_EMPTY}, {"12abc", KORVA_ATOI_TRAILING}, {"abc", KORVA_ATOI_TRAILING},
        {"08", KORVA_ATOI_TRAILING}, {"0x", KORVA_ATOI_TRAILING}, {"0xg", KORVA_ATOI_TRAILING},
        {"+", KORVA_ATOI_TRAILING}, {"- 1", KORVA_ATOI_TRAILING}, {"1 2", KORVA_ATOI_TRAILING},
        {"99999999999", ERANGE}, {"2147483648", ERANGE}, {"-2147483649", ERANGE},
        {"0xFFFFFFFF", ERANGE}, {"0x100000000", ERANGE}, {"020000000000", ERANGE},
        {"99999999999x", ERANGE}, {"-99999999999999999999999999", ERANGE},
        {"4294967296", ERANGE},   /* 2^32: must not wrap to 0 where long is 64 bits */
    };
    for (auto &c : bad) {
        int32_t result = -999, status = -999;
        api().atoi(c.text, &result, &status);
        ok(status == c.status && result == -999, "%s: status %d result %d, want status %d",
           show(c.text).c_str(), status, result, c.status);
        if (c.status == ERANGE) ok(errno == ERANGE, "%s: errno %d", show(c.text).c_str(), errno);
    }

    int32_t result = -999, status = -999;
    api().atoi(NULL, &result, &status);
    ok(status == KORVA_ATOI_EMPTY && result == -999, "null text: status %d result %d", status, result);
    api().atoi("5", NULL, &status);
    ok(status == 0, "null result pointer: status %d", status);
    api().atoi("5", &result, NULL);
    ok(result == 5, "null status pointer: result %d", result);
    /* without either pointer the conversion still runs: its error is there
     * for korva_GetLastErrorEx */
    errno = 0;
    api().atoi("99999999999", NULL, NULL);
    ok(errno == ERANGE, "no pointers, out of range: errno %d", errno);
}

TEST(line_endings)
{
    struct { const char *text, *one, *all; } cases[] = {
        {"Disk full\r\n", "Disk full\n", "Disk full"},
        {"a\r\nb\r\n", "a\r\nb\r\n", "a\r\nb\r\n"},
        {"a\r\nb", "a\r\nb", "a\r\nb"},
        {"abc", "abc", "abc"},
        {"\r\n", "\n", ""},
        {"", "", ""},
        {"x\n\r\n", "x\n\n", "x\n"},
        {"x\r\r\n", "x\r\n", "x\r"},
        {"\n", "\n", "\n"},
    };
    char buf[512];
    for (auto &c : cases) {
        strcpy(buf, c.text);
        ok(api().filter_crlf(buf) == buf && !strcmp(buf, c.one), "CRLF %s: got %s",
           show(c.text).c_str(), show(buf).c_str());
        strcpy(buf, c.text);
        ok(api().filter_all_crlf(buf) == buf && !strcmp(buf, c.all), "ALL_CRLF %s: got %s",
           show(c.text).c_str(), show(buf).c_str());
    }

    /* a long text whose only CR LF ends it */
    memset(buf, 'm', 298);
    strcpy(buf + 298, "\r\n");
    api().filter_crlf(buf);
    ok(strlen(buf) == 299 && buf[298] == '\n', "300 bytes: length %u", (unsigned)strlen(buf));
    api().filter_all_crlf(buf);
    ok(strlen(buf) == 299, "300 bytes, already filtered: length %u", (unsigned)strlen(buf));
}

TEST(default_message)
{
    static const char message[] = "No English error message text found\n";
    char *(KORVA_API *filters[])(char *) = {api().filter_crlf, api().filter_all_crlf};
    for (auto filter : filters) {
        char *buf = filter(NULL);
        if (!ok(buf != NULL, "no default message")) continue;
        ok(!memcmp(buf, message, sizeof(message)), "default message: %s", show(buf).c_str());
        ok(release_message(buf), "the default message buffer could not be released by its owner");
    }
}
