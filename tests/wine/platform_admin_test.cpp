/* KORVA_UTILS_ISUSERADMINISTRATOR against real tokens (the Wine user is a
 * member of Administrators in both prefixes), and with the module's system
 * calls watched, or made to fail, through its import table. */
#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <vector>

#include <windows.h>

#include "../harness/harness.h"
#include "dll.h"
#include "import_patch.h"

namespace {

decltype(&KORVA_UTILS_ISUSERADMINISTRATOR) is_admin;

void bind()
{
    is_admin = KORVA_BIND(KORVA_UTILS_ISUSERADMINISTRATOR);
}

/* ---- the module's system calls, watched ------------------------------- */

enum fault {
    NO_FAULT,
    THREAD_TOKEN_DENIED,        /* OpenThreadToken fails with 5 */
    THREAD_TOKEN_BAD_LEVEL,     /* ... with 1346 (identification-level token) */
    NO_THREAD_TOKEN,            /* ... with 1008, as when not impersonating */
    PROCESS_TOKEN_FAILS,        /* 1008 from the thread, then OpenProcessToken fails */
    SIZE_QUERY_SUCCEEDS,        /* GetTokenInformation answers the sizing call */
    SIZE_QUERY_OTHER_ERROR,     /* ... fails it with something but 122 */
    NO_MEMORY,                  /* malloc fails */
    FETCH_FAILS,                /* the second GetTokenInformation fails */
    SID_FAILS,                  /* AllocateAndInitializeSid fails */
    NO_ADMINISTRATORS,          /* the group list comes back without S-1-5-32-544 */
};
const char *const fault_names[] = {
    "no fault", "thread token denied", "thread token bad level", "no thread token",
    "process token fails", "size query succeeds", "size query other error", "no memory",
    "fetch fails", "sid fails", "no Administrators group",
};

struct call_log {
    int thread_opens = 0, process_opens = 0, info_calls = 0;
    HANDLE thread_arg = NULL;
    DWORD thread_access = 0;
    BOOL open_as_self = -1;
    std::vector<HANDLE> tokens, closed;
    std::vector<void *> sids, sids_freed, blocks, blocks_freed;
};
call_log calls;
fault injected;

bool is_administrators(PSID sid)
{
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID admins;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0,
                                  0, 0, 0, 0, 0, &admins))
        return false;
    bool same = EqualSid(sid, admins);
    FreeSid(admins);
    return same;
}

BOOL WINAPI watched_open_thread_token(HANDLE thread, DWORD access, BOOL as_self, HANDLE *token)
{
    calls.thread_opens++;
    calls.thread_arg = thread;
    calls.thread_access = access;
    calls.open_as_self = as_self;
    DWORD error = injected == THREAD_TOKEN_DENIED      ? ERROR_ACCESS_DENIED
                  : injected == THREAD_TOKEN_BAD_LEVEL ? ERROR_BAD_IMPERSONATION_LEVEL
                  : injected == NO_THREAD_TOKEN || injected == PROCESS_TOKEN_FAILS ? ERROR_NO_TOKEN
                                                                                   : 0;
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    BOOL ret = OpenThreadToken(thread, access, as_self, token);
    if (ret) calls.tokens.push_back(*token);
    return ret;
}

BOOL WINAPI watched_open_process_token(HANDLE process, DWORD access, HANDLE *token)
{
    calls.process_opens++;
    if (injected == PROCESS_TOKEN_FAILS) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    BOOL ret = OpenProcessToken(process, access, token);
    if (ret) calls.tokens.push_back(*token);
    return ret;
}

