#!/usr/bin/env bash
# Runs the benchmark of record, tools/bench-wine, and prints one table (Markdown), also kept in
# build/bench/results.md:
#   - under 64-bit Wine (build/perf-win64): cross-process records per second for the three
#     readers, steady-state hook cost per event against GetKeyboardState + one WriteFile,
#     sustained forwarding, and input latency (hook call to the overlay holding the record)
#     beside a bare WriteFile to ReadFile.
# Ratios are what matter: every figure has its baseline from the same run.
set -u
cd "$(dirname "$0")/.."
mkdir -p build
log=build/bench.log
: >"$log"

echo "== building (log: $log)"
mkdir -p build/bench
{ cmake --preset win64 -B build/perf-win64 &&
  cmake --build build/perf-win64 -j2 --target korvex-bench-wine; } >>"$log" 2>&1 \
  || { echo "bench: build failed"; tail -30 "$log"; exit 1; }

echo "== Wine benchmarks (about a minute and a half)"
bash scripts/wine-env.sh start build/perf-win64 >>"$log" 2>&1
trap 'bash scripts/wine-env.sh stop build/perf-win64 >/dev/null 2>&1' EXIT
(cd build/perf-win64/bin &&
  bash ../../../cmake/wine-run.sh "$(pwd)/.." ./korvex-bench-wine.exe) >build/bench/wine.txt 2>>"$log"
wine_status=$?
bash scripts/wine-env.sh stop build/perf-win64 >/dev/null 2>&1
trap - EXIT
[ $wine_status -eq 0 ] || echo "bench: the Wine benchmark failed (exit $wine_status); see $log"

python3 - build/bench/wine.txt <<'PY' | tee build/bench/results.md
import sys, os, re, datetime
wine = {}
if os.path.exists(sys.argv[1]):
    for line in open(sys.argv[1]):
        m = re.match(r"RESULT (\S+) (\S+)", line)
        if m:
            wine[m.group(1)] = float(m.group(2))

cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
print(f"Machine: {os.cpu_count()} cores, {cpu}; {datetime.date.today().isoformat()}")
print()
print("| Benchmark | Measured | Baseline (same run) | Ratio |")
print("|---|---|---|---|")
def row(name, value, base, unit, ratio=None):
    if value is None:
        print(f"| {name} | n/a | | |"); return
    r = ratio if ratio is not None else (value / base if base else None)
    b = f"{base:.3g} {unit}" if base else ""
    print(f"| {name} | {value:.3g} {unit} | {b} | {r:.2f} |" if r is not None else f"| {name} | {value:.3g} {unit} | {b} | |")
w = wine.get
if wine:
    row("Wine: records/s, SendMouseInput -> PeekMessageType + ReadMouseInput", w("wine.throughput.codec_records_per_s"), w("wine.throughput.raw_records_per_s"), "rec/s", w("wine.throughput.codec_to_raw"))
    row("Wine: records/s, SendMouseInput -> ReadNextRecord (one call)", w("wine.throughput.record_reader_records_per_s"), w("wine.throughput.raw_records_per_s"), "rec/s", w("wine.throughput.record_reader_to_raw"))
    row("Wine: keyboardHook per event (steady state, input active)", w("wine.hook.keyboardHook_us"), w("wine.hook.bare_keyboard_us"), "us")
    row("Wine: mouseHook per event (steady state, input active)", w("wine.hook.mouseHook_us"), w("wine.hook.bare_mouse_us"), "us")
    row("Wine: bare keyboard work + one GetCursor", w("wine.hook.bare_keyboard_with_GetCursor_us"), w("wine.hook.bare_keyboard_us"), "us")
    for call in ["GetKeyboardState", "GetCursor", "GetClientRect", "ClientToScreen", "GetTickCount", "CriticalSection"]:
        row(f"Wine: {call} alone", w(f"wine.call.{call}_us"), None, "us")
    print()
    print("| Sustained forwarding (mouseHook, 2 s) | target/s | achieved/s | sent | received | lost | peak backlog (records) | drain after (s) |")
    print("|---|---|---|---|---|---|---|---|")
    for rate in ["1000", "8000", "max"]:
        p = f"wine.sustained.{rate}."
        if w(p + "sent") is None: continue
        target = "as fast as possible" if rate == "max" else rate
        print(f"| {rate} | {target} | {w(p+'achieved_per_s'):.0f} | {w(p+'sent'):.0f} | {w(p+'received'):.0f} | {w(p+'lost'):.0f} | {w(p+'peak_backlog_records'):.0f} | {w(p+'drain_after_s'):.2f} |")
    if w("wine.latency.1000.hook.p99_us") is not None:
        print()
        print("| Latency, call -> overlay holds the record (us) | achieved/s | held/sent | p50 | p99 | max | p50 ratio | p99 ratio |")
        print("|---|---|---|---|---|---|---|---|")
        for rate in ["1000", "8000"]:
            for path, label in [("bare", "bare WriteFile -> ReadFile"), ("hook", "mouseHook -> ReadNextRecord")]:
                p, b = f"wine.latency.{rate}.{path}.", f"wine.latency.{rate}.bare."
                ratios = "| | |" if path == "bare" else f"| {w(p+'p50_us')/w(b+'p50_us'):.2f} | {w(p+'p99_us')/w(b+'p99_us'):.2f} |"
                print(f"| {rate}/s: {label} | {w(p+'achieved_per_s'):.0f} | {w(p+'held'):.0f}/{w(p+'sent'):.0f} | {w(p+'p50_us'):.0f} | {w(p+'p99_us'):.0f} | {w(p+'max_us'):.0f} {ratios}")
        print()
        print("| Where the time goes (us, p50 / p99) | call | after the call returned | waiting for the reader | one read, record waiting (p50) | reader held/s | max backlog (records) |")
        print("|---|---|---|---|---|---|---|")
        for rate in ["1000", "8000"]:
            for path in ["bare", "hook"]:
                p = f"wine.latency.{rate}.{path}."
                print(f"| {rate}/s {path} | {w(p+'call_p50_us'):.0f} / {w(p+'call_p99_us'):.0f} | {w(p+'after_p50_us'):.0f} / {w(p+'after_p99_us'):.0f} | {w(p+'wait_p50_us'):.0f} / {w(p+'wait_p99_us'):.0f} | {w(p+'read_waiting_p50_us'):.0f} | {w(p+'held_per_s'):.0f} | {w(p+'backlog_max_records'):.0f} |")
PY
exit $wine_status
