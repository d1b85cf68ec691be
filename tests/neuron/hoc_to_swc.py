"""Writes the 3D points of a hoc morphology (such as NEURON's pyramid.nrn demo)
as an SWC file, and the sections NEURON built from it as JSON (name, parent
index, L, 3D points) to compare a round trip with.

    python3 hoc_to_swc.py MORPHOLOGY.hoc OUT.swc OUT.json

The root section becomes the soma (type 1), every other section a dendrite
(type 3). A child that starts at its parent's end continues from the parent's
last sample; a child of the soma hangs from the soma's middle sample, which
Import3d connects to soma(0.5)."""

import json
import math
import os
import sys

os.environ.setdefault("NEURON_MODULE_OPTIONS", "-nogui")
from neuron import h  # noqa: E402


def main(morphology, swc_path, json_path):
    if not h.load_file(1, morphology):
        sys.exit(f"could not load {morphology}")
    sections = list(h.allsec())
    index = {sec: i for i, sec in enumerate(sections)}
    points = [
        [(sec.x3d(i), sec.y3d(i), sec.z3d(i), sec.diam3d(i)) for i in range(int(sec.n3d()))]
        for sec in sections
    ]
    children = {sec: [] for sec in sections}
    for sec in sections:
        if sec.parentseg() is not None:
            children[sec.parentseg().sec].append(sec)
    (root,) = [sec for sec in sections if sec.parentseg() is None]

    lines = [f"# {os.path.basename(morphology)} as SWC"]
    last_sample = {}

    def add(kind, point, parent):
        lines.append(f"{len(lines)} {kind} {point[0]!r} {point[1]!r} {point[2]!r} "
                     f"{point[3] / 2!r} {parent}")
        return len(lines) - 1

    previous = -1
    for point in points[index[root]]:
        previous = add(1, point, previous)
    soma_middle = len(points[index[root]]) // 2 + 1
    stack = list(reversed(children[root]))
    while stack:
        sec = stack.pop()
        own = points[index[sec]]
        parent = sec.parentseg()
        if parent.sec == root:
            previous = soma_middle
        else:
            start = points[index[parent.sec]][-1]
            if parent.x != 1 or math.dist(start[:3], own[0][:3]) > 0:
                sys.exit(f"{sec.name()} does not continue from its parent's end")
            previous = last_sample[parent.sec]
            own = own[1:]
        for point in own:
            previous = add(3, point, previous)
        last_sample[sec] = previous
        stack.extend(reversed(children[sec]))
    with open(swc_path, "w") as f:
        f.write("\n".join(lines) + "\n")

    reference = [
        {
            "name": sec.name(),
            "parent": index[sec.parentseg().sec] if sec.parentseg() is not None else -1,
            "L": sec.L,
            "points": points[index[sec]],
        }
        for sec in sections
    ]
    with open(json_path, "w") as f:
        json.dump(reference, f)


if __name__ == "__main__":
    main(*sys.argv[1:])
