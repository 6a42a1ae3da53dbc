"""Weight rasters: areas, centre tests, the sums' pixel weights, peers, the pool,
single-aperture boxes, the order of the checks and the wedge between two reflex arcs."""

import math

import numpy as np
import pytest

import quorvantel._native as native
from conftest import bits

PI = math.pi
RNG = np.random.default_rng(20261207)

# Shape word -> (parameters, analytic area).  Annuli have their inner shape inside
# the outer one, so their areas are plain differences.
SHAPES = {
    "circ": ((4.3,), PI * 4.3**2),
    "circ_ann": ((1.7, 4.3), PI * (4.3**2 - 1.7**2)),
    "rect": ((6.5, 3.25, 0.6), 6.5 * 3.25),
    "rect_ann": ((2.5, 1.5, 6.5, 3.25, 0.6, 0.6), 6.5 * 3.25 - 2.5 * 1.5),
    "ellip": ((5.0, 2.5, -0.9), PI * 5.0 * 2.5),
    "ellip_ann": ((2.0, 1.0, 5.0, 2.5, -0.9, -0.9), PI * (5.0 * 2.5 - 2.0 * 1.0)),
    "wedge": ((1.5, 4.5, 0.4, 2.0, 0.4, 2.0), 2.0 / 2 * (4.5**2 - 1.5**2)),
}
MODES = ("exact", "center")
CENTRES = (np.array([0.0, 3.3, -7.61, 12.5]), np.array([0.0, -2.2, 5.05, 0.5]))


def many(shape, mode, xs, ys, *params):
    return getattr(native, f"weights_{shape}_{mode}")(np.asarray(xs, float),
                                                      np.asarray(ys, float), *params)


def one(shape, mode, x, y, params, x_min, y_min, ny, nx):
    return getattr(native, f"weights_{shape}_{mode}_one")(x, y, *params, x_min, y_min, ny, nx)


def pixel_grid(x_min, x_max, y_min, y_max):
    return np.meshgrid(np.arange(x_min, x_max, dtype=float),
                       np.arange(y_min, y_max, dtype=float))


# --- areas and peers ----------------------------------------------------------------

@pytest.mark.parametrize("shape", SHAPES)
def test_exact_rasters_sum_to_the_area_and_stay_in_0_1(shape):
    params, area = SHAPES[shape]
    arrays, *boxes = many(shape, "exact", *CENTRES, *params)
    for k, a in enumerate(arrays):
        assert a.dtype == np.float64 and a.shape == (boxes[3][k] - boxes[2][k],
                                                     boxes[1][k] - boxes[0][k])
        assert a.min() >= 0.0 and a.max() <= 1.0 + 1e-15
        assert math.fsum(a.ravel()) == pytest.approx(area, rel=1e-12, abs=1e-12)


def test_exact_cells_match_photutils_overlap_grids():
    geometry = pytest.importorskip("photutils.geometry")
    x, y = 3.37, -1.81
    for shape, params, peer in (
            ("circ", (4.3,), lambda *g: geometry.circular_overlap_grid(*g, 4.3, 1, 1)),
            ("ellip", (5.0, 2.5, 0.7),
             lambda *g: geometry.elliptical_overlap_grid(*g, 5.0, 2.5, 0.7, 1, 1))):
        (a,), (x0,), (x1,), (y0,), (y1,) = many(shape, "exact", [x], [y], *params)
        grid = peer(x0 - 0.5 - x, x1 - 0.5 - x, y0 - 0.5 - y, y1 - 0.5 - y, x1 - x0, y1 - y0)
        np.testing.assert_allclose(a, grid, rtol=0, atol=1e-10)


# --- centre rasters against a strict test at pixel centres ---------------------------

def _turned(px, py, x, y, theta):
    c, s = math.cos(theta), math.sin(theta)
    return c * (px - x) + s * (py - y), c * (py - y) - s * (px - x)


