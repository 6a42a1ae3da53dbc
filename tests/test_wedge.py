"""Wedges against the region their outline bounds (inner arc A0 -> A1, side A1 B1, outer
arc B1 -> B0, side B0 A0), drawn as a dense polygon in shapely: exact cells to 2e-6 per
pixel, centre cells at every pixel centre clear of the outline, over the table of known
cases, random simple wedges with each span on either side of pi, and arcs just short of a
whole turn.  Centre cells also against the outline's own clockwise turns, counted on the
dense polygon, for wedges at round angles and centres and for random ones that may cross
themselves, and on the arcs themselves.  Centres on the sides: sectors of an annulus (and
skewed wedges sharing sides) add up to the annulus cell for cell; arc ends a hair from an
axis direction against the turns counted from the argument in extended precision."""

import math

import numpy as np
import pytest

import quorvantel._native as native

shapely = pytest.importorskip("shapely")

PI, TWO_PI = math.pi, 6.283185307179586
BELOW_TWO_PI = 6.283185307179585
RNG = np.random.default_rng(20261207)


def _wrap(t):
    t = math.fmod(t, TWO_PI)
    return t + TWO_PI if t < 0 else t


def _arc_ends(params):
    """a0, a1, b0, b1: the computed arc ends."""
    r_in, r_out, th_in, dth_in, th_out, dth_out = params
    a0 = th_in - dth_in * 0.5
    b0 = a0 + (_wrap(((th_out - dth_out * 0.5) - a0) + PI) - PI)
    return a0, dth_in + a0, b0, dth_out + b0


