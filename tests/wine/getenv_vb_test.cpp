/* Variable lookup for Automation callers, against the stand-in host. */
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

#include "korva_standin.h"
#include "../harness/harness.h"
#include "dll.h"
#include "host_records.h"

using korva_test::show;

namespace {

decltype(&Q47_GETENVVB) getenv_vb;

void bind(int32_t logstate)
{
    getenv_vb = KORVA_BIND(Q47_GETENVVB);
    standin_reset();
    standin_set_logstate(logstate);
    q47standin_reset();
    q47standin_set_env_fallback(0);
}

std::wstring wide(const char *ansi)
{
    int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, NULL, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, &w[0], n);
    w.resize(n - 1);
    return w;
}

/* A VARIANT holding a fresh BSTR made from ANSI text (the caller's, freed by
 * the caller). */
VARIANT string_variant(const char *ansi)
{
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    std::wstring w = wide(ansi);
    V_BSTR(&v) = SysAllocStringLen(w.data(), (UINT)w.size());
    return v;
}

/* Leaves non-zero bytes where the trace's text will be formatted: in freed
 * heap blocks of the trace buffer's size and on the stack below this frame.
 * A text cut at the buffer's end must then be terminated by the module, not
 * by a zero that happened to be there. */
__attribute__((noinline)) void dirty_memory()
{
    std::vector<void *> blocks(64);
    for (void *&b : blocks) b = malloc(512);
    for (void *b : blocks)
        if (b) memset(b, 'J', 512);
    for (void *b : blocks) free(b);
    volatile char junk[16384];
    for (size_t i = 0; i < sizeof(junk); i++) junk[i] = 'J';
}

/* Looks name up; checks the result is the string want (NULL: VT_EMPTY) and
 * releases it the way a caller must. */
void lookup(const char *name, const char *want, int line)
{
    VARIANT arg = string_variant(name);
    VARIANT r = getenv_vb(arg);
    if (!want) {
        ok(V_VT(&r) == VT_EMPTY, "line %d: %s: type %d, want VT_EMPTY", line, show(name).c_str(), V_VT(&r));
    } else if (ok(V_VT(&r) == VT_BSTR, "line %d: %s: type %d, want VT_BSTR", line, show(name).c_str(),
                  V_VT(&r))) {
        std::wstring w = wide(want);
        ok(V_BSTR(&r) && SysStringLen(V_BSTR(&r)) == w.size() && !memcmp(V_BSTR(&r), w.data(), w.size() * 2),
           "line %d: %s: the value's UTF-16 text differs (%u units, want %u)", line, show(name).c_str(),
           V_BSTR(&r) ? SysStringLen(V_BSTR(&r)) : 0u, (unsigned)w.size());
        SysFreeString(V_BSTR(&r));    /* the caller's to free */
    }
    std::wstring before = wide(name);
    ok(SysStringLen(V_BSTR(&arg)) == before.size() && !memcmp(V_BSTR(&arg), before.data(), before.size() * 2),
       "line %d: the argument changed", line);
    VariantClear(&arg);
}

void expect_trace(int32_t i, const std::string &text, int line)
{
    host_record r = read_record(i);
    ok(r.area == "KORVAMANAGER" && r.msgno == 3001 && r.block_ok, "line %d: record %d: %s %d block %d",
       line, i, r.area.c_str(), r.msgno, r.block_ok);
    ok(r.text == text, "line %d: record %d: %s, want %s", line, i, show(r.text.c_str()).c_str(),
       show(text.c_str()).c_str());
}

} /* namespace */

TEST(defined_undefined_and_empty)
{
    bind(0);
    q47standin_set("TEMPDIR", "C:\\Temp");
    q47standin_set("BLANKVAR", "");

    lookup("TEMPDIR", "C:\\Temp", __LINE__);
    lookup("NOT_DEFINED_ANYWHERE", NULL, __LINE__);
    lookup("BLANKVAR", "", __LINE__);
    lookup("", NULL, __LINE__);

    if (!ok(standin_record_count() == 4, "%d trace records", standin_record_count())) return;
    expect_trace(0, ">>> Q47_GETENVVB: Translating TEMPDIR=[C:\\Temp]\n", __LINE__);
    expect_trace(1, ">>> Q47_GETENVVB: Translating NOT_DEFINED_ANYWHERE=[NULL]\n", __LINE__);
    expect_trace(2, ">>> Q47_GETENVVB: Translating BLANKVAR=[NULL]\n", __LINE__);
    expect_trace(3, ">>> Q47_GETENVVB: Translating NULL=[NULL]\n", __LINE__);
    ok(names_asked_since(0) == std::vector<std::string>({"TEMPDIR", "NOT_DEFINED_ANYWHERE", "BLANKVAR", ""}),
       "names asked: %s", show(names_asked_since(0)).c_str());
    ok(standin_counter("logstate") == 4 && standin_counter("initblk") == 4,
       "log state asked %d times, %d client blocks", standin_counter("logstate"), standin_counter("initblk"));
}

