/* korva_parsebuf_wrapper under the stand-in host's real parse lock. */
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

#include "korva_standin.h"
#include "../harness/harness.h"
#include "../cases/tokenize.h"
#include "dll.h"
#include "threads.h"

namespace {

decltype(&korva_parsebuf_wrapper) wrapper;
decltype(&korva_parsebuf) direct;

void bind()
{
    wrapper = KORVA_BIND(korva_parsebuf_wrapper);
    direct = KORVA_BIND(korva_parsebuf);
    standin_reset();
    standin_set_lock_mode(0);
}

bool lock_balanced()
{
    return standin_lock_depth() == 0 && standin_counter("lock_unbalanced") == 0 &&
           standin_counter("lock_granted") == standin_counter("lock_release");
}

} /* namespace */

TEST(granted_lock_gives_the_direct_result)
{
    bind();
    std::string block = delimiter_block({",", "::"});
    const char *texts[] = {"TAG1, TAG2,\"A,B\"", "a::b,,c", "", "   ", "\"open,x", NULL};
    for (const char *text : texts) {
        char **array = NULL;
        int32_t count = -7, status = -7;
        direct(text, &array, &count, 2, block.data(), 1, &status);
        std::vector<std::string> want = tokens_of(array, count);
        int32_t want_count = count, want_status = status;

        standin_reset();
        array = NULL;
        count = -7;
        status = -7;
        wrapper(text, &array, &count, 2, block.data(), 1, &status);
        ok(status == want_status && count == want_count, "%s: status %d count %d, want %d %d",
           korva_test::show(text).c_str(), status, count, want_status, want_count);
        ok(tokens_of(array, count) == want, "%s: tokens differ", korva_test::show(text).c_str());
        ok(standin_counter("lock_get") == 1 && standin_counter("lock_release") == 1,
           "%s: lock taken %d, released %d times", korva_test::show(text).c_str(),
           standin_counter("lock_get"), standin_counter("lock_release"));
        ok(lock_balanced(), "%s: lock not balanced", korva_test::show(text).c_str());
    }

    /* the typical request */
    std::string comma = delimiter_block({","});
    char **array = NULL;
    int32_t count = 0, status = 99;
    wrapper("TAG1, TAG2,\"A,B\"", &array, &count, 1, comma.data(), 1, &status);
    ok(status == 0 && count == 3, "typical request: status %d count %d", status, count);
    if (count == 3)
        ok(!strcmp(array[0], "TAG1") && !strcmp(array[1], " TAG2") && !strcmp(array[2], "A,B"),
           "typical request: %s|%s|%s", array[0], array[1], array[2]);
}

TEST(bad_delimiters_still_give_the_lock_back)
{
    bind();
    char *sentinel[1];
    char **array = sentinel;
    int32_t count = -7, status = -7;
    wrapper("a,b", &array, &count, 0, ",", 0, &status);
    ok(status == KORVA_PARSE_BADDELIM, "status %d", status);
    ok(array == sentinel && count == -7, "outputs touched");
    ok(standin_counter("lock_get") == 1 && lock_balanced(), "lock not taken and given back once");
}

TEST(refused_lock_touches_nothing)
{
    bind();
    std::string block = delimiter_block({","});
    char **kept = NULL;
    int32_t kept_count = 0, status = 0;
    wrapper("still,here", &kept, &kept_count, 1, block.data(), 0, &status);

    standin_set_lock_mode(1);
    char *sentinel[1];
    char **array = sentinel;
    int32_t count = -7;
    status = 99;
    wrapper("other,text,entirely", &array, &count, 1, block.data(), 0, &status);
    ok(status == KORVA_PARSE_LOCKED, "status %d", status);
    ok(array == sentinel && count == -7, "outputs touched (count %d)", count);
    ok(tokens_of(kept, kept_count) == std::vector<std::string>({"still", "here"}),
       "the retained tokens changed");
    ok(standin_counter("lock_release") == 1, "released %d times: a refused lock is not given back",
       standin_counter("lock_release"));

    wrapper("x", NULL, NULL, 1, block.data(), 0, NULL);   /* null pointers and a refused lock */
    standin_set_lock_mode(0);
    ok(lock_balanced(), "lock not balanced");
}

namespace {

struct worker_args {
    int id;
    int calls;
    int wrong;
    int refused;
};

DWORD WINAPI worker(void *p)
{
    worker_args *a = static_cast<worker_args *>(p);
    std::string block = delimiter_block({";", ","});
    for (int i = 0; i < a->calls; i++) {
        int fields = 1 + (a->id * 7 + i) % 40;
        std::string text;
        for (int f = 0; f < fields; f++)   /* the last field ends in ';', delimiter 0 */
            text += "t" + std::to_string(a->id) + (f % 2 || f == fields - 1 ? ";" : ",");
        char **array = NULL;
        int32_t count = -1, status = -7;
        wrapper(text.c_str(), &array, &count, 2, block.data(), 0, &status);
        if (status != 0) a->refused++;
        else if (count != fields) a->wrong++;
    }
    return 0;
}

} /* namespace */

TEST(threads_share_the_lock)
{
    bind();
    enum { THREADS = 8 };
    worker_args args[THREADS];
    HANDLE threads[THREADS];
    for (int t = 0; t < THREADS; t++) args[t] = {t, 1500, 0, 0};
    int started = start_threads(threads, THREADS, worker, args);
    ok(started == THREADS, "%d of %d threads started", started, THREADS);
    for (int t = 0; t < THREADS; t++) {
        if (!threads[t]) continue;
        WaitForSingleObject(threads[t], INFINITE);
        CloseHandle(threads[t]);
        ok(!args[t].wrong && !args[t].refused, "thread %d: %d wrong counts, %d refused", t,
           args[t].wrong, args[t].refused);
    }
    ok(standin_counter("lock_granted") == THREADS * 1500, "granted %d", standin_counter("lock_granted"));
    ok(lock_balanced(), "lock not balanced: depth %d", standin_lock_depth());
    ok(HeapValidate(GetProcessHeap(), 0, NULL), "the process heap is damaged");
}
