/* The module's exports as callers bind them, and a way to call one with
 * raw stack words. */
#ifndef KORVA_TEST_EXPORTS_H
#define KORVA_TEST_EXPORTS_H

#include <stdint.h>

/* STDCALL_VARIANT: a VARIANT returned by value, through a hidden pointer
 * pushed first, which the callee pops with the arguments. */
enum convention { STDCALL, CDECL_VARARGS, STDCALL_VARIANT };

struct export_row {
    const char *name;
    int32_t arg_bytes;
    convention conv;
};

/* Every export of the module.  Arguments of zero are a harmless call for
 * each of them (null pointers, zero lengths, zero delimiter counts). */
static const export_row exports[] = {
    {"korva_trimblanks", 8, STDCALL},
    {"korva_trimBlanksEx", 8, STDCALL},
    {"korva_lefttrim", 4, STDCALL},
    {"korva_leftpack", 4, STDCALL},
    {"korva_lefttrim_r", 12, STDCALL},
    {"korva_parsebuf", 28, STDCALL},
    {"korva_parsebuf_wrapper", 28, STDCALL},
    {"korva_GetLastError", 0, STDCALL},
    {"korva_GetLastErrorEx", 12, STDCALL},
    {"korva_upper", 4, STDCALL},
    {"korva_lower", 4, STDCALL},
    {"korva_upper_r", 8, STDCALL},
    {"korva_lower_r", 8, STDCALL},
    {"korva_atoi", 12, STDCALL},
    {"KORVA_FILTER_CRLF", 4, STDCALL},      /* null: a default message, leaked here */
    {"KORVA_FILTER_ALL_CRLF", 4, STDCALL},
    {"KernelDebugLog", 4, CDECL_VARARGS},
    {"KernelDebugLogEx", 12, CDECL_VARARGS},
    {"Q47_GETENVVB", 16, STDCALL_VARIANT},  /* a VT_EMPTY name */
    {"KORVA_UTILS_ISUSERADMINISTRATOR", 0, STDCALL},
    {"KORVA_IsWow64", 0, STDCALL},
    {"KORVA_MyWow64Disable", 4, STDCALL},   /* null slot: refused */
    {"KORVA_MyWow64Revert", 4, STDCALL},    /* state NULL: redirection on, as it is */
    {"KORVA_isVN35_64Bit", 0, STDCALL},
    {"GetKorvaRegSamViewFlag", 0, STDCALL},
    {"GetVn35RegSamViewFlag", 0, STDCALL},
};

static const int export_count = sizeof(exports) / sizeof(exports[0]);

/* The row of an export, or NULL. */
const export_row *find_export(const char *name);

/*
 * abi_call(fn, args, nwords, &eax, skew): pushes nwords 32-bit words
 * (args[0] last, so it ends up first) below a 16-byte boundary less skew
 * bytes, calls fn, and returns how many bytes of arguments fn popped:
 * nwords * 4 for __stdcall, 0 for __cdecl.  ESP is restored whatever fn
 * did, so a mismatch is reported instead of crashing.  A Visual Basic
 * program's stack is only 4-byte aligned: skew 0, 4, 8 and 12 give fn
 * each alignment it may meet.
 */
extern "C" int32_t abi_call(void *fn, const uint32_t *args, int32_t nwords, uint32_t *eax,
                            int32_t skew);

#endif