def _levels(shape, params, px, py, x, y):
    """(outer, inner) levels: inside the outer shape where outer < 0, strictly inside the
    inner one where inner < 0; their size says how far a centre is from the outline."""
    if shape in ("circ", "circ_ann", "wedge"):
        rho = np.hypot(px - x, py - y)
        if shape == "circ":
            return rho - params[0], np.ones_like(rho)
        r_in, r_out = params[:2]
        if shape == "circ_ann":
            return rho - r_out, rho - r_in
        theta_in, dtheta = params[2:4]
        off = np.abs(np.angle(np.exp(1j * (np.arctan2(py - y, px - x) - theta_in))))
        side = (off - dtheta / 2) * rho
        return np.maximum(rho - r_out, side), np.where(side < 0, rho - r_in, -side)
    if shape in ("rect", "rect_ann"):
        def rect(w, h, theta):
            u, v = _turned(px, py, x, y, theta)
            return np.maximum(np.abs(u) - w / 2, np.abs(v) - h / 2)
        if shape == "rect":
            return rect(*params), np.ones_like(px)
        w_in, h_in, w_out, h_out, t_in, t_out = params
        return rect(w_out, h_out, t_out), rect(w_in, h_in, t_in)

    def ellip(a, b, theta):
        u, v = _turned(px, py, x, y, theta)
        return np.hypot(u / a, v / b) - 1.0
    if shape == "ellip":
        return ellip(*params), np.ones_like(px)
    a_in, b_in, a_out, b_out, t_in, t_out = params
    return ellip(a_out, b_out, t_out), ellip(a_in, b_in, t_in)


@pytest.mark.parametrize("shape", SHAPES)
def test_centre_rasters_follow_a_strict_centre_test(shape):
    params = SHAPES[shape][0]
    xs, ys = RNG.uniform(-20, 20, 40), RNG.uniform(-20, 20, 40)
    arrays, *boxes = many(shape, "center", xs, ys, *params)
    for k, a in enumerate(arrays):
        px, py = pixel_grid(*(b[k] for b in boxes))
        outer, inner = _levels(shape, params, px, py, xs[k], ys[k])
        clear = (np.abs(outer) > 1e-9) & (np.abs(inner) > 1e-9)
        expected = ((outer < 0) & (inner >= 0)).astype(float)
        assert np.array_equal(a[clear], expected[clear])
        assert set(np.unique(a)) <= {0.0, 1.0}


# --- the same pixel weights as the sums -----------------------------------------------

@pytest.mark.parametrize("shape, tolerance", [("circ", 0.0), ("circ_ann", 0.0),
                                              ("rect", 1e-14), ("ellip", 1e-14)])
def test_raster_pixels_are_the_sums_pixel_weights(shape, tolerance):
    """A raster pixel weighs what the exact sum gives for an image that is 1 there."""
    params = SHAPES[shape][0]
    x, y = 20.37, 17.62
    (a,), (x0,), (x1,), (y0,), (y1,) = many(shape, "exact", [x], [y], *params)
    sum_fn = getattr(native, f"apsum_{shape}_exact")
    for j in range(y0, y1):
        for i in range(x0, x1):
            data = np.zeros((40, 40))
            data[j, i] = 1.0
            (total,), _ = sum_fn(data, np.array([x]), np.array([y]), *params)
            assert abs(a[j - y0, i - x0] - total) <= tolerance, (i, j)


# --- cross-shape identities ---------------------------------------------------------

@pytest.mark.parametrize("annulus, shape, split", [
    ("circ_ann", "circ", lambda p: ((p[0],), (p[1],))),
    ("rect_ann", "rect", lambda p: ((p[0], p[1], p[4]), (p[2], p[3], p[5]))),
    ("ellip_ann", "ellip", lambda p: ((p[0], p[1], p[4]), (p[2], p[3], p[5]))),
])
@pytest.mark.parametrize("inner_turn", [0.0, 1.1])
def test_annuli_are_their_outer_shape_less_their_inner_one(annulus, shape, split, inner_turn):
    """Exact: clamp(outer - inner) per pixel; centre: in the outer and not in the inner.
    A turned inner shape may reach beyond the outer one."""
    params = list(SHAPES[annulus][0])
    if shape != "circ":
        params[0], params[4] = params[2] * 0.9, params[4] + inner_turn
    inner, outer = split(params)
    x, y = 1.37, -0.52
    for mode in MODES:
        (a,), x0, x1, y0, y1 = many(annulus, mode, [x], [y], *params)
        box = (x0[0], y0[0], y1[0] - y0[0], x1[0] - x0[0])
        w_out, w_in = (np.array(one(shape, mode, x, y, p, *box)).reshape(a.shape)
                       for p in (outer, inner))
        expected = np.clip(w_out - w_in, 0, 1) if mode == "exact" else w_out * (1 - w_in)
        assert a.tobytes() == expected.tobytes()
    zero = native.weights_circ_ann_exact_one(x, y, -0.0, 4.3, -5, -5, 11, 11)
    assert bits([zero]) == bits([native.weights_circ_exact_one(x, y, 4.3, -5, -5, 11, 11)])