BOOL WINAPI watched_get_token_information(HANDLE token, TOKEN_INFORMATION_CLASS cls, void *info,
                                          DWORD size, DWORD *needed)
{
    calls.info_calls++;
    bool sizing = calls.info_calls == 1;
    if (sizing && injected == SIZE_QUERY_OTHER_ERROR) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!sizing && injected == FETCH_FAILS) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    BOOL ret = GetTokenInformation(token, cls, info, size, needed);
    if (sizing && injected == SIZE_QUERY_SUCCEEDS) return TRUE;
    if (ret && !sizing && injected == NO_ADMINISTRATORS && cls == TokenGroups) {
        TOKEN_GROUPS *groups = static_cast<TOKEN_GROUPS *>(info);
        DWORD kept = 0;
        for (DWORD i = 0; i < groups->GroupCount; i++)
            if (!is_administrators(groups->Groups[i].Sid)) groups->Groups[kept++] = groups->Groups[i];
        groups->GroupCount = kept;
    }
    return ret;
}

BOOL WINAPI watched_allocate_sid(SID_IDENTIFIER_AUTHORITY *authority, BYTE count, DWORD s0,
                                 DWORD s1, DWORD s2, DWORD s3, DWORD s4, DWORD s5, DWORD s6,
                                 DWORD s7, PSID *sid)
{
    if (injected == SID_FAILS) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    BOOL ret = AllocateAndInitializeSid(authority, count, s0, s1, s2, s3, s4, s5, s6, s7, sid);
    if (ret) calls.sids.push_back(*sid);
    return ret;
}

PVOID WINAPI watched_free_sid(PSID sid)
{
    calls.sids_freed.push_back(sid);
    return FreeSid(sid);
}

BOOL WINAPI watched_close_handle(HANDLE h)
{
    calls.closed.push_back(h);
    return CloseHandle(h);
}

void *__cdecl watched_malloc(size_t size)
{
    if (injected == NO_MEMORY) return NULL;
    void *p = malloc(size);
    if (p) calls.blocks.push_back(p);
    return p;
}

void __cdecl watched_free(void *p)
{
    if (p) calls.blocks_freed.push_back(p);
    free(p);
}

/* All of the above in place for the lifetime of the object. */
struct watched_calls {
    import_patch patches[8];
    watched_calls(fault f)
        : patches{
              {korva_module(), "ADVAPI32.dll", "OpenThreadToken", reinterpret_cast<void *>(&watched_open_thread_token)},
              {korva_module(), "ADVAPI32.dll", "OpenProcessToken", reinterpret_cast<void *>(&watched_open_process_token)},
              {korva_module(), "ADVAPI32.dll", "GetTokenInformation", reinterpret_cast<void *>(&watched_get_token_information)},
              {korva_module(), "ADVAPI32.dll", "AllocateAndInitializeSid", reinterpret_cast<void *>(&watched_allocate_sid)},
              {korva_module(), "ADVAPI32.dll", "FreeSid", reinterpret_cast<void *>(&watched_free_sid)},
              {korva_module(), "KERNEL32.dll", "CloseHandle", reinterpret_cast<void *>(&watched_close_handle)},
              {korva_module(), "msvcrt.dll", "malloc", reinterpret_cast<void *>(&watched_malloc)},
              {korva_module(), "msvcrt.dll", "free", reinterpret_cast<void *>(&watched_free)},
          }
    {
        calls = call_log();
        injected = f;
    }
    ~watched_calls() { injected = NO_FAULT; }
    bool installed() const
    {
        for (const import_patch &p : patches)
            if (!p.installed()) return false;
        return true;
    }
};

template <typename T> bool same_once(const std::vector<T> &made, const std::vector<T> &released)
{
    if (made.size() != released.size()) return false;
    for (const T &x : made)
        if (std::count(released.begin(), released.end(), x) != 1) return false;
    return true;
}

/* Everything the module took was given back exactly once. */
void check_released(const char *what)
{
    ok(calls.tokens.size() <= 1, "%s: %u tokens opened", what, (unsigned)calls.tokens.size());
    ok(same_once(calls.tokens, calls.closed), "%s: %u tokens opened, %u handles closed", what,
       (unsigned)calls.tokens.size(), (unsigned)calls.closed.size());
    ok(same_once(calls.sids, calls.sids_freed), "%s: %u identifiers built, %u freed", what,
       (unsigned)calls.sids.size(), (unsigned)calls.sids_freed.size());
    ok(same_once(calls.blocks, calls.blocks_freed), "%s: %u blocks allocated, %u freed", what,
       (unsigned)calls.blocks.size(), (unsigned)calls.blocks_freed.size());
}

