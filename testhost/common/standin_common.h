/*
 * standin_common.h - small helpers shared by the stand-in host libraries
 *
 * Private to testhost/: included by korva_standin.cpp and q47_standin.cpp.
 */
#ifndef STANDIN_COMMON_H
#define STANDIN_COMMON_H

#include <windows.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#ifdef __GLIBCXX__
namespace __gnu_cxx {
void __freeres();
}
#endif

namespace standin {

/* Holds a critical section for the lifetime of the object. */
class CsGuard
{
public:
    explicit CsGuard(CRITICAL_SECTION *cs) : cs_(cs) { EnterCriticalSection(cs_); }
    ~CsGuard() { LeaveCriticalSection(cs_); }

private:
    CsGuard(const CsGuard &);
    CsGuard &operator=(const CsGuard &);

    CRITICAL_SECTION *cs_;
};

/* Reads a variable from the process environment, whatever its length.
 * Returns false when it is not defined; an empty value is defined. */
inline bool read_env(const char *name, std::string &out)
{
    out.clear();
    if (!name)
        return false;

    SetLastError(ERROR_SUCCESS);
    DWORD need = GetEnvironmentVariableA(name, NULL, 0);
    if (need == 0)
        return GetLastError() != ERROR_ENVVAR_NOT_FOUND;

    for (;;)
    {
        std::vector<char> buf(need);
        SetLastError(ERROR_SUCCESS);
        DWORD got = GetEnvironmentVariableA(name, &buf[0], need);
        if (got == 0)
            return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        if (got < need)
        {
            out.assign(&buf[0], got);
            return true;
        }
        /* The variable grew between the two calls: got is the size now needed. */
        need = got;
    }
}

/* Parses a whole decimal int32 (surrounding blanks allowed). */
inline bool parse_int32(const std::string &text, int32_t *value)
{
    const char *s = text.c_str();
    char *end = NULL;

    errno = 0;
    long long v = strtoll(s, &end, 10);
    if (end == s || errno == ERANGE || v < INT32_MIN || v > INT32_MAX)
        return false;
    while (*end == ' ' || *end == '\t')
        end++;
    if (*end)
        return false;
    *value = (int32_t)v;
    return true;
}

/* Copies src into buf (bounded by size, NUL-terminated when size > 0;
 * buf may be NULL) and returns the full length of src. */
inline int32_t copy_out(const std::string &src, char *buf, int32_t size)
{
    if (buf && size > 0)
    {
        size_t n = src.size();
        if (n > (size_t)size - 1)
            n = (size_t)size - 1;
        memcpy(buf, src.data(), n);
        buf[n] = 0;
    }
    return src.size() > (size_t)INT32_MAX ? INT32_MAX : (int32_t)src.size();
}

/* Writes one complete line to stdout in a single call and flushes it, so
 * lines from several threads do not interleave and pipes see them at once. */
inline void write_stdout(const std::string &line)
{
    fwrite(line.data(), 1, line.size(), stdout);
    fflush(stdout);
}

/* Appends one complete line to a file.  FILE_APPEND_DATA makes each write
 * land at the end of the file even with several writers. */
inline bool append_to_file(const std::string &path, const std::string &line)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;

    bool ok = true;
    const char *p = line.data();
    size_t left = line.size();
    while (left > 0)
    {
        DWORD chunk = left > 0x10000000u ? 0x10000000u : (DWORD)left;
        DWORD written = 0;
        if (!WriteFile(file, p, chunk, &written, NULL) || written == 0)
        {
            ok = false;
            break;
        }
        p += written;
        left -= written;
    }
    CloseHandle(file);
    return ok;
}

/* Appends text to out as a C string literal body would show it: quotes and
 * backslashes escaped, control characters as \n, \r, \t or \xNN. */
inline void append_quoted(std::string &out, const std::string &text)
{
    static const char hex[] = "0123456789abcdef";

    out += '"';
    for (size_t i = 0; i < text.size(); i++)
    {
        unsigned char c = (unsigned char)text[i];
        switch (c)
        {
        case '"':  out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f)
            {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            else
                out += (char)c;
        }
    }
    out += '"';
}

/* Decimal text of v. */
inline std::string int_text(long long v)
{
    char buf[24];
    char *p = buf + sizeof(buf);
    unsigned long long u = v < 0 ? 0ull - (unsigned long long)v : (unsigned long long)v;

    *--p = 0;
    do
    {
        *--p = (char)('0' + u % 10);
        u /= 10;
    } while (u);
    if (v < 0)
        *--p = '-';
    return p;
}

/* libstdc++, linked in statically, keeps a reserve of heap for throwing
 * exceptions when memory runs out, and frees it only when asked: a library
 * that is being unloaded asks, or every load and unload would lose it. */
inline void release_runtime()
{
#ifdef __GLIBCXX__
    __gnu_cxx::__freeres();
#endif
}

} /* namespace standin */

#endif /* STANDIN_COMMON_H */
