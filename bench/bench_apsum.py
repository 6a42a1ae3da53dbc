#!/usr/bin/env python
"""Benchmark exact aperture sums: quorvantel (serial and pooled) vs sep and photutils.

For each case (circles of radius 1, 5 and 30, a circular annulus, an ellipse
and a rotated rectangle) this script times, in the same process and on the
same data:

* quorvantel serial  -- parallel threshold set to 2**64-1 (never uses the pool)
* quorvantel pooled  -- parallel threshold set to 1 (always uses the pool)
* sep                -- sum_circle / sum_circann / sum_ellipse with subpix=0
                        (exact); sep has no rectangles
* photutils          -- aperture_photometry(..., method='exact'); this is slow,
                        so it is timed once on a subset of the apertures and the
                        time is scaled linearly to the full aperture count.
                        For rectangles photutils' 'exact' is really 32 x 32
                        subpixel sampling of every pixel, not an exact overlap.

Timings are best-of-N wall times (time.perf_counter) after one warm-up call; the
contenders of a case are timed in turn, round after round.
Ratios are reported as "how many times faster quorvantel is" (other / quorvantel).

Usage:
    python bench/bench_apsum.py [--apertures 20000] [--size 2048] [--repeat 9]
"""

import argparse
import sys
import time

import numpy as np

from timing import (POOLED_THRESHOLD, SERIAL_THRESHOLD, interleaved_best, qv, usable_cores,
                    with_threshold)

try:
    import sep
except ImportError:  # pragma: no cover
    sep = None

try:
    import photutils
    from photutils.aperture import (
        CircularAnnulus,
        CircularAperture,
        EllipticalAperture,
        RectangularAperture,
        aperture_photometry,
    )
except ImportError:  # pragma: no cover
    photutils = None

# Serial speed-ups over sep the kernels are held to, by case; pooled runs are
# held to POOLED_SHARE x cores x sep.
SERIAL_GOALS = {"circle r=5": 2.0, "ellipse 6/3/0.5": 1.3}
SERIAL_GOAL_DEFAULT = 1.0
POOLED_SHARE = 0.7


def max_rel_diff(a, b):
    a = np.asarray(a, dtype=np.float64)
    b = np.asarray(b, dtype=np.float64)
    denom = np.maximum(np.abs(b), np.finfo(np.float64).tiny)
    return float(np.max(np.abs(a - b) / denom))


def fmt_ms(t):
    return "n/a" if t is None else f"{t * 1e3:.2f}"


def fmt_ratio(num, den):
    if num is None or den is None or den <= 0:
        return "n/a"
    return f"{num / den:.2f}x"


def fmt_diff(d):
    return "n/a" if d is None else f"{d:.1e}"


def time_photutils(data, xs, ys, make_aperture, subset):
    """Time photutils once on the first `subset` apertures; return (scaled seconds, sums)."""
    n = len(xs)
    k = min(subset, n)
    pos = np.column_stack([xs[:k], ys[:k]])
    # Small warm-up so first-call import/initialisation cost is not timed.
    aperture_photometry(data, make_aperture(pos[: min(10, k)]), method="exact")
    t0 = time.perf_counter()
    tbl = aperture_photometry(data, make_aperture(pos), method="exact")
    dt = time.perf_counter() - t0
    sums = np.asarray(tbl["aperture_sum"], dtype=np.float64)
    return dt * n / k, sums


def check_ellipse_theta(data, a, b, theta):
    """Compare quorvantel's and sep's ellipse orientation on one aperture.

    Returns the theta value to pass to sep so that both describe the same
    ellipse (theta itself if the conventions agree), plus a note or None.
    """
    h, w = data.shape
    x = np.array([w / 2.0 + 0.3])
    y = np.array([h / 2.0 - 0.2])
    q = qv.apsum_ellip_exact(data, x, y, a, b, theta)[0][0]
    s_same = sep.sum_ellipse(data, x, y, a, b, theta, r=1.0, subpix=0)[0][0]
    s_flip = sep.sum_ellipse(data, x, y, a, b, -theta, r=1.0, subpix=0)[0][0]
    tol = 1e-6 * abs(q)
    if abs(q - s_same) <= tol:
        return theta, None
    if abs(q - s_flip) <= tol:
        return -theta, (
            f"NOTE: ellipse theta conventions disagree: quorvantel(theta={theta}) "
            f"matches sep(theta={-theta}); sep is called with -theta below"
        )
    return theta, (
        f"NOTE: ellipse sums disagree on a single aperture for both theta and "
        f"-theta (quorvantel {q!r}, sep(theta) {s_same!r}, sep(-theta) {s_flip!r})"
    )


