"""Free paths: validation messages and their order, the input arrays, boxes, and the
path geometry checked directly in C++ (path_check.cpp prints "<name> ok|FAIL <detail>")."""

import math

import numpy as np
import pytest

import quorvantel._native as native
from conftest import SRC, TESTS, check_names, run_check_program

CHECK_SOURCE = TESTS / "path_check.cpp"
CHECKS = check_names(CHECK_SOURCE)
MOVE, LINE, ARC, CLOSE = 0, 1, 2, 3


def path(*rows):
    """kinds and data arrays from (code, *numbers) rows."""
    kinds = np.array([r[0] for r in rows], np.int8)
    data = np.zeros((len(rows), 6))
    for k, r in enumerate(rows):
        data[k, :len(r) - 1] = r[1:]
    return kinds, data


def polygon(*pts):
    return [(MOVE, *pts[0]), *[(LINE, *p) for p in pts[1:]], (CLOSE,)]


def circle(r, t0=0.0, sign=1.0, cx=0.0, cy=0.0):
    step = sign * 2 * math.pi / 3
    return [(MOVE, cx + r * math.cos(t0), cy + r * math.sin(t0)),
            *[(ARC, cx, cy, r, t0 + k * step, step) for k in range(3)], (CLOSE,)]


SQUARE = polygon((-1, -1), (1, -1), (1, 1), (-1, 1))
TRIANGLE = polygon((0, 0), (2, 0), (0, 1))
NAN = math.nan


def boxes(rows, xs=(0.0,), ys=(0.0,)):
    return native.bboxes_path(np.array(xs, float), np.array(ys, float), *path(*rows))


# --- validation: every message, and which one wins when several apply ----------------

INVALID = [
    ([], "path must have at least one segment"),
    ([(LINE, 1, 0), *SQUARE], "path must start with a move command"),
    ([(MOVE, 0, 0)], "contour must end with close"),
    ([*SQUARE[:-1], (CLOSE,), (LINE, 5, 5)], "contour must end with close"),
    ([(MOVE, NAN, 0), (LINE, 1, 0), (LINE, 0, 1), (CLOSE,)], "move point must be finite"),
    ([(MOVE, 0, 0), (LINE, 1, math.inf), (LINE, 0, 1), (CLOSE,)], "line endpoint must be finite"),
    ([(MOVE, 0, 0), (LINE, 0, 1e-11), (LINE, NAN, 1), (CLOSE,)], "zero-length line segment"),
    ([(MOVE, 1, 0), (ARC, 0, 0, NAN, 0, 1), (LINE, NAN, 0), (CLOSE,)], "arc parameters must be finite"),
    ([(MOVE, 1, 0), (ARC, 0, 0, 0.0, 0, 1), (CLOSE,)], "arc radius must be positive"),
    ([(MOVE, 1, 0), (ARC, 0, 0, -1.0, 0, 1), (CLOSE,)], "arc radius must be positive"),
    ([(MOVE, 1, 0), (ARC, 0, 0, 1, 0, 2 * math.pi), (CLOSE,)], "arc |dtheta| must be in (0, 2π)"),
    ([(MOVE, 1, 0), (ARC, 0, 0, 1, 0, -2 * math.pi), (CLOSE,)], "arc |dtheta| must be in (0, 2π)"),
    ([(MOVE, 1, 0), (ARC, 0, 0, 1, 0, 0.0), (CLOSE,)], "arc |dtheta| must be in (0, 2π)"),
    ([(MOVE, 1.0011, 0), (ARC, 0, 0, 1, 0, 1), (LINE, 0, 0), (CLOSE,)],
     "arc start does not connect to current point"),
    ([(MOVE, 0, 0), (7, 1, 0), (LINE, 0, 1), (CLOSE,)], "unknown segment kind: 7"),
    ([(MOVE, 0, 0), (-1, 1, 0), (LINE, 0, 1), (CLOSE,)], "unknown segment kind: -1"),
    ([(MOVE, 0, 0), (LINE, 1, 0), (CLOSE,)], "contour must have at least 3 edges"),
    ([(MOVE, 1, 0), (ARC, 0, 0, 1, 0, math.pi), (ARC, 0, 0, 1, math.pi, math.pi), (CLOSE,)],
     "contour must have at least 3 edges"),
    (polygon((0, 0), (2, 2), (2, 0), (0, 2)), "self-intersecting path contour"),
    # An arc crossing the line before it, away from their junction.
    ([(MOVE, 0, 0), (LINE, 4, 0), (ARC, 2.5, 1, math.hypot(1.5, 1), math.atan2(-1, 1.5), -2.8), (CLOSE,)],
     "self-intersecting path contour"),
    # An arc coming round a whole turn to cross the line before it 8e-4 from their junction.
    ([(MOVE, -1, 0), (LINE, 0, 0), (ARC, -4e-4, 1, math.hypot(4e-4, 1), math.atan2(-1, 4e-4), 2 * math.pi - 2e-4),
      (LINE, -1, -0.5), (CLOSE,)], "self-intersecting path contour"),
    # Per-contour checks run on every contour before the orientation checks.
    ([*polygon((0, 0), (2, 2), (2, 0), (0, 2)), (MOVE, 0, 0), (LINE, 1, 0), (CLOSE,)],
     "contour must have at least 3 edges"),
    (polygon((0, 0), (1, 0), (2, 1e-10)), "outer contour has zero area"),
    ([*SQUARE, *polygon((0.5, 0.5), (3, 0.5), (3, 0.8))], "hole is not contained within the outer contour"),
    ([*polygon((0, 0), (4, 0), (4, 4), (0, 4)), *polygon((1, 1), (3, 1), (2, 3)),
      *polygon((3.5, 3.5), (3.9, 3.5), (3.9, 4.5))], "hole is not contained within the outer contour"),
    ([*polygon((0, 0), (4, 0), (4, 4), (3, 1), (2.5, 4), (0, 4)),
      *polygon((0.5, 0.5), (3.5, 0.5), (3.5, 2), (0.5, 2))],
     "outer contour and hole contour intersect"),
]


@pytest.mark.parametrize("rows, message", INVALID, ids=[m for _, m in INVALID])
def test_invalid_paths(rows, message):
    with pytest.raises(ValueError) as info:
        boxes(rows)
    assert str(info.value) == message


