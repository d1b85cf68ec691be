"""SONATA compartment reports of a small circuit, written from a NEURON run of
its cells in the layouts of libsonatareport and BMTK, converted from the
command line and read back through the C++ reader."""

import json
import math
import os
import shutil
import tempfile
import unittest

import h5py
import numpy

from support import HERE, TOOLS, read_back, run_python
from test_morphology import passes_through

from dendrovia_morphology import add_biophysics, load_morphology
from neuron import h

CONVERTER = os.path.join(TOOLS, "dendrovia_sonata.py")
CELL_SWC = os.path.join(HERE, "cell.swc")
CELL_ASC = os.path.join(HERE, "cell.asc")

# A second morphology: a one-point soma away from the origin, as SONATA's
# SWC files have it, and three dendrites, one of them branching.
STAR_SOMA = (5.0, 5.0, 5.0)
STAR_SWC = """1 1 5 5 5 6 -1
2 3 5 11 5 1.5 1
3 3 5 80 5 1 2
4 3 30 130 5 0.8 3
5 3 -20 120 10 0.8 3
6 4 11 5 5 1.5 1
7 4 90 5 0 1 6
8 3 5 -1 5 1 1
9 3 0 -70 -20 0.7 8
"""

Z, Y, X = (0, 0, 1), (0, 1, 0), (1, 0, 0)
DIAGONAL = tuple(1 / math.sqrt(3) for _ in range(3))
# population -> (node id, morphology, node attributes, turns about the soma
# as (axis, angle) in order, whether the soma moves to the origin first).
CIRCUIT = {
    "cortex": [
        (0, "cell", dict(x=100.0, rotation_angle_zaxis=math.pi / 2), [(Z, math.pi / 2)], True),
        (1, "star.swc", dict(y=200.0, z=-50.0, rotation_angle_zaxis=math.pi / 2,
                             rotation_angle_xaxis=math.pi / 2),
         [(Z, math.pi / 2), (X, math.pi / 2)], True),
        (2, "star", dict(x=-300.0, rotation_angle_yaxis=0.3, rotation_angle_zaxis=-1.1,
                         rotation_angle_xaxis=2.0),
         [(Z, -1.1), (Y, 0.3), (X, 2.0)], True),
        # 120 degrees about the diagonal, as a quaternion.
        (3, "cell", dict(orientation_w=0.5, orientation_x=0.5, orientation_y=0.5,
                         orientation_z=0.5, z=30.0), [(DIAGONAL, 2 * math.pi / 3)], True),
    ],
    # Found among the Neurolucida files only; placed without recentring.
    "thalamus": [(7, "cell", dict(x=10.0, y=20.0, z=30.0, recenter=0.0), [], False)],
}
# The order in which libsonatareport's ranks wrote the cells.
RANK_ORDER = {"cortex": [3, 0, 2, 1], "thalamus": [7]}
STEP, FRAMES = 0.1, 31


def turned(point, axis, angle):
    """Rodrigues' rotation of `point` about the unit `axis`."""
    p, k = numpy.array(point, dtype=float), numpy.array(axis, dtype=float)
    return (p * math.cos(angle) + numpy.cross(k, p) * math.sin(angle)
            + k * numpy.dot(k, p) * (1 - math.cos(angle)))


def placed(point, attributes, turns, centre):
    p = numpy.array(point[:3], dtype=float) - centre
    for axis, angle in turns:
        p = turned(p, axis, angle)
    return p + [attributes.get(k, 0.0) for k in "xyz"]


