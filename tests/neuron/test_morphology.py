"""Reconstructed morphologies exported from the command line, and scaled
variables, read back through the C++ reader."""

import gc
import json
import math
import os
import tempfile
import unittest

from support import EXPORTER, HERE, read_back, run_python

import dendrovia_export
from dendrovia_morphology import add_biophysics, add_stimulus, load_morphology
from make_pyramid_sample import MORPHOLOGY as PYRAMID_HOC
from neuron import h

CELL_SWC = os.path.join(HERE, "cell.swc")
CELL_ASC = os.path.join(HERE, "cell.asc")
HOC_TO_SWC = os.path.join(HERE, "hoc_to_swc.py")

# The hand-written cell's neurites as drawn in both files (x, y, z).
NEURITES = {
    "axon": [(10, 0, 0), (60, 0, 0), (400, 0, 0)],
    "dend[0]": [(0, 10, 0), (5, 60, 0), (10, 100, 0)],
    "dend[1]": [(10, 100, 0), (30, 140, 0)],
    "dend[2]": [(10, 100, 0), (-10, 140, 5)],
    "dend[3]": [(0, -10, 0), (-40, -60, 0), (-80, -90, 0)],
}


def path_length(points):
    return sum(math.dist(a, b) for a, b in zip(points, points[1:]))


def passes_through(points, wanted, tolerance=1e-4):
    """Whether the file's points pass through `wanted` in order; the reader
    resamples them and drops repeated points."""
    wanted = [p for i, p in enumerate(wanted)
              if i == 0 or math.dist(p[:3], wanted[i - 1][:3]) >= 1e-3]
    k = 0
    for point in points:
        if k < len(wanted) and math.dist(point[:3], wanted[k][:3]) <= tolerance:
            k += 1
    return k == len(wanted)


def trace(data, section, segment):
    index = data["SectionFirstSegment"][section] + segment
    return [frame[1 + index] for frame in data["Frames"]]


def first_above(values, level=0.0):
    return next(k for k, value in enumerate(values) if value > level)


class MorphologyCommandLineTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(self.folder.cleanup)
        self.out = os.path.join(self.folder.name, "cell.dat")

    def export(self, *arguments):
        return run_python(EXPORTER, *arguments, "-o", self.out)

    def test_hand_written_cell_round_trip_and_spike(self):
        # file, stimulus options, description's stimulus, soma length (None:
        # from the contour), where the spike starts.
        cases = [
            (CELL_SWC, [], "0.5 nA at soma(0.5) 5-25 ms", 20, "soma"),
            (CELL_ASC, ["--stimulus-at", "axon(1)"], "0.5 nA at axon(1) 5-25 ms", None, "axon"),
            (CELL_SWC, ["--stimulus-at", "soma[0]", "--stimulus-amp", "0.8",
                        "--stimulus-delay", "2", "--stimulus-dur", "10"],
             "0.8 nA at soma(0.5) 2-12 ms", 20, "soma"),
        ]
        for path, stimulus, site, soma_length, starts in cases:
            with self.subTest(file=os.path.basename(path), stimulus=stimulus):
                result = self.export("--morphology", path, *stimulus)
                self.assertEqual(0, result.returncode, result.stderr)
                self.assertEqual("", result.stderr)
                data = read_back(self.out)
                header = data["header"]
                self.assertEqual(
                    f"{os.path.basename(path)}: passive + HH soma and axon, {site}",
                    header["Description"],
                )
                self.assertEqual("mV", header["VariableUnit"])
                sections = data["Sections"]
                names = [s["Name"] for s in sections]
                self.assertEqual(["soma", "axon", "dend[0]", "dend[1]", "dend[2]", "dend[3]"],
                                 names)
                self.assertEqual([-1, 0, 0, 2, 2, 0], [s["Parent"] for s in sections])
                # Soma; axon; the two dendrite trunks with their subtrees.
                self.assertEqual(4, data["ItemCount"])
                for s in sections[1:]:
                    wanted = NEURITES[s["Name"]]
                    self.assertAlmostEqual(path_length(wanted), s["Length"], delta=1e-9)
                    self.assertTrue(passes_through(s["Points"], wanted), s["Name"])
                    self.assertEqual(1, s["SegmentCount"] % 2)
                if soma_length is not None:
                    self.assertEqual(soma_length, sections[0]["Length"])
                # The contour becomes a line through the soma's middle.
                self.assertLess(abs(sections[0]["Length"] - 19), 1.5)
                # A 390 um axon is split by the d_lambda rule.
                self.assertGreater(sections[1]["SegmentCount"], 5)

                # tstop 20 ms after the step; frames every 0.1 ms.
                self.assertAlmostEqual(float(site.split("-")[1].split()[0]) + 20,
                                       data["LastFrameTime"], delta=1e-9)
                soma = trace(data, 0, 0)
                axon_end = trace(data, 1, sections[1]["SegmentCount"] - 1)
                self.assertAlmostEqual(-65, soma[0], delta=1e-9)
                self.assertGreater(max(soma), 20, "the spike reaches the soma")
                self.assertGreater(max(axon_end), 20, "and the end of the axon")
                soma_at, axon_at = first_above(soma), first_above(axon_end)
                self.assertLess(*((soma_at, axon_at) if starts == "soma" else (axon_at, soma_at)))

    def test_pyramid_round_trip(self):
        swc = os.path.join(self.folder.name, "pyramid.swc")
        reference_path = os.path.join(self.folder.name, "pyramid.json")
        result = run_python(HOC_TO_SWC, PYRAMID_HOC, swc, reference_path)
        self.assertEqual(0, result.returncode, result.stderr)
        with open(reference_path) as f:
            reference = json.load(f)
        result = self.export("--morphology", swc, "--tstop", "1")
        self.assertEqual(0, result.returncode, result.stderr)
        sections = read_back(self.out)["Sections"]

        self.assertEqual(len(reference), len(sections))
        self.assertEqual({"soma"} | {f"dend[{k}]" for k in range(len(reference) - 1)},
                         {s["Name"] for s in sections})
        # Match every section by where it ends; then the trees must agree.
        def end(points):
            return tuple(round(c, 3) for c in points[-1][:3])

        matched = {end(r["points"]): i for i, r in enumerate(reference)}
        self.assertEqual(len(reference), len(matched))
        mapping = [matched[end(s["Points"])] for s in sections]
        self.assertEqual(sorted(mapping), list(range(len(reference))))
        for s, r in zip(sections, (reference[i] for i in mapping)):
            with self.subTest(section=s["Name"], hoc=r["name"]):
                parent = mapping[s["Parent"]] if s["Parent"] >= 0 else -1
                self.assertEqual(r["parent"], parent)
                self.assertAlmostEqual(r["L"], s["Length"], delta=1e-4 * max(1, r["L"]))
                self.assertTrue(passes_through(s["Points"], r["points"]))

    def test_too_small_range_gets_a_hint(self):
        # gl_hh is 0.0003 S/cm2 in the soma and axon, 0 elsewhere.
        result = self.export("--morphology", CELL_SWC, "--variable", "gl_hh", "--tstop", "0.2")
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertIn("shows as 0.000: try --scale 1000 (in mS/cm2)", result.stderr)
        self.assertEqual(0.0003, read_back(self.out)["header"]["VariableMax"])

        result = self.export("--morphology", CELL_SWC, "--variable", "gl_hh", "--tstop", "0.2",
                             "--scale", "1000")
        self.assertEqual(0, result.returncode, result.stderr)
        self.assertNotIn("try --scale", result.stderr)
        header = read_back(self.out)["header"]
        self.assertEqual(("mS/cm2", 0.0003 * 1000), (header["VariableUnit"],
                                                      header["VariableMax"]))

        result = self.export("--morphology", CELL_SWC, "--variable", "gl_hh", "--tstop", "0.2",
                             "--scale", "5000")
        self.assertIn("the unit stays S/cm2", result.stderr)
        self.assertEqual("S/cm2", read_back(self.out)["header"]["VariableUnit"])
        result = self.export("--morphology", CELL_SWC, "--variable", "gl_hh", "--tstop", "0.2",
                             "--scale", "5000", "--unit", "S/m2/2")
        self.assertNotIn("unit stays", result.stderr)
        self.assertEqual("S/m2/2", read_back(self.out)["header"]["VariableUnit"])

    def test_bad_input_is_reported_without_a_file(self):
        def write(name, text):
            path = os.path.join(self.folder.name, name)
            with open(path, "w") as f:
                f.write(text)
            return path

        missing = os.path.join(self.folder.name, "missing.swc")
        empty = write("empty.swc", "")
        garbage = write("garbage.swc", "hello world\n")
        bad_parent = write("parent.swc", "1 1 0 0 0 5 -1\n2 3 0 10 0 1 7\n")
        broken = write("broken.asc", '("CellBody"\n (CellBody)\n ( 0 0 0 1)\n')
        other = write("cell.txt", "1 1 0 0 0 5 -1\n")
        folder = os.path.join(self.folder.name, "folder.swc")
        os.mkdir(folder)
        # arguments, words the message must hold
        cases = [
            (["--morphology", missing], ["missing.swc", "no such file"]),
            (["--morphology", empty], ["empty.swc", "empty"]),
            (["--morphology", folder], ["folder.swc", "not a file"]),
            (["--morphology", garbage], ["garbage.swc", "Import3d", "could not parse"]),
            (["--morphology", bad_parent], ["parent.swc", "Import3d", "pid=7"]),
            (["--morphology", broken], ["broken.asc", "Import3d", "parse error"]),
            (["--morphology", other], ["cell.txt", "unknown morphology format", ".swc"]),
            ([CELL_SWC], ["cell.swc", "--morphology"]),
            ([], ["--morphology"]),
            (["--morphology", CELL_SWC, "--stimulus-at", "dend[9](0.5)"],
             ["no section 'dend[9]'", "soma, axon, dend[0]..dend[3]"]),
            (["--morphology", CELL_SWC, "--stimulus-at", "soma(2)"], ["soma(2)", "0 to 1"]),
            (["--morphology", CELL_SWC, "--stimulus-at", "soma(", ], ["soma("]),
            (["--morphology", CELL_SWC, "--stimulus-dur", "-1"], ["duration"]),
            (["--morphology", CELL_SWC, "--scale", "0"], ["--scale", "'0'"]),
            (["--morphology", CELL_SWC, "--scale", "inf"], ["--scale", "'inf'"]),
            (["--morphology", CELL_SWC, "--scale", "nan"], ["--scale", "'nan'"]),
        ]
        for arguments, words in cases:
            with self.subTest(arguments=arguments):
                result = self.export(*arguments)
                self.assertNotEqual(0, result.returncode)
                for word in words:
                    self.assertIn(word, result.stderr)
                self.assertNotIn("Traceback", result.stderr)
                self.assertFalse(os.path.exists(self.out))


