"""Bounding boxes, pixel counts and the mask helpers, against the rules restated in Python,
the sums over an image of ones, analytic areas, shapely and brute force over masks."""

import math

import numpy as np
import pytest

import quorvantel._native as native

PI, I64 = math.pi, (-2**63, 2**63 - 1)
RNG = np.random.default_rng(20261207)
STRIDED, TWO = np.arange(6.0)[::2], np.ones(2)


def raises(message):
    return pytest.raises(ValueError, match=f"^{message}$")


def first(name, x, y, *params):
    """The one aperture's box, or its value in a list."""
    out = getattr(native, name)(np.array([x]), np.array([y]), *params)
    return [v[0] for v in out] if isinstance(out, tuple) else out


# --- boxes -------------------------------------------------------------------

def _box(x, y, ex, ey):
    return (math.floor((x - ex) + 0.5), math.ceil((ex + x) + 0.5),
            math.floor((y - ey) + 0.5), math.ceil((ey + y) + 0.5))


def _ellipse_ext(a, b, c, s):
    ac, bs, as_, bc = a * c, b * s, a * s, b * c
    return math.sqrt(ac * ac + bs * bs), math.sqrt(as_ * as_ + bc * bc)


def _wrap(t):
    t = math.fmod(t, 2 * PI)
    return t + 2 * PI if t < 0 else t


def _wedge_box(x, y, r_in, r_out, th_in, dth_in, th_out, dth_out):
    a0 = th_in - dth_in * 0.5
    a1 = dth_in + a0
    b0 = a0 + (_wrap(((th_out - dth_out * 0.5) - a0) + PI) - PI)
    b1 = dth_out + b0
    arcs = [(b0, b1, r_out), (a0, a1, r_in)]
    pts = [(r, t) for t0, t1, r in arcs[::-1] for t in (t0, t1)]
    # An arc whose ends come out a whole turn apart sweeps the whole turn, not its wrap.
    span = lambda t0, t1: 2 * PI if t1 - t0 >= 2 * PI else _wrap(t1 - t0)  # noqa: E731
    pts += [(r, (k / 2) * PI) for k in range(-4, 5) for t0, t1, r in arcs
            if _wrap((k / 2) * PI - t0) <= span(t0, t1) + 1e-15]
    px, py = [x + r * math.cos(t) for r, t in pts], [y + r * math.sin(t) for r, t in pts]
    w = 0.7071067811865476
    return (math.floor((min(px) - w) + 0.5), math.ceil((max(px) + w) + 0.5),
            math.floor((min(py) - w) + 0.5), math.ceil((max(py) + w) + 0.5))


def shape_box(shape, x, y, *p):
    """Each shape's box rule, written out again from its formulas."""
    if shape == "wedge":
        return _wedge_box(x, y, *p)
    if shape == "circ":
        return _box(x, y, p[0], p[0])
    p = p[3:6] + p[7:] if shape == "pill_ann" else p
    c, s, hw = math.cos(p[-1]), math.sin(p[-1]), p[0] * 0.5
    if shape == "ellip":
        return _box(x, y, *_ellipse_ext(p[0], p[1], c, s))
    if shape == "rect":
        return _box(x, y, abs(hw * c) + abs(p[1] * 0.5 * s), abs(hw * s) + abs(p[1] * 0.5 * c))
    a, b, dx, dy = p[1], p[2], hw * c, hw * s
    boxes = [_box(x, y, abs(hw * c) + abs(b * s), abs(hw * s) + abs(b * c)),
             _box(x - dx, y - dy, *_ellipse_ext(a, b, c, s)),
             _box(dx + x, dy + y, *_ellipse_ext(a, b, c, s))]
    return tuple(f(q[k] for q in boxes) for k, f in enumerate((min, max, min, max)))


U = RNG.uniform
BOX_SHAPES = {"circ": (lambda: (U(0.01, 9),), (0.0,), "circle"),
              "rect": (lambda: (*U(0.01, 9, 2), U(-7, 7)), (2.0, -0.0, 0.3), "rectangle"),
              "ellip": (lambda: (*U(0.01, 9, 2), U(-7, 7)), (2.0, 1.0, math.inf), "ellipse"),
              "pill": (lambda: (*U(0.01, 9, 3), U(-7, 7)), (2.0, math.nan, 1.0, 0.0), "pill"),
              "pill_ann": (lambda: (*U(0.01, 4, 3), *U(4, 9, 3), *U(-7, 7, 2)),
                           (1, 2, 1, 2, 2, 2, 0, 0), "pill annulus"),
              "wedge": (lambda: (U(0.01, 4), U(4, 9), U(-9, 9), U(0, 2 * PI), U(-9, 9),
                                 U(0, 2 * PI)), (1, 2, 0, 2 * PI, 0, 1), "wedge")}