def write_json(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w") as f:
        json.dump(data, f)


class SonataReportTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp()
        root = cls.folder
        for name in ("swc", "asc", "empty"):
            os.makedirs(os.path.join(root, "morphologies", name))
        shutil.copy(CELL_SWC, os.path.join(root, "morphologies", "swc", "cell.swc"))
        shutil.copy(CELL_ASC, os.path.join(root, "morphologies", "asc", "cell.asc"))
        with open(os.path.join(root, "morphologies", "swc", "star.swc"), "w") as f:
            f.write(STAR_SWC)
        cls.write_circuit(root)
        cls.simulate(root)
        cls.write_report(os.path.join(root, "simulation", "output", "voltages.h5"), "libsonata")
        cls.write_report(os.path.join(root, "bmtk.h5"), "bmtk")
        cls.write_report(os.path.join(root, "simulation", "output", "soma_v.h5"), "soma")
        cls.simulation = os.path.join(root, "simulation", "simulation_config.json")
        cls.circuit = os.path.join(root, "circuit", "circuit_config.json")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    @classmethod
    def write_circuit(cls, root):
        network = os.path.join(root, "circuit", "network")
        os.makedirs(network)
        library = ["cell", "star.swc", "star"]
        with h5py.File(os.path.join(network, "nodes.h5"), "w") as f:
            for population, nodes in CIRCUIT.items():
                group = f.create_group(f"nodes/{population}")
                # Nodes turned by a quaternion form a group of their own.
                groups = [int("orientation_w" in n[2]) for n in nodes]
                group["node_id"] = [n[0] for n in nodes]
                group["node_type_id"] = [100 if population == "cortex" else 200] * len(nodes)
                group["node_group_id"] = groups
                group["node_group_index"] = [groups[:i].count(g) for i, g in enumerate(groups)]
                for group_id in set(groups):
                    members = [n for n, g in zip(nodes, groups) if g == group_id]
                    for name in set().union(*(n[2] for n in members)):
                        group[f"{group_id}/{name}"] = [n[2].get(name, 0.0) for n in members]
                    if population == "cortex":
                        # The morphology as an enumeration, as large circuits store it.
                        group[f"{group_id}/morphology"] = [library.index(n[1]) for n in members]
                        group[f"{group_id}/@library/morphology"] = library
        # The thalamus takes its morphology from its node type.
        with open(os.path.join(network, "node_types.csv"), "w") as f:
            f.write("node_type_id  population model_type morphology\n"
                    "100 cortex biophysical NULL\n200 thalamus  biophysical cell\n")
        write_json(os.path.join(root, "circuit", "circuit_config.json"), {
            "manifest": {"$NETWORK_DIR": "./network",
                         "$MORPHOLOGIES": "$NETWORK_DIR/../../morphologies"},
            "components": {"morphologies_dir": "$MORPHOLOGIES/swc",
                           "alternate_morphologies": {"neurolucida-asc": "${MORPHOLOGIES}/asc"}},
            "networks": {"nodes": [{
                "nodes_file": "$NETWORK_DIR/nodes.h5",
                "node_types_file": "network/node_types.csv",
                "populations": {"thalamus": {"morphologies_dir": "../morphologies/empty"}},
            }]},
        })
        write_json(os.path.join(root, "simulation", "simulation_config.json"), {
            "manifest": {"$BASE_DIR": "${configdir}", "$OUTPUT_DIR": "$BASE_DIR/output"},
            "network": "../circuit/circuit_config.json",
            "output": {"output_dir": "$OUTPUT_DIR"},
            "reports": {
                "soma_v": {"variable_name": "v", "sections": "soma"},
                "all_v": {"variable_name": "v", "sections": "all", "file_name": "voltages.h5"},
            },
        })

    @classmethod
    def simulate(cls, root):
        """Builds every node's cell as the simulators do and records v at
        every segment, sections in Import3d's order."""
        star = os.path.join(root, "morphologies", "swc", "star.swc")
        h.load_file("stdrun.hoc")
        cls.cells, stimuli, probes = {}, [], []
        for population, nodes in CIRCUIT.items():
            for node_id, name, _, _, _ in nodes:
                path = (CELL_ASC if population == "thalamus"
                        else CELL_SWC if name == "cell" else star)
                cell = load_morphology(path)
                add_biophysics(cell)
                stimulus = h.IClamp(cell.soma[0](0.5))
                stimulus.delay, stimulus.dur, stimulus.amp = 0.5, 2, 0.3 + 0.2 * node_id
                stimuli.append(stimulus)
                cls.cells[population, node_id] = cell
                probes.append([seg for sec in cell.all for seg in sec])
        h.dt = 0.025
        h.finitialize(-65)
        recorded = []
        for frame in range(FRAMES):
            if frame:
                h.continuerun(frame * STEP)
            recorded.append([seg.v for segments in probes for seg in segments])
        recorded = numpy.array(recorded)
        cls.values, first = {}, 0
        for key, segments in zip(cls.cells, probes):
            cls.values[key] = recorded[:, first:first + len(segments)]
            first += len(segments)

    @classmethod
    def write_report(cls, path, layout, misfit=None):
        """The recorded values as libsonatareport writes them (float32,
        index_pointers, cells in rank order), as BMTK does (float64,
        index_pointer of one entry per cell, element_pos; here the columns
        of each section backwards), or a soma report. `misfit` (node,
        section, column) leaves that column out."""
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with h5py.File(path, "w") as f:
            for population, order in RANK_ORDER.items():
                order = sorted(order) if layout == "bmtk" else order
                ids, positions, blocks, pointers = [], [], [], [0]
                for node_id in order:
                    picked, first = [], 0
                    for number, sec in enumerate(cls.cells[population, node_id].all):
                        columns = [(first + k, seg.x) for k, seg in enumerate(sec)]
                        columns = columns[::-1] if layout == "bmtk" else columns
                        columns = columns[:1] if layout == "soma" and number == 0 else (
                            [] if layout == "soma" else columns)
                        for k, (column, x) in enumerate(columns):
                            if misfit != ((population, node_id), number, k):
                                picked.append(column)
                                ids.append(number)
                                positions.append(x)
                        first += sec.nseg
                    blocks.append(cls.values[population, node_id][:, picked])
                    pointers.append(len(ids))
                group = f.create_group(f"report/{population}")
                data = numpy.concatenate(blocks, axis=1)
                group["data"] = data.astype(numpy.float64 if layout == "bmtk" else numpy.float32)
                group["data"].attrs["units"] = "mV"
                mapping = group.create_group("mapping")
                mapping["node_ids"] = numpy.array(order, dtype=numpy.uint64)
                mapping["element_ids"] = numpy.array(ids, dtype=numpy.uint32)
                if layout == "bmtk":
                    mapping["index_pointer"] = numpy.array(pointers[:-1], dtype=numpy.uint64)
                    mapping["element_pos"] = numpy.array(positions, dtype=numpy.float32)
                else:
                    mapping["index_pointers"] = numpy.array(pointers, dtype=numpy.uint64)
                mapping["time"] = [0.0, FRAMES * STEP, STEP]
                mapping["time"].attrs["units"] = "ms"

    def setUp(self):
        self.out = os.path.join(self.folder, "out", self.id().rsplit(".", 1)[-1] + ".dat")
        os.makedirs(os.path.dirname(self.out), exist_ok=True)

    def convert(self, *arguments):
        return run_python(CONVERTER, *arguments, "-o", self.out)

    def test_cells_sections_values_and_points_match_neuron(self):
        bmtk = os.path.join(self.folder, "bmtk.h5")
        everyone = [("cortex", n) for n in range(4)] + [("thalamus", 7)]
        # arguments, layout, the nodes in the file in order
        cases = [
            ([self.simulation, "--report", "all_v"], "libsonata", everyone),
            ([bmtk, "--circuit", self.circuit, "--nodes", "cortex:2"], "bmtk", [("cortex", 2)]),
            ([bmtk, "--circuit", self.circuit, "--nodes", "thalamus", "--nodes", "cortex:3,1"],
             "bmtk", [("thalamus", 7), ("cortex", 3), ("cortex", 1)]),
        ]
        nodes = {(p, n[0]): n for p, members in CIRCUIT.items() for n in members}
        for arguments, layout, chosen in cases:
            with self.subTest(layout=layout, nodes=chosen):
                result = self.convert(*arguments)
                self.assertEqual(0, result.returncode, result.stderr)
                self.assertEqual("", result.stderr)
                data = read_back(self.out)
                self.assertEqual("mV", data["header"]["VariableUnit"])
                frames = numpy.array(data["Frames"])
                self.assertEqual(FRAMES, len(frames))
                numpy.testing.assert_allclose(frames[:, 0], STEP * numpy.arange(FRAMES))
                sections = data["Sections"]
                prefixes = [s["Name"].split(".", 1)[0] for s in sections]
                self.assertEqual([f"{p}[{n}]" for p, n in chosen],
                                 list(dict.fromkeys(prefixes)))
                for index, section in enumerate(sections):
                    prefix, name = section["Name"].split(".", 1)
                    population, node_id = prefix[:-1].split("[")
                    _, _, attributes, turns, recentre = nodes[population, int(node_id)]
                    cell = self.cells[population, int(node_id)]
                    sec = cell.section(name)
                    self.assertEqual(sec.nseg, section["SegmentCount"], section["Name"])
                    parent = sec.parentseg()
                    self.assertEqual(
                        None if parent is None else f"{prefix}.{cell.names[parent.sec]}",
                        sections[section["Parent"]]["Name"] if section["Parent"] >= 0 else None)
                    # Values: exactly the report's, float32 widened.
                    first = sum(s.nseg for s in cell.all[:cell.all.index(sec)])
                    wanted = self.values[population, int(node_id)][:, first:first + sec.nseg]
                    if layout == "libsonata":
                        wanted = wanted.astype(numpy.float32).astype(numpy.float64)
                    start = data["SectionFirstSegment"][index]
                    self.assertTrue(numpy.array_equal(
                        wanted, frames[:, 1 + start:1 + start + sec.nseg]), section["Name"])
                    # Points: NEURON's, turned about the soma and moved.
                    centre = numpy.zeros(3)
                    if recentre:
                        centre = STAR_SOMA if cell.path.endswith("star.swc") else (0, 0, 0)
                    points = [placed((sec.x3d(i), sec.y3d(i), sec.z3d(i)), attributes, turns,
                                     centre) for i in range(int(sec.n3d()))]
                    self.assertTrue(passes_through(section["Points"], points), section["Name"])

    def test_bad_input_is_reported_without_a_file(self):
        bmtk = os.path.join(self.folder, "bmtk.h5")
        misfits = os.path.join(self.folder, "misfits")
        # No values for the soma of cortex[1]; one segment of cortex[0]'s axon missing.
        self.write_report(os.path.join(misfits, "gap.h5"), "libsonata", (("cortex", 1), 0, 0))
        self.write_report(os.path.join(misfits, "part.h5"), "bmtk", (("cortex", 0), 1, 0))
        with h5py.File(os.path.join(misfits, "spikes.h5"), "w") as f:
            f["spikes/cortex/timestamps"] = [1.0, 2.0]
            f["spikes/cortex/node_ids"] = [0, 1]
        nodes_file = os.path.join(os.path.dirname(self.circuit), "network", "nodes.h5")
        elsewhere = os.path.join(misfits, "circuit_config.json")
        write_json(elsewhere, {"components": {"morphologies_dir": "../morphologies/empty"},
                               "networks": {"nodes": [{"nodes_file": nodes_file}]}})
        os.makedirs(os.path.join(misfits, "h5v1"))
        open(os.path.join(misfits, "h5v1", "cell.h5"), "w").close()
        h5v1 = os.path.join(misfits, "h5v1.json")
        write_json(h5v1, {"components": {"alternate_morphologies": {"h5v1": "./h5v1"}},
                          "networks": {"nodes": [{"nodes_file": nodes_file}]}})
        unknown = os.path.join(misfits, "simulation_config.json")
        write_json(unknown, {"network": "$NOWHERE/circuit_config.json", "reports": {"v": {}}})

        def report(name):
            return [os.path.join(misfits, name), "--circuit", self.circuit]

        cases = [
            (report("gap.h5"), ["node cortex[1]", "section soma has no values"]),
            (report("part.h5"), ["node cortex[0]", "section axon", "not its"]),
            ([bmtk, "--circuit", elsewhere], ["node cortex[0]", "morphology 'cell' not found",
                                              "empty/cell.swc"]),
            ([bmtk, "--circuit", h5v1], ["h5v1/cell.h5", "reads no h5v1"]),
            ([unknown], ["unknown manifest variable $NOWHERE"]),
            ([self.simulation, "--report", "soma_v"], ["soma report"]),
            ([self.simulation], ["several reports", "soma_v, all_v"]),
            ([self.simulation, "--report", "spikes"], ["no report 'spikes'"]),
            ([bmtk, "--circuit", self.circuit, "--nodes", "cortex:9"],
             ["cortex[9] is not in the report"]),
            ([bmtk, "--circuit", self.circuit, "--nodes", "hippocampus"],
             ["no population 'hippocampus'", "cortex, thalamus"]),
            (report("spikes.h5"), ["not a SONATA compartment report"]),
            (report("missing.h5"), ["missing.h5: no such file"]),
            ([bmtk], ["needs --circuit"]),
        ]
        for arguments, words in cases:
            with self.subTest(arguments=arguments[1:]):
                result = self.convert(*arguments)
                self.assertNotEqual(0, result.returncode)
                for word in words:
                    self.assertIn(word, result.stderr)
                self.assertEqual([], os.listdir(os.path.dirname(self.out)))


if __name__ == "__main__":
    unittest.main()
