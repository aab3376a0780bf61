/* WOW64 detection and file-system redirection, against what each prefix
 * really is: 64-bit Windows running this 32-bit code under WOW64, or a pure
 * 32-bit system. */
#include <string.h>

#include <string>
#include <vector>

#include <windows.h>

#include "../harness/harness.h"
#include "dll.h"
#include "import_patch.h"
#include "platform_env.h"

namespace {

decltype(&KORVA_IsWow64) is_wow64;
decltype(&KORVA_MyWow64Disable) disable;
decltype(&KORVA_MyWow64Revert) revert;

void bind()
{
    is_wow64 = KORVA_BIND(KORVA_IsWow64);
    disable = KORVA_BIND(KORVA_MyWow64Disable);
    revert = KORVA_BIND(KORVA_MyWow64Revert);
}

void *const sentinel = reinterpret_cast<void *>(0xdeadbeef);

/* GetProcAddress as KORVA_VB6.dll calls it: every lookup by name is
 * recorded; with hide_wow64 set, the three WOW64 functions are missing. */
struct lookup {
    HMODULE module;
    std::string name;
};
std::vector<lookup> lookups;
bool hide_wow64;

bool is_wow64_function(const char *name)
{
    return !strcmp(name, "IsWow64Process") || !strcmp(name, "Wow64DisableWow64FsRedirection") ||
           !strcmp(name, "Wow64RevertWow64FsRedirection");
}

FARPROC WINAPI watched_get_proc_address(HMODULE module, LPCSTR name)
{
    if (reinterpret_cast<ULONG_PTR>(name) >> 16) {
        lookups.push_back({module, name});
        if (hide_wow64 && is_wow64_function(name)) {
            SetLastError(ERROR_PROC_NOT_FOUND);
            return NULL;
        }
    }
    return GetProcAddress(module, name);
}

struct watched_lookups {
    import_patch patch;
    watched_lookups(bool hide)
        : patch(korva_module(), "KERNEL32.dll", "GetProcAddress",
                reinterpret_cast<void *>(&watched_get_proc_address))
    {
        lookups.clear();
        hide_wow64 = hide;
    }
    ~watched_lookups() { hide_wow64 = false; }
};

int count_lookups(const char *name)
{
    HMODULE kernel32 = GetModuleHandleA("kernel32");
    int n = 0;
    for (const lookup &l : lookups) n += l.name == name && l.module == kernel32;
    return n;
}

/* A file made in the 64-bit system directory only, reached as System32
 * while redirection is off; removed again on every path. */
typedef BOOL(WINAPI *disable_fn)(void **);
typedef BOOL(WINAPI *revert_fn)(void *);

struct probe_file {
    std::string system32, sysnative, syswow64;

    probe_file()
    {
        char dir[MAX_PATH];
        GetSystemDirectoryA(dir, sizeof(dir));
        system32 = std::string(dir) + "\\korva_redirection_probe.txt";
        GetWindowsDirectoryA(dir, sizeof(dir));
        sysnative = std::string(dir) + "\\Sysnative\\korva_redirection_probe.txt";
        syswow64 = std::string(dir) + "\\SysWOW64\\korva_redirection_probe.txt";
    }
    ~probe_file() { remove(); }

