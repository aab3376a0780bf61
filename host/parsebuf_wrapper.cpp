/* The tokenizer's entry for callers on several threads. */
#include "korva_vb6.h"
#include "korva_host.h"

/***********************************************************************
 *              korva_parsebuf_wrapper
 */
void KORVA_API korva_parsebuf_wrapper(const char *text, char ***tokens,
                                      int32_t *count, int32_t ndelim,
                                      const char *delims, int32_t quote,
                                      int32_t *status)
{
    if (status) *status = KORVA_PARSE_LOCKED;
    if (!KORVA_USR_GET_PARSEBUF_MUTEX()) return;

    korva_parsebuf(text, tokens, count, ndelim, delims, quote, status);
    KORVA_USR_RELEASE_PARSEBUF_MUTEX();
}
