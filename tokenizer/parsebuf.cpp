/* The token scanner and the retained token list. */
#include <stdlib.h>
#include <string.h>

#include "korva_vb6.h"
#include "../frame/module_state.h"
#include "../text/blank.h"

namespace {

struct delimiter {
    const char *s;   /* points into the caller's block */
    size_t len;
};

/* The caller's delimiter list, unpacked.  Short lists (the usual case) live
 * on the stack; starts[] marks the bytes a delimiter can begin with, so most
 * positions of a line cost one table lookup. */
struct delimiter_set {
    delimiter local[8];
    delimiter *d = local;
    int32_t n = 0;
    bool starts[256];

    ~delimiter_set() { if (d != local) free(d); }
};

struct separator {
    size_t pos;      /* where the delimiter starts in the working copy */
    size_t len;      /* length of the delimiter that matched there */
};

struct separator_list {
    separator *v = NULL;
    size_t n = 0, cap = 0;

    ~separator_list() { free(v); }

    bool push(size_t pos, size_t len)
    {
        if (n == cap) {
            size_t ncap = cap ? cap * 2 : 64;
            if (ncap > SIZE_MAX / sizeof(separator)) return false;
            separator *nv = static_cast<separator *>(realloc(v, ncap * sizeof(separator)));
            if (!nv) return false;
            v = nv;
            cap = ncap;
        }
        v[n].pos = pos;
        v[n].len = len;
        n++;
        return true;
    }
};

struct scratch {
    char *p = NULL;
    ~scratch() { free(p); }
};

int32_t unpack_delimiters(int32_t ndelim, const char *block, delimiter_set &ds)
{
    if (ndelim < 1 || !block) return KORVA_PARSE_BADDELIM;

    const char *s = block;
    for (int32_t j = 0; j < ndelim; j++) {
        size_t len = strlen(s);
        if (!len) return KORVA_PARSE_BADDELIM;
        s += len + 1;
    }

    if ((size_t)ndelim > sizeof(ds.local) / sizeof(ds.local[0])) {
        if ((size_t)ndelim > SIZE_MAX / sizeof(delimiter)) return KORVA_PARSE_NOMEM;
        ds.d = static_cast<delimiter *>(malloc(ndelim * sizeof(delimiter)));
        if (!ds.d) {
            ds.d = ds.local;
            return KORVA_PARSE_NOMEM;
        }
    }

    memset(ds.starts, 0, sizeof(ds.starts));
    s = block;
    for (int32_t j = 0; j < ndelim; j++) {
        ds.d[j].s = s;
        ds.d[j].len = strlen(s);
        ds.starts[(unsigned char)s[0]] = true;
        s += ds.d[j].len + 1;
    }
    ds.n = ndelim;
    return KORVA_PARSE_OK;
}

/* The first delimiter in list order that matches at `at`, or -1. */
int32_t match_delimiter(const char *at, size_t avail, const delimiter_set &ds)
{
    for (int32_t j = 0; j < ds.n; j++) {
        const delimiter &d = ds.d[j];
        if (d.len <= avail && d.s[0] == at[0] && !memcmp(at, d.s, d.len)) return j;
    }
    return -1;
}

/* Records every separator of w[0..n), which ends with delimiter 0.  Inside
 * quotes (quote flag set) no delimiter is looked for. */
bool scan(const char *w, size_t n, const delimiter_set &ds, bool quote, separator_list &seps)
{
    size_t len0 = ds.d[0].len, pos = 0;
    bool in_quote = false;

    while (pos + len0 <= n) {
        unsigned char c = w[pos];
        if (quote && c == '"') {
            in_quote = !in_quote;
            pos++;
            continue;
        }
        if (in_quote || !ds.starts[c]) {
            pos++;
            continue;
        }
        int32_t j = match_delimiter(w + pos, n - pos, ds);
        if (j < 0) {
            pos++;
            continue;
        }
        if (!seps.push(pos, ds.d[j].len)) return false;
        pos += ds.d[j].len;
    }
    return true;
}

/* A token of two or more characters loses a pair of outer double quotes. */
void unquote(const char *w, size_t &start, size_t &end)
{
    if (end - start >= 2 && w[start] == '"' && w[end - 1] == '"') {
        start++;
        end--;
    }
}

/* Builds the retained list: one block holding the array of pointers and,
 * behind it, every token with its terminator. */
char **cut_tokens(const char *w, const separator_list &seps)
{
    unsigned long long total = (seps.n ? seps.n : 1) * (unsigned long long)sizeof(char *);
    size_t prev = 0;
    for (size_t i = 0; i < seps.n; i++) {
        size_t start = prev, end = seps.v[i].pos;
        unquote(w, start, end);
        total += end - start + 1;
        prev = seps.v[i].pos + seps.v[i].len;
    }
    if (total > SIZE_MAX) return NULL;

    char **array = static_cast<char **>(malloc((size_t)total));
    if (!array) return NULL;

    char *out = reinterpret_cast<char *>(array + (seps.n ? seps.n : 1));
    prev = 0;
    for (size_t i = 0; i < seps.n; i++) {
        size_t start = prev, end = seps.v[i].pos;
        unquote(w, start, end);
        array[i] = out;
        memcpy(out, w + start, end - start);
        out += end - start;
        *out++ = 0;
        prev = seps.v[i].pos + seps.v[i].len;
    }
    return array;
}

void release_retained()
{
    free(korva_retained.tokens);
    korva_retained.tokens = NULL;
    korva_retained.count = 0;
}

/* Parses text into the retained list; returns the status. */
int32_t parse(const char *text, const delimiter_set &ds, bool quote)
{
    size_t n = text ? strlen(text) : 0;
    if (!n) return KORVA_PARSE_OK;

    const delimiter &d0 = ds.d[0];
    if (n > SIZE_MAX - d0.len - 1) return KORVA_PARSE_NOMEM;
    scratch work;
    work.p = static_cast<char *>(malloc(n + d0.len + 1));
    if (!work.p) return KORVA_PARSE_NOMEM;
    memcpy(work.p, text, n + 1);

    /* cut trailing blank bytes only */
    while (n && korva_is_blank(work.p[n - 1])) work.p[--n] = 0;
    if (!n) return KORVA_PARSE_OK;

    /* make the text end with delimiter 0 so the last field is closed */
    if (n < d0.len || memcmp(work.p + n - d0.len, d0.s, d0.len)) {
        memcpy(work.p + n, d0.s, d0.len);
        n += d0.len;
        work.p[n] = 0;
    }

    separator_list seps;
    if (!scan(work.p, n, ds, quote, seps)) return KORVA_PARSE_NOMEM;
    if (seps.n > INT32_MAX) return KORVA_PARSE_NOMEM;

    char **array = cut_tokens(work.p, seps);
    if (!array) return KORVA_PARSE_NOMEM;
    korva_retained.tokens = array;
    korva_retained.count = (int32_t)seps.n;
    return KORVA_PARSE_OK;
}

} /* namespace */

/***********************************************************************
 *              korva_parsebuf
 */
void KORVA_API korva_parsebuf(const char *text, char ***tokens, int32_t *count,
                              int32_t ndelim, const char *delims, int32_t quote,
                              int32_t *status)
{
    delimiter_set ds;
    int32_t rc = unpack_delimiters(ndelim, delims, ds);
    if (rc == KORVA_PARSE_BADDELIM) {
        if (status) *status = rc;
        return;
    }

    if (status) *status = KORVA_PARSE_OK;
    if (count) *count = 0;
    release_retained();

    if (rc == KORVA_PARSE_OK) rc = parse(text, ds, quote != 0);
    if (status) *status = rc;
    if (korva_retained.tokens) {
        if (count) *count = korva_retained.count;
        if (tokens) *tokens = korva_retained.tokens;
    }
}
