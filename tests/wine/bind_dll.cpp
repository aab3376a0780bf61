#include "../cases/api.h"
#include "dll.h"

/* A file that includes this one may run something before the first binding. */
#ifndef KORVA_BEFORE_BINDING
#define KORVA_BEFORE_BINDING()
#endif

const korva_api &api()
{
    KORVA_BEFORE_BINDING();
    static const korva_api table = {
        KORVA_BIND(korva_trimblanks), KORVA_BIND(korva_trimBlanksEx),
        KORVA_BIND(korva_lefttrim),   KORVA_BIND(korva_leftpack),
        KORVA_BIND(korva_lefttrim_r), KORVA_BIND(korva_parsebuf),
        KORVA_BIND(korva_upper),      KORVA_BIND(korva_lower),
        KORVA_BIND(korva_upper_r),    KORVA_BIND(korva_lower_r),
        KORVA_BIND(korva_atoi),       KORVA_BIND(KORVA_FILTER_CRLF),
        KORVA_BIND(KORVA_FILTER_ALL_CRLF),
    };
    return table;
}

/* The buffer must come from LocalAlloc: LocalFree returns NULL for one. */
bool release_message(char *buf)
{
    return LocalSize(buf) >= 37 && LocalFree(buf) == NULL;
}
