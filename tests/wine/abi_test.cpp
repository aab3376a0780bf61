/*
 * The module as a Visual Basic 6 program sees it: a PE32 i386 DLL whose
 * export table holds exactly the expected names, each bound by name and
 * popping exactly its arguments' bytes, and whose imports are Windows system
 * DLLs and the two host libraries only.
 */
#include <ctype.h>
#include <stdint.h>
#include <string.h>

#include <set>
#include <vector>
#include <string>

#include <windows.h>

#include "../harness/harness.h"
#include "dll.h"
#include "exports.h"


namespace {


const IMAGE_NT_HEADERS32 *nt_headers(HMODULE module)
{
    const BYTE *base = reinterpret_cast<const BYTE *>(module);
    const IMAGE_DOS_HEADER *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    return reinterpret_cast<const IMAGE_NT_HEADERS32 *>(base + dos->e_lfanew);
}

template <typename T> const T *at_rva(HMODULE module, DWORD rva)
{
    return reinterpret_cast<const T *>(reinterpret_cast<const BYTE *>(module) + rva);
}

std::string lower(std::string s)
{
    for (char &c : s) c = (char)tolower((unsigned char)c);
    return s;
}

} /* namespace */

TEST(image_is_pe32_i386)
{
    const IMAGE_NT_HEADERS32 *nt = nt_headers(korva_module());
    ok(nt->Signature == IMAGE_NT_SIGNATURE, "signature %#lx", nt->Signature);
    ok(nt->FileHeader.Machine == IMAGE_FILE_MACHINE_I386, "machine %#x", nt->FileHeader.Machine);
    ok(nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC, "optional header magic %#x",
       nt->OptionalHeader.Magic);
    ok(nt->FileHeader.Characteristics & IMAGE_FILE_DLL, "not a DLL: %#x", nt->FileHeader.Characteristics);
}

TEST(export_table_is_exactly_the_list)
{
    HMODULE module = korva_module();
    const IMAGE_DATA_DIRECTORY &dir =
        nt_headers(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (!ok(dir.VirtualAddress && dir.Size, "no export directory")) return;

    const IMAGE_EXPORT_DIRECTORY *exp = at_rva<IMAGE_EXPORT_DIRECTORY>(module, dir.VirtualAddress);
    ok(!strcmp(at_rva<char>(module, exp->Name), "KORVA_VB6.dll"), "module name %s",
       at_rva<char>(module, exp->Name));
    /* a linker may leave the slot of ordinal 0 empty (address 0): only real entries count */
    const DWORD *functions = at_rva<DWORD>(module, exp->AddressOfFunctions);
    DWORD nfunctions = 0;
    for (DWORD i = 0; i < exp->NumberOfFunctions; i++) nfunctions += functions[i] != 0;
    ok(nfunctions == exp->NumberOfNames,
       "%lu functions but %lu names: exports without a name", nfunctions, exp->NumberOfNames);

    std::set<std::string> names, wanted;
    const DWORD *name_rvas = at_rva<DWORD>(module, exp->AddressOfNames);
    for (DWORD i = 0; i < exp->NumberOfNames; i++) names.insert(at_rva<char>(module, name_rvas[i]));
    for (const export_row &row : exports) wanted.insert(row.name);

    for (const std::string &name : names)
        ok(wanted.count(name), "unexpected export %s (decorated or stray)", name.c_str());
    for (const std::string &name : wanted)
        ok(names.count(name), "missing export %s", name.c_str());
}

TEST(each_export_pops_its_arguments)
{
    VARIANT result;
    for (const export_row &row : exports) {
        void *fn = reinterpret_cast<void *>(korva_proc(row.name));
        if (!ok(fn != NULL, "GetProcAddress(%s) failed", row.name)) continue;

        uint32_t args[9] = {0};
        int32_t nwords = row.arg_bytes / 4, want = row.conv == CDECL_VARARGS ? 0 : row.arg_bytes;
        if (row.conv == STDCALL_VARIANT) {
            args[0] = (uint32_t)(uintptr_t)&result;
            nwords++;
            want += 4;
        }
        uint32_t eax = 0;
        int32_t popped = abi_call(fn, args, nwords, &eax, 0);
        ok(popped == want, "%s popped %d bytes, want %d", row.name, popped, want);
        if (row.conv == STDCALL_VARIANT) {
            ok(eax == args[0], "%s returned %#x in EAX, not the hidden pointer", row.name, eax);
            VariantClear(&result);
        }
    }
}

TEST(imports_only_system_and_host_libraries)
{
    static const char *const allowed[] = {
        "kernel32.dll", "advapi32.dll", "oleaut32.dll", "msvcrt.dll", "user32.dll",
        "korva.dll", "libq47.dll",
    };
    HMODULE module = korva_module();
    const IMAGE_DATA_DIRECTORY &dir =
        nt_headers(module)->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!ok(dir.VirtualAddress != 0, "no import directory")) return;

    std::set<std::string> seen;
    for (const IMAGE_IMPORT_DESCRIPTOR *d = at_rva<IMAGE_IMPORT_DESCRIPTOR>(module, dir.VirtualAddress);
         d->Name; d++) {
        std::string name = lower(at_rva<char>(module, d->Name));
        seen.insert(name);
        bool known = false;
        for (const char *a : allowed) known |= name == a;
        ok(known, "imports %s", name.c_str());
    }
    ok(seen.count("korva.dll") && seen.count("libq47.dll"), "the host libraries are not imported");
}

