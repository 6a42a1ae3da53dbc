"""Pills and pill annuli: covered areas against analytic areas and shapely, the two
cap regimes meeting, annuli as differences, centre tests, boxes, the pool and the checks."""

import math

import numpy as np
import pytest

import quorvantel._native as native
from conftest import bits

PI = math.pi
PILLS = [  # (x, y, w, a, b, theta)
    (0.3, 0.2, 3.0, 1.5, 1.0, 0.7), (-0.25, 0.0, 1.0, 0.3, 5.0, 0.0), (2.5, -1.1, 4.0, 2.0, 2.0, -2.2),
    (0.5, 0.0, 2.0, 1.0, 1.0, 0.0), (7.7, 3.1, 0.2, 3.0, 0.4, 1.3), (0.0, 0.0, 5.0, 0.7, 1.9, PI / 2),
]


def pill(x, y, w, a, b, theta, mode="exact"):
    arrays, *box = getattr(native, f"weights_pill_{mode}")(np.array([x]), np.array([y]), w, a, b, theta)
    return arrays[0], [v[0] for v in box]


def pill_one(x, y, w, a, b, theta, box, mode="exact"):
    x_min, x_max, y_min, y_max = box
    flat = getattr(native, f"weights_pill_{mode}_one")(x, y, w, a, b, theta, x_min, y_min,
                                                         y_max - y_min, x_max - x_min)
    return np.array(flat).reshape(y_max - y_min, x_max - x_min)


@pytest.mark.parametrize("p", PILLS)
def test_exact_pills_cover_their_area(p):
    x, y, w, a, b, _ = p
    weights, _ = pill(*p)
    assert weights.min() >= 0.0 and weights.max() <= 1.0
    assert math.fsum(weights.ravel()) == pytest.approx(2 * w * b + PI * a * b, abs=1e-9)


def test_exact_pills_against_shapely_polygons():
    shapely = pytest.importorskip("shapely")
    from shapely import affinity, geometry

    t = np.linspace(0.0, 2 * PI, 8192, endpoint=False)
    for x, y, w, a, b, theta in PILLS:
        caps = [geometry.Polygon(np.c_[u + a * np.cos(t), b * np.sin(t)]) for u in (-w / 2, w / 2)]
        shape = shapely.union_all([geometry.box(-w / 2, -b, w / 2, b), *caps])
        shape = affinity.translate(affinity.rotate(shape, theta, origin=(0, 0), use_radians=True), x, y)
        weights, (x_min, _, y_min, _) = pill(x, y, w, a, b, theta)
        for (r, c), v in np.ndenumerate(weights):
            px, py = x_min + c, y_min + r
            want = shape.intersection(geometry.box(px - 0.5, py - 0.5, px + 0.5, py + 0.5)).area
            assert v == pytest.approx(want, abs=2e-5), (x, y, w, a, b, theta, px, py)


def test_mended_pill_cases():
    # A pixel wholly inside an elliptical-cap pill weighs 1 (not the rectangle's 0.75).
    weights, (x_min, _, y_min, _) = pill(-0.25, 0.0, 1.0, 0.3, 5.0, 0.0)
    assert weights[-y_min, -x_min] == pytest.approx(1.0, abs=1e-14)
    # Circular caps along pixel edges: the side rows weigh half a pixel.
    weights, (x_min, _, y_min, _) = pill(0.5, 0.0, 2.0, 1.0, 1.0, 0.0)
    for px, py in ((0, 1), (0, -1), (1, 1), (1, -1)):
        assert weights[py - y_min, px - x_min] == pytest.approx(0.5, abs=1e-14)
    # The two cap regimes meet without a jump at |a - b| = 1e-14.
    for x, y, w, theta in ((0.3, 0.2, 3.0, 0.7), (0.5, 0.0, 2.0, 0.0), (-1.2, 4.4, 0.5, 2.9)):
        round_caps, box = pill(x, y, w, 1.0, 1.0 + 1e-15, theta)
        for b in (1.0 + 1e-13, 1.0 - 1e-13):
            assert np.abs(pill_one(x, y, w, 1.0, b, theta, box) - round_caps).max() < 1e-11


