/*
 * KORVA_VB6.bas held to the DLL: every Declare names an export and pushes
 * exactly the bytes that export pops, and the route the module offers for the
 * C-convention logging entries works.  The sample project in examples/vb6,
 * which nothing here can compile, is held to the module: its project file
 * names every module, and each call it makes to the module's names reaches a
 * procedure that exists, with an argument count that procedure takes.
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
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
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

/* ------------------------------------------------------------------------
 * The sample project in examples/vb6, which nothing here can compile: its
 * project file names the module and the sample's own, and every call the
 * sample makes to one of the module's names (Korva..., KORVA_..., korva_...,
 * Q47_..., Kernel...; VB's own names are not followed) reaches a procedure
 * or constant that exists, with an argument count the procedure takes.
 */
namespace {

struct arity {
    int least, most;    /* most -1: a ParamArray */
};

/* The line without its comment, its strings emptied ("" stays ""). */
std::string code_of(const std::string &line)
{
    static const std::regex text(R"("([^"]|"")*")");
    std::string code = std::regex_replace(line, text, "\"\"");
    return code.substr(0, code.find('\''));
}

/* Procedures (with what they take) and constants of a module. */
void definitions(const std::vector<std::string> &lines, std::map<std::string, arity> &procs,
                 std::map<std::string, arity> &names)
{
    static const std::regex proc(R"(^\s*(Public\s+|Private\s+)?(Declare\s+)?(Sub|Function)\s+(\w+)[^(]*\((.*)\).*$)",
                                 std::regex::icase);
    static const std::regex constant(R"(^\s*(Public\s+|Private\s+)?Const\s+(\w+))", std::regex::icase);
    for (const std::string &line : lines) {
        std::string code = code_of(line);
        std::smatch m;
        if (std::regex_search(code, m, constant)) names[lower(m[2])] = {0, 0};
        if (!std::regex_match(code, m, proc)) continue;
        arity a = {0, 0};
        std::stringstream list(m[5].str());
        for (std::string arg; std::getline(list, arg, ',');) {
            if (trim(arg).empty()) continue;
            if (lower(trim(arg)).rfind("paramarray", 0) == 0) a.most = -1;
            if (a.most >= 0) a.most++;
            if (lower(trim(arg)).rfind("optional", 0) != 0) a.least++;
        }
        procs[lower(m[4])] = names[lower(m[4])] = a;
    }
}

/* Arguments in code[from..): within the parentheses opening there, or up to
 * the statement's end (a call written as a statement); -1 if none open. */
int count_arguments(const std::string &code, size_t from, bool statement)
{
    size_t i = code.find_first_not_of(" ", from);
    bool parens = i != std::string::npos && code[i] == '(';
    if (!parens && !statement) return -1;
    int depth = 0, commas = 0;
    bool any = false;
    for (i = parens ? i + 1 : from; i < code.size(); i++) {
        char c = code[i];
        if (c == '(') depth++;
        else if (c == ')' && depth-- == 0) break;
        else if (c == ':' && !depth && !parens) break;
        else if (c == ',' && !depth) commas++;
        any |= c != ' ';
    }
    return any ? commas + 1 : 0;
}

} /* namespace */

TEST(sample_project_matches_the_module)
{
    const std::string dir = KORVA_SOURCE_DIR "/examples/vb6";
    std::map<std::string, arity> procs, names;
    definitions(read_lines(KORVA_SOURCE_DIR "/vb6/KORVA_VB6.bas"), procs, names);
    const char *samples[] = {"Sample.bas"};
    for (const char *f : samples) definitions(read_lines((dir + "/" + f).c_str()), procs, names);
    ok(procs.count("korvasplit") && procs.count("main"), "the module's or the sample's procedures not read");

    std::string vbp;
    for (const std::string &l : read_lines((dir + "/KorvaSample.vbp").c_str())) vbp += l + "\n";
    ok(vbp.find("Module=KORVA_VB6; ..\\..\\vb6\\KORVA_VB6.bas\n") != std::string::npos &&
           vbp.find("Module=Sample; Sample.bas\n") != std::string::npos &&
           vbp.find("Startup=\"Sub Main\"\n") != std::string::npos,
       "KorvaSample.vbp does not name the module, the sample and Sub Main:\n%s", vbp.c_str());

    static const std::regex followed(R"(\b(Korva|KORVA_|korva_|Q47_|Kernel)\w*)", std::regex::icase);
    static const std::regex header(R"(^\s*(Public\s+|Private\s+)?(Sub|Function|Declare)\s)", std::regex::icase);
    for (const char *f : samples) {
        std::vector<std::string> lines = read_lines((dir + "/" + f).c_str());
        for (size_t i = 0; i < lines.size(); i++) {
            std::string code = code_of(lines[i]);
            if (std::regex_search(code, header)) continue;
            for (std::sregex_iterator m(code.begin(), code.end(), followed), end; m != end; ++m) {
                std::string name = lower(m->str());
                if (!ok(names.count(name), "%s line %u: %s is not defined by the module or the sample", f,
                        (unsigned)i + 1, m->str().c_str()))
                    continue;
                if (!procs.count(name)) continue;
                size_t at = m->position() + m->length();
                std::string before = trim(code.substr(0, m->position()));
                int n = count_arguments(code, at, before.empty() || lower(before) == "call");
                const arity &a = procs[name];
                if (n >= 0)
                    ok(n >= a.least && (a.most < 0 || n <= a.most), "%s line %u: %s is given %d arguments, takes %d to %d",
                       f, (unsigned)i + 1, m->str().c_str(), n, a.least, a.most);
            }
        }
    }
}
