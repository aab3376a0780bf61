/*
 * The blank exports against plain reference loops.  Every buffer is a heap
 * block of exactly the size the contract allows to be touched, and every
 * byte of it is compared afterwards, so a write past the documented range is
 * either an ASan report or a mismatch.
 *
 * Input layout: byte 0 the length for korva_trimblanks, bytes 1-2 the
 * maximum length for korva_lefttrim_r, byte 3 where its source and
 * destination lie, the rest the buffer (NULs included).
 */
#include "fuzz_check.h"

#include <algorithm>

#include "korva_vb6.h"

namespace {

void check_block(const char *what, const std::string &before, const heap_block &b,
                 const std::string &want)
{
    expect(!memcmp(b.p, want.data(), want.size()), "%s on %s:\n  got  %s\n  want %s", what,
           show(before).c_str(), show(b.p, b.n).c_str(), show(want).c_str());
}

/* korva_trimblanks / korva_trimBlanksEx: the walk from buf[len-1] down. */
void trim_walk(const std::string &buf, int32_t len)
{
    std::string want = buf;
    for (int64_t i = (int64_t)len - 1; i >= 0 && ref_blank(want[i]); i--) want[i] = 0;

    heap_block a(buf.data(), buf.size());
    korva_trimblanks(a.p, len);
    check_block(("korva_trimblanks, length " + std::to_string(len)).c_str(), buf, a, want);

    heap_block b(buf.data(), buf.size());
    expect(korva_trimBlanksEx(b.p, len) == b.p, "korva_trimBlanksEx did not return its buffer");
    check_block(("korva_trimBlanksEx, length " + std::to_string(len)).c_str(), buf, b, want);
}

/* korva_lefttrim / korva_leftpack: the result and its terminator are written
 * at the start; everything behind the new terminator keeps its value. */
void in_place(const std::string &block)
{
    size_t len = strlen(block.c_str()), first = 0, end = len;
    while (first < end && ref_blank(block[first])) first++;
    while (end > first && ref_blank(block[end - 1])) end--;
    std::string want = block;
    want.replace(0, end - first + 1, block.substr(first, end - first) + '\0');

    heap_block a(block.data(), block.size());
    expect(korva_lefttrim(a.p) == a.p, "korva_lefttrim did not return its text");
    check_block("korva_lefttrim", block, a, want);

    std::string packed;
    for (size_t i = 0; i < len; i++)
        if (!ref_blank(block[i])) packed += block[i];
    want = block;
    want.replace(0, packed.size() + 1, packed + '\0');

    heap_block b(block.data(), block.size());
    expect(korva_leftpack(b.p) == b.p, "korva_leftpack did not return its text");
    check_block("korva_leftpack", block, b, want);
}

/* korva_lefttrim_r: src and dst in one block, apart, equal or overlapping;
 * only dst[0..n] may change, n being the length of the copy. */
void trim_copy(const std::string &text, int32_t maxlen, uint8_t layout)
{
    size_t len = text.size(), first = 0, end = len;
    while (first < end && ref_space(text[first])) first++;
    while (end > first && ref_space(text[end - 1])) end--;
    size_t n = maxlen <= 0 ? 0 : end - first;
    if (maxlen > 0 && n > (size_t)maxlen) n = maxlen;
    std::string copy = text.substr(first, n) + '\0';

    size_t room = maxlen > 0 ? (size_t)maxlen + 1 : 1;   /* what dst must hold */
    size_t src_at = 0, dst_at = 0, shift = layout >> 2;
    switch (layout & 3) {
    case 0: dst_at = len + 1; break;                 /* apart, dst right behind src */
    case 1: break;                                   /* the same buffer */
    case 2: dst_at = shift % (len + 1); break;       /* dst inside src */
    case 3: src_at = shift % (room + 1); break;      /* src inside dst */
    }
    size_t size = std::max(src_at + len + 1, dst_at + room);
    std::string before(size, '\x5a');
    before.replace(src_at, len + 1, text.c_str(), len + 1);

    heap_block b(before.data(), before.size());
    char *src = b.p + src_at, *dst = b.p + dst_at;
    expect(korva_lefttrim_r(src, maxlen, dst) == dst, "korva_lefttrim_r did not return dst");
    std::string want = before;
    want.replace(dst_at, copy.size(), copy);
    std::string what = "korva_lefttrim_r, maxlen " + std::to_string(maxlen) + ", src at " +
                       std::to_string(src_at) + ", dst at " + std::to_string(dst_at);
    check_block(what.c_str(), before, b, want);
}

} /* namespace */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    input_reader in = {data, size};
    uint8_t len_sel = in.byte(), hi = in.byte(), lo = in.byte(), layout = in.byte();
    std::string buf = in.rest();

    /* lengths from -2 up to the buffer's size, now and then the most negative */
    int32_t len = len_sel == 255 ? INT32_MIN : (int32_t)(len_sel % (buf.size() + 3)) - 2;
    trim_walk(buf, len);

    in_place(buf + '\0');

    std::string text = buf.substr(0, strlen(buf.c_str()));
    unsigned sel = hi << 8 | lo;
    int32_t maxlen = sel == 0xffff ? INT32_MIN : (int32_t)(sel % (text.size() + 4)) - 1;
    trim_copy(text, maxlen, layout);
    return 0;
}
