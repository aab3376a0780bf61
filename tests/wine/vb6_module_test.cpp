/*
 * KORVA_VB6.bas and the sample project in examples/vb6, which nothing here
 * can compile, held to the rules of Visual Basic 6 that have bitten us, and
 * to the DLL: every Declare names an export and pushes exactly the bytes that
 * export pops; an argument for an array parameter is an array variable of
 * that type (VB6 refuses Array(...) or a Variant there); no Public name is
 * one that Windows API modules declare too ("Ambiguous name detected"); the
 * module's name is not the type library's; the project file's modules
 * resolve; every call reaches a procedure that takes that many arguments.
 * Each rule is shown to catch a mistake seeded into the real files.
 */
#include <stdarg.h>
#include <stdio.h>
#include <string.h>

#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
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

const std::string src = KORVA_SOURCE_DIR;
const std::string module_path = src + "/vb6/KORVA_VB6.bas", idl_path = src + "/vb6/KORVA_VB6.idl.in",
                  vbp_path = src + "/examples/vb6/KorvaSample.vbp", sample_path = src + "/examples/vb6/Sample.bas";

using lines_t = std::vector<std::string>;
using reader_t = std::function<lines_t(const std::string &)>;

lines_t read_lines(const std::string &path)
{
    lines_t lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::string trim(const std::string &s)
{
    size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
    return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

std::string lower(std::string s)
{
    for (char &c : s) c = (char)tolower((unsigned char)c);
    return s;
}

const std::regex::flag_type icase = std::regex::icase;

/* A logical line: continuations (" _") joined, the comment cut off. */
struct code_line {
    int number;
    std::string text;    /* strings as they are */
    std::string code;    /* strings emptied: "" */
};

std::vector<code_line> code_lines(const lines_t &lines)
{
    std::vector<code_line> out;
    for (size_t i = 0; i < lines.size(); i++) {
        code_line l = {(int)i + 1, "", ""};
        std::string joined = lines[i];
        while (joined.size() >= 2 && !joined.compare(joined.size() - 2, 2, " _") && i + 1 < lines.size())
            joined = joined.substr(0, joined.size() - 1) + lines[++i];
        bool quoted = false;
        for (char c : joined) {
            if (c == '"') quoted = !quoted;
            else if (c == '\'' && !quoted) break;
            l.text += c;
            if (!quoted || c == '"') l.code += c;
        }
        out.push_back(l);
    }
    return out;
}

/* Arguments split at the commas outside parentheses. */
std::vector<std::string> split_list(const std::string &list)
{
    std::vector<std::string> out;
    int depth = 0;
    std::string cur;
    for (char c : list) {
        if (c == '(') depth++;
        if (c == ')') depth--;
        if (c == ',' && !depth) {
            out.push_back(trim(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!trim(cur).empty() || !out.empty()) out.push_back(trim(cur));
    return out;
}

struct param {
    std::string name, type;
    bool by_ref, array, optional, param_array;
};

struct proc {
    std::string file, name, lib, returns;
    int line;
    bool is_declare, is_function;
    std::vector<param> params;
};

const std::regex header_re(
    R"re(^\s*(Public\s+|Private\s+|Friend\s+)?(Static\s+)?(Declare\s+)?(Sub|Function)\s+(\w+)(\s+Lib\s+"([^"]*)")?(\s+Alias\s+"[^"]*")?\s*\((.*?)\)(\s*As\s+(\w+)(\(\))?)?\s*$)re",
    icase);

struct project {
    std::map<std::string, proc> procs;           /* by lower-case name */
    std::set<std::string> names;                 /* procedures and constants, lower case */
    std::map<std::string, std::vector<code_line>> files;
};

void problem(std::vector<std::string> &out, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void problem(std::vector<std::string> &out, const char *fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof(buf), fmt, ap);
    va_end(ap);
    out.push_back(buf);
}

void read_definitions(project &p, const std::string &file, std::vector<std::string> &out)
{
    static const std::regex param_re(
        R"(^(Optional\s+)?(ByVal\s+|ByRef\s+)?(ParamArray\s+)?(\w+)\s*(\(\))?(\s+As\s+(\w+))?(\s*=.*)?$)", icase);
    static const std::regex const_re(R"(^\s*(Public\s+|Private\s+)?Const\s+(\w+))", icase);
    for (const code_line &l : p.files[file]) {
        std::smatch m;
        if (std::regex_search(l.code, m, const_re)) p.names.insert(lower(m[2]));
        if (!std::regex_match(l.text, m, header_re)) continue;
        proc d = {file, m[5], m[7], m[11], l.number, m[3].matched, lower(m[4]) == "function", {}};
        if (m[8].matched) problem(out, "%s:%d: %s uses an Alias", file.c_str(), l.number, d.name.c_str());
        for (const std::string &a : split_list(m[9])) {
            std::smatch pm;
            if (!std::regex_match(a, pm, param_re)) {
                problem(out, "%s:%d: %s: cannot read parameter '%s'", file.c_str(), l.number, d.name.c_str(), a.c_str());
                continue;
            }
            d.params.push_back({pm[4], pm[7].matched ? pm[7].str() : "Variant", lower(trim(pm[2])) != "byval",
                                pm[5].matched, pm[1].matched, pm[3].matched});
        }
        p.names.insert(lower(d.name));
        p.procs[lower(d.name)] = d;
    }
}

/* Bytes a Declare pushes: 4 per Long, String or ByRef, 16 per ByVal Variant. */
int pushed_bytes(const proc &d, std::vector<std::string> &out)
{
    int bytes = 0;
    for (const param &a : d.params) {
        std::string type = lower(a.type);
        if (a.by_ref) bytes += 4;
        else if (type == "long" || type == "string") bytes += 4;
        else if (type == "variant") bytes += 16;
        else {
            problem(out, "%s:%d: %s: ByVal %s is not a type this DLL takes", d.file.c_str(), d.line, d.name.c_str(),
                    a.type.c_str());
            return -1;
        }
    }
    return bytes;
}

/* The Declares of KORVA_VB6.dll against the export table. */
void check_declares(const project &p, std::vector<std::string> &out)
{
    std::map<std::string, int> seen;
    for (const auto &kv : p.procs) {
        const proc &d = kv.second;
        if (!d.is_declare || lower(d.lib) != "korva_vb6.dll") continue;
        seen[d.name]++;
        const export_row *row = find_export(d.name.c_str());
        if (!row) {
            problem(out, "%s:%d: %s is not an export of the DLL", d.file.c_str(), d.line, d.name.c_str());
            continue;
        }
        if (row->conv == CDECL_VARARGS) {
            problem(out, "%s:%d: %s is __cdecl and cannot be declared", d.file.c_str(), d.line, d.name.c_str());
            continue;
        }
        int bytes = pushed_bytes(d, out);
        if (bytes >= 0 && bytes != row->arg_bytes)
            problem(out, "%s:%d: %s pushes %d bytes, the export pops %d", d.file.c_str(), d.line, d.name.c_str(),
                    bytes, row->arg_bytes);
        bool variant_result = lower(d.returns) == "variant";
        if (d.is_function && !variant_result && lower(d.returns) != "long")
            problem(out, "%s:%d: %s returns %s", d.file.c_str(), d.line, d.name.c_str(), d.returns.c_str());
        if (variant_result != (row->conv == STDCALL_VARIANT))
            problem(out, "%s:%d: %s: result type does not match", d.file.c_str(), d.line, d.name.c_str());
    }
    for (const export_row &row : exports) {
        int count = seen.count(row.name) ? seen[row.name] : 0;
        if (count != (row.conv == CDECL_VARARGS ? 0 : 1)) problem(out, "%s is declared %d times", row.name, count);
    }
}

/* Public names that a Windows API module declares too. */
void check_public_names(const project &p, const std::string &file, std::vector<std::string> &out)
{
    static const std::regex windows_prefix(R"(^(KEY_|ERROR_|HKEY_))", icase);
    static const std::regex public_re(
        R"(^\s*(Public|Global)\s+(Declare\s+(Sub|Function)\s+|Const\s+|Sub\s+|Function\s+|Enum\s+|Type\s+)?(\w+))", icase);
    std::set<std::string> windows = {"lstrlena", "rtlmovememory", "copymemory", "localfree", "getmodulehandlea",
                                     "loadlibrarya", "loadlibraryexa", "getprocaddress", "freelibrary", "dispcallfunc"};
    for (const auto &kv : p.procs)
        if (kv.second.is_declare && lower(kv.second.lib) != "korva_vb6.dll") windows.insert(kv.first);
    for (const code_line &l : p.files.at(file)) {
        std::smatch m;
        std::string name;
        if (std::regex_search(l.code, m, public_re)) name = m[4];
        else if (std::regex_match(l.text, m, header_re) && !m[1].matched) name = m[5];    /* Public by default */
        if (!name.empty() && (std::regex_search(name, windows_prefix) || windows.count(lower(name))))
            problem(out, "%s:%d: Public %s is a name Windows API modules declare too", file.c_str(), l.number,
                    name.c_str());
    }
}

/* The variable arg is declared as an array of type in the file. */
bool array_of(const std::vector<code_line> &lines, const std::string &arg, const std::string &type)
{
    std::regex decl("\\b" + arg + R"(\s*\([^()]*\)\s+As\s+(\w+))", icase);
    static const std::regex declaring(R"(^\s*(Dim|Private|Public|Static|Global|ReDim)\b)", icase);
    for (const code_line &l : lines) {
        std::smatch m;
        if ((std::regex_search(l.code, declaring) || std::regex_match(l.text, header_re)) &&
            std::regex_search(l.code, m, decl))
            return lower(m[1]) == lower(type);
    }
    return false;
}

/* Every call of a known procedure: defined, the argument count it takes, an
 * array variable of the parameter's type for an array parameter. */
void check_calls(const project &p, const std::string &file, std::vector<std::string> &out)
{
    static const std::regex word(R"(\b[A-Za-z]\w*)");
    static const std::regex followed(R"(^(Korva|KORVA_|korva_|Q47_|Kernel))", icase);
    const std::vector<code_line> &lines = p.files.at(file);
    for (const code_line &l : lines) {
        if (std::regex_match(l.text, header_re)) continue;
        const std::string &code = l.code;
        for (std::sregex_iterator m(code.begin(), code.end(), word), end; m != end; ++m) {
            std::string name = lower(m->str());
            size_t at = m->position(), after = at + m->length();
            if (at > 0 && code[at - 1] == '.') continue;
            if (!p.names.count(name)) {
                if (std::regex_search(m->str(), followed))
                    problem(out, "%s:%d: %s is not defined", file.c_str(), l.number, m->str().c_str());
                continue;
            }
            if (!p.procs.count(name)) continue;
            const proc &d = p.procs.at(name);
            size_t next = code.find_first_not_of(' ', after);
            if (next != std::string::npos && code[next] == '=') continue;    /* the function's result */
            std::string before = lower(trim(code.substr(0, at)));
            bool parens = next != std::string::npos && code[next] == '(';
            if (!parens && !before.empty() && before != "call") continue;
            std::string list;
            if (parens) {
                int depth = 0;
                for (size_t i = next + 1; i < code.size() && !(code[i] == ')' && depth-- == 0); i++) {
                    if (code[i] == '(') depth++;
                    list += code[i];
                }
            } else {
                list = code.substr(after, code.find(':', after) - after);
            }
            std::vector<std::string> args = split_list(list);
            size_t least = 0, most = d.params.size();
            for (const param &a : d.params) least += !a.optional && !a.param_array;
            if (!d.params.empty() && d.params.back().param_array) most = 1000;
            if (args.size() < least || args.size() > most)
                problem(out, "%s:%d: %s is given %u arguments, takes %u to %u", file.c_str(), l.number,
                        d.name.c_str(), (unsigned)args.size(), (unsigned)least, (unsigned)most);
            for (size_t i = 0; i < args.size() && i < d.params.size(); i++) {
                const param &a = d.params[i];
                if (!a.array || a.param_array) continue;
                std::string arg = args[i];
                if (arg.size() > 2 && arg.substr(arg.size() - 2) == "()") arg.resize(arg.size() - 2);
                if (!std::regex_match(arg, std::regex(R"(\w+)")) || !array_of(lines, arg, a.type))
                    problem(out, "%s:%d: %s passes %s to %s() As %s, which takes an array variable of %s only",
                            file.c_str(), l.number, d.name.c_str(), args[i].c_str(), a.name.c_str(),
                            a.type.c_str(), a.type.c_str());
            }
        }
    }
}

std::string vb_name(const std::vector<code_line> &lines)
{
    static const std::regex re(R"re(^Attribute\s+VB_Name\s*=\s*"(\w+)"\s*$)re", icase);
    std::smatch m;
    return !lines.empty() && std::regex_match(lines[0].text, m, re) ? m[1].str() : "";
}

/* What is wrong with the sample project and the module it includes. */
std::vector<std::string> project_problems(const reader_t &read)
{
    std::vector<std::string> out;
    project p;
    std::string dir = vbp_path.substr(0, vbp_path.rfind('/') + 1), startup;
    std::vector<std::string> modules;
    for (const std::string &l : read(vbp_path)) {
        static const std::regex module_re(R"(^Module=(\w+);\s*(.+)$)"), startup_re(R"re(^Startup="Sub (\w+)"$)re");
        std::smatch m;
        if (std::regex_match(l, m, startup_re)) startup = lower(m[1]);
        if (!std::regex_match(l, m, module_re)) continue;
        std::string path = dir + std::regex_replace(m[2].str(), std::regex(R"(\\)"), "/");
        for (std::string up; (up = std::regex_replace(path, std::regex(R"(/[^/.][^/]*/\.\./)"), "/",
                                                      std::regex_constants::format_first_only)) != path;)
            path = up;
        p.files[path] = code_lines(read(path));
        if (p.files[path].empty()) problem(out, "KorvaSample.vbp: Module %s: %s not found", m[1].str().c_str(), m[2].str().c_str());
        else if (vb_name(p.files[path]) != m[1].str())
            problem(out, "KorvaSample.vbp: Module %s, but %s says Attribute VB_Name \"%s\"", m[1].str().c_str(),
                    m[2].str().c_str(), vb_name(p.files[path]).c_str());
        modules.push_back(path);
    }
    if (!p.files.count(module_path)) problem(out, "KorvaSample.vbp does not include KORVA_VB6.bas");
    for (const std::string &f : modules) read_definitions(p, f, out);
    if (!p.procs.count(startup) || p.procs[startup].is_function)
        problem(out, "KorvaSample.vbp: no Sub %s to start with", startup.c_str());

    static const std::regex typelib_re(R"(^\s*(library|module)\s+(\w+))");
    for (const code_line &l : code_lines(read(idl_path))) {
        std::smatch m;
        if (std::regex_search(l.text, m, typelib_re))
            for (const std::string &f : modules)
                if (lower(vb_name(p.files[f])) == lower(m[2]))
                    problem(out, "%s: VB_Name %s is the type library's %s name", f.c_str(), m[2].str().c_str(),
                            m[1].str().c_str());
    }
    check_declares(p, out);
    for (const std::string &f : modules) {
        if (vb_name(p.files[f]).empty()) problem(out, "%s: no Attribute VB_Name on its first line", f.c_str());
        bool option_explicit = false;
        for (const code_line &l : p.files[f]) option_explicit |= lower(trim(l.code)) == "option explicit";
        if (!option_explicit) problem(out, "%s: no Option Explicit", f.c_str());
        check_public_names(p, f, out);
        check_calls(p, f, out);
    }
    return out;
}

} /* namespace */

TEST(project_follows_the_vb6_rules)
{
    std::vector<std::string> found = project_problems(read_lines);
    ok(found.empty(), "%u problems", (unsigned)found.size());
    for (const std::string &s : found) ok(0, "%s", s.c_str());
}

TEST(vb6_rules_catch_seeded_mistakes)
{
    static const struct {
        const std::string &file;
        const char *from, *to, *expected;
    } seeds[] = {
        {module_path, "ByVal Args As Variant)", "Args() As Variant)", "passes Array("},
        {sample_path, "Dim Delims(0 To 1) As String", "Dim Delims As Variant", "passes Delims to Delimiters()"},
        {module_path, "Public Const KORVA_KEY_WOW64_32KEY", "Public Const KEY_WOW64_32KEY", "Public KEY_WOW64_32KEY"},
        {module_path, "Private Declare Function LoadLibraryA", "Declare Function LoadLibraryA", "Public LoadLibraryA"},
        {module_path, "Attribute VB_Name = \"modKorvaVB6\"", "Attribute VB_Name = \"KORVA_VB6\"", "type library's"},
        {module_path, "Attribute VB_Name = \"modKorvaVB6\"", "", "no Attribute VB_Name"},
        {vbp_path, "Module=Sample; Sample.bas", "Module=Sample; Samples.bas", "Samples.bas not found"},
        {module_path, ", ByRef Result As Long, ByRef Status As Long)", ", ByRef Result As Long)",
         "korva_atoi pushes 8 bytes, the export pops 12"},
        {module_path, "Declare Function korva_lefttrim Lib", "Declare Function korva_lefttrm Lib", "not an export"},
        {sample_path, "FieldToLong(Fields(1), 0)", "FieldToLong(Fields(1))", "FieldToLong is given 1 arguments"},
    };
    for (const auto &s : seeds) {
        const std::string &target = s.file;
        bool seeded = false;
        reader_t read = [&](const std::string &path) {
            lines_t lines = read_lines(path);
            if (path != target) return lines;
            for (std::string &l : lines) {
                size_t at = l.find(s.from);
                if (at != std::string::npos && !seeded) {
                    l.replace(at, strlen(s.from), s.to);
                    seeded = true;
                }
            }
            return lines;
        };
        std::vector<std::string> found = project_problems(read);
        if (!ok(seeded, "'%s' is not in %s", s.from, target.c_str())) continue;
        bool caught = false;
        for (const std::string &f : found) caught |= f.find(s.expected) != std::string::npos;
        ok(caught, "seeding '%s' -> '%s' in %s: no problem says '%s' (%u others)", s.from, s.to, target.c_str(),
           s.expected, (unsigned)found.size());
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
    for (const std::string &line : read_lines(module_path)) {
        std::smatch m;
        if (!std::regex_match(line, m, re)) continue;
        std::string v = m[2];
        bas[m[1]] = v[0] == '&' ? strtol(v.c_str() + 2, NULL, 16) : strtol(v.c_str(), NULL, 10);
    }
    for (const auto &w : wanted) {
        /* the module's own names carry its prefix */
        std::string n = strncmp(w.name, "KORVA_", 6) ? std::string("KORVA_") + w.name : w.name;
        ok(w.header == w.value, "korva_vb6.h: %s is %ld, callers rely on %ld", w.name, w.header, w.value);
        ok(bas.count(n) && bas[n] == w.value, "KORVA_VB6.bas: %s is %ld, callers rely on %ld", n.c_str(),
           bas.count(n) ? bas[n] : -999L, w.value);
    }
}
