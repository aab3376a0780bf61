/*
 * Load, use, unload, again and again, as hosts that load a DLL for one task
 * do: the process must not grow with the cycles.  The module frees its
 * retained token list when FreeLibrary unloads it, and the stand-in host
 * libraries, which load and unload with it here, free what they keep.
 *
 * This program does not link the stand-ins: they come and go with the
 * module.  The first case pins them (loads them itself) so that the module's
 * own memory is measured; the second lets them unload with it.
 * KORVA_SOAK=full (scripts/soak.sh) runs the long counts.
 */
#include <stdio.h>
#include <string.h>

#include <string>

#include <windows.h>

#include "../harness/harness.h"
#include "korva_vb6.h"
#include "process_health.h"

namespace {

/* growth allowed per cycle, in bytes: a token block left behind is 96 KiB
 * for the 64 KiB line, the stand-ins' state and runtime reserve 37 KiB */
const long per_cycle_slack = 1024;

int cycles() { return soak_full() ? 2000 : 200; }

template <typename F> F bind(HMODULE m, F, const char *name)
{
    return reinterpret_cast<F>(reinterpret_cast<void *>(GetProcAddress(m, name)));
}
#define BIND(m, fn) bind(m, &fn, #fn)

/* Bytes allocated in all of the process's heaps (msvcrt's malloc, the
 * loader's, the stand-ins').  This, not the resident size, is the measure:
 * it counts what a library keeps after its unload and nothing else, also
 * where Wine runs under an emulator whose own memory grows with every new
 * mapping of a DLL's code. */
size_t heap_bytes()
{
    HANDLE heaps[64];
    DWORD n = GetProcessHeaps(64, heaps);
    size_t busy = 0;
    for (DWORD i = 0; i < n && i < 64; i++) {
        PROCESS_HEAP_ENTRY e;
        e.lpData = NULL;
        if (!HeapLock(heaps[i])) continue;
        while (HeapWalk(heaps[i], &e))
            if (e.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += e.cbData;
        HeapUnlock(heaps[i]);
    }
    return busy;
}

/* One cycle: load, use, unload.  Returns false when a call went wrong. */
typedef bool (*use_fn)(HMODULE module);

bool parse_64k(HMODULE module)
{
    static std::string line;
    if (line.empty()) {  /* 5958 fields of 10 bytes, 65 537 bytes */
        for (int i = 0; line.size() < 64 * 1024; i++) line += "field" + std::to_string(10000 + i) + ",";
        line.pop_back();
    }
    char **tokens = NULL;
    int32_t count = 0, status = -7;
    auto parsebuf = BIND(module, korva_parsebuf);
    if (!parsebuf) return false;
    parsebuf(line.c_str(), &tokens, &count, 1, ",", 0, &status);
    return status == 0 && count == 5958 && tokens && !strcmp(tokens[0], "field10000") &&
           !strcmp(tokens[5957], "field15957");
}

bool host_operations(HMODULE module)
{
    auto debug_log = BIND(module, KernelDebugLog);
    auto debug_log_ex = BIND(module, KernelDebugLogEx);
    auto getenv_vb = BIND(module, Q47_GETENVVB);
    auto wrapper = BIND(module, korva_parsebuf_wrapper);
    if (!debug_log || !debug_log_ex || !getenv_vb || !wrapper) return false;

    debug_log("%s %d", "cycle", 1);
    debug_log_ex("UNLOAD", 7, "%s", std::string(600, 'x').c_str());

    VARIANT name, value;
    VariantInit(&name);
    V_VT(&name) = VT_BSTR;
    V_BSTR(&name) = SysAllocString(L"UNLOAD_VAR");
    value = getenv_vb(name);
    bool found = V_VT(&value) == VT_BSTR && V_BSTR(&value) && !wcscmp(V_BSTR(&value), L"cycled");
    VariantClear(&value);
    VariantClear(&name);

    char **tokens = NULL;
    int32_t count = 0, status = -7;
    wrapper("a,b,c", &tokens, &count, 1, ",", 0, &status);
    return found && status == 0 && count == 3;
}

void run_cycles(const char *what, use_fn use)
{
    int n = cycles(), wrong = 0, unloaded = 0;
    size_t before = 0, resident_before = 0;
    for (int i = -n / 10; i < n; i++) {  /* a tenth of the count to warm up */
        if (i == 0) {
            before = heap_bytes();
            resident_before = private_bytes();
        }
        HMODULE module = LoadLibraryA("KORVA_VB6.dll");
        if (!module) {
            wrong++;
            break;
        }
        wrong += !use(module);
        FreeLibrary(module);
        unloaded += GetModuleHandleA("KORVA_VB6.dll") == NULL;
    }
    long grew = (long)heap_bytes() - (long)before;
    long resident = (long)private_bytes() - (long)resident_before;
    korva_test::trace("%-28s %5d cycles: heaps %+ld bytes, %+ld per cycle (resident %+ld per cycle)\n", what, n,
                      grew, grew / n, resident / n);
    ok(!wrong, "%s: %d cycles went wrong", what, wrong);
    ok(unloaded == n + n / 10, "%s: the module stayed loaded in %d cycles", what, n + n / 10 - unloaded);
    ok(grew / n < per_cycle_slack, "%s: the heaps grew by %ld bytes a cycle", what, grew / n);
}

} /* namespace */

TEST(host_operations_with_the_standins_unloading_too)
{
    SetEnvironmentVariableA("Q47_STANDIN_VARS", "UNLOAD_VAR=cycled");
    run_cycles("log, lookup, locked parse", host_operations);
    ok(GetModuleHandleA("KORVA.dll") == NULL && GetModuleHandleA("libq47.dll") == NULL,
       "the stand-ins stayed loaded");
}

TEST(a_64k_parse_with_the_host_pinned)
{
    HMODULE korva = LoadLibraryA("KORVA.dll"), q47 = LoadLibraryA("libq47.dll");
    ok(korva && q47, "the stand-ins did not load");
    run_cycles("64 KiB parse", parse_64k);
}
