/* The caller's delimiter list unpacked, and the kernel it takes. */
#include <stdint.h>

#include "delimiters.h"

namespace {

/* The SSE2 kernel for an unpacked list (see korva_kernel). */
korva_kernel kernel_for(const korva_delimiters &ds)
{
    if (ds.many_first) return KORVA_KERNEL_NONE;
    bool one_byte = true, short_list = ds.n <= KORVA_SHORT_MAX && ds.nfirst == ds.n, quote = false;
    int32_t pairs = 0;
    for (int32_t j = 0; j < ds.n; j++) {
        one_byte = one_byte && ds.d[j].len == 1;
        short_list = short_list && ds.d[j].len <= 2;
        pairs += ds.d[j].len == 2;
        for (size_t k = 0; k < ds.d[j].len; k++) quote = quote || ds.d[j].s[k] == '"';
    }
    if (one_byte && !quote) return ds.nfirst == 1 ? KORVA_KERNEL_BYTE : KORVA_KERNEL_BYTES;
    if (!short_list || quote) return KORVA_KERNEL_GENERAL;
    /* a short list of one-byte delimiters without a quote took a case above */
    if (pairs == 1) return KORVA_KERNEL_SHORT_1;
    if (pairs == 2) return ds.n == 3 ? KORVA_KERNEL_SHORT_2_1 : KORVA_KERNEL_SHORT_2;
    return KORVA_KERNEL_SHORT;
}

} /* namespace */

/* Kept out of line, so that the usual list's caller keeps its registers. */
__attribute__((noinline)) int32_t korva_unpack_list(int32_t ndelim, const char *block,
                                                    korva_delimiter_set &ds)
{
    if (ndelim < 1 || !block) return KORVA_PARSE_BADDELIM;

    /* Byte by byte, never past the last delimiter's NUL: the list may end
     * right before a page the process cannot read.  A long list is checked
     * before its entries are allocated; a short one as it is unpacked. */
    korva_delimiter *d = ds.local;
    if (ndelim > KORVA_SHORT_MAX) {
        const char *s = block;
        for (int32_t j = 0; j < ndelim; j++) {
            if (!*s) return KORVA_PARSE_BADDELIM;
            while (*s) s++;
            s++;
        }
        if ((size_t)ndelim > SIZE_MAX / sizeof(korva_delimiter)) return KORVA_PARSE_NOMEM;
        d = ds.heap = static_cast<korva_delimiter *>(malloc(ndelim * sizeof(korva_delimiter)));
        if (!d) return KORVA_PARSE_NOMEM;
    }

    ds.nfirst = 0;
    ds.many_first = false;
    const char *s = block;
    for (int32_t j = 0; j < ndelim; j++) {
        /* the first KORVA_MATCH_WORD bytes, and a mask of those that
         * belong to it */
        uint32_t head = 0, mask = 0;
        size_t len = 0;
        if (!*s) return KORVA_PARSE_BADDELIM;
        for (; s[len]; len++)
            if (len < KORVA_MATCH_WORD) {
                head |= korva_head((unsigned char)s[len], len);
                mask |= korva_head(0xFF, len);
            }
        d[j].s = s;
        d[j].len = len;
        d[j].head = head;
        d[j].head_mask = mask;
        s += len + 1;

        /* the distinct first bytes, up to as many as a kernel takes */
        unsigned char c = (unsigned char)d[j].s[0];
        int32_t k = 0;
        while (k < ds.nfirst && ds.first[k] != c) k++;
        if (k < ds.nfirst) continue;
        if (k == KORVA_MAX_FIRST) ds.many_first = true;
        else ds.first[ds.nfirst++] = c;
    }
    ds.d = d;
    ds.n = ndelim;
    ds.kernel = kernel_for(ds);
    return KORVA_PARSE_OK;
}
