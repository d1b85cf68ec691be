#!/usr/bin/env python3
"""Runs a NEURON simulation and writes it as a Dendrovia data file.

From a model script, once the model is built:

    import dendrovia_export
    dendrovia_export.export("cell.dat", variable="v", interval=0.1, tstop=50)

From the command line, with a model file that builds the model:

    python3 dendrovia_export.py MODEL.hoc|MODEL.py --tstop 50 --interval 0.1 \\
        --variable v -o cell.dat

or with a reconstructed morphology (SWC, Neurolucida, ...), which gets a
default biophysics and a current step (see dendrovia_morphology.py):

    python3 dendrovia_export.py --morphology cell.swc -o cell.dat

--scale and --unit multiply every value, for variables far from the
millivolt scale (a cai of 0.0001 mM is written as 0.1 uM with --scale 1000).
--mechanisms DIR compiles the model's .mod files (once, into a cache outside
DIR) and loads them first.

Networks written for NEURON's ParallelContext run under MPI as they are:

    mpiexec -n 4 python3 dendrovia_export.py network.py -o network.dat

initialises MPI (h.nrnmpi_init()) before loading the model, runs it with
ParallelContext.psolve, and writes one file with every cell (each process its
own cells' columns), the same for any number of processes; --per-cell DIR
writes one file per cell instead.

When the model uses the standard run system (stdrun.hoc), the run starts like
its run(): h.stdinit(), so the model's own init() and v_init apply. Every
`interval` ms one frame with the variable at every segment is appended to the
file, so a long run never sits in memory; the header's range is filled in when
the run ends (or is interrupted, in which case the file holds the frames
written so far). The model itself is never changed.
"""

import argparse
import math
import operator
import os
import runpy
import struct
import sys
import warnings
from collections import namedtuple

import numpy

SIGNATURE = "MTSD"
# A time unit factor below 1 labels times in milliseconds, NEURON's unit.
MILLISECONDS = 0.001
# The reader skips these bytes after every word, so no binary field that
# follows a word may begin with one of them.
WHITE_SPACE = b" \t\n\v\f\r"
MAX_WORD = 255
# The reader takes a line of at most 255 characters including its line feed.
MAX_DESCRIPTION = 254

# One section of the file. parent is the 0-based index of an earlier record or
# -1; points are (x, y, z, diameter) tuples from the end nearest the root.
SectionRecord = namedtuple("SectionRecord", "name parent length segment_count points")

# files: how many were written; processes: how many wrote them.
ExportSummary = namedtuple(
    "ExportSummary",
    "path sections segments frames unit variable_min variable_max files processes",
    defaults=(1, 1),
)


def _utf8_prefix(text, size):
    """The UTF-8 bytes of `text`, cut to at most `size` without splitting a
    character."""
    return text.encode()[:size].decode(errors="ignore").encode()


def word(text):
    """The bytes of `text` as a word of the file: white space becomes '_', NUL
    is dropped, the result is cut to 255 bytes. Raises ValueError if nothing
    is left."""
    data = _utf8_prefix("".join("_" if c.isspace() else c for c in text if c != "\0"), MAX_WORD)
    if not data:
        raise ValueError("a name or unit of the data file must not be empty")
    return data


def description_line(text):
    """The bytes of `text` as the one-line description: line breaks and other
    control characters become spaces, the result is cut to 254 bytes."""
    text = "".join(" " if ord(c) < 32 or c == "\x7f" else c for c in text)
    return _utf8_prefix(text, MAX_DESCRIPTION)


def after_word(value):
    """`value` as it may be stored right after a word: moved toward minus
    infinity until its first stored byte is not one the reader skips."""
    while math.isfinite(value) and struct.pack("<d", value)[0] in WHITE_SPACE:
        value = math.nextafter(value, -math.inf)
    return value


EncodedHeader = namedtuple("EncodedHeader", "data range_offset segment_count")


def encode_header(description, unit, sections, time_unit_factor=MILLISECONDS):
    """The header and section records of a file, its variable range 0 to 0.
    Raises ValueError for sections the reader could not take back."""
    child_counts = [0] * len(sections)
    for index, record in enumerate(sections):
        if not -1 <= record.parent < index:
            raise ValueError(f"section {index}: parent {record.parent} does not come earlier")
        if record.segment_count < 1 or not record.points:
            raise ValueError(f"section {index}: needs a segment and a point")
        if not math.isfinite(record.length) or record.length < 0:
            raise ValueError(f"section {index}: invalid length {record.length}")
        if record.parent >= 0:
            child_counts[record.parent] += 1
    segment_count = sum(record.segment_count for record in sections)
    data = bytearray(word(SIGNATURE) + b"\n")
    data += struct.pack("<d", 0.0)
    data += description_line(description) + b"\n"
    data += struct.pack("<dddd", len(sections), segment_count, 1.0, time_unit_factor)
    data += word(unit) + b"\n"
    range_offset = len(data)
    data += struct.pack("<dd", 0.0, 0.0)
    for record, child_count in zip(sections, child_counts):
        data += word(record.name) + b"\n"
        data += struct.pack(
            "<ddddddd",
            record.parent + 1,
            child_count,
            0.0,
            0.0,
            record.length,
            record.segment_count,
            len(record.points),
        )
        for point in record.points:
            data += struct.pack("<dddd", *point)
    return EncodedHeader(bytes(data), range_offset, segment_count)


def _widened(minimum, maximum, values):
    """The range from `minimum` to `maximum` widened to the finite `values`."""
    low, high = values.min(initial=math.inf), values.max(initial=-math.inf)
    if not (math.isfinite(low) and math.isfinite(high)):
        finite = values[numpy.isfinite(values)]
        if not finite.size:
            return minimum, maximum
        low, high = finite.min(), finite.max()
    return min(minimum, float(low)), max(maximum, float(high))


