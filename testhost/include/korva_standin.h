/*
 * korva_standin.h - inspection interface of the stand-in host libraries
 *
 * KORVA.dll and libq47.dll built from testhost/ are small stand-ins for the
 * host libraries the product normally runs against.  Besides the host
 * operations they export the functions below, which tests use to configure
 * the stand-ins and to look at what the code under test asked of them.
 *
 * Every function is extern "C", __cdecl, exported by undecorated name, and
 * safe to call from any thread.  Strings copied out are always bounded by the
 * given size and NUL-terminated when the size is positive; any output pointer
 * may be NULL.
 */
#ifndef KORVA_STANDIN_H
#define KORVA_STANDIN_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef KORVA_STANDIN_CALL
#define KORVA_STANDIN_CALL __cdecl
#endif

/* Layout of the 80-byte client block written by KORVA_CLIENT_INITBLK:
 * bytes 0-3 the magic "KCLB", bytes 4-7 the serial (int32_t, little endian,
 * 1 for the first call in the process, +1 for each call after it) and bytes
 * 8-79 the fixed pattern KORVA_STANDIN_BLOCK_PATTERN(offset). */
#define KORVA_STANDIN_BLOCK_SIZE   80
#define KORVA_STANDIN_BLOCK_MAGIC  "KCLB"
#define KORVA_STANDIN_BLOCK_PATTERN(offset) ((unsigned char)(0xA5u ^ (unsigned)(offset)))

/* ---- KORVA.dll ---------------------------------------------------------- */

/* Clears the DIAG_LOG records, all counters and the VN35 call log, and
 * re-reads the KORVA_STANDIN_* environment variables (discarding values set
 * through the setters below).  Ownership of the parse lock is left alone, so
 * a lock held across a reset makes standin_lock_depth() go negative once it is
 * released.  The client block serial is process-wide and is not reset: it
 * keeps counting, and a serial already used by a DIAG_LOG before the reset
 * stays used. */
void    KORVA_STANDIN_CALL standin_reset(void);

/* refuse != 0: KORVA_USR_GET_PARSEBUF_MUTEX answers 0 at once without
 * touching the lock; refuse == 0: it waits for the lock (grant mode). */
void    KORVA_STANDIN_CALL standin_set_lock_mode(int32_t refuse);

/* How long KORVA_USR_GET_PARSEBUF_MUTEX waits in grant mode, in
 * milliseconds; 0xFFFFFFFF waits forever. */
void    KORVA_STANDIN_CALL standin_set_lock_timeout(uint32_t ms);

/* The value KORVA_DIAG_LOGSTATE returns. */
void    KORVA_STANDIN_CALL standin_set_logstate(int32_t v);

/* The values KORVA_GetCurrentVN35Version returns for selector 1 and 0. */
void    KORVA_STANDIN_CALL standin_set_vn35(int32_t sel1_answer, int32_t sel0_answer);

/* Number of KORVA_DIAG_LOG records held. */
int32_t KORVA_STANDIN_CALL standin_record_count(void);

/* Copies record i (0 = oldest) out.  block_ok is 1 when the client block
 * passed with the call was non-null, carried the magic and the most recent
 * serial issued by KORVA_CLIENT_INITBLK, and no earlier record had used that
 * serial; otherwise 0.  A null area or text was recorded as "".  Returns the
 * full length of the record's text, or -1 when i is out of range. */
int32_t KORVA_STANDIN_CALL standin_record(int32_t i, char *area, int32_t areasize,
                                          int32_t *msgno, char *text, int32_t textsize,
                                          int32_t *block_ok);

/* Named counters, -1 for an unknown name:
 *   "initblk"         KORVA_CLIENT_INITBLK calls
 *   "diaglog"         KORVA_DIAG_LOG calls
 *   "logstate"        KORVA_DIAG_LOGSTATE calls
 *   "lock_get"        KORVA_USR_GET_PARSEBUF_MUTEX calls (granted or not)
 *   "lock_granted"    of those, the ones that returned 1
 *   "lock_release"    KORVA_USR_RELEASE_PARSEBUF_MUTEX calls that released
 *   "lock_unbalanced" KORVA_USR_RELEASE_PARSEBUF_MUTEX calls by a thread not
 *                     holding the lock (returned 0)
 *   "vn35"            KORVA_GetCurrentVN35Version calls */
int32_t KORVA_STANDIN_CALL standin_counter(const char *name);

/* "lock_granted" minus "lock_release": 0 when every grant was given back. */
int32_t KORVA_STANDIN_CALL standin_lock_depth(void);

/* Copies out call i (0 = oldest) of KORVA_GetCurrentVN35Version: the
 * selector, the size, and zero_filled = 1 when buf was non-null, size was
 * positive and the first size bytes were all zero on entry.  Returns 0, or -1
 * when i is out of range. */
int32_t KORVA_STANDIN_CALL standin_vn35_call(int32_t i, int32_t *selector, int32_t *size,
                                             int32_t *zero_filled);

/* ---- libq47.dll --------------------------------------------------------- */

/* Clears the variable table and the lookup log, frees every string
 * q47_getenv handed out, and re-reads Q47_STANDIN_VARS, Q47_STANDIN_ENV and
 * KORVA_STANDIN_TRACE. */
void    KORVA_STANDIN_CALL q47standin_reset(void);

/* Defines name as value in the table (value NULL removes the entry).  A null
 * name stands for "". */
void    KORVA_STANDIN_CALL q47standin_set(const char *name, const char *value);

/* on != 0: names missing from the table are looked up in the process
 * environment; on == 0: only the table answers. */
void    KORVA_STANDIN_CALL q47standin_set_env_fallback(int32_t on);

/* Number of q47_getenv calls recorded. */
int32_t KORVA_STANDIN_CALL q47standin_lookup_count(void);

/* Copies the name asked in call i (0 = oldest) out; a null name was recorded
 * as "".  Returns its full length, or -1 when i is out of range. */
int32_t KORVA_STANDIN_CALL q47standin_lookup_name(int32_t i, char *buf, int32_t size);

/* ---- Host operations ---------------------------------------------------- */

/* The operations the product calls.  Declared only on request, so that a
 * translation unit holding the product's own declarations can include this
 * header too. */
#ifdef KORVA_STANDIN_DECLARE_HOST_API
int32_t KORVA_STANDIN_CALL KORVA_CLIENT_INITBLK(void *block80);
int32_t KORVA_STANDIN_CALL KORVA_DIAG_LOG(const char *area, int32_t msgno, const char *text,
                                          void *block80);
int32_t KORVA_STANDIN_CALL KORVA_DIAG_LOGSTATE(void);
int32_t KORVA_STANDIN_CALL KORVA_USR_GET_PARSEBUF_MUTEX(void);
int32_t KORVA_STANDIN_CALL KORVA_USR_RELEASE_PARSEBUF_MUTEX(void);
int32_t KORVA_STANDIN_CALL KORVA_GetCurrentVN35Version(int32_t selector, char *buf, int32_t size);
char *  KORVA_STANDIN_CALL q47_getenv(const char *name);
#endif

#ifdef __cplusplus
}
#endif

#endif /* KORVA_STANDIN_H */
