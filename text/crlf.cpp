/* Line-ending filters for message texts. */
#include <string.h>

#ifdef _WIN32
# include <windows.h>
#else
# include <stdlib.h>
#endif

#include "korva_vb6.h"

namespace {

const char default_message[] = "No English error message text found\n";

/* A zero-filled buffer holding the default message, which the caller
 * releases with LocalFree (free() in a native build); NULL when the heap is
 * exhausted. */
char *new_default_message()
{
#ifdef _WIN32
    char *buf = static_cast<char *>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, sizeof(default_message)));
#else
    char *buf = static_cast<char *>(calloc(1, sizeof(default_message)));
#endif
    if (buf) memcpy(buf, default_message, sizeof(default_message));
    return buf;
}

/* The text's first CR LF, when it is the text's last two bytes, or NULL. */
char *final_crlf(char *text)
{
    char *crlf = strstr(text, "\r\n");
    return crlf && !crlf[2] ? crlf : NULL;
}

} /* namespace */

/***********************************************************************
 *              KORVA_FILTER_CRLF
 */
char *KORVA_API KORVA_FILTER_CRLF(char *text)
{
    if (!text && !(text = new_default_message())) return NULL;
    if (char *crlf = final_crlf(text)) {
        crlf[0] = '\n';
        crlf[1] = 0;
    }
    return text;
}

/***********************************************************************
 *              KORVA_FILTER_ALL_CRLF
 */
char *KORVA_API KORVA_FILTER_ALL_CRLF(char *text)
{
    if (!text && !(text = new_default_message())) return NULL;
    if (char *crlf = final_crlf(text)) crlf[0] = 0;
    return text;
}