def test_circular_pills_meeting_pixel_edge_lines_cover_their_area():
    # Sides on or within 1e-7 of a pixel edge line (half-integer centres, half-integer
    # sizes, angles next to an axis) and caps grazing one (one-decimal centres and radii).
    rng = np.random.default_rng(14)
    cases = [(4.5, 9.5, 4.0, 1.0, PI / 2 + d) for d in (0.0, 1e-12, 6.31e-11, 1e-10, 1e-8)]
    cases += [(1491.8, 1744.8, 4.0, 1.3, 0.0)]
    for k in range(40):
        d = (0.0, 1e-13, -1e-12, 1e-11, 1e-10, -3e-10, 1e-9, 1e-7)[k % 8]
        x, y = (np.round(rng.uniform(-20, 20, 2) * 2) / 2) if k % 2 else np.round(rng.uniform(1000, 2000, 2), 1)
        w, a = rng.integers(1, 9) * 0.5, (rng.integers(1, 5) * 0.5 if k % 2 else round(rng.uniform(0.3, 3), 1))
        cases.append((x, y, w, a, (k % 4) * PI / 2 + d))
    for x, y, w, a, theta in cases:
        weights, _ = pill(x, y, w, a, a, theta)
        assert math.fsum(weights.ravel()) == pytest.approx(2 * w * a + PI * a * a, abs=1e-9), (x, y, w, a, theta)


def test_pill_annuli_are_differences_of_pill_coverage():
    inner, outer = (0.2, 0.1, 0.1), (2.0, 1.0, 1.0)
    arrays, *box = native.weights_pill_ann_exact(np.array([0.0]), np.array([0.0]), *inner, *outer, 0.0, 0.0)
    assert [v[0] for v in box] == [-2, 3, -1, 2]
    assert arrays[0][1, 2] == pytest.approx(1.0 - (0.04 + 0.01 * PI), abs=1e-14)
    assert arrays[0][2, 3] == pytest.approx(pill(0.0, 0.0, 2.0, 1.0, 1.0, 0.0)[0][2, 3], abs=1e-14)
    # Elliptical pills both: the raster is the clamped difference of the pill rasters, bit for bit.
    x, y, (wi, ai, bi, ti), (wo, ao, bo, to) = 0.3, -0.4, (1.0, 0.8, 0.5, 0.9), (3.0, 1.7, 1.2, 0.4)
    arrays, *box = native.weights_pill_ann_exact(np.array([x]), np.array([y]), wi, ai, bi, wo, ao, bo, ti, to)
    box = [v[0] for v in box]
    out_w, out_box = pill(x, y, wo, ao, bo, to)
    assert box == out_box
    diff = np.clip(out_w - pill_one(x, y, wi, ai, bi, ti, box), 0.0, 1.0)
    assert bits([arrays[0].ravel()]) == bits([diff.ravel()])
    assert math.fsum(pill_one(x, y, wi, ai, bi, to, box).ravel()) == pytest.approx(2 * wi * bi + PI * ai * bi)


def test_centre_weights_are_strict():
    weights, (x_min, _, y_min, _) = pill(0.0, 0.0, 4.0, 1.0, 1.0, 0.0, "center")
    at = lambda px, py: weights[py - y_min, px - x_min]  # noqa: E731
    assert (at(0, 1), at(2, 0), at(3, 0), at(0, 0)) == (0.0, 1.0, 0.0, 1.0)
    arrays, *box = native.weights_pill_ann_center(np.array([0.0]), np.array([0.0]), 2.0, 1.0, 1.0, 4.0,
                                                  2.0, 2.0, 0.0, 0.0)
    x_min, y_min = box[0][0], box[2][0]
    got = [arrays[0][py - y_min, px - x_min] for px, py in ((0, 0), (0, 1), (2, 0), (0, 2), (4, 0))]
    assert got == [0.0, 1.0, 1.0, 0.0, 0.0]
    # Against a direct centre test in the pill's frame.
    x, y, w, a, b, theta = PILLS[0]
    weights, (x_min, _, y_min, _) = pill(x, y, w, a, b, theta, "center")
    gy, gx = np.mgrid[y_min:y_min + weights.shape[0], x_min:x_min + weights.shape[1]]
    c, s = math.cos(theta), math.sin(theta)
    u, v = c * (gx - x) + s * (gy - y), c * (gy - y) - s * (gx - x)
    inside = ((abs(u) < w / 2) & (abs(v) < b)) | (((abs(u) - w / 2) / a) ** 2 + (v / b) ** 2 < 1)
    assert np.array_equal(weights, inside.astype(float))


