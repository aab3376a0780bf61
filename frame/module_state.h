/*
 * Everything this module keeps between calls.  Nothing else persists: every
 * other export works on its arguments and on scratch released before it
 * returns.
 */
#ifndef KORVA_FRAME_MODULE_STATE_H
#define KORVA_FRAME_MODULE_STATE_H

#include <stdint.h>
#include <atomic>

/* The tokenizer's retained token list: tokens == NULL when empty.  When
 * filled, one heap block of `size` bytes holds the array of count pointers
 * followed by the tokens themselves; freeing tokens releases everything.
 * Guarded by the host's parse lock only when callers use
 * korva_parsebuf_wrapper. */
struct korva_token_list {
    char **tokens;
    int32_t count;
    size_t size;
};
extern korva_token_list korva_retained;

/* Frees the retained list and leaves it empty.  Called when the module is
 * unloaded, with no parse running. */
void korva_release_retained();

/* How the tokenizer scans in this process (a korva_scan_path): 0 until the
 * first parse asks the processor, then 1 (plain) or 2 (SSE2) for good.
 * Unguarded: stored with release, read with acquire. */
extern std::atomic<int32_t> korva_scan_choice;

/* The cached registry view flags and their first-call latches.  Unguarded:
 * a getter stores its flag (release) before it clears its latch, and a
 * reader that finds the latch cleared (acquire) sees the final flag. */
extern std::atomic<int32_t> korva_view_flag;
extern std::atomic<int32_t> korva_view_latch;
extern std::atomic<int32_t> vn35_view_flag;
extern std::atomic<int32_t> vn35_view_latch;

#endif
