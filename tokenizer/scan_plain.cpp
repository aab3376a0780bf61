/* The plain scan: a byte at a time, for processors without SSE2 and for
 * lists with more first bytes than an SSE2 kernel takes.  Built for the
 * plain instruction set: it runs on every processor. */
#include <string.h>

#include "scan.h"

namespace {

/* The bytes at which the plain scan has to look closer.  The NUL entry is
 * set, so the terminator ends every walk; `only` is the one other byte of
 * the set, when there is just one, which memchr can then find for us. */
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

/* Where a plain scan outside quotes stops: the delimiters' first bytes, and
 * the double quote when quotes count. */
void stops_outside_quotes(const korva_delimiters &ds, bool quote, stop_set &stops)
{
    for (int32_t j = 0; j < ds.n; j++) stops.add(ds.d[j].s[0]);
    if (quote) stops.add('"');
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

} /* namespace */

/* Every separator starts at a byte of the set outside quotes. */
size_t korva_count_stops(const char *text, size_t n, const korva_delimiters &ds, bool quote)
{
    stop_set stops;
    stops_outside_quotes(ds, quote, stops);
    size_t k = 0;
    for (size_t i = 0; i < n; i++) k += stops.table[(unsigned char)text[i]];
    return k;
}

/* Inside quotes (quote flag set) only the closing quote is looked for. */
size_t korva_scan_plain(char *w, size_t n, const korva_delimiters &ds, bool quote, char **tokens,
                        size_t room)
{
    stop_set stops, quotes;
    stops_outside_quotes(ds, quote, stops);
    quotes.add('"');
    size_t last = n - ds.d[0].len, pos = 0, start = 0, count = 0;
    bool in_quote = false;

    while ((pos = next_stop(w, pos, n, in_quote ? quotes : stops)) <= last) {
        if (quote && w[pos] == '"') {
            in_quote = !in_quote;
            pos++;
            continue;
        }
        size_t len = korva_match(w + pos, ds);
        if (!len) {
            pos++;
            continue;
        }
        if (count == room) return room + 1;
        tokens[count++] = korva_cut(w + start, w + pos);
        pos += len;
        start = pos;
    }
    return count;
}
