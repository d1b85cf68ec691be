#!/usr/bin/env python3
"""Converts a SONATA compartment report into a Dendrovia data file, the
cells on their morphologies, placed where the circuit puts them.

    python3 dendrovia_sonata.py SIMULATION_CONFIG.json [--report NAME] \\
        [--nodes POP[:ID,...]] -o OUT.dat
    python3 dendrovia_sonata.py REPORT.h5 --circuit CIRCUIT_CONFIG.json \\
        [--nodes POP[:ID,...]] -o OUT.dat

A report holds values and section numbers only. Every cell is built from its
morphology with NEURON's Import3d, as the simulators that write reports do,
so that section k is the k-th section of Import3d's `all` list; a section's
number of columns is its number of segments. Only the chosen cells' columns
are read, a block of frames at a time, so a report of many gigabytes converts
in bounded memory.
"""

import argparse
import csv
import json
import math
import os
import re
import sys
import tempfile
import time
import warnings
from collections import namedtuple

import numpy

import dendrovia_export
from dendrovia_export import SectionRecord

# Bytes of values read from the report at once.
BLOCK_BYTES = 16 << 20
# Columns between two chosen cells that are read through rather than
# fetched by a separate hyperslab.
READ_THROUGH = 4096
# Seconds before the first progress line, and between lines.
PROGRESS_AFTER = 1.0

# Where the components name each morphology format, in the order tried for a
# name without extension.
MORPHOLOGY_FORMATS = (("morphologies_dir", ".swc"), ("neurolucida-asc", ".asc"), ("h5v1", ".h5"))
# Formats that NEURON's Import3d reads.
IMPORT3D_READS = (".swc", ".asc")
# element_pos is stored as float32 by some writers.
POSITION_TOLERANCE = 1e-5

_VARIABLE = re.compile(r"\$(?:\{([A-Za-z_]\w*)\}|([A-Za-z_]\w*))")


class SonataError(ValueError):
    """Input that cannot be converted: the message says which and why."""


def _text(value):
    return value.decode() if isinstance(value, bytes) else str(value)


class Config:
    """A SONATA configuration file with its manifest: `$NAME` and `${NAME}`
    expand to the manifest's paths, `.` and `${configdir}` to the folder of
    the file, and relative paths are relative to that folder."""

    def __init__(self, path):
        self.path = os.path.abspath(path)
        self.folder = os.path.dirname(self.path)
        try:
            with open(self.path, encoding="utf-8") as f:
                self.data = json.load(f)
        except FileNotFoundError:
            raise SonataError(f"{path}: no such file") from None
        except (OSError, UnicodeDecodeError, json.JSONDecodeError) as error:
            raise SonataError(f"{path}: not a JSON configuration: {error}") from None
        if not isinstance(self.data, dict):
            raise SonataError(f"{path}: not a JSON configuration (no object at the top)")
        manifest = self.data.get("manifest") or {}
        self._raw = {name.lstrip("$").strip("{}"): _text(value) for name, value in manifest.items()}
        self._variables = {"configdir": self.folder}

    def _variable(self, name, seen):
        if name in self._variables:
            return self._variables[name]
        if name not in self._raw:
            raise SonataError(f"{self.path}: unknown manifest variable ${name}")
        if name in seen:
            raise SonataError(f"{self.path}: manifest variable ${name} refers to itself")
        self._variables[name] = self._path(self._raw[name], seen | {name})
        return self._variables[name]

    def _path(self, text, seen):
        expanded = _VARIABLE.sub(
            lambda m: self._variable(m.group(1) or m.group(2), seen), _text(text)
        )
        return os.path.normpath(os.path.join(self.folder, expanded))

    def resolve(self, value):
        """The absolute path a value of this file names."""
        return self._path(value, frozenset())

    def get(self, *keys):
        """The value at `keys` (a path of object keys), or None."""
        value = self.data
        for key in keys:
            if not isinstance(value, dict) or key not in value:
                return None
            value = value[key]
        return value


Population = namedtuple("Population", "name nodes_file node_types_file components")


