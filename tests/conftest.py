"""Shared fixtures and the module's function table for the test suite."""

import math
import os
import re
import shutil
import subprocess
from pathlib import Path

import numpy as np
import pytest

import quorvantel._native as native


def _with_types(name, params):
    """A float64 function followed by its float32, int32 and int16 forms."""
    return [(name + suffix, params) for suffix in ("", "_f32", "_i32", "_i16")]


_SHAPES = [("circ", "r"), ("circ_ann", "r_in, r_out"), ("ellip", "a, b, theta"),
           ("ellip_ann", "a_in, b_in, a_out, b_out, theta_in, theta_out"),
           ("rect", "w, h, theta"), ("rect_ann", "w_in, h_in, w_out, h_out, theta_in, theta_out"),
           ("wedge", "r_in, r_out, theta_in, dtheta_in, theta_out, dtheta_out"),
           ("pill", "w, a, b, theta"),
           ("pill_ann", "w_in, a_in, b_in, w_out, a_out, b_out, theta_in, theta_out")]
_BOX = "x_min, y_min, ny, nx"

# Every function of the module, in registration order, with its parameter list.
FUNCTION_TABLE = [
    *_with_types("apsum_circ_exact", "data, xs, ys, r"),
    *_with_types("apsum_circ_exact_sum", "data, xs, ys, r"),
    ("apsum_circ_exact_one", "data, x, y, r"),
    *_with_types("apsum_circ_exact_sum_one", "data, x, y, r"),
    *_with_types("apsum_circ_ann_exact", "data, xs, ys, r_in, r_out"),
    *_with_types("apsum_circ_ann_exact_sum", "data, xs, ys, r_in, r_out"),
    *_with_types("apsum_circ_ann_exact_one", "data, x, y, r_in, r_out"),
    *_with_types("apsum_circ_ann_exact_sum_one", "data, x, y, r_in, r_out"),
    *_with_types("apsum_circ_exact_one", "data, x, y, r")[1:],
    *_with_types("apsum_circ_center", "data, xs, ys, r"),
    *_with_types("apsum_ellip_exact", "data, xs, ys, a, b, theta"),
    *_with_types("apsum_ellip_exact_one", "data, x, y, a, b, theta"),
    *_with_types("apsum_ellip_center", "data, xs, ys, a, b, theta"),
    *_with_types("apsum_rect_exact", "data, xs, ys, w, h, theta"),
    *_with_types("apsum_rect_exact_one", "data, x, y, w, h, theta"),
    *_with_types("apsum_rect_center", "data, xs, ys, w, h, theta"),
    *[(f"npix_{s}_{mode}", f"xs, ys, {p}, ny, nx")
      for s, p in (_SHAPES[0], _SHAPES[2], _SHAPES[4]) for mode in ("exact", "center")],
    *[("bboxes_" + s, "xs, ys, " + p) for s, p in _SHAPES if s in (
        "circ", "ellip", "rect", "wedge", "pill", "pill_ann")],
    ("_farthest_mask_pixel", "mask, center, return_pos"),
    ("_selected_pixel_distances", "selected, x0, y0, x_min, y_min"),
    ("get_parallel_threshold", ""),
    ("set_parallel_threshold", "threshold"),
    *[(f"weights_path_{mode}", "xs, ys, kinds, data") for mode in ("exact", "center")],
    *[(f"weights_path_{m}_one", "x, y, kinds, data, " + _BOX) for m in ("exact", "center")],
    ("bboxes_path", "xs, ys, kinds, data"),
    *[(f"weights_{s}_exact_one", f"x, y, {p}, {_BOX}") for s, p in _SHAPES[:2]],
    *[(f"weights_{s}_exact", "xs, ys, " + p) for s, p in _SHAPES],
    *[(f"weights_{s}_center", "xs, ys, " + p) for s, p in _SHAPES],
    *[(f"weights_{s}_exact_one", f"x, y, {p}, {_BOX}") for s, p in _SHAPES[2:]],
    *[(f"weights_{s}_center_one", f"x, y, {p}, {_BOX}") for s, p in _SHAPES],
]
assert len(FUNCTION_TABLE) == 117
assert len({name for name, _ in FUNCTION_TABLE}) == 117

# --- the C++ check programs ---------------------------------------------------

TESTS = Path(__file__).resolve().parent
SRC = TESTS.parent / "src"


def check_names(source):
    """The checks a check program runs, in order."""
    return re.findall(r'check\("(\w+)"', source.read_text())


