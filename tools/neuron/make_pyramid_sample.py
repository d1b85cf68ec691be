#!/usr/bin/env python3
"""Simulates the reconstructed pyramidal cell that ships with NEURON and writes
it as a Dendrovia data file: a passive membrane everywhere, Hodgkin-Huxley
channels in the soma and the proximal dendrites, nseg by the d_lambda rule,
and a current step at the soma whose spikes spread into the dendrites and fade
in the passive distal branches.

    python3 make_pyramid_sample.py OUTPUT.dat [--tstop 50] [--interval 0.1]

The file appears only once it is complete, so an interrupted run leaves none.
"""

import argparse
import os
import sys

import dendrovia_export
from dendrovia_morphology import d_lambda_nseg

MORPHOLOGY = "/usr/share/nrn/demo/pyramid.nrn"
# Sections that begin within this path distance from the soma centre (um) are active.
ACTIVE_REACH = 80.0
# Dendritic sodium and potassium densities relative to the soma's.
DENDRITE_DENSITY = 0.5
STIMULUS = dict(delay=5.0, dur=40.0, amp=2.5)  # ms, ms, nA
REST = -70.0  # mV, the passive reversal and the initial potential


def build(h):
    """Loads the morphology and sets up the membrane and the stimulus; returns
    the stimulus, which must be kept alive for the run."""
    if not h.load_file(1, MORPHOLOGY):
        raise RuntimeError(f"could not load {MORPHOLOGY}")
    soma = h.soma
    h.distance(0, soma(0.5))
    h.celsius = 6.3
    h.v_init = REST
    for sec in h.allsec():
        sec.Ra = 100
        sec.cm = 1
        sec.insert("pas")
        for seg in sec:
            seg.g_pas = 5e-5
            seg.e_pas = REST
        sec.nseg = d_lambda_nseg(sec)
        if sec == soma or h.distance(sec(0)) < ACTIVE_REACH:
            sec.insert("hh")
            for seg in sec:
                # The passive mechanism is the only leak.
                seg.gl_hh = 0
                if sec != soma:
                    seg.gnabar_hh *= DENDRITE_DENSITY
                    seg.gkbar_hh *= DENDRITE_DENSITY
    stimulus = h.IClamp(soma(0.5))
    for name, value in STIMULUS.items():
        setattr(stimulus, name, value)
    return stimulus


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("output")
    parser.add_argument("--tstop", type=float, default=50.0)
    parser.add_argument("--interval", type=float, default=0.1)
    args = parser.parse_args()

    # No windows: this runs in batch, also where no display can be opened.
    os.environ.setdefault("NEURON_MODULE_OPTIONS", "-nogui")
    from neuron import h

    h.load_file("stdrun.hoc")
    stimulus = build(h)
    end = stimulus.delay + stimulus.dur
    description = (
        f"Reconstructed pyramidal cell (NEURON demo): passive membrane, HH in soma and "
        f"proximal dendrites; {stimulus.amp:g} nA at the soma ({stimulus.delay:g}-{end:g} ms) "
        f"fires spikes that spread into the dendrites; v over {args.tstop:g} ms"
    )
    os.makedirs(os.path.dirname(os.path.abspath(args.output)), exist_ok=True)
    partial = args.output + ".part"
    try:
        summary = dendrovia_export.export(
            partial, "v", args.interval, args.tstop, description
        )
        os.replace(partial, args.output)
    except BaseException:
        if os.path.exists(partial):
            os.remove(partial)
        raise
    print(
        f"{args.output}: {summary.sections} sections, {summary.segments} segments, "
        f"{summary.frames} frames, v from {summary.variable_min:.1f} to "
        f"{summary.variable_max:.1f} mV"
    )


if __name__ == "__main__":
    sys.exit(main())
