/*
 * korva_bench: korva_parsebuf against the literal scanner and the SIMD floor
 * (simd_floor.h) on the benchmark lines, and the text primitives on typical short inputs.
 * After Google Benchmark's table it prints the shares and ratios of this
 * one run, from CPU time (the machine may be shared), with no verdict: the
 * scanner's goals are judged on the DLL under Wine, over several processes
 * (scripts/bench.sh).
 *
 * Each benchmark runs 3 times in a row and the fastest of the 3 counts: the
 * table shows that one.  A busy moment of a shared machine then drops out,
 * as it does in korva_wine_bench, which takes the fastest of its batches.
 * (The runs are not shuffled with the other benchmarks': the "steady/" runs
 * change the heap's settings for the rest of the process.)  Standard
 * --benchmark_* flags apply and override this one (--benchmark_repetitions=1
 * for one run of each).
 *
 * Linearity is measured twice.  With the C library's default settings a
 * block over 32 MiB is a fresh mapping on every call, whose pages the kernel
 * faults in and zeroes: (f) pays that and (a) does not.  The "steady/" runs
 * come last and keep large blocks in the heap (mallopt), as (a)'s are, so
 * the ratio compares the scanner with itself.
 */
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "korva_vb6.h"
#include "lines.h"
#include "literal_tokenizer.h"
#include "simd_floor.h"

namespace {

using parse_fn = void (*)(const char *, char ***, int32_t *, int32_t, const char *, int32_t,
                          int32_t *);

std::vector<std::unique_ptr<bench_line>> lines;
std::map<std::string, double> seconds;       /* per call, by benchmark name */

void time_parse(benchmark::State &state, const bench_line *l, parse_fn parse)
{
    char **tokens = NULL;
    int32_t count = -1, status = -1;
    for (auto _ : state) {
        parse(l->text.c_str(), &tokens, &count, l->ndelim, l->delims.data(), l->quote, &status);
        benchmark::DoNotOptimize(tokens);
    }
    if (status != 0 || (size_t)count != l->fields)
        state.SkipWithError("the parse did not give the line's fields");
    parse("", &tokens, &count, 1, ",", 0, &status);     /* releases the list */
    state.SetBytesProcessed(state.iterations() * (int64_t)l->text.size());
    state.SetItemsProcessed(state.iterations() * (int64_t)l->fields);
}

/* The same, with large blocks kept in the heap from here on. */
void time_parse_steady(benchmark::State &state, const bench_line *l, parse_fn parse)
{
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
#endif
    time_parse(state, l, parse);
}

void time_floor(benchmark::State &state, const bench_line *l)
{
    simd_floor floor;
    size_t found = floor.run(l->text.c_str(), l->delims, l->ndelim);   /* its block, once */
    for (auto _ : state) {
        found = floor.run(l->text.c_str(), l->delims, l->ndelim);
        benchmark::DoNotOptimize(found);
        benchmark::ClobberMemory();
    }
    if (found + 1 < l->fields) state.SkipWithError("the floor found fewer places than fields");
    state.SetBytesProcessed(state.iterations() * (int64_t)l->text.size());
    state.SetItemsProcessed(state.iterations() * (int64_t)l->fields);
}

void time_atoi(benchmark::State &state)
{
    int32_t value = 0, status = 0;
    for (auto _ : state) {
        korva_atoi("  12345  ", &value, &status);
        benchmark::DoNotOptimize(value);
    }
    if (status != 0 || value != 12345) state.SkipWithError("korva_atoi failed");
}

/* korva_lefttrim works in place: each call first restores the input (a
 * 17-byte copy, included in the time). */
void time_lefttrim(benchmark::State &state)
{
    static const char padded[] = "   ACCT-00042    ";
    char buf[sizeof(padded)];
    for (auto _ : state) {
        memcpy(buf, padded, sizeof(padded));
        benchmark::DoNotOptimize(korva_lefttrim(buf));
    }
    if (strcmp(buf, "ACCT-00042")) state.SkipWithError("korva_lefttrim failed");
}

/* A 32-byte fixed-length field; the walk is the same on every call. */
void time_trimblanks(benchmark::State &state)
{
    char buf[32];
    memset(buf, ' ', sizeof(buf));
    memcpy(buf, "JENSEN OY", 9);
    for (auto _ : state) {
        korva_trimblanks(buf, sizeof(buf));
        benchmark::ClobberMemory();
    }
    if (strcmp(buf, "JENSEN OY")) state.SkipWithError("korva_trimblanks failed");
}

/* Google Benchmark's console table, plus a note of each run's time. */
class recording_reporter : public benchmark::ConsoleReporter {
public:
    /* colours only on a terminal */
    recording_reporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        /* Of a benchmark's repeated runs the fastest is shown, and noted;
         * the statistics over them (mean, median, ...) are left out.  A
         * failed one shows as it is. */
        const Run *best = NULL;
        bool failed = false;
        for (const Run &r : runs) {
            failed = failed || r.error_occurred;
            if (r.error_occurred || r.run_type != Run::RT_Iteration || !r.iterations) continue;
            if (!best || per_call(r) < per_call(*best)) best = &r;
        }
        if (failed) {
            ConsoleReporter::ReportRuns(runs);
            return;
        }
        if (!best) return;      /* the statistics, reported on their own */
        ConsoleReporter::ReportRuns({*best});
        auto it = seconds.find(best->run_name.function_name);
        if (it == seconds.end()) seconds[best->run_name.function_name] = per_call(*best);
        else it->second = std::min(it->second, per_call(*best));
    }

private:
    static double per_call(const Run &r)
    {
        return r.cpu_accumulated_time / (double)r.iterations;
    }
};