def circuit_populations(circuit):
    """The node populations of a circuit Config, each with its components
    (the circuit's, overridden by the population's own), paths resolved."""

    def resolved(components):
        result = {}
        for key, value in (components or {}).items():
            if key == "alternate_morphologies" and isinstance(value, dict):
                result[key] = {k: circuit.resolve(v) for k, v in value.items()}
            elif key.endswith("_dir") and isinstance(value, str):
                result[key] = circuit.resolve(value)
        return result

    defaults = resolved(circuit.get("components"))
    populations = {}
    for entry in circuit.get("networks", "nodes") or []:
        nodes_file = entry.get("nodes_file")
        if not nodes_file:
            continue
        nodes_file = circuit.resolve(nodes_file)
        types = entry.get("node_types_file")
        types = circuit.resolve(types) if types else None
        overrides = entry.get("populations") or {}
        try:
            import h5py

            with h5py.File(nodes_file, "r") as f:
                names = list(f.get("nodes", {}))
        except OSError as error:
            raise SonataError(f"{nodes_file}: cannot read the nodes file: {error}") from None
        for name in names:
            components = dict(defaults)
            own = resolved(overrides.get(name))
            alternates = dict(components.get("alternate_morphologies", {}))
            alternates.update(own.pop("alternate_morphologies", {}))
            components.update(own)
            components["alternate_morphologies"] = alternates
            populations[name] = Population(name, nodes_file, types, components)
    return populations


def _node_types(path, population):
    """node_type_id -> {column: text} from a node types file (columns
    separated by spaces, a `population` column telling populations apart)."""
    if not path:
        return {}
    try:
        with open(path, newline="", encoding="utf-8") as f:
            rows = list(csv.DictReader(f, delimiter=" ", skipinitialspace=True))
    except OSError as error:
        raise SonataError(f"{path}: cannot read the node types: {error}") from None
    types = {}
    for row in rows:
        if row.get("population") not in (None, "", population):
            continue
        try:
            types[int(row["node_type_id"])] = row
        except (KeyError, TypeError, ValueError):
            raise SonataError(f"{path}: a row without a node_type_id") from None
    return types


# Node attributes that place a cell; a missing one is 0 (orientation_w 1).
PLACEMENT = ("x", "y", "z", "rotation_angle_xaxis", "rotation_angle_yaxis",
             "rotation_angle_zaxis", "orientation_w", "orientation_x", "orientation_y",
             "orientation_z", "recenter")

Node = namedtuple("Node", "population node_id morphology attributes")


def read_nodes(population, node_ids):
    """The Node of every id in `node_ids`: its morphology name and placement
    attributes, from its group in the nodes file or else its node type."""
    import h5py

    where = f"{population.nodes_file}: population {population.name}"
    with h5py.File(population.nodes_file, "r") as f:
        group = f["nodes"][population.name]
        if "node_type_id" not in group:
            raise SonataError(f"{where}: no node_type_id")
        count = group["node_type_id"].shape[0]
        if "node_id" in group:
            index_of = {int(n): i for i, n in enumerate(group["node_id"][()])}
        else:
            index_of = None
        rows = []
        for node_id in node_ids:
            row = index_of.get(node_id) if index_of is not None else node_id
            if row is None or not 0 <= row < count:
                raise SonataError(f"{where}: no node {node_id}")
            rows.append(row)
        wanted = sorted(set(rows))

        def column(dataset):
            # Reading a whole column beats h5py's point selection for many nodes.
            many = len(wanted) > 1000
            return dict(zip(wanted, dataset[()][wanted] if many else dataset[wanted]))

        type_ids = column(group["node_type_id"])
        if "node_group_id" in group:
            group_ids = column(group["node_group_id"])
            group_rows = column(group["node_group_index"])
        else:
            group_ids = dict.fromkeys(wanted, 0)
            group_rows = {row: row for row in wanted}
        values = {}  # (node group, attribute) -> {row in the group: value}
        for group_id in set(int(g) for g in group_ids.values()):
            node_group = group.get(str(group_id))
            if node_group is None:
                raise SonataError(f"{where}: no node group {group_id}")
            members = sorted({int(group_rows[r]) for r in wanted if group_ids[r] == group_id})
            library = node_group.get("@library", {})
            for name in ("morphology",) + PLACEMENT:
                if name not in node_group or not isinstance(node_group[name], h5py.Dataset):
                    continue
                dataset = node_group[name]
                read = dataset[()][members] if len(members) > 1000 else dataset[members]
                if name in library:
                    read = [library[name][int(v)] for v in read]
                values[(group_id, name)] = dict(zip(members, read))
    types = _node_types(population.node_types_file, population.name)
    nodes = []
    for node_id, row in zip(node_ids, rows):
        group_id, group_row = int(group_ids[row]), int(group_rows[row])
        node_type = types.get(int(type_ids[row]), {})
        attributes = {}
        for name in ("morphology",) + PLACEMENT:
            if (group_id, name) in values:
                attributes[name] = values[(group_id, name)][group_row]
            elif node_type.get(name) not in (None, "", "NULL", "None"):
                attributes[name] = node_type[name]
        morphology = attributes.pop("morphology", None)
        if morphology is None:
            raise SonataError(f"node {population.name}[{node_id}]: no morphology attribute")
        try:
            placement = {name: float(_text(value)) for name, value in attributes.items()}
        except ValueError as error:
            raise SonataError(f"node {population.name}[{node_id}]: {error}") from None
        nodes.append(Node(population.name, node_id, _text(morphology), placement))
    return nodes


