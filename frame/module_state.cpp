/* The module's state, in one place (see module_state.h). */
#include <stddef.h>
#include <stdlib.h>

#include "module_state.h"

korva_token_list korva_retained = { NULL, 0, 0 };
std::atomic<int32_t> korva_scan_choice(0);

void korva_release_retained()
{
    free(korva_retained.tokens);
    korva_retained = korva_token_list{ NULL, 0, 0 };
}

std::atomic<int32_t> korva_view_flag(0);
std::atomic<int32_t> korva_view_latch(1);
std::atomic<int32_t> vn35_view_flag(0);
std::atomic<int32_t> vn35_view_latch(1);
