/*
 * Running a program, or this test program again, as a child process with
 * extra environment variables, its output captured.  The registry view flags
 * are cached for the life of a process, so each scenario that needs a first
 * call runs in a fresh child: a test function that acts only when it was
 * named on the command line, and prints what it saw as "key=value" lines.
 */
#ifndef KORVA_TEST_CHILD_PROCESS_H
#define KORVA_TEST_CHILD_PROCESS_H

#include <string>
#include <vector>

struct env_var {
    const char *name;
    const char *value;   /* NULL: removed for the child */
};

/* Runs command_line with env applied, stdout and stderr into *out; returns
 * its exit code, or -1 when it could not be started or did not end within a
 * minute. */
int run_program(const std::string &command_line, const std::vector<env_var> &env, std::string *out);

/* This test program again, running only the test function named test. */
int run_self(const char *test, const std::vector<env_var> &env, std::string *out);

/* The path of a program beside this one (the build's bin folder). */
std::string beside_self(const char *file);

/* True when test functions were named on the command line: the child
 * scenarios act only then. */
bool named_on_command_line();

/* The value of the line "key=value" in out; false when there is none. */
bool output_value(const std::string &out, const char *key, std::string *value);

/* That value as a number (decimal or 0x hex); fallback when missing. */
long output_number(const std::string &out, const char *key, long fallback = -999);

#endif
