/*
 * The line-ending filters against a plain loop: only a first CR LF that is
 * also the text's last two bytes changes.  The input is a buffer: its bytes
 * up to the first NUL are the text, the bytes behind it must stay as they
 * are.  A null text gives a fresh default message every time.
 */
#include "fuzz_check.h"

#include <sanitizer/allocator_interface.h>

#include "korva_vb6.h"

namespace {

const char default_message[] = "No English error message text found\n";

void filter(const std::string &block, bool all)
{
    const char *name = all ? "KORVA_FILTER_ALL_CRLF" : "KORVA_FILTER_CRLF";
    size_t len = strlen(block.c_str()), first = len;
    for (size_t i = 0; i + 1 < len; i++)
        if (block[i] == '\r' && block[i + 1] == '\n') {
            first = i;
            break;
        }
    std::string want = block;
    if (len >= 2 && first == len - 2) {
        if (all) {
            want[first] = 0;
        } else {
            want[first] = '\n';
            want[first + 1] = 0;
        }
    }

    heap_block b(block.data(), block.size());
    expect((all ? KORVA_FILTER_ALL_CRLF : KORVA_FILTER_CRLF)(b.p) == b.p,
           "%s did not return its text", name);
    expect(!memcmp(b.p, want.data(), want.size()), "%s on %s:\n  got  %s\n  want %s", name,
           show(block).c_str(), show(b.p, b.n).c_str(), show(want).c_str());
}

void default_buffer(bool all)
{
    char *buf = (all ? KORVA_FILTER_ALL_CRLF : KORVA_FILTER_CRLF)(NULL);
    expect(buf != NULL, "no default message");
    expect(__sanitizer_get_allocated_size(buf) == sizeof(default_message),
           "default message buffer of %zu bytes", __sanitizer_get_allocated_size(buf));
    expect(!memcmp(buf, default_message, sizeof(default_message)), "default message %s",
           show(buf, sizeof(default_message)).c_str());
    free(buf);
}

} /* namespace */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string block(reinterpret_cast<const char *>(data), size);
    block += '\0';
    for (bool all : {false, true}) {
        filter(block, all);
        default_buffer(all);
    }
    return 0;
}
