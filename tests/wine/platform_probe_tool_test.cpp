/* korva_probe, the support engineer's diagnostic: run as a child in several
 * set-ups, its table read back row by row. */
#include <string.h>

#include <sstream>
#include <string>
#include <vector>

#include <windows.h>

#include "../harness/harness.h"
#include "child_process.h"
#include "platform_env.h"

namespace {

struct row {
    bool found = false;
    std::string answer, meaning;
};

/* The row whose export column is export_name: "probe  export  answer  meaning". */
row find_row(const std::string &out, const char *export_name)
{
    row r;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string token = std::string(" ") + export_name + " ";
        size_t at = line.find(token);
        if (at == std::string::npos) continue;
        std::istringstream rest(line.substr(at + token.size()));
        rest >> r.answer;
        std::getline(rest, r.meaning);
        r.meaning.erase(0, r.meaning.find_first_not_of(' '));
        r.found = true;
    }
    return r;
}

struct expected_row {
    const char *export_name, *answer, *meaning;
};

void check_table(const char *setup, const std::string &out, const std::vector<expected_row> &rows)
{
    ok(out.find("KORVA_VB6.dll platform probes") != std::string::npos, "%s: no title:\n%s", setup, out.c_str());
    ok(out.find("\\KORVA_VB6.dll\r\n") != std::string::npos || out.find("\\KORVA_VB6.dll\n") != std::string::npos,
       "%s: module path not shown", setup);
    for (const expected_row &e : rows) {
        row r = find_row(out, e.export_name);
        if (!ok(r.found, "%s: no row for %s:\n%s", setup, e.export_name, out.c_str())) continue;
        ok(r.answer == e.answer, "%s: %s answers %s, want %s", setup, e.export_name, r.answer.c_str(), e.answer);
        ok(r.meaning.find(e.meaning) != std::string::npos, "%s: %s means '%s', want '%s'", setup,
           e.export_name, r.meaning.c_str(), e.meaning);
    }
}

const std::string tool = "\"" + beside_self("korva_probe.exe") + "\"";

} /* namespace */

TEST(plain_machine)
{
    bool win64 = system_is_64bit();
    product_key_scope scope;
    std::string out;
    int rc = run_program(tool, {{"KORVA_STANDIN_VN35", NULL}}, &out);
    ok(rc == 0, "korva_probe exited with %d:\n%s", rc, out.c_str());
    check_table("no product key, no 64-bit VN35", out, {
        {"KORVA_UTILS_ISUSERADMINISTRATOR", "1", "lists the local Administrators group"},
        {"KORVA_IsWow64", win64 ? "1" : "0", win64 ? "32-bit process on 64-bit Windows" : "32-bit Windows"},
        {"KORVA_MyWow64Disable/Revert", win64 ? "1/1" : "0/0",
         win64 ? "switched off and back on" : "cannot be switched off"},
        {"KORVA_isVN35_64Bit", "0", "no current 64-bit VN35 installation"},
        {"GetKorvaRegSamViewFlag", "0x200", "KEY_WOW64_32KEY: 32-bit view (HKLM\\SOFTWARE\\Velmarcon\\KORVA not found"},
        {"GetVn35RegSamViewFlag", win64 ? "0x200" : "0x000",
         win64 ? "KEY_WOW64_32KEY: 32-bit view (no 64-bit VN35, under WOW64)" : "default view of this process (not under WOW64)"},
    });
}

TEST(product_key_and_64bit_vn35)
{
    bool win64 = system_is_64bit();
    product_key_scope scope;
    if (!ok(product_key_create(KEY_WOW64_32KEY), "cannot create the product key")) return;
    std::string out;
    int rc = run_program(tool, {{"KORVA_STANDIN_VN35", "1"}}, &out);
    ok(rc == 0, "korva_probe exited with %d:\n%s", rc, out.c_str());
    check_table("product key, 64-bit VN35", out, {
        {"KORVA_isVN35_64Bit", "1", "reports a current 64-bit VN35 installation"},
        {"GetKorvaRegSamViewFlag", "0x000", "default view of this process (HKLM\\SOFTWARE\\Velmarcon\\KORVA found"},
        {"GetVn35RegSamViewFlag", win64 ? "0x100" : "0x000",
         win64 ? "KEY_WOW64_64KEY: 64-bit view (64-bit VN35 under WOW64)" : "default view of this process"},
    });
}

TEST(module_missing)
{
    char dir[MAX_PATH];
    GetTempPathA(sizeof(dir), dir);
    std::string copy = std::string(dir) + "korva_probe_alone.exe";
    if (!ok(CopyFileA(beside_self("korva_probe.exe").c_str(), copy.c_str(), FALSE),
            "cannot copy korva_probe.exe to %s: %lu", dir, GetLastError()))
        return;
    std::string out;
    int rc = run_program("\"" + copy + "\"", {{"PATH", "C:\\windows\\system32"}}, &out);
    DeleteFileA(copy.c_str());
    ok(rc == 1, "exit code %d without the module", rc);
    ok(out.find("cannot load KORVA_VB6.dll") != std::string::npos, "output:\n%s", out.c_str());
}
