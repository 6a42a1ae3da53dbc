"""Circle and circular-annulus sums: validation, geometry and reproducibility."""

import itertools
import math

import numpy as np
import pytest

import quorvantel._native as native
from conftest import (DTYPES, assert_extreme_integers_enter_exactly,
                      assert_non_finite_and_far_centres, assert_same_bits_everywhere, bits, run,
                      seq_sum)

PI = math.pi
CIRC = ["circ_exact", "circ_center", "circ_exact_sum", "circ_exact_one", "circ_exact_sum_one"]
ANN = ["circ_ann_exact", "circ_ann_exact_sum", "circ_ann_exact_one", "circ_ann_exact_sum_one"]
KINDS = CIRC + ANN
MANY = [k for k in KINDS if not k.endswith("_one")]
GOOD = np.array([2.0, 3.0, 4.0])
SEED, NEVER_POOLED = 20240611, 2**64 - 1
OK = {k: (1.5, 3.0) if k in ANN else (3.0,) for k in KINDS}
BAD = {k: (3.0, 1.0) if k in ANN else (0.0,) for k in KINDS}
MSG = {k: "invalid circular annulus parameters" if k in ANN else "invalid circle parameters"
       for k in KINDS}


def misaligned(shape, dtype):
    n, size = math.prod(shape), np.dtype(dtype).itemsize
    arr = np.frombuffer(bytearray(n * size + 1), dtype, count=n, offset=1).reshape(shape)
    assert not arr.flags.aligned and arr.flags.c_contiguous
    return arr


def raises_value_error(message):
    return pytest.raises(ValueError, match=f"^{message}$")


def random_centres(n, seed, lo=-6.0, hi=66.0):
    rng = np.random.default_rng(seed)
    return rng.uniform(lo, hi, n), rng.uniform(lo, hi, n)


def integer_image(ny, nx):  # values that every image type holds exactly
    return np.random.default_rng(SEED).integers(-32768, 32768, (ny, nx)).astype(float)


# --- validation -------------------------------------------------------------

@pytest.mark.parametrize("suffix", list(DTYPES))
@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("layout", ["transposed", "strided", "misaligned"])
def test_image_layout_is_checked_first(kind, suffix, layout):
    dtype = DTYPES[suffix]
    data = {"transposed": lambda: np.ones((5, 4), dtype).T,
            "strided": lambda: np.ones((4, 10), dtype)[:, ::2],
            "misaligned": lambda: misaligned((4, 5), dtype)}[layout]()
    with raises_value_error(f"data must be a C-contiguous {np.dtype(dtype).name} array"):
        run(kind, data, np.ones(6)[::2], GOOD[:2], *BAD[kind], suffix=suffix)


@pytest.mark.parametrize("suffix", ["", "_i16"])
@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("shape", [(0, 5), (5, 0), (0, 0)])
def test_empty_image_dimensions(kind, suffix, shape):
    message = "shape dimensions must be positive" if kind in ANN else MSG[kind]
    for params in (OK[kind], BAD[kind]):
        with raises_value_error(message):
            run(kind, np.ones(shape), GOOD, GOOD, *params, suffix=suffix)


VECTORS = {"good": lambda: GOOD, "strided": lambda: np.arange(6.0)[::2],
           "reversed": lambda: GOOD[::-1], "misaligned": lambda: misaligned((3,), np.float64),
           "four": lambda: np.arange(4.0), "empty": lambda: np.ones(0)}
X_MSG, Y_MSG = "x must be a contiguous float64 array", "y must be a contiguous float64 array"


@pytest.mark.parametrize("kind", MANY)
@pytest.mark.parametrize("xs, ys, valid, message", [
    ("strided", "good", True, X_MSG), ("good", "strided", True, Y_MSG),
    ("strided", "strided", False, X_MSG), ("reversed", "good", False, X_MSG),
    ("good", "misaligned", False, Y_MSG),
    ("good", "four", False, "x and y must have matching shapes"),
    ("empty", "good", False, "x and y must have matching shapes")])
def test_coordinate_vector_checks(kind, xs, ys, valid, message):
    with raises_value_error(message):
        run(kind, np.ones((6, 6)), VECTORS[xs](), VECTORS[ys](),
            *(OK[kind] if valid else BAD[kind]))


