/*
 * korva_parsebuf, on each of its scan paths (plain and SSE2), against the
 * literal scanner (tests/oracle/literal_tokenizer.cpp), which tries every
 * delimiter at every position outside quotes.
 *
 * Input layout:
 *   byte 0   flags: bits 0-1 delimiter count (0: one, 1: two, 2: three,
 *            3: nine); bit 2 quote handling, bit 3 with the quote flag 0x100
 *            instead of 1; bits 4-5 text form (raw, small alphabet, runs, raw
 *            without NULs); bit 6 delimiters from the small alphabet; bit 7
 *            extra calls: null out-pointers first and a refused delimiter
 *            list afterwards
 *   byte 1   which refused list (used with bit 7) and which token is parsed
 *            again; its high 4 bits: the text's offset from a 16-byte
 *            boundary (its terminator is the last byte of its heap block)
 *   then per delimiter a header byte h: length 1 + h % 3, of which the
 *            first (h / 3) % 4 bytes repeat the previous delimiter's start,
 *            followed by the remaining bytes
 *   the rest is the text
 */
#include "fuzz_check.h"

#include <vector>

#include "korva_vb6.h"
#include "literal_tokenizer.h"
#include "../tokenizer/scan.h"

namespace {

const char alphabet[] = ",;:\" ab\t\xe9";
const size_t alphabet_size = sizeof(alphabet) - 1;

/* run lengths of the "runs" text form, around the 999-byte token buffer */
const size_t run_lengths[16] = {1, 1, 1, 1, 2, 3, 4, 8, 16, 32, 64, 128, 250, 500, 999, 1000};

/* The runs form stops growing a text at this length: enough for several
 * fields past 999 bytes, small enough to keep the fuzzer fast. */
const size_t text_max = 8192;

std::string decode_text(const std::string &raw, int form)
{
    std::string text;
    for (unsigned char b : raw) {
        if (form == 2 && text.size() >= text_max) break;
        switch (form) {
        case 0: text += (char)b; break;
        case 1: text += alphabet[b % alphabet_size]; break;
        case 2: text.append(run_lengths[b >> 4], alphabet[(b & 15) % alphabet_size]); break;
        case 3: if (b) text += (char)b; break;
        }
    }
    return text.substr(0, strlen(text.c_str()));  /* the text ends at its first NUL */
}

std::vector<std::string> token_list(char **tokens, int32_t count)
{
    std::vector<std::string> out;
    for (int32_t i = 0; i < count; i++) out.push_back(tokens[i]);
    return out;
}

std::string show_tokens(const std::vector<std::string> &list)
{
    std::string out = "[";
    for (size_t i = 0; i < list.size() && i < 20; i++) out += (i ? ", " : "") + show(list[i]);
    if (list.size() > 20) out += ", ...";
    return out + "] (" + std::to_string(list.size()) + " tokens)";
}

/* A refused call: status -2, outputs and the retained list as they were. */
void refused_call(korva_scan_path path, const char *text, uint8_t variant, const std::vector<std::string> &delims,
                  char **kept, char **want, int32_t want_count)
{
    std::string block;
    int32_t ndelim;
    bool null_block = false;
    switch (variant % 5) {
    case 0: ndelim = 0; break;
    case 1: ndelim = -1; break;
    case 2: ndelim = INT32_MIN; break;
    case 3: ndelim = 1; null_block = true; break;
    default: {
        /* an empty delimiter somewhere in an otherwise good list */
        size_t at = (variant / 5) % (delims.size() + 1);
        for (size_t j = 0; j <= delims.size(); j++) {
            if (j == at) block += '\0';
            if (j < delims.size()) block += delims[j] + '\0';
        }
        ndelim = (int32_t)delims.size() + 1;
        break;
    }
    }
    heap_block b(block.data(), block.size());
    char *sentinel[1];
    char **tokens = sentinel;
    int32_t count = -7, status = -7;
    korva_parsebuf_on(path, text, &tokens, &count, ndelim, null_block ? NULL : b.p, 1, &status);
    expect(status == KORVA_PARSE_BADDELIM, "refused list %u: status %d", variant % 5, status);
    expect(count == -7 && tokens == sentinel, "refused list %u touched the outputs", variant % 5);
    if (kept) {
        std::vector<std::string> now = token_list(kept, want_count), was = token_list(want, want_count);
        expect(now == was, "refused list %u changed the retained list: %s, was %s", variant % 5,
               show_tokens(now).c_str(), show_tokens(was).c_str());
    }
}

char *sentinel[1];

struct parse_result {
    char **tokens = sentinel;
    int32_t count = -7, status = -7;

