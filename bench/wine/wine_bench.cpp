/*
 * korva_wine_bench: KORVA_VB6.dll's exports timed where the DLL really runs
 * (Wine here, or Windows), with QueryPerformanceCounter.  The exports are
 * bound by name with GetProcAddress, as a Visual Basic program binds them;
 * the literal scanner and the SIMD floor (simd_floor.h) are compiled into
 * this program.  Prints a table and the ratios that korva_bench prints
 * natively, with no verdict: one process decides nothing, and
 * scripts/bench.sh judges the shares of several against the goals.
 *
 * Each time is the fastest of several batches of calls (the machine may be
 * shared); a batch lasts at least 50 ms, or one call.  A line's three
 * columns take their batches in turn, so that a spell when the machine is
 * slower falls on all three rather than on one, whose share it would move.
 * Each line is timed in 3 rounds, and the table shows the median round of
 * each column.  Arguments name the lines to time ("a b c d"); without any,
 * all are timed.
 *
 * --compare A.dll B.dll [lines] times korva_parsebuf of two builds of the
 * DLL, loaded by their paths into this one process, their batches in turn,
 * in 11 rounds, and prints the median of the rounds' B/A ratios: a busy
 * spell of the machine then falls on both builds, and moves the ratio far
 * less than it moves either time.
 */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "korva_vb6.h"
#include "lines.h"
#include "literal_tokenizer.h"
#include "simd_floor.h"

namespace {

decltype(&korva_parsebuf) dll_parsebuf;
decltype(&korva_lefttrim) dll_lefttrim;
decltype(&korva_trimblanks) dll_trimblanks;
decltype(&korva_atoi) dll_atoi;

double ticks_per_second()
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return (double)f.QuadPart;
}

double now()
{
    static const double hz = ticks_per_second();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / hz;
}

/* Batches of calls of f(), each of at least 50 ms or one call: `best` is
 * the fastest batch's seconds per call so far, `batches` how many batches
 * to take (two where one call takes half a second). */
template <typename F> struct batch_timer {
    F f;
    long per_batch;
    int batches;
    double best;

    explicit batch_timer(F fn) : f(fn)
    {
        double start = now();
        f();
        best = now() - start;
        per_batch = best >= 0.05 ? 1 : (long)(0.05 / (best > 1e-9 ? best : 1e-9)) + 1;
        batches = best >= 0.5 ? 2 : 5;
    }

    void batch()
    {
        double start = now();
        for (long i = 0; i < per_batch; i++) f();
        double s = (now() - start) / per_batch;
        if (s < best) best = s;
    }
};

/* Seconds per call of f(): the fastest of its batches. */
template <typename F> double time_calls(F f)
{
    batch_timer<F> t(f);
    for (int b = 0; b < t.batches; b++) t.batch();
    return t.best;
}

struct parse_times {
    double production, literal, floor;
};

template <typename P> bool parse_ok(P parse, const bench_line &l)
{
    char **tokens = NULL;
    int32_t count = -1, status = -1;
    parse(l.text.c_str(), &tokens, &count, l.ndelim, l.delims.data(), l.quote, &status);
    return status == 0 && (size_t)count == l.fields;
}

/* The batch timer of a parse of l, or none (0 s) where it gives the wrong
 * tokens. */
template <typename P> struct parse_timer {
    struct call {
        P parse;
        const bench_line *l;
        bool on;
        void operator()() const
        {
            char **tokens;
            int32_t count, status;
            if (on) parse(l->text.c_str(), &tokens, &count, l->ndelim, l->delims.data(), l->quote, &status);
        }
    };
    batch_timer<call> t;

    parse_timer(P p, const bench_line &l, bool wanted) : t(call{p, &l, wanted && parse_ok(p, l)})
    {
        if (wanted && !t.f.on)
            printf("case %s: the parse did not give the line's %u fields\n", l.id, (unsigned)l.fields);
    }

    ~parse_timer()
    {
        char **tokens;
        int32_t count, status;
        if (t.f.on) t.f.parse("", &tokens, &count, 1, ",", 0, &status);     /* releases the list */
    }

    void batch()
    {
        if (t.f.on) t.batch();
    }
    double best() const { return t.f.on ? t.best : 0; }
};

