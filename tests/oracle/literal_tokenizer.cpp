/* The token scanner the plain way (see literal_tokenizer.h). */
#include "literal_tokenizer.h"

#include <stdlib.h>
#include <string.h>

#include "korva_vb6.h"

namespace {

const size_t field_max = 999;     /* the token buffer holds a field of this many bytes */
const int32_t growth = 50;        /* separator entries added whenever the arrays are full */

char **retained;
int32_t retained_count;

void release_retained()
{
    for (int32_t i = 0; i < retained_count; i++) free(retained[i]);
    free(retained);
    retained = NULL;
    retained_count = 0;
}

bool blank(char c)
{
    return static_cast<signed char>(c) <= 32;
}

} /* namespace */

void literal_parsebuf(const char *text, char ***tokens, int32_t *count, int32_t ndelim,
                      const char *delims, int32_t quote, int32_t *status)
{
    /* the refusals korva_parsebuf makes: nothing is touched */
    if (ndelim < 1 || !delims) {
        if (status) *status = KORVA_PARSE_BADDELIM;
        return;
    }
    const char *s = delims;
    for (int32_t j = 0; j < ndelim; j++) {
        if (!*s) {
            if (status) *status = KORVA_PARSE_BADDELIM;
            return;
        }
        s += strlen(s) + 1;
    }

    int32_t rc = KORVA_PARSE_NOMEM;
    size_t *dlen = NULL, n = 0, nsep = 0, cap = 0, pos = 0, prev = 0;
    char **dcopy = NULL, *work = NULL, *tokbuf = NULL, **array = NULL;
    size_t *seppos = NULL;
    int32_t *sepidx = NULL;
    bool in_quote = false;

    /* 1-2: clear the outputs and release the previous list */
    if (status) *status = KORVA_PARSE_OK;
    if (count) *count = 0;
    release_retained();

    /* 3: unpack the delimiters into private copies */
    dlen = static_cast<size_t *>(malloc(ndelim * sizeof(*dlen)));
    dcopy = static_cast<char **>(calloc(ndelim, sizeof(*dcopy)));
    if (!dlen || !dcopy) goto done;
    s = delims;
    for (int32_t j = 0; j < ndelim; j++) {
        dlen[j] = strlen(s);
        dcopy[j] = static_cast<char *>(malloc(dlen[j] + 1));
        if (!dcopy[j]) goto done;
        memcpy(dcopy[j], s, dlen[j] + 1);
        s += dlen[j] + 1;
    }

    /* 4-5: the working copy, its trailing blank bytes cut */
    rc = KORVA_PARSE_OK;
    if (!text || !*text) goto done;
    rc = KORVA_PARSE_NOMEM;
    n = strlen(text);
    work = static_cast<char *>(malloc(n + dlen[0] + 1));
    if (!work) goto done;
    strcpy(work, text);
    for (size_t i = n; i > 0 && blank(work[i - 1]); i--) work[i - 1] = 0;
    n = strlen(work);
    rc = KORVA_PARSE_OK;
    if (!n) goto done;

    /* 6: make it end with delimiter 0 */
    if (n < dlen[0] || strncmp(work + n - dlen[0], dcopy[0], dlen[0]) != 0) {
        strcpy(work + n, dcopy[0]);
        n += dlen[0];
    }

    /* 7: every delimiter at every position outside quotes */
    rc = KORVA_PARSE_NOMEM;
    while (pos <= n - dlen[0]) {
        if (quote && work[pos] == '"') {
            in_quote = !in_quote;
            pos++;
            continue;
        }
        if (in_quote) {
            pos++;
            continue;
        }
        int32_t j = 0;
        while (j < ndelim && strncmp(work + pos, dcopy[j], dlen[j]) != 0) j++;
        if (j == ndelim) {
            pos++;
            continue;
        }
        if (nsep == cap) {
            size_t *np = static_cast<size_t *>(realloc(seppos, (cap + growth) * sizeof(*np)));
            if (np) seppos = np;
            int32_t *ni = static_cast<int32_t *>(realloc(sepidx, (cap + growth) * sizeof(*ni)));
            if (ni) sepidx = ni;
            if (!np || !ni) goto done;
            cap += growth;
        }
        seppos[nsep] = pos;
        sepidx[nsep] = j;
        nsep++;
        pos += dlen[j];
    }
    if (nsep > INT32_MAX) goto done;

    /* 8-9: one array entry and one allocation per token */
    tokbuf = static_cast<char *>(malloc(field_max + 1));
    array = static_cast<char **>(malloc((nsep ? nsep : 1) * sizeof(*array)));
    if (!tokbuf || !array) goto done;
    for (size_t i = 0; i < nsep; i++) {
        size_t len = seppos[i] - prev;
        char *buf = len <= field_max ? tokbuf : static_cast<char *>(malloc(len + 1));
        char *token = NULL;
        if (buf) {
            memcpy(buf, work + prev, len);
            buf[len] = 0;
            char *t = buf;
            if (len >= 2 && t[0] == '"' && t[len - 1] == '"') {
                t[len - 1] = 0;
                t++;
            }
            token = static_cast<char *>(malloc(strlen(t) + 1));
            if (token) strcpy(token, t);
            if (buf != tokbuf) free(buf);
        }
        if (!token) {
            while (i > 0) free(array[--i]);
            goto done;
        }
        array[i] = token;
        prev = seppos[i] + dlen[sepidx[i]];
    }

    /* 10: deliver */
    retained = array;
    retained_count = (int32_t)nsep;
    array = NULL;
    if (count) *count = retained_count;
    if (tokens) *tokens = retained;
    rc = KORVA_PARSE_OK;

done: /* 11 */
    free(array);
    free(tokbuf);
    free(sepidx);
    free(seppos);
    free(work);
    for (int32_t j = 0; dcopy && j < ndelim; j++) free(dcopy[j]);
    free(dcopy);
    free(dlen);
    if (status) *status = rc;
}