VALID = [
    ("triangle closed by the close row", TRIANGLE, (-1, 3, -1, 2)),
    ("triangle back to its first point", [*TRIANGLE[:-1], (LINE, 0, 0), (CLOSE,)], (-1, 3, -1, 2)),
    ("clockwise outer", polygon((-1, -1), (-1, 1), (1, 1), (1, -1)), (-2, 2, -2, 2)),
    ("three arcs", circle(1.0, 0.3), (-2, 2, -2, 2)),
    ("arc start 0.0009 away", [(MOVE, 1.0009, 0), (ARC, 0, 0, 1, 0, 2), (LINE, 0, 0), (CLOSE,)],
     (-1, 2, -1, 2)),
    ("rows after the first close are not read",
     [*TRIANGLE[:-1], (CLOSE,), (9, NAN, NAN), (LINE, NAN, 0), (CLOSE,)], (-1, 3, -1, 2)),
    ("nan in an arc's unused column", [(MOVE, 1, 0), (ARC, 0, 0, 1, 0, 2, NAN), (LINE, 0, 0), (CLOSE,)],
     (-1, 2, -1, 2)),
    ("counter-clockwise hole and overlapping holes",
     [*polygon((0, 0), (6, 0), (6, 6), (0, 6)), *polygon((1, 1), (3, 1), (3, 3), (1, 3)),
      *polygon((2, 2), (4, 2), (4, 4), (2, 4))], (-1, 7, -1, 7)),
    ("hole touching the outer at a vertex", [*SQUARE, *polygon((-1, -1), (0, -0.5), (0.5, 0))], (-2, 2, -2, 2)),
    ("notched outline and a hole level with its notch",
     [*polygon((0, 0), (5, 5), (10, 0), (10, 10), (0, 10)), *polygon((1.5, 4.5), (2.5, 4.5), (2.5, 5.5), (1.5, 5.5))],
     (-1, 11, -1, 11)),
    ("annulus of two circles from angle 0", [*circle(3.0), *circle(1.0, sign=-1.0)], (-4, 4, -4, 4)),
    ("square with a tangent hole circle", [*polygon((0, 0), (10, 0), (10, 10), (0, 10)), *circle(2, cx=5, cy=2)],
     (-1, 11, -1, 11)),
    ("rounded square, tangent joins", [(MOVE, -0.5, -1), (LINE, 0.5, -1), (ARC, 0.5, -0.5, 0.5, -math.pi / 2, math.pi / 2),
                                       (LINE, 1, 0.5), (ARC, 0.5, 0.5, 0.5, 0, math.pi / 2), (LINE, -0.5, 1),
                                       (ARC, -0.5, 0.5, 0.5, math.pi / 2, math.pi / 2), (LINE, -1, -0.5),
                                       (ARC, -0.5, -0.5, 0.5, math.pi, math.pi / 2), (CLOSE,)], (-2, 2, -2, 2)),
    ("hole of zero area", [*SQUARE, *polygon((0, 0), (0.5, 0), (0.25, 0))], (-2, 2, -2, 2)),
]


@pytest.mark.parametrize("name, rows, box", VALID, ids=[v[0] for v in VALID])
def test_valid_paths(name, rows, box):
    assert tuple(v[0] for v in boxes(rows)) == box


def test_path_boxes():
    # The low side is one below the shape rule; holes never widen the box.
    assert boxes(TRIANGLE, [10.0], [20.0]) == ([9], [13], [19], [22])
    assert boxes(SQUARE, [10.0, 0.5], [20.0, 0.0]) == ([8, -1], [12, 2], [18, -2], [22, 2])
    assert boxes([(MOVE, 1, 0), (ARC, 0, 0, 1, 0, math.pi / 2), (LINE, 0, 0), (CLOSE,)]) == ([-1], [2], [-1], [2])
    assert boxes([(MOVE, 0, 1), (ARC, 0, 0, 1, math.pi / 2, -math.pi / 2), (LINE, 0, 0), (CLOSE,)]) == (
        [-1], [2], [-1], [2])
    assert boxes(SQUARE, [1e19], [0.0])[:2] == ([2**63 - 1], [2**63 - 1])
    assert boxes(SQUARE, [], []) == ([], [], [], [])


def test_input_arrays_and_their_order():
    kinds, data = path(*SQUARE)
    xs = np.zeros(1)
    with pytest.raises(ValueError, match="^kinds must be a contiguous int8 array$"):
        native.bboxes_path(xs, xs, np.repeat(kinds, 2)[::2], data.T.copy())
    with pytest.raises(ValueError, match=r"^data must be a C-contiguous float64 array$"):
        native.bboxes_path(xs, xs, kinds[:2], np.zeros((6, 2)).T)
    for bad in (np.zeros((5, 7)), np.zeros((6, 6)), np.zeros((0, 6))):
        with pytest.raises(ValueError, match=r"^data must have shape \(N, 6\) where N == len\(kinds\)$"):
            native.bboxes_path(xs, xs, kinds, bad)
    with pytest.raises(ValueError, match="^path must have at least one segment$"):
        native.bboxes_path(xs, xs, kinds[:0], np.zeros((0, 6)))
    with pytest.raises(ValueError, match="^data must have shape"):
        native.bboxes_path(xs, xs, kinds[:0], np.zeros((0, 5)))
    # Centres are checked before the path is looked at.
    with pytest.raises(ValueError, match="^x and y must have matching shapes$"):
        native.bboxes_path(np.zeros(2), np.zeros(3), kinds[:1], data)
    with pytest.raises(ValueError, match="^x and y must be finite float64 arrays$"):
        native.bboxes_path(xs, np.array([NAN]), kinds[:1], data)
    with pytest.raises(ValueError, match="^x must be a contiguous float64 array$"):
        native.bboxes_path(np.zeros(4)[::2], xs, kinds, data)
    for args in ((xs, xs, kinds.astype(np.int16), data), (xs, xs, kinds, data.astype(np.float32))):
        with pytest.raises(TypeError):
            native.bboxes_path(*args)


# --- the geometry itself, compiled on its own ------------------------------------------

@pytest.fixture(scope="module")
def checks(tmp_path_factory):
    lines, run = run_check_program(
        tmp_path_factory, "path_check",
        [CHECK_SOURCE, *sorted((SRC / "geometry").glob("path_*.cpp")), SRC / "geometry" / "geometry.cpp"])
    assert run.returncode == 0 and not run.stderr, (run.returncode, run.stderr)
    return lines


def test_check_program_runs_every_check(checks):
    assert list(checks) == CHECKS


@pytest.mark.parametrize("name", CHECKS)
def test_path_geometry(checks, name):
    assert checks.get(name) == "ok", checks.get(name)


# --- weights: oracles ------------------------------------------------------------------

def weights(rows, xs, ys, mode="exact"):
    return getattr(native, f"weights_path_{mode}")(np.array(xs, float), np.array(ys, float), *path(*rows))


def one(rows, x, y, box, mode="exact"):
    x_min, x_max, y_min, y_max = box
    flat = getattr(native, f"weights_path_{mode}_one")(x, y, *path(*rows), x_min, y_min,
                                                        y_max - y_min, x_max - x_min)
    return np.array(flat).reshape(y_max - y_min, x_max - x_min)


def random_polygon(rng, n, grid):
    t = 2 * math.pi * (np.arange(n) + 0.7 * rng.random(n)) / n
    r = rng.uniform(1.0, 4.0, n)
    pts = np.c_[r * np.cos(t), r * np.sin(t)]
    return np.round(pts * 2) / 2 if grid else pts


def test_polygon_paths_against_shapely():
    geometry = pytest.importorskip("shapely.geometry")
    rng = np.random.default_rng(8)
    hole_box = [(-0.5, -0.5), (0.5, -0.5), (0.5, 0.5), (-0.5, 0.5)]
    for k in range(40):
        outer = random_polygon(rng, 3 + k % 9, grid=k % 2 == 0)
        shape = geometry.Polygon(outer)
        if not shape.is_valid or shape.area < 1e-6:
            continue
        rows = polygon(*map(tuple, outer))
        if k % 4 == 0 and shape.buffer(-0.01).contains(geometry.Polygon(hole_box)):
            rows += polygon(*hole_box)
            shape = geometry.Polygon(outer, [hole_box])
        x, y = (0.0, 0.0) if k % 3 == 0 else tuple(rng.uniform(-3, 3, 2))
        arrays, *box = weights(rows, [x], [y])
        x_min, y_min = box[0][0], box[2][0]
        for (r, c), v in np.ndenumerate(arrays[0]):
            px, py = x_min + c - x, y_min + r - y
            want = shape.intersection(geometry.box(px - 0.5, py - 0.5, px + 0.5, py + 0.5)).area
            assert v == pytest.approx(want, abs=1e-12), (k, px, py)


