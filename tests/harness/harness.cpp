#include "harness.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

namespace korva_test {

namespace {

struct entry {
    const char *name;
    test_fn fn;
};

std::vector<entry> &registry()
{
    static std::vector<entry> tests;
    return tests;
}

long executed, failures, skipped;
const char *current = "";

__attribute__((format(printf, 4, 0)))
void report(const char *what, const char *file, int line, const char *fmt, va_list args)
{
    const char *base = strrchr(file, '/');
    printf("%s:%d: %s: %s: ", base ? base + 1 : file, line, current, what);
    vprintf(fmt, args);
    printf("\n");
    fflush(stdout);
}

} /* namespace */

registrar::registrar(const char *name, test_fn fn)
{
    registry().push_back({name, fn});
}

bool check(const char *file, int line, bool cond, const char *fmt, ...)
{
    executed++;
    if (cond) return true;
    failures++;
    va_list args;
    va_start(args, fmt);
    report("Test failed", file, line, fmt, args);
    va_end(args);
    return false;
}

void report_skip(const char *file, int line, const char *fmt, ...)
{
    skipped++;
    va_list args;
    va_start(args, fmt);
    report("Tests skipped", file, line, fmt, args);
    va_end(args);
}

void trace(const char *fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    vprintf(fmt, args);
    va_end(args);
    fflush(stdout);
}

std::string show(const char *s, size_t n)
{
    if (!s) return "(null)";
    std::string out = "'";
    for (size_t i = 0; i < n; i++) {
        unsigned char c = s[i];
        char buf[8];
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c >= 0x7f) {
            snprintf(buf, sizeof(buf), "\\x%02X", c);
            out += buf;
        } else out += (char)c;
    }
    return out + "'";
}

std::string show(const char *s)
{
    return s ? show(s, strlen(s)) : "(null)";
}

std::string show(const std::vector<std::string> &list)
{
    std::string out = "[";
    for (size_t i = 0; i < list.size(); i++) {
        if (i) out += ", ";
        out += show(list[i].c_str(), list[i].size());
    }
    return out + "]";
}

} /* namespace korva_test */

int main(int argc, char **argv)
{
    using namespace korva_test;
    const char *prog = strrchr(argv[0], '/');
    if (!prog) prog = strrchr(argv[0], '\\');
    prog = prog ? prog + 1 : argv[0];

    int ran = 0;
    for (const entry &t : registry()) {
        bool wanted = argc < 2;
        for (int i = 1; i < argc; i++)
            if (!strcmp(argv[i], t.name)) wanted = true;
        if (!wanted) continue;
        current = t.name;
        t.fn();
        ran++;
    }
    if (argc >= 2 && !ran) {
        printf("%s: no test named %s\n", prog, argv[1]);
        return 2;
    }
    printf("%s: %d test functions, %ld checks executed (%ld failures, %ld skipped)\n",
           prog, ran, executed, failures, skipped);
    return failures ? 1 : 0;
}
