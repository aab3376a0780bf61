/* verify_trust <file> [<ca.der>]
 * Asks Windows (here Wine) whether it trusts the Authenticode signature of
 * <file>, the way the loader's policy checks do: WinVerifyTrust with the
 * generic verify action, no revocation checks (a throwaway CA has no CRL),
 * no user interface.  With <ca.der>, that certificate is first added to the
 * local machine's Root store for the check and removed again after it.
 * Prints the result as a hex HRESULT on one line: "WinVerifyTrust: 0x...".
 * Exit status 0 when trusted, 1 when not, 2 when the CA could not be added. */
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>
#include <stdio.h>
#include <stdlib.h>

static PCCERT_CONTEXT added;

static void remove_root(void)
{
    if (added)
        CertDeleteCertificateFromStore(added);  /* frees the context too */
    added = NULL;
}

static int add_root(const char *path)
{
    FILE *f = fopen(path, "rb");
    BYTE der[8192];
    size_t n;
    HCERTSTORE root;
    BOOL ok;

    if (!f) {
        printf("cannot open %s\n", path);
        return 0;
    }
    n = fread(der, 1, sizeof der, f);
    fclose(f);
    root = CertOpenStore(CERT_STORE_PROV_SYSTEM_A, 0, 0,
                         CERT_SYSTEM_STORE_LOCAL_MACHINE, "Root");
    if (!root) {
        printf("CertOpenStore(Root): error %lu\n", GetLastError());
        return 0;
    }
    ok = CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der, (DWORD)n,
                                          CERT_STORE_ADD_REPLACE_EXISTING, &added);
    if (!ok)
        printf("CertAddEncodedCertificateToStore: error 0x%08lx\n", GetLastError());
    CertCloseStore(root, 0);
    return ok;
}

int main(int argc, char **argv)
{
    WCHAR file[MAX_PATH];
    WINTRUST_FILE_INFO info;
    WINTRUST_DATA data;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG hr;

    if (argc < 2) {
        printf("usage: verify_trust <file> [<ca.der>]\n");
        return 2;
    }
    if (argc > 2 && !add_root(argv[2]))
        return 2;
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, file, MAX_PATH);

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
    remove_root();
    return hr == 0 ? 0 : 1;
}
