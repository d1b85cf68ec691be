#!/usr/bin/env python3
"""Redraw rate of NEURON's shape plot against every Dendrovia view's, side by side.

NEURON side: a synthetic binary tree of N sections of 10 segments each, shown
in a PlotShape in "Shape Plot" mode with the fixed scale -80..40 mV in a view
of 800 x 600; every frame sets new values in all segments, then flush() and
doNotify() redraw the plot. Two rates: "flush" times flush() plus doNotify()
alone (the time of setting the values left out); "drawn" also counts the X
server's work, which NEURON only queues: the wall time of all frames, less the
time of setting the values, plus the time the server still takes afterwards
until it is idle. Dendrovia side: the RedrawRate benchmarks of the 1D, 2D,
3D (Wire and Diameter) and F(t) windows at 800 x 600 with 10 segments to a
section (each frame recolours the current frame, and the window's thread
wakes, draws and swaps it, so the frame is on the screen); the 3D window's
sections are straight, of two points each, as define_shape makes NEURON's;
the F(t) window draws ten curves of as many samples as the tree has segments.

NEURON and Dendrovia alternate in one run on the same X server, ROUNDS times, and the best
rate of each is kept, so that the load of other processes on a shared machine
hurts both alike. Run under an X server with NEURON's Python:

  xvfb-run -a -s "-noreset -screen 0 1920x1080x24" \\
    /usr/bin/python3 bench/compare_shape_plot.py build/bench
"""

import argparse
import json
import os
import re
import subprocess
import sys
import time

SIZES = (10000, 100000)
SEGMENTS_PER_SECTION = 10


