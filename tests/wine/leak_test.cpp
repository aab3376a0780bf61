/*
 * Long runs of every export that allocates: the process's private bytes and
 * its open handles stay where they were.  Each run is warmed up first, so
 * that the heaps, the BSTR cache and the stand-ins' record vectors have grown
 * to their working size, then measured around the counted calls; the numbers
 * are printed.  Whatever the caller owns is released the way a caller must.
 *
 * A million parses and a hundred thousand calls of every other export
 * allocating memory.  Two runs are bound by calls into Wine's server and take
 * seconds per ten thousand calls: the parse under the host's lock and the
 * Administrators check.  The normal test run makes 20 000 of those, and
 * KORVA_SOAK=full (scripts/soak.sh) the full hundred thousand.
 */
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

#include "korva_standin.h"
#include "../harness/harness.h"
#include "../cases/tokenize.h"
#include "dll.h"
#include "process_health.h"

namespace {

/* More than this much growth over a run is a leak: one lost heap block per
 * call would be 16 bytes or more, over a megabyte in a hundred thousand
 * calls. */
const long slack = 128 * 1024;

struct bound {
    decltype(&korva_parsebuf) parsebuf;
    decltype(&korva_parsebuf_wrapper) wrapper;
    decltype(&Q47_GETENVVB) getenv_vb;
    decltype(&KORVA_FILTER_CRLF) filter_crlf;
    decltype(&KORVA_FILTER_ALL_CRLF) filter_all_crlf;
    decltype(&korva_atoi) atoi;
    decltype(&korva_lefttrim) lefttrim;
    decltype(&korva_leftpack) leftpack;
    decltype(&KernelDebugLog) debug_log;
    decltype(&KernelDebugLogEx) debug_log_ex;
    decltype(&KORVA_UTILS_ISUSERADMINISTRATOR) is_admin;
    decltype(&KORVA_IsWow64) is_wow64;
    decltype(&KORVA_MyWow64Disable) wow64_disable;
    decltype(&KORVA_MyWow64Revert) wow64_revert;
    decltype(&KORVA_isVN35_64Bit) vn35_64bit;
    decltype(&GetKorvaRegSamViewFlag) korva_view;
    decltype(&GetVn35RegSamViewFlag) vn35_view;
} k;

void bind()
{
    k.parsebuf = KORVA_BIND(korva_parsebuf);
    k.wrapper = KORVA_BIND(korva_parsebuf_wrapper);
    k.getenv_vb = KORVA_BIND(Q47_GETENVVB);
    k.filter_crlf = KORVA_BIND(KORVA_FILTER_CRLF);
    k.filter_all_crlf = KORVA_BIND(KORVA_FILTER_ALL_CRLF);
    k.atoi = KORVA_BIND(korva_atoi);
    k.lefttrim = KORVA_BIND(korva_lefttrim);
    k.leftpack = KORVA_BIND(korva_leftpack);
    k.debug_log = KORVA_BIND(KernelDebugLog);
    k.debug_log_ex = KORVA_BIND(KernelDebugLogEx);
    k.is_admin = KORVA_BIND(KORVA_UTILS_ISUSERADMINISTRATOR);
    k.is_wow64 = KORVA_BIND(KORVA_IsWow64);
    k.wow64_disable = KORVA_BIND(KORVA_MyWow64Disable);
    k.wow64_revert = KORVA_BIND(KORVA_MyWow64Revert);
    k.vn35_64bit = KORVA_BIND(KORVA_isVN35_64Bit);
    k.korva_view = KORVA_BIND(GetKorvaRegSamViewFlag);
    k.vn35_view = KORVA_BIND(GetVn35RegSamViewFlag);
}

/* The count of a run bound by Wine's server: full under KORVA_SOAK=full. */
int server_bound(int full)
{
    return soak_full() ? full : 20000;
}

/* The stand-ins keep a record of every log message and lookup; they are
 * emptied every so often so that only this module's memory is measured. */
void empty_the_host_records()
{
    standin_reset();
    q47standin_reset();
    q47standin_set_env_fallback(0);
    q47standin_set("SOAK_NAME", "soak value");
    q47standin_set(std::string(300, 'N').c_str(), std::string(300, 'v').c_str());
}

/* Runs one(i) for warm-up and then count times, and checks the private
 * bytes (and, with handles set, the handle count) before and after the
 * counted calls.  one(i) returns false when a call gave a wrong result. */
template <typename F> void soak(const char *what, int count, F one, bool handles = false)
{
    int warm = count / 10 > 2000 ? 2000 : count / 10;
    int wrong = 0;
    for (int i = 0; i < warm; i++) {
        if (i % 1000 == 0) empty_the_host_records();
        wrong += !one(i);
    }
    empty_the_host_records();

    const char *field = "";
    size_t before = private_bytes(&field);
    DWORD handles_before = handles ? handle_count() : 0;
    double start = seconds();
    for (int i = 0; i < count; i++) {
        if (i % 1000 == 999) empty_the_host_records();
        wrong += !one(i);
    }
    double elapsed = seconds() - start;
    size_t after = private_bytes();
    DWORD handles_after = handles ? handle_count() : 0;

    long grew = (long)after - (long)before;
    korva_test::trace("%-44s %8d calls %7.2f s  %s %lu -> %lu (%+ld)", what, count, elapsed, field,
                      (unsigned long)before, (unsigned long)after, grew);
    if (handles) korva_test::trace("  handles %lu -> %lu", handles_before, handles_after);
    korva_test::trace("\n");
    ok(!wrong, "%s: %d calls gave a wrong result", what, wrong);
    ok(grew < slack, "%s: private bytes grew by %ld over %d calls", what, grew, count);
    if (handles) ok(handles_after <= handles_before, "%s: handles %lu -> %lu", what, handles_before, handles_after);
}

/* ---- the parses ---------------------------------------------------------- */

struct parse_line {
    std::string text, delims;
    int32_t ndelim, quote, status, count;
};

std::vector<parse_line> parse_lines()
{
    std::vector<parse_line> lines;
    std::string comma = delimiter_block({","});
    std::string two = delimiter_block({";", "::"});
    lines.push_back({"TAG1, TAG2,\"A,B\"", comma, 1, 1, 0, 3});
    lines.push_back({"a::b;c;;d::", two, 2, 0, 0, 6});   /* ";" is appended */
    lines.push_back({"", comma, 1, 0, 0, 0});
    lines.push_back({"\"unclosed,quote", comma, 1, 1, 0, 0});
    lines.push_back({"x,y", comma, 0, 0, KORVA_PARSE_BADDELIM, -9});

    /* more tokens than the scanner's first guess has room for */
    std::string many;
    for (int i = 0; i < 400; i++) many += "z,";
    lines.push_back({many, comma, 1, 0, 0, 400});

    /* a long field, and a list of more delimiters than fit on the stack */
    lines.push_back({"s," + std::string(4000, 'L') + ",e", comma, 1, 0, 0, 3});
    std::string block;
    for (int i = 0; i < 20; i++) block += "<" + std::to_string(i) + ">" + std::string(1, '\0');
    lines.push_back({"a<3>b<19>c", block, 20, 0, 0, 3});
    return lines;
}

bool parse_once(const parse_line &l, decltype(&korva_parsebuf) entry)
{
    char **array = NULL;
    int32_t count = -9, status = -7;
    entry(l.text.c_str(), &array, &count, l.ndelim, l.delims.data(), l.quote, &status);
    return status == l.status && count == l.count;
}

/* ---- the platform probes ------------------------------------------------- */

bool wow64_round_trip()
{
    void *old = reinterpret_cast<void *>(0x5a5a5a5a);
    int32_t off = k.wow64_disable(&old);
    if (!off) return !k.is_wow64();            /* 32-bit Windows refuses */
    return k.wow64_revert(old) != 0;
}

} /* namespace */