def morphology_file(node, components):
    """The file of a node's morphology: its name (with or without extension)
    in the folder of its format. Raises SonataError naming what was looked
    for."""
    base, extension = os.path.splitext(node.morphology)
    known = [ext for _, ext in MORPHOLOGY_FORMATS]
    if extension.lower() not in known:
        base, extension = node.morphology, ""
    tried = []
    for key, ext in MORPHOLOGY_FORMATS:
        if extension and ext != extension.lower():
            continue
        folder = (components.get(key) if key == "morphologies_dir"
                  else components.get("alternate_morphologies", {}).get(key))
        if not folder:
            continue
        path = os.path.join(folder, base + (extension or ext))
        tried.append(path)
        if os.path.isfile(path):
            if ext not in IMPORT3D_READS:
                raise SonataError(
                    f"node {node.population}[{node.node_id}]: {path}: NEURON's Import3d "
                    "reads no h5v1 morphologies; give the circuit its SWC or Neurolucida files"
                )
            return path
    looked = ", ".join(tried) if tried else "the circuit names no morphology folder for it"
    raise SonataError(
        f"node {node.population}[{node.node_id}]: morphology {node.morphology!r} not found "
        f"({looked})"
    )


def rotation(attributes):
    """The rotation matrix of a node: its quaternion orientation_w/x/y/z
    when it has one, else its angles about the global z, then y, then x
    axis (radians)."""
    quaternion = [attributes.get(f"orientation_{k}") for k in "wxyz"]
    if any(q is not None for q in quaternion):
        w, x, y, z = (1.0 if q is None and k == 0 else q or 0.0 for k, q in enumerate(quaternion))
        norm = math.sqrt(w * w + x * x + y * y + z * z)
        if not (norm > 0 and math.isfinite(norm)):
            raise ValueError("the orientation quaternion is 0 or not finite")
        w, x, y, z = w / norm, x / norm, y / norm, z / norm
        return numpy.array([
            [1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w)],
            [2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w)],
            [2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y)],
        ])
    matrix = numpy.identity(3)
    for axis in "zyx":
        angle = attributes.get(f"rotation_angle_{axis}axis", 0.0)
        c, s = math.cos(angle), math.sin(angle)
        i, j = {"x": (1, 2), "y": (2, 0), "z": (0, 1)}[axis]
        turn = numpy.identity(3)
        turn[i, i] = turn[j, j] = c
        turn[j, i], turn[i, j] = s, -s
        matrix = turn @ matrix
    return matrix


class Shape:
    """One morphology built by Import3d, laid out for the data file once and
    shared by every node that uses it: its records (points where the file
    puts them), the section number of each record, whether a record runs
    against its section, and the soma's centre."""

    def __init__(self, path):
        from neuron import h

        import dendrovia_morphology

        self.path = path
        self.cell = dendrovia_morphology.load_morphology(path)
        laid_out = dendrovia_export._layout(h, self.cell.all)
        self.records, _ = dendrovia_export._geometry(laid_out, self.cell.names)
        number = {sec: k for k, sec in enumerate(self.cell.all)}
        self.section_numbers = [number[sec] for sec, _, _ in laid_out]
        self.flipped = [flipped for _, _, flipped in laid_out]
        self.names = [self.cell.names[sec] for sec in self.cell.all]
        self.points = [numpy.array(r.points, dtype=float).reshape(-1, 4) for r in self.records]
        self.centre = _soma_centre(self.cell)