def main(argv=None):
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--apertures", type=int, default=20000, help="number of apertures (default 20000)")
    p.add_argument("--size", type=int, default=2048, help="image side length in pixels (default 2048)")
    p.add_argument("--repeat", type=int, default=9, help="timed repetitions, best is kept (default 9)")
    p.add_argument("--photutils-subset", type=int, default=1000,
                   help="apertures used to time photutils, scaled to the full count (default 1000)")
    p.add_argument("--seed", type=int, default=12345, help="random seed (default 12345)")
    args = p.parse_args(argv)
    if args.repeat < 1 or args.apertures < 1 or args.photutils_subset < 1:
        p.error("--repeat, --apertures and --photutils-subset must be >= 1")

    r_in, r_out = 5.0, 8.0
    ell_a, ell_b, ell_theta = 6.0, 3.0, 0.5
    rect_w, rect_h, rect_theta = 10.0, 4.0, 0.5
    margin = 40.0  # keeps every aperture (largest extent 31 px) well inside the image
    if args.size <= 2 * margin + 1:
        p.error(f"--size must be > {int(2 * margin + 1)}")

    rng = np.random.default_rng(args.seed)
    data = np.ascontiguousarray(rng.random((args.size, args.size)), dtype=np.float64)
    xs = np.ascontiguousarray(rng.uniform(margin, args.size - 1 - margin, args.apertures))
    ys = np.ascontiguousarray(rng.uniform(margin, args.size - 1 - margin, args.apertures))

    cores = usable_cores()
    print(f"image {args.size}x{args.size} float64, {args.apertures} apertures, "
          f"best of {args.repeat} (after 1 warm-up), cores = {cores}")
    print(f"quorvantel default parallel threshold = {qv.get_parallel_threshold()}; "
          f"serial run uses {SERIAL_THRESHOLD}, pooled run uses {POOLED_THRESHOLD}")
    print("versions: numpy {}, sep {}, photutils {}".format(
        np.__version__,
        sep.__version__ if sep else "not installed",
        photutils.__version__ if photutils else "not installed"))
    if photutils is not None:
        k = min(args.photutils_subset, args.apertures)
        print(f"photutils: timed once on {k} apertures and scaled linearly to {args.apertures}")
    print()

    notes = []
    rows = []

    def run_case(name, qv_fn, sep_fn, phot_make):
        fns = [with_threshold(SERIAL_THRESHOLD, qv_fn), with_threshold(POOLED_THRESHOLD, qv_fn)]
        if sep is not None and sep_fn is not None:
            fns.append(sep_fn)
        times, results = interleaved_best(fns, args.repeat)
        t_ser, t_pool = times[:2]
        q_sums = np.asarray(results[0][0])
        if not np.array_equal(q_sums, np.asarray(results[1][0]), equal_nan=True):
            print(f"WARNING: {name}: quorvantel serial and pooled sums differ", file=sys.stderr)
        t_sep = d_sep = None
        if len(fns) > 2:
            t_sep = times[2]
            d_sep = max_rel_diff(q_sums, results[2][0])
        t_ph = d_ph = None
        if photutils is not None:
            t_ph, ph_sums = time_photutils(data, xs, ys, phot_make, args.photutils_subset)
            d_ph = max_rel_diff(q_sums[: len(ph_sums)], ph_sums)
        rows.append((name, t_ser, t_pool, t_sep, t_ph, d_sep, d_ph))

    for r in (1.0, 5.0, 30.0):
        run_case(
            f"circle r={r:g}",
            lambda r=r: qv.apsum_circ_exact(data, xs, ys, r),
            lambda r=r: sep.sum_circle(data, xs, ys, r, subpix=0),
            lambda pos, r=r: CircularAperture(pos, r=r),
        )

    run_case(
        f"annulus {r_in:g}-{r_out:g}",
        lambda: qv.apsum_circ_ann_exact(data, xs, ys, r_in, r_out),
        lambda: sep.sum_circann(data, xs, ys, r_in, r_out, subpix=0),
        lambda pos: CircularAnnulus(pos, r_in=r_in, r_out=r_out),
    )

    sep_theta = ell_theta
    if sep is not None:
        sep_theta, note = check_ellipse_theta(data, ell_a, ell_b, ell_theta)
        if note:
            notes.append(note)
    run_case(
        f"ellipse {ell_a:g}/{ell_b:g}/{ell_theta:g}",
        lambda: qv.apsum_ellip_exact(data, xs, ys, ell_a, ell_b, ell_theta),
        lambda: sep.sum_ellipse(data, xs, ys, ell_a, ell_b, sep_theta, r=1.0, subpix=0),
        lambda pos: EllipticalAperture(pos, a=ell_a, b=ell_b, theta=ell_theta),
    )

    run_case(
        f"rectangle {rect_w:g}/{rect_h:g}/{rect_theta:g}",
        lambda: qv.apsum_rect_exact(data, xs, ys, rect_w, rect_h, rect_theta),
        None,
        lambda pos: RectangularAperture(pos, w=rect_w, h=rect_h, theta=rect_theta),
    )

    header = (f"{'case':<20} {'serial ms':>10} {'pooled ms':>10} {'sep ms':>10} "
              f"{'photutils ms*':>14} {'sep/serial':>11} {'sep/pooled':>11} "
              f"{'phot/serial':>12} {'phot/pooled':>12} {'maxrel sep':>11} {'maxrel phot':>12}")
    print(header)
    print("-" * len(header))
    for name, t_ser, t_pool, t_sep, t_ph, d_sep, d_ph in rows:
        print(f"{name:<20} {fmt_ms(t_ser):>10} {fmt_ms(t_pool):>10} {fmt_ms(t_sep):>10} "
              f"{fmt_ms(t_ph):>14} {fmt_ratio(t_sep, t_ser):>11} {fmt_ratio(t_sep, t_pool):>11} "
              f"{fmt_ratio(t_ph, t_ser):>12} {fmt_ratio(t_ph, t_pool):>12} "
              f"{fmt_diff(d_sep):>11} {fmt_diff(d_ph):>12}")
    print("-" * len(header))
    print("* photutils time extrapolated from a single run on a subset (see above).")
    print("ratios = other time / quorvantel time (how many times faster quorvantel is); "
          "maxrel = max relative difference of sums vs quorvantel")
    print("sep has no rectangle sums. photutils' 'exact' for rectangles is really 32x32 "
          "subpixel sampling of each pixel, so its rectangle sums differ from the exact "
          "ones by up to the sampling error.")
    print()
    print(f"cores: {cores}")
    if sep is not None and cores:
        pooled_goal = POOLED_SHARE * cores
        print(f"targets against sep: serial as listed, pooled >= {POOLED_SHARE} x cores "
              f"= {pooled_goal:.1f}x")
        for name, t_ser, t_pool, t_sep, *_ in rows:
            if t_sep is None:
                continue
            goal = SERIAL_GOALS.get(name, SERIAL_GOAL_DEFAULT)
            s_ok = t_sep / t_ser >= goal
            p_ok = t_sep / t_pool >= pooled_goal
            print(f"  {name:<20} serial {t_sep / t_ser:6.2f}x vs {goal:.1f}x "
                  f"({'ok' if s_ok else 'MISS'}), pooled {t_sep / t_pool:6.2f}x vs "
                  f"{pooled_goal:.1f}x ({'ok' if p_ok else 'MISS'})")
    if sep is None:
        notes.append("NOTE: sep is not installed; sep columns are n/a")
    if photutils is None:
        notes.append("NOTE: photutils is not installed; photutils columns are n/a")
    for note in notes:
        print(note)


if __name__ == "__main__":
    main()
