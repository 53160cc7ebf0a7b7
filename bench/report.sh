#!/usr/bin/env bash
# Runs every benchmark and the start-up script in one go and writes one table:
# each figure beside the figure it matters against, measured in the same run.
# Usage: bench/report.sh [build folder=build] [start-up runs=20]
# Writes the table to stdout and to <build>/bench/report.md.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
runs="${2:-20}"
out="$build/bench/raw"
mkdir -p "$out"
out="$(cd "$out" && pwd)"  # layout_bench runs in the bin folder
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
for b in frame_bench profile_bench device_link_bench link_bench serial_bench layout_bench; do
  [ -x "$build/bench/$b" ] || { echo "report.sh: $build/bench/$b not built" >&2; exit 1; }
  echo "report: $b" >&2
  "$build/bench/$b" --benchmark_out="$out/$b.json" --benchmark_out_format=json >"$out/$b.txt" 2>&1 || {
    tail -20 "$out/$b.txt" >&2
    exit 1
  }
done
echo "report: startup.sh $runs" >&2
bench/startup.sh "$runs" "$build" >"$out/startup.txt"

python3 - "$out" >"$build/bench/report.md" <<'PY'
import json, re, sys, os
out = sys.argv[1]
def runs(name):
    with open(os.path.join(out, name + ".json")) as f:
        return {b["name"]: b for b in json.load(f)["benchmarks"] if b.get("run_type", "iteration") == "iteration"}
def us(b):  # real time per iteration in microseconds
    scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
    return b["real_time"] * scale
def fmt(v):  # microseconds, readable
    if v >= 1000: return f"{v/1000:.2f} ms"
    if v >= 1: return f"{v:.2f} µs"
    return f"{v*1000:.0f} ns"
wire_20 = 20 * 10 / 115200 * 1e6   # 20 bytes, 8N1, in µs: 1736
frame, prof, dev = runs("frame_bench"), runs("profile_bench"), runs("device_link_bench")
link, serial, layout = runs("link_bench"), runs("serial_bench"), runs("layout_bench")
rows = []
sv = dev["BM_SenderVsRawWrite"]
s, r = sv["sender_us"], sv["raw_send_us"]
rows.append(("sender's call (build, note, send 20 bytes on TCP)", fmt(s), f"raw `send()` of the same 20 bytes on the same socket: {fmt(r)}", f"{s/r:.1f}×"))
rows.append(("sender's call", fmt(s), f"the 20 bytes on the wire at 115200 baud: {fmt(wire_20)}", f"{s/wire_20*100:.2f} %"))
rec = dev["BM_SendUntilReceived"]["median_us"]
rows.append(("sender's call to the frame fully received (loopback TCP, median)", fmt(rec), f"on the wire at 115200 baud: {fmt(wire_20)}", f"{rec/wire_20*100:.2f} %"))
batch = dev["BM_WorkerBatchOfFour"]["median_ms"] * 1000
rows.append(("worker batch of four geometry frames, answered at once (median)", fmt(batch), f"the four frames on the wire at 115200 baud: {fmt(4*wire_20)}", f"{batch/(4*wire_20)*100:.1f} %"))
rt = dev["BM_RoundTripToSimulator"]["median_us"]
rows.append(("handshake to panora-sim until read on the UI thread (median)", fmt(rt), f"the 1000 ms reply wait: {fmt(1e6)}", f"{rt/1e6*100:.3f} %"))
for name, label in (("BM_SimRoundTripTcp", "TCP"), ("BM_SimRoundTripPty", "pty")):
    v = us(link[name])
    rows.append((f"geometry frame to panora-sim and its answer back ({label})", fmt(v), f"the 1000 ms reply wait: {fmt(1e6)}", f"{v/1e6*100:.3f} %"))
drag = us(layout["BM_DragMove"])
rows.append(("one mouse move of a drag, repaint included (offscreen)", fmt(drag), "one frame at 60 Hz: 16.67 ms", f"{drag/16667*100:.1f} %"))
def spread(name):  # a layout benchmark's (median, p99) in µs, or why there is none
    b = layout.get(name + "/manual_time", {})
    if "median_us" in b: return (b["median_us"], b["p99_us"]), None
    return None, "not measured: " + b.get("error_message", "not run")
def pair(v): return f"{fmt(v[0])} / {fmt(v[1])}"
def signed(v): return ("+" if v >= 0 else "−") + fmt(abs(v))
def signed_pct(v): return ("+" if v >= 0 else "−") + f"{abs(v):.0f} %"
def against_frame(label, name):  # median / p99 against one frame at 60 Hz
    v, why = spread(name)
    if v is None:  # skipped: say why instead of a figure
        rows.append((label, why, "one frame at 60 Hz: 16.67 ms", "—"))
    else:
        rows.append((label, pair(v), "one frame at 60 Hz: 16.67 ms", f"{v[0]/16667*100:.0f} % / {v[1]/16667*100:.0f} %"))
