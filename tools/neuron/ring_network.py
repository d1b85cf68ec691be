"""A ring of ball-and-stick cells written for NEURON's ParallelContext: each
process builds only the cells whose gids it owns, and every cell excites the
next one, so a spike started in cell 0 travels round the ring.

Each cell has a Hodgkin-Huxley soma and two passive dendrites; cell `gid` is
named BallStick[gid] and drawn on a circle in the x-y plane, its apical
dendrite pointing outward, so that the activity is seen going round.

As a model for the exporter (serial or under mpiexec), it builds the default
ring of 8 cells:

    mpiexec -n 2 python3 dendrovia_export.py ring_network.py -o ring.dat

From a script, Ring(cells, segments) builds another one. The model never
initialises MPI itself: whoever runs it does (the exporter calls
h.nrnmpi_init() before loading it).
"""

import math

from neuron import h

h.load_file("stdrun.hoc")

RADIUS = 400.0  # um, of the circle the somata sit on
SOMA = 12.6157  # um, length and diameter: 500 um2
DENDRITE_LENGTH = (200.0, 120.0)  # um, apical and basal
DENDRITE_DIAM = (1.0, 0.8)  # um
SYNAPSE_WEIGHT = 0.05  # uS
SYNAPSE_DELAY = 5.0  # ms
THRESHOLD = 10.0  # mV at the soma that counts as a spike
TSTOP = 100.0  # ms


class BallStick:
    """A soma with hh and an apical and a basal passive dendrite, the segments
    shared between the dendrites; an ExpSyn halfway up the apical one."""

    def __init__(self, gid, cells, segments):
        self.gid = gid
        self.soma = h.Section(name="soma", cell=self)
        self.apical = h.Section(name="apical", cell=self)
        self.basal = h.Section(name="basal", cell=self)
        self.apical.connect(self.soma(1))
        self.basal.connect(self.soma(0))
        self.apical.nseg = max(1, (segments - 1 + 1) // 2)
        self.basal.nseg = max(1, segments - 1 - self.apical.nseg)
        self._shape(2 * math.pi * gid / cells)
        for sec in (self.soma, self.apical, self.basal):
            sec.Ra = 100
            sec.cm = 1
        self.soma.insert("hh")
        for sec in (self.apical, self.basal):
            sec.insert("pas")
            for seg in sec:
                seg.g_pas = 0.001
                seg.e_pas = -65
        self.synapse = h.ExpSyn(self.apical(0.5))
        self.synapse.tau = 2
        self.spike_detector = h.NetCon(self.soma(0.5)._ref_v, None, sec=self.soma)
        self.spike_detector.threshold = THRESHOLD

    def _shape(self, angle):
        out = (math.cos(angle), math.sin(angle), 0.0)

        def at(distance):
            return [(RADIUS + distance) * out[k] for k in range(3)]

        for distance, diam in ((0.0, SOMA), (SOMA, SOMA)):
            self.soma.pt3dadd(*at(distance), diam)
        for distance in (SOMA, SOMA + DENDRITE_LENGTH[0]):
            self.apical.pt3dadd(*at(distance), DENDRITE_DIAM[0])
        for distance in (0.0, -DENDRITE_LENGTH[1]):
            self.basal.pt3dadd(*at(distance), DENDRITE_DIAM[1])

    def __repr__(self):
        return f"BallStick[{self.gid}]"


class Ring:
    """`cells` cells of `segments` segments each, spread over the processes
    round-robin by gid; a NetStim excites cell 0 at 1 ms."""

    def __init__(self, cells=8, segments=21):
        pc = h.ParallelContext()
        rank, nhost = int(pc.id()), int(pc.nhost())
        self.cells = []
        for gid in range(rank, cells, nhost):
            cell = BallStick(gid, cells, segments)
            pc.set_gid2node(gid, rank)
            pc.cell(gid, cell.spike_detector)
            self.cells.append(cell)
        self.connections = []
        for cell in self.cells:
            source = (cell.gid - 1) % cells
            connection = pc.gid_connect(source, cell.synapse)
            connection.weight[0] = SYNAPSE_WEIGHT
            connection.delay = SYNAPSE_DELAY
            self.connections.append(connection)
        self.stimulus = None
        if pc.gid_exists(0):
            self.stimulus = h.NetStim()
            self.stimulus.number = 1
            self.stimulus.start = 1
            self.kick = h.NetCon(self.stimulus, self.cells[0].synapse)
            self.kick.weight[0] = SYNAPSE_WEIGHT
            self.kick.delay = 0


if __name__ in ("__main__", "dendrovia_model"):
    h.tstop = TSTOP
    h.dt = 0.025
    h.v_init = -65
    ring = Ring()
