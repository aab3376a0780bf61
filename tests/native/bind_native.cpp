#include <stdlib.h>

#include "../cases/api.h"

const korva_api &api()
{
    static const korva_api table = {
        korva_trimblanks, korva_trimBlanksEx, korva_lefttrim,
        korva_leftpack,   korva_lefttrim_r,   korva_parsebuf,
        korva_upper,      korva_lower,        korva_upper_r,
        korva_lower_r,    korva_atoi,         KORVA_FILTER_CRLF,
        KORVA_FILTER_ALL_CRLF,
    };
    return table;
}

bool release_message(char *buf)
{
    free(buf);
    return true;
}
