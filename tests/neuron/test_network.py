"""The ring network sample exported alone and under MPI through NEURON's
ParallelContext, compared with NEURON's own recording in a separate run."""

import ast
import json
import os
import tempfile
import unittest

from support import EXPORTER, MPIEXEC, RING, TOOLS, read_back, run_mpi, run_python

# NEURON's own recording of v at every segment at every step, the ring built
# and run as the exporter does (its model block, stdinit, psolve).
RECORD = f"""\
import json, runpy, sys
sys.path.insert(0, {TOOLS!r})
from neuron import h
model = runpy.run_path({RING!r}, run_name="dendrovia_model")
t = h.Vector().record(h._ref_t)
vectors = {{sec.name(): [h.Vector().record(seg._ref_v) for seg in sec] for sec in h.allsec()}}
pc = h.ParallelContext()
pc.set_maxstep(10)
h.stdinit()
pc.psolve(h.tstop)
with open(sys.argv[1], "w") as f:
    json.dump({{"t": list(t), "v": {{n: [list(v) for v in vs] for n, vs in vectors.items()}}}}, f)
"""

CELLS = 8
STEPS_PER_FRAME = 4  # 0.1 ms frames, dt 0.025 ms


@unittest.skipIf(MPIEXEC is None, "mpiexec not found (openmpi-bin)")
class RingTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def test_same_file_for_any_number_of_processes_and_neurons_values(self):
        runs = [("alone", run_python(EXPORTER, RING, "-o", self.path("alone.dat"))),
                ("n1", run_mpi(1, EXPORTER, RING, "-o", self.path("n1.dat"))),
                ("n2", run_mpi(2, EXPORTER, RING, "-o", self.path("n2.dat")))]
        for name, result in runs:
            self.assertEqual(0, result.returncode, f"{name}: {result.stderr}")
        self.assertIn("(2 processes)", runs[2][1].stdout)
        contents = set()
        for name, _ in runs:
            with open(self.path(f"{name}.dat"), "rb") as f:
                contents.add(f.read())
        self.assertEqual(1, len(contents), "the files differ")
        # MPI came from the exporter: the model never starts it.
        with open(RING) as f:
            calls = [node.attr for node in ast.walk(ast.parse(f.read()))
                     if isinstance(node, ast.Attribute)]
        self.assertNotIn("nrnmpi_init", calls)

        result = run_python("-c", RECORD, self.path("record.json"))
        self.assertEqual(0, result.returncode, result.stderr)
        with open(self.path("record.json")) as f:
            recorded = json.load(f)
        data = read_back(self.path("n2.dat"))
        sections = data["Sections"]
        self.assertEqual([f"BallStick[{gid}].{part}" for gid in range(CELLS)
                          for part in ("soma", "apical", "basal")],
                         [s["Name"] for s in sections])
        self.assertEqual(sorted(recorded["v"]), sorted(s["Name"] for s in sections))
        frames = data["Frames"]
        self.assertEqual(1001, len(frames))
        steps = [STEPS_PER_FRAME * k for k in range(len(frames))]
        self.assertEqual([recorded["t"][i] for i in steps], [frame[0] for frame in frames])
        first = data["SectionFirstSegment"]
        for index, section in enumerate(sections):
            for j, vector in enumerate(recorded["v"][section["Name"]]):
                column = 1 + first[index] + j
                self.assertEqual([vector[i] for i in steps], [f[column] for f in frames],
                                 f"{section['Name']} segment {j}")

        # The spike goes round: each soma fires after the one before it.
        def first_spike(gid):
            column = 1 + first[3 * gid]
            return next(k for k, f in enumerate(frames) if f[column] > 0)

        spikes = [first_spike(gid) for gid in range(CELLS)]
        self.assertEqual(sorted(spikes), spikes)
        self.assertGreater(spikes[-1] - spikes[0], 300)

    def test_one_file_per_cell_under_mpi(self):
        whole = run_python(EXPORTER, RING, "-o", self.path("ring.dat"))
        self.assertEqual(0, whole.returncode, whole.stderr)
        result = run_mpi(2, EXPORTER, RING, "--per-cell", self.path("cells"))
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertIn("8 files", result.stdout)
        self.assertEqual(sorted(f"cell{gid}.dat" for gid in range(CELLS)),
                         sorted(os.listdir(self.path("cells"))))
        ring = read_back(self.path("ring.dat"))
        for gid in range(CELLS):
            data = read_back(self.path(f"cells/cell{gid}.dat"))
            self.assertEqual([f"BallStick[{gid}].{part}" for part in ("soma", "apical", "basal")],
                             [s["Name"] for s in data["Sections"]])
            begin = ring["SectionFirstSegment"][3 * gid]
            end = ring["SectionFirstSegment"][3 * gid + 3]
            self.assertEqual([[f[0]] + f[1 + begin:1 + end] for f in ring["Frames"]],
                             data["Frames"], f"cell {gid}")


if __name__ == "__main__":
    unittest.main()
