/*
 * korva_parsebuf_wrapper from eight threads at once, through the stand-in
 * host's real parse lock.  Every call checks the count it got back; every
 * fourth call holds the host's lock around the parse and the copy, as the
 * documented pattern says, and checks each token too.  Afterwards the heaps
 * validate, the lock is balanced, and the process's private bytes are where
 * they were.  KORVA_SOAK=full runs ten times the calls.
 */
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

#define KORVA_STANDIN_DECLARE_HOST_API
#include "korva_standin.h"
#include "../harness/harness.h"
#include "../cases/tokenize.h"
#include "dll.h"
#include "process_health.h"
#include "threads.h"

namespace {

decltype(&korva_parsebuf_wrapper) wrapper;

enum { THREADS = 8 };

const std::string delimiters = delimiter_block({";", "::"});

/* One line of the workload and the tokens it must give. */
struct line {
    std::string text;
    std::vector<std::string> tokens;
    int32_t quote = 0;
};

/* Line number i of thread id: up to 40 fields of varying length, joined by
 * either delimiter, the last one closed or not; on odd lines a quoted field
 * hides a delimiter; now and then a long field, or a line of one-byte fields
 * (more tokens than the first guess of the scanner has room for). */
line make_line(int id, int i)
{
    line l;
    l.quote = i & 1;
    int fields = 1 + (id * 7 + i) % 40;
    if (i % 101 == 0) fields = 300;
    for (int f = 0; f < fields; f++) {
        std::string field;
        if (i % 101 == 0) field = "z";
        else if (i % 97 == 0 && f == 1) field = std::string(5000, (char)('a' + id));
        else field = "t" + std::to_string(id) + "." + std::to_string(i) + "." + std::to_string(f);
        if (l.quote && f == fields / 2) {
            l.text += "\"" + field + ";" + field + "\"";
            l.tokens.push_back(field + ";" + field);
        } else {
            l.text += field;
            l.tokens.push_back(field);
        }
        bool last = f == fields - 1;
        if (!last) l.text += (f + i) % 3 ? ";" : "::";
        else if (i % 5) l.text += ";";   /* else delimiter 0 is appended */
    }
    return l;
}

struct worker {
    int id, calls;
    int refused = 0, wrong_count = 0, wrong_tokens = 0, held = 0;
    std::string first_problem;
};

void note(worker &w, int i, const char *what)
{
    if (w.first_problem.empty())
        w.first_problem = "call " + std::to_string(i) + ": " + what;
}

DWORD WINAPI run(void *p)
{
    worker &w = *static_cast<worker *>(p);
    for (int i = 0; i < w.calls; i++) {
        line l = make_line(w.id, i);
        bool hold = i % 4 == 0;
        if (hold) {
            if (!KORVA_USR_GET_PARSEBUF_MUTEX()) {
                w.refused++;
                continue;
            }
            w.held++;
        }

        char **array = NULL;
        int32_t count = -1, status = -7;
        wrapper(l.text.c_str(), &array, &count, 2, delimiters.data(), l.quote, &status);
        if (status != KORVA_PARSE_OK) {
            w.refused++;
            note(w, i, "status not 0");
        } else if (count != (int32_t)l.tokens.size()) {
            w.wrong_count++;
            note(w, i, "wrong count");
        } else if (hold) {
            for (int32_t t = 0; t < count; t++)
                if (l.tokens[t] != array[t]) {
                    w.wrong_tokens++;
                    note(w, i, "wrong token");
                    break;
                }
        }
        if (hold) KORVA_USR_RELEASE_PARSEBUF_MUTEX();
    }
    return 0;
}

/* Runs THREADS workers of `calls` calls each; false when a thread could not
 * be started. */
bool run_threads(worker *workers, int calls)
{
    HANDLE threads[THREADS];
    for (int t = 0; t < THREADS; t++) {
        workers[t] = worker();
        workers[t].id = t;
        workers[t].calls = calls;
    }
    int started = start_threads(threads, THREADS, run, workers);
    for (int t = 0; t < THREADS; t++)
        if (threads[t]) {
            WaitForSingleObject(threads[t], INFINITE);
            CloseHandle(threads[t]);
        }
    return started == THREADS;
}

} /* namespace */

TEST(eight_threads_through_the_parse_lock)
{
    wrapper = KORVA_BIND(korva_parsebuf_wrapper);
    standin_reset();
    standin_set_lock_mode(0);

    /* a short round first, so that the heaps and the threads' leftovers
     * have settled before the private bytes are read */
    worker workers[THREADS];
    if (!ok(run_threads(workers, 400), "threads could not be started")) return;
    size_t before = private_bytes();
    DWORD handles_before = handle_count();
    standin_reset();

    int calls = soak_full() ? 50000 : 5000;
    double start = seconds();
    if (!ok(run_threads(workers, calls), "threads could not be started")) return;
    double elapsed = seconds() - start;

    int held = 0;
    for (int t = 0; t < THREADS; t++) {
        const worker &w = workers[t];
        held += w.held;
        ok(!w.refused && !w.wrong_count && !w.wrong_tokens,
           "thread %d: %d refused, %d wrong counts, %d wrong token lists; first: %s", t, w.refused,
           w.wrong_count, w.wrong_tokens, w.first_problem.c_str());
    }

    /* every wrapper call took the lock once, every held copy once more, and
     * each grant was given back by the thread that had it */
    int32_t granted = standin_counter("lock_granted");
    ok(granted == THREADS * calls + held && standin_counter("lock_get") == granted,
       "lock asked %d, granted %d times; want %d", standin_counter("lock_get"), granted,
       THREADS * calls + held);
    ok(standin_lock_depth() == 0 && standin_counter("lock_unbalanced") == 0 &&
           standin_counter("lock_release") == granted,
       "lock not balanced: depth %d, %d unbalanced releases, %d released of %d", standin_lock_depth(),
       standin_counter("lock_unbalanced"), standin_counter("lock_release"), granted);

    int bad_heaps, crt_check;
    bool heaps = heaps_valid(&bad_heaps, &crt_check);
    ok(heaps, "%d heaps fail validation; _heapchk() %d", bad_heaps, crt_check);

    /* the retained list of the last parse stays, a few KiB at most */
    size_t after = private_bytes();
    DWORD handles_after = handle_count();
    long grew = (long)after - (long)before;
    korva_test::trace("%d threads x %d calls in %.2f s; private bytes %lu -> %lu (%+ld); handles %lu -> %lu\n",
                      THREADS, calls, elapsed, (unsigned long)before, (unsigned long)after, grew,
                      handles_before, handles_after);
    ok(grew < 256 * 1024, "private bytes grew by %ld", grew);
    ok(handles_after <= handles_before, "handles %lu -> %lu", handles_before, handles_after);
}
