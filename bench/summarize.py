#!/usr/bin/env python3
"""Summarises the results that scripts/bench.sh leaves in a folder as Markdown tables.

Every time is also given as a share of the panel link's time for one packet: one 64-byte report
on a full-speed USB interrupt endpoint takes 1 ms, so 1 us of the agent's time is 0.1 % of it.

    bench/summarize.py RESULTS_DIR
"""
import glob
import json
import os
import statistics
import sys

LINK_NS = 1_000_000  # one packet on the panel link


def pct_of_link(ns):
    return 100.0 * ns / LINK_NS


def events_table(results):
    path = os.path.join(results, "events.json")
    if not os.path.exists(path):
        return []
    data = json.load(open(path))
    instructions = {}
    ipath = os.path.join(results, "instructions.txt")
    if os.path.exists(ipath):
        for line in open(ipath):
            name, count = line.split()
            instructions["BM_" + name] = int(count)
    rows = {}
    for b in data["benchmarks"]:
        if b.get("run_type") == "aggregate":
            rows.setdefault(b["run_name"], {})[b["aggregate_name"]] = b
    if not rows:
        # A single repetition has no aggregates: its one run stands for the median.
        for b in data["benchmarks"]:
            rows.setdefault(b["run_name"], {})["median"] = dict(b, repetitions=1)
    lines = [
        "| situation | messages | CPU ns (median of %d) | cv | ns per message | %% of 1 ms "
        "per message | packets | %% of its own link time | allocations | instructions "
        "(callgrind) |" % max(r["median"]["repetitions"] for r in rows.values()),
        "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for name, row in rows.items():
        med = row["median"]
        cv = row.get("cv", {}).get("cpu_time", 0.0)
        ns = med["cpu_time"]
        events = med.get("events", 1.0) or 1.0
        packets = med.get("packets", 0.0)
        own = "%.4f %%" % (100.0 * ns / (packets * LINK_NS)) if packets else "-"
        instr = instructions.get(name)
        lines.append(
            "| %s | %g | %.1f | %.1f %% | %.1f | %.4f %% | %g | %s | %g | %s |"
            % (
                name.removeprefix("BM_"),
                events,
                ns,
                100.0 * cv,
                ns / events,
                pct_of_link(ns / events),
                packets,
                own,
                med.get("allocs", 0.0),
                "{:,}".format(instr) if instr is not None else "-",
            )
        )
    ctx = data["context"]
    lines.append("")
    lines.append(
        "Run on %s, %d CPUs at %s MHz, load average %s; the benchmark library was built as %s."
        % (
            ctx.get("host_name"),
            ctx.get("num_cpus"),
            ctx.get("mhz_per_cpu"),
            ", ".join("%.2f" % x for x in ctx.get("load_avg", [])),
            ctx.get("library_build_type"),
        )
    )
    return lines


def latency_table(results):
    runs = []
    for path in sorted(glob.glob(os.path.join(results, "latency-*.json"))):
        runs.append(json.load(open(path)))
    if not runs:
        return []
    keys = []
    for row in runs[0]:
        key = (row["event"], row["mode"])
        if key not in keys:
            keys.append(key)

    def med(event, mode, target, field):
        values = [
            r[field]
            for run in runs
            for r in run
            if r["event"] == event and r["mode"] == mode and r["target"] == target
        ]
        return statistics.median(values)

    lines = [
        "| event | mode | agent p50 us | baseline p50 us | p50 ratio | agent p99 us | "
        "baseline p99 us | p99 ratio | agent CPU us/msg | baseline CPU us/msg |",
        "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|",
    ]
    for event, mode in keys:
        a50 = med(event, mode, "agent", "p50_us")
        b50 = med(event, mode, "baseline", "p50_us")
        a99 = med(event, mode, "agent", "p99_us")
        b99 = med(event, mode, "baseline", "p99_us")
        lines.append(
            "| %s | %s | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f |"
            % (
                event,
                mode,
                a50,
                b50,
                a50 / b50,
                a99,
                b99,
                a99 / b99,
                med(event, mode, "agent", "server_cpu_us"),
                med(event, mode, "baseline", "server_cpu_us"),
            )
        )
    ratios = []
    for run in runs:
        for event, mode in keys:
            a = [r for r in run if (r["event"], r["mode"], r["target"]) == (event, mode, "agent")]
            b = [r for r in run if (r["event"], r["mode"], r["target"]) == (event, mode, "baseline")]
            if a and b:
                ratios.append("%s/%s %.2f" % (event, mode, a[0]["p50_us"] / b[0]["p50_us"]))
    lines.append("")
    lines.append("Medians over %d runs. p50 ratio of each run: %s." % (len(runs), "; ".join(ratios)))
    return lines


def idle_table(results):
    path = os.path.join(results, "idle.json")
    if not os.path.exists(path):
        return []
    d = json.load(open(path))
    per_minute_ms = d["cpu_ns"] / 1e6 * 60.0 / d["seconds"]
    return [
        "| measured | seconds | CPU (schedstat) | CPU per minute | utime+stime (ticks of 10 ms) "
        "| VmRSS | VmHWM | max RSS (time -v) |",
        "|---|---:|---:|---:|---:|---:|---:|---:|",
        "| idle agent, no shell (date and time every second) | %g | %.3f ms | %.3f ms | %d | %s kB "
        "| %s kB | %s kB |"
        % (
            d["seconds"],
            d["cpu_ns"] / 1e6,
            per_minute_ms,
            d["ticks"],
            d["vmrss_kb"],
            d["vmhwm_kb"],
            d.get("maxrss_kb", "-"),
        ),
    ]


def main():
    results = sys.argv[1] if len(sys.argv) > 1 else "build/bench/results"
    out = []
    for title, table in (
        ("Cost per message through the window procedure (null display library)", events_table),
        ("Round trip through the Linux socket intake", latency_table),
        ("Idle cost of the live agent", idle_table),
    ):
        lines = table(results)
        if lines:
            out += ["### " + title, ""] + lines + [""]
    print("\n".join(out))


if __name__ == "__main__":
    main()