def outline(x, y, r_in, r_out, th_in, dth_in, th_out, dth_out, points=20000):
    """The outline as a polygon of `points` vertices (the arc ends as the rasters form them).
    Its chords lie within 3e-7 of the arcs for the radii used here."""
    a0, a1, b0, b1 = _arc_ends((r_in, r_out, th_in, dth_in, th_out, dth_out))
    inner = np.linspace(a0, a1, points // 2)
    outer = np.linspace(b1, b0, points // 2)
    return shapely.Polygon(np.r_[np.c_[x + r_in * np.cos(inner), y + r_in * np.sin(inner)],
                                 np.c_[x + r_out * np.cos(outer), y + r_out * np.sin(outer)]])


def rasters(x, y, params):
    (exact,), x0, x1, y0, y1 = native.weights_wedge_exact(np.array([x]), np.array([y]), *params)
    (centre,), *box = native.weights_wedge_center(np.array([x]), np.array([y]), *params)
    assert box == [x0, x1, y0, y1]
    return exact, centre, (x0[0], x1[0], y0[0], y1[0])


def assert_follows_outline(x, y, params):
    """Both rasters of one aperture against the outline, which must be simple."""
    region = outline(x, y, *params)
    assert region.is_valid
    exact, centre, (x0, x1, y0, y1) = rasters(x, y, params)
    left, bottom, right, top = region.bounds
    assert x0 - 0.5 <= left and right <= x1 - 0.5 and y0 - 0.5 <= bottom and top <= y1 - 0.5
    px, py = np.meshgrid(np.arange(x0, x1, dtype=float), np.arange(y0, y1, dtype=float))
    shapely.prepare(region)
    covered = shapely.area(shapely.intersection(region, shapely.box(px - 0.5, py - 0.5,
                                                                    px + 0.5, py + 0.5)))
    np.testing.assert_allclose(exact, covered, rtol=0, atol=2e-6)
    # Centres nearer the polygon than its distance from the true arcs are left out.
    clear = shapely.distance(region.exterior, shapely.points(px, py)) > 1e-6
    inside = shapely.contains_xy(region, px, py)
    assert np.array_equal(centre[clear], inside[clear].astype(float))
    return exact, centre


@pytest.mark.parametrize("dth_in, dth_out, area", [
    (1.5 * PI, 1.1 * PI, 51.578), (0.9 * PI, 1.1 * PI, 43.918),
    (PI - 1e-9, 1.5 * PI, 57.958), (PI + 1e-9, 1.5 * PI, 57.958)])
def test_known_skewed_wedges(dth_in, dth_out, area):
    exact, _ = assert_follows_outline(0.0, 0.0, (3.0, 6.0, 0.0, dth_in, 0.0, dth_out))
    assert math.fsum(exact.ravel()) == pytest.approx(area, abs=1e-3)


def _random_simple_wedge(inner_reflex, outer_reflex):
    """Draws until the outline is simple; each span below or above pi as asked."""
    while True:
        r_in = RNG.uniform(0.3, 4.0)
        spans = [RNG.uniform(PI, TWO_PI - 1e-9) if reflex else RNG.uniform(1e-3, PI)
                 for reflex in (inner_reflex, outer_reflex)]
        th_in = RNG.uniform(-7.0, 7.0)
        params = (r_in, r_in + RNG.uniform(0.05, 4.0), th_in, spans[0],
                  th_in + RNG.uniform(-4.0, 4.0), spans[1])
        x, y = RNG.uniform(-3.0, 3.0, 2)
        if outline(x, y, *params, points=2000).is_valid:
            return x, y, params


@pytest.mark.parametrize("inner_reflex", [False, True])
@pytest.mark.parametrize("outer_reflex", [False, True])
def test_random_simple_wedges_follow_their_outline(inner_reflex, outer_reflex):
    for _ in range(4):
        assert_follows_outline(*_random_simple_wedge(inner_reflex, outer_reflex))


def test_spans_on_either_side_of_pi_meet():
    """A span passing pi flips the sign of its segment's triangle; the cells stay close."""
    compared = 0
    for _ in range(6):
        x, y, params = _random_simple_wedge(False, False)
        for k in (3, 5):
            below, above = list(params), list(params)
            below[k], above[k] = PI - 1e-9, PI + 1e-9
            if not (outline(x, y, *below, points=2000).is_valid
                    and outline(x, y, *above, points=2000).is_valid):
                continue
            lower, upper = rasters(x, y, below)[0], rasters(x, y, above)[0]
            np.testing.assert_allclose(lower, upper, rtol=0, atol=1e-8)
            compared += 1
    assert compared >= 4


@pytest.mark.parametrize("theta", [0.0, 1.0, -2.5, 3.0, 5.5])
def test_arcs_just_short_of_a_whole_turn_sweep_the_whole_turn(theta):
    """A span whose computed ends lie a whole turn apart is the whole turn: the box,
    bboxes_wedge and both rasters are those of the annulus (up to rounding for exact)."""
    x, y, r_in, r_out = 0.3, -0.2, 1.0, 4.0
    params = (r_in, r_out, theta, BELOW_TWO_PI, theta, BELOW_TWO_PI)
    exact, centre, (x0, x1, y0, y1) = rasters(x, y, params)
    half = 0.7071067811865476
    assert (x0, x1, y0, y1) == (math.floor((x - r_out - half) + 0.5),
                                math.ceil((x + r_out + half) + 0.5),
                                math.floor((y - r_out - half) + 0.5),
                                math.ceil((y + r_out + half) + 0.5))
    assert [b[0] for b in native.bboxes_wedge(np.array([x]), np.array([y]), *params)] == \
        [x0, x1, y0, y1]
    box = (x0, y0, y1 - y0, x1 - x0)
    ring = np.array(native.weights_circ_ann_exact_one(x, y, r_in, r_out, *box))
    np.testing.assert_allclose(exact, ring.reshape(exact.shape), rtol=0, atol=1e-12)
    ring = native.weights_circ_ann_center_one(x, y, r_in, r_out, *box)
    assert centre.ravel().tolist() == ring


# --- centre cells and the outline's own turns ----------------------------------------

def clockwise_turns(ring, px, py):
    """Clockwise turns of the closed polygon `ring` (n x 2) about each point: crossings of
    the ray towards +x, half-open in y, one going down adding 1."""
    ax, ay = ring[:, 0][None], ring[:, 1][None]
    bx, by = np.roll(ring[:, 0], -1)[None], np.roll(ring[:, 1], -1)[None]
    turns = np.zeros(len(px), int)
    step = max(1, 4_000_000 // len(ring))
    for k in range(0, len(px), step):
        X, Y = px[k:k + step, None], py[k:k + step, None]
        up, down = (ay <= Y) & (by > Y), (by <= Y) & (ay > Y)
        with np.errstate(divide="ignore", invalid="ignore"):
            right = ax + (bx - ax) * (Y - ay) / (by - ay) > X
        turns[k:k + step] = (down & right).sum(1) - (up & right).sum(1)
    return turns


def assert_centres_follow_turns(x, y, params):
    """Centre cells clear of the outline are 1 where it turns clockwise about them at least
    once: inside a simple outline, and the parts' sum for one that crosses itself."""
    (centre,), x0, x1, y0, y1 = native.weights_wedge_center(np.array([x]), np.array([y]),
                                                            *params)
    px, py = (g.ravel() for g in np.meshgrid(np.arange(x0[0], x1[0], dtype=float),
                                             np.arange(y0[0], y1[0], dtype=float)))
    ring = np.asarray(outline(x, y, *params).exterior.coords)[:-1]
    clear = shapely.distance(shapely.LinearRing(ring), shapely.points(px, py)) > 1e-6
    turns = clockwise_turns(ring, px[clear], py[clear])
    assert np.array_equal(centre.ravel()[clear], (turns >= 1).astype(float))


@pytest.mark.parametrize("args, expected", [
    # Half annulus: the centre pixel lies in the hole.
    ((0, 0, 1, 5, -3 * PI / 4, PI, -3 * PI / 4, PI, 0, 0, 1, 1), [0.0]),
    # Pixels (0, -10) ... (0, -1), 0.4 to 4.4 px outside.
    ((0, 0, 5, 11, PI, PI / 2, PI, PI, 0, -10, 10, 1), [0.0] * 10),
    # The -x axis, on the ray through an arc end.
    ((0, 0, 6.0702, 20.6432, 3 * PI / 4, PI / 4, 3 * PI / 4, PI / 2, -20, 0, 1, 20),
     [0.0] * 20),
    # Quarter annulus: its centre, a centre on the inner arc, one on the outer arc.
    ((0, 0, 1, 2, 0, PI / 2, 0, PI / 2, 0, 0, 1, 3), [0.0, 1.0, 0.0]),
])
def test_known_centre_cells(args, expected):
    assert native.weights_wedge_center_one(*args) == expected


def _round_wedge(rng, radii, skewed):
    r_in, r_out = sorted(rng.choice(radii, 2, replace=False))
    th_in, dth_in = PI / 4 * rng.integers(-8, 9), PI / 4 * rng.integers(1, 8)
    th_out, dth_out = ((PI / 4 * rng.integers(-8, 9), PI / 4 * rng.integers(1, 8)) if skewed
                       else (th_in, dth_in))
    x, y = rng.integers(-2, 3, 2) + rng.choice([0.0, 0.5], 2)
    return float(x), float(y), (float(r_in), float(r_out), th_in, dth_in, th_out, dth_out)


@pytest.mark.parametrize("skewed", [False, True])
def test_round_wedges_follow_their_turns(skewed):
    """Angles and spans at multiples of pi/4 about integer and half-integer centres put
    pixel centres on the chords, on the rays through the arc ends and at the centre."""
    rng = np.random.default_rng(17 + skewed)
    for _ in range(40):
        assert_centres_follow_turns(*_round_wedge(rng, [0.5, 1.0, 2.0, 2.5, 3.0, 5.0, 6.0],
                                                  skewed))


def test_random_wedges_follow_their_turns():
    """Any spans and skews, the outline simple or crossing itself."""
    for _ in range(24):
        r_in = RNG.uniform(0.3, 4.0)
        th_in = RNG.uniform(-7.0, 7.0)
        params = (r_in, r_in + RNG.uniform(0.05, 3.0), th_in, RNG.uniform(1e-3, TWO_PI - 1e-9),
                  th_in + RNG.uniform(-4.0, 4.0), RNG.uniform(1e-3, TWO_PI - 1e-9))
        assert_centres_follow_turns(*RNG.uniform(-3.0, 3.0, 2), params)


def test_centres_on_the_arcs():
    """A centre on the inner arc belongs to a simple wedge, one on the outer arc does not
    (radii 5 and 10 put pixel centres exactly on both circles)."""
    rng = np.random.default_rng(29)
    seen = 0
    for k in range(60):
        x, y, params = _round_wedge(rng, [5.0, 10.0], k % 2 == 1)
        if not outline(x, y, *params, points=2000).is_valid:
            continue
        (centre,), x0, x1, y0, y1 = native.weights_wedge_center(np.array([x]), np.array([y]),
                                                                *params)
        px, py = np.meshgrid(np.arange(x0[0], x1[0], dtype=float),
                             np.arange(y0[0], y1[0], dtype=float))
        d2, phi = (px - x) ** 2 + (py - y) ** 2, np.arctan2(py - y, px - x)
        a0, _, b0, _ = _arc_ends(params)
        for r, start, span, value in ((5.0, a0, params[3], 1.0), (10.0, b0, params[5], 0.0)):
            # Strictly inside the sweep, so off the sides.
            on_arc = (d2 == r * r) & ((phi - start) % TWO_PI > 1e-9) & \
                ((phi - start) % TWO_PI < span - 1e-9)
            assert (centre[on_arc] == value).all()
            seen += int(on_arc.sum())
    assert seen > 100


def test_quarter_annulus_and_its_nudged_and_turned_twins():
    """The quarter annulus r 1 to 2 about the origin: its box, area and centre cells; the
    outer arc turned by 1e-15 gives the same exact cells bit for bit, by 1e-13 all but, and
    the same centre cells, those on the sides included (a side turned that little is the
    same side); turned by half a turn the outline crosses itself and the cells still
    follow its turns."""
    quarter = (1.0, 2.0, 0.0, PI / 2, 0.0, PI / 2)
    exact, centre, box = rasters(0.0, 0.0, quarter)
    assert box == (0, 4, -2, 3)
    assert math.fsum(exact.ravel()) == pytest.approx(3 * PI / 4, abs=1e-12)
    assert centre[2, :3].tolist() == [0.0, 1.0, 0.0]
    for nudge, tolerance in ((1e-15, 0.0), (1e-13, 1e-12)):
        twin = rasters(0.0, 0.0, (1.0, 2.0, 0.0, PI / 2, nudge, PI / 2))
        assert twin[2] == box and np.array_equal(twin[1], centre)
        assert np.abs(twin[0] - exact).max() <= tolerance
    turned = (1.0, 2.0, 0.0, PI / 2, PI, PI / 2)
    exact, _, _ = rasters(0.3, -0.2, turned)
    assert exact.min() >= 0.0 and exact.max() <= 1.0
    assert_centres_follow_turns(0.3, -0.2, turned)


def test_non_finite_overlaps_weigh_nothing_in_every_form():
    """Ellipse corners whose products overflow and circles of r >= 2**512 give cells of 0,
    and rasters, one-pixel sums and pixel counts weigh each such pixel alike."""
    assert native.weights_ellip_exact_one(1e300, 0, 3, 2, 0.4, 0, 0, 2, 2) == [0.0] * 4
    one = np.ones((1, 1))
    for x, y, a, b, theta in ((1e300, 0.0, 3.0, 2.0, 0.4), (0.1, 0.2, 1e-160, 2.0, 0.0),
                              (0.0, 0.3, 1e-200, 1e-200, 0.7), (0.2, 0.0, 1.0, 2.0, 0.3)):
        cell = native.weights_ellip_exact_one(x, y, a, b, theta, 0, 0, 1, 1)
        assert 0.0 <= cell[0] <= 1.0
        assert native.apsum_ellip_exact_one(one, x, y, a, b, theta) == (cell[0], cell[0])
        assert native.npix_ellip_exact(np.array([x]), np.array([y]), a, b, theta, 1, 1) == \
            [cell[0]]
    for x, y, r in ((0.0, 1e200, 1e200), (1e200, 0.0, 1e200), (0.0, 0.7, 1e300)):
        cell = native.weights_circ_exact_one(x, y, r, 0, 0, 1, 1)
        assert cell == native.npix_circ_exact(np.array([x]), np.array([y]), r, 1, 1)
        assert native.apsum_circ_exact_one(one, x, y, r) == (cell[0], cell[0])
        ring = native.weights_circ_ann_exact_one(x, y, r / 2, r, 0, 0, 1, 1)[0]
        assert 0.0 <= ring <= 1.0
    assert native.weights_circ_exact_one(0, 1e200, 1e200, 0, 0, 1, 1) == [0.0]


# --- centres on the sides: sectors share none, arc ends near the axes ----------------

def _sector_sum(x, y, r_in, r_out, sectors, box):
    return sum(np.array(native.weights_wedge_center_one(x, y, r_in, r_out, *s, *box))
               for s in sectors)


def _even_sectors(count, offset):
    width = TWO_PI / count
    return [((k + 0.5) * width + offset, width) * 2 for k in range(count)]


def test_sectors_add_up_to_their_annulus():
    """Sectors of an annulus (2 to 12 of them from any offset, or skewed alike so that
    neighbours share their side's ends) count every centre of the annulus once, inner arc
    in and outer arc out: integer, half-integer and random centres, and centres put on a
    shared side at radii up to 1e4."""
    rng = np.random.default_rng(41)
    tilings = 0
    for count in range(2, 13):
        for offset in (0.0, PI / 4, PI / 7, rng.uniform(-7.0, 7.0)):
            for x, y in ((100.0, 100.0), (0.5, -0.5), tuple(rng.uniform(-5.0, 5.0, 2))):
                for r_in, r_out in ((5.0, 15.0), (1.0, 2.5), (0.5, 3.0)):
                    m = math.ceil(r_out) + 2
                    box = (math.floor(x) - m, math.floor(y) - m, 2 * m + 1, 2 * m + 1)
                    ring = native.weights_circ_ann_center_one(x, y, r_in, r_out, *box)
                    total = _sector_sum(x, y, r_in, r_out, _even_sectors(count, offset), box)
                    assert total.tolist() == ring, (count, offset, x, y, r_in, r_out)
                    tilings += 1
    for _ in range(300):
        # Pixel (0, 0) on a side shared by two sectors, at a corner or between.
        count, offset = int(rng.integers(2, 13)), rng.uniform(-7.0, 7.0)
        r_in = 10 ** rng.uniform(0.0, 3.7)
        r_out = r_in * rng.uniform(1.05, 2.5)
        skew = rng.choice([0.0, rng.uniform(-0.9, 0.9) * math.acos(r_in / r_out)])
        cuts = np.sort(rng.uniform(0.0, TWO_PI, count)) + offset
        cuts = np.r_[cuts, cuts[0] + TWO_PI]
        sectors = [((a + b) / 2, b - a, (a + b) / 2 + skew, b - a)
                   for a, b in zip(cuts[:-1].tolist(), cuts[1:].tolist())]
        a = cuts[rng.integers(0, count)]
        at = rng.choice([0.0, 1.0, rng.uniform()])
        px = (1 - at) * r_in * math.cos(a) + at * r_out * math.cos(a + skew)
        py = (1 - at) * r_in * math.sin(a) + at * r_out * math.sin(a + skew)
        box = (-1, -1, 3, 3)
        ring = native.weights_circ_ann_center_one(-px, -py, r_in, r_out, *box)
        assert _sector_sum(-px, -py, r_in, r_out, sectors, box).tolist() == ring
        tilings += 1
    assert tilings == 696


def test_sides_and_corners_of_a_quarter_annulus():
    """About an integer centre: A0 and the start side belong to the wedge, A1, B0, B1 and
    the end side do not; so the turned quarter keeps (-2, 2) and drops (-2, -2).  A span a
    rounding short of a whole turn keeps both sides, which then coincide."""
    cells = lambda *a: native.weights_wedge_center_one(0, 0, 1, 5, *a)  # noqa: E731
    row = cells(PI / 4, PI / 2, PI / 4, PI / 2, 0, 0, 1, 6)   # O, A0, ..., B0 on y = 0
    column = cells(PI / 4, PI / 2, PI / 4, PI / 2, 0, 0, 6, 1)  # O, A1, ..., B1 on x = 0
    assert (row, column) == ([0.0, 1.0, 1.0, 1.0, 1.0, 0.0], [0.0] * 6)
    turned = (PI, PI / 2, PI, PI / 2)
    assert cells(*turned, -2, 2, 1, 1) + cells(*turned, -2, -2, 1, 1) == [1.0, 0.0]
    whole = (PI / 2 + 0.3, BELOW_TWO_PI) * 2
    assert cells(*whole, -6, -6, 13, 13) == \
        native.weights_circ_ann_center_one(0, 0, 1, 5, -6, -6, 13, 13)


def turns_by_argument(params, px, py):
    """Clockwise turns about the points (px, py) of the outline whose arcs end at the
    computed angles, from the change of the argument along it in extended precision (an
    arc seen from inside its disc turns the argument by its whole span mod 2 pi)."""
    L = np.longdouble
    r_in, r_out = L(params[0]), L(params[1])
    a0, a1, b0, b1 = (L(a) for a in _arc_ends(params))
    px, py = np.asarray(px, L), np.asarray(py, L)
    turn = 2 * np.arctan2(L(0), L(-1))
    arg = lambda r, a: np.arctan2(r * np.sin(a) - py, r * np.cos(a) - px)  # noqa: E731
    principal = lambda d: d - turn * np.floor(d / turn + L(0.5))  # noqa: E731

    def arc(r, start, end):
        change = arg(r, end) - arg(r, start)
        return np.where(px * px + py * py < r * r, np.mod(change, turn), principal(change))
    total = (arc(r_in, a0, a1) + principal(arg(r_out, b1) - arg(r_in, a1))
             - arc(r_out, b0, b1) + principal(arg(r_in, a0) - arg(r_out, b0)))
    return -np.rint(total / turn).astype(int)


def _distances(params, px, py):
    """Distances of the points from the arcs, from the end side and from the start side."""
    r_in, r_out = params[:2]
    a0, a1, b0, b1 = _arc_ends(params)
    rho, phi = np.hypot(px, py), np.arctan2(py, px)

    def arc(r, s, e):
        ends = np.minimum(np.hypot(px - r * math.cos(s), py - r * math.sin(s)),
                          np.hypot(px - r * math.cos(e), py - r * math.sin(e)))
        return np.where((phi - s) % TWO_PI <= _wrap(e - s), np.abs(rho - r), ends)

    def side(r1, t1, r2, t2):
        ax, ay, bx, by = r1 * math.cos(t1), r1 * math.sin(t1), r2 * math.cos(t2), r2 * math.sin(t2)
        t = np.clip(((px - ax) * (bx - ax) + (py - ay) * (by - ay))
                    / ((bx - ax) ** 2 + (by - ay) ** 2), 0.0, 1.0)
        return np.hypot(px - ax - t * (bx - ax), py - ay - t * (by - ay))
    return (np.minimum(arc(r_in, a0, a1), arc(r_out, b0, b1)), side(r_in, a1, r_out, b1),
            side(r_out, b0, r_in, a0))


def test_arc_ends_near_the_axes_follow_the_outline():
    """Arc ends 1e-12 to 1e-6 rad from an axis direction, at radii 1 to 1000, and pixel
    centres about the circles' axis points: clear of the outline by 1e-9 they follow its
    turns; on an arc (clear of the sides) they follow the point moved 1e-8 px outwards."""
    assert native.weights_wedge_center_one(0, 0, 5, 9, 1e-8, PI, 1e-8, PI, 0, -5, 1, 1) == \
        [0.0]
    assert native.weights_wedge_center_one(0, 0, 1000, 1100, -PI / 4 + 1e-9, PI / 2,
                                           -PI / 4 + 1e-9, PI / 2, 0, -1000, 1, 1) == [0.0]
    assert native.weights_wedge_center_one(0, 0, 5, 9, PI + 1e-8, PI, PI + 1e-8, PI, 0, -9,
                                           5, 1) == [0.0, 1.0, 1.0, 1.0, 1.0]
    rng = np.random.default_rng(43)
    clear = on_arc = 0
    for k in range(400):
        r_in = float(rng.choice([1, 2, 5, 10, 100, 999, 1000]))
        r_out = r_in + float(rng.choice([1, 4, 100]))
        near = k % 4 * (PI / 2) + rng.choice([-1, 1]) * 10 ** rng.uniform(-12, -6)
        span = float(rng.choice([PI / 2, PI, 2.5, 3 * PI / 2, rng.uniform(0.01, 6.27)]))
        other = float(rng.choice([span, rng.uniform(0.01, PI)]))
        # Which end lies near the axis: an inner one, or an outer one of a skewed wedge.
        th = [near + span / 2, near - span / 2, rng.uniform(-7, 7), rng.uniform(-7, 7)][k // 4 % 4]
        th_out = [th, th, near + other / 2, near - other / 2][k // 4 % 4]
        params = (r_in, r_out, th, span, th_out, span if k // 4 % 4 < 2 else other)
        px, py = np.array([(r * c + dx, r * s + dy) for r in (r_in, r_out)
                           for c, s in ((1, 0), (0, 1), (-1, 0), (0, -1))
                           for dx in (-1, 0, 1) for dy in (-1, 0, 1)], float).T
        cells = np.array([native.weights_wedge_center_one(0, 0, *params, int(a), int(b), 1, 1)[0]
                          for a, b in zip(px, py)])
        d_arc, d_end, d_start = _distances(params, px, py)
        d_side = np.minimum(d_end, d_start)
        ok = np.minimum(d_arc, d_side) > 1e-9
        assert np.array_equal(cells[ok], turns_by_argument(params, px[ok], py[ok]) >= 1)
        arcs = (d_side > 1e-7) & np.isin(px * px + py * py, [r_in * r_in, r_out * r_out])
        rho = np.hypot(px[arcs], py[arcs])
        moved = turns_by_argument(params, px[arcs] * (1 + 1e-8 / rho), py[arcs] * (1 + 1e-8 / rho))
        assert np.array_equal(cells[arcs], moved >= 1)
        clear, on_arc = clear + int(ok.sum()), on_arc + int(arcs.sum())
    assert clear > 20000 and on_arc > 1000


@pytest.mark.parametrize("skewed", [False, True])
def test_centres_on_the_sides_follow_the_stepped_point(skewed):
    """Round wedges about integer and half-integer centres, self-crossing ones included:
    a centre on one side (within 1e-10) takes the turns about the point moved 1e-6 px
    counter-clockwise about the wedge's centre and 1e-12 px away from it, wherever
    nothing else of the outline but that side's arcs comes within 1e-4."""
    rng = np.random.default_rng(47 + skewed)
    seen = 0
    for _ in range(250):
        x, y, params = _round_wedge(rng, [0.5, 1.0, 2.0, 2.5, 3.0, 5.0, 6.0, 10.0], skewed)
        (centre,), x0, x1, y0, y1 = native.weights_wedge_center(np.array([x]), np.array([y]),
                                                                *params)
        px, py = (g.ravel() - c for g, c in zip(np.meshgrid(
            np.arange(x0[0], x1[0], dtype=float), np.arange(y0[0], y1[0], dtype=float)), (x, y)))
        _, d_end, d_start = _distances(params, px, py)
        on = ((d_end <= 1e-10) & (d_start > 1e-4)) | ((d_start <= 1e-10) & (d_end > 1e-4))
        rho = np.hypot(px[on], py[on])
        ux = np.divide(px[on], rho, out=np.zeros_like(rho), where=rho > 0)
        uy = np.divide(py[on], rho, out=-np.ones_like(rho), where=rho > 0)
        stepped = turns_by_argument(params, px[on] - 1e-6 * uy + 1e-12 * ux,
                                    py[on] + 1e-6 * ux + 1e-12 * uy)
        assert np.array_equal(centre.ravel()[on], stepped >= 1)
        seen += int(on.sum())
    assert seen > 100