double time_of(const std::string &id, const char *what, const char *group = "parse")
{
    auto it = seconds.find(std::string(group) + "/" + id + "/" + what);
    return it == seconds.end() ? 0 : it->second;
}

void print_ratios()
{
    printf("\nkorva_parsebuf, ratios from this run (production/literal: the share of the literal "
           "scanner's time; production/floor: how many times the floor's time)\n\n");
    printf("%-4s %-40s %11s %11s %11s %14s %16s\n", "case", "line", "production", "literal",
           "floor", "prod/literal", "production/floor");
    for (auto &p : lines) {
        const bench_line *l = p.get();
        const char *id = l->id;
        double prod = time_of(id, "production"), lit = time_of(id, "literal"),
               flo = time_of(id, "floor");
        printf("%-4s %-40s %11s %11s %11s %14s %16s\n", l->id, l->title,
               show_time(prod).c_str(), show_time(lit).c_str(), show_time(flo).c_str(),
               show_share(prod, lit).c_str(), show_ratio(prod, flo).c_str());
    }

    /* linear: time per byte on f against a, time per field on e against 10k */
    for (const char *group : {"parse", "steady"}) {
        auto per = [group](const char *id, bool per_field) {
            for (auto &p : lines)
                if (!strcmp(p->id, id))
                    return time_of(id, "production", group) /
                           (per_field ? p->fields : p->text.size());
            return 0.0;
        };
        double fa = per("f", false) / per("a", false), e10 = per("e", true) / per("10k", true);
        printf("\nlinear, %s: time per byte f/a = %.2f; time per field e/10k = %.2f",
               group == std::string("parse") ? "default heap" : "steady heap", fa, e10);
    }
    printf("\n");
}

} /* namespace */

int main(int argc, char **argv)
{
    for (const char *id : {"a", "b", "c", "d", "e", "f", "10k"}) {
        lines.push_back(std::make_unique<bench_line>(make_line(id)));
        const bench_line *l = lines.back().get();
        std::string name = std::string("parse/") + id + "/";
        auto unit = l->text.size() > 1000 ? benchmark::kMicrosecond : benchmark::kNanosecond;
        benchmark::RegisterBenchmark((name + "production").c_str(), time_parse, l,
                                     (parse_fn)korva_parsebuf)->Unit(unit);
        if (l->literal)
            benchmark::RegisterBenchmark((name + "literal").c_str(), time_parse, l,
                                         (parse_fn)literal_parsebuf)->Unit(unit);
        benchmark::RegisterBenchmark((name + "floor").c_str(), time_floor, l)->Unit(unit);
    }
    benchmark::RegisterBenchmark("text/korva_atoi", time_atoi);
    benchmark::RegisterBenchmark("text/korva_lefttrim", time_lefttrim);
    benchmark::RegisterBenchmark("text/korva_trimblanks", time_trimblanks);
    for (const char *id : {"a", "10k", "e", "f"}) {
        for (auto &p : lines) {
            if (strcmp(p->id, id)) continue;
            auto unit = p->text.size() > 1000 ? benchmark::kMicrosecond : benchmark::kNanosecond;
            benchmark::RegisterBenchmark((std::string("steady/") + id + "/production").c_str(),
                                         time_parse_steady, p.get(), (parse_fn)korva_parsebuf)
                ->Unit(unit);
        }
    }

    /* the defaults first: the caller's flags come after them and win */
    std::vector<char *> args = {argv[0], const_cast<char *>("--benchmark_repetitions=3")};
    args.insert(args.end(), argv + 1, argv + argc);
    int nargs = (int)args.size();
    args.push_back(NULL);
    benchmark::Initialize(&nargs, args.data());
    if (benchmark::ReportUnrecognizedArguments(nargs, args.data())) return 1;
    recording_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_ratios();
    return 0;
}