def _soma_centre(cell):
    """Halfway along the soma's 3D points; the origin when there is no soma."""
    if not hasattr(cell, "soma"):
        return numpy.zeros(3)
    soma = cell.soma[0]
    n = int(soma.n3d())
    if n == 0:
        return numpy.zeros(3)
    points = numpy.array([(soma.x3d(i), soma.y3d(i), soma.z3d(i)) for i in range(n)])
    arcs = numpy.array([soma.arc3d(i) for i in range(n)])
    if arcs[-1] <= 0:
        return points.mean(axis=0)
    return numpy.array([numpy.interp(arcs[-1] / 2, arcs, points[:, k]) for k in range(3)])


class ReportPopulation:
    """One population of a compartment report: the layout of its values,
    checked, with nothing of `data` read yet."""

    def __init__(self, path, group):
        name = group.name.rsplit("/", 1)[-1]
        where = f"{path}: population {name}"
        self.name = name
        mapping = group.get("mapping")
        data = group.get("data")
        if mapping is None or data is None or "element_ids" not in mapping:
            raise SonataError(f"{where}: not a compartment report (no data or element_ids)")
        if data.ndim != 2 or data.dtype.kind != "f":
            raise SonataError(f"{where}: data is no table of floating-point numbers")
        self.data = data
        self.frames, self.columns = data.shape
        self.element_ids = mapping["element_ids"]
        self.element_pos = mapping.get("element_pos")
        for dataset in (self.element_ids, self.element_pos):
            if dataset is not None and dataset.shape != (self.columns,):
                raise SonataError(
                    f"{where}: {dataset.name.rsplit('/', 1)[-1]} has {dataset.shape} entries "
                    f"for {self.columns} columns of data"
                )
        if "node_ids" not in mapping:
            raise SonataError(f"{where}: no mapping/node_ids")
        self.node_ids = numpy.asarray(mapping["node_ids"][()], dtype=numpy.int64).reshape(-1)
        pointers = mapping.get("index_pointers", mapping.get("index_pointer"))
        if pointers is None:
            raise SonataError(f"{where}: no mapping/index_pointers")
        pointers = numpy.asarray(pointers[()], dtype=numpy.int64).reshape(-1)
        if len(pointers) == len(self.node_ids):
            pointers = numpy.append(pointers, self.columns)
        if (len(pointers) != len(self.node_ids) + 1 or (len(pointers) and pointers[0] < 0)
                or (numpy.diff(pointers) < 0).any() or pointers[-1] > self.columns):
            raise SonataError(
                f"{where}: index pointers do not split {self.columns} columns among "
                f"{len(self.node_ids)} nodes"
            )
        self.pointers = pointers
        self.row = {int(n): i for i, n in enumerate(self.node_ids)}
        times = numpy.asarray(mapping["time"][()], dtype=float) if "time" in mapping else []
        if len(times) != 3 or not numpy.isfinite(times).all() or (self.frames > 1 and
                                                                 not times[2] > 0):
            raise SonataError(f"{where}: mapping/time is no [start, stop, step]")
        scale = 1000.0 if _text(mapping["time"].attrs.get("units", "ms")).strip() == "s" else 1.0
        self.start, self.step = times[0] * scale, times[2] * scale
        self.unit = _text(data.attrs.get("units", "")).strip()

    def times(self, first, stop):
        return self.start + self.step * numpy.arange(first, stop, dtype=float)

    def columns_of(self, node_id):
        row = self.row[node_id]
        return int(self.pointers[row]), int(self.pointers[row + 1])


