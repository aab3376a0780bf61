/*
 * korva_vb6.h -- interface of KORVA_VB6.dll
 *
 * KORVA_VB6.dll is a 32-bit Windows DLL that Visual Basic 6 programs (and C
 * callers) load into their own process.  It offers text utilities for
 * blank-padded strings, a multi-delimiter tokenizer with quote handling, a
 * bridge to the product's host libraries (KORVA.dll, libq47.dll) and probes of
 * the Windows platform.
 *
 * The ABI
 *   - Every export is __stdcall (KORVA_API, defined as WINAPI) and exported by
 *     its undecorated name; callers bind by name (Declare ... Lib, or
 *     GetProcAddress).  The two variadic logging entries are __cdecl
 *     (KORVA_CDECL), because a variable argument list can only be popped by
 *     its caller.
 *   - Integers that cross the boundary are 32-bit signed (int32_t, a VB Long).
 *   - Text is NUL-terminated ANSI text in the process's code page.
 *   - The DLL links the C runtime msvcrt.dll; libgcc and libstdc++ are linked
 *     statically, so it needs no DLL beyond Windows' own and the two host
 *     libraries.
 *
 * Ownership
 *   Text passed in stays the caller's.  In-place exports change it only
 *   within its current length, or within the length the caller states.
 *   Memory handed out is of three kinds: the retained token list belongs to
 *   this module and lives until the next parse; the default message buffer of
 *   the line-ending filters belongs to the caller (LocalFree); the BSTR in a
 *   returned VARIANT belongs to the caller (SysFreeString, or VariantClear).
 *
 * Lifetime
 *   Loading the module does no work of its own.  Unloading it with
 *   FreeLibrary releases the retained token list: its tokens are gone with
 *   the module, so copy them before the last FreeLibrary.  At process exit
 *   the module does nothing and leaves the memory to the system.
 *
 * Null pointers
 *   Visual Basic passes a null pointer for vbNullString.  No export crashes on
 *   one: each entry below says what it does instead.
 */
#ifndef KORVA_VB6_H
#define KORVA_VB6_H

#include <stdint.h>

#ifdef _WIN32
# include <windows.h>
# include <oleauto.h>
#endif

#ifndef KORVA_API
# ifdef _WIN32
#  define KORVA_API WINAPI
# else
#  define KORVA_API
# endif
#endif

#ifndef KORVA_CDECL
# ifdef _WIN32
#  define KORVA_CDECL __cdecl
# else
#  define KORVA_CDECL
# endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define KORVA_VB6_VERSION        "1.0.0"
#define KORVA_VB6_VERSION_NUMBER 0x010000

/* Status values written through the tokenizer's status pointer. */
#define KORVA_PARSE_OK          0    /* the parse ran (any number of tokens) */
#define KORVA_PARSE_LOCKED    (-1)   /* the host's parse lock was not obtained */
#define KORVA_PARSE_BADDELIM  (-2)   /* delimiter count < 1, null list, or an empty delimiter */
#define KORVA_PARSE_NOMEM      12    /* ENOMEM: scratch memory could not be had */

/* ---------------------------------------------------------------- blanks --
 * A blank byte is one whose value, read as a signed 8-bit number, is at most
 * 32: the control bytes 0x00-0x1F, the space, and every byte 0x80-0xFF.
 */

/*
 * korva_trimblanks: walks buf[len-1], buf[len-2], ... down to buf[0] and
 * overwrites each blank byte with NUL, stopping at the first non-blank byte.
 * The walk ignores where the text's terminator lies, so a fixed-length
 * buffer padded with spaces or NULs is cleared from its far end.  len < 1 or
 * a null buf: nothing happens.  buf must hold at least len bytes.
 */
void KORVA_API korva_trimblanks(char *buf, int32_t len);

/* korva_trimBlanksEx: the walk of korva_trimblanks; returns buf, always. */
char *KORVA_API korva_trimBlanksEx(char *buf, int32_t len);

/*
 * korva_lefttrim: removes leading and trailing blank bytes in place and
 * returns text.  Only the result and its terminator are written at the start
 * of the buffer; bytes behind the new terminator keep their values.  A text
 * of blank bytes only becomes "".  Null text: returns null.
 */