@pytest.mark.parametrize("shape", list(BOX_SHAPES))
def test_boxes_follow_the_shape_rule(shape):
    fn = getattr(native, "bboxes_" + shape)
    for _ in range(40):
        params = tuple(float(v) for v in BOX_SHAPES[shape][0]())
        xs, ys = U(-50, 50, 25), U(-50, 50, 25)
        xs[:3], ys[:3] = np.round(xs[:3]) + 0.5, np.round(ys[:3])  # centres on pixel edges
        assert list(zip(*fn(xs, ys, *params))) == [shape_box(shape, x, y, *params)
                                                  for x, y in zip(xs, ys)]


def test_box_examples():
    assert first("bboxes_circ", 1e300, -1e300, 1.0) == [I64[1], I64[1], I64[0], I64[0]]
    assert first("bboxes_wedge", 0.0, 0.0, 1, 2, 0, PI / 2, 0, PI / 2) == [0, 4, -2, 3]
    with raises("invalid wedge bbox parameters"):
        first("bboxes_wedge", 0.0, 0.0, 0.0, 2, 0, 1, 0, 1)
    for theta in (0.0, 1.0, -2.5):  # sweeps just short of 2 pi, ends a whole turn apart at 1
        below = (1, 2, theta, 6.283185307179585, theta, 6.283185307179585)
        assert first("bboxes_wedge", 0.5, 0.0, *below) == list(shape_box("wedge", 0.5, 0, *below))


@pytest.mark.parametrize("shape", [s for s in BOX_SHAPES if hasattr(native, f"weights_{s}_exact")])
def test_boxes_are_the_weights_boxes(shape):
    for _ in range(10):
        params = tuple(float(v) for v in BOX_SHAPES[shape][0]())
        xs, ys = U(-50, 50, 20), U(-50, 50, 20)
        boxes = getattr(native, "bboxes_" + shape)(xs, ys, *params)
        for mode in ("exact", "center"):
            assert getattr(native, f"weights_{shape}_{mode}")(xs, ys, *params)[1:] == boxes


# --- pixel counts ------------------------------------------------------------

NPIX = {"circ": (lambda: (U(0.2, 6),), "circle"),
        "rect": (lambda: (*U(0.2, 9, 2), U(-4, 4)), "rectangle"),
        "ellip": (lambda: (*U(0.2, 6, 2), U(-4, 4)), "ellipse")}


def centre_count(shape, x, y, ny, nx, *p):
    """Image pixels whose centre passes the shape's strict test."""
    dy, dx = np.mgrid[0:ny, 0:nx].astype(float)
    dx, dy = dx - x, dy - y
    if shape == "circ":
        return float(np.count_nonzero(dy * dy + dx * dx < p[0] * p[0]))
    c, s = math.cos(p[2]), math.sin(p[2])
    u, v = s * dy + c * dx, c * dy - s * dx
    if shape == "rect":
        return float(np.count_nonzero((abs(u) < p[0] * 0.5) & (abs(v) < p[1] * 0.5)))
    return float(np.count_nonzero((u / p[0]) ** 2 + (v / p[1]) ** 2 < 1.0))


@pytest.mark.parametrize("shape", list(NPIX))
def test_counts_and_areas_against_centres_and_sums(shape):
    ny, nx = 23, 31
    xs, ys = U(-8, nx + 8, 60), U(-8, ny + 8, 60)
    xs[:4], ys[:4] = [12.0, 0.0, 30.0, 15.5], [11.0, 0.0, 22.0, -0.5]
    for _ in range(6):
        params = tuple(float(v) for v in NPIX[shape][0]())
        counts = getattr(native, f"npix_{shape}_center")(xs, ys, *params, ny, nx)
        assert counts == [centre_count(shape, x, y, ny, nx, *params) for x, y in zip(xs, ys)]
        areas = getattr(native, f"npix_{shape}_exact")(xs, ys, *params, ny, nx)
        _, summed = getattr(native, f"apsum_{shape}_exact")(np.ones((ny, nx)), xs, ys, *params)
        np.testing.assert_allclose(areas, summed, rtol=0, atol=1e-12)


