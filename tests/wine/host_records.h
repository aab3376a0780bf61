/* Reading back what reached the stand-in host's log. */
#ifndef KORVA_TEST_HOST_RECORDS_H
#define KORVA_TEST_HOST_RECORDS_H

#include <string>
#include <vector>

#include "korva_standin.h"

struct host_record {
    std::string area, text;
    int32_t msgno = 0;
    int32_t block_ok = 0;
};

inline host_record read_record(int32_t i)
{
    host_record r;
    int32_t len = standin_record(i, NULL, 0, NULL, NULL, 0, NULL);
    if (len < 0) return r;
    /* the stand-in reports the text's length only: room for long areas too */
    std::vector<char> area(4096), text(len + 1);
    standin_record(i, area.data(), (int32_t)area.size(), &r.msgno, text.data(), len + 1, &r.block_ok);
    r.area = area.data();
    r.text.assign(text.data(), len);
    return r;
}

/* The variable names libq47's stand-in was asked, from lookup `first` on. */
inline std::vector<std::string> names_asked_since(int32_t first)
{
    std::vector<std::string> names;
    for (int32_t i = first; i < q47standin_lookup_count(); i++) {
        std::vector<char> buf(q47standin_lookup_name(i, NULL, 0) + 1);
        q47standin_lookup_name(i, buf.data(), (int32_t)buf.size());
        names.push_back(buf.data());
    }
    return names;
}

/* Fills the stack below the caller with non-zero bytes, so that a callee
 * that leaves a buffer on its stack unterminated shows it, instead of
 * finding a 0 there by luck. */
__attribute__((noinline)) inline void dirty_the_stack()
{
    volatile char dirt[32768];
    for (size_t i = 0; i < sizeof dirt; i++) dirt[i] = 'Z';
}

#endif