def test_overlapping_holes_take_their_union():
    geometry = pytest.importorskip("shapely.geometry")
    holes = [[(-2.3, -1.7), (0.6, -1.7), (0.6, 1.2), (-2.3, 1.2)], [(-0.8, -0.4), (2.1, -0.4), (1.3, 2.6)],
             [(-0.8, -0.4), (2.1, -0.4), (1.3, 2.6)]]
    outer = [(-4, -4), (4, -4), (4, 4), (-4, 4)]
    rows = polygon(*outer) + [row for h in holes for row in polygon(*h)]
    shape = geometry.Polygon(outer).difference(geometry.Polygon(holes[0]).union(geometry.Polygon(holes[1])))
    arrays, *box = weights(rows, [0.3], [-0.2])
    for (r, c), v in np.ndenumerate(arrays[0]):
        px, py = box[0][0] + c - 0.3, box[2][0] + r + 0.2
        assert v == pytest.approx(shape.intersection(geometry.box(px - 0.5, py - 0.5, px + 0.5, py + 0.5)).area,
                                  abs=1e-12)


def test_paths_against_circle_rectangle_and_annulus_weights():
    for x, y, r, t0 in ((0.5, 0.5, 2.0, 0.0), (3.7, -1.2, 5.0, 0.3), (0.0, 0.0, 1.0, math.pi / 2)):
        box = [v[0] for v in boxes(circle(r, t0), [x], [y])]
        want = np.array(native.weights_circ_exact_one(x, y, r, box[0], box[2], box[3] - box[2],
                                                      box[1] - box[0])).reshape(box[3] - box[2], -1)
        got = weights(circle(r, t0), [x], [y])[0][0]
        assert np.abs(got - want).max() <= 1e-12
        # A circle with a clockwise circle hole is the circular annulus.
        ann = weights(circle(r + 1.5, t0) + circle(r, -t0, -1.0), [x], [y])
        box = [v[0] for v in ann[1:]]
        want = np.array(native.weights_circ_ann_exact_one(x, y, r, r + 1.5, box[0], box[2], box[3] - box[2],
                                                          box[1] - box[0])).reshape(box[3] - box[2], -1)
        assert np.abs(ann[0][0] - want).max() <= 1e-12
    for x, y in ((0.0, 0.0), (10.0, 20.0), (0.37, -2.81)):
        got, *box = weights(polygon((-1.5, -1), (1.5, -1), (1.5, 1), (-1.5, 1)), [x], [y])
        box = [v[0] for v in box]
        want = np.array(native.weights_rect_exact_one(x, y, 3.0, 2.0, 0.0, box[0], box[2], box[3] - box[2],
                                                      box[1] - box[0])).reshape(box[3] - box[2], -1)
        assert np.abs(got[0] - want).max() <= 1e-12


def test_centre_weights_and_square_example():
    got, *box = weights(SQUARE, [10.0], [20.0])
    assert [v[0] for v in box] == [8, 12, 18, 22]
    assert got[0].tolist() == [[0, 0, 0, 0], [0, 0.25, 0.5, 0.25], [0, 0.5, 1, 0.5], [0, 0.25, 0.5, 0.25]]
    centre, *_ = weights(SQUARE, [10.0], [20.0], "center")
    assert centre[0].tolist() == [[0, 0, 0, 0], [0, 1, 1, 1], [0, 1, 1, 1], [0, 1, 1, 1]]
    # The outer outline counts as inside, a hole's outline as outside.
    rows = polygon((-3, -3), (3, -3), (3, 3), (-3, 3)) + polygon((-1, -1), (1, -1), (1, 1), (-1, 1))
    centre, *box = weights(rows, [0.0], [0.0], "center")
    gy, gx = np.mgrid[box[2][0]:box[3][0], box[0][0]:box[1][0]]
    inside = (abs(gx) <= 3) & (abs(gy) <= 3) & ~((abs(gx) <= 1) & (abs(gy) <= 1))
    assert np.array_equal(centre[0], inside.astype(float))


@pytest.mark.parametrize("mode", ["exact", "center"])
def test_pooled_serial_and_single_agree(threshold, mode):
    rows = circle(3.0, 0.2) + polygon((-1, -1), (-1, 1), (0.5, 0))
    xs, ys = [0.0, 3.3, -7.61, 12.5, 0.5], [0.0, -2.2, 5.05, 0.5, 0.5]
    threshold.set_parallel_threshold(10**9)
    serial = weights(rows, xs, ys, mode)
    threshold.set_parallel_threshold(1)
    pooled = weights(rows, xs, ys, mode)
    assert serial[1:] == pooled[1:] == boxes(rows, xs, ys)
    for k, (a, b) in enumerate(zip(serial[0], pooled[0])):
        box = [v[k] for v in serial[1:]]
        assert a.tobytes() == b.tobytes() == one(rows, xs[k], ys[k], box, mode).tobytes()


def test_weights_errors():
    kinds, data = path(*SQUARE)
    with pytest.raises(ValueError, match="^invalid weights extent$"):
        native.weights_path_exact(np.array([0.0, 1e19]), np.zeros(2), kinds, data)
    big = path(*polygon((0, 0), (2.0**32, 0), (2.0**32, 2.0**32), (0, 2.0**32)))
    with pytest.raises(MemoryError, match="^weights allocation is too large$"):
        native.weights_path_center(np.zeros(1), np.zeros(1), *big)
    with pytest.raises(MemoryError, match="^weights allocation is too large$"):
        native.weights_path_exact_one(0.0, 0.0, kinds, data, 0, 0, 2**32, 2**32)
    with pytest.raises(MemoryError, match="^weights allocation failed$"):
        native.weights_path_exact_one(0.0, 0.0, kinds, data, 0, 0, 2**31, 2**31)
    with pytest.raises(ValueError, match="^invalid weights extent$"):
        native.weights_path_center_one(0.0, 0.0, kinds, data, 2**63 - 2, 0, 1, 4)
    assert len(native.weights_path_center_one(0.0, 0.0, kinds, data, 2**63 - 2, 0, 1, 2)) == 2
    assert native.weights_path_exact_one(0.0, 0.0, kinds, data, 2**63 - 1, 2**63 - 1, 0, 5) == []
    with pytest.raises(ValueError, match="^x and y must be finite$"):
        native.weights_path_exact_one(math.nan, 0.0, kinds, data, 0, 0, 1, 1)
    with pytest.raises(ValueError, match="^contour must end with close$"):
        native.weights_path_exact(np.zeros(0), np.zeros(0), kinds[:-1], data[:-1])
    assert native.weights_path_exact(np.zeros(0), np.zeros(0), kinds, data) == ([], [], [], [], [])


# --- outlines that meet pixel edge lines -------------------------------------------------

def dense_arc(cx, cy, r, t0, dt, per_unit=1300):
    """Vertices of an arc for shapely, about 1/per_unit apart, the inner ones pushed out so
    that the polygon keeps the arc's area piece by piece (good to about 1e-10 per pixel);
    the ends stay on the arc."""
    k = max(8, int(abs(dt) * max(r, 1.0) * per_unit))
    step = dt / k
    rad = np.full(k + 1, r * math.sqrt(abs(step) / math.sin(abs(step))))
    rad[0] = rad[-1] = r
    t = t0 + step * np.arange(k + 1)
    return list(zip(cx + rad * np.cos(t), cy + rad * np.sin(t)))


def outline_shape(rows):
    """The region of path rows for shapely: the outer contour less the union of the holes."""
    shapely = pytest.importorskip("shapely")
    contours, points = [], []
    for code, *v in rows:
        if code in (MOVE, LINE):
            points = [] if code == MOVE else points
            points.append(tuple(v[:2]))
        elif code == ARC:
            points.extend(dense_arc(*v[:5]))
        else:
            contours.append(shapely.make_valid(shapely.Polygon(points)))
    return contours[0].difference(shapely.union_all(contours[1:])) if len(contours) > 1 else contours[0]


