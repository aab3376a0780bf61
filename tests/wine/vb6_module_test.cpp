/*
 * KORVA_VB6.bas held to the DLL: every Declare names an export and pushes
 * exactly the bytes that export pops, and the route the module offers for the
 * C-convention logging entries works.
 */
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

#include "korva_standin.h"
#include "../harness/harness.h"
#include "dll.h"
#include "exports.h"
#include "host_records.h"

namespace {

struct declare {
    int line;
    std::string name, args, returns;
    bool function;
};

std::string trim(const std::string &s)
{
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t\r");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string lower(std::string s)
{
    for (char &c : s) c = (char)tolower((unsigned char)c);
    return s;
}

std::vector<std::string> read_lines(const char *path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

/* The Declares of the module that bind KORVA_VB6.dll. */
std::vector<declare> declares(const std::vector<std::string> &lines)
{
    static const std::regex re(
        R"re(^\s*(Public\s+|Private\s+)?Declare\s+(Sub|Function)\s+(\w+)\s+Lib\s+"([^"]+)"\s*(Alias\s+"[^"]*"\s*)?\((.*)\)\s*(As\s+(\w+))?\s*$)re",
        std::regex::icase);
    std::vector<declare> out;
    for (size_t i = 0; i < lines.size(); i++) {
        std::smatch m;
        if (!std::regex_match(lines[i], m, re) || lower(m[4]) != "korva_vb6.dll") continue;
        ok(!m[5].matched, "line %u: %s uses an Alias", (unsigned)i + 1, m[3].str().c_str());
        out.push_back({(int)i + 1, m[3], m[6], m[8], lower(m[2]) == "function"});
    }
    return out;
}

/* Bytes the argument list pushes: 4 per Long, String or ByRef, 16 per
 * ByVal Variant; -1 when an argument is not one of those. */
int pushed_bytes(const declare &d)
{
    int bytes = 0;
    std::stringstream list(d.args);
    for (std::string arg; std::getline(list, arg, ',');) {
        arg = trim(arg);
        if (arg.empty()) continue;
        static const std::regex re(R"(^(ByVal|ByRef)\s+\w+\s+As\s+(\w+)$)", std::regex::icase);
        std::smatch m;
        if (!ok(std::regex_match(arg, m, re), "line %d: %s: argument '%s' lacks ByVal/ByRef or a type",
                d.line, d.name.c_str(), arg.c_str()))
            return -1;
        std::string pass = lower(m[1]), type = lower(m[2]);
        if (pass == "byref") bytes += 4;
        else if (type == "long" || type == "string") bytes += 4;
        else if (type == "variant") bytes += 16;
        else {
            ok(0, "line %d: %s: ByVal %s is not a type this DLL takes", d.line, d.name.c_str(), type.c_str());
            return -1;
        }
    }
    return bytes;
}

} /* namespace */

TEST(declares_match_the_exports)
{
    std::vector<std::string> lines = read_lines(KORVA_SOURCE_DIR "/vb6/KORVA_VB6.bas");
    if (!ok(!lines.empty(), "cannot read KORVA_VB6.bas")) return;

    bool option_explicit = false;
    for (const std::string &l : lines) option_explicit |= lower(trim(l)) == "option explicit";
    ok(option_explicit, "the module lacks Option Explicit");

    std::map<std::string, int> seen;
    for (const declare &d : declares(lines)) {
        seen[d.name]++;
        const export_row *row = find_export(d.name.c_str());
        if (!ok(row != NULL, "line %d: %s is not an export of the DLL", d.line, d.name.c_str())) continue;
        ok(korva_proc(d.name.c_str()) != NULL, "line %d: GetProcAddress(%s) failed", d.line, d.name.c_str());
        if (!ok(row->conv != CDECL_VARARGS, "line %d: %s is __cdecl and cannot be declared", d.line,
                d.name.c_str()))
            continue;

        int bytes = pushed_bytes(d);
        if (bytes < 0) continue;
        ok(bytes == row->arg_bytes, "line %d: %s pushes %d bytes, the export pops %d", d.line,
           d.name.c_str(), bytes, row->arg_bytes);

        bool variant_result = d.function && lower(d.returns) == "variant";
        ok(!d.function || variant_result || lower(d.returns) == "long", "line %d: %s returns %s", d.line,
           d.name.c_str(), d.returns.c_str());
        ok(variant_result == (row->conv == STDCALL_VARIANT), "line %d: %s: result type does not match",
           d.line, d.name.c_str());

        /* and call it so: the words VB would push, zero, must all be popped */
        VARIANT result;
        uint32_t words[9] = {0};
        int n = bytes / 4;
        if (variant_result) {
            words[0] = (uint32_t)(uintptr_t)&result;
            n++;
        }
        int popped = abi_call((void *)korva_proc(d.name.c_str()), words, n, NULL);
        ok(popped == n * 4, "line %d: %s popped %d bytes of %d", d.line, d.name.c_str(), popped, n * 4);
        if (variant_result) VariantClear(&result);
    }

    for (const export_row &row : exports) {
        int count = seen.count(row.name) ? seen[row.name] : 0;
        if (row.conv == CDECL_VARARGS) ok(count == 0, "%s is declared", row.name);
        else ok(count == 1, "%s is declared %d times", row.name, count);
    }
}

TEST(cdecl_logging_through_dispcallfunc)
{
    /* what KorvaDebugLog / KorvaDebugLogEx do: the C-convention entries
     * called through DispCallFunc, with "%s" as the format */
    standin_reset();
    static char format[] = "%s", message[] = "from Visual Basic: 100% done", area[] = "VBAREA";
    struct { const char *entry; std::vector<LONG> args; } calls[] = {
        {"KernelDebugLog", {(LONG)(uintptr_t)format, (LONG)(uintptr_t)message}},
        {"KernelDebugLogEx", {(LONG)(uintptr_t)area, 77, (LONG)(uintptr_t)format, (LONG)(uintptr_t)message}},
    };
    for (auto &c : calls) {
        std::vector<VARIANT> values(c.args.size());
        std::vector<VARIANTARG *> pointers;
        std::vector<VARTYPE> types(c.args.size(), VT_I4);
        for (size_t i = 0; i < values.size(); i++) {
            VariantInit(&values[i]);
            V_VT(&values[i]) = VT_I4;
            V_I4(&values[i]) = c.args[i];
            pointers.push_back(&values[i]);
        }
        VARIANT ret;
        VariantInit(&ret);
        HRESULT hr = DispCallFunc(NULL, (ULONG_PTR)korva_proc(c.entry), CC_CDECL, VT_EMPTY,
                                  (UINT)values.size(), types.data(), pointers.data(), &ret);
        ok(hr == S_OK, "%s: DispCallFunc returned %#lx", c.entry, hr);
    }
    if (!ok(standin_record_count() == 2, "%d records", standin_record_count())) return;
    host_record r = read_record(0);
    ok(r.area == "KERNEL_DEBUG" && r.msgno == 122030 && r.text == message, "KernelDebugLog: %s %d %s",
       r.area.c_str(), r.msgno, r.text.c_str());
    r = read_record(1);
    ok(r.area == "VBAREA" && r.msgno == 77 && r.text == message, "KernelDebugLogEx: %s %d %s",
       r.area.c_str(), r.msgno, r.text.c_str());
}

/* The numbers callers compare results with, pinned as numbers: the header's
 * constants and the module's must both be these. */
TEST(constants_are_the_numbers_callers_rely_on)
{
    static const struct { const char *name; long header, value; } wanted[] = {
        {"KORVA_PARSE_OK", KORVA_PARSE_OK, 0},         {"KORVA_PARSE_LOCKED", KORVA_PARSE_LOCKED, -1},
        {"KORVA_PARSE_BADDELIM", KORVA_PARSE_BADDELIM, -2}, {"KORVA_PARSE_NOMEM", KORVA_PARSE_NOMEM, 12},
        {"KORVA_ATOI_OK", KORVA_ATOI_OK, 0},           {"KORVA_ATOI_EMPTY", KORVA_ATOI_EMPTY, -1},
        {"KORVA_ATOI_TRAILING", KORVA_ATOI_TRAILING, -2}, {"KORVA_ATOI_RANGE", KORVA_ATOI_RANGE, 34},
        {"KEY_WOW64_64KEY", KEY_WOW64_64KEY, 0x100},   {"KEY_WOW64_32KEY", KEY_WOW64_32KEY, 0x200},
    };
    static const std::regex re(R"re(^\s*Public\s+Const\s+(\w+)\s+As\s+Long\s*=\s*(-?[0-9]+|&H[0-9A-Fa-f]+)\s*$)re",
                               std::regex::icase);
    std::map<std::string, long> bas;
    for (const std::string &line : read_lines(KORVA_SOURCE_DIR "/vb6/KORVA_VB6.bas")) {
        std::smatch m;
        if (!std::regex_match(line, m, re)) continue;
        std::string v = m[2];
        bas[m[1]] = v[0] == '&' ? strtol(v.c_str() + 2, NULL, 16) : strtol(v.c_str(), NULL, 10);
    }
    for (const auto &w : wanted) {
        ok(w.header == w.value, "korva_vb6.h: %s is %ld, callers rely on %ld", w.name, w.header, w.value);
        ok(bas.count(w.name) && bas[w.name] == w.value, "KORVA_VB6.bas: %s is %ld, callers rely on %ld", w.name,
           bas.count(w.name) ? bas[w.name] : -999L, w.value);
    }
}
