/*
 * The exports the shared test cases call, as a table of function pointers.
 * Natively the table points at the functions linked into the test; under
 * Wine it is filled from KORVA_VB6.dll with GetProcAddress, by name, the
 * way a Visual Basic program binds.
 */
#ifndef KORVA_TEST_API_H
#define KORVA_TEST_API_H

#include "korva_vb6.h"

struct korva_api {
    decltype(&korva_trimblanks) trimblanks;
    decltype(&korva_trimBlanksEx) trimBlanksEx;
    decltype(&korva_lefttrim) lefttrim;
    decltype(&korva_leftpack) leftpack;
    decltype(&korva_lefttrim_r) lefttrim_r;
    decltype(&korva_parsebuf) parsebuf;
};

/* The bound table; exits the test program when binding fails. */
const korva_api &api();

#endif
