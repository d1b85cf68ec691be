"""Compiled mechanisms: NEURON's own demonstration .mod files compiled by the
exporter into its cache and exported, compared with NEURON's recording; a
folder already compiled by NEURON; .mod files that cannot be compiled."""

import glob
import json
import os
import shutil
import tempfile
import unittest

from support import EXPORTER, MPIEXEC, read_back, run_mpi, run_python

DEMO = "/usr/share/nrn/demo/release"

# A soma without calcium and a dendrite with a calcium channel and a pump.
MODEL = """\
from neuron import h
h.load_file("stdrun.hoc")
soma = h.Section(name="soma")
soma.L = soma.diam = 20
soma.insert("hh")
dend = h.Section(name="dend")
dend.connect(soma(1))
dend.L, dend.diam, dend.nseg = 200, 2, 5
for mechanism in ("pas", "cachan", "cadifpmp"):
    dend.insert(mechanism)
stim = h.IClamp(soma(0.5))
stim.delay, stim.dur, stim.amp = 1, 5, 1
h.tstop = 10
"""

# NEURON's recording of cai in the dendrite at every step, run like run().
RECORD = """\
import json, runpy, sys
from neuron import h
h.nrn_load_dll(sys.argv[1])
model = runpy.run_path(sys.argv[2], run_name="dendrovia_model")
dend = model["dend"]
cai = [h.Vector().record(seg._ref_cai) for seg in dend]
h.run()
with open(sys.argv[3], "w") as f:
    json.dump([list(v) for v in cai], f)
"""

BROKEN = "NEURON {\n  SUFFIX broken\n}\nBREAKPOINT {\n  x = 1 +\n}\n"


def snapshot(folder):
    """Every file under `folder` with its size and modification time."""
    found = {}
    for root, _, files in os.walk(folder):
        for name in files:
            status = os.stat(os.path.join(root, name))
            found[os.path.relpath(os.path.join(root, name), folder)] = (
                status.st_size, status.st_mtime_ns)
    return found


@unittest.skipUnless(os.path.isdir(DEMO) and shutil.which("nrnivmodl"),
                     "NEURON's demo mechanisms or nrnivmodl (neuron-dev) missing")
class MechanismsTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.cache = self.path("cache")
        self.environment = dict(os.environ, XDG_CACHE_HOME=self.cache)

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def export(self, *arguments, environment=None):
        return run_python(EXPORTER, *arguments, env=environment or self.environment)

    def test_demo_mechanisms_compiled_once_and_exported_exactly(self):
        os.mkdir(self.path("model"))
        model = self.path("model/cell.py")
        with open(model, "w") as f:
            f.write(MODEL)
        before = snapshot(DEMO)
        arguments = ["--mechanisms", DEMO, model, "--variable", "cai", "--scale", "1000000"]
        first = self.export(*arguments, "-o", self.path("first.dat"))
        self.assertEqual(0, first.returncode, first.stderr)
        self.assertIn("compiling the mechanisms", first.stderr)
        self.assertIn("lack cai", first.stderr)
        self.assertIn("soma", first.stderr)
        libraries = glob.glob(os.path.join(self.cache, "dendrovia", "mechanisms", "*",
                                           "x86_64", "libnrnmech.so"))
        self.assertEqual(1, len(libraries))
        built = os.stat(libraries[0]).st_mtime_ns

        # Unchanged: nothing compiled again, the same file.
        second = self.export(*arguments, "-o", self.path("second.dat"))
        self.assertEqual(0, second.returncode, second.stderr)
        self.assertNotIn("compiling", second.stderr)
        self.assertEqual(built, os.stat(libraries[0]).st_mtime_ns)
        self.assertEqual(before, snapshot(DEMO))
        with open(self.path("first.dat"), "rb") as a, open(self.path("second.dat"), "rb") as b:
            self.assertEqual(a.read(), b.read())

        result = run_python("-c", RECORD, libraries[0], model, self.path("cai.json"))
        self.assertEqual(0, result.returncode, result.stderr)
        with open(self.path("cai.json")) as f:
            recorded = json.load(f)
        data = read_back(self.path("first.dat"))
        header = data["header"]
        self.assertEqual("nM", header["VariableUnit"])
        frames = data["Frames"]
        self.assertEqual(101, len(frames))
        steps = [4 * k for k in range(len(frames))]
        for j, vector in enumerate(recorded):
            self.assertEqual([vector[i] * 1e6 for i in steps], [f[2 + j] for f in frames])
        # The soma has no calcium: it reads the dendrite's minimum, not 0.
        dendrite = [v for f in frames for v in f[2:]]
        self.assertEqual(min(dendrite), header["VariableMin"])
        self.assertEqual(max(dendrite), header["VariableMax"])
        self.assertEqual([header["VariableMin"]] * len(frames), [f[1] for f in frames])

        # A model folder holding NEURON's own compiled x86_64/ needs no --mechanisms.
        shutil.copytree(os.path.dirname(libraries[0]), self.path("model/x86_64"), symlinks=True)
        result = self.export(model, "--variable", "cai", "--scale", "1000000",
                             "-o", self.path("compiled.dat"))
        self.assertEqual(0, result.returncode, result.stderr)
        with open(self.path("first.dat"), "rb") as a, open(self.path("compiled.dat"), "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_mechanisms_that_cannot_be_compiled_are_refused(self):
        os.mkdir(self.path("broken"))
        with open(self.path("broken/broken.mod"), "w") as f:
            f.write(BROKEN)
        os.mkdir(self.path("empty"))
        with open(self.path("cell.hoc"), "w") as f:
            f.write("create soma\ntstop = 1\n")
        cases = [
            ("broken", {}, 0, ["broken.mod", "Illegal"]),
            ("empty", {}, 0, ["holds no .mod file"]),
            ("broken", {"CC": "no-such-compiler"}, 0, ["no C compiler"]),
            # Every process stops, none waits for the others.
            ("broken", {}, 2 if MPIEXEC else 0, ["broken.mod", "Illegal"]),
        ]
        for folder, extra, processes, expected in cases:
            with self.subTest(folder=folder, environment=extra, processes=processes):
                out = self.path("out.dat")
                before = snapshot(self.path(folder))
                arguments = ["--mechanisms", self.path(folder), self.path("cell.hoc"), "-o", out]
                environment = dict(self.environment, **extra)
                if processes:
                    result = run_mpi(processes, EXPORTER, *arguments, env=environment)
                else:
                    result = self.export(*arguments, environment=environment)
                self.assertNotEqual(0, result.returncode)
                for text in expected:
                    self.assertIn(text, result.stderr)
                self.assertFalse(os.path.exists(out))
                self.assertEqual(before, snapshot(self.path(folder)))


if __name__ == "__main__":
    unittest.main()