against_frame("mode recall from the button, frame written and windows repainted (offscreen; median / p99)", "BM_ModeRecall")
api, why_api = spread("BM_ApiModeRecall")
button, why_button = spread("BM_ButtonModeRecallToWire")
label = "API mode recall to the frame on the wire (loopback; median / p99)"
if api is None or button is None:
    rows.append((label, why_api or pair(api), "the button's recall to the frame on the wire: " + (why_button or pair(button)) + " (target within 1 ms)", "—"))
else:
    dm, dp = api[0] - button[0], api[1] - button[1]
    rows.append((label, pair(api), f"the button's recall to the frame on the wire: {pair(button)} (target within 1 ms)",
                 f"{signed(dm)} / {signed(dp)}: {signed_pct(dm/10)} / {signed_pct(dp/10)} of 1 ms"))
against_frame("one event to 20 WebSocket clients (median / p99)", "BM_EventsTo20Clients")
for name, label in (("BM_SendSetupTcp", "TCP"), ("BM_SendSetupPty", "pty")):
    b = dev.get(name, {})
    if "batch_ms" not in b:
        rows.append((f"Send Set-up to panora-sim ({label})", "not measured: " + b.get("error_message", "?"), "—", "—"))
        continue
    t = b["target_ms"] * 1000
    rows.append((f"Send Set-up to panora-sim, {b['frames']:.0f} frames each answered ({label}, median)", fmt(b["batch_ms"] * 1000),
                 f"1.2 × their {fmt(b['wire_ms'] * 1000)} at 115200 baud + the answers' {fmt(b['answer_ms'] * 1000)}: {fmt(t)}",
                 f"{b['batch_ms'] * 1000 / t * 100:.0f} %"))
st = open(os.path.join(out, "startup.txt")).read()
m = re.search(r"median ([\d.]+) ms", st); shown = float(m.group(1)) * 1000
mem = re.search(r"peak resident memory: median (\d+) MB, largest (\d+) MB", st)
rd, wr = us(prof["BM_ReadDefaultFile"]), us(prof["BM_WriteDefaultFile"])
rows.append(("start to window shown (offscreen, median)", fmt(shown), "a 1 s start", f"{shown/1e6*100:.1f} %"))
rows.append(("peak resident memory at start (median / largest)", f"{mem.group(1)} MB / {mem.group(2)} MB", "—", "—"))
rows.append(("read default.cfg (open, read, decode)", fmt(rd), f"start to window shown: {fmt(shown)}", f"{rd/shown*100:.2f} %"))
rows.append(("write default.cfg (temp file, fsync, rename)", fmt(wr), "the 1 s SIGTERM allows for the exit save", f"{wr/1e6*100:.2f} %"))
most = max(b["allocated_bytes"] for n, b in prof.items() if n.startswith("BM_HostileRead"))
rows.append(("most memory a hostile profile makes the reader allocate", f"{most/1024:.0f} KB", "the reader's 1 MiB limit", f"{most/(1<<20)*100:.0f} %"))
dec = frame["BM_DecodeStream"]["bytes_per_second"]
rows.append(("frame decoder, 64-byte reads of geometry frames", f"{dec/1e6:.0f} MB/s", "the line at 115200 baud: 11.5 KB/s", f"{dec/11520:.0f}×"))
bf = us(frame["BM_BuildGeometryFrame"])
rows.append(("build a 20-byte geometry frame", fmt(bf), f"the 20 bytes on the wire: {fmt(wire_20)}", f"{bf/wire_20*100:.4f} %"))
for n, b in serial.items():
    if n.startswith("BM_CloseBehindABlockedWrite"):
        rows.append(("close a serial port while a write waits on a full line", fmt(us(b)), "the 1000 ms write bound", f"{us(b)/1e6*100:.1f} %"))
    elif n.startswith("BM_ShutdownBehindABlockedWorkerWrite"):
        rows.append(("shut the link down while a worker's serial write waits", fmt(us(b)), "the 1000 ms write bound", f"{us(b)/1e6*100:.1f} %"))
    elif n.startswith("BM_IdlePortWakeups"):
        rows.append(("wake-ups per second with an idle open serial port", f"{b['wakeups_per_s']:.0f}", "—", "—"))
print("| what | figure | against | ratio |")
print("|---|---|---|---|")
for r in rows: print("| " + " | ".join(r) + " |")
PY
cat "$build/bench/report.md"