/* A measure that cannot see a leak would pass every run below.  The leak
 * it is shown is the module's own: the default messages of the line-ending
 * filters are new blocks each time, the caller's to release, and are kept
 * here until they are measured. */
TEST(the_measure_sees_a_leak)
{
    bind();
    size_t before = private_bytes();
    std::vector<char *> blocks(10000);
    for (size_t i = 0; i < blocks.size(); i++) blocks[i] = (i % 2 ? k.filter_all_crlf : k.filter_crlf)(NULL);
    size_t after = private_bytes();
    int wrong = 0;
    for (char *b : blocks) wrong += !b || LocalFree(b) != NULL;
    korva_test::trace("%-44s %8d calls            %lu -> %lu (%+ld)\n", "default messages kept, for scale", 10000,
                      (unsigned long)before, (unsigned long)after, (long)after - (long)before);
    ok(!wrong, "%d default messages were not blocks of their own", wrong);
    ok(before && (long)(after - before) >= slack, "10000 default messages kept: private bytes %lu -> %lu",
       (unsigned long)before, (unsigned long)after);
}

TEST(parses)
{
    bind();
    std::vector<parse_line> lines = parse_lines();
    soak("korva_parsebuf", 1000000,
         [&](int i) { return parse_once(lines[i % lines.size()], k.parsebuf); });
    standin_set_lock_mode(0);
    soak("korva_parsebuf_wrapper", server_bound(100000),
         [&](int i) { return parse_once(lines[i % lines.size()], k.wrapper); });
    ok(standin_lock_depth() == 0 && standin_counter("lock_unbalanced") == 0, "lock depth %d, %d unbalanced",
       standin_lock_depth(), standin_counter("lock_unbalanced"));
}