def test_cross_shape_identities_and_shapely():
    shapely = pytest.importorskip("shapely")
    from shapely import affinity
    xs, ys, theta = U(-3, 14, 50), U(-3, 12, 50), 0.7
    circ = native.npix_circ_exact(xs, ys, 2.3, 9, 11)
    np.testing.assert_allclose(native.npix_ellip_exact(xs, ys, 2.3, 2.3, theta, 9, 11), circ,
                               atol=1e-12)
    rect = native.npix_rect_exact(xs, ys, 5.0, 2.0, theta, 9, 11)
    turned = native.npix_rect_exact(xs, ys, 2.0, 5.0, theta + PI / 2, 9, 11)
    np.testing.assert_allclose(rect, turned, atol=1e-12)
    image = shapely.box(-0.5, -0.5, 10.5, 8.5)
    for x, y, area in zip(xs, ys, rect):
        shape = affinity.rotate(shapely.box(x - 2.5, y - 1.0, x + 2.5, y + 1.0), theta,
                                origin=(x, y), use_radians=True)
        assert area == pytest.approx(shape.intersection(image).area, abs=1e-9)


def test_count_examples():
    assert first("npix_circ_exact", 5.0, 5.0, 1.0, 10, 10) == [3.141592653589793]
    assert first("npix_rect_exact", 0.0, 0.0, 2.0, 2.0, 0.0, 10, 10) == [2.25]
    assert first("npix_ellip_exact", -0.5, -0.5, 1.0, 1.0, 0.0, 10, 10) == [0.7853981633974483]
    assert first("npix_ellip_exact", 2.7, 3.1, 2.7, 1.3, 0.0, 10, 10) == [(2.7 * PI) * 1.3]
    assert first("npix_circ_center", 5.0, 5.0, 1.0, 10, 10) == [1.0]
    assert first("npix_circ_center", 5.0, 5.0, 1.000001, 10, 10) == [5.0]
    # pixel edges tangent to the unit disc at their midpoints lie outside it:
    # the disc less the segment beyond x = -0.5
    assert first("npix_ellip_exact", 0.0, 0.5, 1.0, 1.0, 0.0, 10, 10) == pytest.approx(
        [PI - (PI / 3 - math.sqrt(0.75) / 2)], abs=1e-12)


@pytest.mark.parametrize("name", [f"npix_{s}_{m}" for s in NPIX for m in ("exact", "center")])
def test_counts_on_huge_images_and_odd_centres(name):
    fn, params = getattr(native, name), (2.5, 1.5, 0.4)[:1 if "circ" in name else 3]
    xs, ys = np.array([1.0, math.nan, 3.0, -40.0, 2.0]), np.array([2.0, 1.0, math.inf, 1.0, 0.3])
    small = fn(xs, ys, *params, 10**6, 10**6)
    assert [math.isnan(v) for v in small] == [False, True, True, False, False]
    assert small[0] > 0 and small[3] == 0.0
    for size in (2**63, 2**64 - 1):  # sizes past the signed range are clamped, not negative
        assert np.array_equal(fn(xs, ys, *params, size, size), small, equal_nan=True)
        assert np.array_equal(fn(xs, ys, *params, 10**6, size), small, equal_nan=True)


def _checked():
    """Each function with valid arguments after xs and ys, and rejected ones."""
    for shape, (make, bad, word) in BOX_SHAPES.items():
        yield "bboxes_" + shape, tuple(map(float, make())), [bad], f"invalid {word} bbox parameters"
    for shape, (make, word) in NPIX.items():
        good, bad = tuple(map(float, make())), (2.0,) * (shape != "circ") * 2 + (math.nan,)
        for mode in ("exact", "center"):
            yield (f"npix_{shape}_{mode}", good + (5, 5), [bad + (5, 5), good + (0, 5),
                   good + (5, 0)], f"invalid {word} parameters")


@pytest.mark.parametrize("name, good, rejected, message", list(_checked()))
def test_validation_order(name, good, rejected, message):
    fn = getattr(native, name)
    for bad in rejected:
        for xs, ys, text in [(STRIDED, STRIDED, "x must be a contiguous float64 array"),
                             (TWO, STRIDED, "y must be a contiguous float64 array"),
                             (TWO, np.ones(3), "x and y must have matching shapes"),
                             (STRIDED[:0], STRIDED[:0], message)]:
            with raises(text):
                fn(xs, ys, *bad)
        with pytest.raises(TypeError, match="^argument 'ys': "):
            fn(TWO, [1.0, 2.0], *bad)
    assert fn(STRIDED[:0], STRIDED[:0], *good) in ([], ([], [], [], []))
    if name.startswith("npix"):
        with pytest.raises(OverflowError):
            fn(TWO, TWO, *good[:-1], -1)
    else:  # a non-finite last centre fails the whole call
        with raises("x and y must be finite"):
            fn(TWO, np.array([3.0, math.nan]), *good)


