#include <malloc.h>
#include <stdlib.h>
#include <string.h>

#include "../cases/api.h"
#include "../../tokenizer/scan.h"

/* korva_parsebuf held to the plain scan path. */
static void parsebuf_plain(const char *text, char ***tokens, int32_t *count, int32_t ndelim,
                           const char *delims, int32_t quote, int32_t *status)
{
    korva_parsebuf_on(KORVA_SCAN_PLAIN, text, tokens, count, ndelim, delims, quote, status);
}

const korva_api &api()
{
    static const korva_api table = {
        korva_trimblanks, korva_trimBlanksEx, korva_lefttrim,
        korva_leftpack,   korva_lefttrim_r,
        plain_scan_requested() ? parsebuf_plain : korva_parsebuf,
        korva_upper,      korva_lower,        korva_upper_r,
        korva_lower_r,    korva_atoi,         KORVA_FILTER_CRLF,
        KORVA_FILTER_ALL_CRLF,
    };
    return table;
}

/* Natively the default message comes from malloc: it must be a heap block
 * large enough for its text (AddressSanitizer stops on any other pointer). */
bool release_message(char *buf)
{
    bool heap_block = buf && malloc_usable_size(buf) > strlen(buf);
    free(buf);
    return heap_block;
}