@pytest.mark.parametrize("kind", MANY)
def test_empty_and_single_element_vectors(kind):
    data, empty, p = np.ones((6, 6)), np.arange(10.0)[::3][:0], OK[kind]
    fn = getattr(native, f"apsum_{kind}")
    assert fn(data, empty, np.ones(0), *p) == ([] if "_sum" in kind else ([], []))
    with raises_value_error(MSG[kind]):
        fn(data, empty, empty, *BAD[kind])
    one = np.arange(10.0)[2::5][:1]  # a stride, but a single element is contiguous
    assert fn(data, one, one, *p) == fn(data, GOOD[:1], GOOD[:1], *p)


@pytest.mark.parametrize("params", [
    (0.0,), (-0.0,), (-1.0,), (-5e-324,), (math.nan,), (math.inf,), (-math.inf,),
    (1.0, 1.0), (2.0, 1.0), (math.nan, 2.0), (-1e-300, 1.0), (-math.inf, 1.0),
    (0.0, math.inf), (math.inf, math.inf), (0.0, math.nan), (0.0, 0.0), (-0.0, -0.0)])
def test_rejected_parameters_even_with_nan_centre(params):
    for kind in CIRC if len(params) == 1 else ANN:
        with raises_value_error(MSG[kind]):
            run(kind, np.ones((4, 4)), [math.nan], [1.0], *params)


# --- areas, borders, far and huge apertures ---------------------------------

# 2.7 tells r * (r * pi) from (r * r) * pi; 2.69 to 2.7 tells the ring formula from others
RADII = [5e-324, 0.3, math.sqrt(0.5), 1.0, 2.7, 5.1, 7.77]
RINGS = [(0.0, 2.7), (-0.0, 5.1), (1.3, 2.7), (0.3, 7.77), (2.69, 2.7), (5e-324, 1.0),
         (0.0, 5e-324), (1.0, 1.0000000000000002)]


@pytest.mark.parametrize("kind", ["circ_exact", "circ_exact_one", *ANN[::2]])
@pytest.mark.parametrize("suffix", list(DTYPES))
def test_analytic_area_inside_image(kind, suffix):
    for r_in, r in [(0.0, r) for r in RADII] if kind in CIRC else RINGS:
        params = (r,) if kind in CIRC else (r_in, r)
        area = r * (r * PI) if kind in CIRC else (r * r - r_in * r_in) * PI
        [(s, a)] = run(kind, np.ones((48, 48)), [20.3], [19.6], *params, suffix=suffix)
        assert a == area and s == pytest.approx(area, rel=1e-12, abs=1e-12)


def _clipped_disc(r, d):  # a disc's area on one side of a line at distance d from its centre
    segment = r * r * math.acos(d / r) - d * math.sqrt(r * r - d * d) if d < r else 0.0
    return PI * r * r - segment


@pytest.mark.parametrize("kind", ["circ_exact", "circ_exact_one", *ANN[::2]])
@pytest.mark.parametrize("x, y, d", [(2.5, 5.0, None), (2.4, 5.0, 2.9), (8.5, 5.0, None),
                                     (8.6, 5.0, 2.9), (5.5, 2.5, None), (5.5, 6.5, None),
                                     (5.5, 6.51, 2.99)])
def test_box_touching_the_border(kind, x, y, d):
    ann = kind in ANN  # the image spans columns -0.5 .. 11.5 and rows -0.5 .. 9.5
    [(s, a)] = run(kind, np.ones((10, 12)), [x], [y], *((1.0, 3.0) if ann else (3.0,)))
    if d is None:  # the box lies inside the image
        assert a == ((3.0 * 3.0 - 1.0 * 1.0) * PI if ann else 3.0 * (3.0 * PI))
    else:
        assert a == s  # accumulated weights: each weight times 1, added in the same order
        expected = _clipped_disc(3.0, d) - (_clipped_disc(1.0, d) if ann else 0.0)
        assert a == pytest.approx(expected, rel=1e-12)


@pytest.mark.parametrize("kind", KINDS)
def test_huge_radius_covers_whole_image(kind):
    data = np.random.default_rng(SEED).normal(size=(100, 100))
    [row] = run(kind, data, [50.2], [49.7], *((0.0, 1e6) if kind in ANN else (1e6,)))
    # every weight is 1; the area is accumulated, since the box is not inside the image
    assert row == (seq_sum(data.ravel()), 10000.0)[:len(row)]
    if kind in ANN:  # the inner circle covers the whole image: nothing remains
        assert bits(run(kind, data, [50.2], [49.7], 1e5, 1e6)) == bits([(0.0,) * len(row)])


