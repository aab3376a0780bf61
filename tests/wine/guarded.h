/*
 * Buffers that catch a stray byte.  A guarded buffer's last byte lies right
 * before an inaccessible page, so reading or writing one byte past its end
 * faults at once; the bytes before it in its pages hold a canary, so a write
 * in front of it shows afterwards.  A buffer can be made read-only, so that
 * any write into an input faults too.
 *
 * watch_faults() installs a handler that turns such a fault, or any access
 * violation inside KORVA_VB6.dll, into a test failure naming the row being
 * run (set with guarded::row) and the buffer hit, and ends the program.
 */
#ifndef KORVA_TEST_GUARDED_H
#define KORVA_TEST_GUARDED_H

#include <stdio.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include <windows.h>

class guarded {
public:
    /* n bytes, filled with `fill`; canary bytes before them. */
    guarded(size_t n, const char *label, char fill = 0, char canary = ' ') : size_(n), label_(label)
    {
        SYSTEM_INFO si;
        GetSystemInfo(&si);
        page_ = si.dwPageSize;
        span_ = (n + lead + page_ - 1) / page_ * page_;
        base_ = static_cast<char *>(VirtualAlloc(NULL, span_ + page_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        if (!base_) {
            printf("cannot reserve %lu bytes for %s\n", (unsigned long)(span_ + page_), label);
            ExitProcess(2);
        }
        DWORD old;
        VirtualProtect(base_ + span_, page_, PAGE_NOACCESS, &old);
        data_ = base_ + span_ - n;
        canary_ = canary;
        memset(base_, canary, data_ - base_);
        memset(data_, fill, n);
        enlist(this);
    }

    /* A NUL-terminated copy of s whose terminator is the last byte. */
    static guarded text(const std::string &s, const char *label)
    {
        guarded g(s.size() + 1, label);
        memcpy(g.data_, s.data(), s.size());
        return g;
    }

    /* Exactly the bytes of s, no terminator added. */
    static guarded bytes(const std::string &s, const char *label)
    {
        guarded g(s.size(), label);
        memcpy(g.data_, s.data(), s.size());
        return g;
    }

    guarded(guarded &&o) noexcept { *this = static_cast<guarded &&>(o); }
    guarded &operator=(guarded &&o) noexcept
    {
        std::swap(base_, o.base_);
        std::swap(data_, o.data_);
        std::swap(size_, o.size_);
        std::swap(span_, o.span_);
        std::swap(page_, o.page_);
        std::swap(label_, o.label_);
        std::swap(canary_, o.canary_);
        std::swap(read_only_, o.read_only_);
        for (guarded *&z : zones())
            if (z == &o) z = this;
        return *this;
    }
    guarded(const guarded &) = delete;
    guarded &operator=(const guarded &) = delete;

    ~guarded()
    {
        for (guarded *&z : zones())
            if (z == this) z = NULL;
        if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    }

    char *data() const { return data_; }
    size_t size() const { return size_; }
    std::string contents() const { return std::string(data_, size_); }

    /* Every write into the buffer faults from now on. */
    guarded &read_only()
    {
        DWORD old;
        VirtualProtect(base_, span_, PAGE_READONLY, &old);
        read_only_ = true;
        return *this;
    }

    /* The bytes in front of the buffer still hold the canary. */
    bool canary_intact() const
    {
        for (const char *p = base_; p < data_; p++)
            if (*p != canary_) return false;
        return true;
    }

    /* The row under test, for the fault handler's report. */
    static std::string &row()
    {
        static std::string r;
        return r;
    }

    static void watch_faults(HMODULE module)
    {
        module_base() = reinterpret_cast<char *>(module);
        const IMAGE_DOS_HEADER *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(module);
        const IMAGE_NT_HEADERS *nt =
            reinterpret_cast<const IMAGE_NT_HEADERS *>(module_base() + dos->e_lfanew);
        module_size() = nt->OptionalHeader.SizeOfImage;
        AddVectoredExceptionHandler(1, on_fault);
    }

private:
    enum { lead = 16 };   /* at least this many canary bytes */

    char *base_ = NULL, *data_ = NULL;
    size_t size_ = 0, span_ = 0, page_ = 0;
    const char *label_ = "";
    char canary_ = ' ';
    bool read_only_ = false;

    static std::vector<guarded *> &zones()
    {
        static std::vector<guarded *> z;
        return z;
    }
    static void enlist(guarded *g)
    {
        for (guarded *&z : zones())
            if (!z) {
                z = g;
                return;
            }
        zones().push_back(g);
    }
    static char *&module_base()
    {
        static char *b;
        return b;
    }
    static size_t &module_size()
    {
        static size_t s;
        return s;
    }

    [[noreturn]] static void fail(const char *what)
    {
        printf("Test failed: %s: %s\n", row().c_str(), what);
        fflush(stdout);
        TerminateProcess(GetCurrentProcess(), 3);
        for (;;) {}
    }

    static LONG CALLBACK on_fault(EXCEPTION_POINTERS *e)
    {
        const EXCEPTION_RECORD *r = e->ExceptionRecord;
        if (r->ExceptionCode != EXCEPTION_ACCESS_VIOLATION || r->NumberParameters < 2)
            return EXCEPTION_CONTINUE_SEARCH;
        bool write = r->ExceptionInformation[0] == 1;
        char *at = reinterpret_cast<char *>(r->ExceptionInformation[1]);
        char *ip = reinterpret_cast<char *>(r->ExceptionAddress);
        char msg[512];
        for (guarded *z : zones()) {
            if (!z) continue;
            if (at >= z->base_ + z->span_ && at < z->base_ + z->span_ + z->page_) {
                snprintf(msg, sizeof(msg), "%s %lu byte(s) past the end of %s (%lu bytes), at %p",
                         write ? "wrote" : "read", (unsigned long)(at - (z->data_ + z->size_) + 1), z->label_,
                         (unsigned long)z->size_, ip);
                fail(msg);
            }
            if (write && z->read_only_ && at >= z->base_ && at < z->base_ + z->span_) {
                snprintf(msg, sizeof(msg), "wrote into the read-only %s at offset %ld, at %p", z->label_,
                         (long)(at - z->data_), ip);
                fail(msg);
            }
        }
        if (ip >= module_base() && ip < module_base() + module_size()) {
            snprintf(msg, sizeof(msg), "access violation in KORVA_VB6.dll+%#lx %s %p",
                     (unsigned long)(ip - module_base()), write ? "writing" : "reading", at);
            fail(msg);
        }
        return EXCEPTION_CONTINUE_SEARCH;
    }
};

#endif
