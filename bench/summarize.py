#!/usr/bin/env python3
"""Turns the measurements of bench/run.sh into its figures.

    summarize.py RESULTS_DIR

Reads RESULTS_DIR/raw/*.json (hyperfine --export-json files), RESULTS_DIR/raw/
extra.json (sizes and peak memory, written by run.sh) and RESULTS_DIR/machine.txt,
and writes into RESULTS_DIR:

    figures.json          every figure: the two means, their ratio, the goal, met or not
    figures.md            the same as a markdown table, with the machine
    scaling.md            time against hive size and against number of options
    scaling-size.dat      the data behind the plot (gnuplot columns)
    scaling-options.dat

A ratio is always the mean of one command over the mean of the other, both from
the same hyperfine run; its spread comes from the two standard deviations. The
run holds each command several times, in blocks that alternate with the other
command's, so that a burst of load from elsewhere on the machine falls on both;
the blocks of a command are pooled before the mean is taken.
"""

import json
import math
import os
import statistics
import sys


def load(raw, name):
    """The commands of one hyperfine run. run.sh repeats each command in several
    blocks ("name #1", "name #2", ...) spread over the run; the blocks of one
    command are pooled here into one result."""
    with open(os.path.join(raw, name + ".json")) as f:
        results = json.load(f)["results"]
    pooled = {}
    for result in results:
        base = result["command"].rsplit(" #", 1)[0]
        pooled.setdefault(base, []).extend(result["times"])
    merged = []
    for base, times in pooled.items():
        mean = statistics.fmean(times)
        merged.append({
            "command": base,
            "mean": mean,
            "stddev": statistics.stdev(times) if len(times) > 1 else 0.0,
            "median": statistics.median(times),
            "runs": len(times),
        })
    return merged


def by_name(results, name):
    for result in results:
        if result["command"] == name:
            return result
    raise KeyError("no command named %r in %s" % (name, [r["command"] for r in results]))


def ms(seconds):
    return seconds * 1000.0


def ratio(num, den):
    value = num["mean"] / den["mean"]
    spread = value * math.hypot(
        (num["stddev"] or 0.0) / num["mean"], (den["stddev"] or 0.0) / den["mean"]
    )
    return value, spread, num["median"] / den["median"]


def timing_figure(key, title, run, num_result, den_result, goal, better_when_higher=False):
    value, spread, median_ratio = ratio(num_result, den_result)
    met = value >= goal if better_when_higher else value <= goal
    return {
        "key": key,
        "title": title,
        "run": run,
        "numerator": num_result["command"],
        "numerator_mean_ms": ms(num_result["mean"]),
        "numerator_stddev_ms": ms(num_result["stddev"] or 0.0),
        "numerator_runs": num_result["runs"],
        "denominator": den_result["command"],
        "denominator_mean_ms": ms(den_result["mean"]),
        "denominator_stddev_ms": ms(den_result["stddev"] or 0.0),
        "denominator_runs": den_result["runs"],
        "ratio": value,
        "ratio_stddev": spread,
        "median_ratio": median_ratio,
        "goal": ("%s %.2fx" % (">=" if better_when_higher else "<=", goal)),
        "met": met,
    }