/* The tokenizer's SSE2 code keeps vectors on the stack, which must then be
 * 16-byte aligned; a Visual Basic program's stack is aligned to 4 bytes.
 * Each kernel, quotes off and on, and the second round's count, called at
 * each alignment, must give what an aligned call gives. */
TEST(parsebuf_runs_on_a_stack_of_any_alignment)
{
    static const struct {
        const char *delims;     /* each delimiter and its NUL */
        int32_t ndelim;
    } lists[] = {
        {",", 1}, {",\0;", 2}, {"::", 1}, {";\0::\0, ", 3}, {"::\0->", 2}, {"::\0->\0=>", 3}, {"abc", 1},
    };
    std::string line;
    for (int k = 0; k < 4; k++) line += "alpha,\"be,ta\";gamma::delta, eps->zeta=>eta abc theta,\"io\"ta,";
    void *fn = reinterpret_cast<void *>(korva_proc("korva_parsebuf"));
    if (!ok(fn != NULL, "GetProcAddress(korva_parsebuf) failed")) return;

    for (const auto &list : lists) {
        std::string short_fields;    /* more than the first guess: a second round */
        for (int k = 0; k < 300; k++) short_fields += std::string("x") + list.delims;
        for (const std::string *text : {&line, &short_fields})
            for (int32_t quote = 0; quote < 2; quote++) {
                std::vector<std::string> want;
                for (int32_t skew = 0; skew < 16; skew += 4) {
                    char **tokens = NULL;
                    int32_t count = -1, status = -1;
                    const uint32_t args[7] = {(uint32_t)(uintptr_t)text->c_str(), (uint32_t)(uintptr_t)&tokens,
                                              (uint32_t)(uintptr_t)&count, (uint32_t)list.ndelim,
                                              (uint32_t)(uintptr_t)list.delims, (uint32_t)quote,
                                              (uint32_t)(uintptr_t)&status};
                    uint32_t eax;
                    ok(abi_call(fn, args, 7, &eax, skew) == 28, "popped");
                    std::vector<std::string> got;
                    for (int32_t t = 0; t < count; t++) got.push_back(tokens[t]);
                    if (!skew) {
                        want = got;
                        ok(status == KORVA_PARSE_OK && count > 1, "list %s quote %d: status %d, %d tokens",
                           list.delims, quote, status, count);
                    }
                    ok(got == want, "list %s quote %d, stack 16n-%d: %d tokens, want %d", list.delims, quote,
                       skew, count, (int)want.size());
                }
            }
    }
}
