/* What a long or busy run must leave as it found it: the process's private
 * bytes, its handle count and its heaps.  Link with psapi. */
#ifndef KORVA_TEST_PROCESS_HEALTH_H
#define KORVA_TEST_PROCESS_HEALTH_H

#include <malloc.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include <windows.h>
#include <psapi.h>

/* Memory private to this process, in bytes: PrivateUsage.  Wine 8 leaves
 * that field 0 and fills PagefileUsage with the process's anonymous resident
 * memory (RssAnon + VmSwap of /proc/self/status), which is what a leak makes
 * grow; that is used then.  *which names the field read. */
inline size_t private_bytes(const char **which = NULL)
{
    PROCESS_MEMORY_COUNTERS_EX pmc;
    memset(&pmc, 0, sizeof(pmc));
    pmc.cb = sizeof(pmc);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&pmc),
                              sizeof(pmc)))
        return 0;
    if (which) *which = pmc.PrivateUsage ? "PrivateUsage" : "PagefileUsage";
    return pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage;
}

/* The process's open handles.  Wine 8's GetProcessHandleCount answers 0, so
 * then the handle values are walked: Wine hands out the lowest free one, so
 * the open handles lie together below a long run of unused values. */
inline DWORD handle_count()
{
    DWORD n = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &n) && n) return n;
    n = 0;
    DWORD flags, unused = 0;
    for (ULONG_PTR v = 4; unused < 1024; v += 4) {
        if (GetHandleInformation(reinterpret_cast<HANDLE>(v), &flags)) {
            n++;
            unused = 0;
        } else {
            unused++;
        }
    }
    return n;
}

/* Every heap of the process validates (the process heap, msvcrt's own, the
 * stand-ins'), and so does msvcrt's view of its heap. */
inline bool heaps_valid(int *bad_heaps, int *crt_check)
{
    std::vector<HANDLE> heaps(GetProcessHeaps(0, NULL) + 16);
    DWORD n = GetProcessHeaps((DWORD)heaps.size(), heaps.data());
    *bad_heaps = 0;
    *crt_check = _HEAPOK;
    for (DWORD i = 0; i < n && i < heaps.size(); i++)
        if (!HeapValidate(heaps[i], 0, NULL)) ++*bad_heaps;
    if (!HeapValidate(GetProcessHeap(), 0, NULL)) ++*bad_heaps;
    *crt_check = _heapchk();
    return !*bad_heaps && *crt_check == _HEAPOK;
}

/* Seconds from an arbitrary start.  Not GetTickCount: Wine refreshes that
 * only when the process talks to its server, so a run of calls that never
 * does reads the same tick throughout. */
inline double seconds()
{
    LARGE_INTEGER now, freq;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&freq);
    return (double)now.QuadPart / (double)freq.QuadPart;
}

/* KORVA_SOAK=full (scripts/soak.sh) asks for the full counts of the long
 * runs; without it the normal test run uses reduced ones. */
inline bool soak_full()
{
    const char *v = getenv("KORVA_SOAK");
    return v && !strcmp(v, "full");
}

#endif
