/* What the processor offers this process. */
#ifndef KORVA_PLATFORM_PROCESSOR_H
#define KORVA_PLATFORM_PROCESSOR_H

/* Whether the SSE2 instructions may be used: asked of Windows, which does
 * not know the question before Windows XP and answers no on Windows 2000
 * even where the processor has them. */
bool korva_sse2_present();

#endif
