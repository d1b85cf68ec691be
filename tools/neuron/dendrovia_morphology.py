"""A cell from a reconstructed morphology, ready to simulate: loaded through
NEURON's Import3d, given a default biophysics and a somatic current step.

    from dendrovia_morphology import load_morphology, add_biophysics, add_stimulus
    cell = load_morphology("cell.swc")
    add_biophysics(cell)
    stimulus, site = add_stimulus(cell, "soma(0.5)", amp=0.5, delay=5, dur=20)

The default biophysics (textbook values, all in NEURON's units):
- every section: Ra 100 ohm cm, cm 1 uF/cm2;
- soma and axon: Hodgkin-Huxley channels (hh, with its own leak: gnabar 0.12,
  gkbar 0.036, gl 0.0003 S/cm2, el -54.3 mV), at 6.3 degC;
- every other section: a passive membrane, g_pas 5e-5 S/cm2 (20 kohm cm2),
  e_pas -65 mV, so that the whole cell rests at -65 mV;
- nseg by the d_lambda rule: segments no longer than 0.1 of the length
  constant at 100 Hz, odd counts.
The command line's default stimulus is 0.5 nA at soma(0.5) from 5 to 25 ms,
and its run ends 20 ms later.
"""

import contextlib
import io
import math
import os
import re
import warnings

# Import3d's reader of each morphology format, by file extension.
READERS = {
    ".swc": "Import3d_SWC_read",
    ".asc": "Import3d_Neurolucida3",
    ".nts": "Import3d_Eutectic_read",
    ".xml": "Import3d_MorphML",
}

RA = 100.0  # ohm cm
CM = 1.0  # uF/cm2
G_PAS = 5e-5  # S/cm2
REST = -65.0  # mV: e_pas, and where hh rests with its own leak
CELSIUS = 6.3  # degC, the temperature of the Hodgkin-Huxley fits
ACTIVE_TYPES = ("soma", "axon")
D_LAMBDA = 0.1
D_LAMBDA_FREQUENCY = 100.0  # Hz
# The default current step, and how long a run goes on after it (its decay).
STIMULUS_AMP = 0.5  # nA
STIMULUS_DELAY = 5.0  # ms
STIMULUS_DUR = 20.0  # ms
AFTER_STIMULUS = 20.0  # ms

_SITE = re.compile(r"^\s*([^()\s]+)\s*(?:\(\s*([^()]*?)\s*\))?\s*$")


class MorphologyError(ValueError):
    """A morphology that cannot be loaded or a place on it that does not exist."""


class Morphology:
    """The sections Import3d built from one file, kept alive by this object.

    Import3d creates one list per section type (soma, axon, dend, apic, ...)
    as attributes; `all` holds every section in Import3d's order. `names`
    maps each section to its name in a data file: the type alone when the
    file has one section of that type, else the type and its index."""

    def __init__(self, path):
        self.path = path
        self.all = []

    def __str__(self):
        # NEURON prefixes the sections' names with this.
        return os.path.basename(self.path)

    def types(self):
        """The section types present, in the order Import3d created them."""
        seen = []
        for sec in self.all:
            kind = _array_of(sec)
            if kind not in seen:
                seen.append(kind)
        return seen

    @property
    def names(self):
        names = {}
        for kind in self.types():
            sections = getattr(self, kind)
            for index, sec in enumerate(sections):
                names[sec] = kind if len(sections) == 1 else f"{kind}[{index}]"
        return names

    def section(self, name):
        """The section called `name` in a data file or in NEURON (soma[0] is
        also soma when there is one soma section). Raises MorphologyError."""
        for sec, written in self.names.items():
            if name in (written, _own_name(sec)):
                return sec
        known = ", ".join(_ranges(self))
        raise MorphologyError(f"{self}: no section {name!r}; it has {known}")


def _own_name(sec):
    """The section's name without its cell's: soma[0]."""
    cell = sec.cell()
    return sec.name()[len(str(cell)) + 1 :] if cell is not None else sec.name()


def _array_of(sec):
    return _own_name(sec).split("[", 1)[0]


def _ranges(morphology):
    """The sections as a short list: soma, dend[0]..dend[12], axon."""
    result = []
    for kind in morphology.types():
        count = len(getattr(morphology, kind))
        result.append(kind if count == 1 else f"{kind}[0]..{kind}[{count - 1}]")
    return result


def _complaint(text):
    """The lines of Import3d's output that say what went wrong."""
    # hoc's call stack and its pointer to the place are of no use here.
    noise = re.compile(r"^(near line|\^|and others|\w+\[\d+\]\.)")
    lines = [line.strip() for line in text.splitlines()]
    lines = [line for line in lines if line and not noise.match(line)]
    wrong = re.compile(r"error|NEURON:|could not|can't", re.I)
    first = next((i for i, line in enumerate(lines) if wrong.search(line)), 0)
    return "; ".join(lines[first : first + 3]) or "no sections found"