parse_times time_line(const bench_line &l)
{
    simd_floor floor;
    volatile size_t found = floor.run(l.text.c_str(), l.delims, l.ndelim);   /* its block, once */
    auto run_floor = [&] { found = floor.run(l.text.c_str(), l.delims, l.ndelim); };
    parse_timer<decltype(dll_parsebuf)> production(dll_parsebuf, l, true);
    parse_timer<decltype(&literal_parsebuf)> literal(literal_parsebuf, l, l.literal);
    batch_timer<decltype(run_floor)> floor_time(run_floor);
    /* the columns' batches in turn */
    for (int b = 0; b < production.t.batches; b++) {
        production.batch();
        literal.batch();
        floor_time.batch();
    }
    (void)found;
    return {production.best(), literal.best(), floor_time.best};
}

double median3(double a, double b, double c)
{
    return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

/* Each column's median of 3 rounds. */
parse_times time_line_median(const bench_line &l)
{
    parse_times r[3];
    for (parse_times &t : r) t = time_line(l);
    return {median3(r[0].production, r[1].production, r[2].production),
            median3(r[0].literal, r[1].literal, r[2].literal),
            median3(r[0].floor, r[1].floor, r[2].floor)};
}

template <typename F> F bind(HMODULE dll, const char *name)
{
    FARPROC p = GetProcAddress(dll, name);
    if (!p) printf("KORVA_VB6.dll does not export %s: not timed\n", name);
    return reinterpret_cast<F>(reinterpret_cast<void *>(p));
}

/* The --compare mode (see the head of this file). */
int compare(const char *path_a, const char *path_b, int nlines, char **lines)
{
    typedef decltype(&korva_parsebuf) parse_fn;
    HMODULE a = LoadLibraryA(path_a), b = LoadLibraryA(path_b);
    if (!a || !b || a == b) {
        printf("cannot load %s and %s as two modules\n", path_a, path_b);
        return 2;
    }
    parse_fn pa = bind<parse_fn>(a, "korva_parsebuf"), pb = bind<parse_fn>(b, "korva_parsebuf");
    if (!pa || !pb) return 2;

    printf("A = %s\nB = %s\n\n%-4s %10s %18s %11s %11s\n", path_a, path_b, "case", "B/A", "(least-most)",
           "A", "B");
    static const char *const all[] = {"a", "b", "c", "d"};
    if (!nlines) {
        nlines = 4;
        lines = const_cast<char **>(all);
    }
    for (int i = 0; i < nlines; i++) {
        bench_line l = make_line(lines[i]);
        if (!l.id) {
            printf("%s: no such line\n", lines[i]);
            continue;
        }
        std::vector<double> ratio, ta, tb;
        for (int round = 0; round < 11; round++) {
            parse_timer<parse_fn> x(pa, l, true), y(pb, l, true);
            if (!x.t.f.on || !y.t.f.on) break;
            for (int k = 0; k < x.t.batches; k++) {
                x.batch();
                y.batch();
            }
            ratio.push_back(y.best() / x.best());
            ta.push_back(x.best());
            tb.push_back(y.best());
        }
        if (ratio.empty()) continue;
        std::sort(ratio.begin(), ratio.end());
        std::sort(ta.begin(), ta.end());
        std::sort(tb.begin(), tb.end());
        size_t m = ratio.size() / 2;
        printf("%-4s %10.3f %8.3f-%-9.3f %11s %11s\n", l.id, ratio[m], ratio.front(), ratio.back(),
               show_time(ta[m]).c_str(), show_time(tb[m]).c_str());
        fflush(stdout);
    }
    return 0;
}

} /* namespace */

