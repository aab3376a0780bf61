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
    decltype(&korva_upper) upper;
    decltype(&korva_lower) lower;
    decltype(&korva_upper_r) upper_r;
    decltype(&korva_lower_r) lower_r;
    decltype(&korva_atoi) atoi;
    decltype(&KORVA_FILTER_CRLF) filter_crlf;
    decltype(&KORVA_FILTER_ALL_CRLF) filter_all_crlf;
};

/* The bound table; exits the test program when binding fails. */
const korva_api &api();

/* Releases a default message buffer of the line-ending filters the way
 * its owner must (LocalFree under Windows); false when that fails. */
bool release_message(char *buf);

#endif
