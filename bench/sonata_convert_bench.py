#!/usr/bin/env python3
"""Times converting one cell out of a large SONATA compartment report.

    /usr/bin/python3 bench/sonata_convert_bench.py [--cells 1000] [--segments 1000]
        [--frames 1000] [--full] [--keep FOLDER]

Writes a circuit of CELLS cells of one morphology (a soma and a tree of
dendrites, SEGMENTS segments in all) and a float32 report of FRAMES frames in
libsonatareport's layout (cells in shuffled rank order), about 4 GB at the
defaults. Only the converted cell's columns are written unless --full: the
rest of the file is a hole that the file system does not store. Then runs
the converter on the middle cell and prints its wall time and peak memory,
beside a bare start of Python with NEURON and h5py, which every conversion
pays.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import h5py
import numpy

HERE = os.path.dirname(os.path.abspath(__file__))
CONVERTER = os.path.join(HERE, "..", "tools", "neuron", "dendrovia_sonata.py")
DUMP = os.path.join(HERE, "..", "build", "tools", "dendrovia-dump")
SEGMENTS_PER_SECTION = 9


def write_morphology(path, sections):
    """A soma and `sections` dendrites, each 2 points, in a binary tree."""
    lines = ["1 1 0 0 0 5 -1"]
    for k in range(sections):
        parent_point = 1 if k < 2 else 2 * ((k - 2) // 2) + 3
        angle = 0.7 * k
        x, y = 30 * (k + 1) * numpy.cos(angle), 30 * (k + 1) * numpy.sin(angle)
        lines.append(f"{2 * k + 2} 3 {x / 2:.3f} {y / 2:.3f} 0 1 {parent_point}")
        lines.append(f"{2 * k + 3} 3 {x:.3f} {y:.3f} 0 0.8 {2 * k + 2}")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def write_circuit(folder, cells, segments, frames, full):
    sections = (segments - 1) // SEGMENTS_PER_SECTION
    if sections * SEGMENTS_PER_SECTION + 1 != segments:
        sys.exit(f"segments must be 1 + a multiple of {SEGMENTS_PER_SECTION}")
    write_morphology(os.path.join(folder, "tree.swc"), sections)
    with h5py.File(os.path.join(folder, "nodes.h5"), "w") as f:
        group = f.create_group("nodes/cortex")
        group["node_type_id"] = numpy.zeros(cells, dtype=numpy.int64)
        group["node_group_id"] = numpy.zeros(cells, dtype=numpy.int64)
        group["node_group_index"] = numpy.arange(cells)
        group["0/morphology"] = ["tree"] * cells
        group["0/x"] = numpy.arange(cells, dtype=float) * 50
        group["0/rotation_angle_zaxis"] = numpy.linspace(0, 3, cells)
    with open(os.path.join(folder, "circuit_config.json"), "w") as f:
        json.dump({"components": {"morphologies_dir": "."},
                   "networks": {"nodes": [{"nodes_file": "nodes.h5"}]}}, f)
    order = numpy.random.default_rng(1).permutation(cells)
    chosen = cells // 2
    element_ids = numpy.repeat(numpy.arange(sections + 1, dtype=numpy.uint32),
                               [1] + [SEGMENTS_PER_SECTION] * sections)
    with h5py.File(os.path.join(folder, "report.h5"), "w") as f:
        mapping = f.create_group("report/cortex/mapping")
        mapping["node_ids"] = order.astype(numpy.uint64)
        mapping["index_pointers"] = numpy.arange(cells + 1, dtype=numpy.uint64) * segments
        mapping["element_ids"] = numpy.tile(element_ids, cells)
        mapping["time"] = [0.0, frames * 0.1, 0.1]
        data = f["report/cortex"].create_dataset("data", (frames, cells * segments), "f4")
        data.attrs["units"] = "mV"
        rows = numpy.arange(frames, dtype=numpy.float32)[:, None]
        written = range(cells) if full else [int(numpy.flatnonzero(order == chosen)[0])]
        for rank in written:
            start = rank * segments
            block = -65 + rows * 0.01 + numpy.arange(segments, dtype=numpy.float32) * 1e-3
            data[:, start:start + segments] = block
    return chosen


def run(command):
    """Wall time, peak resident memory (MiB) and output of a child process."""
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
        started = time.perf_counter()
        process = subprocess.Popen(command, stdout=out, stderr=err, text=True)
        _, status, usage = os.wait4(process.pid, 0)
        wall = time.perf_counter() - started
        process.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        if process.returncode != 0:
            sys.exit(err.read())
        return wall, usage.ru_maxrss / 1024, out.read()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cells", type=int, default=1000)
    parser.add_argument("--segments", type=int, default=1000)
    parser.add_argument("--frames", type=int, default=1000)
    parser.add_argument("--full", action="store_true", help="write every cell's values")
    parser.add_argument("--keep", metavar="FOLDER", help="work in FOLDER and keep it")
    args = parser.parse_args()
    os.environ.setdefault("NEURON_MODULE_OPTIONS", "-nogui")
    with tempfile.TemporaryDirectory() as scratch:
        folder = args.keep or scratch
        os.makedirs(folder, exist_ok=True)
        started = time.perf_counter()
        chosen = write_circuit(folder, args.cells, args.segments, args.frames, args.full)
        report = os.path.join(folder, "report.h5")
        size = os.path.getsize(report) / 2**30
        stored = os.stat(report).st_blocks * 512 / 2**30
        print(f"report: {args.cells} cells x {args.segments} segments x {args.frames} frames, "
              f"{size:.2f} GiB ({stored:.2f} GiB stored), written in "
              f"{time.perf_counter() - started:.1f} s")
        bare, bare_peak, _ = run([sys.executable, "-c", "import h5py, numpy; from neuron import h"])
        output = os.path.join(folder, "cell.dat")
        command = [sys.executable, CONVERTER, report, "--circuit",
                   os.path.join(folder, "circuit_config.json"), "--nodes", f"cortex:{chosen}",
                   "-o", output]
        for cache in ("cold", "warm"):
            if cache == "cold":
                # Out of the page cache: the report's pages only, other work keeps its own.
                fd = os.open(report, os.O_RDONLY)
                os.fsync(fd)
                os.posix_fadvise(fd, 0, 0, os.POSIX_FADV_DONTNEED)
                os.close(fd)
            wall, peak, result = run(command)
            print(f"convert one cell, {cache} cache: {wall:.2f} s wall, {peak:.0f} MiB peak "
                  f"(goal: under 10 s and 200 MB)")
        print(result.strip())
        print(f"bare start of Python with NEURON and h5py: {bare:.2f} s, {bare_peak:.0f} MiB")
        if os.path.exists(DUMP):
            check = subprocess.run([DUMP, "--no-frames", output], capture_output=True)
            print("read back by dendrovia-dump:", "ok" if check.returncode == 0 else "FAILED")


if __name__ == "__main__":
    main()
