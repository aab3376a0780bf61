/* KORVA_VB6.tlb: one function per stdcall export, each bound to the right
 * entry of KORVA_VB6.dll, with the export's parameter count and types a
 * Visual Basic 6 project can use. */
#include <string.h>

#include <set>
#include <string>

#include <windows.h>

#include "../harness/harness.h"
#include "dll.h"
#include "exports.h"

namespace {

std::string narrow(const wchar_t *w)
{
    std::string s;
    for (; w && *w; w++) s += (char)*w;
    return s;
}

bool usable_param(VARTYPE vt, const TYPEDESC &td)
{
    if (vt == VT_PTR) return td.lptdesc && td.lptdesc->vt == VT_I4;   /* a Long by reference */
    return vt == VT_LPSTR || vt == VT_I4 || vt == VT_VARIANT;
}

} /* namespace */

TEST(module_functions_match_the_exports)
{
    ITypeLib *lib = NULL;
    HRESULT hr = LoadTypeLibEx(L"" KORVA_BINARY_DIR "/bin/KORVA_VB6.tlb", REGKIND_NONE, &lib);
    if (!ok(hr == S_OK && lib, "LoadTypeLibEx: %#lx", hr)) return;

    TLIBATTR *la = NULL;
    if (ok(lib->GetLibAttr(&la) == S_OK && la, "GetLibAttr")) {
        ok(la->wMajorVerNum == (KORVA_VB6_VERSION_NUMBER >> 16) &&
               la->wMinorVerNum == ((KORVA_VB6_VERSION_NUMBER >> 8) & 0xff),
           "library version %u.%u, the header says %s", la->wMajorVerNum, la->wMinorVerNum, KORVA_VB6_VERSION);
        lib->ReleaseTLibAttr(la);
    }

    ITypeInfo *module = NULL;
    for (UINT i = 0; i < lib->GetTypeInfoCount(); i++) {
        TYPEKIND kind;
        if (lib->GetTypeInfoType(i, &kind) == S_OK && kind == TKIND_MODULE) lib->GetTypeInfo(i, &module);
    }
    if (!ok(module != NULL, "no module in the type library")) {
        lib->Release();
        return;
    }

    TYPEATTR *attr = NULL;
    module->GetTypeAttr(&attr);
    std::set<std::string> described;
    for (UINT f = 0; f < attr->cFuncs; f++) {
        FUNCDESC *fd = NULL;
        if (!ok(module->GetFuncDesc(f, &fd) == S_OK, "GetFuncDesc(%u)", f)) continue;

        BSTR name = NULL, dll = NULL, entry = NULL;
        WORD ordinal = 0;
        module->GetDocumentation(fd->memid, &name, NULL, NULL, NULL);
        hr = module->GetDllEntry(fd->memid, INVOKE_FUNC, &dll, &entry, &ordinal);
        std::string n = narrow(name), e = narrow(entry);
        described.insert(n);

        ok(hr == S_OK && narrow(dll) == "KORVA_VB6.dll", "%s: dll %s (hr %#lx)", n.c_str(), narrow(dll).c_str(), hr);
        ok(e == n, "%s: entry %s", n.c_str(), e.c_str());
        ok(korva_proc(e.c_str()) != NULL, "%s: the DLL has no entry %s", n.c_str(), e.c_str());
        ok(fd->callconv == CC_STDCALL, "%s: calling convention %d", n.c_str(), fd->callconv);

        const export_row *row = find_export(e.c_str());
        if (ok(row && row->conv != CDECL_VARARGS, "%s: not a stdcall export", n.c_str())) {
            int want = row->conv == STDCALL_VARIANT ? row->arg_bytes / 16 : row->arg_bytes / 4;
            ok(fd->cParams == want, "%s: %d parameters, the export takes %d", n.c_str(), fd->cParams, want);
            VARTYPE ret = fd->elemdescFunc.tdesc.vt;
            ok(ret == (row->conv == STDCALL_VARIANT ? VT_VARIANT : ret == VT_VOID ? VT_VOID : VT_I4),
               "%s: returns vt %d", n.c_str(), ret);
        }
        for (SHORT p = 0; p < fd->cParams; p++) {
            const TYPEDESC &td = fd->lprgelemdescParam[p].tdesc;
            ok(usable_param(td.vt, td), "%s: parameter %d has vt %d", n.c_str(), p, td.vt);
        }
        SysFreeString(name);
        SysFreeString(dll);
        SysFreeString(entry);
        module->ReleaseFuncDesc(fd);
    }

    for (const export_row &row : exports)
        ok(described.count(row.name) == (row.conv == CDECL_VARARGS ? 0u : 1u), "%s described %u times",
           row.name, (unsigned)described.count(row.name));
    module->ReleaseTypeAttr(attr);
    module->Release();
    lib->Release();
}
