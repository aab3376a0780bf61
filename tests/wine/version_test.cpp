/* The DLL's version resource, read back as Windows shows it. */
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

#include "../harness/harness.h"
#include "dll.h"

namespace {

std::string string_value(std::vector<char> &info, const char *name)
{
    char *value = NULL;
    UINT len = 0;
    std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (!VerQueryValueA(info.data(), path.c_str(), (void **)&value, &len) || !value) return "(none)";
    return value;
}

} /* namespace */

TEST(version_resource)
{
    char path[MAX_PATH];
    GetModuleFileNameA(korva_module(), path, sizeof(path));
    DWORD handle = 0, size = GetFileVersionInfoSizeA(path, &handle);
    if (!ok(size > 0, "no version resource in %s (error %lu)", path, GetLastError())) return;
    std::vector<char> info(size);
    ok(GetFileVersionInfoA(path, 0, size, info.data()), "GetFileVersionInfoA: error %lu", GetLastError());

    VS_FIXEDFILEINFO *fixed = NULL;
    UINT len = 0;
    if (ok(VerQueryValueA(info.data(), "\\", (void **)&fixed, &len) && fixed, "no fixed file info")) {
        ok(fixed->dwSignature == 0xFEEF04BD, "signature %#lx", fixed->dwSignature);
        DWORD want_ms = ((KORVA_VB6_VERSION_NUMBER >> 16) << 16) | ((KORVA_VB6_VERSION_NUMBER >> 8) & 0xff);
        DWORD want_ls = (KORVA_VB6_VERSION_NUMBER & 0xff) << 16;
        ok(fixed->dwFileVersionMS == want_ms && fixed->dwFileVersionLS == want_ls, "file version %#lx.%#lx",
           fixed->dwFileVersionMS, fixed->dwFileVersionLS);
        ok(fixed->dwProductVersionMS == want_ms && fixed->dwProductVersionLS == want_ls, "product version");
        ok(fixed->dwFileType == VFT_DLL, "file type %lu", fixed->dwFileType);
    }
    ok(string_value(info, "OriginalFilename") == "KORVA_VB6.dll", "OriginalFilename %s",
       string_value(info, "OriginalFilename").c_str());
    ok(string_value(info, "FileVersion") == KORVA_VB6_VERSION, "FileVersion %s (header says %s)",
       string_value(info, "FileVersion").c_str(), KORVA_VB6_VERSION);
    ok(string_value(info, "ProductVersion") == KORVA_VB6_VERSION, "ProductVersion %s",
       string_value(info, "ProductVersion").c_str());
    ok(string_value(info, "FileDescription").find("Visual Basic") != std::string::npos, "FileDescription %s",
       string_value(info, "FileDescription").c_str());
    ok(string_value(info, "LegalCopyright") == "Copyright (C) 2026 Velmarcon", "LegalCopyright %s",
       string_value(info, "LegalCopyright").c_str());
    /* the commit the DLL was built from (the tests run in a git checkout) */
    std::string commit = string_value(info, "SourceCommit");
    std::string hash = commit.substr(0, commit.find('-'));
    ok(hash.size() == 40 && hash.find_first_not_of("0123456789abcdef") == std::string::npos &&
           (commit.size() == 40 || commit.substr(40) == "-modified"),
       "SourceCommit %s", commit.c_str());
}
