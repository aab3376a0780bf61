/* verify_trust <file>
 * Asks Windows (here Wine) what it makes of the Authenticode signature of
 * <file>: WinVerifyTrust with the generic verify action, no revocation
 * checks, no user interface.  Prints "WinVerifyTrust: 0x........" (the
 * HRESULT); exit status 0 when the answer is 0 (trusted), 1 otherwise.
 *
 * Wine 8 answers TRUST_E_BAD_DIGEST (0x80096010) for a file changed after
 * signing and TRUST_E_NOSIGNATURE (0x800B0100) for an unsigned one, but 0
 * for any intact signature, whatever issued the certificate: a self-signed
 * one, one from a CA that is not in the Root store, one without the code
 * signing usage.  It checks the digest, not the chain. */
#include <windows.h>
#include <wintrust.h>
#include <softpub.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    WCHAR file[MAX_PATH];
    WINTRUST_FILE_INFO info;
    WINTRUST_DATA data;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG hr;

    if (argc != 2 || !MultiByteToWideChar(CP_ACP, 0, argv[1], -1, file, MAX_PATH)) {
        printf("usage: verify_trust <file>\n");
        return 2;
    }
    ZeroMemory(&info, sizeof info);
    info.cbStruct = sizeof info;
    info.pcwszFilePath = file;
    ZeroMemory(&data, sizeof data);
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &info;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
    hr = WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    printf("WinVerifyTrust: 0x%08lx\n", (unsigned long)hr);

    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    return hr == 0 ? 0 : 1;
}