def node_columns(report, node, shape):
    """For every record of `shape` in file order, the number of segments,
    and the report's columns of all of them in file order. Raises
    SonataError for a report that does not fit the morphology."""
    label = f"node {node.population}[{node.node_id}]"
    first, stop = report.columns_of(node.node_id)
    ids = numpy.asarray(report.element_ids[first:stop], dtype=numpy.int64)
    count = len(shape.names)
    if len(ids) and (ids.min() < 0 or ids.max() >= count):
        wrong = int(ids.max() if ids.max() >= count else ids.min())
        raise SonataError(
            f"{label}: the report has values of section {wrong}; "
            f"{os.path.basename(shape.path)} has {count} sections"
        )
    starts = numpy.flatnonzero(numpy.diff(ids, prepend=-1))
    runs = {}
    for begin, end in zip(starts, list(starts[1:]) + [len(ids)]):
        section = int(ids[begin])
        if section in runs:
            raise SonataError(
                f"{label}: the values of section {shape.names[section]} are not together"
            )
        runs[section] = (begin, end)
    missing = [k for k in range(count) if k not in runs]
    if missing and len(ids) == 1 and count > 1:
        raise SonataError(f"{label}: the report holds one value of the cell: "
                          "a soma report, not a compartment report")
    if missing:
        raise SonataError(f"{label}: section {shape.names[missing[0]]} has no values in the "
                          "report (was it made with another morphology?)")
    positions = None
    if report.element_pos is not None:
        positions = numpy.asarray(report.element_pos[first:stop], dtype=float)
    segments, columns = [], []
    for number, flipped in zip(shape.section_numbers, shape.flipped):
        begin, end = runs[number]
        order = numpy.arange(begin, end)
        if positions is not None:
            order = order[numpy.argsort(positions[begin:end], kind="stable")]
            centres = (numpy.arange(end - begin) + 0.5) / (end - begin)
            if numpy.abs(positions[order] - centres).max() > POSITION_TOLERANCE:
                raise SonataError(
                    f"{label}: section {shape.names[number]}'s {end - begin} columns are not "
                    f"its {end - begin} segments (positions "
                    f"{', '.join(f'{p:g}' for p in positions[begin:end][:6])})"
                )
        segments.append(end - begin)
        columns.append(first + (order[::-1] if flipped else order))
    return segments, numpy.concatenate(columns)


def placed_records(node, shape, segments, offset):
    """The records of a node: named `population[id].section`, parents moved
    by `offset`, points turned about the soma and moved to x, y, z."""
    attributes = node.attributes
    try:
        matrix = rotation(attributes)
    except ValueError as error:
        raise SonataError(f"node {node.population}[{node.node_id}]: {error}") from None
    centre = shape.centre if attributes.get("recenter", 1) != 0 else numpy.zeros(3)
    position = numpy.array([attributes.get(k, 0.0) for k in "xyz"])
    records = []
    for record, points, count in zip(shape.records, shape.points, segments):
        placed = points.copy()
        placed[:, :3] = (points[:, :3] - centre) @ matrix.T + position
        records.append(SectionRecord(
            f"{node.population}[{node.node_id}].{record.name}",
            record.parent + offset if record.parent >= 0 else -1,
            record.length, count, [tuple(p) for p in placed.tolist()],
        ))
    return records


def read_spans(columns):
    """Runs of columns (start, stop) to read, merging runs closer than
    READ_THROUGH, and where every wanted column lies in what they give."""
    wanted = numpy.unique(columns)
    breaks = numpy.flatnonzero(numpy.diff(wanted) > READ_THROUGH) + 1
    spans = [(int(run[0]), int(run[-1]) + 1) for run in numpy.split(wanted, breaks)]
    offsets = numpy.cumsum([0] + [stop - start for start, stop in spans])
    starts = numpy.array([start for start, _ in spans])
    span = numpy.searchsorted(starts, columns, side="right") - 1
    return spans, offsets[span] + columns - starts[span]


class Progress:
    """Lines on standard error for conversions that take a while."""

    def __init__(self, prog, total):
        self.prog, self.total = prog, total
        self.started = time.monotonic()
        self.next = self.started + PROGRESS_AFTER
        self.shown = False

    def __call__(self, done):
        now = time.monotonic()
        if now >= self.next and done < self.total:
            self.next = now + PROGRESS_AFTER
            self.shown = True
            print(f"{self.prog}: {100 * done // self.total}% ({done} of {self.total} frames)",
                  file=sys.stderr, flush=True)

    def end(self):
        if self.shown:
            print(f"{self.prog}: done in {time.monotonic() - self.started:.1f} s",
                  file=sys.stderr, flush=True)


Summary = namedtuple("Summary", "path cells sections segments frames unit minimum maximum")


