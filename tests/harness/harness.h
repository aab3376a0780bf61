/*
 * A small conformance-test harness in the manner of Wine's tests: ok()
 * checks a condition and prints the actual values when it fails; TEST()
 * defines a test function that runs when the program starts, or when its
 * name is given on the command line.
 */
#ifndef KORVA_TEST_HARNESS_H
#define KORVA_TEST_HARNESS_H

#include <string>
#include <vector>

namespace korva_test {

using test_fn = void (*)();

struct registrar {
    registrar(const char *name, test_fn fn);
};

bool check(const char *file, int line, bool cond, const char *fmt, ...)
    __attribute__((format(printf, 4, 5)));
void report_skip(const char *file, int line, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));
void trace(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

/* printable form of a byte string: quotes, \r \n \t and \xNN escapes */
std::string show(const char *s);
std::string show(const char *s, size_t n);
std::string show(const std::vector<std::string> &list);

} /* namespace korva_test */

#define ok(cond, ...) korva_test::check(__FILE__, __LINE__, (cond), __VA_ARGS__)
#define skip(...) korva_test::report_skip(__FILE__, __LINE__, __VA_ARGS__)

#define TEST(name)                                                            \
    static void test_##name();                                                \
    static korva_test::registrar registrar_##name(#name, test_##name);        \
    static void test_##name()

#endif
