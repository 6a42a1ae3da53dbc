"""Free paths: validation messages and their order, the input arrays, boxes, and the
path geometry checked directly in C++ (path_check.cpp prints "<name> ok|FAIL <detail>")."""

import math
import re
import shutil
import subprocess
from pathlib import Path

import numpy as np
import pytest

import quorvantel._native as native

TESTS = Path(__file__).resolve().parent
SRC = TESTS.parent / "src"
CHECK_SOURCE = TESTS / "path_check.cpp"
CHECKS = re.findall(r'check\("(\w+)"', CHECK_SOURCE.read_text())
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
    cxx = shutil.which("g++") or shutil.which("c++")
    if cxx is None:
        pytest.skip("no C++ compiler")
    exe = tmp_path_factory.mktemp("paths") / "path_check"
    sources = [CHECK_SOURCE, SRC / "geometry" / "path.cpp", SRC / "geometry" / "geometry.cpp"]
    build = subprocess.run([cxx, "-std=c++20", "-O2", "-ffp-contract=off", f"-I{SRC}", *map(str, sources),
                            "-o", str(exe)], capture_output=True, text=True)
    assert build.returncode == 0, build.stderr
    run = subprocess.run([str(exe)], capture_output=True, text=True, timeout=300)
    assert run.returncode == 0 and not run.stderr, (run.returncode, run.stderr)
    return dict(line.partition(" ")[::2] for line in run.stdout.splitlines())


def test_check_program_runs_every_check(checks):
    assert list(checks) == CHECKS


@pytest.mark.parametrize("name", CHECKS)
def test_path_geometry(checks, name):
    assert checks.get(name) == "ok", checks.get(name)