# --- non-finite inputs and extreme values -----------------------------------

@pytest.mark.parametrize("suffix", list(DTYPES))
@pytest.mark.parametrize("kind", KINDS)
def test_non_finite_and_far_centres(kind, suffix):
    assert_non_finite_and_far_centres(kind, suffix, OK[kind])


@pytest.mark.parametrize("kind", KINDS)
def test_nan_pixel_reaches_only_apertures_that_weigh_it(kind):
    data = np.ones((20, 20))
    data[3, 2] = math.nan  # pixel (2, 3)
    far, near, edge = run(kind, data, [12.0, 2.3, 2.0], [12.0, 3.1, 0.5], *OK[kind])
    assert all(math.isfinite(v) for v in far + near[1:] + edge[1:])
    assert math.isnan(near[0]) == (kind not in ANN)  # (2.3, 3.1): the pixel is in the hole
    assert math.isnan(edge[0])  # the pixel straddles the outer circle


@pytest.mark.parametrize("suffix, value", [("_i16", -32768), ("_i16", 32767),
                                           ("_i32", -2147483648), ("_i32", 2147483647)])
@pytest.mark.parametrize("kind", ["circ_exact", "circ_center", "circ_exact_sum_one",
                                  "circ_ann_exact_one", "circ_ann_exact_sum"])
def test_extreme_integers_enter_exactly(kind, suffix, value):
    assert_extreme_integers_enter_exactly(kind, suffix, value,
                                          (0.5, 2.0) if kind in ANN else (2.0,))


# --- reproducibility ---------------------------------------------------------

@pytest.mark.parametrize("kind", MANY)
def test_results_independent_of_image_type_threshold_chunks_and_form(kind, threshold):
    data = integer_image(70, 70)
    xs, ys = random_centres(3001, 4)
    xs[::97], xs[5::101] = math.nan, 1e300
    reference = assert_same_bits_everywhere(
        threshold, kind, data, xs, ys, OK[kind], (NEVER_POOLED, 1, 2, 64, 1500, 3001, 3002),
        one=kind != "circ_center")
    if kind.endswith("_sum"):  # the sums of the form with areas
        assert reference == [row[:1] for row in bits(run(kind[:-4], data, xs, ys, *OK[kind]))]


@pytest.mark.parametrize("r_in", [0.0, -0.0])
@pytest.mark.parametrize("disc, ring", [(k, k.replace("circ", "circ_ann")) for k in CIRC
                                        if k != "circ_center"])
def test_annulus_without_hole_is_the_disc(disc, ring, r_in):
    data = np.random.default_rng(SEED).normal(size=(40, 44))
    xs, ys = random_centres(80, 5, -4.0, 48.0)
    for r in (0.4, 2.7, 5.1):
        for x, y, d, g in zip(xs, ys, run(disc, data, xs, ys, r),
                              run(ring, data, xs, ys, r_in, r)):
            inside = (math.floor(x - r + 0.5) >= 0 and math.floor(y - r + 0.5) >= 0
                      and math.ceil(x + r + 0.5) <= 44 and math.ceil(y + r + 0.5) <= 40)
            expected = (r * (r * PI), (r * r) * PI) if inside else (d[-1], d[-1])
            assert d[0] == g[0] and (len(d) == 1 or (d[1], g[1]) == expected)


# centres on the circle (5 +- 2, 5), (10 +- 3, 9 +- 4), ... are not counted; r = 0.5 counts one
@pytest.mark.parametrize("x, y, r", [(5.0, 5.0, 2.0), (10.0, 9.0, 5.0), (4.0, 7.0, 0.5),
                                     (6.3, 4.8, 3.1), (0.0, 0.0, 4.0), (13.5, 12.5, 1.0),
                                     (7.0, 7.0, math.sqrt(2.0)), (3.2, 8.9, 0.3)])
@pytest.mark.parametrize("suffix", ["", "_i32"])
def test_centre_mode_counts_centres_strictly_inside(x, y, r, suffix):
    data = np.random.default_rng(SEED).integers(-50, 50, (16, 15)) + (0 if suffix else 0.125)
    jj, ii = np.mgrid[0:16, 0:15].astype(float)
    mask = (ii - x) * (ii - x) + (jj - y) * (jj - y) < r * r
    [(s, n)] = run("circ_center", data, [x], [y], r, suffix=suffix)
    assert (s, n) == (seq_sum(data[mask]), float(mask.sum()))