def assert_pixels_match(weights, box, x, y, shape, tol=1e-9):
    geometry = pytest.importorskip("shapely.geometry")
    for (r, c), v in np.ndenumerate(weights):
        px, py = box[0] + c - x, box[2] + r - y
        want = shape.intersection(geometry.box(px - 0.5, py - 0.5, px + 0.5, py + 0.5)).area
        assert v == pytest.approx(want, abs=tol), (x, y, box[0] + c, box[2] + r)


def test_overlapping_rectangular_holes_on_pixel_edge_lines():
    # Each pixel weighs its area outside the union of the holes, whether their sides lie
    # on pixel edge lines (half-integer coordinates at an integer centre), on the lines
    # through pixel centres, or anywhere.
    outer = [(-6, -6), (6, -6), (6, 6), (-6, 6)]
    example = polygon(*outer) + polygon((0, 0), (4, 0), (4, 4), (0, 4)) + polygon((1.5, -2), (2.5, -2), (2.5, 1.5), (1.5, 1.5))
    got, *box = weights(example, [0.0], [0.0])
    assert math.fsum(got[0].ravel()) == 126.0
    assert got[0][1 - box[2][0], 1 - box[0][0]] == 0.0 and got[0][0 - box[2][0], 3 - box[0][0]] == 0.5
    rng = np.random.default_rng(14)
    for k in range(36):
        step = (0.5, 1.0, None)[k % 3]
        holes = []
        for _ in range(2 + k % 2):
            if step is None:
                x0, y0, w, h = *rng.uniform(-4, 3, 2), *rng.uniform(0.3, 3, 2)
            else:
                x0, y0 = rng.integers(round(-5 / step), round(1 / step) + 1, 2) * step
                w, h = rng.integers(1, round(4 / step) + 1, 2) * step
            corners = [(x0, y0), (x0 + w, y0), (x0 + w, y0 + h), (x0, y0 + h)]
            holes.append(corners if k % 2 else corners[::-1])
        rows = polygon(*outer) + [row for h in holes for row in polygon(*h)]
        x, y = (0.0, 0.0) if step else tuple(rng.uniform(-1, 1, 2))
        got, *box = weights(rows, [x], [y])
        assert_pixels_match(got[0], [b[0] for b in box], x, y, outline_shape(rows))


def test_three_arc_circles_at_one_decimal_centres():
    # Circles whose top, bottom or sides graze a pixel edge line (one-decimal centres and
    # radii put them within rounding of it) give the disc's own pixel areas.
    rng = np.random.default_rng(3)
    cases = [(1065.8, 1741.2, 7.3, 0.0)] + [
        (*np.round(rng.uniform(1000, 2000, 2), 1), (7.3, 2.0, 4.4, 11.7, 0.9)[k % 5], rng.uniform(-4, 4))
        for k in range(60)]
    for x, y, r, t0 in cases:
        got, *box = weights(circle(r, t0), [x], [y])
        box = [b[0] for b in box]
        want = native.weights_circ_exact_one(x, y, r, box[0], box[2], box[3] - box[2], box[1] - box[0])
        assert np.abs(got[0].ravel() - want).max() <= 1e-9, (x, y, r, t0)


def pill_rows(w, a, theta):
    c, s, hw = math.cos(theta), math.sin(theta), w / 2
    return [(MOVE, -hw * c + a * s, -hw * s - a * c), (LINE, hw * c + a * s, hw * s - a * c),
            (ARC, hw * c, hw * s, a, theta - math.pi / 2, math.pi), (LINE, -hw * c - a * s, -hw * s + a * c),
            (ARC, -hw * c, -hw * s, a, theta + math.pi / 2, math.pi), (CLOSE,)]


@pytest.mark.parametrize("offset", [0.0, 1e-12, -1e-12, 6.31e-11, 1e-10, 3e-10, 1e-9, 1e-7])
def test_sides_near_an_axis(offset):
    # Straight sides at an angle within 1e-7 of an axis, lying on or next to pixel edge
    # lines, beside arcs: pills, their own weights and the same outline as a path, at
    # half-integer, integer and random centres.
    rng = np.random.default_rng(round(offset * 1e13) % 1000)
    cases = [(4.5, 9.5, 4.0, 1.0), (4.5, 9.5, 4.0, 0.5), (0.0, 0.0, 4.0, 1.0),
             (0.5, -1.0, rng.integers(1, 8) * 0.5, 0.5), (*rng.uniform(-9, 9, 2), rng.integers(1, 8) * 0.5, 1.5)]
    for k, (x, y, w, a) in enumerate(cases):
        theta = k * math.pi / 2 + offset
        rows = pill_rows(w, a, theta)
        shape = outline_shape(rows)
        own, *box = native.weights_pill_exact(np.array([x]), np.array([y]), w, a, a, theta)
        assert math.fsum(own[0].ravel()) == pytest.approx(2 * w * a + math.pi * a * a, abs=1e-9)
        assert_pixels_match(own[0], [b[0] for b in box], x, y, shape)
        as_path, *box = weights(rows, [x], [y])
        assert_pixels_match(as_path[0], [b[0] for b in box], x, y, shape)


def test_gapped_circles_are_accepted():
    # The middle arc of a circle of three starts up to 1e-3 ahead of or behind the current
    # point (its centre moved along the tangent there): the crossing it makes with the arc
    # before it lies within the junction's tolerance, so the outline is accepted, and its
    # pixels weigh the outline's area.
    step, r = 2 * math.pi / 3, 2.0
    for gap in (1e-4, 4e-4, 9.9e-4, -1e-4, -4e-4, -9.9e-4):
        for t0 in (0.3, 2.0):
            tx, ty = -math.sin(t0 + step), math.cos(t0 + step)
            rows = [(MOVE, r * math.cos(t0), r * math.sin(t0)), (ARC, 0, 0, r, t0, step),
                    (ARC, gap * tx, gap * ty, r, t0 + step, step), (ARC, 0, 0, r, t0 + 2 * step, step), (CLOSE,)]
            got, *box = weights(rows, [0.3], [0.1])
            assert math.fsum(got[0].ravel()) == pytest.approx(r * r * math.pi, abs=0.01)
            assert_pixels_match(got[0], [b[0] for b in box], 0.3, 0.1, outline_shape(rows))


# --- tangencies, gapped junctions and crossings ---------------------------------------------

def arc_circle(cx, cy, r, mid):
    """A clockwise circle of three arcs, the first of which has its midpoint at angle mid
    (where a tangency put there is the hole's containment probe)."""
    return circle(r, mid + math.pi / 3, -1.0, cx, cy)


def test_tangent_holes_are_accepted_with_their_area():
    # Tangencies that hold in exact arithmetic (integer and half-integer centres and radii)
    # to straight sides, to an arc of the outer outline and between holes; the first
    # arcs' midpoints at the points of contact.  Each pixel weighs the outline's area.
    square = polygon((0, 0), (10, 0), (10, 10), (0, 10))
    cases = [
        ([(MOVE, -3.8, -4), (LINE, 4.2, -4), (LINE, 4.2, 4), (LINE, -3.8, 4), (CLOSE,),
          (MOVE, 1.3, 3.0), *[(ARC, 0.3, 3.0, 1.0, j * 2 * math.pi / 3, 2 * math.pi / 3) for j in range(3)],
          (CLOSE,)], 64 - math.pi),
        (square + arc_circle(5, 1.5, 1.5, -math.pi / 2) + arc_circle(8.5, 5, 1.5, 0.0)
         + arc_circle(2, 8, 2, math.pi / 2) + arc_circle(1, 4.5, 1, math.pi), 100 - 9.5 * math.pi),
        (circle(4.0, 0.3) + arc_circle(2.5, 0, 1.5, 0.0) + arc_circle(-2, 0, 2, math.pi), (16 - 2.25 - 4) * math.pi),
        (square + arc_circle(4, 5, 1, 0.0) + arc_circle(6, 5, 1, math.pi) + arc_circle(6, 7.5, 1.5, -math.pi / 2)
         + polygon((1, 1), (1, 3), (3, 3), (3, 1)) + arc_circle(2, 4, 1, -math.pi / 2), 100 - 5.25 * math.pi - 4),
        # Two holes touching each other and, from inside, a third that holds them.
        (square + arc_circle(4, 5, 1, 0.3) + arc_circle(6, 5, 1, 2.0) + arc_circle(5, 5, 2, 0.0)
         + arc_circle(5, 5, 1.5, math.pi), 100 - 4 * math.pi),
    ]
    for rows, area in cases:
        shape = outline_shape(rows)
        assert shape.area == pytest.approx(area, abs=1e-5)
        for x, y in ((0.0, 0.0), (0.5, 0.5), (0.37, -0.21)):
            got, *box = weights(rows, [x], [y])
            assert math.fsum(got[0].ravel()) == pytest.approx(area, abs=1e-9)
            assert_pixels_match(got[0], [b[0] for b in box], x, y, shape)


