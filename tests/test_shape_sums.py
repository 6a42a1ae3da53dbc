"""Rectangle and ellipse sums: validation, areas, pixel weights, reproducibility, oracles.

The circular annulus shares its validation, areas and identities with the circle tests
(test_circle_sums.py); here it only meets sep as a further oracle.
"""

import itertools
import math

import numpy as np
import pytest

import quorvantel._native as native
from conftest import (DTYPES, assert_extreme_integers_enter_exactly,
                      assert_non_finite_and_far_centres, assert_same_bits_everywhere, bits, run,
                      seq_sum)

PI = math.pi
RECT = ["rect_exact", "rect_center", "rect_exact_one"]
ELLIP = ["ellip_exact", "ellip_center", "ellip_exact_one"]
KINDS = RECT + ELLIP
MANY = [k for k in KINDS if not k.endswith("_one")]
EXACT = [k for k in KINDS if "exact" in k]
OK = {k: (5.5, 2.5, 0.7) if k in RECT else (4.2, 2.1, -0.9) for k in KINDS}
BAD = {k: (0.0, 2.5, 0.7) if k in RECT else (4.2, math.nan, -0.9) for k in KINDS}
MSG = {k: f"invalid {'rectangle' if k in RECT else 'ellipse'} parameters" for k in KINDS}
GOOD = np.array([2.0, 3.0, 4.0])
SEED, NEVER_POOLED = 20240612, 2**64 - 1


def raises(message):
    return pytest.raises(ValueError, match=f"^{message}$")


def weight_map(kind, shape, x, y, *params):
    """Per-pixel weights of one aperture, each read as the sum over an image that is 1 at
    that pixel and 0 elsewhere."""
    fn, delta, out = getattr(native, f"apsum_{kind}"), np.zeros(shape), np.zeros(shape)
    xs, ys = np.array([x]), np.array([y])
    for j, i in np.ndindex(*shape):
        delta[j, i] = 1.0
        out[j, i] = fn(delta, xs, ys, *params)[0][0]
        delta[j, i] = 0.0
    return out


def centre_mask(kind, shape, x, y, p, q, theta):
    """Pixels whose centre lies strictly inside, in the kernels' own arithmetic."""
    jj, ii = np.mgrid[0:shape[0], 0:shape[1]].astype(float)
    dx, dy, c, s = ii - x, jj - y, math.cos(theta), math.sin(theta)
    if kind.startswith("rect"):
        return (np.abs(c * dx + s * dy) < p * 0.5) & (np.abs(c * dy - s * dx) < q * 0.5)
    u, v = (dx * c + dy * s) / p, (dy * c - dx * s) / q
    return u * u + v * v < 1.0


# --- validation -------------------------------------------------------------

@pytest.mark.parametrize("suffix", list(DTYPES))
@pytest.mark.parametrize("kind", KINDS)
def test_image_layout_is_checked_first(kind, suffix):
    dtype = DTYPES[suffix]
    for data in (np.ones((5, 4), dtype).T, np.ones((4, 10), dtype)[:, ::2]):
        with raises(f"data must be a C-contiguous {np.dtype(dtype).name} array"):
            run(kind, data, np.ones(6)[::2], GOOD[:2], *BAD[kind], suffix=suffix)


@pytest.mark.parametrize("suffix", ["", "_i16"])
@pytest.mark.parametrize("kind", KINDS)
def test_empty_image_is_reported_with_the_parameters(kind, suffix):
    for shape, params in itertools.product([(0, 5), (5, 0), (0, 0)], [OK[kind], BAD[kind]]):
        with raises(MSG[kind]):
            run(kind, np.ones(shape), GOOD, GOOD, *params, suffix=suffix)


@pytest.mark.parametrize("kind", MANY)
def test_vector_checks_come_before_the_parameters(kind):
    fn, data, strided = getattr(native, f"apsum_{kind}"), np.ones((6, 6)), np.arange(6.0)[::2]
    for xs, ys, message in [(strided, GOOD, "x must be a contiguous float64 array"),
                            (strided, strided, "x must be a contiguous float64 array"),
                            (GOOD, strided, "y must be a contiguous float64 array"),
                            (GOOD, np.arange(4.0), "x and y must have matching shapes"),
                            (np.ones(0), GOOD, "x and y must have matching shapes"),
                            (strided[:0], np.ones(0), MSG[kind])]:
        with raises(message):
            fn(data, xs, ys, *BAD[kind])
    assert fn(data, strided[:0], np.ones(0), *OK[kind]) == ([], [])