char *KORVA_API korva_lefttrim(char *text);

/*
 * korva_leftpack: removes every blank byte wherever it stands, packing the
 * rest to the left in order, and returns text.  A text of blank bytes only
 * becomes "".  Null text: returns null.
 */
char *KORVA_API korva_leftpack(char *text);

/*
 * korva_lefttrim_r: copies src without leading and trailing whitespace
 * (space, \t, \n, \v, \f, \r only; bytes 0x80-0xFF are kept) into dst and
 * returns dst.  At most maxlen bytes are copied (a longer text is cut, keeping
 * its start), then a NUL: dst must hold maxlen + 1 bytes.  src is never
 * modified; src and dst may overlap, the same buffer included.
 * maxlen <= 0 or a null src: dst becomes "".  Null dst: returns null, writes
 * nothing.
 */
char *KORVA_API korva_lefttrim_r(const char *src, int32_t maxlen, char *dst);

/* --------------------------------------------- case and integer conversion */

/*
 * korva_upper / korva_lower: convert text in place with toupper/tolower of
 * the current locale and return text.  In the default locale only a-z
 * (resp. A-Z) change; bytes 0x80-0xFF never reach the C library as negative
 * values.  Null text: returns null.
 */
char *KORVA_API korva_upper(char *text);
char *KORVA_API korva_lower(char *text);

/*
 * korva_upper_r / korva_lower_r: write the converted src into dst (which
 * must hold strlen(src) + 1 bytes) and return dst; src is not modified and may
 * be dst itself.  Null src: dst becomes "".  Null dst: returns null, writes
 * nothing.
 */
char *KORVA_API korva_upper_r(const char *src, char *dst);
char *KORVA_API korva_lower_r(const char *src, char *dst);

/* Status values of korva_atoi; any other nonzero value is the C runtime's
 * error number, ERANGE (34) when the number is outside the 32-bit range. */
#define KORVA_ATOI_OK          0
#define KORVA_ATOI_EMPTY     (-1)    /* the text is empty (or null) */
#define KORVA_ATOI_TRAILING  (-2)    /* characters remain after the number */
#define KORVA_ATOI_RANGE      34     /* ERANGE */

/*
 * korva_atoi: converts text to a 32-bit signed integer as strtol does in
 * base 0 (optional sign, 0x/0X hexadecimal, leading 0 octal, else decimal),
 * after leading and trailing blank bytes are dropped.  Hexadecimal and octal
 * numbers obey the signed range too: "0xFFFFFFFF" is a range error.
 *   *status = 0 and *result = the value on success; a text of blank bytes
 *   only converts to 0.  Otherwise *result is not written and *status is
 *   KORVA_ATOI_EMPTY, KORVA_ATOI_TRAILING, or KORVA_ATOI_RANGE (the range
 *   error wins over trailing characters).  errno is cleared first and is
 *   ERANGE after a range error (see korva_GetLastErrorEx).  A null result or
 *   status pointer is never written.
 */
void KORVA_API korva_atoi(const char *text, int32_t *result, int32_t *status);

/* ------------------------------------------------------ message line endings
 * A message text's final CR LF is normalised in place.  Only a CR LF that is
 * the text's first and also its last two bytes counts: a text with an
 * earlier CR LF is left alone.
 */

/*
 * KORVA_FILTER_CRLF: replaces the final CR LF with LF; returns text.
 * KORVA_FILTER_ALL_CRLF: removes the final CR LF; returns text.
 * With a null text both return a new 37-byte buffer holding
 * "No English error message text found\n", which belongs to the caller:
 * release it with LocalFree.  They return null only when that buffer cannot
 * be allocated.
 */
char *KORVA_API KORVA_FILTER_CRLF(char *text);
char *KORVA_API KORVA_FILTER_ALL_CRLF(char *text);

/* ------------------------------------------------------------- tokenizer --
 * The delimiter list is a block of ndelim NUL-terminated, non-empty strings
 * placed one after another: for "," and "; " the 5 bytes  , \0 ; space \0 .
 * Delimiters are matched byte for byte; the first in list order that matches
 * at a position wins.  Delimiter 0 is also appended to the text when the text
 * does not already end with it, so the last field is closed.
 */