def load_morphology(path):
    """Builds the sections of a morphology file through Import3d, chosen by
    the file's extension. Raises MorphologyError, naming the file and what
    Import3d said, for a file that is missing, empty or that Import3d does
    not take. Import3d's complaints about a file it still takes become a
    warning."""
    from neuron import h

    extension = os.path.splitext(path)[1].lower()
    if extension not in READERS:
        known = ", ".join(sorted(READERS))
        raise MorphologyError(f"{path}: unknown morphology format (known: {known})")
    if not os.path.exists(path):
        raise MorphologyError(f"{path}: no such file")
    if not os.path.isfile(path):
        raise MorphologyError(f"{path}: not a file")
    if os.path.getsize(path) == 0:
        raise MorphologyError(f"{path}: the file is empty")
    h.load_file("import3d.hoc")
    morphology = Morphology(path)
    said = io.StringIO()
    # Import3d prints its complaints, also hoc's error messages, through
    # Python's streams; they belong in our message.
    with contextlib.redirect_stdout(said), contextlib.redirect_stderr(said):
        try:
            reader = getattr(h, READERS[extension])()
            reader.input(path)
            read = reader.sections is not None and reader.sections.count() > 0
            if read:
                h.Import3d_GUI(reader, False).instantiate(morphology)
        except RuntimeError:
            read = False
    if not read or not morphology.all:
        raise MorphologyError(f"{path}: Import3d cannot read it: {_complaint(said.getvalue())}")
    if getattr(reader, "err", 0) and said.getvalue().strip():
        warnings.warn(f"{path}: {_complaint(said.getvalue())}")
    return morphology


def lambda_f(sec, frequency=D_LAMBDA_FREQUENCY):
    """AC length constant (um) of a section at `frequency` Hz, along its 3D points."""
    n = int(sec.n3d())
    if n < 2:
        return 1e5 * math.sqrt(sec.diam / (4 * math.pi * frequency * sec.Ra * sec.cm))
    electrotonic = 0.0
    for i in range(1, n):
        length = sec.arc3d(i) - sec.arc3d(i - 1)
        electrotonic += length / math.sqrt(sec.diam3d(i - 1) + sec.diam3d(i))
    electrotonic *= math.sqrt(2) * 1e-5 * math.sqrt(4 * math.pi * frequency * sec.Ra * sec.cm)
    return sec.L / electrotonic


def d_lambda_nseg(sec, d_lambda=D_LAMBDA, frequency=D_LAMBDA_FREQUENCY):
    """The odd number of segments that keeps each no longer than d_lambda
    length constants at `frequency` Hz."""
    return int((sec.L / (d_lambda * lambda_f(sec, frequency)) + 0.9) / 2) * 2 + 1


def add_biophysics(morphology):
    """Gives the cell the default biophysics (see the module's notes) and
    returns what it did in words: "passive + HH soma and axon"."""
    from neuron import h

    h.celsius = CELSIUS
    active = [kind for kind in ACTIVE_TYPES if hasattr(morphology, kind)]
    for sec in morphology.all:
        sec.Ra = RA
        sec.cm = CM
        if _array_of(sec) in active:
            sec.insert("hh")
        else:
            sec.insert("pas")
            for seg in sec:
                seg.g_pas = G_PAS
                seg.e_pas = REST
        sec.nseg = d_lambda_nseg(sec)
    return "passive + HH " + " and ".join(active) if active else "passive"


def parse_site(text):
    """(section name, location) of "dend[2](0.3)"; the location is 0.5 when
    left out. Raises MorphologyError."""
    match = _SITE.match(text)
    if not match:
        raise MorphologyError(f"{text!r} is no place on a section; write e.g. soma(0.5)")
    name, where = match.group(1), match.group(2)
    try:
        x = 0.5 if where is None else float(where)
    except ValueError:
        x = math.nan
    if not 0 <= x <= 1:
        raise MorphologyError(f"{text!r}: the location must lie from 0 to 1")
    return name, x


def default_site(morphology):
    """Where the stimulus goes by default: the middle of the soma, or of the
    first section when the file has no soma."""
    sec = morphology.soma[0] if hasattr(morphology, "soma") else morphology.all[0]
    return f"{morphology.names[sec]}(0.5)"


def add_stimulus(morphology, site, amp, delay, dur):
    """A current step of `amp` nA from `delay` for `dur` ms at `site`
    ("soma(0.5)"). Returns the IClamp, to be kept alive for the run, and the
    place as the data file names it. Raises MorphologyError for a place the
    cell lacks or a negative time."""
    from neuron import h

    name, x = parse_site(site)
    sec = morphology.section(name)
    for what, value in (("amplitude", amp), ("delay", delay), ("duration", dur)):
        if not math.isfinite(value) or (what != "amplitude" and value < 0):
            raise MorphologyError(f"stimulus {what} {value:g} is not allowed")
    stimulus = h.IClamp(sec(x))
    stimulus.amp, stimulus.delay, stimulus.dur = amp, delay, dur
    return stimulus, f"{morphology.names[sec]}({x:g})"