REJECTED = [(0.0, 2.0, 0.0), (-0.0, 2.0, 0.0), (-1.0, 2.0, 0.0), (math.nan, 2.0, 0.0),
            (math.inf, 2.0, 0.0), (2.0, 0.0, 0.0), (2.0, -5e-324, 0.0), (2.0, math.nan, 0.0),
            (2.0, -math.inf, 0.0), (2.0, 2.0, math.inf), (2.0, 2.0, -math.inf),
            (2.0, 2.0, math.nan)]
ACCEPTED = [(5e-324, 2.0, 0.0), (2.0, 5e-324, 1.0), (2.0, 3.0, 1e300), (2.0, 3.0, -1e300),
            (2.0, 3.0, -0.0), (1e6, 1e-3, 0.1)]


@pytest.mark.parametrize("kind", KINDS)
def test_parameters_are_checked_before_the_centre(kind):
    data = np.ones((8, 8))
    for params in REJECTED:
        with raises(MSG[kind]):
            run(kind, data, [math.nan], [1.0], *params)
    for params in ACCEPTED:
        nan_row, row = run(kind, data, [math.nan, 3.7], [1.0, 4.2], *params)
        assert all(math.isnan(v) for v in nan_row) and all(math.isfinite(v) for v in row)


# --- areas ------------------------------------------------------------------

# (2.7, 1.3) and (5.1, 2.2) tell (a * pi) * b from a * (b * pi) and from (a * b) * pi;
# the last two boxes touch the image border from inside (x_min = 0 and x_max = nx)
INSIDE = [((40, 40), 20.3, 19.6, (2.7, 1.3, 0.0)), ((40, 40), 20.3, 19.6, (5.1, 2.2, -2.2)),
          ((40, 40), 17.0, 21.5, (0.3, 9.9, 1e6)), ((40, 40), 20.0, 20.0, (1e-3, 7.0, 0.25)),
          ((4, 4), 1.5, 1.5, (4.0, 4.0, 0.0), (2.0, 2.0, 0.0)),
          ((7, 4), 1.5, 3.0, (4.0, 2.0, 0.0), (2.0, 1.0, 0.0))]


@pytest.mark.parametrize("suffix", list(DTYPES))
@pytest.mark.parametrize("kind", EXACT)
def test_analytic_area_when_the_box_is_inside(kind, suffix):
    for shape, x, y, *params in INSIDE:
        p, q, theta = params[0] if kind in RECT else params[-1]
        area = p * q if kind in RECT else (p * PI) * q
        [(s, a)] = run(kind, np.ones(shape), [x], [y], p, q, theta, suffix=suffix)
        assert a == area and s == pytest.approx(area, rel=1e-12)


def _cut_disc(d):  # the unit disc less the segment beyond a line at distance d < 1
    return PI - (math.acos(d) - d * math.sqrt(1.0 - d * d))


# the image (10 rows, 12 columns) spans x in [-0.5, 11.5] and y in [-0.5, 9.5]
ACROSS = [("rect", 1.49, 5.0, 4.0, 2.0, 0.0, 3.99 * 2.0), ("rect", 5.0, 9.0, 3.0, 2.0, 0.0, 4.5),
          ("rect", 11.0, 0.0, 2.0, 2.0, 0.0, 2.25), ("rect", 0.2, 5.0, 4.0, 2.0, PI / 2, 6.8),
          ("ellip", 0.5, 5.0, 3.0, 2.0, 0.0, 6.0 * _cut_disc(1.0 / 3.0)),
          ("ellip", 5.0, 9.0, 3.0, 2.0, PI / 2, 6.0 * _cut_disc(0.5 / 3.0)),
          ("ellip", 10.8, 4.0, 1.5, 4.0, 0.0, 6.0 * _cut_disc(0.7 / 1.5))]


@pytest.mark.parametrize("kind, x, y, p, q, theta, expected", [
    (kind, *case[1:]) for kind in EXACT for case in ACROSS if kind.startswith(case[0])])
def test_area_is_the_sum_of_weights_when_the_box_crosses_an_edge(kind, x, y, p, q, theta,
                                                                 expected):
    [(s, a)] = run(kind, np.ones((10, 12)), [x], [y], p, q, theta)
    assert a == s and a == pytest.approx(expected, rel=1e-12)


