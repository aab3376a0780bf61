#include "../cases/api.h"

const korva_api &api()
{
    static const korva_api table = {
        korva_trimblanks, korva_trimBlanksEx, korva_lefttrim,
        korva_leftpack, korva_lefttrim_r, korva_parsebuf,
    };
    return table;
}