/*
 * korva_parsebuf: splits text into tokens and stores them in the module's
 * retained token list.
 *   - Trailing blank bytes of the text are cut first; leading and inner
 *     blanks stay.  Adjacent delimiters give empty tokens.
 *   - quote != 0: a double quote toggles a quoted stretch in which no
 *     delimiter is looked for.  An unclosed quote hides every later
 *     delimiter, so the text from the last separator before it yields no
 *     token.  Whatever the flag, a token of 2+ characters that starts and ends
 *     with a double quote loses those two characters.
 *   - Tokens of any length come back whole.
 * Results:
 *   *status = 0 and *count = number of tokens; *tokens = the module's array
 *   of *count pointers to NUL-terminated tokens.  The array and the tokens
 *   belong to the module: read them, never change or free them, and copy what
 *   you need before the next korva_parsebuf or korva_parsebuf_wrapper call on
 *   any thread, which releases them.  That call may itself be given one of
 *   those tokens as its text (splitting a field again) or its delimiter
 *   list: they are read before the old list is released.  When the text is
 *   empty (or null, or only blank bytes) *count = 0 and *tokens keeps the
 *   caller's value.
 *   *status = KORVA_PARSE_BADDELIM when ndelim < 1, delims is null or a
 *   delimiter is empty: nothing is parsed, *count, *tokens and the retained
 *   list are left as they were.
 *   *status = KORVA_PARSE_NOMEM when memory ran out: *count = 0, *tokens
 *   untouched, the previous list released.
 *   Each out-pointer may be null; it is then simply not written.
 * Not thread-safe: callers on several threads use korva_parsebuf_wrapper.
 */
void KORVA_API korva_parsebuf(const char *text, char ***tokens, int32_t *count,
                              int32_t ndelim, const char *delims, int32_t quote,
                              int32_t *status);

#ifdef _WIN32
/*
 * korva_parsebuf_wrapper: korva_parsebuf under the host's parse lock
 * (KORVA.dll).  Sets *status = KORVA_PARSE_LOCKED, asks for the lock, and
 * when the host refuses returns at once, the outputs and the retained list
 * untouched.  Otherwise parses (the results of korva_parsebuf) and gives the
 * lock back before returning.  The lock covers the parse only: copy the
 * tokens before any thread parses again.
 */
void KORVA_API korva_parsebuf_wrapper(const char *text, char ***tokens,
                                      int32_t *count, int32_t ndelim,
                                      const char *delims, int32_t quote,
                                      int32_t *status);

/* ------------------------------------------------------ host diagnostics */

/*
 * KernelDebugLog: formats a message with the C runtime's printf conventions
 * (msvcrt.dll) and sends it to the host's diagnostic log (KORVA.dll) under
 * the area "KERNEL_DEBUG", message number 122030.  A message longer than 511
 * characters is cut to 511 and always terminated.  Null fmt: nothing is sent.
 * __cdecl, as every variadic function: Visual Basic 6 cannot call it
 * directly.
 */
void KORVA_CDECL KernelDebugLog(const char *fmt, ...);

/*
 * KernelDebugLogEx: as KernelDebugLog, under the caller's area and message
 * number, for messages up to 2055 characters (longer ones are cut and
 * terminated).  Null area or null fmt: nothing is sent.
 */
void KORVA_CDECL KernelDebugLogEx(const char *area, int32_t msgno, const char *fmt, ...);

/* ------------------------------------------------------- host variables */

/*
 * Q47_GETENVVB: looks up one of the product's configuration variables
 * through the host (libq47.dll) for Automation callers.  The name is a
 * VARIANT holding a BSTR; a null BSTR is the empty name; a VARIANT of another
 * type is converted to text as Automation converts it, and one that cannot
 * be converted gives VT_EMPTY without asking the host anything.  Names and
 * values of any length are passed whole.
 * Returns a VARIANT: VT_BSTR holding the value (a BSTR the caller owns and
 * releases with SysFreeString or VariantClear), or VT_EMPTY when the variable
 * is not defined.  The argument stays the caller's and is only read.
 * When the host's log state is 0, each lookup is also traced into the host
 * log: area "KORVAMANAGER", number 3001,
 * ">>> Q47_GETENVVB: Translating NAME=[VALUE]\n" ("NULL" for an empty name,
 * or for a null or empty value), cut to 511 characters.
 */