# --- geometry, checked independently ---------------------------------------------

def _disc_rect_area(x0, x1, y0, y1, r, n=100_000):
    """Disc (radius r, centre 0) inside [x0, x1] x [y0, y1], by the midpoint rule."""
    near = math.hypot(max(x0, -x1, 0.0), max(y0, -y1, 0.0))
    far = math.hypot(max(-x0, x1), max(-y0, y1))
    if far < r or near > r:
        return (x1 - x0) * (y1 - y0) if far < r else 0.0
    lo, hi = max(x0, -r), min(x1, r)
    u = lo + (np.arange(n) + 0.5) * ((hi - lo) / n)
    half = np.sqrt(np.maximum(r * r - u * u, 0.0))
    return float(np.clip(np.minimum(y1, half) - np.maximum(y0, -half), 0.0, None).sum()
                 * ((hi - lo) / n))


def _pixel_weight(kind, x, y, params, i, j):
    delta = np.zeros((16, 16))
    delta[j, i] = 1.0
    return getattr(native, f"apsum_{kind}_sum_one")(delta, x, y, *params)


@pytest.mark.parametrize("x, y, params", [(7.3, 6.8, (2.45,)), (8.0, 8.0, (0.6,)),
                                          (6.9, 7.7, (1.2, 3.6)), (7.5, 7.5, (0.3, 1.0))])
def test_pixel_weights_match_numerical_integration(x, y, params):
    kind, r = ("circ_exact" if len(params) == 1 else "circ_ann_exact"), params[-1]
    for j, i in itertools.product(range(math.floor(y - r), math.ceil(y + r) + 1),
                                  range(math.floor(x - r), math.ceil(x + r) + 1)):
        edges = (i - 0.5 - x, i + 0.5 - x, j - 0.5 - y, j + 0.5 - y)
        expected = _disc_rect_area(*edges, r) - (
            _disc_rect_area(*edges, params[0]) if len(params) == 2 else 0.0)
        assert _pixel_weight(kind, x, y, params, i, j) == pytest.approx(expected, abs=1e-7)


def test_corner_on_the_circle_gives_exact_weights():
    # from the centre (0.5, 0.5), pixel (4, 5) is [3, 4] x [4, 5], pixel (3, 4) [2, 3] x [3, 4]
    assert _pixel_weight("circ_exact", 0.5, 0.5, (5.0,), 4, 5) == 0.0
    assert _pixel_weight("circ_exact", 0.5, 0.5, (5.0,), 3, 4) == 1.0


# --- photutils as an independent oracle ---------------------------------------

@pytest.fixture(scope="module")
def aperture():
    aperture = pytest.importorskip("photutils.aperture")
    data = np.zeros((20, 30))
    data[7, 3] = 1.0  # row 7, column 3: the pixel centred at x = 3, y = 7 in both
    table = aperture.aperture_photometry(data, aperture.CircularAperture([(3.0, 7.0)], 2.0))
    assert table["aperture_sum"][0] == pytest.approx(1.0)
    assert native.apsum_circ_exact_sum_one(data, 3.0, 7.0, 2.0) == 1.0
    return aperture


@pytest.mark.parametrize("params", [(0.4,), (3.3,), (11.9,), (0.2, 0.9), (2.5, 6.1),
                                    (4.0, 4.05)])
def test_sums_and_areas_agree_with_photutils(aperture, params):
    rng = np.random.default_rng(SEED)
    data = rng.normal(10.0, 3.0, size=(45, 52))
    xs, ys = rng.uniform(-8, 60, 120), rng.uniform(-8, 53, 120)
    shape = aperture.CircularAperture if len(params) == 1 else aperture.CircularAnnulus
    ap = shape(np.column_stack([xs, ys]), *params)
    fn = native.apsum_circ_exact if len(params) == 1 else native.apsum_circ_ann_exact
    sums, areas = fn(data, xs, ys, *params)
    table = aperture.aperture_photometry(data, ap, method="exact")
    expected_sums = np.nan_to_num(np.asarray(table["aperture_sum"]))  # nan: no overlap
    expected_areas = np.nan_to_num(ap.area_overlap(data, method="exact"))
    np.testing.assert_allclose(sums, expected_sums, rtol=1e-10, atol=1e-9 * ap.area)
    np.testing.assert_allclose(areas, expected_areas, rtol=1e-10, atol=1e-12 * ap.area)
