#!/usr/bin/env python
"""Benchmark exact weight rasters: quorvantel (serial and pooled) vs photutils masks.

For a circle (r = 5) and an ellipse (a = 6, b = 3) this script times, in the same
process and on the same apertures:

* quorvantel serial  -- weights_circ_exact / weights_ellip_exact with the parallel
                        threshold at 2**64-1 (never uses the pool)
* quorvantel pooled  -- the same with the threshold at 1 (always uses the pool)
* photutils          -- CircularAperture(...).to_mask(method='exact') and
                        EllipticalAperture(...).to_mask(method='exact'); this is
                        slow, so it is timed on a subset of the apertures and the
                        time is scaled linearly (per aperture) to the full count.
                        For context, a line per shape also gives the time per
                        aperture when each aperture is its own photutils object.
* wedge centre       -- weights_wedge_center serially for an annular sector, a
                        skewed wedge and one with both spans past half a turn,
                        beside weights_circ_ann_center of the same radii.

quorvantel times are best-of-N wall times after one warm-up call, its two runs timed
in turn.  Ratios say how many times faster quorvantel is (photutils / quorvantel).
The rasters of the subset are also compared with photutils' masks.

Usage:
    python bench/bench_weights.py [--apertures 20000] [--repeat 5] [--photutils-subset 2000]
                                  [--wedge-centre-only]
"""

import argparse
import sys
import time

import numpy as np

from timing import (POOLED_THRESHOLD, SERIAL_THRESHOLD, interleaved_best, qv, usable_cores,
                    with_threshold)

try:
    import photutils
    from photutils.aperture import CircularAperture, EllipticalAperture
except ImportError:  # pragma: no cover
    photutils = None

def time_photutils(make, xs, ys, subset):
    """Masks of the first `subset` apertures; (time scaled to all apertures, masks)."""
    k = min(subset, len(xs))
    pos = np.column_stack([xs[:k], ys[:k]])
    make(pos[:10]).to_mask(method="exact")  # warm-up
    t0 = time.perf_counter()
    masks = make(pos).to_mask(method="exact")
    dt = time.perf_counter() - t0
    return dt * len(xs) / k, masks


def time_photutils_one_by_one(make, xs, ys, count):
    """Seconds per aperture when each aperture is its own photutils object."""
    k = min(count, len(xs))
    t0 = time.perf_counter()
    for p in zip(xs[:k], ys[:k]):
        make(np.array(p)).to_mask(method="exact")
    return (time.perf_counter() - t0) / k


def largest_difference(result, masks):
    """Largest |quorvantel - photutils| over the union of each pair of boxes."""
    arrays, x_min, _, y_min, _ = result
    worst = 0.0
    for k, mask in enumerate(masks):
        ours, theirs = arrays[k], mask.data
        boxes = ((x_min[k], y_min[k], ours), (mask.bbox.ixmin, mask.bbox.iymin, theirs))
        x0, y0 = min(b[0] for b in boxes), min(b[1] for b in boxes)
        x1 = max(b[0] + b[2].shape[1] for b in boxes)
        y1 = max(b[1] + b[2].shape[0] for b in boxes)
        canvases = []
        for bx, by, values in boxes:
            canvas = np.zeros((y1 - y0, x1 - x0))
            canvas[by - y0: by - y0 + values.shape[0], bx - x0: bx - x0 + values.shape[1]] = values
            canvases.append(canvas)
        worst = max(worst, float(np.abs(canvases[0] - canvases[1]).max()))
    return worst


WEDGE_CENTRE_CASES = [
    ("annular sector", (3.0, 8.0, 0.7, 2.0, 0.7, 2.0)),
    ("skewed", (3.0, 8.0, 0.7, 2.0, 1.2, 2.6)),
    ("spans past pi", (3.0, 8.0, 0.7, 4.5, 0.9, 5.0)),
]