def run_check_program(tmp_path_factory, name, sources):
    """Compiles the sources side by side, links them and runs the program; returns
    ({check name: "ok" or "FAIL <detail>"}, the finished run)."""
    cxx = shutil.which("g++") or shutil.which("c++")
    if cxx is None:
        pytest.skip("no C++ compiler")
    out = tmp_path_factory.mktemp(name)
    # Under the sanitizer run the check programs are built with the same checks.
    sanitize = (["-fsanitize=address,undefined,float-cast-overflow", "-fno-sanitize-recover=all", "-g"]
                if os.environ.get("QUORVANTEL_CHECK_SANITIZE") == "1" else [])
    objects = [out / f"{k}_{src.stem}.o" for k, src in enumerate(sources)]
    jobs = [subprocess.Popen([cxx, "-std=c++20", "-O2", "-ffp-contract=off", *sanitize, f"-I{SRC}", "-c",
                              str(src), "-o", str(obj)], stderr=subprocess.PIPE, text=True)
            for obj, src in zip(objects, sources)]
    results = [(job.communicate()[1], job.returncode) for job in jobs]
    assert all(rc == 0 for _, rc in results), "\n".join(err for err, _ in results)
    exe = out / name
    link = subprocess.run([cxx, *sanitize, *map(str, objects), "-o", str(exe)], capture_output=True, text=True)
    assert link.returncode == 0, link.stderr
    run = subprocess.run([str(exe)], capture_output=True, text=True, timeout=300)
    return dict(line.partition(" ")[::2] for line in run.stdout.splitlines()), run


@pytest.fixture
def threshold():
    """Gives the module; restores the parallel threshold afterwards."""
    saved = native.get_parallel_threshold()
    yield native
    native.set_parallel_threshold(saved)


# --- helpers shared by the aperture-sum tests ----------------------------------

DTYPES = {"": np.float64, "_f32": np.float32, "_i32": np.int32, "_i16": np.int16}


def run(kind, data, xs, ys, *params, suffix=""):
    """Per-aperture rows (sum[, area or count]) of `apsum_{kind}{suffix}`; a `_one` kind
    is called once per centre, a many-aperture kind once for all of them."""
    fn = getattr(native, f"apsum_{kind}{suffix}")
    data = data.astype(DTYPES[suffix], copy=False)
    if kind.endswith("_one"):
        res = [fn(data, float(x), float(y), *params) for x, y in zip(xs, ys)]
        return [r if isinstance(r, tuple) else (r,) for r in res]
    out = fn(data, np.asarray(xs, float), np.asarray(ys, float), *params)
    return list(zip(*out)) if isinstance(out, tuple) else [(s,) for s in out]


def bits(rows):
    """Rows of floats as hex strings, so that comparisons are bit for bit (nan included)."""
    return [tuple(float(v).hex() for v in row) for row in rows]


def seq_sum(values):
    """Plain left-to-right accumulation from 0, as the kernels add."""
    return float(np.cumsum(np.append(0.0, values))[-1])


def assert_non_finite_and_far_centres(kind, suffix, params):
    """Non-finite centres give nan for their own aperture only; boxes wholly
    outside the image give 0, not nan, however far away they are."""
    data, good = np.arange(144.0).reshape(12, 12), [(3.2, 4.1), (6.0, 6.0), (0.5, 11.0)]
    bad = [(math.nan, 3.0), (3.0, math.nan), (math.inf, 3.0), (3.0, -math.inf),
           (-math.inf, math.nan)]
    far = [(1e300, 5.0), (-1e300, 5.0), (5.0, 1e300), (1e20, -1e20), (-9.0, 4.0), (4.0, 21.0)]
    xs, ys = zip(good[0], *bad[:3], good[1], *bad[3:], good[2], *far)
    rows = run(kind, data, xs, ys, *params, suffix=suffix)
    expected = run(kind, data, *zip(*good), *params, suffix=suffix)
    assert bits([rows[0], rows[4], rows[7]]) == bits(expected)
    assert all(math.isnan(v) for k in (1, 2, 3, 5, 6) for v in rows[k])
    assert bits(rows[8:]) == bits([(0.0,) * len(rows[0])] * 6)


def assert_same_bits_everywhere(threshold, kind, data, xs, ys, params, thresholds, one):
    """The rows of `kind` bit for bit whatever the image's element type, the parallel
    threshold (each of `thresholds`) and the chunks the centres come in, and, where
    `one`, from the `_one` form over the first 300 centres; returns them as bits."""
    reference = bits(run(kind, data, xs, ys, *params))
    for suffix in DTYPES:
        for t in thresholds:
            threshold.set_parallel_threshold(t)
            assert bits(run(kind, data, xs, ys, *params, suffix=suffix)) == reference
        if one:
            singles = run(kind + "_one", data, xs[:300], ys[:300], *params, suffix=suffix)
            assert bits(singles) == reference[:300]
    pieces = [run(kind, data, xs[i:i + 13], ys[i:i + 13], *params) for i in range(0, len(xs), 13)]
    assert bits([row for piece in pieces for row in piece]) == reference
    return reference


def assert_extreme_integers_enter_exactly(kind, suffix, value, params):
    """A lone pixel at the type's extreme adds its weight times the value, exactly, as
    the same apertures over an image of ones and zeros weigh it; sums start at 0."""
    typed = np.zeros((9, 9), DTYPES[suffix])
    typed[4, 4] = value
    xs, ys = [4.0, 4.3, 5.6], [4.0, 5.1, 3.9]
    weights = run(kind, (typed != 0).astype(float), xs, ys, *params)
    assert bits(run(kind, typed, xs, ys, *params, suffix=suffix)) == bits(
        [(0.0 + w[0] * float(value), *w[1:]) for w in weights])