def test_unit_square_turned_by_a_quarter_right_angle():
    inner, side = 2.0 * (math.sqrt(2.0) - 1.0), (3.0 - 2.0 * math.sqrt(2.0)) / 4.0
    expected = np.zeros((5, 5))
    expected[2, 2], expected[[1, 2, 2, 3], [2, 1, 3, 2]] = inner, side
    weights = weight_map("rect_exact", (5, 5), 2.0, 2.0, 1.0, 1.0, PI / 4)
    np.testing.assert_allclose(weights, expected, rtol=0, atol=1e-12)
    assert (weights[expected == 0] == 0).all()  # the diagonal neighbours are skipped
    ones = np.ones((5, 5))
    assert native.apsum_rect_exact_one(ones, 2.0, 2.0, 1.0, 1.0, PI / 4)[1] == 1.0
    # centred on pixel (0, 2) the box reaches past the left edge
    weights = weight_map("rect_exact", (5, 5), 0.0, 2.0, 1.0, 1.0, PI / 4)
    s, area = native.apsum_rect_exact_one(ones, 0.0, 2.0, 1.0, 1.0, PI / 4)
    assert area == s == seq_sum(weights.ravel())
    assert area == pytest.approx(inner + 3.0 * side, abs=1e-12)  # 0.957107


@pytest.mark.parametrize("kind", RECT)
@pytest.mark.parametrize("x, y, w, h", [(3.5, 4.5, 4.0, 2.0), (3.0, 4.0, 3.0, 5.0),
                                        (5.5, 3.0, 6.0, 1.0), (0.0, 0.0, 5.0, 3.0),
                                        (7.0, 2.0, 1.0, 1.0), (8.5, 6.5, 8.0, 6.0)])
def test_axis_aligned_rectangle_on_pixel_edges_takes_whole_pixels(kind, x, y, w, h):
    data = np.random.default_rng(SEED).integers(-50, 50, (9, 10)) + 0.125
    mask = centre_mask(kind, data.shape, x, y, w, h, 0.0)
    [(s, a)] = run(kind, data, [x], [y], w, h, 0.0)
    assert (s, a) == (seq_sum(data[mask]), float(mask.sum()))


CENTRED = [(5.0, 5.0, 2.0, 4.0, 0.0), (4.0, 6.0, 3.0, 3.0, 0.0), (4.0, 4.0, 4.0, 2.0, PI / 2),
           (6.3, 4.8, 5.5, 2.2, 0.7), (0.2, 9.7, 7.0, 3.0, -2.1), (11.6, 0.4, 2.0, 6.0, 2.0)]


@pytest.mark.parametrize("kind", ["rect_center", "ellip_center"])
@pytest.mark.parametrize("x, y, p, q, theta", CENTRED)
@pytest.mark.parametrize("suffix", ["", "_i32"])
def test_centre_mode_counts_centres_strictly_inside(kind, x, y, p, q, theta, suffix):
    # a centre on the boundary does not count; the first three cases have some
    data = np.random.default_rng(SEED).integers(-50, 50, (11, 12)) + (0 if suffix else 0.125)
    mask = centre_mask(kind, data.shape, x, y, p, q, theta)
    [(s, n)] = run(kind, data, [x], [y], p, q, theta, suffix=suffix)
    assert (s, n) == (seq_sum(data[mask]), float(mask.sum()))


# --- pixel weights, checked independently -------------------------------------------

def strip_weights(kind, shape, x, y, p, q, theta, n=2000):
    """Area of the shape inside each pixel by the midpoint rule on n vertical strips a
    pixel: each strip meets the (convex) shape in one interval of y."""
    c, s = math.cos(theta), math.sin(theta)
    dx = (np.arange(shape[1] * n) + 0.5) / n - 0.5 - x
    if kind.startswith("rect"):  # |c dx + s dy| <= w / 2 and |c dy - s dx| <= h / 2
        lo, hi = np.full_like(dx, -np.inf), np.full_like(dx, np.inf)
        for off, slope, half in ((c * dx, s, p / 2), (-s * dx, c, q / 2)):
            ends = np.sort([(-half - off) / slope, (half - off) / slope], axis=0)
            lo, hi = np.maximum(lo, ends[0]), np.minimum(hi, ends[1])
    else:  # (dx c + dy s)^2 / a^2 + (dy c - dx s)^2 / b^2 <= 1, a quadratic in dy
        qa = s * s / p**2 + c * c / q**2
        qb = 2.0 * dx * c * s * (1.0 / p**2 - 1.0 / q**2)
        qc = dx * dx * (c * c / p**2 + s * s / q**2) - 1.0
        root = np.sqrt(np.maximum(qb * qb - 4.0 * qa * qc, 0.0))
        lo, hi = (-qb - root) / (2.0 * qa), (-qb + root) / (2.0 * qa)
    rows = np.arange(shape[0])[:, None] - y
    inside = np.clip(np.minimum(hi, rows + 0.5) - np.maximum(lo, rows - 0.5), 0.0, None)
    return inside.reshape(shape[0], shape[1], n).sum(axis=2) / n