def _chosen(report_file, selection, path):
    """(ReportPopulation, node ids) for every population chosen: `selection`
    maps populations to node ids (None: all, by id); default every
    population of the report."""
    group = report_file.get("report")
    if group is None or not len(group):
        raise SonataError(f"{path}: no /report group: not a SONATA compartment report")
    names = list(group)
    chosen = []
    for name, ids in (selection or {name: None for name in names}).items():
        if name not in group:
            raise SonataError(f"{path}: no population {name!r} (it has {', '.join(names)})")
        population = ReportPopulation(path, group[name])
        if ids is None:
            ids = sorted(population.row)
        for node_id in ids:
            if node_id not in population.row:
                raise SonataError(f"{path}: node {name}[{node_id}] is not in the report")
        chosen.append((population, ids))
    return chosen


def _cells(chosen, circuit):
    """The records of every chosen node, one after the other, and per
    population its report and the columns of its values in file order."""
    from dendrovia_morphology import MorphologyError

    populations = circuit_populations(circuit)
    shapes, records, reads = {}, [], []
    for report, ids in chosen:
        if report.name not in populations:
            raise SonataError(f"{circuit.path}: the circuit has no node population "
                              f"{report.name!r}")
        population = populations[report.name]
        columns = []
        for node in read_nodes(population, ids):
            path = morphology_file(node, population.components)
            if path not in shapes:
                try:
                    shapes[path] = Shape(path)
                except MorphologyError as error:
                    raise SonataError(f"node {node.population}[{node.node_id}]: "
                                      f"{error}") from None
            segments, taken = node_columns(report, node, shapes[path])
            records += placed_records(node, shapes[path], segments, len(records))
            columns.append(taken)
        reads.append((report, numpy.concatenate(columns)))
    return records, reads


