/* The SIMD floor (see simd_floor.h).  Built with -msse2. */
#include "simd_floor.h"

#include <stdint.h>

#include <emmintrin.h>

namespace {

/* strlen with aligned 16-byte loads (they never cross into another page) */
size_t length(const char *text)
{
    const __m128i zero = _mm_setzero_si128();
    size_t skew = (uintptr_t)text & 15;
    const char *p = text - skew;
    unsigned nul = (unsigned)_mm_movemask_epi8(
                       _mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i *>(p)), zero)) >>
                   skew;
    while (!nul) {
        p += 16;
        nul = (unsigned)_mm_movemask_epi8(
            _mm_cmpeq_epi8(_mm_load_si128(reinterpret_cast<const __m128i *>(p)), zero));
    }
    return (size_t)(p + __builtin_ctz(nul) - text);
}

} /* namespace */

size_t simd_floor::run(const char *text, const std::string &delims, int ndelim)
{
    /* the distinct first bytes, up to 8 */
    unsigned char first[8];
    int nfirst = 0;
    const char *d = delims.data();
    for (int j = 0; j < ndelim; j++, d += std::char_traits<char>::length(d) + 1) {
        int k = 0;
        while (k < nfirst && first[k] != (unsigned char)*d) k++;
        if (k == nfirst && nfirst < 8) first[nfirst++] = (unsigned char)*d;
    }

    size_t n = length(text);
    if (copy.size() < n + 16) copy.resize(n + 16);
    char *w = copy.data();

    size_t i = 0;
    for (; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(w + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i *>(text + i)));
    for (; i < n; i++) w[i] = text[i];

    __m128i f[8];
    for (int k = 0; k < nfirst; k++) f[k] = _mm_set1_epi8((char)first[k]);
    size_t found = 0;
    for (i = 0; i < n; i += 16) {
        /* room for this chunk's 16 places (grown rarely, kept) */
        if (places.size() < found + 16) places.resize(2 * places.size() + n / 8 + 16);
        char **out = places.data();
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(w + i));
        unsigned m = (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(v, f[0]));
        for (int k = 1; k < nfirst; k++) m |= (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(v, f[k]));
        if (n - i < 16) m &= (1u << (n - i)) - 1;
        for (; m; m &= m - 1) out[found++] = w + i + __builtin_ctz(m);
    }
    return found;
}