def test_turned_shapes_and_round_ellipses_agree_with_their_twins():
    x, y = 0.31, 0.77
    for mode in MODES:
        turned = native.weights_rect_exact_one(x, y, 6.5, 3.25, PI / 2, -5, -5, 12, 12) \
            if mode == "exact" else native.weights_rect_center_one(x, y, 6.5, 3.3, PI / 2,
                                                                    -5, -5, 12, 12)
        plain = native.weights_rect_exact_one(x, y, 3.25, 6.5, 0.0, -5, -5, 12, 12) \
            if mode == "exact" else native.weights_rect_center_one(x, y, 3.3, 6.5, 0.0,
                                                                    -5, -5, 12, 12)
        np.testing.assert_allclose(turned, plain, rtol=0, atol=1e-14)
    round_ellipse = native.weights_ellip_exact_one(x, y, 4.3, 4.3, 0.8, -5, -5, 12, 12)
    circle = native.weights_circ_exact_one(x, y, 4.3, -5, -5, 12, 12)
    np.testing.assert_allclose(round_ellipse, circle, rtol=0, atol=1e-13)


# --- the pool, the single-aperture form and the results -------------------------------

@pytest.mark.parametrize("shape", SHAPES)
@pytest.mark.parametrize("mode", MODES)
def test_serial_pooled_and_single_aperture_rasters_agree_bit_for_bit(threshold, shape, mode):
    params = SHAPES[shape][0]
    xs, ys = RNG.uniform(-50, 50, 150), RNG.uniform(-50, 50, 150)
    threshold.set_parallel_threshold(10**9)
    serial = many(shape, mode, xs, ys, *params)
    threshold.set_parallel_threshold(1)
    pooled = many(shape, mode, xs, ys, *params)
    assert serial[1:] == pooled[1:]
    for k, (a, b) in enumerate(zip(serial[0], pooled[0])):
        assert a.tobytes() == b.tobytes()
        x0, x1, y0, y1 = (box[k] for box in serial[1:])
        flat = one(shape, mode, xs[k], ys[k], params, x0, y0, y1 - y0, x1 - x0)
        assert bits([flat]) == bits([a.ravel().tolist()])


def test_arrays_own_their_rasters_without_copies():
    result = native.weights_circ_exact(np.array([0.0, 5.5]), np.array([0.0, 1.0]), 1.0)
    a = result[0][0]
    assert a.flags.writeable and a.flags.c_contiguous and not a.flags.owndata
    assert a.base is not None and a.base.base is not None  # view -> flat array -> owner
    assert result[1:] == ([-1, 5], [2, 7], [-1, 0], [2, 3])
    expected = a.copy()
    del result
    a[1, 1] = 7.0
    assert a[1, 1] == 7.0 and a[0, 0] == expected[0, 0] > 0.0
    assert a[0, 0] == pytest.approx(0.0787866868, abs=1e-9)


# --- bad input ---------------------------------------------------------------------

E, NAN, BIG = np.array([]), math.nan, 2**63 - 1


