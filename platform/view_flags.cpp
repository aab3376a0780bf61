/* The registry view flags for the KORVA and VN35 products' keys, computed at
 * the first call and cached for the life of the module.  A getter stores its
 * flag before it clears its latch (both release); a caller that finds the
 * latch cleared (acquire) reads the final flag.  Two first calls on
 * different threads may both compute; they store the same flag. */
#include "korva_vb6.h"
#include "../frame/module_state.h"

namespace {

const char product_key[] = "SOFTWARE\\Velmarcon\\KORVA";

struct reg_key {
    HKEY h = NULL;
    ~reg_key() { if (h) RegCloseKey(h); }
};

void publish(std::atomic<int32_t> &flag, std::atomic<int32_t> &latch, int32_t value)
{
    flag.store(value, std::memory_order_release);
    latch.store(0, std::memory_order_release);
}

} /* namespace */

/***********************************************************************
 *              GetKorvaRegSamViewFlag
 */
int32_t KORVA_API GetKorvaRegSamViewFlag(void)
{
    if (!korva_view_latch.load(std::memory_order_acquire))
        return korva_view_flag.load(std::memory_order_acquire);

    /* The product key in the process's default view; anything but success
     * selects the 32-bit view, whatever the second open gives. */
    int32_t flag = 0;
    reg_key key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, product_key, 0, KEY_QUERY_VALUE | flag, &key.h)) {
        key.h = NULL;
        flag = KEY_WOW64_32KEY;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, product_key, 0, KEY_QUERY_VALUE | flag, &key.h))
            key.h = NULL;
    }
    publish(korva_view_flag, korva_view_latch, flag);
    return flag;
}

/***********************************************************************
 *              GetVn35RegSamViewFlag
 */
int32_t KORVA_API GetVn35RegSamViewFlag(void)
{
    if (!vn35_view_latch.load(std::memory_order_acquire))
        return vn35_view_flag.load(std::memory_order_acquire);

    /* Both are asked every time: the host too on a 32-bit system. */
    int32_t vn35_64bit = KORVA_isVN35_64Bit();
    int32_t wow64 = KORVA_IsWow64();

    int32_t flag = 0;
    if (wow64 == 1) flag = vn35_64bit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    publish(vn35_view_flag, vn35_view_latch, flag);
    return flag;
}
