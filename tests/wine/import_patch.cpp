#include <string.h>

#include "import_patch.h"

namespace {

/* The import address table slot for dll!function, found through the import
 * name table (GNU ld and MSVC both keep it), or NULL. */
void **import_slot(HMODULE module, const char *dll, const char *function)
{
    BYTE *base = reinterpret_cast<BYTE *>(module);
    const IMAGE_DOS_HEADER *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const IMAGE_NT_HEADERS32 *nt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress) return NULL;

    for (const IMAGE_IMPORT_DESCRIPTOR *d =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress);
         d->Name; d++) {
        if (lstrcmpiA(reinterpret_cast<const char *>(base + d->Name), dll)) continue;
        if (!d->OriginalFirstThunk) return NULL;
        const IMAGE_THUNK_DATA32 *names =
            reinterpret_cast<const IMAGE_THUNK_DATA32 *>(base + d->OriginalFirstThunk);
        IMAGE_THUNK_DATA32 *slots = reinterpret_cast<IMAGE_THUNK_DATA32 *>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; names++, slots++) {
            if (IMAGE_SNAP_BY_ORDINAL32(names->u1.Ordinal)) continue;
            const IMAGE_IMPORT_BY_NAME *by_name =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (!strcmp(reinterpret_cast<const char *>(by_name->Name), function))
                return reinterpret_cast<void **>(&slots->u1.Function);
        }
    }
    return NULL;
}

void write_slot(void **slot, void *value)
{
    DWORD protection;
    VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection);
    *slot = value;
    VirtualProtect(slot, sizeof(*slot), protection, &protection);
}

} /* namespace */

import_patch::import_patch(HMODULE module, const char *dll, const char *function, void *replacement)
    : slot_(import_slot(module, dll, function)), original_(NULL)
{
    if (!slot_) return;
    original_ = *slot_;
    write_slot(slot_, replacement);
}

import_patch::~import_patch()
{
    if (slot_) write_slot(slot_, original_);
}