@pytest.mark.parametrize("call, error, message", [
    (lambda: native.weights_circ_exact(np.zeros(3), np.zeros(2) + NAN, 1.0),
     ValueError, "x and y must have matching shapes"),
    (lambda: native.weights_circ_exact(np.array([NAN]), np.zeros(1), -1.0),
     ValueError, "invalid circle weights shape"),
    (lambda: native.weights_circ_exact(E, E, -1.0),
     ValueError, "invalid circle weights parameters"),
    (lambda: native.weights_circ_center(np.zeros(4)[::2], E, 1.0),
     ValueError, "x must be a contiguous float64 array"),
    (lambda: native.weights_rect_ann_center(E, E, 2, 2, 2, 2, 0, 1), ValueError,
     "invalid rectangular annulus center weights parameters"),
    (lambda: native.weights_ellip_ann_exact(E, E, 2, 3, 2, 2, 0, 0), ValueError,
     "invalid elliptical annulus weights parameters"),
    (lambda: native.weights_wedge_center(E, E, 1, 2, 0, 2 * PI, 0, 1), ValueError,
     "invalid wedge center weights parameters"),
    (lambda: native.weights_circ_exact_one(NAN, 0.0, -1.0, 0, 0, 3, 3),
     ValueError, "invalid circle weights parameters"),
    (lambda: native.weights_circ_exact_one(0.0, 0.0, 1.0, 0, 0, 0, 3),
     ValueError, "invalid circle weights parameters"),
    (lambda: native.weights_circ_ann_exact_one(0.0, 0.0, 5.0, 1.0, 0, 0, 0, 3),
     ValueError, "shape dimensions must be positive"),
    (lambda: native.weights_wedge_center_one(0.0, 0.0, 1.0, 2.0, 0.0, 1.0, 0.0, 1.0, 0, 0, 0, 3),
     ValueError, "shape dimensions must be positive"),
    (lambda: native.weights_ellip_center_one(0.0, math.inf, 1, 1, 0, 0, 0, 1, 1),
     ValueError, "invalid ellipse center weights shape"),
    (lambda: native.weights_circ_exact_one(0.0, 0.0, 1.0, 0, 0, 2**32, 2**32),
     ValueError, "invalid circle weights shape"),
    (lambda: native.weights_circ_exact_one(0.0, 0.0, 1.0, 0, 0, 2**61, 1),
     MemoryError, "weights allocation failed"),
    (lambda: native.weights_circ_exact_one(0.0, 0.0, 1.0, BIG, 0, 1, 2),
     ValueError, "invalid weights extent"),
    (lambda: native.weights_rect_exact_one(0.0, 0.0, 1, 1, 0, 0, BIG - 1, 3, 1),
     ValueError, "invalid weights extent"),
    (lambda: native.weights_circ_exact(np.zeros(1), np.zeros(1), 1e10),
     MemoryError, "weights allocation is too large"),
    (lambda: native.weights_circ_exact(np.zeros(1), np.zeros(1), 1e9),
     MemoryError, "weights allocation failed"),
    (lambda: native.weights_ellip_exact(np.zeros(1), np.zeros(1), 1e7, 1e7, 0.0),
     MemoryError, "weights allocation failed"),
])
def test_bad_input_raises_the_first_failing_check(call, error, message):
    with pytest.raises(error) as info:
        call()
    assert str(info.value) == message


def test_conversion_errors_and_far_boxes():
    for bad in ([0.0], np.zeros(1, np.float32), np.zeros((1, 1))):
        with pytest.raises(TypeError):
            native.weights_circ_exact(bad, np.zeros(1), -1.0)
    with pytest.raises(OverflowError):
        native.weights_circ_exact_one(0.0, 0.0, 1.0, 0, 0, -1, 1)
    assert native.weights_circ_exact(E, E, 1.0) == ([], [], [], [], [])
    assert native.weights_circ_exact_one(1e300, 0.0, 1.0, 0, 0, 2, 2) == [0.0] * 4


@pytest.mark.parametrize("limit", [10**9, 1])
def test_an_error_half_way_is_the_lowest_index_after_every_aperture(threshold, limit):
    threshold.set_parallel_threshold(limit)
    xs = np.arange(100.0)
    xs[[40, 70]] = 1e300
    ys = np.zeros(100)
    ys[20] = -1e300
    with pytest.raises(ValueError, match="^invalid weights extent$"):
        native.weights_circ_exact(xs, ys, 1.0)
    ys[20] = 0.0
    result = native.weights_ellip_center(xs[:40], ys[:40], 2.0, 1.0, 0.0)
    assert len(result[0]) == 40


