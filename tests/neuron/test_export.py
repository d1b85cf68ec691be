"""export() on models built here, read back through the C++ reader and compared
with what NEURON itself records."""

import gc
import math
import os
import struct
import tempfile
import tracemalloc
import unittest

from support import read_back

import dendrovia_export
from neuron import h

h.load_file("stdrun.hoc")


def frame_values(data, section, segment):
    """Column of one segment over all frames."""
    index = data["SectionFirstSegment"][section] + segment
    return [frame[1 + index] for frame in data["Frames"]]


class BallAndStick:
    """A spiking soma and a passive dendrite, no 3D points."""

    def __init__(self, dend_nseg=9):
        self.soma = h.Section(name="soma")
        self.soma.L = self.soma.diam = 20
        self.soma.insert("hh")
        self.dend = h.Section(name="dend")
        self.dend.connect(self.soma(1))
        self.dend.L = 400
        self.dend.diam = 2
        self.dend.nseg = dend_nseg
        self.dend.insert("pas")
        self.stim = h.IClamp(self.soma(0.5))
        self.stim.delay, self.stim.dur, self.stim.amp = 1, 1, 1.0


class Branched:
    """A soma with 3D points, a trunk branching into a leaf and a section that
    hangs by its 1-end, two sections without 3D points fanned from the leaf's
    end, an axon without 3D points off the soma's 0-end, and a second root.
    Created and connected out of file order, so the export has to sort them."""

    def __init__(self):
        def section(name, points=(), nseg=1):
            sec = h.Section(name=name)
            for point in points:
                sec.pt3dadd(*point)
            sec.nseg = nseg
            return sec

        self.soma = section("soma", [(0, 0, 0, 10), (10, 0, 0, 10)])
        self.other = section("other", [(0, 100, 0, 5), (0, 150, 0, 5)], 3)
        self.twig1 = section("twig1", nseg=3)
        self.twig2 = section("twig2", nseg=2)
        self.axon = section("axon", nseg=7)
        self.trunk = section("trunk", [(10, 0, 0, 3), (60, 20, 0, 2.5), (110, 20, 0, 2)], 5)
        self.hanging = section(
            "hanging", [(200, -40, 0, 1), (150, -10, 0, 1.2), (110, 20, 0, 1.5)], 3
        )
        self.leaf = section("leaf", [(110, 20, 0, 2), (130, 40, 0, 1.5), (150, 45, 5, 1),
                                     (170, 45, 10, 0.8)])
        self.trunk.connect(self.soma(1))
        self.axon.connect(self.soma(0))
        self.leaf.connect(self.trunk(1))
        self.hanging.connect(self.trunk(1), 1)
        self.twig1.connect(self.leaf(1))
        self.twig2.connect(self.leaf(1))
        for sec in (self.axon, self.twig1, self.twig2):
            sec.L, sec.diam = 50, 1
        self.soma.insert("hh")
        for sec in h.allsec():
            if sec != self.soma:
                sec.insert("pas")
        self.stim = h.IClamp(self.soma(0.5))
        self.stim.delay, self.stim.dur, self.stim.amp = 1, 1, 0.3

    # Names and parents in the order the file must have them.
    ORDER = ["soma", "axon", "trunk", "hanging", "leaf", "twig1", "twig2", "other"]
    PARENTS = [-1, 0, 0, 2, 2, 4, 4, -1]


class ExportTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.path = os.path.join(self.folder.name, "out.dat")
        h.dt = 0.025
        h.cvode.active(0)

    def tearDown(self):
        h.cvode.active(0)
        self.model = None
        self.records = None
        gc.collect()
        self.folder.cleanup()
        self.assertEqual([], [sec.name() for sec in h.allsec()], "a model outlived its test")

    def record(self, segments, times=None):
        """NEURON's own recording of v at `segments`: at every step, or at
        `times` when given. Returns (time vector, value vectors)."""
        if times is None:
            t = h.Vector().record(h._ref_t)
            values = [h.Vector().record(seg._ref_v) for seg in segments]
        else:
            t = h.Vector(times)
            values = [h.Vector().record(seg._ref_v, t) for seg in segments]
        self.records = (t, values)
        return t, values

    def test_ball_and_stick_with_fixed_steps(self):
        self.model = m = BallAndStick()
        probes = [m.soma(0.5), m.dend(0.5 / 9), m.dend(4.5 / 9), m.dend(8.5 / 9)]
        steps, recorded = self.record(probes)
        summary = dendrovia_export.export(
            self.path, "v", 0.1, 10, description="ball and stick"
        )
        data = read_back(self.path)

        header = data["header"]
        self.assertEqual("MTSD", header["Signature"])
        self.assertEqual("ball and stick", header["Description"])
        self.assertEqual("mV", header["VariableUnit"])
        self.assertEqual("ms", data["TimeUnit"])
        self.assertEqual((2, 10), (header["SectionCount"], header["SegmentCount"]))
        sections = data["Sections"]
        self.assertEqual(["soma", "dend"], [s["Name"] for s in sections])
        self.assertEqual([-1, 0], [s["Parent"] for s in sections])
        self.assertEqual(2, data["ItemCount"])
        self.assertEqual([1, 9], [s["SegmentCount"] for s in sections])
        self.assertEqual([20, 400], [s["Length"] for s in sections])
        # Straight lines drawn for the file: ends and segment centres, cut at
        # the segment boundaries by the reader (3 points per segment).
        self.assertEqual([3, 27], [s["PointCount"] for s in sections])
        self.assertEqual([20, 0, 0, 2], sections[1]["Points"][0])
        self.assertEqual([420, 0, 0, 2], sections[1]["Points"][-1])

        self.assertEqual(101, data["FrameCount"])
        times = [frame[0] for frame in data["Frames"]]
        for k, t in enumerate(times):
            self.assertAlmostEqual(k * 0.1, t, delta=1e-9)
        self.assertEqual(101, summary.frames)

        step_of = {t: i for i, t in enumerate(steps)}
        columns = [(0, 0), (1, 0), (1, 4), (1, 8)]
        for k in (0, 12, 17, 25, 60, 100):
            step = step_of[times[k]]
            for (section, segment), vector in zip(columns, recorded):
                self.assertEqual(vector[step], frame_values(data, section, segment)[k])
        self.assertGreater(max(frame_values(data, 0, 0)), 0, "the soma should spike")

        values = [v for frame in data["Frames"] for v in frame[1:]]
        self.assertEqual(max(values), header["VariableMax"])
        self.assertEqual(dendrovia_export.after_word(min(values)), header["VariableMin"])
        self.assertEqual((summary.variable_min, summary.variable_max), (min(values), max(values)))

    def test_branched_model_with_cvode(self):
        self.model = m = Branched()
        times = [0.1 * k for k in range(81)]
        probes = [m.soma(0.5), m.hanging(2.5 / 3), m.hanging(0.5 / 3), m.trunk(0.9), m.twig2(0.25)]
        _, recorded = self.record(probes, times)
        h.cvode.active(1)
        dendrovia_export.export(self.path, interval=0.1, tstop=8)
        data = read_back(self.path)
        sections = data["Sections"]
        by_name = {s["Name"]: s for s in sections}

        self.assertEqual(Branched.ORDER, [s["Name"] for s in sections])
        self.assertEqual(Branched.PARENTS, [s["Parent"] for s in sections])
        self.assertEqual([2, 0, 2, 0, 2, 0, 0, 0], [s["ChildCount"] for s in sections])
        # soma; axon; trunk with its subtree; the second root.
        self.assertEqual([0, 1, 2, 7, 8], data["ItemFirstSection"])
        sec_of = {sec.name(): sec for sec in h.allsec()}
        for s in sections:
            self.assertEqual(sec_of[s["Name"]].nseg, s["SegmentCount"])
            self.assertAlmostEqual(sec_of[s["Name"]].L, s["Length"], delta=1e-9)

        # One segment keeps the section's own 3D points.
        leaf = m.leaf
        self.assertEqual(
            [[leaf.x3d(i), leaf.y3d(i), leaf.z3d(i), leaf.diam3d(i)] for i in range(4)],
            by_name["leaf"]["Points"],
        )
        # Hanging by its 1-end: written from the trunk's end outward.
        self.assertEqual([110, 20, 0, 1.5], by_name["hanging"]["Points"][0])
        self.assertEqual([200, -40, 0, 1], by_name["hanging"]["Points"][-1])
        # Sections without 3D points: drawn from where they hang, siblings apart.
        twig_ends = []
        for name in ("twig1", "twig2"):
            points = by_name[name]["Points"]
            self.assertEqual([170, 45, 10], points[0][:3])
            self.assertAlmostEqual(50, math.dist(points[0][:3], points[-1][:3]), delta=1e-9)
            twig_ends.append(points[-1][:3])
        self.assertGreater(math.dist(*twig_ends), 10)
        axon = by_name["axon"]["Points"]
        self.assertEqual([0, 0, 0], axon[0][:3])
        self.assertAlmostEqual(-50, axon[-1][0], delta=1e-9)
        # The points were drawn for the file only.
        self.assertEqual([0, 0, 0], [m.axon.n3d(), m.twig1.n3d(), m.twig2.n3d()])
        self.assertEqual((50, 1), (m.axon.L, m.axon.diam))

        self.assertEqual(81, data["FrameCount"])
        self.assertEqual(times, [frame[0] for frame in data["Frames"]])
        hanging = Branched.ORDER.index("hanging")
        columns = [(0, 0), (hanging, 0), (hanging, 2), (Branched.ORDER.index("trunk"), 4),
                   (Branched.ORDER.index("twig2"), 0)]
        for k in (1, 10, 14, 30, 79):
            for (section, segment), vector in zip(columns, recorded):
                self.assertEqual(vector[k], frame_values(data, section, segment)[k])

    def test_subset_of_sections_and_other_variables(self):
        self.model = m = Branched()
        with self.assertWarns(UserWarning) as warned:
            dendrovia_export.export(
                self.path, "m_hh", 0.5, 2, sections=[m.hanging, m.trunk, m.leaf, m.soma]
            )
        data = read_back(self.path)
        self.assertEqual(["soma", "trunk", "hanging", "leaf"],
                         [s["Name"] for s in data["Sections"]])
        self.assertEqual([-1, 0, 1, 1], [s["Parent"] for s in data["Sections"]])
        header = data["header"]
        self.assertEqual("1", header["VariableUnit"])
        # Only the soma has hh: the range is the soma's alone (0 would stretch
        # it), and the others read its minimum.
        soma = [frame[1] for frame in data["Frames"]]
        self.assertGreater(min(soma), 0)
        self.assertEqual((dendrovia_export.after_word(min(soma)), max(soma)),
                         (header["VariableMin"], header["VariableMax"]))
        for frame in data["Frames"]:
            self.assertEqual([header["VariableMin"]] * 9, frame[2:])
        self.assertIn("3 section(s) lack m_hh", str(warned.warning))
        for name in ("trunk", "hanging", "leaf"):
            self.assertIn(name, str(warned.warning))

        dendrovia_export.export(self.path, "ina", 0.5, 1)
        self.assertEqual("mA/cm2", read_back(self.path, frames=False)["header"]["VariableUnit"])

    def test_arguments_that_do_not_fit_write_nothing(self):
        self.model = BallAndStick()
        for arguments in ({"interval": 0.01}, {"interval": 0.0375}, {"variable": "nothing"},
                          {"interval": 0}, {"tstop": -1}):
            with self.subTest(**arguments), self.assertRaises(ValueError):
                dendrovia_export.export(self.path, **{"tstop": 1, **arguments})
            self.assertFalse(os.path.exists(self.path))

    def test_interrupted_run_leaves_a_loadable_file(self):
        self.model = BallAndStick()
        original = dendrovia_export._sampler

        def failing_sampler(*arguments):
            sample = original(*arguments)
            calls = []

            def sample_until_interrupted():
                calls.append(1)
                if len(calls) > 6:
                    raise KeyboardInterrupt
                return sample()

            return sample_until_interrupted

        dendrovia_export._sampler = failing_sampler
        try:
            with self.assertRaises(KeyboardInterrupt):
                dendrovia_export.export(self.path, tstop=10)
        finally:
            dendrovia_export._sampler = original
        data = read_back(self.path)
        self.assertEqual(6, data["FrameCount"])
        values = [v for frame in data["Frames"] for v in frame[1:]]
        self.assertEqual(max(values), data["header"]["VariableMax"])

    def test_long_run_holds_one_frame(self):
        self.model = BallAndStick(dend_nseg=51)

        def peak(tstop):
            tracemalloc.start()
            try:
                summary = dendrovia_export.export(self.path, interval=0.1, tstop=tstop)
                return summary, tracemalloc.get_traced_memory()[1]
            finally:
                tracemalloc.stop()

        _, short_peak = peak(20)
        summary, long_peak = peak(2000)
        self.assertEqual(20001, summary.frames)
        file_size = os.path.getsize(self.path)
        self.assertGreater(file_size, 20001 * 52 * 8)
        # A hundred times the frames, the same memory (within a few frames' worth).
        self.assertLess(long_peak - short_peak, 8 * 52 * 8 * 4)
        self.assertLess(long_peak, file_size / 20)


