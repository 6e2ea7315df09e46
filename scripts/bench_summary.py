#!/usr/bin/env python3
"""Prints make bench's summary: each goal of bench/goals.tsv beside the figure
the benchmark programs wrote (Google Benchmark JSON, one file per program)."""
import json
import re
import sys
from pathlib import Path

TIME_SCALE = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def load_results(folder):
    runs = {}
    for f in sorted(Path(folder).glob("*.json")):
        try:
            doc = json.loads(f.read_text())
        except (OSError, ValueError) as e:
            print(f"{f.name}: unreadable ({e})", file=sys.stderr)
            continue
        runs[f.stem] = [b for b in doc.get("benchmarks", []) if b.get("run_type", "iteration") == "iteration"]
    return runs


def seconds(b, key):
    return float(b[key]) * TIME_SCALE.get(b.get("time_unit", "ns"), 1e-9)


def figure(b, metric, unit, others):
    if metric in ("real_time", "cpu_time"):
        return seconds(b, metric) / TIME_SCALE[unit]
    if metric.startswith("ratio:"):
        pattern = re.compile(metric[len("ratio:"):])
        base = [o for o in others if pattern.search(o["name"])]
        if not base or seconds(base[0], "real_time") == 0:
            return None
        return seconds(b, "real_time") / seconds(base[0], "real_time")
    value = b.get(metric)
    return float(value) if value is not None else None


def verdict(value, goal):
    if ".." in goal:
        lo, hi = (float(x) for x in goal.split(".."))
        return lo <= value <= hi, value / ((lo + hi) / 2)
    if goal.startswith("<="):
        limit = float(goal[2:])
        return value <= limit, value / limit if limit else float("inf")
    if goal.startswith(">="):
        limit = float(goal[2:])
        return value >= limit, limit / value if value else float("inf")
    raise ValueError(f"goal {goal!r}")


def main():
    if len(sys.argv) != 3:
        print("usage: bench_summary.py RESULTS_FOLDER GOALS_TSV", file=sys.stderr)
        return 2
    runs = load_results(sys.argv[1])
    rows = []
    for line in Path(sys.argv[2]).read_text().splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        program, name, metric, goal, unit, what = line.split("\t")
        benchmarks = runs.get(program)
        if benchmarks is None:
            rows.append((what, program, goal, unit, "not run", "", ""))
            continue
        matched = [b for b in benchmarks if re.search(name, b["name"])]
        if not matched:
            rows.append((what, program, goal, unit, "no figure", "", ""))
        for b in matched:
            if b.get("error_occurred"):
                rows.append((what, b["name"], goal, unit, "failed: " + b.get("error_message", ""), "", ""))
                continue
            value = figure(b, metric, unit, benchmarks)
            if value is None:
                rows.append((what, b["name"], goal, unit, "no figure", "", ""))
                continue
            met, ratio = verdict(value, goal)
            rows.append((what, b["name"], goal, unit, f"{value:.4g}", f"{ratio:.2f}", "met" if met else "MISSED"))
    header = ("metric", "benchmark", "goal", "unit", "figure", "ratio", "")
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    for r in [header, tuple("-" * w for w in widths)] + rows:
        print("  ".join(str(c).ljust(w) for c, w in zip(r, widths)).rstrip())
    return 0


if __name__ == "__main__":
    sys.exit(main())
