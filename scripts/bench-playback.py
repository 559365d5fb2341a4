#!/usr/bin/env python3
"""Playback of the editor session beside how often this machine fills the surface twice, in
rounds side by side; run by scripts/bench-playback, which builds and passes what it measures.
Prints figures only: a line a round, the medians of the rounds' ratios, the editor's peak
resident memory, and the reference rates under Wine and in the browser where they can be had."""
import argparse
import atexit
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

parser = argparse.ArgumentParser()
parser.add_argument("--rounds", type=int, default=7)
parser.add_argument("--events", type=int, default=20000)
parser.add_argument("--editor", required=True)
parser.add_argument("--replay", required=True)
parser.add_argument("--fill", required=True)
parser.add_argument("--session", required=True)  # scripts/bench-session.py
parser.add_argument("--wine-tool")
parser.add_argument("--wine-editor")
parser.add_argument("--web-bench")  # node, the bench page script, site and node_modules
parser.add_argument("--web-site")
parser.add_argument("--web-modules")
args = parser.parse_args()
work = tempfile.mkdtemp(prefix="zepha-bench-playback-")
atexit.register(shutil.rmtree, work, ignore_errors=True)


def script(events):
    folder = os.path.join(work, "s%d" % events)
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "ZEPHA.SCR")
    if events == 1:
        with open(path, "wb") as f:
            f.write(b"ZEPHA_MOUSE(0, 0);\r\n")
    else:
        subprocess.run([sys.executable, args.session, str(events), path], check=True)
    return folder


def run(command, cwd=None, env=None):
    """Seconds the command took; it must succeed."""
    start = time.monotonic()
    status = subprocess.run(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL).returncode
    took = time.monotonic() - start
    if status != 0:
        sys.exit("failed with status %d: %s" % (status, " ".join(command)))
    return took


# The editor's peak resident memory is taken by GNU time, which starts it from its own small
# process: a child of this Python would count Python's memory from before the exec. On X the
# replay tool starts the editor through this wrapper.
MEASURED = os.path.join(work, "measured_editor")
with open(MEASURED, "w") as f:
    f.write('#!/bin/sh\nexec /usr/bin/time -f %%M -o "$ZEPHA_BENCH_MEMORY" %s\n' % args.editor)
os.chmod(MEASURED, 0o755)


def peak_memory(path):
    with open(path) as f:
        return int(f.read().split()[-1])


def headless(events, measure_memory=False):
    """Seconds of a headless playback (and the editor's peak memory in KiB); the report must
    show every event played."""
    folder = script(events)
    report, memory = os.path.join(folder, "report"), os.path.join(folder, "memory")
    if os.path.exists(report):
        os.remove(report)
    env = dict(os.environ, ZEPHA_PLATFORM="headless", ZEPHA_PLAYBACK="1", ZEPHA_REPORT=report,
               ZEPHA_BENCH_MEMORY=memory)
    took = run([MEASURED] if measure_memory else [args.editor], cwd=folder, env=env)
    with open(report) as f:
        if "playback-ended %d end-of-file" % events not in f.read():
            sys.exit("headless playback of %d events did not end at the end of its script" % events)
    return took, peak_memory(memory) if measure_memory else None


def on_x(events, measure_memory=False):
    """Seconds of a replay on X by the native replay tool (and the editor's peak memory)."""
    folder = script(events)
    memory = os.path.join(folder, "memory")
    took = run([args.replay, MEASURED if measure_memory else args.editor,
                os.path.join(folder, "ZEPHA.SCR"), os.path.join(folder, "x.png"),
                "--timeout", "600"], env=dict(os.environ, ZEPHA_BENCH_MEMORY=memory))
    return took, peak_memory(memory) if measure_memory else None


def fills():
    """Pairs of fills a second: plain black then white, plain white twice, the runtime's."""
    out = subprocess.run([args.fill, "0.25"], capture_output=True, text=True, check=True).stdout
    return [float(figure) for figure in out.split()[1:4]]


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def rate(long, one, events):
    return events / (long - one) if long > one else float("inf")