VARIANT KORVA_API Q47_GETENVVB(VARIANT name);

/* --------------------------------------------------------- error retrieval */

/*
 * korva_GetLastErrorEx: delivers the calling thread's C runtime error number
 * (errno of msvcrt.dll), its last system error (GetLastError) and a flag that
 * is 1 when the system error is ERROR_FILE_NOT_FOUND (2), else 0.  Any
 * pointer may be null; its value is then not delivered.  The thread's last
 * system error is left as it was.
 */
void KORVA_API korva_GetLastErrorEx(int32_t *crt_error, int32_t *sys_error,
                                    int32_t *not_found);

/* korva_GetLastError: the calling thread's last system error. */
int32_t KORVA_API korva_GetLastError(void);

/* ------------------------------------------------------- platform probes */

/*
 * KORVA_UTILS_ISUSERADMINISTRATOR: 1 when the local Administrators group
 * (S-1-5-32-544) is in the group list of the caller's token: the calling
 * thread's impersonation token, or the process token when the thread
 * impersonates no one.  Membership, not elevation: a group present only for
 * deny checks, or not enabled, still answers 1.  0 otherwise and on every
 * failure, including a thread token that cannot be opened for query (the
 * process token is not asked then).  No error of its own is stored.
 */
int32_t KORVA_API KORVA_UTILS_ISUSERADMINISTRATOR(void);

/*
 * KORVA_IsWow64: nonzero (1) when this 32-bit process runs under WOW64, on
 * 64-bit Windows; 0 on 32-bit Windows, when the system lacks IsWow64Process,
 * or when the query fails.
 */
int32_t KORVA_API KORVA_IsWow64(void);

/*
 * KORVA_MyWow64Disable: switches the calling thread's file-system
 * redirection off (System32 then shows the 64-bit system directory) and
 * stores in *old the state to hand to KORVA_MyWow64Revert on the same thread.
 * Nonzero when switched off; 0 when the system refuses (32-bit Windows) or
 * lacks the function, *old then not written.  Null old: returns 0, nothing
 * changes.
 */
int32_t KORVA_API KORVA_MyWow64Disable(void **old);

/*
 * KORVA_MyWow64Revert: puts the calling thread's redirection back to the
 * state old that KORVA_MyWow64Disable stored; that state may be NULL.
 * Nonzero when restored; 0 when the system refuses or lacks the function.
 */
int32_t KORVA_API KORVA_MyWow64Revert(void *old);

/*
 * KORVA_isVN35_64Bit: 1 when KORVA.dll reports a current 64-bit installation
 * of VN35, else 0.  Asks the host at every call, a second time (answer
 * unused) when the first answer is 0.
 */
int32_t KORVA_API KORVA_isVN35_64Bit(void);

/*
 * Registry view flags: a value to add to the access mask (REGSAM) of your own
 * registry calls for the product's keys: 0 (the process's default view; for
 * 32-bit code under WOW64 that is the 32-bit view), KEY_WOW64_64KEY (0x100)
 * or KEY_WOW64_32KEY (0x200).  Each getter computes its flag at its first
 * call and returns the same flag for the life of the module, even when the
 * registry or the installation changes; later calls touch neither the
 * registry nor the host.  Safe from any thread.  They report no errors.
 */

/*
 * GetKorvaRegSamViewFlag: 0 when the key HKEY_LOCAL_MACHINE\SOFTWARE\
 * Velmarcon\KORVA opens in the default view, else KEY_WOW64_32KEY (missing
 * or unreadable there, whatever the 32-bit view holds).
 */
int32_t KORVA_API GetKorvaRegSamViewFlag(void);

/*
 * GetVn35RegSamViewFlag: under WOW64, KEY_WOW64_64KEY when KORVA_isVN35_64Bit
 * answers 1 and KEY_WOW64_32KEY when it answers 0; 0 when not under WOW64
 * (the host is asked all the same).
 */
int32_t KORVA_API GetVn35RegSamViewFlag(void);

#endif /* _WIN32 */

#ifdef __cplusplus
}
#endif

#endif /* KORVA_VB6_H */
