/*
 * The tokenizer's use of the heap, counted.  This program is linked with
 * --wrap for malloc, calloc, realloc and free, so every allocation the
 * portable code makes passes through the counters below (the C++ library's
 * own, behind operator new, does not).  A counter can also make the n-th
 * allocation fail.
 */
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "../harness/harness.h"
#include "korva_vb6.h"

extern "C" {
void *__real_malloc(size_t size);
void *__real_calloc(size_t n, size_t size);
void *__real_realloc(void *p, size_t size);
void __real_free(void *p);
}

namespace {

struct heap_counters {
    long allocations;   /* malloc, calloc, and realloc of a null pointer or to a new place */
    long live;          /* blocks allocated and not yet freed */
    long fail_at;       /* the allocation number that fails; 0 = none */
} heap;

bool fails()
{
    return ++heap.allocations == heap.fail_at;
}

} /* namespace */

extern "C" void *__wrap_malloc(size_t size)
{
    if (fails()) return NULL;
    void *p = __real_malloc(size);
    if (p) heap.live++;
    return p;
}

extern "C" void *__wrap_calloc(size_t n, size_t size)
{
    if (fails()) return NULL;
    void *p = __real_calloc(n, size);
    if (p) heap.live++;
    return p;
}

extern "C" void *__wrap_realloc(void *old, size_t size)
{
    if (fails()) return NULL;
    void *p = __real_realloc(old, size);
    if (p && !old) heap.live++;
    return p;
}

extern "C" void __wrap_free(void *p)
{
    if (p) heap.live--;
    __real_free(p);
}

namespace {

struct parse_result {
    int32_t status, count;
    char **array;
    long allocations;
};

const char *const sentinel_array[1] = {"untouched"};

/* One parse with the counters reset; the n-th allocation fails when fail_at. */
parse_result counted_parse(const std::string &text, const std::string &block, int32_t ndelim,
                           int32_t quote, long fail_at = 0)
{
    parse_result r = {-7, -7, const_cast<char **>(sentinel_array), 0};
    heap.allocations = 0;
    heap.fail_at = fail_at;
    korva_parsebuf(text.c_str(), &r.array, &r.count, ndelim, block.data(), quote, &r.status);
    heap.fail_at = 0;
    r.allocations = heap.allocations;
    return r;
}

/* ndelim delimiters: "," first, then "<k>;" for k = 1, 2, ... */
std::string delimiters(int32_t ndelim)
{
    std::string block(",\0", 2);
    for (int32_t k = 1; k < ndelim; k++) block += std::to_string(k) + ";" + '\0';
    return block;
}

/* `fields` fields of `width` bytes, each closed by ',', every other one
 * quoted when quoted is set. */
std::string fields_line(size_t fields, size_t width, bool quoted)
{
    std::string text;
    for (size_t i = 0; i < fields; i++) {
        std::string f(width, (char)('a' + i % 26));
        if (quoted && i % 2 && width >= 2) f.front() = f.back() = '"';
        text += f + ",";
    }
    return text;
}

void release_all()
{
    int32_t count, status;
    korva_parsebuf("", NULL, &count, 1, ",", 0, &status);
}

} /* namespace */

TEST(allocations_per_parse_do_not_grow_with_the_line)
{
    /* wide fields fit the first guess of the array; one-byte fields need the
     * second round; a list of more than 8 delimiters is unpacked on the heap */
    struct { size_t width; const char *what; } shapes[] = {{12, "wide"}, {1, "short"}};
    for (int32_t ndelim : {1, 3, 8, 9, 300}) {
        std::string block = delimiters(ndelim);
        for (auto &shape : shapes) {
            for (int32_t quote : {0, 1}) {
                long first = -1;
                for (size_t fields : {1, 100, 10000, 100000}) {
                    std::string text = fields_line(fields, shape.width, quote);
                    parse_result r = counted_parse(text, block, ndelim, quote);
                    ok(r.status == 0 && r.count == (int32_t)fields,
                       "%s fields %u, %d delimiters: status %d count %d", shape.what,
                       (unsigned)fields, ndelim, r.status, r.count);
                    ok(r.allocations <= 3, "%s fields %u, %d delimiters, quote %d: %ld allocations",
                       shape.what, (unsigned)fields, ndelim, quote, r.allocations);
                    if (fields >= 100 && first < 0) first = r.allocations;
                    ok(fields < 100 || r.allocations == first,
                       "%s fields, %d delimiters: %ld allocations for %u fields, %ld for 100",
                       shape.what, ndelim, r.allocations, (unsigned)fields, first);
                    /* the scratch is gone: what is left is the retained list */
                    ok(heap.live == 1, "%s fields %u, %d delimiters: %ld blocks live",
                       shape.what, (unsigned)fields, ndelim, heap.live);
                }
            }
        }
    }
    release_all();
    ok(heap.live == 0, "after an empty parse %ld blocks are live", heap.live);
}

TEST(a_line_of_short_fields_parsed_again_keeps_its_block)
{
    /* The second round takes the first round's block, which took the
     * previous list's: only a list of more than 8 delimiters allocates. */
    for (int32_t ndelim : {1, 3, 9}) {
        std::string block = delimiters(ndelim), text = fields_line(10000, 3, false);
        counted_parse(text, block, ndelim, 0);
        parse_result r = counted_parse(text, block, ndelim, 0);
        ok(r.status == 0 && r.count == 10000 && r.allocations == (ndelim > 8),
           "%d delimiters, parsed again: status %d count %d, %ld allocations", ndelim, r.status,
           r.count, r.allocations);
    }
    release_all();
}

TEST(out_of_memory_at_every_allocation)
{
    /* each failing allocation in turn: the block; the block and the second
     * round's; the delimiter list and the block */
    struct { std::string text; int32_t ndelim; int32_t quote; const char *what; long allocations; } cases[] = {
        {fields_line(50, 12, false), 1, 0, "wide fields", 1},
        {fields_line(500, 1, false), 1, 0, "short fields (second round)", 2},
        {fields_line(500, 3, true), 9, 1, "9 delimiters, quotes", 2},
    };
    for (auto &c : cases) {
        std::string block = delimiters(c.ndelim);
        long needed = counted_parse(c.text, block, c.ndelim, c.quote).allocations;
        ok(needed == c.allocations, "%s: %ld allocations, want %ld", c.what, needed, c.allocations);
        for (long k = 1; k <= needed; k++) {
            counted_parse("kept,before", block, c.ndelim, 0);
            parse_result r = counted_parse(c.text, block, c.ndelim, c.quote, k);
            ok(r.status == KORVA_PARSE_NOMEM, "%s, allocation %ld fails: status %d", c.what, k,
               r.status);
            ok(r.count == 0 && r.array == sentinel_array,
               "%s, allocation %ld fails: count %d, array %s", c.what, k, r.count,
               r.array == sentinel_array ? "untouched" : "written");
            ok(heap.live == 0, "%s, allocation %ld fails: %ld blocks live (previous list "
               "released, nothing leaked)", c.what, k, heap.live);

            /* and the next parse works */
            r = counted_parse(c.text, block, c.ndelim, c.quote);
            ok(r.status == 0 && r.count > 0, "%s after a failure: status %d count %d", c.what,
               r.status, r.count);
        }
    }
    release_all();
}
