/* Membership of the local Administrators group in the caller's token. */
#include <stdlib.h>

#include "korva_vb6.h"

namespace {

struct token_handle {
    HANDLE h = NULL;
    ~token_handle() { if (h) CloseHandle(h); }
};

struct group_list {
    TOKEN_GROUPS *p = NULL;
    ~group_list() { free(p); }
};

struct sid_holder {
    PSID p = NULL;
    ~sid_holder() { if (p) FreeSid(p); }
};

/* The thread's impersonation token when it has one, else the process
 * token.  Only "no token" (1008) falls back: a thread token that exists but
 * cannot be opened must not be answered for by the process's account.
 * OpenAsSelf is FALSE, so the access check runs in the thread's current,
 * possibly impersonated, context. */
bool open_caller_token(HANDLE *token)
{
    HANDLE h;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, FALSE, &h)) {
        *token = h;
        return true;
    }
    if (GetLastError() != ERROR_NO_TOKEN) return false;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &h)) return false;
    *token = h;
    return true;
}

} /* namespace */

/***********************************************************************
 *              KORVA_UTILS_ISUSERADMINISTRATOR
 */
int32_t KORVA_API KORVA_UTILS_ISUSERADMINISTRATOR(void)
{
    token_handle token;
    if (!open_caller_token(&token.h)) return 0;

    DWORD size = 0;
    if (GetTokenInformation(token.h, TokenGroups, NULL, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return 0;

    group_list groups;
    groups.p = static_cast<TOKEN_GROUPS *>(malloc(size));
    if (!groups.p || !GetTokenInformation(token.h, TokenGroups, groups.p, size, &size)) return 0;

    SID_IDENTIFIER_AUTHORITY nt_authority = {SECURITY_NT_AUTHORITY};
    sid_holder admins;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &admins.p))
        return 0;

    /* Membership, not elevation: deny-only and disabled groups count. */
    for (DWORD i = 0; i < groups.p->GroupCount; i++)
        if (EqualSid(groups.p->Groups[i].Sid, admins.p)) return 1;
    return 0;
}
