/* Variable lookup for Automation callers. */
#include <stdlib.h>

#include "korva_vb6.h"
#include "korva_host.h"
#include "log.h"

namespace {

/* A variable's name in the ANSI code page: on the stack when it is short,
 * on the heap when it is not, never cut. */
struct ansi_name {
    char local[261];
    char *text = local;

    ~ansi_name() { if (text != local) free(text); }

    /* Converts all of s; false only when memory ran out. */
    bool assign(BSTR s)
    {
        int units = s ? (int)SysStringLen(s) : 0;
        int need = units ? WideCharToMultiByte(CP_ACP, 0, s, units, NULL, 0, NULL, NULL) : 0;
        if (need >= (int)sizeof(local) && !(text = static_cast<char *>(malloc(need + 1)))) {
            text = local;
            return false;
        }
        int n = need > 0 ? WideCharToMultiByte(CP_ACP, 0, s, units, text, need, NULL, NULL) : 0;
        text[n > 0 ? n : 0] = 0;
        return true;
    }
};

void trace(const char *name, const char *value)
{
    char *text = static_cast<char *>(calloc(1, 512));
    if (!text) return;   /* a lookup is never refused for its trace */
    korva_formatf(text, 512, ">>> Q47_GETENVVB: Translating %s=[%s]\n",
                  *name ? name : "NULL", value && *value ? value : "NULL");
    korva_send_log("KORVAMANAGER", 3001, text);
    free(text);
}

/* The host's ANSI value as a BSTR of any length; NULL when memory ran out. */
BSTR to_bstr(const char *value)
{
    int units = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, value, -1, NULL, 0);
    BSTR s = SysAllocStringLen(NULL, units > 0 ? units - 1 : 0);
    if (s && units > 0) MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, value, -1, s, units);
    return s;
}

} /* namespace */

/***********************************************************************
 *              Q47_GETENVVB
 */
VARIANT KORVA_API Q47_GETENVVB(VARIANT name)
{
    VARIANT result;
    VariantInit(&result);

    /* A caller passing a number, or a string by reference, gets it read as
     * Automation converts it; its value is never taken for a BSTR pointer. */
    VARIANT converted;
    VariantInit(&converted);
    BSTR bstr = V_VT(&name) == VT_BSTR ? V_BSTR(&name) : NULL;
    if (V_VT(&name) != VT_BSTR) {
        if (FAILED(VariantChangeType(&converted, &name, 0, VT_BSTR))) return result;
        bstr = V_BSTR(&converted);
    }

    ansi_name ansi;
    bool have_name = ansi.assign(bstr);
    VariantClear(&converted);
    if (!have_name) return result;

    const char *value = q47_getenv(ansi.text);
    if (KORVA_DIAG_LOGSTATE() == 0) trace(ansi.text, value);

    if (value) {
        V_VT(&result) = VT_BSTR;
        V_BSTR(&result) = to_bstr(value);
    }
    return result;
}