class DataFileWriter:
    """Writes a data file: the header and the sections at once, then frames,
    then the range of the values written in place in the header.

    `missing` (a boolean per segment) marks segments that lack the variable:
    they do not count toward the range and are written as its minimum once it
    is known. With keep_open false the file is opened for each write only, so
    that a process may write many files in turn.

    write_frame raises ValueError for a frame the reader could not take back;
    every method raises OSError when writing fails, the file is then
    incomplete."""

    def __init__(self, path, header, missing=None, keep_open=True):
        self.path = path
        self.segment_count = header.segment_count
        self.frame_count = 0
        self.last_time = -math.inf
        self.minimum = math.inf
        self.maximum = -math.inf
        self._range_offset = header.range_offset
        self._data_offset = len(header.data)
        self._present = None
        self._missing_runs = []
        if missing is not None and any(missing):
            missing = numpy.asarray(missing, dtype=bool)
            if len(missing) != self.segment_count:
                raise ValueError(f"{len(missing)} flags for {self.segment_count} segments")
            self._present = ~missing
            edges = numpy.flatnonzero(numpy.diff(numpy.concatenate(([0], missing, [0]))))
            self._missing_runs = list(zip(edges[::2], edges[1::2]))
        self._keep_open = keep_open
        self._file = open(path, "wb")
        try:
            self._file.write(header.data)
            if not keep_open:
                self._file.close()
        except BaseException:
            self._file.close()
            raise

    def _opened(self):
        if self._file.closed:
            self._file = open(self.path, "r+b")
            self._file.seek(0, os.SEEK_END)
        return self._file

    def write_frame(self, time, values):
        """Appends one frame: its time, later than the previous one, and one
        value per segment in section order."""
        if not (time > self.last_time and math.isfinite(time)):
            raise ValueError(f"frame time {time} does not follow {self.last_time}")
        if len(values) != self.segment_count:
            raise ValueError(f"{len(values)} values for {self.segment_count} segments")
        self.write_frames([time], [values])

    def write_frames(self, times, values):
        """Appends many frames at once: `times`, rising from after the previous
        frame's, and `values`, frames x segments (NumPy arrays or sequences)."""
        times = numpy.asarray(times, dtype="<f8")
        values = numpy.asarray(values)
        if values.shape != (len(times), self.segment_count):
            raise ValueError(f"values of shape {values.shape} for {len(times)} frames of "
                             f"{self.segment_count} segments")
        # The records as they are stored, built in place: one copy of the values.
        rows = numpy.empty((len(times), self.segment_count + 1), dtype="<f8")
        rows[:, 0] = times
        rows[:, 1:] = values
        self.write_rows(rows)

    def write_rows(self, rows):
        """Appends frames given as the records they are stored as: an array of
        rows of the time, then one value per segment. The values of segments
        without the variable are overwritten."""
        if not len(rows):
            return
        times = rows[:, 0]
        steps = numpy.diff(times, prepend=self.last_time)
        if not (numpy.isfinite(times).all() and (steps > 0).all()):
            raise ValueError(f"frame times from {times[0]} do not rise from {self.last_time}")
        values = rows[:, 1:]
        if self._present is not None:
            values[:, ~self._present] = 0.0
            values = values[:, self._present]
        file = self._opened()
        try:
            file.write(memoryview(numpy.ascontiguousarray(rows, dtype="<f8")))
        finally:
            if not self._keep_open:
                file.close()
        self.last_time = float(times[-1])
        self.frame_count += len(rows)
        self.minimum, self.maximum = _widened(self.minimum, self.maximum, values)

    def close(self):
        """Writes the range of the finite values written (0 to 0 if there were
        none) into the header, the segments without the variable as its
        minimum, and closes the file."""
        if self._file is None:
            return
        low, high = self.minimum, self.maximum
        if not low <= high:
            low = high = 0.0
        low = after_word(low)
        try:
            file = self._opened()
            frame_size = 8 * (self.segment_count + 1)
            for start, stop in self._missing_runs:
                run = struct.pack("<d", low) * int(stop - start)
                for k in range(self.frame_count):
                    file.seek(self._data_offset + k * frame_size + 8 * (1 + int(start)))
                    file.write(run)
            file.seek(self._range_offset)
            file.write(struct.pack("<dd", low, high))
        finally:
            self._file.close()
            self._file = None

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()


def _unit(h, variable):
    if variable == "v":
        return "mV"
    # units() reports an unknown name on stderr, so ask only about known ones.
    if not h.name_declared(variable):
        return "1"
    try:
        return h.units(variable) or "1"
    except RuntimeError:
        return "1"


# Decimal exponent of each unit prefix a power of 1000 away from the next;
# NEURON writes micro as u.
PREFIXES = {"p": -12, "n": -9, "u": -6, "m": -3, "": 0, "k": 3, "M": 6, "G": 9}
# Units that take a prefix, as NEURON's mechanisms write them (M is molar).
BASE_UNITS = ("A", "V", "M", "S", "F", "mho", "ohm", "mol", "g", "m", "s", "Hz", "C", "L")
# The Control Window shows values with three decimals by default.
SHOWN_DECIMALS = 3


def _power_of_1000(factor):
    """k when |factor| is 1000**k for a whole k, else None."""
    if not (math.isfinite(factor) and factor != 0):
        return None
    k = round(math.log10(abs(factor)) / 3)
    return k if math.isclose(abs(factor), 1000.0**k, rel_tol=1e-12) else None


def prefixed_unit(unit, factor):
    """The unit of values multiplied by `factor`: the prefix of `unit`'s first
    factor moved by a power of 1000 (mM x 1000 = uM, mA/cm2 x 1000 = uA/cm2,
    mV x 0.001 = V). None when `factor` is no power of 1000, the unit has no
    known prefix or the new one is outside the table."""
    k = _power_of_1000(factor)
    head = len(unit) - len(unit.lstrip("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"))
    letters, rest = unit[:head], unit[head:]
    if k is None or not letters:
        return None
    if letters in BASE_UNITS:
        prefix, base = "", letters
    elif letters[0] in PREFIXES and letters[1:] in BASE_UNITS:
        prefix, base = letters[0], letters[1:]
    else:
        return None
    exponent = PREFIXES[prefix] - 3 * k
    new = next((p for p, e in PREFIXES.items() if e == exponent), None)
    return None if new is None else new + base + rest