int main(int argc, char **argv)
{
    if (argc >= 4 && !strcmp(argv[1], "--compare")) return compare(argv[2], argv[3], argc - 4, argv + 4);

    HMODULE dll = LoadLibraryA("KORVA_VB6.dll");
    if (!dll) {
        printf("cannot load KORVA_VB6.dll: error %lu\n", GetLastError());
        return 2;
    }
    dll_parsebuf = bind<decltype(dll_parsebuf)>(dll, "korva_parsebuf");
    dll_lefttrim = bind<decltype(dll_lefttrim)>(dll, "korva_lefttrim");
    dll_trimblanks = bind<decltype(dll_trimblanks)>(dll, "korva_trimblanks");
    dll_atoi = bind<decltype(dll_atoi)>(dll, "korva_atoi");
    if (!dll_parsebuf) return 2;

    printf("SSE2 reported (IsProcessorFeaturePresent): %s\n\n",
           IsProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) ? "yes" : "no");
    printf("KORVA_VB6.dll, time per call (fastest batch; QueryPerformanceCounter; median of 3 "
           "rounds)\n\n");
    printf("%-4s %-40s %11s %11s %11s %12s %16s %12s\n", "case", "line", "production", "literal",
           "floor", "prod/literal", "production/floor", "ns per byte");
    double per_byte_a = 0, per_byte_f = 0, per_field_e = 0, per_field_10k = 0;
    for (const char *id : {"a", "b", "c", "d", "e", "f", "10k"}) {
        /* arguments, if any, name the lines to time */
        bool wanted = argc < 2;
        for (int i = 1; i < argc; i++) wanted = wanted || !strcmp(argv[i], id);
        if (!wanted) continue;
        bench_line l = make_line(id);
        parse_times t = time_line_median(l);
        printf("%-4s %-40s %11s %11s %11s %12s %16s %12.2f\n", l.id, l.title,
               show_time(t.production).c_str(), show_time(t.literal).c_str(),
               show_time(t.floor).c_str(), show_share(t.production, t.literal).c_str(),
               show_ratio(t.production, t.floor).c_str(), t.production * 1e9 / l.text.size());
        fflush(stdout);
        if (!strcmp(id, "a")) per_byte_a = t.production / l.text.size();
        if (!strcmp(id, "f")) per_byte_f = t.production / l.text.size();
        if (!strcmp(id, "e")) per_field_e = t.production / l.fields;
        if (!strcmp(id, "10k")) per_field_10k = t.production / l.fields;
    }
    /* only from lines that were timed (arguments may leave some out) */
    if (per_byte_a > 0 && per_byte_f > 0)
        printf("\nlinear: time per byte f/a = %.2f\n", per_byte_f / per_byte_a);
    if (per_field_e > 0 && per_field_10k > 0)
        printf("%slinear: time per field e/10k = %.2f\n", per_byte_f > 0 ? "" : "\n",
               per_field_e / per_field_10k);

    printf("\n%-30s %11s\n", "text primitive", "per call");
    if (dll_atoi) {
        int32_t value, status;
        printf("%-30s %11s\n", "korva_atoi(\"  12345  \")",
               show_time(time_calls([&] { dll_atoi("  12345  ", &value, &status); })).c_str());
    }
    if (dll_lefttrim) {
        static const char padded[] = "   ACCT-00042    ";
        char buf[sizeof(padded)];
        printf("%-30s %11s\n", "korva_lefttrim (with a copy)", show_time(time_calls([&] {
                   memcpy(buf, padded, sizeof(padded));
                   dll_lefttrim(buf);
               })).c_str());
    }
    if (dll_trimblanks) {
        char buf[32];
        memset(buf, ' ', sizeof(buf));
        memcpy(buf, "JENSEN OY", 9);
        printf("%-30s %11s\n", "korva_trimblanks (32 bytes)",
               show_time(time_calls([&] { dll_trimblanks(buf, sizeof(buf)); })).c_str());
    }
    return 0;
}