@pytest.mark.parametrize("kind, x, y, p, q, theta", [
    ("rect_exact", 5.3, 6.1, 6.4, 2.3, 0.6),
    ("rect_exact", 5.5, 5.2, 7.0, 0.4, -1.1),  # thinner than a pixel: every pixel clipped
    ("rect_exact", 0.8, 10.6, 5.0, 3.0, 2.4),  # across two image edges
    ("ellip_exact", 5.7, 6.2, 4.1, 1.7, 0.35), ("ellip_exact", 6.1, 5.4, 2.2, 3.9, -2.5),
    ("ellip_exact", 5.2, 5.6, 0.5, 0.5, 0.0),  # corner reach above 1: no pixel wholly in
    ("ellip_exact", 5.1, 4.95, 0.3, 0.12, 1.3),  # inside one pixel
    ("ellip_exact", 11.3, 0.6, 3.0, 1.5, -0.4)])
def test_pixel_weights_match_strip_integration(kind, x, y, p, q, theta):
    weights = weight_map(kind, (12, 12), x, y, p, q, theta)
    np.testing.assert_allclose(weights, strip_weights(kind, (12, 12), x, y, p, q, theta),
                               rtol=0, atol=2e-5)
    if p < 0.5:  # the ellipse lies in one pixel, whose weight is its whole area
        assert weights.max() == pytest.approx((p * PI) * q, rel=1e-14)


# a rectangle row's whole pixels are taken as one run of columns: every pixel keeps the
# class the per-pixel rule gives it (in the kernels' own arithmetic), wherever the image
# cuts the row; the cases cover both signs of cos and sin and a sin of exactly 0
@pytest.mark.parametrize("x, y, w, h, theta", [
    (6.3, 5.8, 9.0, 4.0, 0.0), (6.0, 6.0, 3.0, 11.0, PI / 2), (5.7, 6.2, 8.5, 3.5, PI),
    (6.1, 5.9, 10.0, 2.6, 1e-17), (5.4, 6.6, 7.0, 5.0, 0.37), (6.6, 5.3, 13.0, 2.2, -1.2),
    (1.2, 10.9, 9.0, 6.0, 2.3), (6.0, 6.0, 1.6, 1.6, PI / 4)])
@pytest.mark.filterwarnings("ignore:divide by zero")  # strips along a side at theta 0
def test_rectangle_pixels_keep_the_class_of_the_pixel_rule(x, y, w, h, theta):
    shape = (12, 12)
    weights = weight_map("rect_exact", shape, x, y, w, h, theta)
    jj, ii = np.mgrid[0:shape[0], 0:shape[1]].astype(float)
    c, s = math.cos(theta), math.sin(theta)
    au, av = np.abs(c * (ii - x) + s * (jj - y)), np.abs(c * (jj - y) - s * (ii - x))
    half_pixel = (abs(c) + abs(s)) * 0.5
    whole = (au <= w * 0.5 - half_pixel) & (av <= h * 0.5 - half_pixel)
    outside = (au >= w * 0.5 + half_pixel) | (av >= h * 0.5 + half_pixel)
    assert whole.any() and (weights[whole] == 1.0).all() and (weights[outside] == 0.0).all()
    np.testing.assert_allclose(weights, strip_weights("rect_exact", shape, x, y, w, h, theta),
                               rtol=0, atol=2e-5)
    data = np.random.default_rng(SEED).integers(-50, 50, shape) + 0.125
    for k in range(1, shape[1]):  # columns k.. cut off, or zero: the same sum to the bit
        zeroed = data.copy()
        zeroed[:, k:] = 0.0
        cut = np.ascontiguousarray(data[:, :k])
        assert (bits(run("rect_exact", cut, [x], [y], w, h, theta))[0][0]
                == bits(run("rect_exact", zeroed, [x], [y], w, h, theta))[0][0])