def range_hint(minimum, maximum, unit):
    """A suggestion when a range shows as 0.000 at the Control Window's three
    decimals: the smallest power of 1000 that brings its largest magnitude to
    0.1 or more, and the unit that factor gives. None when the range shows."""
    largest = max(abs(minimum), abs(maximum))
    if not (0 < largest < 0.5 * 10**-SHOWN_DECIMALS):
        return None
    factor = 1000.0
    while largest * factor < 0.1:
        factor *= 1000.0
    text = (
        f"the values range from {minimum:g} to {maximum:g} {unit}, which shows as "
        f"{0:.{SHOWN_DECIMALS}f}: try --scale {factor:g}"
    )
    new = prefixed_unit(unit, factor)
    return text + (f" (in {new})" if new else " with --unit")


def _cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def _normalized(a):
    n = math.sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2])
    return (a[0] / n, a[1] / n, a[2] / n) if n > 1e-12 else None


def _place(points, fraction):
    """Point and outward direction at `fraction` of the path along `points`."""
    lengths = [math.dist(points[i][:3], points[i + 1][:3]) for i in range(len(points) - 1)]
    total = sum(lengths)
    if total <= 0:
        return tuple(points[0][:3]), (1.0, 0.0, 0.0)
    last = max(i for i, length in enumerate(lengths) if length > 0)
    left = fraction * total
    for i, length in enumerate(lengths):
        if length > 0 and (left <= length or i == last):
            a, b = points[i][:3], points[i + 1][:3]
            q = min(max(left / length, 0.0), 1.0)
            where = tuple(a[k] + q * (b[k] - a[k]) for k in range(3))
            return where, _normalized(tuple(b[k] - a[k] for k in range(3)))
        left -= length


def _fan(direction, kind, index, count):
    """Direction of the index-th of `count` sections that leave a parent running
    along `direction`: onward from its far end, backward from its near end or
    sideways from inside, spread so that they do not overlap."""
    # Turn about the axis perpendicular to the parent that is nearest to z, so
    # that a drawing in the x-y plane stays in it.
    for guess in ((0.0, 0.0, 1.0), (1.0, 0.0, 0.0), (0.0, 1.0, 0.0)):
        along = sum(g * d for g, d in zip(guess, direction))
        axis = _normalized(tuple(g - along * d for g, d in zip(guess, direction)))
        if axis is not None and abs(along) < 0.99:
            break
    if kind == "end":
        base = direction
    elif kind == "start":
        base = tuple(-d for d in direction)
    else:
        base = _cross(axis, direction)
    side = _cross(axis, base)
    angle = (index - (count - 1) / 2) * min(math.pi / 4, 2 * math.pi / count)
    return tuple(math.cos(angle) * base[k] + math.sin(angle) * side[k] for k in range(3))


def _straight_points(sec, segments, start, direction):
    """A straight line of sec.L from `start`: both ends and every segment's
    centre, with the segments' diameters."""
    n = len(segments)
    where = [0.0] + [(j + 0.5) * sec.L / n for j in range(n)] + [sec.L]
    diameters = [segments[0].diam] + [seg.diam for seg in segments] + [segments[-1].diam]
    return [
        (start[0] + s * direction[0], start[1] + s * direction[1], start[2] + s * direction[2], d)
        for s, d in zip(where, diameters)
    ]


def _layout(h, sections):
    """Sections in depth-first order from each root, children in creation
    order: (section, parent index, flipped) per record, flipped when the
    section hangs by its 1-end."""
    order = {sec: i for i, sec in enumerate(h.allsec())}
    chosen = sorted(set(sections), key=lambda sec: order[sec])
    parent_of = {}
    children = {sec: [] for sec in chosen}
    for sec in chosen:
        segment = sec.parentseg()
        if segment is not None and segment.sec in children:
            parent_of[sec] = segment.sec
            children[segment.sec].append(sec)
    laid_out = []
    index = {}
    for root in (sec for sec in chosen if sec not in parent_of):
        stack = [root]
        while stack:
            sec = stack.pop()
            index[sec] = len(laid_out)
            parent = index[parent_of[sec]] if sec in parent_of else -1
            flipped = sec.parentseg() is not None and sec.orientation() == 1
            laid_out.append((sec, parent, flipped))
            stack.extend(reversed(children[sec]))
    return laid_out


def _geometry(laid_out, names):
    """The file records, named by `names` (a mapping from section to name)
    where it has them, and the segments of every record in file order.
    Points run from the end nearest the root outward."""
    records = []
    segment_lists = []
    children = [[] for _ in laid_out]
    for sec, parent, _ in laid_out:
        if parent >= 0:
            children[parent].append(sec)
    placed = {}
    for (sec, parent, flipped), kids in zip(laid_out, children):
        segments = list(sec)
        if flipped:
            segments.reverse()
        n3d = int(sec.n3d())
        if n3d > 0:
            points = [(sec.x3d(i), sec.y3d(i), sec.z3d(i), sec.diam3d(i)) for i in range(n3d)]
            if flipped:
                points.reverse()
        else:
            start, direction = placed.pop(sec, ((0.0, 0.0, 0.0), (1.0, 0.0, 0.0)))
            points = _straight_points(sec, segments, start, direction)
        name = names.get(sec) or sec.name()
        records.append(SectionRecord(name, parent, sec.L, len(segments), points))
        segment_lists.append(segments)
        placed.update(_place_children(kids, flipped, points))
    return records, segment_lists


def _place_children(children, flipped, points):
    """Start and direction of each child without 3D points, from where it
    hangs on its parent (given by the parent's file points)."""
    groups = {}
    for child in children:
        if child.n3d() == 0:
            x = child.parentseg().x
            fraction = 1.0 - x if flipped else x
            kind = "end" if fraction > 1 - 1e-9 else "start" if fraction < 1e-9 else "inside"
            groups.setdefault(kind, []).append((child, fraction))
    placed = {}
    for kind, members in groups.items():
        for index, (child, fraction) in enumerate(members):
            start, direction = _place(points, fraction)
            placed[child] = (start, _fan(direction, kind, index, len(members)))
    return placed


def _presence(variable, segments):
    """Whether each segment has the range variable."""
    get = operator.attrgetter(variable)
    present = []
    for seg in segments:
        try:
            present.append(isinstance(get(seg), float))
        except (AttributeError, NameError, TypeError, RuntimeError):
            present.append(False)
    return present