/* ---- tokens ------------------------------------------------------------ */

DWORD WINAPI run_function(void *fn)
{
    (*static_cast<const std::function<void()> *>(fn))();
    return 0;
}

/* Runs fn on a new thread, so that impersonation never outlives it. */
void on_new_thread(const std::function<void()> &fn)
{
    HANDLE t = CreateThread(NULL, 0, run_function, const_cast<std::function<void()> *>(&fn), 0, NULL);
    if (!ok(t != NULL, "CreateThread failed: %lu", GetLastError())) return;
    WaitForSingleObject(t, INFINITE);
    CloseHandle(t);
}

/* The process token as an impersonation token a thread can put on. */
HANDLE impersonation_copy()
{
    HANDLE process, copy = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &process)) return NULL;
    if (!DuplicateTokenEx(process, TOKEN_ALL_ACCESS, NULL, SecurityImpersonation, TokenImpersonation, &copy))
        copy = NULL;
    CloseHandle(process);
    return copy;
}

/* The Administrators group's attributes in a token, or -1 when absent. */
long administrators_attributes(HANDLE token)
{
    DWORD size = 0;
    GetTokenInformation(token, TokenGroups, NULL, 0, &size);
    std::vector<BYTE> buf(size ? size : 1);
    if (!GetTokenInformation(token, TokenGroups, buf.data(), size, &size)) return -1;
    const TOKEN_GROUPS *groups = reinterpret_cast<const TOKEN_GROUPS *>(buf.data());
    for (DWORD i = 0; i < groups->GroupCount; i++)
        if (is_administrators(groups->Groups[i].Sid)) return (long)groups->Groups[i].Attributes;
    return -1;
}

DWORD thread_token_error()
{
    HANDLE h;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &h)) {
        CloseHandle(h);
        return 0;
    }
    return GetLastError();
}

} /* namespace */

TEST(process_token_after_no_thread_token)
{
    bind();
    ok(thread_token_error() == ERROR_NO_TOKEN, "the main thread has a token: error %lu",
       thread_token_error());
    ok(is_admin() == 1, "the Wine user is not reported as an administrator");

    watched_calls watch(NO_FAULT);
    if (!ok(watch.installed(), "cannot watch the module's imports")) return;
    ok(is_admin() == 1, "watched: not an administrator");
    ok(calls.thread_opens == 1 && calls.process_opens == 1, "thread token asked %d, process token %d times",
       calls.thread_opens, calls.process_opens);
    ok(calls.thread_arg == GetCurrentThread() && calls.thread_access == TOKEN_QUERY && !calls.open_as_self,
       "OpenThreadToken(%p, %#lx, %d)", calls.thread_arg, calls.thread_access, calls.open_as_self);
    check_released("process token");
}

TEST(thread_impersonating_itself)
{
    bind();
    on_new_thread([] {
        if (!ok(ImpersonateSelf(SecurityImpersonation), "ImpersonateSelf failed: %lu", GetLastError()))
            return;
        ok(thread_token_error() == 0, "no thread token while impersonating: %lu", thread_token_error());
        watched_calls watch(NO_FAULT);
        if (ok(watch.installed(), "cannot watch the module's imports")) {
            ok(is_admin() == 1, "impersonating itself: not an administrator");
            ok(calls.thread_opens == 1 && calls.process_opens == 0,
               "thread token asked %d, process token %d times", calls.thread_opens, calls.process_opens);
            check_released("thread token");
        }
        RevertToSelf();
    });
}