events = args.events
print("Editor session of %d events (60 shapes, then picks, keys and ticks), %d rounds side by "
      "side on %d processors; load average (1, 5, 15 min) before: %s"
      % (events, args.rounds, os.cpu_count(), load()))
print("2 fills/s: the 601 x 540 surface filled twice with std::fill, black then white (the "
      "compiler makes the first a memset; the ratio's reference) and white twice; 2 fast/s: with "
      "the runtime's fill. Playback rates less the one-event replay's fixed cost.")
print("%5s %11s %11s %10s %14s %10s %15s %11s"
      % ("round", "2 fills/s", "2 white/s", "2 fast/s", "headless ev/s", "X ev/s",
         "headless/fills", "X/headless"))
ratios_headless, ratios_x, rows = [], [], []
for round_ in range(1, args.rounds + 1):
    # The fills are taken just before and just after the headless playback, and averaged.
    before = fills()
    h_long, _ = headless(events)
    h_one, _ = headless(1)
    after = fills()
    plain, white, fast = ((b + a) / 2 for b, a in zip(before, after))
    x_long, _ = on_x(events)
    x_one, _ = on_x(1)
    h_rate, x_rate = rate(h_long, h_one, events), rate(x_long, x_one, events)
    ratios_headless.append(h_rate / plain)
    ratios_x.append(x_rate / h_rate)
    rows.append((plain, white, fast, h_rate, x_rate))
    print("%5d %11.0f %11.0f %10.0f %14.0f %10.0f %15.2f %11.2f"
          % (round_, plain, white, fast, h_rate, x_rate, ratios_headless[-1], ratios_x[-1]))
median = [statistics.median(column) for column in zip(*rows)]
print("%5s %11.0f %11.0f %10.0f %14.0f %10.0f %15.2f %11.2f"
      % ("med", *median, statistics.median(ratios_headless), statistics.median(ratios_x)))
print("median of the rounds: headless / two plain fills %.2f (target at least 0.9), "
      "X / headless %.2f (target at least 0.8); headless / two plain white fills %.2f, "
      "/ two fast fills %.2f"
      % (statistics.median(ratios_headless), statistics.median(ratios_x),
         statistics.median(r[3] / r[1] for r in rows), statistics.median(r[3] / r[2] for r in rows)))

# Peak resident memory of the editor
memory = {}
for events_ in (2000, events):
    memory[("headless", events_)] = headless(events_, measure_memory=True)[1]
    memory[("X", events_)] = on_x(events_, measure_memory=True)[1]
for where in ("headless", "X"):
    small, large = memory[(where, 2000)], memory[(where, events)]
    print("peak resident memory of the editor %-8s: %7.2f MiB over 2000 events, %7.2f MiB over "
          "%d, difference %.2f MiB (target below 1)"
          % (where, small / 1024, large / 1024, events, (large - small) / 1024))

# Reference rates
if args.wine_tool and args.wine_editor:
    folder_long, folder_one = script(events), script(1)
    def wine(folder):
        return min(run(["wine", args.wine_tool, args.wine_editor, os.path.join(folder, "ZEPHA.SCR"),
                        os.path.join(folder, "wine.png"), "--timeout", "600"])
                   for _ in range(3))
    long, one = wine(folder_long), wine(folder_one)
    print("Wine (reference): %d events in %.2f s, one event in %.2f s (best of three): %.0f "
          "events/s" % (events, long, one, rate(long, one, events)))
else:
    print("Wine (reference): not measured (no Windows build of the replay tool and editor)")
if args.web_bench:
    node, bench = args.web_bench.split(",")
    out = subprocess.run([node, bench, args.web_site, args.web_modules,
                          os.path.join(script(events), "ZEPHA.SCR")],
                         capture_output=True, text=True).stdout
    found = re.search(r"playback in the page: .*", out)
    print("browser page (reference): " + (found.group(0) if found else "not measured (the page's bench failed)"))
else:
    print("browser page (reference): not measured (no web build, its node modules or chromium)")
print("load average after: %s" % load())