def _sampler(variable, segment_lists, scale=1.0):
    """A function that returns the variable times `scale` at every segment in
    file order, as an array; 0 where a segment lacks it. NEURON copies the
    values through pointers, so a frame costs no Python call per segment."""
    from neuron import h

    flat = [seg for segments in segment_lists for seg in segments]
    present = _presence(variable, flat)
    get = operator.attrgetter(variable)
    owner_path, _, name = variable.rpartition(".")
    owner = operator.attrgetter(owner_path) if owner_path else (lambda seg: seg)
    pointers, pointer_columns, slow = [], [], []
    for column, (seg, has) in enumerate(zip(flat, present)):
        if not has:
            continue
        try:
            pointers.append(getattr(owner(seg), "_ref_" + name))
            pointer_columns.append(column)
        except (AttributeError, NameError, TypeError, RuntimeError):
            slow.append((column, seg))
    gatherer = h.PtrVector(max(1, len(pointers)))
    for index, pointer in enumerate(pointers):
        gatherer.pset(index, pointer)
    buffer = h.Vector(max(1, len(pointers)))
    # A view of the buffer, which gather fills in place.
    gathered = buffer.as_numpy()[: len(pointers)]
    pointer_columns = numpy.array(pointer_columns, dtype=numpy.intp)
    present_columns = numpy.flatnonzero(present)

    def sample():
        values = numpy.zeros(len(flat))
        if pointers:
            gatherer.gather(buffer)
            values[pointer_columns] = gathered
        for column, seg in slow:
            values[column] = get(seg)
        if scale != 1:
            values[present_columns] *= scale
        return values

    return sample


class _Ranks:
    """The processes of the run as NEURON's ParallelContext sees them: one
    when MPI is not initialised. Rank 0 gathers and decides."""

    def __init__(self, h):
        self.pc = h.ParallelContext()
        self.rank = int(self.pc.id())
        self.size = int(self.pc.nhost())

    def gather(self, item):
        """Everybody's `item` in rank order on rank 0, None elsewhere."""
        return self.pc.py_gather(item, 0) if self.size > 1 else [item]

    def share(self, item):
        """Rank 0's `item`, on every rank."""
        return self.pc.py_broadcast(item, 0) if self.size > 1 else item

    def total(self, number):
        return int(self.pc.allreduce(number, 1)) if self.size > 1 else number

    def any(self, flag):
        return bool(self.pc.allreduce(1 if flag else 0, 2)) if self.size > 1 else bool(flag)


def _gids(h):
    """Root section -> gid, for the cells on this process that are a spike
    source registered with ParallelContext (the smallest gid if several)."""
    gids = {}
    for connection in h.List("NetCon"):
        gid = int(connection.srcgid())
        source = connection.preseg() if gid >= 0 else None
        if source is not None:
            root = h.SectionRef(sec=source.sec).root
            gids[root] = min(gid, gids.get(root, gid))
    return gids


# One cell of the file: a connected tree of sections. key orders the cells the
# same way whatever the number of processes: by gid, then the cells without one
# by process and creation.
_Cell = namedtuple("_Cell", "key gid records segments")


def _cells(h, sections, names, gids, rank):
    """The cells among `sections`, in file order, each with its own records
    (parents counted within the cell) and segments."""
    laid_out = _layout(h, sections)
    roots = [i for i, (_, parent, _) in enumerate(laid_out) if parent < 0] + [len(laid_out)]
    cells = []
    for index, (first, end) in enumerate(zip(roots, roots[1:])):
        tree = [(sec, parent - first if parent >= 0 else -1, flipped)
                for sec, parent, flipped in laid_out[first:end]]
        records, segment_lists = _geometry(tree, names)
        gid = gids.get(tree[0][0])
        key = (0, gid, 0) if gid is not None else (1, rank, index)
        cells.append(_Cell(key, gid, records, segment_lists))
    cells.sort(key=lambda cell: cell.key)
    return cells


# Frames go to the files in blocks of about this size, so that no process
# holds more than a block whatever the length of the run.
BLOCK_BYTES = 4 * 1024 * 1024