def _resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096


@pytest.mark.parametrize("limit", [10**9, 1])
def test_rasters_are_freed_with_their_arrays_and_after_errors(threshold, limit):
    """40 rasters of 0.46 MB each: kept, dropped or failed at the last aperture, 25 times."""
    threshold.set_parallel_threshold(limit)
    xs, ys = np.arange(40.0), np.zeros(40)
    failing = xs.copy()
    failing[-1] = 1e300
    native.weights_circ_exact(xs, ys, 120.0)
    before = _resident_bytes()
    for _ in range(25):
        arrays = native.weights_circ_exact(xs, ys, 120.0)[0]
        assert arrays[-1][120, 120] == 1.0
        del arrays
        with pytest.raises(ValueError):
            native.weights_circ_exact(failing, ys, 120.0)
    assert _resident_bytes() - before < 200e6


# --- wedges ---------------------------------------------------------------------------

def test_wedge_box_and_sector_edges():
    w = many("wedge", "exact", [0.0], [0.0], 1.0, 2.0, 0.0, PI / 2, 0.0, PI / 2)
    assert w[1:] == ([0], [4], [-2], [3])
    (c,), *_ = many("wedge", "center", [0.0], [0.0], 1.0, 2.0, 0.0, PI / 2, 0.0, PI / 2)
    assert (c[2, 0], c[2, 1], c[2, 2]) == (0.0, 1.0, 0.0)
    tiny = many("wedge", "exact", [0.3], [0.1], 1.0, 2.0, 0.5, 1e-15, 0.5, 1e-15)[0][0]
    assert not tiny.any()


@pytest.mark.parametrize("theta", [0.3, -2.0])
def test_wedges_whose_arcs_both_exceed_half_a_turn(theta):
    """A 270 degree sector: between the chords of the two arcs lies a gap, not the wedge."""
    span, x, y = 1.5 * PI, 0.23, -0.41
    area = span / 2 * (6.0**2 - 3.0**2)
    (c,), x0, x1, y0, y1 = many("wedge", "center", [x], [y], 3.0, 6.0, theta, span, theta, span)
    px, py = pixel_grid(x0[0], x1[0], y0[0], y1[0])
    outer, inner = _levels("wedge", (3.0, 6.0, theta, span), px, py, x, y)
    clear = (np.abs(outer) > 1e-9) & (np.abs(inner) > 1e-9)
    assert np.array_equal(c[clear], ((outer < 0) & (inner >= 0))[clear].astype(float))
    same = many("wedge", "exact", [x], [y], 3.0, 6.0, theta, span, theta, span)
    for nudge in (1e-15, 1e-13, 1e-9):
        moved = many("wedge", "exact", [x], [y], 3.0, 6.0, theta, span, theta + nudge, span)
        assert moved[1:] == same[1:]
        assert np.abs(moved[0][0] - same[0][0]).max() < max(1e-12, 100 * nudge)
        assert math.fsum(moved[0][0].ravel()) == pytest.approx(area, rel=1e-12)
    skewed = many("wedge", "exact", [x], [y], 3.0, 6.0, theta, span, theta + 0.2, span - 0.1)
    a0, b0 = theta - span / 2, theta + 0.25 - span / 2
    ends = [r * np.exp(1j * t) for r, t in ((3.0, a0), (3.0, a0 + span), (6.0, b0),
                                            (6.0, b0 + span - 0.1))]
    cross = lambda p, q: (p.conjugate() * q).imag  # noqa: E731
    # Green's theorem along outer arc, side B1 A1, inner arc backwards, side A0 B0.
    skewed_area = 0.5 * (36 * (span - 0.1) + cross(ends[3], ends[1]) - 9 * span
                         + cross(ends[0], ends[2]))
    assert math.fsum(skewed[0][0].ravel()) == pytest.approx(skewed_area, rel=1e-12)
