/*
 * The tokenizer's cases against the DLL's plain scan path: before the first
 * parse of this process, the DLL's import of IsProcessorFeaturePresent is
 * made to answer that the processor has no SSE2, so the DLL chooses, for
 * good, the path a processor without it takes.
 */
#include <string.h>

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

void patch_once()
{
    static import_patch patch(korva_module(), "KERNEL32.dll", "IsProcessorFeaturePresent",
                              reinterpret_cast<void *>(no_sse2));
    static bool checked = ok(patch.installed(), "KORVA_VB6.dll does not import IsProcessorFeaturePresent");
    (void)checked;
}

} /* namespace */

#define KORVA_BEFORE_BINDING() patch_once()
#include "bind_dll.cpp"

/* The processor is asked once per process, whatever the number of parses,
 * and the plain path's tokens are right. */
TEST(the_processor_is_asked_once)
{
    char **tokens = NULL;
    int32_t count = -1, status = -1;
    for (int i = 0; i < 3; i++) api().parsebuf("a,\"b,c\",d", &tokens, &count, 1, ",", 1, &status);
    ok(asked == 1 && asked_other == 0, "asked %ld times for SSE2, %ld for other features", asked,
       asked_other);
    ok(status == 0 && count == 3 && !strcmp(tokens[1], "b,c"), "status %d, count %d", status, count);
}
