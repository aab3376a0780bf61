/*
 * Replacing one import of a loaded module for a while: the tests use it to
 * watch the system calls KORVA_VB6.dll makes, or to make one of them fail,
 * without changing the module.  The slot in the module's import address
 * table is patched; the replacement calls the real function by name.
 */
#ifndef KORVA_TEST_IMPORT_PATCH_H
#define KORVA_TEST_IMPORT_PATCH_H

#include <windows.h>

class import_patch {
public:
    /* dll as the module imports it ("KERNEL32.dll", case ignored) */
    import_patch(HMODULE module, const char *dll, const char *function, void *replacement);
    ~import_patch();
    import_patch(const import_patch &) = delete;
    import_patch &operator=(const import_patch &) = delete;

    /* false when the module does not import the function by name */
    bool installed() const { return slot_ != NULL; }

private:
    void **slot_;
    void *original_;
};

#endif
