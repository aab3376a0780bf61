/*
 * korva_atoi against the C library: strtoll in base 0 on the text without
 * its leading and trailing blank bytes, then an explicit 32-bit range check.
 * The input is the text (up to its first NUL).
 */
#include "fuzz_check.h"

#include <errno.h>

#include "korva_vb6.h"

namespace {

struct outcome {
    int32_t status;
    int32_t value;      /* meaningful when status is 0 */
};

outcome reference(const std::string &text)
{
    if (text.empty()) return {KORVA_ATOI_EMPTY, 0};
    size_t first = 0, end = text.size();
    while (first < end && ref_blank(text[first])) first++;
    while (end > first && ref_blank(text[end - 1])) end--;
    std::string s = text.substr(first, end - first);
    if (s.empty()) return {KORVA_ATOI_OK, 0};

    char *stop = NULL;
    errno = 0;
    long long v = strtoll(s.c_str(), &stop, 0);
    if (errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return {KORVA_ATOI_RANGE, 0};
    if (stop != s.c_str() + s.size()) return {KORVA_ATOI_TRAILING, 0};
    return {KORVA_ATOI_OK, (int32_t)v};
}

} /* namespace */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    text.resize(strlen(text.c_str()));
    heap_block t(text.c_str(), text.size() + 1);
    outcome want = reference(text);

    const int32_t untouched = -987654321;
    int32_t result = untouched, status = -7;
    errno = EDOM;
    korva_atoi(t.p, &result, &status);
    int err = errno;

    std::string about = show(text);
    expect(!memcmp(t.p, text.c_str(), text.size() + 1), "%s: the text was changed", about.c_str());
    expect(status == want.status, "%s: status %d, want %d", about.c_str(), status, want.status);
    if (want.status == KORVA_ATOI_OK)
        expect(result == want.value, "%s: result %d, want %d", about.c_str(), result, want.value);
    else
        expect(result == untouched, "%s: status %d but the result was written (%d)", about.c_str(),
               status, result);
    if (want.status == KORVA_ATOI_OK || want.status == KORVA_ATOI_TRAILING)
        expect(err == 0, "%s: errno %d, want it cleared", about.c_str(), err);
    if (want.status == KORVA_ATOI_RANGE)
        expect(err == ERANGE, "%s: errno %d after a range error", about.c_str(), err);

    /* either out-pointer may be null; the other is written as before */
    int32_t status2 = -7;
    korva_atoi(t.p, NULL, &status2);
    expect(status2 == want.status, "%s, null result: status %d", about.c_str(), status2);
    int32_t result2 = untouched;
    korva_atoi(t.p, &result2, NULL);
    expect(result2 == result, "%s, null status: result %d, want %d", about.c_str(), result2, result);
    return 0;
}
