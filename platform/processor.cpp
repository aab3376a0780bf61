/* What the processor offers this process.  Also built natively, for the
 * tests and fuzzers of the portable code. */
#include "processor.h"

#ifdef _WIN32
#include <windows.h>
#endif

bool korva_sse2_present()
{
#if defined(_WIN32)
    return IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
#elif defined(__x86_64__) || defined(__SSE2__)
    return true;    /* part of the instruction set this file is built for */
#else
    return false;
#endif
}
