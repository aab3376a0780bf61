/*
 * Shared by the fuzz targets: exact-size heap copies, so that AddressSanitizer
 * sees the first byte read or written past a buffer, and a check that
 * prints the input's story and aborts, which libFuzzer records as a crash.
 */
#ifndef KORVA_FUZZ_CHECK_H
#define KORVA_FUZZ_CHECK_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#define expect(cond, ...)                                                     \
    do {                                                                      \
        if (!(cond)) {                                                        \
            fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #cond); \
            fprintf(stderr, __VA_ARGS__);                                     \
            fputc('\n', stderr);                                              \
            abort();                                                          \
        }                                                                     \
    } while (0)

/* A heap block of exactly n bytes; ASan's red zone starts right behind it. */
struct heap_block {
    char *p;
    size_t n;

    explicit heap_block(size_t size) : p(static_cast<char *>(malloc(size ? size : 1))), n(size)
    {
        if (!p) abort();
    }
    heap_block(const void *src, size_t size) : heap_block(size)
    {
        if (size) memcpy(p, src, size);
    }
    ~heap_block() { free(p); }
    heap_block(const heap_block &) = delete;
    heap_block &operator=(const heap_block &) = delete;
};

/* Printable form of n bytes, cut after `limit` of them. */
inline std::string show(const char *s, size_t n, size_t limit = 120)
{
    if (!s) return "(null)";
    std::string out = "'";
    for (size_t i = 0; i < n && i < limit; i++) {
        unsigned char c = s[i];
        char buf[8];
        if (c >= 0x20 && c < 0x7f && c != '\\' && c != '\'') {
            out += (char)c;
        } else {
            snprintf(buf, sizeof(buf), "\\x%02X", c);
            out += buf;
        }
    }
    out += "'";
    if (n > limit) out += "... (" + std::to_string(n) + " bytes)";
    return out;
}

inline std::string show(const char *s)
{
    return s ? show(s, strlen(s)) : "(null)";
}

inline std::string show(const std::string &s)
{
    return show(s.data(), s.size());
}

/* Reads the fuzzer's input front to back; zeros once it is used up. */
struct input_reader {
    const uint8_t *p;
    size_t n;

    uint8_t byte()
    {
        if (!n) return 0;
        n--;
        return *p++;
    }
    std::string rest()
    {
        std::string s(reinterpret_cast<const char *>(p), n);
        p += n;
        n = 0;
        return s;
    }
};

/* The two notions of a blank, written out independently of the library. */
inline bool ref_blank(unsigned char c)
{
    return c <= 32 || c >= 128;
}

inline bool ref_space(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

#endif