TEST(variable_lookups)
{
    bind();
    std::wstring long_name(300, L'N');
    standin_set_logstate(0);   /* every lookup is traced as well */
    soak("Q47_GETENVVB, names of every kind", 100000, [&](int i) {
        VARIANT name, r;
        VariantInit(&name);
        const wchar_t *want = NULL;
        switch (i % 4) {
        case 0:
            V_VT(&name) = VT_BSTR;
            V_BSTR(&name) = SysAllocString(L"SOAK_NAME");
            want = L"soak value";
            break;
        case 1:                        /* longer than 260 characters */
            V_VT(&name) = VT_BSTR;
            V_BSTR(&name) = SysAllocStringLen(long_name.data(), (UINT)long_name.size());
            want = NULL;
            break;
        case 2:                        /* converted by Automation */
            V_VT(&name) = VT_I4;
            V_I4(&name) = 42;
            break;
        default:                       /* a null BSTR, the empty name */
            V_VT(&name) = VT_BSTR;
            V_BSTR(&name) = NULL;
            break;
        }
        r = k.getenv_vb(name);
        bool right;
        if (i % 4 == 1)
            right = V_VT(&r) == VT_BSTR && SysStringLen(V_BSTR(&r)) == 300;
        else if (want)
            right = V_VT(&r) == VT_BSTR && !wcscmp(V_BSTR(&r), want);
        else
            right = V_VT(&r) == VT_EMPTY;
        VariantClear(&r);              /* the returned BSTR is the caller's */
        VariantClear(&name);
        return right;
    });
}

TEST(text_exports)
{
    bind();
    static const char message[] = "No English error message text found\n";
    soak("KORVA_FILTER_CRLF default message", 100000, [&](int) {
        char *m = k.filter_crlf(NULL);
        bool right = m && !strcmp(m, message);
        return LocalFree(m) == NULL && right;
    });
    soak("KORVA_FILTER_ALL_CRLF default message", 100000, [&](int) {
        char *m = k.filter_all_crlf(NULL);
        bool right = m && !strcmp(m, message);   /* it has no CR LF to remove */
        return LocalFree(m) == NULL && right;
    });
    soak("korva_atoi", 100000, [&](int i) {
        int32_t result = 0, status = -9;
        k.atoi(i % 2 ? "  -2147483648 " : "0x100000000", &result, &status);
        return i % 2 ? status == 0 && result == INT32_MIN : status == KORVA_ATOI_RANGE;
    });
    soak("korva_lefttrim, korva_leftpack", 100000, [&](int) {
        char a[] = "  \t left  trim \xff ", b[] = " p a c k ";
        return !strcmp(k.lefttrim(a), "left  trim") && !strcmp(k.leftpack(b), "pack");
    });
}

TEST(log_messages)
{
    bind();
    std::string big(3000, 'm');
    soak("KernelDebugLog, KernelDebugLogEx", 100000, [&](int i) {
        int before = standin_record_count();
        if (i % 2) k.debug_log("soak %d %s", i, big.c_str());
        else k.debug_log_ex("SOAK", i, "%s|%d", big.c_str(), i);
        return standin_record_count() == before + 1;
    });
}

TEST(platform_probes)
{
    bind();
    standin_set_vn35(0, 0);
    soak("KORVA_UTILS_ISUSERADMINISTRATOR", server_bound(100000), [&](int) { return k.is_admin() == 1; }, true);
    soak("KORVA_IsWow64, KORVA_MyWow64Disable/Revert", 100000, [&](int) {
        k.is_wow64();
        return wow64_round_trip();
    }, true);
    soak("KORVA_isVN35_64Bit", 100000, [&](int) { return k.vn35_64bit() == 0; }, true);

    /* the view getters open registry keys at their first call only */
    DWORD handles_before = handle_count();
    int32_t korva = k.korva_view(), vn35 = k.vn35_view();
    DWORD handles_after = handle_count();
    ok(handles_after <= handles_before, "first view flag calls: handles %lu -> %lu (flags %#x %#x)",
       handles_before, handles_after, korva, vn35);
}
