/*
 * korva_probe: loads KORVA_VB6.dll by name, the way a Visual Basic 6 program
 * does, and prints what each of its platform probes answers on this machine,
 * with what the answer means, in one table.  It changes nothing: file-system
 * redirection is switched off and at once back on for its own thread only.
 *
 * Exit status: 0 when every probe could be asked; 1 when the module cannot be
 * loaded or lacks one of the probes.
 */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

typedef int (WINAPI *probe_fn)(void);
typedef int (WINAPI *disable_fn)(void **old);
typedef int (WINAPI *revert_fn)(void *old);

static HMODULE module;

static void *bind_probe(const char *name)
{
    void *p = (void *)GetProcAddress(module, name);
    if (!p) {
        printf("KORVA_VB6.dll has no %s: an old or damaged module\n", name);
        exit(1);
    }
    return p;
}

static void row(const char *probe, const char *export_name, const char *answer,
                const char *meaning)
{
    printf("%-22s %-32s %-6s %s\n", probe, export_name, answer, meaning);
}

static const char *view_name(int flag)
{
    switch (flag) {
    case 0: return "default view of this process";
    case KEY_WOW64_64KEY: return "KEY_WOW64_64KEY: 64-bit view";
    case KEY_WOW64_32KEY: return "KEY_WOW64_32KEY: 32-bit view";
    default: return "not a registry view flag";
    }
}

int main(void)
{
    char path[MAX_PATH], answer[16], meaning[160];
    probe_fn is_admin, is_wow64, vn35_64bit, korva_view, vn35_view;
    disable_fn disable;
    revert_fn revert;
    int admin, wow64, vn35, korva_flag, vn35_flag, off, on = 0;
    void *old = NULL;

    module = LoadLibraryA("KORVA_VB6.dll");
    if (!module) {
        printf("cannot load KORVA_VB6.dll (error %lu): is it, with KORVA.dll and libq47.dll, "
               "beside this program or on the PATH?\n", GetLastError());
        return 1;
    }
    is_admin = (probe_fn)bind_probe("KORVA_UTILS_ISUSERADMINISTRATOR");
    is_wow64 = (probe_fn)bind_probe("KORVA_IsWow64");
    disable = (disable_fn)bind_probe("KORVA_MyWow64Disable");
    revert = (revert_fn)bind_probe("KORVA_MyWow64Revert");
    vn35_64bit = (probe_fn)bind_probe("KORVA_isVN35_64Bit");
    korva_view = (probe_fn)bind_probe("GetKorvaRegSamViewFlag");
    vn35_view = (probe_fn)bind_probe("GetVn35RegSamViewFlag");

    if (!GetModuleFileNameA(module, path, sizeof(path))) lstrcpyA(path, "KORVA_VB6.dll");
    printf("KORVA_VB6.dll platform probes\n");
    printf("module: %s\n\n", path);
    row("probe", "export", "answer", "meaning");

    admin = is_admin();
    sprintf(answer, "%d", admin);
    row("Administrators member", "KORVA_UTILS_ISUSERADMINISTRATOR", answer,
        admin ? "the caller's token lists the local Administrators group"
              : "the local Administrators group is not in the caller's token (or it could not be read)");

    wow64 = is_wow64();
    sprintf(answer, "%d", wow64);
    row("WOW64", "KORVA_IsWow64", answer,
        wow64 ? "32-bit process on 64-bit Windows" : "not under WOW64: 32-bit Windows");

    off = disable(&old);
    if (off) on = revert(old);
    sprintf(answer, "%d/%d", off, on);
    row("System32 redirection", "KORVA_MyWow64Disable/Revert", answer,
        !off ? "cannot be switched off: not under WOW64"
        : on ? "switched off and back on"
             : "switched off but NOT back on: this thread's redirection stays off");

    vn35 = vn35_64bit();
    sprintf(answer, "%d", vn35);
    row("VN35 64-bit", "KORVA_isVN35_64Bit", answer,
        vn35 ? "KORVA.dll reports a current 64-bit VN35 installation"
             : "KORVA.dll reports no current 64-bit VN35 installation");

    korva_flag = korva_view();
    sprintf(answer, "0x%03x", (unsigned)korva_flag);
    sprintf(meaning, "%s (%s)", view_name(korva_flag),
            korva_flag ? "HKLM\\SOFTWARE\\Velmarcon\\KORVA not found in the default view"
                       : "HKLM\\SOFTWARE\\Velmarcon\\KORVA found in the default view");
    row("KORVA registry view", "GetKorvaRegSamViewFlag", answer, meaning);

    vn35_flag = vn35_view();
    sprintf(answer, "0x%03x", (unsigned)vn35_flag);
    sprintf(meaning, "%s (%s)", view_name(vn35_flag),
            vn35_flag == KEY_WOW64_64KEY ? "64-bit VN35 under WOW64"
            : vn35_flag == KEY_WOW64_32KEY ? "no 64-bit VN35, under WOW64"
                                           : "not under WOW64");
    row("VN35 registry view", "GetVn35RegSamViewFlag", answer, meaning);

    FreeLibrary(module);
    return 0;
}
