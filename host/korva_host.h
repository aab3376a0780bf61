/*
 * The operations this module calls on the product's host libraries.  They
 * are imported by undecorated name and use the C calling convention; the
 * module never loads or unloads the libraries itself.
 */
#ifndef KORVA_HOST_H
#define KORVA_HOST_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define KORVA_CLIENT_BLOCK_SIZE 80

/* KORVA.dll, the product's core library */
int32_t __cdecl KORVA_CLIENT_INITBLK(void *block);
int32_t __cdecl KORVA_DIAG_LOG(const char *area, int32_t msgno, const char *text, void *block);
int32_t __cdecl KORVA_DIAG_LOGSTATE(void);
int32_t __cdecl KORVA_USR_GET_PARSEBUF_MUTEX(void);
int32_t __cdecl KORVA_USR_RELEASE_PARSEBUF_MUTEX(void);
int32_t __cdecl KORVA_GetCurrentVN35Version(int32_t selector, char *buf, int32_t size);

/* libq47.dll, the product's common library */
char *__cdecl q47_getenv(const char *name);

#ifdef __cplusplus
}
#endif

#endif
