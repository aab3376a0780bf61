/* Starting the threads of the tests that run several at once. */
#ifndef KORVA_TEST_THREADS_H
#define KORVA_TEST_THREADS_H

#include <stdlib.h>
#include <string.h>

#include <vector>

#include <windows.h>

namespace korva_threads {

struct start {
    LPTHREAD_START_ROUTINE fn;
    void *arg;
    HANDLE running, gate;
    volatile LONG *through;
};

inline DWORD WINAPI wait_at_gate(void *p)
{
    start s = *static_cast<start *>(p);
    SetEvent(s.running);
    WaitForSingleObject(s.gate, INFINITE);
    InterlockedIncrement(s.through);
    return s.fn(s.arg);
}

} /* namespace korva_threads */

/*
 * Starts n threads, thread i running fn(&args[i]), and returns how many
 * started (threads[i] is NULL for one that did not).  Where the run asks for
 * threads to be started one at a time (KORVA_THREADS_ONE_AT_A_TIME=1, given
 * under qemu's user-mode emulator, which loses a Wine process whose threads
 * start at the same moment), each is created once the one before it runs,
 * and all wait at a gate until the last has started, so that they still
 * begin their work together.
 */
template <typename T> int start_threads(HANDLE *threads, int n, LPTHREAD_START_ROUTINE fn, T *args)
{
    const char *v = getenv("KORVA_THREADS_ONE_AT_A_TIME");
    int started = 0;
    if (!v || strcmp(v, "1")) {
        for (int i = 0; i < n; i++)
            if ((threads[i] = CreateThread(NULL, 0, fn, &args[i], 0, NULL))) started++;
        return started;
    }
    volatile LONG through = 0;
    HANDLE gate = CreateEventA(NULL, TRUE, FALSE, NULL);
    for (int i = 0; i < n; i++) {
        korva_threads::start s = {fn, &args[i], CreateEventA(NULL, TRUE, FALSE, NULL), gate, &through};
        threads[i] = CreateThread(NULL, 0, korva_threads::wait_at_gate, &s, 0, NULL);
        if (threads[i]) {
            WaitForSingleObject(s.running, INFINITE);
            started++;
        }
        CloseHandle(s.running);
    }
    SetEvent(gate);
    while (through < started) Sleep(1);
    CloseHandle(gate);
    return started;
}

#endif