    bool written() const { return tokens != sentinel; }
    std::vector<std::string> list() const { return token_list(tokens, written() ? count : 0); }
};

/* korva_parsebuf on `text` (which may lie in its own retained list) and the
 * literal scanner on a copy of it; both must give the same outputs. */
void parse_both(korva_scan_path path, const char *text, const std::string &copy, const char *list,
                const std::string &block, int32_t ndelim, int32_t quote,
                const std::vector<std::string> &delims, parse_result &got, parse_result &want)
{
    got = parse_result();
    want = parse_result();
    korva_parsebuf_on(path, text, &got.tokens, &got.count, ndelim, list, quote, &got.status);
    literal_parsebuf(copy.c_str(), &want.tokens, &want.count, ndelim, block.data(), quote,
                     &want.status);

    const char *name = path == KORVA_SCAN_SSE2 ? "sse2" : "plain";
    expect(got.status == want.status, "%s path, text %s quote %d: status %d, want %d", name,
           show(copy).c_str(), quote, got.status, want.status);
    expect(got.written() == want.written(), "text %s: token array %swritten", show(copy).c_str(),
           got.written() ? "" : "not ");
    bool same = got.count == want.count;
    for (int32_t i = 0; same && got.written() && i < got.count; i++)
        same = !strcmp(got.tokens[i], want.tokens[i]);
    if (!same) {
        std::string about = std::string(name) + " path, text " + show(copy) + " quote " + std::to_string(quote) + " delimiters";
        for (const std::string &d : delims) about += " " + show(d);
        expect(same, "%s:\n  got  %s\n  want %s", about.c_str(), show_tokens(got.list()).c_str(),
               show_tokens(want.list()).c_str());
    }
}

} /* namespace */

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    input_reader in = {data, size};
    uint8_t flags = in.byte(), variant = in.byte();
    int ndelim = (flags & 3) == 3 ? 9 : 1 + (flags & 3);
    int32_t quote = flags & 4 ? (flags & 8 ? 0x100 : 1) : 0;
    int form = (flags >> 4) & 3;
    bool alpha_delims = flags & 0x40, extra = flags & 0x80;

    std::vector<std::string> delims;
    for (int j = 0; j < ndelim; j++) {
        uint8_t h = in.byte();
        size_t len = 1 + h % 3, share = (h / 3) % 4;
        std::string d = j ? delims[j - 1].substr(0, share < len ? share : len) : "";
        while (d.size() < len) {
            uint8_t b = in.byte();
            d += alpha_delims ? alphabet[b % alphabet_size] : (b ? (char)b : ',');
        }
        delims.push_back(d);
    }
    std::string block;
    for (const std::string &d : delims) block += d + '\0';

    std::string text = decode_text(in.rest(), form);
    size_t offset = variant >> 4;
    heap_block t(offset + text.size() + 1), list(block.data(), block.size());
    memcpy(t.p + offset, text.c_str(), text.size() + 1);
    const char *at = t.p + offset;

    for (korva_scan_path path : {KORVA_SCAN_PLAIN, KORVA_SCAN_SSE2}) {
        parse_result got, want;
        if (extra) korva_parsebuf_on(path, at, NULL, NULL, ndelim, list.p, quote, NULL);
        parse_both(path, at, text, list.p, block, ndelim, quote, delims, got, want);
        expect(!memcmp(at, text.c_str(), text.size() + 1), "the text was changed");
        expect(!memcmp(list.p, block.data(), block.size()), "the delimiter list was changed");

        /* A token of the list just handed out, parsed again: it is read
         * before the list it lies in is released. */
        if (got.written() && got.count > 0) {
            int32_t k = variant % got.count;
            std::string token = got.tokens[k];
            parse_both(path, got.tokens[k], token, list.p, block, ndelim, quote, delims, got, want);
        }

        if (extra) refused_call(path, at, variant, delims, got.written() ? got.tokens : NULL,
                                want.tokens, want.count);
    }

    /* An empty text releases both retained lists, so every input frees what
     * it allocated and libFuzzer's leak check stays quiet unless something
     * really leaks. */
    korva_parsebuf("", NULL, NULL, ndelim, list.p, quote, NULL);
    literal_parsebuf("", NULL, NULL, ndelim, list.p, quote, NULL);
    return 0;
}
