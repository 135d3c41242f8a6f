#!/usr/bin/env bash
# Runs every benchmark and writes docs/benchmarks-results.md and
# docs/benchmarks-display.png. Installs what it needs, builds in Release in
# build-bench/, and runs the program under its own Xvfb display.
#   bench/run.sh [start-up runs, default 20]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
runs="${1:-20}"
out="$root/build-bench/results"

"$root/tools/install-deps.sh" whois xvfb gnuplot-nox python3
cmake -S "$root" -B "$root/build-bench" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
    -DWHOIS_BENCH=ON >/dev/null
cmake --build "$root/build-bench" --parallel --target whoislookup whoisbench whoismemory \
    minimalwindow startwatch worstshapes
bin="$root/build-bench/bench"
mkdir -p "$out" "$root/docs"

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb' EXIT
for _ in $(seq 50); do xdpyinfo -display "$display" >/dev/null 2>&1 && break; sleep 0.1; done

echo "Start-up and idle memory, $runs runs each, alternating..."
: >"$out/startup.jsonl"
for _ in $(seq "$runs"); do
    DISPLAY="$display" "$bin/startwatch" "$root/build-bench/app/whoislookup" >>"$out/startup.jsonl" 2>/dev/null
    DISPLAY="$display" "$bin/startwatch" "$bin/minimalwindow" >>"$out/startup.jsonl" 2>/dev/null
done

echo "Memory growth with a 100,000-line reply, 5 runs each..."
: >"$out/memory.jsonl"
for _ in 1 2 3 4 5; do
    QT_QPA_PLATFORM=offscreen "$bin/whoismemory" ours 100000 >>"$out/memory.jsonl" 2>/dev/null
    QT_QPA_PLATFORM=offscreen "$bin/whoismemory" floor 100000 >>"$out/memory.jsonl" 2>/dev/null
done

echo "The costliest replies within the bounds, and past them, 3 runs each..."
: >"$out/worst.jsonl"
for _ in 1 2 3; do
    for shape in $("$bin/worstshapes" list); do
        QT_QPA_PLATFORM=offscreen "$bin/worstshapes" "$shape" >>"$out/worst.jsonl" 2>/dev/null
    done
done

echo "Lookup and display timing..."
QT_QPA_PLATFORM=offscreen "$bin/whoisbench" --benchmark_enable_random_interleaving=true \
    --benchmark_report_aggregates_only=true --benchmark_out="$out/timing.json" \
    --benchmark_out_format=json 2>/dev/null

uptime >"$out/load.txt"
python3 "$root/bench/report.py" "$out" "$root/docs/benchmarks-results.md"
gnuplot -e "data='$out/display.dat'; output='$root/docs/benchmarks-display.png'" \
    "$root/bench/display.gp"
echo "Wrote docs/benchmarks-results.md and docs/benchmarks-display.png"