def test_holes_that_truly_cross_are_rejected():
    # The same holes 2e-9 across the outline they touched.
    for rows in ([*polygon((0, 0), (10, 0), (10, 10), (0, 10)), *arc_circle(5, 1.5, 1.5 + 2e-9, 0.5)],
                 [*circle(4.0, 0.3), *arc_circle(2.5 + 2e-9, 0, 1.5, 2.0)],
                 [*polygon((-3.8, -4), (4.2, -4), (4.2, 4), (-3.8, 4)), *arc_circle(0.3, 3.0 + 2e-9, 1.0, 0.5)]):
        with pytest.raises(ValueError, match="^outer contour and hole contour intersect$"):
            boxes(rows)


def star_points(rng, n):
    t = 2 * math.pi * (np.arange(n) + 0.7 * rng.random(n)) / n
    return np.c_[rng.uniform(2.0, 5.0, n) * np.cos(t), rng.uniform(2.0, 5.0, n) * np.sin(t)]


def gapped_outline(rng, pts, how, gap=None):
    """Rows of a closed outline through pts, lines and arcs (bulging either way), every arc
    starting a random 1e-6 to 9.9e-4 (or gap) behind, ahead of or beside the current point."""
    rows, cur, n = [(MOVE, *pts[0])], tuple(pts[0]), len(pts)
    for i in range(n):
        q = tuple(pts[(i + 1) % n])
        if i == 0 or rng.random() < 0.6:
            (mx, my), (dx, dy) = (np.add(cur, q) / 2), np.subtract(q, cur)
            half, h = math.hypot(dx, dy) / 2, rng.uniform(0.05, 0.45) * math.hypot(dx, dy) * rng.choice([1, -1])
            r = (half * half + h * h) / (2 * abs(h))
            cx, cy = mx - math.copysign(r - abs(h), h) * dy / (2 * half), my + math.copysign(r - abs(h), h) * dx / (2 * half)
            t0, t1 = math.atan2(cur[1] - cy, cur[0] - cx), math.atan2(q[1] - cy, q[0] - cx)
            dt = (t1 - t0) % (2 * math.pi) - (2 * math.pi if h < 0 else 0)
            g = math.exp(rng.uniform(math.log(1e-6), math.log(9.9e-4)))
            g = g if gap is None else gap
            tx, ty = math.copysign(1, dt) * -math.sin(t0), math.copysign(1, dt) * math.cos(t0)
            ox, oy = {"behind": (-tx, -ty), "ahead": (tx, ty), "beside": (-ty, tx), "other side": (ty, -tx)}[how]
            cx, cy = cx + g * ox, cy + g * oy
            rows.append((ARC, cx, cy, r, t0, dt))
            cur = (cx + r * math.cos(t0 + dt), cy + r * math.sin(t0 + dt))
        elif i < n - 1:
            rows.append((LINE, *q))
            cur = q
    return rows + [(CLOSE,)]


def rounded_outline(rng, how):
    """A convex polygon with its corners rounded by arcs tangent to its sides, every arc
    starting a random 1e-6 to 9.9e-4 behind, ahead of or beside where the side ends."""
    n = int(rng.integers(3, 8))
    t = np.sort(rng.uniform(0, 2 * math.pi, n))
    if np.max(np.diff(np.r_[t, t[0] + 2 * math.pi])) > 0.9 * math.pi:
        t = 2 * math.pi * (np.arange(n) + 0.5 * rng.random(n)) / n
    v = np.c_[4 * np.cos(t), 4 * np.sin(t)]
    rows = []
    for i in range(n):
        p, q, nxt = v[i - 1], v[i], v[(i + 1) % n]
        u, w = (q - p) / math.dist(p, q), (nxt - q) / math.dist(q, nxt)
        turn = math.atan2(u[0] * w[1] - u[1] * w[0], u @ w)
        rho = rng.uniform(0.05, 0.3) * min(math.dist(p, q), math.dist(q, nxt)) / math.tan(turn / 2)
        p1 = q - u * rho * math.tan(turn / 2)
        cx, cy = p1 + rho * np.array([-u[1], u[0]])
        t0 = math.atan2(p1[1] - cy, p1[0] - cx)
        g = math.exp(rng.uniform(math.log(1e-6), math.log(9.9e-4)))
        ox, oy = {"behind": -u, "ahead": u, "beside": (-u[1], u[0]), "other side": (u[1], -u[0])}[how]
        rows += [(MOVE if i == 0 else LINE, *p1), (ARC, cx + g * ox, cy + g * oy, rho, t0, turn)]
    return rows + [(CLOSE,)]


def outline_points(rows, per_unit):
    points = []
    for code, *v in rows:
        if code in (MOVE, LINE):
            points.append(tuple(v[:2]))
        elif code == ARC:
            points.extend(dense_arc(*v[:5], per_unit=per_unit))
    points = np.array(points)
    # Arc ends a rounding error apart (the last one and the first point included) would
    # leave an edge of 1e-16 that shapely may find crossing its neighbours.
    points = points[np.r_[True, np.hypot(*np.diff(points, axis=0).T) > 1e-12]]
    return points[:-1] if np.hypot(*(points[-1] - points[0])) <= 1e-12 else points


def junction_region(rows, per_unit=8000):
    """The region of an outline whose sides may cross next to a gap, the gap closed by a
    straight side: the largest piece of the faces round which the outline winds the way it
    runs, pockets filled.  A twist at a gap makes a loop of winding 2 inside (filled
    either way) or -1 outside (left out); two twists can leave a pocket of winding 0
    inside (filled) or a bubble of winding 1 outside (left out), as the junction is where
    the sides cross."""
    shapely = pytest.importorskip("shapely")
    ring = outline_points(rows, per_unit)
    x0, y0 = ring[:, 0], ring[:, 1]
    x1, y1 = np.roll(x0, -1), np.roll(y0, -1)
    sign = np.sign(np.dot(x0, y1) - np.dot(y0, x1))

    def winding(p):
        up, down = (y0 <= p[1]) & (y1 > p[1]), (y1 <= p[1]) & (y0 > p[1])
        with np.errstate(divide="ignore", invalid="ignore"):
            right = x0 + (p[1] - y0) / (y1 - y0) * (x1 - x0) > p[0]
        return int((up & right).sum() - (down & right).sum())

    noded = shapely.node(shapely.LineString(np.vstack([ring, ring[:1]])))
    faces = shapely.get_parts(shapely.polygonize(shapely.get_parts(noded)))
    region = shapely.union_all([f for f in faces if sign * winding(f.representative_point().coords[0]) > 0])
    return shapely.Polygon(max(shapely.get_parts(region), key=lambda p: p.area).exterior)