TEST(deny_only_administrators_still_counts)
{
    bind();
    HANDLE base = impersonation_copy();
    if (!ok(base != NULL, "cannot copy the process token: %lu", GetLastError())) return;

    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    SID_AND_ATTRIBUTES disable = {NULL, 0};
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                             0, 0, &disable.Sid);
    HANDLE restricted = NULL;
    BOOL made = CreateRestrictedToken(base, 0, 1, &disable, 0, NULL, 0, NULL, &restricted);
    FreeSid(disable.Sid);
    CloseHandle(base);
    if (!ok(made, "CreateRestrictedToken failed: %lu", GetLastError())) return;

    long attributes = administrators_attributes(restricted);
    ok(attributes != -1 && (attributes & SE_GROUP_USE_FOR_DENY_ONLY) && !(attributes & SE_GROUP_ENABLED),
       "Administrators in the restricted token: attributes %#lx", attributes);

    on_new_thread([restricted] {
        if (!ok(SetThreadToken(NULL, restricted), "SetThreadToken failed: %lu", GetLastError())) return;
        ok(is_admin() == 1, "deny-only Administrators: not reported as a member");
        RevertToSelf();
    });
    CloseHandle(restricted);
}

TEST(unreadable_thread_token_is_not_replaced_by_the_process_token)
{
    bind();
    HANDLE token = impersonation_copy();
    if (!ok(token != NULL, "cannot copy the process token: %lu", GetLastError())) return;

    SECURITY_DESCRIPTOR sd;
    ACL acl;
    InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
    InitializeAcl(&acl, sizeof(acl), ACL_REVISION);
    SetSecurityDescriptorDacl(&sd, TRUE, &acl, FALSE);
    if (!ok(SetKernelObjectSecurity(token, DACL_SECURITY_INFORMATION, &sd),
            "cannot empty the token's DACL: %lu", GetLastError())) {
        CloseHandle(token);
        return;
    }

    on_new_thread([token] {
        if (!ok(SetThreadToken(NULL, token), "SetThreadToken failed: %lu", GetLastError())) return;
        DWORD error = thread_token_error();
        ok(error == ERROR_ACCESS_DENIED, "OpenThreadToken on the unreadable token: error %lu", error);
        watched_calls watch(NO_FAULT);
        if (ok(watch.installed(), "cannot watch the module's imports")) {
            ok(is_admin() == 0, "answered for an unreadable thread token");
            ok(calls.process_opens == 0, "the process token was asked after error %lu", error);
            check_released("unreadable thread token");
        }
        RevertToSelf();
    });
    CloseHandle(token);
}

TEST(failures_answer_0_and_release_everything)
{
    bind();
    /* A token without the Administrators group cannot be made under Wine:
     * NO_ADMINISTRATORS filters the group list the module reads instead. */
    static const struct {
        fault f;
        int answer;
        int process_opens;
    } cases[] = {
        {NO_FAULT, 1, 1},
        {THREAD_TOKEN_DENIED, 0, 0},
        {THREAD_TOKEN_BAD_LEVEL, 0, 0},
        {NO_THREAD_TOKEN, 1, 1},
        {PROCESS_TOKEN_FAILS, 0, 1},
        {SIZE_QUERY_SUCCEEDS, 0, 1},
        {SIZE_QUERY_OTHER_ERROR, 0, 1},
        {NO_MEMORY, 0, 1},
        {FETCH_FAILS, 0, 1},
        {SID_FAILS, 0, 1},
        {NO_ADMINISTRATORS, 0, 1},
    };
    for (const auto &c : cases) {
        const char *name = fault_names[c.f];
        watched_calls watch(c.f);
        if (!ok(watch.installed(), "cannot watch the module's imports")) return;
        int32_t answer = is_admin();
        ok(answer == c.answer, "%s: answer %d", name, answer);
        ok(calls.process_opens == c.process_opens, "%s: process token asked %d times", name,
           calls.process_opens);
        check_released(name);
    }
}
