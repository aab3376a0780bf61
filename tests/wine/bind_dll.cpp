/*
 * The shared cases' table, bound from KORVA_VB6.dll by name.  With
 * KORVA_TEST_SCAN=plain the cases run on the scan path of a processor
 * without SSE2: before the first binding, the DLL's import of
 * IsProcessorFeaturePresent is made to answer that the processor has no
 * SSE2, so the DLL chooses, for good, the path such a processor takes.
 */
#include <string.h>

#include "../cases/api.h"
#include "../harness/harness.h"
#include "dll.h"
#include "import_patch.h"

namespace {

LONG asked, asked_other;

BOOL WINAPI no_sse2(DWORD feature)
{
    if (feature != PF_XMMI64_INSTRUCTIONS_AVAILABLE) {
        InterlockedIncrement(&asked_other);
        return IsProcessorFeaturePresent(feature);
    }
    InterlockedIncrement(&asked);
    return FALSE;
}

void choose_scan_path()
{
    if (!plain_scan_requested()) return;
    static import_patch patch(korva_module(), "KERNEL32.dll", "IsProcessorFeaturePresent",
                              reinterpret_cast<void *>(no_sse2));
    static bool checked = ok(patch.installed(), "KORVA_VB6.dll does not import IsProcessorFeaturePresent");
    (void)checked;
}

} /* namespace */

const korva_api &api()
{
    choose_scan_path();
    static const korva_api table = {
        KORVA_BIND(korva_trimblanks), KORVA_BIND(korva_trimBlanksEx),
        KORVA_BIND(korva_lefttrim),   KORVA_BIND(korva_leftpack),
        KORVA_BIND(korva_lefttrim_r), KORVA_BIND(korva_parsebuf),
        KORVA_BIND(korva_upper),      KORVA_BIND(korva_lower),
        KORVA_BIND(korva_upper_r),    KORVA_BIND(korva_lower_r),
        KORVA_BIND(korva_atoi),       KORVA_BIND(KORVA_FILTER_CRLF),
        KORVA_BIND(KORVA_FILTER_ALL_CRLF),
    };
    return table;
}

/* The buffer must come from LocalAlloc: LocalFree returns NULL for one. */
bool release_message(char *buf)
{
    return LocalSize(buf) >= 37 && LocalFree(buf) == NULL;
}

/* On the plain path, the processor is asked once per process, whatever the
 * number of parses, and the plain path's tokens are right. */
TEST(the_processor_is_asked_once)
{
    if (!plain_scan_requested()) return;
    char **tokens = NULL;
    int32_t count = -1, status = -1;
    for (int i = 0; i < 3; i++) api().parsebuf("a,\"b,c\",d", &tokens, &count, 1, ",", 1, &status);
    ok(asked == 1 && asked_other == 0, "asked %ld times for SSE2, %ld for other features", asked,
       asked_other);
    ok(status == 0 && count == 3 && !strcmp(tokens[1], "b,c"), "status %d, count %d", status, count);
}