def assert_gapped_pixels(rows, x, y):
    shapely = pytest.importorskip("shapely")
    shape = junction_region(rows)
    got, *box = weights(rows, [x], [y])
    x_min, y_min = box[0][0], box[2][0]
    for (r, c), v in np.ndenumerate(got[0]):
        px, py = x_min + c - x, y_min + r - y
        assert v == pytest.approx(shapely.clip_by_rect(shape, px - 0.5, py - 0.5, px + 0.5, py + 0.5).area,
                                  abs=1e-9), (rows, x, y, x_min + c, y_min + r)
    # Centre mode: a centre on the wrong side lies on the outline, within the oracle's
    # own reach of it.
    centre, *_ = weights(rows, [x], [y], "center")
    gy, gx = np.mgrid[y_min:box[3][0], x_min:box[1][0]]
    inside = shapely.contains_xy(shape, gx - x, gy - y)
    for cx, cy in zip(gx[inside != (centre[0] == 1)], gy[inside != (centre[0] == 1)]):
        assert shape.boundary.distance(shapely.Point(cx - x, cy - y)) < 1e-6, (rows, cx, cy)


def test_gapped_outlines_are_accepted_and_exact():
    shapely = pytest.importorskip("shapely")
    # The outline of the report: an arc meeting the next at a right angle 5e-4 short of
    # the pixel corner (-2.5, 2.5) where the next starts.
    a1 = (4.38310975926206, -2.511609615805456, 8.514588085751335, 1.9162924248103421, 0.5960100215556777)
    a2 = (-3.9839247351645533, 0.4678494703291076, 2.516280666951698, 0.9400725702777938, 2.1887427310358185)
    corner = [(MOVE, 5.5, 0.5), (LINE, a1[0] + a1[2] * math.cos(a1[3]), a1[1] + a1[2] * math.sin(a1[3])),
              (ARC, *a1), (ARC, *a2), (LINE, -0.5, -5.5), (CLOSE,)]
    got, *box = weights(corner, [0.0], [0.0])
    assert got[0][2 - box[2][0], -3 - box[0][0]] == pytest.approx(1.0, abs=1e-9)
    assert got[0][3 - box[2][0], -3 - box[0][0]] == pytest.approx(0.2622536, abs=1e-7)
    assert_gapped_pixels(corner, 0.0, 0.0)
    # Arcs meeting at a shallow angle through a gap of 9e-4.
    a = (5.696779132283162, -3.304489375365994, 0.4868379206415875, 2.964712199119807, -1.8047793119321818)
    b = (-3.953238355751142, -7.199978773474592, 10.758899796333028, 0.4153092797459999, 0.31993247807762)
    shallow = [(MOVE, a[0] + a[2] * math.cos(a[3]), a[1] + a[2] * math.sin(a[3])), (ARC, *a), (ARC, *b),
               (LINE, -2, 0), (LINE, -2, -5), (CLOSE,)]
    assert_gapped_pixels(shallow, 0.3, 0.1)
    # Random simple outlines, every arc's start moved each way; the last arc's end moved
    # too, so that the close row adds a short line between two arcs.
    rng = np.random.default_rng(18)
    done = 0
    while done < 24:
        pts, how = star_points(rng, int(rng.integers(3, 8))), ("behind", "ahead", "beside", "other side")[done % 4]
        state = rng.bit_generator.state
        if not shapely.LinearRing(outline_points(gapped_outline(rng, pts, how, gap=0.0), 1300)).is_simple:
            continue
        rng.bit_generator.state = state
        rows = gapped_outline(rng, pts, how)
        x, y = ((0.0, 0.0), (0.5, 0.5), tuple(rng.uniform(-3, 3, 2)))[done % 3]
        assert_gapped_pixels(rows, x, y)
        done += 1
    # Rounded polygons: the sides meet their arcs at a tangent, the gaps there.
    for k in range(8):
        assert_gapped_pixels(rounded_outline(rng, ("behind", "ahead", "beside", "other side")[k % 4]),
                             *((0.0, 0.0), (0.5, 0.5), tuple(rng.uniform(-3, 3, 2)))[k % 3])


def test_self_crossing_outlines_are_rejected():
    # Outlines through the same random points taken out of order cross themselves far from
    # any junction, with or without their arcs' starts moved.
    shapely = pytest.importorskip("shapely")
    rng = np.random.default_rng(19)
    seen = 0
    while seen < 60:
        pts = star_points(rng, int(rng.integers(4, 8)))
        pts = pts[rng.permutation(len(pts))]
        state = rng.bit_generator.state
        plain = gapped_outline(rng, pts, "beside", gap=0.0)
        if shapely.LinearRing(outline_points(plain, 1300)).is_simple:
            continue
        rng.bit_generator.state = state
        for rows in (plain, gapped_outline(rng, pts, ("behind", "ahead", "beside", "other side")[seen % 4])):
            with pytest.raises(ValueError, match="^self-intersecting path contour$"):
                boxes(rows)
        seen += 1


# --- folds: links that run back along their neighbours ---------------------------------------

def shifted(rows, dx, dy):
    return [(c, v[0] + dx, v[1] + dy, *v[2:]) if c in (MOVE, LINE, ARC) else (c, *v) for c, *v in rows]


def folded_region(rows, per_unit=1300):
    """The region of an outline that may double back on itself (a fold of no area): the
    polygonal part of the dense outline made valid."""
    shapely = pytest.importorskip("shapely")
    valid = shapely.make_valid(shapely.Polygon(outline_points(rows, per_unit)))
    return shapely.union_all([p for p in shapely.get_parts(valid) if p.geom_type == "Polygon"]
                             + [q for p in shapely.get_parts(valid) if p.geom_type == "MultiPolygon"
                                for q in shapely.get_parts(p)])


def assert_matches_region(rows, x, y, shape, tol=1e-9, far=(0.0, 0.0)):
    """Every exact weight against the region's area in its pixel (clipped row by row); with
    `far`, the outline is moved by it and the region stays where it was."""
    shapely = pytest.importorskip("shapely")
    got, *box = weights(shifted(rows, *far), [x], [y])
    xs = box[0][0] + np.arange(got[0].shape[1]) - x - far[0]
    for r, row in enumerate(got[0]):
        yc = box[2][0] + r - y - far[1]
        strip = shapely.clip_by_rect(shape, xs[0] - 0.5, yc - 0.5, xs[-1] + 0.5, yc + 0.5)
        want = shapely.area(shapely.intersection(strip, shapely.box(xs - 0.5, yc - 0.5, xs + 0.5, yc + 0.5)))
        worst = int(np.argmax(np.abs(row - want)))
        assert row[worst] == pytest.approx(want[worst], abs=tol), (rows, x, y, box[0][0] + worst, box[2][0] + r)
    return got[0]


def rounded_rect(w, h, r, angles=(-math.pi / 2, 0.0, math.pi / 2, math.pi), sweep=math.pi / 2):
    """Sides and quarter arcs, counter-clockwise from the bottom side's left end."""
    hw, hh, cx, cy = w / 2, h / 2, w / 2 - r, h / 2 - r
    return [(MOVE, -cx, -hh), (LINE, cx, -hh), (ARC, cx, -cy, r, angles[0], sweep), (LINE, hw, cy),
            (ARC, cx, cy, r, angles[1], sweep), (LINE, -cx, hh), (ARC, -cx, cy, r, angles[2], sweep),
            (LINE, -hw, -cy), (ARC, -cx, -cy, r, angles[3], sweep), (CLOSE,)]