def main():
    results_dir = sys.argv[1]
    raw = os.path.join(results_dir, "raw")
    with open(os.path.join(raw, "extra.json")) as f:
        extra = json.load(f)

    figures = []

    fresh = load(raw, "fresh-hive")
    figures.append(timing_figure(
        "1", "native, fresh prefix hive: compenv / grep", "fresh-hive",
        by_name(fresh, "compenv -D7 -BCB6"), by_name(fresh, "grep -c Borland"), 1.0))

    big = load(raw, "hive-64mb")
    figures.append(timing_figure(
        "2", "native, 64 MB hive: compenv / grep -F", "hive-64mb",
        by_name(big, "compenv -D7 -BCB6"), by_name(big, "grep -F -c Borland"), 2.0))

    for suffix, label in (("fresh", "fresh prefix hive"), ("64mb", "64 MB hive")):
        run = "options-" + suffix
        results = load(raw, run)
        figures.append(timing_figure(
            "3" + ("a" if suffix == "fresh" else "b"),
            "native, %s: 1,000 options / 1 option" % label, run,
            by_name(results, "1000 options"), by_name(results, "1 option"), 1.2))

    rss_kib = extra["max_rss_kib"]
    figures.append({
        "key": "4",
        "title": "native, 64 MB hive: peak memory (max RSS) of compenv -D7 -BCB6",
        "value_mib": rss_kib / 1024.0,
        "detail": extra.get("max_rss_detail", {}),
        "goal": "<= 32 MiB",
        "met": rss_kib <= 32 * 1024,
    })

    wine = load(raw, "wine")
    exe = by_name(wine, "compenv.exe -D7 -BCB6")
    figures.append(timing_figure(
        "5", "wine64: compenv.exe / empty exe", "wine", exe, by_name(wine, "empty.exe"), 1.1))
    figures.append(timing_figure(
        "6", "wine64: batch of reg query / compenv.exe (speed-up)", "wine",
        by_name(wine, "cmd /c query.bat"), exe, 3.0, better_when_higher=True))
    extra_rows = [r for r in wine if r["command"] not in
                  ("compenv.exe -D7 -BCB6", "empty.exe", "cmd /c query.bat")]

    for arch in ("i686", "x86_64"):
        size = extra["exe_size"][arch]
        figures.append({
            "key": "7" + ("a" if arch == "i686" else "b"),
            "title": "size of the static %s compenv.exe" % arch,
            "value_kib": size / 1024.0,
            "stripped_kib": extra["exe_size_stripped"][arch] / 1024.0,
            "goal": "<= 256 KiB",
            "met": size <= 256 * 1024,
        })

    # Scaling: time against hive size, and against the number of options.
    size_rows = {}
    for result in load(raw, "scaling-size"):
        kind, mb = result["command"].split()[:2]  # "compenv 16", "startup 16", "grep 16"
        size_rows.setdefault(int(mb), {})[kind] = result
    option_rows = {}
    for suffix in ("fresh", "64mb"):
        for result in load(raw, "options-" + suffix):
            count = int(result["command"].split()[0])
            option_rows.setdefault(count, {})[suffix] = result

    with open(os.path.join(results_dir, "figures.json"), "w") as f:
        json.dump({"figures": figures, "extra": extra}, f, indent=2)
        f.write("\n")

    def fmt_time(result):
        return "%.1f ± %.1f" % (ms(result["mean"]), ms(result["stddev"] or 0.0))

    lines = []
    lines.append("| # | figure | measured | goal | met |")
    lines.append("|---|---|---|---|---|")
    for fig in figures:
        if "ratio" in fig:
            measured = "**%.2fx** ± %.2f (%.1f ms vs %.1f ms; medians %.2fx)" % (
                fig["ratio"], fig["ratio_stddev"], fig["numerator_mean_ms"],
                fig["denominator_mean_ms"], fig["median_ratio"])
        elif "value_mib" in fig:
            measured = "**%.1f MiB**" % fig["value_mib"]
        else:
            measured = "**%.0f KiB** (%.0f KiB stripped)" % (fig["value_kib"], fig["stripped_kib"])
        lines.append("| %s | %s | %s | %s | %s |" % (
            fig["key"], fig["title"], measured, fig["goal"], "yes" if fig["met"] else "**no**"))
    if extra_rows:
        lines.append("")
        lines.append("Other commands of the wine64 run (for reference):")
        lines.append("")
        for result in extra_rows:
            lines.append("- `%s`: %s ms" % (result["command"], fmt_time(result)))
    detail = extra.get("max_rss_detail", {})
    if detail:
        lines.append("")
        lines.append("Peak memory (max RSS, largest of several runs), for reference:")
        lines.append("")
        for name, kib in detail.items():
            lines.append("- `%s`: %.1f MiB" % (name, kib / 1024.0))
    machine_path = os.path.join(results_dir, "machine.txt")
    if os.path.exists(machine_path):
        with open(machine_path) as f:
            machine = f.read().strip()
        lines.append("")
        lines.append("Measured on:")
        lines.append("")
        lines.append("```")
        lines.append(machine)
        lines.append("```")
    with open(os.path.join(results_dir, "figures.md"), "w") as f:
        f.write("\n".join(lines) + "\n")

    table = []
    table.append("Time against hive size (mean ± σ, ms; each command run through `env`):")
    table.append("")
    table.append("| hive | compenv -D7 -BCB6 | compenv (no option, start-up only) | grep -F -c Borland | compenv / grep |")
    table.append("|---|---|---|---|---|")
    with open(os.path.join(results_dir, "scaling-size.dat"), "w") as dat:
        dat.write("# MiB compenv_ms compenv_sd startup_ms startup_sd grep_ms grep_sd\n")
        for mb in sorted(size_rows):
            row = size_rows[mb]
            tool, start, grep = row["compenv"], row["startup"], row["grep"]
            table.append("| %d MB | %s | %s | %s | %.2fx |" % (
                mb, fmt_time(tool), fmt_time(start), fmt_time(grep), tool["mean"] / grep["mean"]))
            dat.write("%d %.3f %.3f %.3f %.3f %.3f %.3f\n" % (
                mb, ms(tool["mean"]), ms(tool["stddev"] or 0), ms(start["mean"]),
                ms(start["stddev"] or 0), ms(grep["mean"]), ms(grep["stddev"] or 0)))
    table.append("")
    table.append("Time against number of compiler options (mean ± σ, ms):")
    table.append("")
    table.append("| options | fresh prefix hive (1.6 MB) | 64 MB hive |")
    table.append("|---|---|---|")
    with open(os.path.join(results_dir, "scaling-options.dat"), "w") as dat:
        dat.write("# options fresh_ms fresh_sd big_ms big_sd\n")
        for count in sorted(option_rows):
            row = option_rows[count]
            table.append("| %d | %s | %s |" % (count, fmt_time(row["fresh"]), fmt_time(row["64mb"])))
            dat.write("%d %.3f %.3f %.3f %.3f\n" % (
                count, ms(row["fresh"]["mean"]), ms(row["fresh"]["stddev"] or 0),
                ms(row["64mb"]["mean"]), ms(row["64mb"]["stddev"] or 0)))
    with open(os.path.join(results_dir, "scaling.md"), "w") as f:
        f.write("\n".join(table) + "\n")

    print("\n".join(lines))
    print()
    print("\n".join(table))
    return 0


if __name__ == "__main__":
    sys.exit(main())
