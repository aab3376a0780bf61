/* Whether the host reports a current 64-bit installation of VN35. */
#include "korva_vb6.h"
#include "../host/korva_host.h"

/***********************************************************************
 *              KORVA_isVN35_64Bit
 */
int32_t KORVA_API KORVA_isVN35_64Bit(void)
{
    /* 255 of 256 bytes offered: the host's text always has a terminator. */
    char version[256] = {0};
    if (KORVA_GetCurrentVN35Version(1, version, 255)) return 1;
    /* The selector 0 query's answer is not used; the host expects it. */
    KORVA_GetCurrentVN35Version(0, version, 255);
    return 0;
}