TEST(log_state_nonzero_sends_no_trace)
{
    bind(1);
    q47standin_set("TEMPDIR", "C:\\Temp");
    lookup("TEMPDIR", "C:\\Temp", __LINE__);
    lookup("MISSING", NULL, __LINE__);
    ok(standin_record_count() == 0 && standin_counter("initblk") == 0, "%d records with log state 1",
       standin_record_count());
    ok(standin_counter("logstate") == 2, "log state asked %d times", standin_counter("logstate"));
}

TEST(null_bstr_is_the_empty_name)
{
    bind(0);
    q47standin_set("", "empty-name-value");
    VARIANT arg;
    VariantInit(&arg);
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = NULL;
    VARIANT r = getenv_vb(arg);
    ok(V_VT(&r) == VT_BSTR, "type %d", V_VT(&r));
    VariantClear(&r);
    ok(names_asked_since(0) == std::vector<std::string>({""}), "names asked: %s", show(names_asked_since(0)).c_str());
    expect_trace(0, ">>> Q47_GETENVVB: Translating NULL=[empty-name-value]\n", __LINE__);
}

TEST(bytes_above_0x7f_in_the_ansi_code_page)
{
    bind(0);
    korva_test::trace("ANSI code page %u\n", GetACP());
    const char name[] = "CAF\xc9_\xe0\xfc";
    const char value[] = "\xe9t\xe9 \xa9 \xff";
    q47standin_set(name, value);
    lookup(name, value, __LINE__);
    ok(names_asked_since(0) == std::vector<std::string>({name}), "the host was asked %s",
       show(names_asked_since(0)).c_str());
    expect_trace(0, std::string(">>> Q47_GETENVVB: Translating ") + name + "=[" + value + "]\n", __LINE__);

    if (GetACP() == 1252) {
        VARIANT arg = string_variant(name);
        VARIANT r = getenv_vb(arg);
        ok(V_VT(&r) == VT_BSTR && !wcscmp(V_BSTR(&r), L"\u00e9t\u00e9 \u00a9 \u00ff"), "cp1252 value differs");
        VariantClear(&r);
        VariantClear(&arg);
    }
}

TEST(long_names_and_values_pass_whole)
{
    bind(0);
    std::string name(300, 'N'), value(1000, 'v');
    name += "_END";
    value += "_END";
    q47standin_set(name.c_str(), value.c_str());
    dirty_memory();
    lookup(name.c_str(), value.c_str(), __LINE__);
    ok(names_asked_since(0) == std::vector<std::string>({name}), "the long name was not passed whole");

    host_record r = read_record(0);
    std::string full = ">>> Q47_GETENVVB: Translating " + name + "=[" + value + "]\n";
    ok(r.text == full.substr(0, 511), "trace of %u chars, want the first 511", (unsigned)r.text.size());

    /* a value with printf directives is text, not a format */
    q47standin_set("FMT%s%n", "%s%d%n");
    lookup("FMT%s%n", "%s%d%n", __LINE__);
    expect_trace(1, ">>> Q47_GETENVVB: Translating FMT%s%n=[%s%d%n]\n", __LINE__);
}

TEST(arguments_that_are_not_strings)
{
    bind(0);
    q47standin_set("42", "forty-two");
    VARIANT arg, r;

    VariantInit(&arg);
    V_VT(&arg) = VT_I4;
    V_I4(&arg) = 42;
    r = getenv_vb(arg);
    ok(V_VT(&r) == VT_BSTR && !wcscmp(V_BSTR(&r), L"forty-two"), "VT_I4 42: type %d", V_VT(&r));
    VariantClear(&r);

    BSTR inner = SysAllocString(L"42");
    V_VT(&arg) = VT_BSTR | VT_BYREF;
    V_BSTRREF(&arg) = &inner;
    r = getenv_vb(arg);
    ok(V_VT(&r) == VT_BSTR && !wcscmp(V_BSTR(&r), L"forty-two"), "VT_BSTR|VT_BYREF: type %d", V_VT(&r));
    ok(!wcscmp(inner, L"42"), "the referenced BSTR changed");
    VariantClear(&r);
    SysFreeString(inner);
    ok(names_asked_since(0) == std::vector<std::string>({"42", "42"}), "names asked: %s", show(names_asked_since(0)).c_str());

    /* what cannot become text gives VT_EMPTY and asks the host nothing */
    standin_reset();
    q47standin_reset();
    V_VT(&arg) = VT_NULL;
    r = getenv_vb(arg);
    ok(V_VT(&r) == VT_EMPTY, "VT_NULL: type %d", V_VT(&r));

    SAFEARRAY *array = SafeArrayCreateVector(VT_I4, 0, 3);
    V_VT(&arg) = VT_ARRAY | VT_I4;
    V_ARRAY(&arg) = array;
    r = getenv_vb(arg);
    ok(V_VT(&r) == VT_EMPTY, "array: type %d", V_VT(&r));
    SafeArrayDestroy(array);

    V_VT(&arg) = VT_UNKNOWN;
    V_UNKNOWN(&arg) = NULL;
    r = getenv_vb(arg);
    ok(V_VT(&r) == VT_EMPTY, "null object: type %d", V_VT(&r));

    ok(q47standin_lookup_count() == 0 && standin_counter("logstate") == 0 && standin_record_count() == 0,
       "the host was asked: %d lookups, %d log state calls", q47standin_lookup_count(),
       standin_counter("logstate"));
}
