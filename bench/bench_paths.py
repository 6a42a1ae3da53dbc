#!/usr/bin/env python
"""Benchmark exact path weights: a 40-vertex polygon and a circle of three arcs
(r = 5) through weights_path_exact, against weights_circ_exact for the same circle.

All three run on the same apertures in the same process, serially (the parallel
threshold at 2**64-1) and pooled (threshold 1); times are best-of-N wall times after
one warm-up, the contenders timed in turn.  Printed: microseconds per aperture and
the ratio path / circle.  The circle path's rasters are checked against the circle's.

Usage:
    python bench/bench_paths.py [--apertures 2000] [--repeat 3]
"""

import argparse
import math
import os
import sys

import numpy as np

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from timing import (POOLED_THRESHOLD, SERIAL_THRESHOLD, interleaved_best, qv,  # noqa: E402
                    usable_cores, with_threshold)

RADIUS = 5.0


def path_arrays(rows):
    kinds = np.array([r[0] for r in rows], np.int8)
    data = np.zeros((len(rows), 6))
    for k, r in enumerate(rows):
        data[k, :len(r) - 1] = r[1:]
    return kinds, data


def polygon40():
    t = 2 * math.pi * np.arange(40) / 40
    r = np.where(np.arange(40) % 2 == 0, RADIUS, 0.8 * RADIUS)
    pts = np.c_[r * np.cos(t), r * np.sin(t)]
    return path_arrays([(0, *pts[0]), *[(1, *p) for p in pts[1:]], (3,)])


def circle3():
    step = 2 * math.pi / 3
    return path_arrays([(0, RADIUS, 0.0), *[(2, 0.0, 0.0, RADIUS, k * step, step) for k in range(3)], (3,)])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--apertures", type=int, default=2000)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    rng = np.random.default_rng(7)
    xs = rng.uniform(10, 990, args.apertures)
    ys = rng.uniform(10, 990, args.apertures)
    contenders = {
        "path, 40-vertex polygon": lambda: qv.weights_path_exact(xs, ys, *polygon40()),
        "path, three-arc circle": lambda: qv.weights_path_exact(xs, ys, *circle3()),
        "weights_circ_exact": lambda: qv.weights_circ_exact(xs, ys, RADIUS),
    }
    print(f"{args.apertures} apertures, r = {RADIUS}, best of {args.repeat}; "
          f"{usable_cores()} cores")
    for label, threshold in (("serial", SERIAL_THRESHOLD), ("pooled", POOLED_THRESHOLD)):
        fns = [with_threshold(threshold, fn) for fn in contenders.values()]
        best, results = interleaved_best(fns, args.repeat)
        # The circle path's rasters cover one more row and column on the low side.
        worst = max(np.abs(p[1:, 1:] - c).max() for p, c in zip(results[1][0], results[2][0]))
        print(f"{label}:")
        for name, t in zip(contenders, best):
            print(f"  {name:26s} {1e6 * t / args.apertures:9.2f} us/aperture"
                  f"  ({t / best[2]:6.1f} x circle)")
        print(f"  three-arc circle vs circle weights: largest difference {worst:.2e}")


if __name__ == "__main__":
    main()
