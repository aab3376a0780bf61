/* What the platform tests need to know about, and set up in, the prefix
 * they run in. */
#ifndef KORVA_TEST_PLATFORM_ENV_H
#define KORVA_TEST_PLATFORM_ENV_H

#include <windows.h>

/* 64-bit Windows has a 32-bit system directory beside System32; asked
 * without IsWow64Process. */
inline bool system_is_64bit()
{
    char dir[MAX_PATH];
    return GetSystemWow64DirectoryA(dir, sizeof(dir)) != 0;
}

/* The KORVA product key, HKLM\SOFTWARE\Velmarcon\KORVA, in one registry
 * view (KEY_WOW64_32KEY or KEY_WOW64_64KEY; 32-bit Windows ignores both). */
#define KORVA_PRODUCT_KEY "SOFTWARE\\Velmarcon\\KORVA"
#define KORVA_VENDOR_KEY "SOFTWARE\\Velmarcon"

inline bool product_key_create(REGSAM view)
{
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, KORVA_PRODUCT_KEY, 0, NULL, 0, KEY_WRITE | view, NULL,
                        &key, NULL))
        return false;
    RegCloseKey(key);
    return true;
}

inline bool product_key_exists(REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, KORVA_PRODUCT_KEY, 0, KEY_QUERY_VALUE | view, &key))
        return false;
    RegCloseKey(key);
    return true;
}

/* Removes the key, and the vendor key above it, from both views. */
inline void product_key_remove()
{
    static const REGSAM views[] = {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    for (REGSAM view : views) {
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, KORVA_PRODUCT_KEY, view, 0);
        RegDeleteKeyExA(HKEY_LOCAL_MACHINE, KORVA_VENDOR_KEY, view, 0);
    }
}

/* Removes the product key when created and when destroyed, so that every
 * test starts and ends without it. */
struct product_key_scope {
    product_key_scope() { product_key_remove(); }
    ~product_key_scope() { product_key_remove(); }
};

#endif
