/* Helpers shared by the tokenizer tests. */
#ifndef KORVA_TEST_TOKENIZE_H
#define KORVA_TEST_TOKENIZE_H

#include <initializer_list>
#include <string>

/* The delimiter block the tokenizer takes: each delimiter and its NUL. */
inline std::string delimiter_block(std::initializer_list<const char *> delims)
{
    std::string block;
    for (const char *d : delims) {
        block += d;
        block += '\0';
    }
    return block;
}

#endif
