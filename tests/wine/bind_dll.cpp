#include "../cases/api.h"
#include "dll.h"

const korva_api &api()
{
    static const korva_api table = {
        KORVA_BIND(korva_trimblanks), KORVA_BIND(korva_trimBlanksEx),
        KORVA_BIND(korva_lefttrim),   KORVA_BIND(korva_leftpack),
        KORVA_BIND(korva_lefttrim_r), KORVA_BIND(korva_parsebuf),
    };
    return table;
}
