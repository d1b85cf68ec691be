"""The exporter's command line on model files, and the pyramidal cell sample,
each in a NEURON process of its own."""

import os
import tempfile
import unittest

from support import EXPORTER, PYRAMID, read_back, run_python

HOC_MODEL = """\
create soma, dend
connect dend(0), soma(1)
soma { L = 20  diam = 20  insert hh }
dend { L = 200  diam = 1  nseg = 5  insert pas }
objref stim
soma stim = new IClamp(0.5)
stim.del = 1
stim.dur = 1
stim.amp = 1
tstop = 7
"""

PY_MODEL = """\
from neuron import h
import helper_in_model_folder
soma = h.Section(name="soma")
soma.L = soma.diam = 20
axon = h.Section(name="axon")
axon.connect(soma(0))
if __name__ == "__main__":
    raise SystemExit("the model's main block must not run")
"""


class CommandLineTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)

    def write(self, name, text):
        path = os.path.join(self.folder.name, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def test_hoc_and_python_models(self):
        model = self.write("ball.hoc", HOC_MODEL)
        result = run_python(EXPORTER, model, "--interval", "0.5", "-o", "ball.dat",
                            cwd=self.folder.name)
        self.assertEqual(0, result.returncode, result.stderr)
        data = read_back(os.path.join(self.folder.name, "ball.dat"))
        self.assertEqual(["soma", "dend"], [s["Name"] for s in data["Sections"]])
        self.assertEqual([1, 5], [s["SegmentCount"] for s in data["Sections"]])
        # tstop from the model: frames at 0, 0.5, ..., 7.
        self.assertEqual(15, data["FrameCount"])
        self.assertAlmostEqual(7, data["LastFrameTime"], delta=1e-9)
        self.assertIn("ball.hoc", data["header"]["Description"])
        self.assertGreater(data["header"]["VariableMax"], 0)

        # A Python model runs from its own folder, without its main block.
        models = os.path.join(self.folder.name, "models")
        os.mkdir(models)
        self.write("models/helper_in_model_folder.py", "")
        model = self.write("models/cell.py", PY_MODEL)
        out = os.path.join(self.folder.name, "cell.dat")
        result = run_python(EXPORTER, model, "--tstop", "2", "--description", "my cell",
                            "--variable", "v", "-o", out)
        self.assertEqual(0, result.returncode, result.stderr)
        data = read_back(out)
        self.assertEqual("my cell", data["header"]["Description"])
        self.assertEqual(["soma", "axon"], [s["Name"] for s in data["Sections"]])
        self.assertEqual(21, data["FrameCount"])

    def test_errors_are_reported_without_a_file(self):
        model = self.write("ball.hoc", HOC_MODEL)
        out = os.path.join(self.folder.name, "bad.dat")
        for arguments in (["--interval", "0.01"], ["--variable", "nothing"]):
            with self.subTest(arguments=arguments):
                result = run_python(EXPORTER, model, *arguments, "-o", out)
                self.assertNotEqual(0, result.returncode)
                self.assertIn(arguments[1], result.stderr)
                self.assertFalse(os.path.exists(out))
        result = run_python(EXPORTER, self.write("broken.hoc", "create soma\nsoma { nope }\n"),
                            "-o", out)
        self.assertNotEqual(0, result.returncode)
        self.assertFalse(os.path.exists(out))

    def test_one_file_per_cell_named_after_its_root(self):
        model = self.write("cells.hoc", HOC_MODEL + "create other[2], lone\n"
                           "connect other[1](0), other[0](1)\n")
        cells = os.path.join(self.folder.name, "cells")
        for arguments in ([], ["-o", "x.dat", "--per-cell", cells]):
            with self.subTest(arguments=arguments):
                result = run_python(EXPORTER, model, *arguments, cwd=self.folder.name)
                self.assertNotEqual(0, result.returncode)
                self.assertIn("either -o or --per-cell", result.stderr)
        result = run_python(EXPORTER, model, "--per-cell", cells, "--interval", "0.5")
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertIn("3 files", result.stdout)
        expected = {"soma.dat": ["soma", "dend"], "other[0].dat": ["other[0]", "other[1]"],
                    "lone.dat": ["lone"]}
        self.assertEqual(sorted(expected), sorted(os.listdir(cells)))
        for name, sections in expected.items():
            data = read_back(os.path.join(cells, name))
            self.assertEqual(sections, [s["Name"] for s in data["Sections"]])
            self.assertEqual(15, data["FrameCount"])


class PyramidSampleTest(unittest.TestCase):
    def test_spikes_start_at_the_soma_and_fade_in_distal_dendrites(self):
        with tempfile.TemporaryDirectory() as folder:
            out = os.path.join(folder, "pyramid.dat")
            result = run_python(PYRAMID, out)
            self.assertEqual(0, result.returncode, result.stderr)
            self.assertEqual([os.path.basename(out)], os.listdir(folder))
            data = read_back(out)

        self.assertIn("pyramidal", data["header"]["Description"])
        self.assertEqual(79, data["header"]["SectionCount"])
        self.assertEqual(501, data["FrameCount"])
        self.assertAlmostEqual(50, data["LastFrameTime"], delta=1e-9)
        sections = data["Sections"]
        self.assertEqual("soma", sections[0]["Name"])
        # The soma and its eight primary dendrites with their subtrees.
        self.assertEqual(9, data["ItemCount"])
        self.assertTrue(all(s["SegmentCount"] % 2 == 1 for s in sections))
        self.assertGreater(data["header"]["SegmentCount"], 79)

        frames = data["Frames"]
        first = data["SectionFirstSegment"]

        def trace(section, segment=0):
            return [frame[1 + first[section] + segment] for frame in frames]

        def spike_times(values):
            return [k for k in range(1, len(values)) if values[k - 1] < 0 <= values[k]]

        soma = spike_times(trace(0, sections[0]["SegmentCount"] // 2))
        self.assertGreaterEqual(len(soma), 3)
        # A short proximal branch fires with the soma, after it.
        near = next(i for i, s in enumerate(sections)
                    if s["Parent"] == 0 and s["Length"] < 50)
        near_spikes = spike_times(trace(near, sections[near]["SegmentCount"] - 1))
        self.assertEqual(len(soma), len(near_spikes))
        self.assertGreaterEqual(near_spikes[0], soma[0])
        # Far out the spikes arrive only as small passive bumps.
        far = max(range(len(sections)),
                  key=lambda i: sections[i]["StartDistance"] + sections[i]["Length"])
        far_trace = trace(far, sections[far]["SegmentCount"] - 1)
        self.assertLess(max(far_trace), -20)
        self.assertGreater(max(far_trace), far_trace[0] + 1)


if __name__ == "__main__":
    unittest.main()