def wedge_centre_lines(xs, ys, repeat):
    """Serial centre rasters of the wedge cases and of the annulus of the same radii."""
    print("wedge centre rasters, serial, r_in = 3, r_out = 8:")
    runs = [(name, lambda p=p: qv.weights_wedge_center(xs, ys, *p))
            for name, p in WEDGE_CENTRE_CASES]
    runs.append(("annulus", lambda: qv.weights_circ_ann_center(xs, ys, 3.0, 8.0)))
    best, _ = interleaved_best([with_threshold(SERIAL_THRESHOLD, run) for _, run in runs],
                               repeat)
    for (name, _), t in zip(runs, best):
        print(f"  {name:16s} {t * 1e3:9.2f} ms  ({t / best[-1]:.2f} x annulus)")


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--apertures", type=int, default=20000)
    p.add_argument("--repeat", type=int, default=5)
    p.add_argument("--photutils-subset", type=int, default=2000)
    p.add_argument("--seed", type=int, default=12345)
    p.add_argument("--wedge-centre-only", action="store_true")
    args = p.parse_args(argv)
    if min(args.apertures, args.repeat, args.photutils_subset) < 1:
        p.error("--apertures, --repeat and --photutils-subset must be >= 1")

    rng = np.random.default_rng(args.seed)
    xs = np.ascontiguousarray(rng.uniform(16.0, 2000.0, args.apertures))
    ys = np.ascontiguousarray(rng.uniform(16.0, 2000.0, args.apertures))
    if args.wedge_centre_only:
        wedge_centre_lines(xs, ys, args.repeat)
        return
    a, b, theta = 6.0, 3.0, 0.5
    cases = [
        ("circle r=5", lambda: qv.weights_circ_exact(xs, ys, 5.0),
         lambda pos: CircularAperture(pos, r=5.0) if photutils else None),
        ("ellipse a=6 b=3", lambda: qv.weights_ellip_exact(xs, ys, a, b, theta),
         lambda pos: EllipticalAperture(pos, a=a, b=b, theta=theta) if photutils else None),
    ]

    print(f"{args.apertures} apertures, best of {args.repeat} (after 1 warm-up), "
          f"cores = {usable_cores()}; serial threshold {SERIAL_THRESHOLD}, "
          f"pooled {POOLED_THRESHOLD}")
    print("versions: numpy {}, photutils {}".format(
        np.__version__, photutils.__version__ if photutils else "not installed"))
    if photutils:
        k = min(args.photutils_subset, args.apertures)
        print(f"photutils: timed once on {k} apertures, scaled per aperture to {args.apertures}")
    print()
    header = ("case", "serial ms", "pooled ms", "photutils ms", "serial x", "pooled x",
              "max |diff|")
    print("{:<16} {:>10} {:>10} {:>13} {:>9} {:>9} {:>11}".format(*header))
    notes = []
    for name, run, make in cases:
        (t_ser, t_pool), (serial, pooled) = interleaved_best(
            [with_threshold(SERIAL_THRESHOLD, run), with_threshold(POOLED_THRESHOLD, run)],
            args.repeat)
        same = serial[1:] == pooled[1:] and all(
            s.tobytes() == q.tobytes() for s, q in zip(serial[0], pooled[0]))
        if not same:
            print("WARNING: serial and pooled rasters differ", file=sys.stderr)
        t_ph = diff = None
        if photutils:
            t_ph, masks = time_photutils(make, xs, ys, args.photutils_subset)
            diff = largest_difference(serial, masks)
        ratio = (lambda t: "n/a" if t_ph is None else f"{t_ph / t:.1f}x")
        if photutils:
            per_call = time_photutils_one_by_one(make, xs, ys, 200)
            notes.append(f"{name}: photutils one aperture per object: {per_call * 1e6:.1f} us "
                         f"per aperture, {per_call * len(xs) / t_ser:.1f}x slower than serial")
        print("{:<16} {:>10.2f} {:>10.2f} {:>13} {:>9} {:>9} {:>11}".format(
            name, t_ser * 1e3, t_pool * 1e3, "n/a" if t_ph is None else f"{t_ph * 1e3:.1f}",
            ratio(t_ser), ratio(t_pool), "n/a" if diff is None else f"{diff:.1e}"))
    if notes:
        print()
        print("\n".join(notes))
    print()
    wedge_centre_lines(xs, ys, args.repeat)


if __name__ == "__main__":
    main()