# an edge piece tangent to the circle at its midpoint lies outside it (an arc): with the
# other choice a = b = 1.5 about a pixel centre gave weights adding up to 7.17, not 2.25 pi
@pytest.mark.parametrize("r", [0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5])
@pytest.mark.parametrize("x, y", [(6.0, 6.0), (6.5, 6.5), (6.0, 6.5), (0.0, 5.5)])
def test_round_ellipse_weighs_pixels_as_the_circle(r, x, y):
    circle = weight_map("circ_exact", (13, 13), x, y, r)
    for theta in (0.0, 1.1):
        np.testing.assert_allclose(weight_map("ellip_exact", (13, 13), x, y, r, r, theta),
                                   circle, rtol=0, atol=1e-12)
    ones = np.ones((13, 13))
    ellipse, disc = (native.apsum_ellip_exact(ones, np.array([x]), np.array([y]), r, r, 0.0),
                     native.apsum_circ_exact(ones, np.array([x]), np.array([y]), r))
    np.testing.assert_allclose(ellipse, disc, rtol=1e-12)
    if x > r:  # inside the image: the weights add up to the disc's area
        assert ellipse[0][0] == pytest.approx(r * r * PI, rel=1e-12)


# --- reproducibility, non-finite input and extreme values --------------------------

@pytest.mark.parametrize("kind", MANY)
def test_results_independent_of_image_type_threshold_chunks_and_form(kind, threshold):
    data = np.random.default_rng(SEED).integers(-32768, 32768, (60, 60)).astype(float)
    rng = np.random.default_rng(4)
    xs, ys = rng.uniform(-8.0, 68.0, 3001), rng.uniform(-8.0, 68.0, 3001)
    xs[::97], ys[5::101] = math.nan, 1e300
    assert_same_bits_everywhere(threshold, kind, data, xs, ys, OK[kind],
                                (NEVER_POOLED, 1, 64, 3001), one="exact" in kind)


@pytest.mark.parametrize("suffix", list(DTYPES))
@pytest.mark.parametrize("kind", KINDS)
def test_non_finite_and_far_centres(kind, suffix):
    assert_non_finite_and_far_centres(kind, suffix, OK[kind])


@pytest.mark.parametrize("kind", KINDS)
def test_nan_pixel_reaches_only_apertures_that_weigh_it(kind):
    data = np.ones((12, 12))
    data[8, 2] = math.nan  # pixel (2, 8): in the box of the first aperture, not in its shape
    params = (9.0, 1.2, PI / 4) if kind in RECT else (4.5, 0.6, PI / 4)
    xs, ys = [5.0, 2.4, 9.0], [5.0, 7.8, 9.0]
    clean = run(kind, np.ones((12, 12)), xs, ys, *params)
    boxed, over, far = run(kind, data, xs, ys, *params)
    assert bits([boxed, far, over[1:]]) == bits([clean[0], clean[2], clean[1][1:]])
    assert math.isnan(over[0])


@pytest.mark.parametrize("suffix, value", [("_i16", -32768), ("_i16", 32767),
                                           ("_i32", -2147483648), ("_i32", 2147483647)])
@pytest.mark.parametrize("kind", KINDS)
def test_extreme_integers_enter_exactly(kind, suffix, value):
    assert_extreme_integers_enter_exactly(kind, suffix, value, (3.0, 1.5, 0.4))


# --- photutils and sep as independent oracles -----------------------------------

def _off_axis_pixel():  # pixel (13, 10) lies on the rim of the ellipse below, off its axes
    data = np.zeros((20, 30))
    data[10, 13] = 1.0
    ours, mirrored = (native.apsum_ellip_exact_one(data, 10.0, 8.0, 5.0, 1.2, t)[0]
                      for t in (0.5, -0.5))
    assert 0.0 < ours < 1.0 and mirrored == 0.0  # the angle's sign decides
    return data, ours


@pytest.fixture(scope="module")
def aperture():
    aperture = pytest.importorskip("photutils.aperture")
    data, ours = _off_axis_pixel()
    ellipse = aperture.EllipticalAperture((10.0, 8.0), 5.0, 1.2, theta=0.5)
    table = aperture.aperture_photometry(data, ellipse, method="exact")
    assert table["aperture_sum"][0] == pytest.approx(ours, rel=1e-10)
    return aperture


