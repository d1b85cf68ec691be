#!/usr/bin/env python3
"""The NEURON exporter on a network, alone and under MPI: wall time and peak
memory per process.

Side by side, NEURON alone runs the same network for as long without
recording anything: what MPI gives on this machine at best.

The network is the exporter's ring sample made larger: 64 cells of 200
segments (a soma and two dendrites), a spike going round. Each run exports v
every 0.1 ms (dt 0.025 ms) into one file, in a fresh process tree: once
alone, then with `mpiexec -n 2`; and, to show that memory does not grow with
the length of the run, both again with four times the frames. Each case runs
ROUNDS times, alternating, and the fastest is kept, so that the load of
other processes on a shared machine hurts both alike. Figures per process
(CPU time, largest resident set) are the busiest exporter process's; the
CPU times tell what the wall times would be on an idle machine.

    /usr/bin/python3 bench/neuron_export_mpi.py [--rounds 2]
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "..", "tools", "neuron")
EXPORTER = os.path.join(TOOLS, "dendrovia_export.py")
CELLS = 64
SEGMENTS = 200
FRAME_COUNTS = (1000, 4000)
INTERVAL = 0.1

MODEL = f"""\
import sys
sys.path.insert(0, {os.path.abspath(TOOLS)!r})
from neuron import h
import ring_network
h.dt = 0.025
network = ring_network.Ring(cells={CELLS}, segments={SEGMENTS})
"""

# NEURON alone on the same network, the same run, nothing recorded: the peer
# the exporter is measured against, alone and under MPI.
NEURON_ONLY = f"""\
import sys
sys.path.insert(0, {os.path.abspath(TOOLS)!r})
from neuron import h
h.nrnmpi_init()
import ring_network
h.dt = 0.025
network = ring_network.Ring(cells={CELLS}, segments={SEGMENTS})
pc = h.ParallelContext()
pc.set_maxstep(10)
h.stdinit()
pc.psolve(float(sys.argv[1]))
pc.barrier()
h.quit()
"""

# Runs one process of the exporter and reports its wall time, CPU time and
# largest resident set (KiB) on stderr.
PROCESS = """\
import resource, subprocess, sys, time
start = time.perf_counter()
code = subprocess.call(sys.argv[1:])
wall = time.perf_counter() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
print("PROCESS", wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, file=sys.stderr)
sys.exit(code)
"""


def measure(command, environment):
    """Wall time of the whole command, then the largest CPU time and resident
    set (MiB) of its exporter processes."""
    start = time.perf_counter()
    result = subprocess.run(command, env=environment, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    if result.returncode:
        sys.exit(f"{' '.join(command)} failed:\n{result.stderr}")
    # The processes' lines may come interleaved through mpiexec.
    processes = re.findall(r"PROCESS ([\d.]+) ([\d.]+) (\d+)", result.stderr)
    if not processes:
        sys.exit(f"no figures from {' '.join(command)}:\n{result.stderr}")
    cpu = max(float(p[1]) for p in processes)
    mib = max(int(p[2]) for p in processes) / 1024
    return wall, cpu, mib


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=2)
    args = parser.parse_args()
    mpiexec = shutil.which("mpiexec")
    if mpiexec is None:
        sys.exit("mpiexec not found: install openmpi-bin")
    environment = dict(os.environ, NEURON_MODULE_OPTIONS="-nogui",
                       OMPI_ALLOW_RUN_AS_ROOT="1", OMPI_ALLOW_RUN_AS_ROOT_CONFIRM="1")
    with tempfile.TemporaryDirectory() as folder:
        model = os.path.join(folder, "network.py")
        with open(model, "w") as f:
            f.write(MODEL)
        out = os.path.join(folder, "network.dat")
        cases = []
        # Each exporter process in a session of its own, so that Linux's
        # autogroup scheduling gives it the share of CPU an independent
        # program gets rather than splitting one share among the processes.
        wrap = ["setsid", "-w", sys.executable, "-c", PROCESS, sys.executable]
        alone = os.path.join(folder, "neuron_only.py")
        with open(alone, "w") as f:
            f.write(NEURON_ONLY)
        for frames in FRAME_COUNTS:
            tstop = f"{(frames - 1) * INTERVAL:g}"
            export = [*wrap, EXPORTER, model, "-o", out, "--interval", str(INTERVAL),
                      "--tstop", tstop]
            for processes in (1, 2):
                launch = [mpiexec, "-n", "2"] if processes == 2 else []
                cases.append(("export", frames, processes, launch + export))
                cases.append(("NEURON", frames, processes, launch + wrap + [alone, tstop]))
        best = {}
        for _ in range(args.rounds):
            for what, frames, processes, command in cases:
                figures = measure(command, environment)
                key = (what, frames, processes)
                old = best.get(key, (float("inf"), float("inf"), 0))
                best[key] = (min(old[0], figures[0]), min(old[1], figures[1]),
                             max(old[2], figures[2]))
        size = os.path.getsize(out)
    print(f"{CELLS} cells x {SEGMENTS} segments, v every {INTERVAL:g} ms; best of "
          f"{args.rounds}; last file {size / 2**20:.1f} MiB; load average "
          f"{os.getloadavg()[0]:.1f} on {os.cpu_count()} cores")
    print(f"{'':>7} {'frames':>7} {'processes':>9} {'wall s':>8} {'CPU s/process':>14} "
          f"{'peak MiB/process':>17}")
    for (what, frames, processes), (wall, cpu, mib) in sorted(best.items()):
        print(f"{what:>7} {frames:>7} {processes:>9} {wall:>8.2f} {cpu:>14.2f} {mib:>17.1f}")
    for what in ("export", "NEURON"):
        for frames in FRAME_COUNTS:
            one, two = best[(what, frames, 1)], best[(what, frames, 2)]
            print(f"{what} {frames} frames: with 2 processes {one[0] / two[0]:.2f}x as fast "
                  f"(wall), {one[1] / two[1]:.2f}x less CPU in the busiest process")


if __name__ == "__main__":
    main()