def _block_rows(segment_count):
    return max(1, BLOCK_BYTES // (8 * (segment_count + 1)))


def _runs(here, there):
    """Runs of consecutive indices `here` whose `there` are consecutive too:
    (first here, first there, count)."""
    if not len(here):
        return []
    breaks = numpy.flatnonzero((numpy.diff(here) != 1) | (numpy.diff(there) != 1)) + 1
    starts = numpy.concatenate(([0], breaks))
    ends = numpy.concatenate((breaks, [len(here)]))
    return [(int(here[a]), int(there[a]), int(b - a)) for a, b in zip(starts, ends)]


class _Frames:
    """Frames of this process's segments collected into a block; `flush`
    writes the block. Closing after a failure on one of several processes
    skips the steps they would take together: the others never come."""

    def __init__(self, rows, columns):
        self.block = numpy.empty((rows, columns))
        self.times = []

    def room(self):
        return len(self.block) - len(self.times)

    def add(self, time, values):
        self.block[len(self.times)] = values
        self.times.append(time)

    def __enter__(self):
        return self

    def __exit__(self, kind, *_):
        complete = kind is None or self.ranks.size == 1
        try:
            if complete:
                self.flush()
        finally:
            self.close(complete)


class _OneFile(_Frames):
    """Every process's cells in one file. The layout is gathered once on rank
    0, which writes the header; then a lone process writes its frames as they
    come, and under MPI every process writes its own columns of every frame of
    its blocks at their place in the file, so that no process waits for
    another to write. The range is agreed on at the end."""

    def __init__(self, path, cells, present, description, unit, ranks):
        self.ranks = ranks
        self.writer = None
        self.fd = None
        layout = ranks.gather(
            [(cell.key, [tuple(r) for r in cell.records],
              sum(len(s) for s in cell.segments)) for cell in cells]
        )
        presence = ranks.gather(present)
        error = plan = None
        if ranks.rank == 0:
            entries = sorted(
                (key, rank, records, count)
                for rank, cells_of_rank in enumerate(layout)
                for key, records, count in cells_of_rank
            )
            # Where each cell's columns begin in its process's frames.
            records, start = [], 0
            local_first = [{} for _ in layout]
            for rank, cells_of_rank in enumerate(layout):
                offset = 0
                for key, _, count in cells_of_rank:
                    local_first[rank][key] = offset
                    offset += count
            # Where each process's columns go in the file's frames.
            place = [numpy.empty(len(p), dtype=numpy.intp) for p in presence]
            for key, rank, cell_records, count in entries:
                base = len(records)
                records += [SectionRecord(name, parent + base if parent >= 0 else -1,
                                          length, segments, points)
                            for name, parent, length, segments, points in cell_records]
                first = local_first[rank][key]
                place[rank][first:first + count] = numpy.arange(start, start + count)
                start += count
            self.records = records
            try:
                header = encode_header(description, unit, records)
                if ranks.size == 1:
                    self.writer = DataFileWriter(path, header, ~numpy.asarray(present, bool))
                else:
                    with open(path, "wb") as f:
                        f.write(header.data)
                    plan = (len(header.data), header.range_offset, start, place)
            except (OSError, ValueError) as failure:
                error = failure
        failure = ranks.share(None if error is None else (type(error), str(error)))
        if failure is not None:
            raise failure[0](failure[1])
        if ranks.size == 1:
            super().__init__(1, len(present))
            return
        self.data_offset, self.range_offset, self.segment_count, place = ranks.share(plan)
        self._plan_columns(place[ranks.rank], present)
        try:
            self.fd = os.open(path, os.O_WRONLY)
        except OSError as failure:
            error = failure
        if ranks.any(error is not None):
            raise error or OSError(f"another process could not open {path}")
        super().__init__(_block_rows(self.segment_count), len(present))
        # The block's frames as this process's part of the file's records.
        self.rows = numpy.empty((len(self.block), 1 + len(present)), dtype="<f8")
        self.row_bytes = memoryview(self.rows).cast("B")

    def _plan_columns(self, place, present):
        """Runs of this process's rows (the time, then its columns) that lie
        side by side in the file's records, in bytes: (first here, first
        there, length); and the runs of columns that lack the variable."""
        present = numpy.asarray(present, dtype=bool)
        local = numpy.arange(len(place) + 1)
        there = numpy.concatenate(([0], numpy.asarray(place) + 1))
        if self.ranks.rank:
            # Rank 0 writes the times.
            local, there = local[1:], there[1:]
        self.runs = [(8 * first, 8 * at, 8 * n) for first, at, n in _runs(local, there)]
        lacking = numpy.flatnonzero(~present)
        self.missing_runs = _runs(lacking + 1, there[lacking + (0 if self.ranks.rank else 1)])
        self.lacking = lacking
        self.present = present
        self.frame_count = 0
        self.minimum, self.maximum = math.inf, -math.inf

    def flush(self):
        count = len(self.times)
        if not count:
            return
        if self.writer is not None:
            rows = numpy.empty((count, self.writer.segment_count + 1))
            rows[:, 0] = self.times
            rows[:, 1:] = self.block[:count]
            self.writer.write_rows(rows)
        else:
            rows = self.rows[:count]
            rows[:, 0] = self.times
            rows[:, 1:] = self.block[:count]
            rows[:, 1 + self.lacking] = 0.0
            # A write per run of columns and frame, straight from the rows:
            # these calls are most of what a process adds to the simulation.
            data, fd, pwrite = self.row_bytes, self.fd, os.pwrite
            row_size = 8 * rows.shape[1]
            frame_size = 8 * (self.segment_count + 1)
            at = self.data_offset + self.frame_count * frame_size
            for here in range(0, count * row_size, row_size):
                for first, there, size in self.runs:
                    pwrite(fd, data[here + first:here + first + size], at + there)
                at += frame_size
            self.frame_count += count
            values = rows[:, 1:]
            if self.lacking.size:
                values = values[:, self.present]
            self.minimum, self.maximum = _widened(self.minimum, self.maximum, values)
        self.times = []

    def close(self, complete=True):
        if self.writer is not None:
            self.writer.close()
        if self.fd is None:
            return
        try:
            if complete:
                # Every process has written its frames: the range, then the
                # columns without the variable as its minimum.
                self.minimum = self.ranks.pc.allreduce(self.minimum, 3)
                self.maximum = self.ranks.pc.allreduce(self.maximum, 2)
                low, high = self.minimum, self.maximum
                if not low <= high:
                    low = high = 0.0
                low = after_word(low)
                frame_size = 8 * (self.segment_count + 1)
                for _, there, n in self.missing_runs:
                    run = struct.pack("<d", low) * n
                    for k in range(self.frame_count):
                        os.pwrite(self.fd, run, self.data_offset + k * frame_size + 8 * there)
                if self.ranks.rank == 0:
                    os.pwrite(self.fd, struct.pack("<dd", low, high), self.range_offset)
        finally:
            os.close(self.fd)
            self.fd = None

    def summary(self, path, unit):
        summary = None
        if self.writer is not None:
            w = self.writer
            summary = ExportSummary(path, len(self.records), w.segment_count, w.frame_count,
                                    unit, w.minimum, w.maximum, 1, 1)
        elif self.ranks.rank == 0:
            summary = ExportSummary(path, len(self.records), self.segment_count,
                                    self.frame_count, unit, self.minimum, self.maximum, 1,
                                    self.ranks.size)
        return self.ranks.share(summary)


def _file_name(text):
    """`text` as a file name: no folders, no white space."""
    name = "".join("_" if c.isspace() or c in "/\\\0" else c for c in text).strip(".")
    return name or "cell"


class _FilePerCell(_Frames):
    """One file for each cell, named after its gid or its root section,
    written by the process that has the cell."""

    def __init__(self, folder, cells, present, description, unit, ranks):
        self.ranks = ranks
        self.writers = []
        wanted = ranks.gather([(cell.key, f"cell{cell.gid}" if cell.gid is not None
                                else _file_name(cell.records[0].name)) for cell in cells])
        names = None
        if ranks.rank == 0:
            names, taken = {}, set()
            for key, name in sorted(pair for pairs in wanted for pair in pairs):
                unique, n = name, 1
                while unique in taken:
                    n += 1
                    unique = f"{name}-{n}"
                taken.add(unique)
                names[key] = unique + ".dat"
        names = ranks.share(names)
        self.slices = []
        first = 0
        error = None
        try:
            os.makedirs(folder, exist_ok=True)
            for cell in cells:
                count = sum(len(s) for s in cell.segments)
                header = encode_header(description, unit, cell.records)
                missing = ~numpy.asarray(present[first:first + count], dtype=bool)
                self.writers.append(DataFileWriter(os.path.join(folder, names[cell.key]),
                                                   header, missing, keep_open=False))
                self.slices.append(slice(first, first + count))
                first += count
        except (OSError, ValueError) as failure:
            error = failure
        if ranks.any(error is not None):
            raise error or OSError("another process could not write its files")
        self.sections = sum(len(cell.records) for cell in cells)
        super().__init__(_block_rows(len(present)), len(present))

    def flush(self):
        if self.times:
            for writer, columns in zip(self.writers, self.slices):
                writer.write_frames(self.times, self.block[: len(self.times), columns])
        self.times = []

    def close(self, complete=True):
        for writer in self.writers:
            writer.close()

    def summary(self, folder, unit):
        w = self.writers
        mine = (len(w), self.sections, sum(x.segment_count for x in w),
                min((x.minimum for x in w), default=math.inf),
                max((x.maximum for x in w), default=-math.inf),
                w[0].frame_count if w else 0)
        everybody = self.ranks.gather(mine)
        summary = None
        if everybody is not None:
            files, sections, segments, low, high, frames = zip(*everybody)
            summary = ExportSummary(folder, sum(sections), sum(segments), max(frames), unit,
                                    min(low), max(high), sum(files), self.ranks.size)
        return self.ranks.share(summary)


# At most this many section names in the warning about a variable they lack.
NAMED_SECTIONS = 10


def _warn_missing(variable, cells, present, ranks):
    """Warns (once, on rank 0) of the sections where the variable is missing,
    in file order."""
    lacking, column = [], 0
    for cell in cells:
        for index, (record, segments) in enumerate(zip(cell.records, cell.segments)):
            if not all(present[column:column + len(segments)]):
                lacking.append((cell.key, index, record.name))
            column += len(segments)
    everybody = ranks.gather(lacking)
    if everybody is None:
        return
    lacking = [name for _, _, name in sorted(entry for part in everybody for entry in part)]
    if lacking:
        shown = ", ".join(lacking[:NAMED_SECTIONS])
        if len(lacking) > NAMED_SECTIONS:
            shown += f" and {len(lacking) - NAMED_SECTIONS} more"
        warnings.warn(
            f"{len(lacking)} section(s) lack {variable}, written as the range's minimum: {shown}"
        )


def export(path, variable="v", interval=0.1, tstop=None, description=None, sections=None,
           v_init=None, unit=None, scale=1.0, names=None, per_cell=False):
    """Runs the simulation from initialisation to `tstop` ms (default h.tstop)
    and writes `path`: the sections (default all; any iterable of sections or a
    SectionList) and, every `interval` ms, the range variable `variable` at
    every segment. Initialises with h.finitialize(v_init) when v_init is
    given, else like the standard run system's run() when stdrun.hoc is loaded
    (h.stdinit(), so the model's init() and v_init apply), else with
    h.finitialize(). Every value is multiplied by `scale`. The unit is
    `unit` when given, else NEURON's for the variable, its prefix moved when
    `scale` is a power of 1000 (mM with scale 1000 gives uM); for another
    scale it stays as it is, with a warning. `names` maps sections to the
    names written for them (default: NEURON's names). The range in the header
    covers the segments that have the variable; the others are written as its
    minimum, and their sections named in a warning.

    Cells (connected trees of sections) come in the order of their gids where
    the model gave them one through ParallelContext, then the others in the
    order they were created. Under MPI every process calls export() with its
    own sections; the run goes through ParallelContext.psolve, and every
    process writes its cells' columns into the one file, identical for any
    number of processes. With `per_cell`,
    `path` is a folder that gets one file per cell, named cell<gid>.dat or
    after the cell's root section, each written by the process that has it.

    Raises ValueError before anything is written if the arguments do not fit
    the model (e.g. an interval that is no whole multiple of the fixed time
    step, or a variable that no segment has), and OSError if the file cannot
    be written. Returns an ExportSummary, the same on every process."""
    from neuron import h

    ranks = _Ranks(h)
    # Loading stdrun.hoc here would reset the model's tstop and v_init.
    standard = bool(h.name_declared("stdinit"))
    if tstop is None:
        if not h.name_declared("tstop"):
            raise ValueError("the model sets no tstop: give one")
        tstop = h.tstop
    tstop = float(tstop)
    if not (interval > 0 and math.isfinite(interval)):
        raise ValueError(f"interval must be positive, not {interval}")
    if not (tstop >= 0 and math.isfinite(tstop)):
        raise ValueError(f"tstop must not be negative, not {tstop}")
    if not (scale != 0 and math.isfinite(scale)):
        raise ValueError(f"the scale must be finite and not 0, not {scale}")
    gids = _gids(h)
    # Spikes cross between cells with gids only in ParallelContext's run.
    network = ranks.any(gids) or ranks.size > 1
    if network:
        ranks.pc.set_maxstep(10)
    if v_init is not None:
        h.finitialize(v_init)
    elif standard:
        h.stdinit()
    else:
        h.finitialize()
    cvode = h.CVode()
    variable_steps = bool(cvode.active())
    if not variable_steps:
        steps = interval / h.dt
        if round(steps) < 1 or abs(steps - round(steps)) > 1e-6 * steps:
            raise ValueError(
                f"interval {interval:g} ms is not a whole multiple of the time step "
                f"dt = {h.dt:g} ms (or use CVode)"
            )
    if network:
        advance_to = ranks.pc.psolve
    elif variable_steps:
        advance_to = cvode.solve
    else:
        advance = h.advance if standard else h.fadvance

        def advance_to(target):
            while h.t < target - 0.5 * h.dt:
                advance()

    cells = _cells(h, h.allsec() if sections is None else sections, names or {}, gids,
                   ranks.rank)
    if not ranks.total(len(cells)):
        raise ValueError("there are no sections to export")
    segment_lists = [segments for cell in cells for segments in cell.segments]
    present = _presence(variable, [seg for segments in segment_lists for seg in segments])
    if not ranks.total(sum(present)):
        raise ValueError(f"no segment has the range variable {variable!r}")
    sample = _sampler(variable, segment_lists, scale)
    if not unit:
        unit = _unit(h, variable)
        if scale != 1:
            prefixed = prefixed_unit(unit, scale)
            if prefixed is None and ranks.rank == 0:
                warnings.warn(f"values scaled by {scale:g}: the unit stays {unit}; give one")
            unit = prefixed or unit
    if description is None:
        description = f"NEURON {variable} ({unit}), {tstop:g} ms at {interval:g} ms per frame"
    _warn_missing(variable, cells, present, ranks)

    start = h.t
    frames = int(math.floor((tstop - start) / interval + 1e-9)) + 1 if tstop > start else 1
    output = (_FilePerCell if per_cell else _OneFile)(path, cells, present, description, unit,
                                                       ranks)

    def take():
        output.add(h.t, sample())
        if not output.room():
            output.flush()

    with output:
        take()
        k = 1
        while k < frames:
            if network:
                # Each solve ends with the processes exchanging spikes: one
                # solve per block, the frames inside it taken by events.
                last = min(frames - 1, k + output.room() - 1)
                for j in range(k, last):
                    cvode.event(start + j * interval, take)
            else:
                last = k
            advance_to(start + last * interval)
            take()
            k = last + 1
    return output.summary(path, unit)


_loaded_models = []


def load_model(model, compiled=True):
    """Builds the model of a hoc file (.hoc, .nrn, .ses, ...) or a Python file
    (.py, run as a module named dendrovia_model, so its __main__ block is
    skipped), from within the model's directory; a Python file's globals stay
    alive with its sections. The mechanisms compiled in the model's folder
    (its x86_64/ from nrnivmodl) are loaded first, as NEURON itself does,
    unless `compiled` is false. Raises RuntimeError if hoc reports an error
    loading it."""
    from dendrovia_mechanisms import compiled_library

    model = os.path.abspath(model)
    folder = os.path.dirname(model)
    moved = os.path.realpath(folder) != os.path.realpath(os.getcwd())
    imported = "neuron" in sys.modules
    os.chdir(folder)
    # Importing neuron loads the mechanisms compiled in the current folder;
    # if it was imported elsewhere, those of the model's folder come now.
    from neuron import h

    library = compiled_library(folder)
    if compiled and moved and imported and library:
        _load_library(h, library)
    if model.endswith(".py"):
        sys.path.insert(0, folder)
        _loaded_models.append(runpy.run_path(model, run_name="dendrovia_model"))
    elif not h.load_file(1, model):
        raise RuntimeError(f"could not load {model}")


def _load_library(h, library):
    try:
        h.nrn_load_dll(library)
    except RuntimeError:
        raise RuntimeError(f"could not load the mechanisms of {library}") from None


# Set by the MPI launchers (Open MPI, MPICH and others through PMI, Slurm's
# srun through PMIx) in the processes they start.
MPI_LAUNCHER_VARIABLES = ("OMPI_COMM_WORLD_SIZE", "PMI_SIZE", "PMI_RANK", "PMIX_RANK",
                          "MV2_COMM_WORLD_SIZE")


def started_by_mpi():
    """Whether an MPI launcher (mpiexec, srun) started this process."""
    return any(name in os.environ for name in MPI_LAUNCHER_VARIABLES)


def _start_neuron(folder, mpi, mechanisms):
    """Imports NEURON in `folder`, so that it loads the mechanisms compiled
    there, initialises MPI before anything else when asked, then loads the
    mechanisms of the folder `mechanisms`, compiled into the cache. Returns
    hoc's h."""
    if folder is not None:
        os.chdir(folder)
    from neuron import h

    if mpi:
        h.nrnmpi_init()
    if mechanisms is not None:
        import dendrovia_mechanisms

        def announce(text):
            print(f"dendrovia_export: {text}", file=sys.stderr, flush=True)

        # Rank 0 compiles; the others load what it built or fail with it.
        ranks = _Ranks(h)
        outcome = None
        if ranks.rank == 0:
            try:
                outcome = (True, dendrovia_mechanisms.compile_mechanisms(
                    mechanisms, h.nrnversion(5), announce=announce))
            except dendrovia_mechanisms.MechanismError as error:
                outcome = (False, str(error))
        compiled, text = ranks.share(outcome)
        if not compiled:
            raise dendrovia_mechanisms.MechanismError(text)
        _load_library(h, text)
    return h


def _same_folder(a, b):
    try:
        return os.path.samefile(a, b)
    except OSError:
        return False


def _factor(text):
    """--scale's argument: a finite number other than 0."""
    try:
        value = float(text)
    except ValueError:
        value = math.nan
    if not (value != 0 and math.isfinite(value)):
        raise argparse.ArgumentTypeError(f"{text!r} is no finite factor other than 0")
    return value


def _build_morphology(args, morphology):
    """Loads --morphology with the default biophysics and stimulus; returns
    the cell and the stimulus, to be kept alive for the run, the tstop and
    the description."""
    from neuron import h

    h.load_file("stdrun.hoc")
    cell = morphology.load_morphology(args.morphology)
    biophysics = morphology.add_biophysics(cell)

    def given(value, default):
        return default if value is None else value

    amp = given(args.stimulus_amp, morphology.STIMULUS_AMP)
    delay = given(args.stimulus_delay, morphology.STIMULUS_DELAY)
    dur = given(args.stimulus_dur, morphology.STIMULUS_DUR)
    stimulus, site = morphology.add_stimulus(
        cell, args.stimulus_at or morphology.default_site(cell), amp, delay, dur
    )
    h.v_init = morphology.REST
    tstop = given(args.tstop, delay + dur + morphology.AFTER_STIMULUS)
    description = (
        f"{os.path.basename(args.morphology)}: {biophysics}, {amp:g} nA at {site} "
        f"{delay:g}-{delay + dur:g} ms"
    )
    if args.variable != "v":
        description += f"; {args.variable}"
    return (cell, stimulus), tstop, description


def main(argv=None):
    parser = argparse.ArgumentParser(
        description="Runs a NEURON model, or a reconstructed morphology with a default "
        "biophysics, and writes the simulation as a Dendrovia data file."
    )
    parser.add_argument("model", nargs="?",
                        help="a hoc file or a Python file that builds the model")
    parser.add_argument("-o", "--output", help="data file to write")
    parser.add_argument("--per-cell", metavar="DIR",
                        help="write one file per cell (a tree of sections) into DIR instead, "
                        "named cell<gid>.dat or after the cell's root section")
    parser.add_argument("--mechanisms", metavar="DIR",
                        help="compile the .mod files of DIR (once, into a cache outside it) "
                        "and load them before the model")
    parser.add_argument("--tstop", type=float,
                        help="end of the run in ms (default: tstop; for a morphology "
                        "20 ms after the stimulus)")
    parser.add_argument("--interval", type=float, default=0.1, help="ms between frames")
    parser.add_argument("--variable", default="v", help="range variable, e.g. v, ina, m_hh")
    parser.add_argument("--description", help="one line describing the simulation")
    parser.add_argument("--v-init", type=float, help="initialise with finitialize(V_INIT)")
    parser.add_argument("--scale", type=_factor, metavar="FACTOR",
                        help="multiply every value by FACTOR")
    parser.add_argument("--unit", metavar="TEXT", help="the values' unit (default: NEURON's, "
                        "its prefix moved by a --scale that is a power of 1000)")
    cell = parser.add_argument_group(
        "reconstructed morphology",
        "passive membrane, HH in soma and axon, nseg by d_lambda, a current step",
    )
    cell.add_argument("--morphology", metavar="FILE",
                      help="a morphology file Import3d reads: .swc, .asc (Neurolucida), "
                      ".nts (Eutectic), .xml (MorphML)")
    cell.add_argument("--stimulus-at", metavar="SECTION(X)",
                      help="where the current step goes (default: soma(0.5))")
    cell.add_argument("--stimulus-amp", type=float, metavar="NA", help="default 0.5 nA")
    cell.add_argument("--stimulus-delay", type=float, metavar="MS", help="default 5 ms")
    cell.add_argument("--stimulus-dur", type=float, metavar="MS", help="default 20 ms")
    args = parser.parse_args(argv)
    if (args.model is None) == (args.morphology is None):
        parser.error("give either a model file or --morphology")
    if (args.output is None) == (args.per_cell is None):
        parser.error("give either -o or --per-cell")
    import dendrovia_morphology as morphology

    if args.model is not None and os.path.splitext(args.model)[1].lower() in morphology.READERS:
        parser.error(f"{args.model} is a morphology: give it with --morphology")
    stimulus_options = (args.stimulus_at, args.stimulus_amp, args.stimulus_delay,
                        args.stimulus_dur)
    if args.model is not None and any(option is not None for option in stimulus_options):
        parser.error("the --stimulus options go with --morphology")
    # No windows: this runs in batch, also where no display can be opened.
    os.environ.setdefault("NEURON_MODULE_OPTIONS", "-nogui")
    # The paths given are taken from here; NEURON starts in another folder.
    output = os.path.abspath(args.output or args.per_cell)
    for name in ("model", "morphology"):
        if getattr(args, name) is not None:
            setattr(args, name, os.path.abspath(getattr(args, name)))
    mechanisms = None if args.mechanisms is None else os.path.abspath(args.mechanisms)
    folder = None if args.model is None else os.path.dirname(os.path.abspath(args.model))
    # A folder compiled here anew must not also load its own older x86_64/.
    compiled = not (mechanisms and folder and _same_folder(mechanisms, folder))
    mpi = started_by_mpi()
    warnings.showwarning = lambda message, *_: print(
        f"{parser.prog}: warning: {message}", file=sys.stderr
    )
    rank = 0
    try:
        if not compiled:
            # NEURON loads the x86_64/ of the folder it starts in.
            import dendrovia_mechanisms

            folder = dendrovia_mechanisms.cache_root()
            os.makedirs(folder, exist_ok=True)
        h = _start_neuron(folder, mpi, mechanisms)
        rank = int(h.ParallelContext().id())
        names = None
        if args.morphology is not None:
            alive, tstop, description = _build_morphology(args, morphology)
            names = alive[0].names
        else:
            load_model(args.model, compiled)

            tstop = args.tstop
            if tstop is None and h.name_declared("tstop"):
                tstop = h.tstop
            description = None
            if tstop is not None:
                description = (
                    f"{os.path.basename(args.model)}: {args.variable}, {tstop:g} ms "
                    f"at {args.interval:g} ms per frame"
                )
        if args.description is not None:
            description = args.description
        summary = export(
            output, args.variable, args.interval, tstop, description, v_init=args.v_init,
            unit=args.unit, scale=args.scale or 1.0, names=names,
            per_cell=args.per_cell is not None,
        )
    except (OSError, RuntimeError, ValueError) as error:
        where = f" (process {rank})" if rank else ""
        _finish(mpi, f"{parser.prog}{where}: {error}")
    if rank == 0:
        files = f"{summary.files} files, " if args.per_cell is not None else ""
        processes = f" ({summary.processes} processes)" if summary.processes > 1 else ""
        print(
            f"{summary.path}: {files}{summary.sections} sections, {summary.segments} segments, "
            f"{summary.frames} frames, {args.variable} from {summary.variable_min:g} "
            f"to {summary.variable_max:g} {summary.unit}{processes}"
        )
        hint = None if args.scale else range_hint(summary.variable_min, summary.variable_max,
                                                   summary.unit)
        if hint:
            print(f"{parser.prog}: {hint}", file=sys.stderr)
    if mpi:
        _finish(mpi)


def _finish(mpi, error=None):
    """Exits; under MPI through NEURON, which ends MPI, or at once on an
    error, so that the launcher stops the processes waiting for this one."""
    if error:
        print(error, file=sys.stderr)
    if not mpi:
        sys.exit(1 if error else 0)
    sys.stdout.flush()
    sys.stderr.flush()
    if error:
        os._exit(1)
    from neuron import h

    h.quit()


if __name__ == "__main__":
    main()