def _scene(seed, n=120, ties=True):
    rng = np.random.default_rng(seed)
    data = rng.normal(10.0, 3.0, size=(45, 52)).astype(np.float32).astype(float)
    xs, ys = rng.uniform(-8.0, 60.0, n), rng.uniform(-8.0, 53.0, n)
    if ties:  # centres on pixel centres: ties for centre mode
        xs[-20:], ys[-20:] = np.round(xs[-20:]), np.round(ys[-20:])
    return data, xs, ys


@pytest.mark.parametrize("a, b, theta", [(0.4, 0.25, 0.3), (3.3, 1.2, -1.0), (6.5, 9.1, 2.8),
                                         (2.0, 2.0, 0.0), (4.0, 2.0, 0.0)])
def test_exact_ellipse_agrees_with_photutils(aperture, a, b, theta):
    data, xs, ys = _scene(SEED)
    ap = aperture.EllipticalAperture(np.column_stack([xs, ys]), a, b, theta=theta)
    sums, areas = native.apsum_ellip_exact(data, xs, ys, a, b, theta)
    table = aperture.aperture_photometry(data, ap, method="exact")
    expected_areas = np.nan_to_num(ap.area_overlap(data, method="exact"))
    np.testing.assert_allclose(sums, np.nan_to_num(np.asarray(table["aperture_sum"])),
                               rtol=1e-10, atol=1e-9 * ap.area)
    np.testing.assert_allclose(areas, expected_areas, rtol=1e-10, atol=1e-12 * ap.area)


@pytest.mark.parametrize("kind", ["rect_center", "ellip_center"])
@pytest.mark.parametrize("p, q, theta", [(0.7, 0.4, 0.3), (5.5, 2.5, 0.7), (9.3, 3.1, -2.0),
                                         (4.0, 2.0, 0.0), (2.0, 6.0, PI / 2)])
def test_centre_kinds_agree_with_photutils(aperture, kind, p, q, theta):
    data, xs, ys = _scene(SEED + 1)
    shape = aperture.RectangularAperture if kind == "rect_center" else aperture.EllipticalAperture
    ap = shape(np.column_stack([xs, ys]), p, q, theta=theta)
    sums, counts = getattr(native, "apsum_" + kind)(data, xs, ys, p, q, theta)
    table = aperture.aperture_photometry(data, ap, method="center")
    np.testing.assert_array_equal(counts, np.nan_to_num(ap.area_overlap(data, method="center")))
    np.testing.assert_allclose(sums, np.nan_to_num(np.asarray(table["aperture_sum"])),
                               rtol=1e-12, atol=1e-9)


@pytest.fixture(scope="module")
def sep():
    sep = pytest.importorskip("sep")
    data, ours = _off_axis_pixel()
    theirs = sep.sum_ellipse(data, np.array([10.0]), np.array([8.0]), 5.0, 1.2, 0.5, subpix=0)
    assert theirs[0][0] == pytest.approx(ours, rel=1e-5)
    return sep


# sep asks for a >= b and |theta| <= pi / 2. It goes wrong on centres that are pixel
# centres (a 0.4 x 0.3 ellipse there gave more than pixel value x area; sum_circann with
# r_in = 0 gave less than its own sum_circle), so these centres avoid them.
@pytest.mark.parametrize("shape, params", [
    ("ellip", (3.3, 1.2, -1.0)), ("ellip", (6.1, 6.0, 1.5)), ("ellip", (0.4, 0.3, 0.2)),
    ("circ_ann", (1.0, 3.0)), ("circ_ann", (0.0, 2.5)), ("circ_ann", (0.3, 7.7)),
    ("circ_ann", (4.0, 4.05))])
def test_sums_agree_with_sep(sep, shape, params):
    data, xs, ys = _scene(SEED + 2, n=150, ties=False)
    fn = sep.sum_ellipse if shape == "ellip" else sep.sum_circann
    theirs = fn(data, xs, ys, *params, subpix=0)[0]
    ours, areas = getattr(native, f"apsum_{shape}_exact")(data, xs, ys, *params)
    np.testing.assert_allclose(ours, theirs, rtol=1e-5, atol=1e-5 * max(areas))