class ScaledVariableTest(unittest.TestCase):
    def tearDown(self):
        self.cell = self.stimulus = self.records = None
        gc.collect()
        self.assertEqual([], [sec.name() for sec in h.allsec()], "a cell outlived its test")

    def test_values_are_neuron_s_times_the_factor(self):
        for variable, unit in (("nai", "uM"), ("ina", "uA/cm2")):
            with self.subTest(variable=variable), tempfile.TemporaryDirectory() as folder:
                path = os.path.join(folder, "scaled.dat")
                self.cell = load_morphology(CELL_SWC)
                add_biophysics(self.cell)
                self.stimulus, _ = add_stimulus(self.cell, "soma", 0.5, 1, 2)
                soma, axon = self.cell.soma[0], self.cell.axon[0]
                probes = [soma(0.5), axon(0.5 / axon.nseg), axon(1 - 0.5 / axon.nseg)]
                times = h.Vector([0.1 * k for k in range(51)])
                self.records = [times] + [
                    h.Vector().record(getattr(seg, f"_ref_{variable}"), times) for seg in probes
                ]
                dendrovia_export.export(path, variable, 0.1, 5, v_init=-65, scale=1000,
                                        names=self.cell.names)
                data = read_back(path)
                self.assertEqual(unit, data["header"]["VariableUnit"])
                columns = [(0, 0), (1, 0), (1, axon.nseg - 1)]
                for (section, segment), recorded in zip(columns, self.records[1:]):
                    self.assertEqual([1000 * value for value in recorded],
                                     trace(data, section, segment))
                # Dendrites have no sodium: the range's minimum.
                self.assertEqual([data["header"]["VariableMin"]], list({*trace(data, 2, 0)}))
                values = [v for frame in data["Frames"] for v in frame[1:]]
                self.assertEqual(max(values), data["header"]["VariableMax"])
                self.cell = self.stimulus = self.records = None
                gc.collect()


class UnitTest(unittest.TestCase):
    def test_prefix_moves_by_powers_of_1000(self):
        for unit, factor, expected in [
            ("mM", 1000, "uM"),
            ("mA/cm2", 1000, "uA/cm2"),
            ("mA/cm2", 1e6, "nA/cm2"),
            ("mV", 0.001, "V"),
            ("mV", -1000, "uV"),
            ("S/cm2", 1000, "mS/cm2"),
            ("mho/cm2", 1000, "mmho/cm2"),
            ("M", 1000, "mM"),
            ("um", 0.001, "mm"),
            ("mM", 1, "mM"),
            ("mM", 10, None),
            ("mV", 1e-15, None),
            ("1", 1000, None),
            ("/ms", 1000, None),
            ("degC", 1000, None),
        ]:
            with self.subTest(unit=unit, factor=factor):
                self.assertEqual(expected, dendrovia_export.prefixed_unit(unit, factor))

    def test_hint_only_for_ranges_that_show_as_zero(self):
        for low, high, unit, expected in [
            (0.0, 0.0001, "mM", "try --scale 1000 (in uM)"),
            (-2e-5, 3e-6, "mA/cm2", "try --scale 1e+06 (in nA/cm2)"),
            (0.0, 4e-4, "1", "try --scale 1000 with --unit"),
            (-65.0, 40.0, "mV", None),
            (-0.0006, 0.0, "mA/cm2", None),
            (0.0, 0.0, "mV", None),
        ]:
            with self.subTest(low=low, high=high):
                hint = dendrovia_export.range_hint(low, high, unit)
                if expected is None:
                    self.assertIsNone(hint)
                else:
                    self.assertTrue(hint.endswith(expected), hint)


if __name__ == "__main__":
    unittest.main()