def x_server_cpu():
    """CPU seconds used so far by the Xvfb of DISPLAY, or None."""
    display = os.environ.get("DISPLAY", "")
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                words = f.read().split(b"\0")
            if not words[0].endswith(b"Xvfb") or display.encode() not in words:
                continue
            with open(f"/proc/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        except OSError:
            continue
    return None


def wait_for_idle_server():
    """Seconds until the X server has used no CPU for 50 ms."""
    start = time.perf_counter()
    last = x_server_cpu()
    while last is not None:
        time.sleep(0.05)
        now = x_server_cpu()
        if now == last:
            return time.perf_counter() - start - 0.05
        last = now
    return 0.0


def neuron_rate(segments, frames):
    """Redraws per second of a PlotShape over segments segments, as flushed
    and as drawn by the X server (child mode)."""
    from neuron import h, gui  # noqa: F401  (gui: the InterViews windows)

    sections = []
    for i in range(segments // SEGMENTS_PER_SECTION):
        section = h.Section(name=f"s{i}")
        section.nseg = SEGMENTS_PER_SECTION
        section.L = 50
        section.diam = 1
        if i:
            section.connect(sections[(i - 1) // 2](1))
        sections.append(section)
    h.define_shape()

    xs, ys = [], []
    for section in sections:
        for j in range(int(h.n3d(sec=section))):
            xs.append(h.x3d(j, sec=section))
            ys.append(h.y3d(j, sec=section))
    # The whole tree in a 4:3 view.
    width = max(max(xs) - min(xs), (max(ys) - min(ys)) * 4 / 3) * 1.05
    height = width * 3 / 4
    left = (min(xs) + max(xs) - width) / 2
    bottom = (min(ys) + max(ys) - height) / 2
    plot = h.PlotShape(0)
    plot.view(left, bottom, width, height, 100, 100, 800, 600)
    plot.variable("v")
    plot.exec_menu("Shape Plot")
    plot.scale(-80, 40)
    h.doNotify()

    pointers = h.PtrVector(segments)
    k = 0
    for section in sections:
        for segment in section:
            pointers.pset(k, segment._ref_v)
            k += 1
    values = h.Vector(segments)
    wait_for_idle_server()
    flushing = 0.0
    setting = 0.0
    begin = time.perf_counter()
    for frame in range(frames):
        start = time.perf_counter()
        values.indgen()
        values.mul(120.0 / segments)
        values.add(-80.0 + frame % 40)
        pointers.scatter(values)
        middle = time.perf_counter()
        plot.flush()
        h.doNotify()
        flushing += time.perf_counter() - middle
        setting += middle - start
    total = time.perf_counter() - begin + wait_for_idle_server()
    return frames / flushing, frames / (total - setting)


def run_neuron(segments, frames):
    output = subprocess.run(
        [sys.executable, __file__, "--neuron", str(segments), "--frames", str(frames)],
        check=True, capture_output=True, text=True).stdout
    return tuple(float(word) for word in output.split()[-2:])


# Each view: its benchmark program, and the filter of its runs on the tree.
VIEWS = (
    ("1D", "dendrovia_bench_show1d", "RedrawRate1D/.*/10/"),
    ("2D", "dendrovia_bench_show2d", "RedrawRate2D/.*/0/"),
    ("3D Wire", "dendrovia_bench_show3d", "RedrawRate3D/.*/style:0/per_section:10/points:2/"),
    ("3D Diameter", "dendrovia_bench_show3d", "RedrawRate3D/.*/style:1/per_section:10/points:2/"),
    ("F(t)", "dendrovia_bench_showft", "RedrawRateFt/[1-9]"),
    # Not a view: a bare OpenGL window drawing as many short lines in parts,
    # the most any view could reach on this OpenGL.
    ("bare lines", "dendrovia_bench_bare_lines", "BareLines/lines:.*/parts:1/"),
)


def run_dendrovia(bench_dir, program, name_filter):
    """Frames per second of the runs of the filter, by their first argument."""
    output = subprocess.run(
        [os.path.join(bench_dir, program), f"--benchmark_filter={name_filter}",
         "--benchmark_min_time=2", "--benchmark_format=json"],
        check=True, capture_output=True, text=True).stdout
    rates = {}
    for result in json.loads(output)["benchmarks"]:
        size = int(re.search(r"/(?:\w+:)?(\d+)", result["name"]).group(1))
        rates[size] = result["frames_per_s"]
    return rates


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("bench_dir", nargs="?", help="the folder of the benchmark programs")
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--neuron", type=int, help=argparse.SUPPRESS)
    parser.add_argument("--frames", type=int, default=0, help=argparse.SUPPRESS)
    args = parser.parse_args()
    if args.neuron:
        print(*neuron_rate(args.neuron, args.frames))
        return
    if not args.bench_dir:
        parser.error("the folder of the benchmark programs is missing")

    flushed = {size: 0.0 for size in SIZES}
    drawn = {size: 0.0 for size in SIZES}
    ours = {view[0]: {size: 0.0 for size in SIZES} for view in VIEWS}
    for _ in range(args.rounds):
        for size in SIZES:
            rates = run_neuron(size, 400 if size <= 10000 else 60)
            flushed[size] = max(flushed[size], rates[0])
            drawn[size] = max(drawn[size], rates[1])
        for name, program, name_filter in VIEWS:
            for size, rate in run_dendrovia(args.bench_dir, program, name_filter).items():
                if size in ours[name]:
                    ours[name][size] = max(ours[name][size], rate)
    print("redraws per second (best of each), and each view's ratio to NEURON")
    print(f"{'segments':>9} {'NEURON flush':>13} {'NEURON drawn':>13}")
    for size in SIZES:
        print(f"{size:>9} {flushed[size]:>13.1f} {drawn[size]:>13.1f}")
    print(f"{'view':>12} {'segments':>9} {'frames/s':>9} {'ratio flush':>12} {'ratio drawn':>12}")
    for name, _, _ in VIEWS:
        for size in SIZES:
            rate = ours[name][size]
            print(f"{name:>12} {size:>9} {rate:>9.1f} {rate / flushed[size]:>12.2f}"
                  f" {rate / drawn[size]:>12.2f}")


if __name__ == "__main__":
    main()
