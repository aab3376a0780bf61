#!/usr/bin/python3
"""bench-chart.py <korva_bench JSON> <picture.png>

Draws the tokenizer's throughput on each benchmark line, in bytes of text per
second, for korva_parsebuf (production), the literal scanner and the SSE2
floor, from one run of the native benchmark (Google Benchmark's JSON, as
./scripts/bench.sh writes it), on a logarithmic scale.  The caption names the
host and the run's date.  Needs Debian's python3-matplotlib.
"""
import json
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

WAYS = [("production", "korva_parsebuf", "#1f5fa8"), ("literal", "literal scanner", "#b0b0b0"),
        ("floor", "SSE2 floor", "#e08a1e")]
LINES = [("a", "(a) 1 MiB ','"), ("b", "(b) 1 MiB ';' '::' ', '"), ("c", "(c) 64 B line"),
         ("d", "(d) 1 MiB quoted"), ("e", "(e) 1 M fields"), ("f", "(f) 64 MiB")]


def cpu_model():
    """The processor's name: the chart is drawn where the benchmark ran."""
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown processor"


def main(source, picture):
    run = json.load(open(source))
    rate = {}
    for b in run["benchmarks"]:
        parts = b["name"].split("/")
        if len(parts) == 3 and parts[0] == "parse" and "bytes_per_second" in b:
            key = (parts[1], parts[2])
            rate[key] = max(rate.get(key, 0), b["bytes_per_second"])
    lines = [(id, title) for id, title in LINES if (id, "production") in rate]

    fig, ax = plt.subplots(figsize=(9, 4.8))
    width = 0.27
    for k, (way, label, colour) in enumerate(WAYS):
        xs = [i + (k - 1) * width for i in range(len(lines))]
        ys = [rate.get((id, way), 0) / 1e9 for id, _ in lines]
        ax.bar(xs, ys, width, label=label, color=colour)
    ax.set_yscale("log")
    ax.set_ylabel("GB of text per second (log scale)")
    ax.set_xticks(range(len(lines)))
    ax.set_xticklabels([title for _, title in lines], fontsize=8)
    ax.legend(fontsize=8, loc="upper left", bbox_to_anchor=(1.01, 1))
    ctx = run.get("context", {})
    host = f"{cpu_model()}, {ctx.get('num_cpus', '?')} CPUs at {ctx.get('mhz_per_cpu', '?')} MHz"
    ax.set_title(f"korva_parsebuf natively, against the literal scanner and the SSE2 floor\n"
                 f"{host}; run of {ctx.get('date', '?')}", fontsize=9)
    fig.tight_layout()
    fig.savefig(picture, dpi=100)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
