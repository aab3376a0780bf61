/* Helpers shared by the tokenizer tests. */
#ifndef KORVA_TEST_TOKENIZE_H
#define KORVA_TEST_TOKENIZE_H

#include <stdint.h>

#include <initializer_list>
#include <string>
#include <vector>

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

/* A copy of the tokens the tokenizer handed out. */
inline std::vector<std::string> tokens_of(char **array, int32_t count)
{
    std::vector<std::string> out;
    for (int32_t i = 0; i < count; i++) out.push_back(array[i]);
    return out;
}

#endif
