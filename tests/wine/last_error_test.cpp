/* Error retrieval: errno of msvcrt.dll and the thread's last system error. */
#include <errno.h>

#include <windows.h>

#include "../harness/harness.h"
#include "dll.h"

namespace {

decltype(&korva_GetLastErrorEx) get_ex;
decltype(&korva_GetLastError) get;

void bind()
{
    get_ex = KORVA_BIND(korva_GetLastErrorEx);
    get = KORVA_BIND(korva_GetLastError);
}

} /* namespace */

TEST(system_error_and_not_found_flag)
{
    bind();
    int32_t crt, sys, nf;

    HANDLE h = CreateFileA("C:\\no-such-dir-korva\\..\\no-such-file.korva", GENERIC_READ, 0, NULL,
                           OPEN_EXISTING, 0, NULL);
    ok(h == INVALID_HANDLE_VALUE, "opened a file that does not exist");
    sys = nf = -7;
    get_ex(NULL, &sys, &nf);
    ok(sys == ERROR_FILE_NOT_FOUND && nf == 1, "missing file: sys %d not-found %d", sys, nf);

    SetLastError(ERROR_PATH_NOT_FOUND);
    get_ex(NULL, &sys, &nf);
    ok(sys == 3 && nf == 0, "error 3: sys %d not-found %d", sys, nf);

    SetLastError(0xdeadbeef);
    ok(get() == (int32_t)0xdeadbeef, "korva_GetLastError: %#x", (unsigned)get());
    ok(GetLastError() == 0xdeadbeef, "korva_GetLastError changed the last error to %lu", GetLastError());

    /* the runtime's errno is the one msvcrt.dll keeps for this thread */
    errno = ERANGE;
    SetLastError(ERROR_ACCESS_DENIED);
    crt = sys = nf = -7;
    get_ex(&crt, &sys, &nf);
    ok(crt == ERANGE && sys == ERROR_ACCESS_DENIED && nf == 0, "crt %d sys %d nf %d", crt, sys, nf);
    ok(GetLastError() == ERROR_ACCESS_DENIED, "the last error changed to %lu", GetLastError());
}

TEST(null_pointers_are_skipped)
{
    bind();
    SetLastError(ERROR_FILE_NOT_FOUND);
    get_ex(NULL, NULL, NULL);
    ok(GetLastError() == ERROR_FILE_NOT_FOUND, "last error changed to %lu", GetLastError());

    int32_t crt = -7, nf = -7;
    errno = EINVAL;
    get_ex(&crt, NULL, &nf);
    ok(crt == EINVAL && nf == 1, "crt %d nf %d", crt, nf);
}

namespace {

DWORD WINAPI other_thread(void *p)
{
    SetLastError(ERROR_INVALID_HANDLE);
    errno = EDOM;
    int32_t *out = static_cast<int32_t *>(p);
    get_ex(&out[0], &out[1], &out[2]);
    return 0;
}

} /* namespace */

TEST(values_are_per_thread)
{
    bind();
    int32_t out[3] = {-7, -7, -7};
    SetLastError(ERROR_FILE_NOT_FOUND);
    errno = 0;
    HANDLE t = CreateThread(NULL, 0, other_thread, out, 0, NULL);
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
    ok(out[0] == EDOM && out[1] == ERROR_INVALID_HANDLE && out[2] == 0, "thread: %d %d %d", out[0],
       out[1], out[2]);

    int32_t crt = -7, sys = -7;
    SetLastError(ERROR_FILE_NOT_FOUND);
    get_ex(&crt, &sys, NULL);
    ok(crt == 0 && sys == ERROR_FILE_NOT_FOUND, "main thread: crt %d sys %d", crt, sys);
}

TEST(range_error_of_the_integer_conversion)
{
    bind();
    auto to_int = KORVA_BIND(korva_atoi);
    int32_t result = 0, status = 0, crt = -7;

    errno = 0;
    to_int("99999999999", &result, &status);
    get_ex(&crt, NULL, NULL);
    ok(status == 34 && crt == 34, "after a range error: status %d, runtime error %d", status, crt);

    to_int("12", &result, &status);
    get_ex(&crt, NULL, NULL);
    ok(status == 0 && crt == 0, "a conversion clears the runtime error: status %d, runtime error %d",
       status, crt);
}