@pytest.mark.parametrize("name, params", [
    ("pill", (3.0, 1.5, 1.0, 0.7)), ("pill", (2.0, 1.0, 1.0, 0.3)),
    ("pill_ann", (1.0, 0.8, 0.5, 3.0, 1.7, 1.2, 0.9, 0.4))])
@pytest.mark.parametrize("mode", ["exact", "center"])
def test_pooled_serial_and_single_agree(threshold, name, params, mode):
    xs, ys = np.array([0.0, 3.3, -7.61, 12.5]), np.array([0.0, -2.2, 5.05, 0.5])
    fn = getattr(native, f"weights_{name}_{mode}")
    threshold.set_parallel_threshold(10**9)
    serial = fn(xs, ys, *params)
    threshold.set_parallel_threshold(1)
    pooled = fn(xs, ys, *params)
    assert serial[1:] == pooled[1:]
    for k, (a, b) in enumerate(zip(serial[0], pooled[0])):
        x_min, x_max, y_min, y_max = (v[k] for v in serial[1:])
        flat = getattr(native, f"weights_{name}_{mode}_one")(xs[k], ys[k], *params, x_min, y_min,
                                                             y_max - y_min, x_max - x_min)
        assert bits([a.ravel()]) == bits([b.ravel()]) == bits([flat])
    assert [v[0] for v in native.weights_pill_exact(np.array([10.0]), np.array([10.0]), 4.0, 1.0, 1.0, 0.0)[1:]] \
        == [7, 14, 9, 12]


def test_checks_and_their_order():
    one, nan = np.array([0.0]), np.array([math.nan])
    cases = [
        (lambda: native.weights_pill_exact(one, nan, -1.0, 1.0, 1.0, 0.0), "invalid pill weights shape"),
        (lambda: native.weights_pill_center(one, one, 1.0, 0.0, 1.0, 0.0), "invalid pill center weights parameters"),
        (lambda: native.weights_pill_exact_one(0.0, 0.0, 1.0, 1.0, 1.0, 0.0, 0, 0, 0, 3),
         "invalid pill weights parameters"),
        (lambda: native.weights_pill_exact_one(math.inf, 0.0, 1.0, 1.0, 1.0, 0.0, 0, 0, 3, 3),
         "invalid pill weights shape"),
        (lambda: native.weights_pill_ann_center(nan, one, 2.0, 1.0, 1.0, 1.0, 2.0, 2.0, 0.0, 0.0),
         "invalid pill annulus center weights shape"),
        (lambda: native.weights_pill_ann_exact(one, one, 2.0, 1.0, 1.0, 2.0, 2.0, 2.0, 0.0, 0.0),
         "invalid pill annulus weights parameters"),
        (lambda: native.weights_pill_ann_exact(one, one, 1.0, 1.0, 1.0, 2.0, 2.0, 2.0, 0.0, math.nan),
         "invalid pill annulus weights parameters"),
        (lambda: native.weights_pill_ann_exact_one(0.0, 0.0, 2.0, 1.0, 1.0, 1.0, 2.0, 2.0, 0.0, 0.0, 0, 0, 0, 3),
         "shape dimensions must be positive"),
        (lambda: native.weights_pill_exact(np.array([1e300]), one, 1.0, 1.0, 1.0, 0.0), "invalid weights extent"),
    ]
    for call, message in cases:
        with pytest.raises(ValueError) as info:
            call()
        assert str(info.value) == message