def moved_corner(g, how, turned):
    """A 10 x 6 rounded rectangle (radius 2) whose first corner arc starts g behind, ahead of
    or beside the end of the side before it, or whose last arc ends g past or short of the
    first point: the arc's centre moved along the common tangent (+x at both), or (turned)
    its angles changed."""
    rows = rounded_rect(10.0, 6.0, 2.0)
    k = 2 if how in ("behind", "ahead", "beside") else 8
    _, cx, cy, r, t0, dt = rows[k]
    sign = {"behind": -1, "ahead": 1, "past": 1, "short": -1, "beside": 0}[how]
    if how == "beside":
        rows[k] = (ARC, cx, cy + g, r, t0, dt)
    elif not turned:
        rows[k] = (ARC, cx + sign * g, cy, r, t0, dt)
    elif k == 2:
        rows[k] = (ARC, cx, cy, r, t0 + sign * g / r, dt - sign * g / r)
    else:
        rows[k] = (ARC, cx, cy, r, t0, dt + sign * g / r)
    return rows


def test_folds_and_gaps_at_tangent_joins_and_the_close_are_exact():
    # An arc starting g behind the end of the side before it: the outline runs back over g
    # and on again (a fold of no area).  Pixel (55, 40) lies on the fold, which lost 2.5 g
    # there and 52.5 g with the outline a hundred pixels out.
    for g in (1e-7, 3e-5, 6e-5):
        for far in (0.0, 100.0, 1000.0):
            rows = shifted([(MOVE, -5, -5), (LINE, 5, -5), (LINE, 5, 0), (ARC, 0, 0, 5, -g / 5, math.pi / 2 + g / 5),
                            (ARC, 0, 0, 5, math.pi / 2, math.pi / 2), (CLOSE,)], far, 0.0)
            got = assert_matches_region(rows, 50.5, 40.0, folded_region(rows))
            assert math.fsum(got.ravel()) == pytest.approx(50 + 12.5 * math.pi, abs=1e-9)
    # Arcs starting behind, ahead of and beside a side's end, and last arcs ending past or
    # short of the first point, on and off pixel edge lines and 300 pixels from the centre.
    # At g = 2e-5 the corner arc crosses the pixel edge line through the fold 1e-10 from a
    # pixel corner (about a half-integer centre), closer than the edges are cut.
    rng = np.random.default_rng(22)
    for how in ("behind", "ahead", "beside", "past", "short"):
        for turned in (False, True):
            for g in (1e-7, 2e-5, 3e-5, 9e-4):
                for far in (0.0, 300.0):
                    rows = shifted(moved_corner(g, how, turned), far, -far)
                    shape = folded_region(rows)
                    for x, y in ((0.0, 0.0), (0.5, 0.5), tuple(rng.uniform(-1, 1, 2))):
                        assert_matches_region(rows, x, y, shape)


def test_sides_next_to_pixel_edges_far_from_the_centre():
    # Outlines far from the aperture centre whose sides lie within 1e-12 to 3e-10 of pixel
    # edge lines, or pass 1e-10 from pixel corners, beside arcs.  Their area terms are
    # taken about the centre: a join left open by 1e-10 there cost 1e-10 times the
    # distance (a pill turned by -3e-10 gave 2.2e-7 in a pixel it does not reach).
    def turned(rows, e):
        c, s = math.cos(e), math.sin(e)
        out = []
        for code, *v in rows:
            if code in (MOVE, LINE, ARC):
                v[:2] = c * v[0] - s * v[1], s * v[0] + c * v[1]
            if code == ARC:
                v[3] += e
            out.append((code, *v))
        return out

    outlines = [pill_rows(5.0, 1.5, -3e-10), pill_rows(6.0, 2.0, 1e-12), turned(rounded_rect(11.0, 7.0, 2.0), 1e-12),
                turned(rounded_rect(11.0, 7.0, 1.5), -1e-12), turned(rounded_rect(10.0, 6.0, 2.0), -1e-10)]
    # A side of slope 1/2 through pixel corners, give or take d, closed by an arc.
    length = math.hypot(6.0, 3.0)
    r = length / (2 * math.sin(0.6))
    for d in (1e-10, -1e-10, 2e-10):
        cx, cy = 3.0 + r * math.cos(0.6) * 3 / length, 1.5 + d - r * math.cos(0.6) * 6 / length
        outlines.append([(MOVE, 0.0, d), (LINE, 3.0, 1.5 + d), (LINE, 6.0, 3.0 + d),
                         (ARC, cx, cy, r, math.atan2(3.0 + d - cy, 6.0 - cx), 1.2), (CLOSE,)])
    for k, rows in enumerate(outlines):
        shape = outline_shape(rows)
        for far in ((1000.0, -1000.0), (-700.5, 999.5)):
            x, y = ((0.0, 0.0), (0.5, 0.5), (0.5, 0.0))[k % 3]
            assert_matches_region(rows, x, y, shape, far=far)


def test_typed_angles_are_accepted_and_keep_their_area():
    # Rounded rectangles whose last arc ends past the first point, by 1e-6 to 9e-4.
    for g in (1e-6, 1.1e-6, 9e-4):
        rows = rounded_rect(20.0, 10.0, 3.0)
        rows[8] = (ARC, -7, -2, 3, math.pi + g / 3, math.pi / 2)
        got, *_ = weights(rows, [0.3], [0.2])
        assert math.fsum(got[0].ravel()) == pytest.approx(200 - 9 * (4 - math.pi), abs=1e-6)
    # A three-arc circle whose last arc ends up to 9.9e-4 past its first point.
    for g in (7e-4, 8.5e-4, 9.9e-4):
        rows = [(MOVE, 5, 0), *[(ARC, 0, 0, 5, k * 2 * math.pi / 3, 2 * math.pi / 3 + (k == 2) * g / 5)
                                for k in range(3)], (CLOSE,)]
        assert boxes(rows) == ([-6], [6], [-6], [6])
    # Angles typed to 3 to 7 decimals, corner arcs and circles of every radius their gaps
    # allow; each sums to the area of its outline (the gaps closed straight), and pixel by
    # pixel about integer and half-integer centres.
    rng = np.random.default_rng(221)
    quarter = (-math.pi / 2, 0.0, math.pi / 2, math.pi)
    cases = [([1.5708, 0.0, 1.5708, 3.1416], 1.5708, 4.0, 30.0, 20.0),
             ([-1.5708, 0.0, 1.5708, 3.14159], 1.5708, 4.0, 30.0, 20.0)]
    for k in range(40):
        dec = 3 + k % 5
        r = rng.uniform(0.2, min(6.0, 9e-4 / (2 * 10.0**-dec)))
        cases.append(([round(a, dec) for a in quarter], round(math.pi / 2, dec), r, *(2 * r + rng.uniform(1, 8, 2))))
    def typed_rect(angles, sweep, r, w, h):
        rows = rounded_rect(w, h, r, angles, sweep)
        if angles[0] > 0:  # the outline: its first arc typed 1.5708 as well
            rows[2] = (ARC, w / 2 - r, -(h / 2 - r), r, -1.5708, 1.5708)
        return rows

    for k, case in enumerate(cases):
        rows = typed_rect(*case)
        shape = folded_region(rows)
        x, y = ((0.0, 0.0), (0.5, 0.5), (0.0, 0.5), tuple(rng.uniform(-1, 1, 2)))[k % 4]
        got = assert_matches_region(rows, x, y, shape)
        assert math.fsum(got.ravel()) == pytest.approx(shape.area, abs=1e-9)
    # Far from the centre, with the corners' tangent points on pixel corners: an arc typed
    # to end past its tangent point runs along a pixel edge line and leaves it 1e-10 off.
    for case in cases[:2]:
        for far in ((300.0, -300.0), (-600.5, 1000.0)):
            rows = shifted(typed_rect(*case), *far)
            assert_matches_region(rows, 0.5, 0.5, folded_region(rows))
    for k in range(60):
        dec, m = 3 + k % 5, (3, 4, 6)[k % 3]
        step = round(2 * math.pi / m, dec)
        top = min(8.0, 9e-4 / (m * 10.0**-dec))
        r = rng.uniform(0.3 * top, top)
        t0 = (0.0, round(math.pi / 4, dec), round(math.pi / 2, dec))[k % 3]
        rows = [(MOVE, r * math.cos(t0), r * math.sin(t0)),
                *[(ARC, 0, 0, r, round(t0 + j * 2 * math.pi / m, dec), step) for j in range(m)], (CLOSE,)]
        got, *_ = weights(rows, [0.5 * (k % 2)], [0.5 * (k % 3 == 0)])
        assert math.fsum(got[0].ravel()) == pytest.approx(math.pi * r * r, abs=2e-3 * 2 * math.pi * r)