class WriterTest(unittest.TestCase):
    def test_first_range_byte_never_reads_as_white_space(self):
        # -65 with its first stored byte turned into a line feed.
        hazard = struct.unpack("<d", b"\n" + struct.pack("<d", -65.0)[1:])[0]
        fixed = dendrovia_export.after_word(hazard)
        self.assertLess(fixed, hazard)
        self.assertNotIn(struct.pack("<d", fixed)[0], dendrovia_export.WHITE_SPACE)
        self.assertLess(hazard - fixed, 1e-12)
        for blank in dendrovia_export.WHITE_SPACE:
            for sign in (1.0, -1.0):
                value = struct.unpack("<d", bytes([blank]) + struct.pack("<d", sign * 3.7)[1:])[0]
                self.assertNotIn(
                    struct.pack("<d", dendrovia_export.after_word(value))[0],
                    dendrovia_export.WHITE_SPACE,
                )

        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "hazard.dat")
            records = [dendrovia_export.SectionRecord(
                "my soma", -1, 10.0, 2, [(0, 0, 0, 5), (10, 0, 0, 5)]
            )]
            header = dendrovia_export.encode_header("two\nlines", "m V", records)
            with dendrovia_export.DataFileWriter(path, header) as writer:
                writer.write_frame(0.0, [hazard, 1.0])
                writer.write_frame(0.5, [0.0, 2.5])
            data = read_back(path)
        self.assertEqual("two lines", data["header"]["Description"])
        self.assertEqual("m_V", data["header"]["VariableUnit"])
        self.assertEqual(fixed, data["header"]["VariableMin"])
        self.assertEqual(2.5, data["header"]["VariableMax"])
        self.assertEqual("my_soma", data["Sections"][0]["Name"])
        self.assertEqual([[0.0, hazard, 1.0], [0.5, 0.0, 2.5]], data["Frames"])


if __name__ == "__main__":
    unittest.main()
