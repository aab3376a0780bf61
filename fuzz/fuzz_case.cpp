/*
 * The case exports against a plain loop over a-z / A-Z (the default locale,
 * which a fuzzer never leaves).  The input is a buffer: its bytes up to the
 * first NUL are the text, the bytes behind it must stay as they are.
 */
#include "fuzz_check.h"

#include "korva_vb6.h"

namespace {

const size_t canary = 4;

std::string converted(const std::string &text, bool up)
{
    std::string out = text;
    for (char &c : out) {
        if (up && c >= 'a' && c <= 'z') c = c - 'a' + 'A';
        if (!up && c >= 'A' && c <= 'Z') c = c - 'A' + 'a';
    }
    return out;
}

void in_place(const std::string &block, const std::string &text, bool up)
{
    const char *name = up ? "korva_upper" : "korva_lower";
    std::string want = block;
    want.replace(0, text.size(), converted(text, up));
    heap_block b(block.data(), block.size());
    expect((up ? korva_upper : korva_lower)(b.p) == b.p, "%s did not return its text", name);
    expect(!memcmp(b.p, want.data(), want.size()), "%s on %s:\n  got  %s\n  want %s", name,
           show(block).c_str(), show(b.p, b.n).c_str(), show(want).c_str());
}

/* into a separate buffer with canary bytes behind its strlen + 1, and into
 * the source itself */
void into_buffer(const std::string &text, bool up)
{
    const char *name = up ? "korva_upper_r" : "korva_lower_r";
    char *(KORVA_API *fn)(const char *, char *) = up ? korva_upper_r : korva_lower_r;
    std::string want = converted(text, up) + '\0';

    heap_block src(text.c_str(), text.size() + 1);
    std::string fresh = std::string(text.size() + 1, '\x7e') + std::string(canary, '\xa5');
    heap_block dst(fresh.data(), fresh.size());
    expect(fn(src.p, dst.p) == dst.p, "%s did not return dst", name);
    expect(!memcmp(src.p, text.c_str(), text.size() + 1), "%s changed its source %s", name,
           show(text).c_str());
    expect(!memcmp(dst.p, want.data(), want.size()), "%s on %s: got %s", name, show(text).c_str(),
           show(dst.p, dst.n).c_str());
    expect(!memcmp(dst.p + want.size(), fresh.data() + want.size(), canary),
           "%s on %s wrote past the terminator: %s", name, show(text).c_str(),
           show(dst.p, dst.n).c_str());

    heap_block same(text.c_str(), text.size() + 1);
    expect(fn(same.p, same.p) == same.p, "%s in place did not return its buffer", name);
    expect(!memcmp(same.p, want.data(), want.size()), "%s in place on %s: got %s", name,
           show(text).c_str(), show(same.p, same.n).c_str());
}

} /* namespace */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string block(reinterpret_cast<const char *>(data), size);
    block += '\0';
    std::string text = block.substr(0, strlen(block.c_str()));
    for (bool up : {true, false}) {
        in_place(block, text, up);
        into_buffer(text, up);
    }
    return 0;
}