# --- mask helpers --------------------------------------------------------------

def test_mask_helpers_against_brute_force():
    for shape in [(7,), (5, 6), (3, 4, 5), (2, 1, 3, 2)]:
        for density in (0.05, 0.5, 1.0):
            mask = RNG.random(shape) < density
            mask.flat[RNG.integers(mask.size)] = True
            center = np.round(U(-2, 6, len(shape)) * 2) / 2  # ties are common
            idx, d2 = np.argwhere(mask), 0.0
            for axis, c in enumerate(center):
                d2 = d2 + (idx[:, axis] - c) ** 2
            expected = (math.sqrt(d2.max()), len(shape), idx[d2 == d2.max()].ravel().tolist())
            assert native._farthest_mask_pixel(mask, center, True) == expected
            assert native._farthest_mask_pixel(mask, center, np.True_) == expected
            assert native._farthest_mask_pixel(mask, center, False) == (*expected[:2], [])
    sel = RNG.random((9, 13)) < 0.3
    for x0, y0, x_min, y_min in [(0.5, 0.5, 10, 20), (-3.2, 7.7, -5, 2), (1e9, -2.5, 2**40, -9)]:
        r, c = np.nonzero(sel)
        dy, dx = (y_min + r).astype(float) - y0, (x_min + c).astype(float) - x0
        assert native._selected_pixel_distances(sel, x0, y0, x_min, y_min) == list(
            np.sqrt(dy * dy + dx * dx))


def test_bool_bytes_other_than_one_are_true():
    mask = np.array([[0, 2, 0], [255, 0, 1]], np.uint8).view(bool)
    assert native._selected_pixel_distances(mask, 0.0, 0.0, 0, 0) == [1.0, 1.0, math.sqrt(5)]
    assert native._farthest_mask_pixel(mask, np.zeros(2), True) == (math.sqrt(5), 2, [1, 2])


def test_selected_extent_overflow_and_empty_huge_views():
    last = np.array([[True, False]])
    assert native._selected_pixel_distances(last, 0.0, 0.0, I64[1], 0) == [float(I64[1])]
    for sel, y_min in [(np.ones((1, 2), bool), 0), (np.zeros((3, 1), bool), I64[1] - 1)]:
        with raises("invalid selected extent"):  # rows overflow whatever they hold
            native._selected_pixel_distances(sel, 0.0, 0.0, I64[1] * (y_min == 0), y_min)
    tall = np.lib.stride_tricks.as_strided(np.zeros(1, bool), shape=(2**62, 0), strides=(0, 1))
    assert native._selected_pixel_distances(tall, 0.0, 0.0, 0, 2**62) == []  # at once
    with raises("invalid selected extent"):
        native._selected_pixel_distances(tall, 0.0, 0.0, 0, 2**62 + 1)


def test_mask_validation_order():
    m, c, far, sel = np.ones((3, 3), bool), np.zeros(2), native._farthest_mask_pixel, \
        native._selected_pixel_distances
    for fn, args, message in [
            (far, (m.T[:, :2], STRIDED, True), "mask must be a C-contiguous bool array"),
            (far, (np.array(True), c[:1], True), "mask must have at least one dimension"),
            (far, (m, STRIDED, True), "center must be a contiguous float64 array"),
            (far, (m, np.zeros(3), False), "center length must match mask.ndim"),
            (far, (m, c - math.inf, True), "center values must be finite"),
            (far, (np.zeros((0, 4), bool), c, True), "mask must contain at least one True pixel"),
            (far, (~m, c, True), "mask must contain at least one True pixel"),
            (sel, (m.T[:, :2], math.nan, 0.0, 0, 0), "selected must be a C-contiguous bool array"),
            (sel, (~m, 0.0, math.nan, 0, 0), "center values must be finite")]:
        with raises(message):
            fn(*args)
    with pytest.raises(TypeError, match="^argument 'mask': "):
        far(m.astype(np.uint8), c, True)
    with pytest.raises(OverflowError):
        sel(m, 0.0, 0.0, 2**63, 0)