    /* with the system's own functions, so that cleaning up does not depend
     * on the code under test */
    template <typename F> static void unredirected(F action)
    {
        HMODULE kernel32 = GetModuleHandleA("kernel32");
        disable_fn off = reinterpret_cast<disable_fn>(
            reinterpret_cast<void *>(GetProcAddress(kernel32, "Wow64DisableWow64FsRedirection")));
        revert_fn on = reinterpret_cast<revert_fn>(
            reinterpret_cast<void *>(GetProcAddress(kernel32, "Wow64RevertWow64FsRedirection")));
        void *old;
        bool was_off = off && on && off(&old);
        action();
        if (was_off) on(old);
    }
    bool create()
    {
        bool made = false;
        unredirected([&] {
            HANDLE h = CreateFileA(system32.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
            if (h == INVALID_HANDLE_VALUE) return;
            DWORD written;
            made = WriteFile(h, "korva", 5, &written, NULL);
            CloseHandle(h);
        });
        return made;
    }
    void remove()
    {
        unredirected([&] { DeleteFileA(system32.c_str()); });
    }
    static bool visible(const std::string &path)
    {
        return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
};

} /* namespace */

TEST(is_wow64_matches_the_system)
{
    bind();
    bool wow64 = system_is_64bit();
    korva_test::trace("this prefix is %s\n", wow64 ? "64-bit Windows (WOW64)" : "32-bit Windows");
    int32_t answer = is_wow64();
    ok(answer == (wow64 ? 1 : 0), "KORVA_IsWow64 %d on %s Windows", answer, wow64 ? "64-bit" : "32-bit");

    BOOL direct = -1;
    ok(IsWow64Process(GetCurrentProcess(), &direct) && direct == (BOOL)wow64,
       "IsWow64Process says %d", direct);
}

TEST(functions_are_looked_up_at_every_call)
{
    bind();
    watched_lookups watch(false);
    if (!ok(watch.patch.installed(), "cannot watch GetProcAddress of KORVA_VB6.dll")) return;

    for (int i = 0; i < 3; i++) {
        void *old = NULL;
        is_wow64();
        if (disable(&old)) revert(old);
        else revert(NULL);
    }
    ok(count_lookups("IsWow64Process") == 3, "IsWow64Process looked up %d times",
       count_lookups("IsWow64Process"));
    ok(count_lookups("Wow64DisableWow64FsRedirection") == 3, "Wow64Disable... looked up %d times",
       count_lookups("Wow64DisableWow64FsRedirection"));
    ok(count_lookups("Wow64RevertWow64FsRedirection") == 3, "Wow64Revert... looked up %d times",
       count_lookups("Wow64RevertWow64FsRedirection"));
    ok(lookups.size() == 9, "%u lookups in all", (unsigned)lookups.size());
}

TEST(missing_functions_answer_0)
{
    bind();
    watched_lookups watch(true);
    if (!ok(watch.patch.installed(), "cannot watch GetProcAddress of KORVA_VB6.dll")) return;

    void *slot = sentinel;
    int32_t wow64 = is_wow64();
    ok(wow64 == 0, "KORVA_IsWow64 %d without IsWow64Process", wow64);
    ok(disable(&slot) == 0, "KORVA_MyWow64Disable succeeded without its function");
    ok(slot == sentinel, "the slot was written: %p", slot);
    ok(revert(NULL) == 0, "KORVA_MyWow64Revert succeeded without its function");
    ok(lookups.size() == 3, "%u lookups", (unsigned)lookups.size());
}

TEST(null_slot_is_refused)
{
    bind();
    watched_lookups watch(false);
    if (!ok(watch.patch.installed(), "cannot watch GetProcAddress of KORVA_VB6.dll")) return;

    SetLastError(0xdeadbeef);
    ok(disable(NULL) == 0, "KORVA_MyWow64Disable(NULL) succeeded");
    ok(lookups.empty(), "KORVA_MyWow64Disable(NULL) looked up %s",
       lookups.empty() ? "" : lookups[0].name.c_str());
    ok(GetLastError() == 0xdeadbeef, "last error changed to %lu", GetLastError());
}

TEST(redirection_round_trip)
{
    bind();
    if (!system_is_64bit()) {
        void *slot = sentinel;
        SetLastError(0xdeadbeef);
        ok(disable(&slot) == 0, "redirection switched off on 32-bit Windows");
        korva_test::trace("32-bit Windows: disabling fails with error %lu\n", GetLastError());
        ok(slot == sentinel, "the slot was written: %p", slot);
        ok(revert(NULL) == 0, "KORVA_MyWow64Revert succeeded on 32-bit Windows");
        skip("32-bit Windows has no file-system redirection to switch off");
        return;
    }

    probe_file file;
    if (!ok(file.create(), "cannot create %s in the 64-bit system directory", file.system32.c_str()))
        return;
    ok(!file.visible(file.system32), "%s visible with redirection on", file.system32.c_str());
    ok(!file.visible(file.syswow64), "the file is in SysWOW64 too");
    ok(file.visible(file.sysnative), "%s not visible", file.sysnative.c_str());

    void *outer = sentinel;
    ok(disable(&outer) != 0, "KORVA_MyWow64Disable failed under WOW64: error %lu", GetLastError());
    ok(outer != sentinel, "no state stored");
    korva_test::trace("state stored while redirection was on: %p\n", outer);
    ok(file.visible(file.system32), "redirection off: System32 does not show the 64-bit directory");

    /* off again while off: that state restores "off" */
    void *inner = sentinel;
    ok(disable(&inner) != 0, "second KORVA_MyWow64Disable failed");
    ok(inner != sentinel && inner != outer, "second state %p, first %p", inner, outer);
    ok(revert(inner) != 0, "KORVA_MyWow64Revert(inner) failed");
    ok(file.visible(file.system32), "reverting the inner state switched redirection on");

    ok(revert(outer) != 0, "KORVA_MyWow64Revert(outer) failed");
    ok(!file.visible(file.system32), "redirection still off after the round trip");

    ok(disable(NULL) == 0, "KORVA_MyWow64Disable(NULL) succeeded");
    ok(!file.visible(file.system32), "KORVA_MyWow64Disable(NULL) switched redirection off");

    file.remove();
    void *old;
    if (disable(&old)) {
        ok(!file.visible(file.system32), "probe file left behind");
        revert(old);
    }
}