def _stream(reads, header, output, prog):
    """Writes the file through a temporary one beside it, which replaces
    `output` only when every frame is written. Returns the writer."""
    frame_count = reads[0][0].frames
    plans = [(report, *read_spans(columns)) for report, columns in reads]
    # Bytes per frame: what is read, and the doubles written.
    width = sum(report.data.dtype.itemsize * sum(b - a for a, b in spans)
                + 16 * offsets.size for report, spans, offsets in plans)
    block = max(1, BLOCK_BYTES // width)
    mask = os.umask(0)
    os.umask(mask)
    handle, partial = tempfile.mkstemp(prefix=f".{os.path.basename(output)}.", suffix=".part",
                                       dir=os.path.dirname(os.path.abspath(output)))
    os.close(handle)
    progress = Progress(prog, frame_count)
    try:
        os.chmod(partial, 0o666 & ~mask)
        with dendrovia_export.DataFileWriter(partial, header) as writer:
            for first in range(0, frame_count, block):
                stop = min(first + block, frame_count)
                parts = []
                for report, spans, offsets in plans:
                    read = [report.data[first:stop, start:end] for start, end in spans]
                    parts.append(numpy.concatenate(read, axis=1)[:, offsets])
                values = parts[0] if len(parts) == 1 else numpy.concatenate(parts, axis=1)
                writer.write_frames(plans[0][0].times(first, stop), values)
                progress(stop)
        os.replace(partial, output)
    except BaseException:
        os.unlink(partial)
        raise
    progress.end()
    return writer


def convert(report_path, circuit, output, selection=None, variable=None, unit=None,
            prog="dendrovia_sonata"):
    """Writes `output` from the report at `report_path` on the circuit
    Config `circuit`: every node of `selection` (population -> node ids or
    None for all; default every node of the report). `variable` names the
    values in the description; `unit` stands for a report without one. The
    file appears only when the conversion succeeds. Raises SonataError for
    input that does not fit, OSError for files that cannot be read or
    written. Returns a Summary."""
    import h5py

    try:
        report_file = h5py.File(report_path, "r")
    except FileNotFoundError:
        raise SonataError(f"{report_path}: no such file") from None
    except OSError as error:
        raise SonataError(f"{report_path}: not an HDF5 file: {error}") from None
    with report_file:
        chosen = _chosen(report_file, selection, report_path)
        records, reads = _cells(chosen, circuit)
        clocks = {(report.frames, report.start, report.step) for report, _ in reads}
        if len(clocks) > 1:
            raise SonataError(f"{report_path}: the populations have different frame times")
        if not reads[0][0].frames:
            raise SonataError(f"{report_path}: the report has no frames")
        units = {report.unit for report, _ in reads} - {""}
        if len(units) == 1:
            unit = units.pop()
        unit = unit or "1"
        cells = sum(len(ids) for _, ids in chosen)
        names = ", ".join(report.name for report, _ in chosen)
        description = (f"{os.path.basename(report_path)}: {variable + ' of ' if variable else ''}"
                       f"{names}, {cells} {'cell' if cells == 1 else 'cells'}")
        header = dendrovia_export.encode_header(description, unit, records)
        writer = _stream(reads, header, output, prog)
    return Summary(output, cells, len(records), writer.segment_count, writer.frame_count, unit,
                   writer.minimum, writer.maximum)


def simulation_report(simulation, name=None):
    """(report path, circuit Config, variable, unit) of a report of a
    simulation Config: the one called `name`, or its only report."""
    reports = simulation.get("reports") or {}
    if not reports:
        raise SonataError(f"{simulation.path}: the simulation has no reports")
    if name is None:
        if len(reports) > 1:
            raise SonataError(f"{simulation.path}: several reports, pick one with --report: "
                              f"{', '.join(reports)}")
        name = next(iter(reports))
    if name not in reports:
        raise SonataError(f"{simulation.path}: no report {name!r} (it has "
                          f"{', '.join(reports)})")
    settings = reports[name] or {}
    output = simulation.get("output", "output_dir")
    folder = simulation.resolve(output) if output else simulation.folder
    file_name = _text(settings.get("file_name") or name)
    if not os.path.splitext(file_name)[1]:
        file_name += ".h5"
    report_path = os.path.join(folder, file_name)
    network = simulation.get("network")
    if network is None and simulation.get("networks") is not None:
        circuit = simulation
    else:
        circuit = Config(simulation.resolve(network or "circuit_config.json"))
    return report_path, circuit, settings.get("variable_name"), settings.get("unit")


def parse_nodes(texts):
    """{population: [ids] or None} from POP or POP:ID,ID,... arguments."""
    selection = {}
    for text in texts or []:
        population, _, ids = text.partition(":")
        if not population:
            raise SonataError(f"--nodes {text!r}: write POPULATION or POPULATION:ID,ID,...")
        if not ids:
            selection[population] = None
            continue
        try:
            numbers = [int(i) for i in ids.split(",")]
        except ValueError:
            raise SonataError(f"--nodes {text!r}: node ids are whole numbers") from None
        current = selection.setdefault(population, [])
        if current is not None:
            current.extend(n for n in numbers if n not in current)
    return selection or None


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Converts a SONATA compartment report into a Dendrovia data file: the "
        "cells on their morphologies (built by NEURON's Import3d), placed as the circuit says."
    )
    parser.add_argument("source", help="a simulation config (.json), or a report (.h5) "
                        "with --circuit")
    parser.add_argument("-o", "--output", required=True, help="data file to write")
    parser.add_argument("--report", metavar="NAME",
                        help="which report of the simulation (when it has several)")
    parser.add_argument("--circuit", metavar="CIRCUIT_CONFIG", help="the circuit of a report")
    parser.add_argument("--nodes", action="append", metavar="POP[:ID,...]",
                        help="the cells to convert (default: every cell of the report); "
                        "may be repeated")
    args = parser.parse_args(argv)
    simulation = args.source.lower().endswith(".json")
    if simulation and args.circuit:
        parser.error("--circuit goes with a report file; a simulation config names its circuit")
    if not simulation and not args.circuit:
        parser.error("a report file needs --circuit CIRCUIT_CONFIG")
    if not simulation and args.report:
        parser.error("--report picks a report of a simulation config")
    os.environ.setdefault("NEURON_MODULE_OPTIONS", "-nogui")
    warnings.showwarning = lambda message, *_: print(
        f"{parser.prog}: warning: {message}", file=sys.stderr
    )
    output = os.path.abspath(args.output)
    try:
        selection = parse_nodes(args.nodes)
        variable = unit = None
        if simulation:
            report, circuit, variable, unit = simulation_report(Config(args.source), args.report)
        else:
            report, circuit = args.source, Config(args.circuit)
        summary = convert(report, circuit, output, selection, variable, unit, parser.prog)
    except (OSError, RuntimeError, ValueError) as error:
        sys.exit(f"{parser.prog}: {error}")
    print(
        f"{summary.path}: {summary.cells} cells, {summary.sections} sections, "
        f"{summary.segments} segments, {summary.frames} frames, from {summary.minimum:g} "
        f"to {summary.maximum:g} {summary.unit}"
    )


if __name__ == "__main__":
    main()
