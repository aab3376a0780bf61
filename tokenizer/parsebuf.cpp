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
 * on the stack. */
struct delimiter_set {
    delimiter local[8];
    delimiter *d = local;
    int32_t n = 0;

    ~delimiter_set() { if (d != local) free(d); }
};

/* The bytes at which the scan has to look closer.  The NUL entry is set, so
 * the terminator ends every walk; `only` is the one other byte of the set,
 * when there is just one, which memchr can then find for us. */
struct stop_set {
    bool table[256] = {true};
    int only = -1;
    int n = 0;

    void add(unsigned char c)
    {
        if (table[c]) return;
        table[c] = true;
        only = n++ ? -1 : c;
    }
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

    s = block;
    for (int32_t j = 0; j < ndelim; j++) {
        ds.d[j].s = s;
        ds.d[j].len = strlen(s);
        s += ds.d[j].len + 1;
    }
    ds.n = ndelim;
    return KORVA_PARSE_OK;
}

/* Where a scan outside quotes stops: the delimiters' first bytes, and the
 * double quote when quotes count. */
stop_set stops_outside_quotes(const delimiter_set &ds, bool quote)
{
    stop_set stops;
    for (int32_t j = 0; j < ds.n; j++) stops.add(ds.d[j].s[0]);
    if (quote) stops.add('"');
    return stops;
}

/* How many bytes of t[0..n) are in the set. */
size_t count_stops(const char *t, size_t n, const stop_set &stops)
{
    size_t k = 0;
    for (size_t i = 0; i < n; i++) k += stops.table[(unsigned char)t[i]];
    return k;
}

/* The first position from pos on whose byte is in the set; n (where the
 * terminator is) when there is none. */
size_t next_stop(const char *w, size_t pos, size_t n, const stop_set &stops)
{
    if (stops.only >= 0) {
        const void *hit = memchr(w + pos, stops.only, n - pos);
        return hit ? static_cast<const char *>(hit) - w : n;
    }
    while (!stops.table[(unsigned char)w[pos]]) pos++;
    return pos;
}

/* The length of the first delimiter in list order that matches at `at`, or
 * 0 when none does.  The terminator behind the text ends every comparison. */
size_t match_delimiter(const char *at, const delimiter_set &ds)
{
    for (int32_t j = 0; j < ds.n; j++) {
        const delimiter &d = ds.d[j];
        size_t k = 0;
        while (k < d.len && at[k] == d.s[k]) k++;
        if (k == d.len) return k;
    }
    return 0;
}

/* Terminates the token w[start..end) in place; a token of two or more
 * characters loses a pair of outer double quotes. */
char *cut(char *w, size_t start, size_t end)
{
    if (end - start >= 2 && w[start] == '"' && w[end - 1] == '"') {
        start++;
        end--;
    }
    w[end] = 0;
    return w + start;
}

/* Cuts w[0..n), which ends with delimiter 0, at every separator and stores
 * the tokens in order, at most `room` of them.  Returns how many there are,
 * or room + 1 when they do not fit.  Inside quotes (quote flag set) only the
 * closing quote is looked for. */
size_t scan(char *w, size_t n, const delimiter_set &ds, const stop_set &stops, bool quote,
            char **tokens, size_t room)
{
    stop_set quotes;
    quotes.add('"');
    size_t last = n - ds.d[0].len, pos = 0, start = 0, count = 0;
    bool in_quote = false;

    while ((pos = next_stop(w, pos, n, in_quote ? quotes : stops)) <= last) {
        if (quote && w[pos] == '"') {
            in_quote = !in_quote;
            pos++;
            continue;
        }
        size_t len = match_delimiter(w + pos, ds);
        if (!len) {
            pos++;
            continue;
        }
        if (count == room) return room + 1;
        tokens[count++] = cut(w, start, pos);
        pos += len;
        start = pos;
    }
    return count;
}

/* The previous parse's block.  It is released only after the new list is
 * built, because the text may be one of its tokens; a new list that needs
 * about as much room takes it over instead, unless the text lies in it. */
struct old_block {
    char *p;
    size_t size;

    char *take(const char *text, size_t need)
    {
        if (!p || need > size || need < size / 2) return NULL;
        if (text >= p && text < p + size) return NULL;
        char *q = p;
        p = NULL;
        return q;
    }
};

/* One block: an array of `room` token pointers and, behind it, a copy of
 * text[0..n) followed by `extra` bytes of delimiter 0, in which the tokens
 * are cut where they stand.  NULL when memory ran out; *count = room + 1 when
 * the tokens did not fit. */
char **cut_tokens(const char *text, size_t n, size_t extra, const delimiter_set &ds,
                  const stop_set &stops, bool quote, size_t room, size_t *count,
                  old_block &old, size_t *size)
{
    if (room > (SIZE_MAX - n - extra - 1) / sizeof(char *)) return NULL;
    *size = room * sizeof(char *) + n + extra + 1;
    char **array = reinterpret_cast<char **>(old.take(text, *size));
    if (array) *size = old.size;
    else array = static_cast<char **>(malloc(*size));
    if (!array) return NULL;

    char *w = reinterpret_cast<char *>(array + room);
    memcpy(w, text, n);
    memcpy(w + n, ds.d[0].s, extra);
    w[n + extra] = 0;
    *count = scan(w, n + extra, ds, stops, quote, array, room);
    return array;
}

/* Parses text into the retained list, which is empty; returns the status. */
int32_t parse(const char *text, const delimiter_set &ds, bool quote, old_block &old)
{
    /* trailing blank bytes are cut; leading and inner ones stay */
    size_t n = text ? strlen(text) : 0;
    while (n && korva_is_blank(text[n - 1])) n--;
    if (!n) return KORVA_PARSE_OK;

    /* the text must end with delimiter 0, so the last field is closed */
    const delimiter &d0 = ds.d[0];
    size_t extra = n >= d0.len && !memcmp(text + n - d0.len, d0.s, d0.len) ? 0 : d0.len;
    stop_set stops = stops_outside_quotes(ds, quote);

    /* Room for a token per 8 bytes of text fits most lines without a pass
     * to count them.  A line of shorter fields is cut again with room for one
     * per stop byte, plus the appended delimiter 0: every separator starts at
     * one of those. */
    size_t room = n / 8 + 16, count = 0, size = 0;
    char **array = cut_tokens(text, n, extra, ds, stops, quote, room, &count, old, &size);
    if (array && count > room) {
        free(array);
        room = count_stops(text, n, stops) + 1;
        array = cut_tokens(text, n, extra, ds, stops, quote, room, &count, old, &size);
    }
    if (!array) return KORVA_PARSE_NOMEM;
    if (count > room || count > INT32_MAX) {
        free(array);
        return KORVA_PARSE_NOMEM;
    }
    korva_retained.tokens = array;
    korva_retained.count = (int32_t)count;
    korva_retained.size = size;
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

    /* The previous list is released: empty from here on, its block freed
     * (or reused) once the text has been read. */
    old_block old = {reinterpret_cast<char *>(korva_retained.tokens), korva_retained.size};
    korva_retained = korva_token_list{NULL, 0, 0};

    if (rc == KORVA_PARSE_OK) rc = parse(text, ds, quote != 0, old);
    free(old.p);
    if (status) *status = rc;
    if (korva_retained.tokens) {
        if (count) *count = korva_retained.count;
        if (tokens) *tokens = korva_retained.tokens;
    }
}