def test_close_overshoots_and_undershoots_are_accepted():
    # Random simple outlines whose last segment ends 1e-7 to 9.9e-4 past or short of the
    # first point: an arc whose sweep or centre moved, or a line laid along the closing side.
    shapely = pytest.importorskip("shapely")
    rng = np.random.default_rng(222)
    done = 0
    while done < 200:
        rows = gapped_outline(rng, star_points(rng, int(rng.integers(3, 8))), "beside", gap=0.0)
        if not shapely.LinearRing(outline_points(rows, 300)).is_simple:
            continue
        g = math.exp(rng.uniform(math.log(1e-7), math.log(9.9e-4))) * rng.choice([1, -1])
        if rows[-2][0] == ARC:
            _, cx, cy, r, t0, dt = rows[-2]
            te, turn = t0 + dt, math.copysign(1, dt)
            rows[-2] = ((ARC, cx, cy, r, t0, dt + turn * g / r) if done % 2 else
                        (ARC, cx - turn * g * math.sin(te), cy + turn * g * math.cos(te), r, t0, dt))
        else:
            first, last = np.array(rows[0][1:3]), np.array(rows[-2][1:3])
            rows = rows[:-1] + [(LINE, *(first + (first - last) / np.hypot(*(first - last)) * g)), (CLOSE,)]
        boxes(rows)
        if done % 40 == 0:
            assert_matches_region(rows, *((0.0, 0.0), (0.5, 0.5))[done // 40 % 2], folded_region(rows))
        done += 1


def test_a_thin_contour_keeps_its_area():
    # A circular segment (radius 10, half-angle 0.02, area 5.3e-4) whose chord stops short
    # of the arc's start along the arc's tangent, or runs past it: the gap's own term about
    # the origin outweighs the area, but the contour keeps its orientation and its area.
    r, half = 10.0, 0.02
    area, perimeter = 0.5 * r * r * (2 * half - math.sin(2 * half)), 2 * r * half + 2 * r * math.sin(half)
    for g in (2e-4, -2e-4, 1e-4, 9e-4, 1e-6):
        for far, turn in ((0.0, 1), (0.0, -1), (-10.0, 1), (300.0, -1)):
            sx, sy = r * math.cos(half), -turn * r * math.sin(half)
            tx, ty = math.sin(half), turn * math.cos(half)
            rows = shifted([(MOVE, r * math.cos(half), 0.0), (LINE, sx - g * tx, sy - g * ty),
                            (ARC, 0, 0, r, -turn * half, 2 * turn * half), (CLOSE,)], far, 0.0)
            got, *_ = weights(rows, [0.3], [0.1])
            assert math.fsum(got[0].ravel()) == pytest.approx(area, abs=abs(g) * perimeter), (g, far, turn)


def test_outlines_that_cross_stay_rejected():
    # A side crossing the first one far from any junction, and the whole-turn arc that
    # crosses its neighbour 8e-4 from their junction: neither is a fold or a junction's loop.
    wide = [(MOVE, -1, 0), (LINE, 0, 0), (ARC, -4e-4, 1, math.hypot(4e-4, 1), math.atan2(-1, 4e-4),
                                           2 * math.pi - 2e-4), (LINE, -1, -0.5), (CLOSE,)]
    crossing = [(MOVE, 0, 0), (LINE, 4, 0), (LINE, 4, 3), (ARC, 2, 3, 2, 0, 1.5708), (LINE, 3, -1),
                (LINE, 0, 3), (CLOSE,)]
    for bad in (wide, crossing):
        with pytest.raises(ValueError, match="^self-intersecting path contour$"):
            boxes(bad)


def test_outlines_running_over_themselves_the_same_way_are_rejected():
    # A last arc running on along the first one past the first point, further than a fold
    # at the close reaches (1e-2), winds twice round the piece between it and the close.
    def arcs(r, sweeps, t0=0.0, at=(0.0, 0.0)):
        rows, t = [(MOVE, at[0] + r * math.cos(t0), at[1] + r * math.sin(t0))], t0
        for dt in sweeps:
            rows.append((ARC, *at, r, t, dt))
            t += dt
        return rows

    third = 2 * math.pi / 3
    for ov in (0.2, 0.05, 0.01, 4e-3):
        for rows in (arcs(3, (third, third, third + ov)) + [(CLOSE,)],
                     arcs(3, (-math.pi, -math.pi - ov), at=(300.0, -300.0)) + [(CLOSE,)],
                     # through the circle and back to the first point: a loop of winding 2
                     arcs(3, (third, third, third + ov / 100)) + [(LINE, 0, 2), (LINE, -1, -1), (CLOSE,)]):
            with pytest.raises(ValueError, match="^self-intersecting path contour$"):
                boxes(rows)
    for rows in (arcs(3, (third,) * 6) + [(CLOSE,)],
                 polygon((0, 0), (4, 0), (4, 2), (1, 2), (1, 1), (3, 1), (3, 0), (6, 0), (6, -1), (0, -1))):
        with pytest.raises(ValueError, match="^self-intersecting path contour$"):
            boxes(rows)
    # Overshoots a fold takes out, near the centre and far from it, and angles typed to 7
    # decimals, keep the circle's area; an outline meeting itself the other way (a spike,
    # two loops along a side) only touches itself.
    for g in (1e-9, 1e-7, 9.9e-4, 5e-3):
        for at in ((0.0, 0.0), (300.0, -300.0), (-2000.0, 2000.0)):
            for sign in (1, -1):
                rows = arcs(3, (sign * third, sign * third, sign * (third + g / 3)), at=at) + [(CLOSE,)]
                got, *_ = weights(rows, [at[0] + 0.5], [at[1]])
                assert math.fsum(got[0].ravel()) == pytest.approx(9 * math.pi, abs=1e-9), (g, at, sign)
    typed = [(MOVE, 299.13366869508195, 299.9999999597934),
             *[(ARC, 300.0, 300.0, 0.8663313049180685, a, 1.2566371)
               for a in (3.1415927, 4.3982298, 5.6548668, 6.9115039, 8.1681409)], (CLOSE,)]
    got, *_ = weights(typed, [300.0], [300.0])
    assert math.fsum(got[0].ravel()) == pytest.approx(math.pi * 0.8663313049180685**2, abs=1e-6)
    for rows, area in ((polygon((0, 0), (10, 0), (5, 0), (5, 5), (0, 5)), 25.0),
                       (polygon((0, 0), (2, 0), (2, 1), (4, 1), (4, 3), (2, 3), (2, 1), (2, 2), (0, 2)), 8.0)):
        got, *_ = weights(rows, [0.0], [0.0])
        assert math.fsum(got[0].ravel()) == pytest.approx(area, abs=1e-9)
