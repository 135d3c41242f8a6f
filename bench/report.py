#!/usr/bin/env python3
"""Turns the raw results of bench/run.sh into a Markdown table and plot data."""
import json
import os
import platform
import re
import statistics
import subprocess
import sys

out, md_path = sys.argv[1], sys.argv[2]


def stats(values):
    return statistics.median(values), min(values), max(values)


def fmt(s, unit="ms", digits=2):
    med, lo, hi = s
    return f"{med:.{digits}f} {unit} ({lo:.{digits}f} to {hi:.{digits}f})"


def jsonl(name):
    with open(os.path.join(out, name)) as f:
        return [json.loads(line) for line in f if line.strip()]


# Timing from Google Benchmark: median, min and max of the repetitions.
with open(os.path.join(out, "timing.json")) as f:
    timing = json.load(f)
bench = {}
for b in timing["benchmarks"]:
    if b.get("run_type") != "aggregate" or b["aggregate_name"] not in ("median", "min", "max"):
        continue
    m = re.match(r"([a-z\-]+/[A-Za-z\-]+)(?:/(\d+))?", b["run_name"])
    key = (m.group(1), int(m.group(2)) if m.group(2) else 0)
    bench.setdefault(key, {})[b["aggregate_name"]] = b["real_time"]
    bench[key]["repetitions"] = b.get("repetitions", "")


def t(name, lines=0):
    d = bench[(name, lines)]
    return d["median"], d["min"], d["max"]


lines_md = []
w = lines_md.append
cpu = subprocess.getoutput("grep -m1 'model name' /proc/cpuinfo").split(":")[-1].strip()
with open(os.path.join(out, "load.txt")) as f:
    load = f.read().strip()
w(f"Machine: {cpu}, {os.cpu_count()} cores, Linux {platform.release()}; "
  f"`uptime` at the end: `{load}`")
w("")
w("| Measure | Ours: median (min to max) | Floor or peer: median (min to max) | Ratio of medians | Target | Holds |")
w("|---|---|---|---|---|---|")

ours, floor, client = t("lookup/window"), t("lookup/floor"), t("lookup/whois-client")
r = ours[0] / floor[0]
w(f"| 1. Lookup, 7 kB / 120 lines, click to rows | {fmt(ours, digits=3)} | floor: {fmt(floor, digits=3)} | {r:.2f} | ≤ 1.2 | {'yes' if r <= 1.2 else 'no'} |")
w(f"| 1. Lookup vs Debian `whois` process | {fmt(ours, digits=3)} | `whois`: {fmt(client, digits=3)} | {ours[0] / client[0]:.2f} | (reported) | |")

display_rows = []
prev = None
for n in (1000, 10000, 100000):
    o, f_, s = t("display/ours", n), t("display/per-row-floor", n), t("display/setPlainText", n)
    r = o[0] / f_[0]
    w(f"| 2. Display {n:,} lines | {fmt(o, digits=1)} | per row: {fmt(f_, digits=1)} | {r:.2f} | ≤ 1.1 | {'yes' if r <= 1.1 else 'no'} |")
    w(f"| 2. Display {n:,} lines vs setPlainText | {fmt(o, digits=1)} | setPlainText: {fmt(s, digits=1)} | {o[0] / s[0]:.1f} | (reported) | |")
    display_rows.append((n, o, f_, s))
for (n1, o1, f1, _), (n2, o2, f2, _) in zip(display_rows, display_rows[1:]):
    g, gf = o2[0] / o1[0], f2[0] / f1[0]
    w(f"| 2. Linearity {n1:,} → {n2:,} lines (time ×) | {g:.2f} | floor: {gf:.2f} | | ≤ 11 | {'yes' if g <= 11 else 'no'} |")
for n, o, f_, _ in display_rows:
    w(f"| 2. Per row at {n:,} lines | {o[0] * 1000 / n:.1f} µs | floor: {f_[0] * 1000 / n:.1f} µs | | | |")

startup = jsonl("startup.jsonl")
ours_runs = [s for s in startup if s["program"].endswith("whoislookup")]
min_runs = [s for s in startup if s["program"].endswith("minimalwindow")]
so, sf = stats([s["paintedMs"] for s in ours_runs]), stats([s["paintedMs"] for s in min_runs])
r = so[0] / sf[0]
w(f"| 3. Start-up to shown and painted, Xvfb ({len(ours_runs)} runs) | {fmt(so, digits=1)} | minimal Qt program: {fmt(sf, digits=1)} | {r:.2f} | ≤ 1.05 and < 100 ms | {'yes' if r <= 1.05 and so[0] < 100 else 'no'} |")
mo, mf = stats([s["mappedMs"] for s in ours_runs]), stats([s["mappedMs"] for s in min_runs])
w(f"| 3. (start-up to mapped, for reference) | {fmt(mo, digits=1)} | {fmt(mf, digits=1)} | {mo[0] / mf[0]:.2f} | | |")
io, if_ = stats([s["idlePeakKiB"] / 1024 for s in ours_runs]), stats([s["idlePeakKiB"] / 1024 for s in min_runs])
r = io[0] / if_[0]
w(f"| 4. Peak RSS idle, 1 s after painted | {fmt(io, 'MiB', 2)} | minimal Qt program: {fmt(if_, 'MiB', 2)} | {r:.3f} | ≤ 1.03 | {'yes' if r <= 1.03 else 'no'} |")

