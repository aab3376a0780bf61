/*
 * The exports the shared test cases call, as a table of function pointers.
 * Natively the table points at the functions linked into the test; under
 * Wine it is filled from KORVA_VB6.dll with GetProcAddress, by name, the
 * way a Visual Basic program binds.
 */
#ifndef KORVA_TEST_API_H
#define KORVA_TEST_API_H

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

/* KORVA_TEST_SCAN=plain: the bindings hold the tokenizer to its plain scan
 * path; unset or empty, it runs on the path it chooses (SSE2 here).  Any
 * other value ends the program, so that a misspelt name cannot quietly test
 * the chosen path. */
inline bool plain_scan_requested()
{
    const char *scan = getenv("KORVA_TEST_SCAN");
    if (!scan || !*scan) return false;
    if (!strcmp(scan, "plain")) return true;
    printf("KORVA_TEST_SCAN=%s: unknown scan path (unset, empty or \"plain\")\n", scan);
    fflush(stdout);
    exit(2);
}

/* The bound table; exits the test program when binding fails. */
const korva_api &api();

/* Releases a default message buffer of the line-ending filters the way
 * its owner must (LocalFree under Windows); false when that fails. */
bool release_message(char *buf);

#endif
