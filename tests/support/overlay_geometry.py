"""overlay_geometry.py - where an overlay's lines fall in a view, worked out
on its own from the README's rules, for korvitan-cli's end-to-end test.

Usage: /usr/bin/python3 overlay_geometry.py VIEW "minX maxX minY maxY minZ maxZ" INK FILE...

Prints "ink INK", then one "x1 y1 x2 y2" line per segment of each FILE, in
the geometry format png_check reads: a leak trace (lines "x y z", one
polyline) or a portal file (PRT1, PRT1-AM or PRT2; each portal's polygon,
closed). It reads only the plain files the test writes, not every file the
program reads. The numbers follow the views' rules: 32-bit float bounds
and coordinates, double arithmetic, each difference from a minimum and
each oblique projection rounded to a 32-bit float, every coordinate
truncated toward zero.
"""
import math
import re
import struct
import sys


def f32(v):
    return struct.unpack("<f", struct.pack("<f", v))[0]


SCALE, COS, SIN = f32(0.5007627), f32(0.64278764), f32(0.76604444)
AXES = {  # view: across, up, depth (None: flat), border
    "xy": (0, 1, None, 10.0), "xz": (0, 2, None, 0.0), "yz": (1, 2, None, 0.0),
    "3dx": (0, 2, 1, 0.0), "3dy": (1, 2, 0, 0.0), "3dz": (0, 1, 2, 0.0),
}


def oblique(a, b, factor):
    return f32(a + (b * SCALE) * factor)


def projector(view, bounds):
    lo = [bounds[0], bounds[2], bounds[4]]
    hi = [bounds[1], bounds[3], bounds[5]]
    h, v, d, border = AXES[view]
    if d is None:
        flip = hi[v] - lo[v]
        return lambda p: (math.trunc(f32(p[h] - lo[h]) + border),
                          math.trunc((flip - f32(p[v] - lo[v])) + border))
    flip = f32(oblique(hi[v], hi[d], SIN) - oblique(lo[v], lo[d], SIN))

    def project(p):
        rh, rv, rd = f32(p[h] - lo[h]), f32(p[v] - lo[v]), f32(p[d] - lo[d])
        return math.trunc(oblique(rh, rd, COS)), math.trunc(flip - oblique(rv, rd, SIN))
    return project


def paths(text):
    lines = [line for line in text.splitlines() if line.strip()]
    if lines and lines[0].strip() in ("PRT1", "PRT1-AM", "PRT2"):
        portals = int(lines[3 if lines[0].strip() == "PRT2" else 2])
        first = 3 if lines[0].strip() == "PRT1" else 4
        for line in lines[first:first + portals]:
            points = [tuple(f32(float(n)) for n in group.split())
                      for group in re.findall(r"\(([^)]*)\)", line)]
            yield points + points[:1]
    else:
        yield [tuple(f32(float(n)) for n in line.split()) for line in lines]


def main():
    project = projector(sys.argv[1], [f32(float(n)) for n in sys.argv[2].split()])
    out = ["ink " + sys.argv[3]]
    for name in sys.argv[4:]:
        with open(name) as f:
            for path in paths(f.read()):
                ends = [project(p) for p in path]
                out += ["%d %d %d %d" % (a + b) for a, b in zip(ends, ends[1:])]
    print("\n".join(out))


if __name__ == "__main__":
    main()