# Every shared library either program had loaded in any run, idle.
libs_ours = sorted(set().union(*(s.get("libraries", []) for s in ours_runs)))
libs_min = sorted(set().union(*(s.get("libraries", []) for s in min_runs)))
extra = [lib for lib in libs_ours if lib not in libs_min]
w(f"| 3. Shared libraries loaded, idle | {len(libs_ours)} | minimal Qt program: {len(libs_min)} | "
  f"ours beyond the minimal's: {', '.join(os.path.basename(x) for x in extra) or 'none'} | none | "
  f"{'no' if extra else 'yes'} |")

memory = jsonl("memory.jsonl")
mo = [m for m in memory if m["mode"] == "ours"]
mf = [m for m in memory if m["mode"] == "floor"]
reply_mib = mo[0]["replyKiB"] / 1024
for field, label in (("rssGrowthKiB", "RSS growth after the lookup"),
                     ("peakGrowthKiB", "peak RSS growth during the lookup"),
                     ("heapGrowthKiB", "heap in use after the lookup returned")):
    a, b = stats([m[field] / 1024 for m in mo]), stats([m[field] / 1024 for m in mf])
    r = a[0] / b[0]
    target = "≤ 1.1" if field != "peakGrowthKiB" else "(reported)"
    holds = ("yes" if r <= 1.1 else "no") if field != "peakGrowthKiB" else ""
    w(f"| 4. 100,000 lines ({reply_mib:.1f} MiB reply): {label} | {fmt(a, 'MiB', 1)} | per-row floor: {fmt(b, 'MiB', 1)} | {r:.3f} | {target} | {holds} |")
heap_extra = statistics.median(m["heapGrowthKiB"] for m in mo) - statistics.median(m["heapGrowthKiB"] for m in mf)
w(f"| 4. Heap kept beyond the floor's, after the lookup | {heap_extra / 1024:+.2f} MiB | reply: {reply_mib:.2f} MiB | {heap_extra / 1024 / reply_mib:+.2f} of the reply | reply and rows freed | {'yes' if heap_extra / 1024 < 0.1 * reply_mib else 'no'} |")

worst = jsonl("worst.jsonl")
w("")
w("| 5. Reply shape | Reply | Rows | Click to rows shown: median (min to max) | Peak RSS, whole program | Target | Holds | Then read through: longest page turn, peak RSS |")
w("|---|---|---|---|---|---|---|---|")
for shape in dict.fromkeys(r["shape"] for r in worst):
    runs = [r for r in worst if r["shape"] == shape]
    ms, peak = stats([r["ms"] for r in runs]), max(r["peakRssMiB"] for r in runs)
    reply = f"{runs[0]['replyBytes'] / 1048576:.2f} MiB"
    if runs[0]["failure"]:
        ok = all(r["failure"] for r in runs) and ms[2] <= 1000
        w(f"| {shape} | {reply} | fails: {runs[0]['failure']} | {fmt(ms, digits=1)} | {peak:.1f} MiB | failure ≤ 1 s | {'yes' if ok else 'no'} | |")
    else:
        ok = ms[2] <= 4000 and peak <= 256
        page = max(r["longestPageMs"] for r in runs)
        read = max(r["readThroughPeakRssMiB"] for r in runs)
        w(f"| {shape} | {reply} | {runs[0]['rows']:,} | {fmt(ms, digits=1)} | {peak:.1f} MiB | ≤ 4 s, ≤ 256 MiB | {'yes' if ok else 'no'} | {page:.1f} ms, {read:.1f} MiB |")
w("")
w("Shared libraries loaded, idle (a mark: the other program does not load it):")
w("")
w("| Ours | Minimal Qt program |")
w("|---|---|")
for lib in sorted(set(libs_ours) | set(libs_min), key=os.path.basename):
    name = os.path.basename(lib)
    a = (name if lib in libs_min else f"**{name}**") if lib in libs_ours else ""
    b = (name if lib in libs_ours else f"**{name}**") if lib in libs_min else ""
    w(f"| {a} | {b} |")

with open(md_path, "w") as f:
    f.write("\n".join(lines_md) + "\n")
with open(os.path.join(out, "display.dat"), "w") as f:
    f.write("# lines ours(med min max) floor(med min max) setPlainText(med min max), ms\n")
    for n, o, f_, s in display_rows:
        f.write(f"{n} {o[0]} {o[1]} {o[2]} {f_[0]} {f_[1]} {f_[2]} {s[0]} {s[1]} {s[2]}\n")
print("\n".join(lines_md))
