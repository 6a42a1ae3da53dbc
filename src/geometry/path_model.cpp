// The path model: segments, contours and their signed areas, proper
// crossings of two segments, and building a validated path from its rows.
#include "geometry/path.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "fault.hpp"
#include "geometry/path_detail.hpp"

namespace quorvantel::geometry {

using namespace path_detail;

namespace {

bool lines_cross(const PathSeg& a, const PathSeg& b) {
    double t = 0.0;
    double u = 0.0;
    if (std::fabs(line_line_params(a, b, t, u)) < 1e-10) return false;
    return strictly_inside_range(t) && strictly_inside_range(u);
}

bool arcs_cross(const PathSeg& a, const PathSeg& b) {
    Point p[2];
    bool touch = false;
    const int n = circle_circle_points(a, b, p, &touch);
    if (touch) return false;
    for (int k = 0; k < n; ++k) {
        if (strictly_inside_range(arc_param_at(a, p[k])) &&
            strictly_inside_range(arc_param_at(b, p[k]))) {
            return true;
        }
    }
    return false;
}

// The piece of `s` between parameters from and to, with its end points.
PathSeg cut(const PathSeg& s, double from, double to, Point start, Point end) {
    if (s.kind == SegKind::Line) return PathSeg::line(start.x, start.y, end.x, end.y);
    return PathSeg::arc_between(s.cx, s.cy, s.r, s.theta0 + s.dtheta * from, s.dtheta * (to - from),
                                start, end);
}

// Gaps up to this long are rounding (an arc's start a few units in the last
// place off the current point); a crossing next to them is left in place.
constexpr double ROUNDING_GAP = 1e-10;

// How far from a segment the point a link comes back to may lie for a fold:
// rounding, and the last fractions of the boundary tolerance.
constexpr double FOLD_REACH = 1e-9;

// What rounding may leave in the terms of an arc's pieces: their swept
// angles carry the rounding of parameters near 1, some units of 1e-16.
double arc_rounding(const PathSeg& s) {
    return s.kind == SegKind::Arc ? 1e-15 * (s.r * s.r) * std::fabs(s.dtheta) : 0.0;
}

// Whether a loop of the given area and perimeter is a sliver no wider, on
// average, than `width`: twice its area, less what rounding may leave in
// it, at most width times its perimeter.
bool is_sliver(double area, double width, double perimeter, double rounding) {
    return 2.0 * std::fabs(area) - rounding <= width * perimeter;
}

enum class Junction { Clear, Crossing, Cut };

// Calls visit(ta, tb, p) for the points where the segments a and b meet
// (lines: their one meeting, if any); returns whether a and b only touch.
template <class Visit>
bool visit_meetings(const PathSeg& a, const PathSeg& b, Visit&& visit) {
    if (a.kind == SegKind::Line && b.kind == SegKind::Line) {
        double t = 0.0;
        double u = 0.0;
        if (line_line_params(a, b, t, u) != 0.0) visit(t, u, a.point_at(t));
        return false;
    }
    return for_each_meeting(a, b, [&](Point p, double ta, double tb) { visit(ta, tb, p); });
}

// Whether `a` and the segment `b` that follows it, directly or after the
// short line `*bridge`, cross anywhere but at their junction: a line and an
// arc, or two arcs, can meet twice, and an arc may start up to 1e-3 from
// where the segment before it ends.  The link between them is the bridge, if
// any, and the gap from there to b's start, closed by a straight side.  A
// crossing X of two pieces of the chain a, bridge, gap, b that are not
// neighbours on it (a and b; a and the gap, the bridge and b) belongs to the
// junction when the loop it closes (the first piece from X on, the pieces
// between, the second up to X) is a sliver no wider, on average, than the
// link is long: twice its area at most the link's length times its
// perimeter.  Two sides meeting through a gap at any angle cross in such a
// loop (a shallow angle makes it longer, not wider); an arc coming round a
// whole turn to cross its neighbour closes a loop as wide as its circle.
// The width has a floor of 1e-9 of the segments' size (at least 1e-9), for
// meetings next to a junction without a gap (sides meeting at a tangent
// within rounding).  Where a link longer than rounding is crossed so, the
// chain is cut back to the crossing that comes first along it (Cut; the
// loops after it go, and the bridge with them unless the crossing lies on
// it, in which case *bridge is cut and kept): the junction is the crossing.
Junction junction(PathSeg& a, PathSeg* bridge, PathSeg& b, bool& drop_bridge) {
    drop_bridge = false;
    const Point a_end = a.end();
    const Point link_end = bridge != nullptr ? bridge->end() : a_end;
    const PathSeg gap = PathSeg::line(link_end.x, link_end.y, b.x0, b.y0);
    const PathSeg* chain[4] = {&a, bridge, &gap, &b};
    double len[4];
    double size = 1.0;
    for (int k = 0; k < 4; ++k) {
        len[k] = chain[k] != nullptr ? seg_length(*chain[k]) : 0.0;
        if (k == 0 || k == 3) size = std::fmax(size, chain[k]->kind == SegKind::Arc ? chain[k]->r : len[k]);
    }
    const double link = len[1] + len[2];
    // Neighbours one of which is a short line meet as through a link that
    // long (a close row after an arc that ends off the first point adds one,
    // tangent to the arc or nearly so).
    double short_side = 0.0;
    for (int k : {0, 3}) {
        if (bridge == nullptr && chain[k]->kind == SegKind::Line && len[k] <= LINK_REACH) {
            short_side = std::fmax(short_side, len[k]);
        }
    }
    const double width = std::fmax(std::fmax(link, short_side), 1e-9 * size);
    // The crossing that comes first along the chain: pieces i < j, parameters.
    int first_i = 4;
    int first_j = 0;
    double first_ti = 2.0;
    double first_tj = 0.0;
    Point first_p{};
    bool crossing = false;
    // Pieces i < j of the chain that do more than touch.
    const auto look = [&](int i, int j) {
        const PathSeg& p = *chain[i];
        const PathSeg& q = *chain[j];
        struct Meeting {
            double ti, tj;
            Point x;
        } m[2];
        int n = 0;
        const bool touch = visit_meetings(p, q, [&](double ti, double tj, Point x) {
            if (strictly_inside_range(ti) && strictly_inside_range(tj)) m[n++] = {ti, tj, x};
        });
        for (int k = 0; k < n && !touch; ++k) {
            const auto [ti, tj, x] = m[k];
            double area = piece_term(p, ti, 1.0, x, p.end(), x) + piece_term(q, 0.0, tj, q.start(), x, x);
            double perimeter = (1.0 - ti) * len[i];
            for (int between = i + 1; between < j; ++between) {
                const PathSeg* s = chain[between];
                if (s == nullptr) continue;
                area += piece_term(*s, 0.0, 1.0, s->start(), s->end(), x);
                perimeter += len[between];
            }
            perimeter += tj * len[j];
            if (!is_sliver(area, width, perimeter, arc_rounding(p) + arc_rounding(q))) {
                crossing = true;
            } else if (i < first_i || (i == first_i && ti < first_ti)) {
                first_i = i;
                first_j = j;
                first_ti = ti;
                first_tj = tj;
                first_p = x;
            }
        }
    };
    if (a.kind == SegKind::Arc || b.kind == SegKind::Arc) look(0, 3);
    if (bridge != nullptr) {
        look(0, 2);
        look(1, 3);
    }
    if (crossing) return Junction::Crossing;
    if (first_i == 4 || !(link > ROUNDING_GAP)) return Junction::Clear;
    if (first_i == 0) {
        a = cut(a, 0.0, first_ti, a.start(), first_p);
        drop_bridge = bridge != nullptr;
    } else {
        *bridge = cut(*bridge, 0.0, first_ti, bridge->start(), first_p);
    }
    if (first_j == 3) b = cut(b, first_tj, 1.0, first_p, b.end());
    return Junction::Cut;
}

// Where the point q lies along s: the parameter of the nearest point of a
// line, or of q's angle on an arc's circle, and q's distance from that line
// or circle.
struct Along {
    double t, dist;
};

Along locate(const PathSeg& s, Point q) {
    if (s.kind == SegKind::Arc) {
        return {arc_param_at(s, q), std::fabs(std::hypot(q.x - s.cx, q.y - s.cy) - s.r)};
    }
    const double dx = s.x1 - s.x0;
    const double dy = s.y1 - s.y0;
    const double t = ((q.x - s.x0) * dx + (q.y - s.y0) * dy) / (dx * dx + dy * dy);
    return {t, std::fabs((q.x - s.x0) * dy - (q.y - s.y0) * dx) / std::hypot(dx, dy)};
}

// The way from one segment to the next (a gap, a short line, or both) runs
// back along one of them when the point it reaches lies on the other: a fold
// of no area, the outline doubling back on itself over the link's length.
// The points of the link, in contour order, are link[0..n-1].  `s` is the
// segment before the link (at_end) or after it; the point of s that the
// link comes back to is the link's last point (at_end) or its first.  It is
// a fold when that point lies within FOLD_REACH of s, inside it, and the loop
// of s's piece beyond it and the link is a sliver no wider, on average,
// than the link is long (as at a junction).  Gives the distance and sets *t
// to the point's parameter on s; a distance of infinity when it is no fold.
double fold_onto(const PathSeg& s, bool at_end, std::span<const Point> link, double& t) {
    const Point q = at_end ? link.back() : link.front();
    const Along on = locate(s, q);
    if (!(on.dist <= FOLD_REACH) || !strictly_inside_range(on.t)) return INFINITY;
    const Point p = s.point_at(on.t);
    double area = at_end ? piece_term(s, on.t, 1.0, p, s.end(), q) : piece_term(s, 0.0, on.t, s.start(), p, q);
    double link_len = 0.0;
    for (std::size_t k = 0; k + 1 < link.size(); ++k) {
        area += line_term(link[k], link[k + 1], q);
        link_len += std::hypot(link[k + 1].x - link[k].x, link[k + 1].y - link[k].y);
    }
    const double perimeter = (at_end ? 1.0 - on.t : on.t) * seg_length(s) + link_len;
    if (!is_sliver(area, link_len, perimeter, arc_rounding(s))) return INFINITY;
    t = on.t;
    return on.dist;
}

// Cuts s back to parameter t (at_end: s ends there; else s starts there).
// An arc ends (starts) at the point q itself, which lies across it from its
// point at t, so that the arc's terms run out to q straight and the arc
// meets the segment on q's side exactly; so does a line that q lies on
// within rounding.  A line that q lies farther off ends at its own point
// (turned to q it would sweep a sliver along its length), and a connector
// joins the two later.
void cut_at_fold(PathSeg& s, bool at_end, double t, Point q, double dist) {
    const Point p = s.kind == SegKind::Arc || dist <= ROUNDING_GAP ? q : s.point_at(t);
    s = at_end ? cut(s, 0.0, t, s.start(), p) : cut(s, t, 1.0, p, s.end());
}

// The longest line that is taken for a link when it folds back: a close row
// after arcs whose angles were typed rounded (1.571 for pi/2) can add a line
// somewhat longer than an arc's start may lie off.
constexpr double FOLD_LINE_REACH = 1e-2;

// Takes the folds out of a contour's links: at every gap between
// neighbours, and at every short line (a close row after a segment that ends
// past the first point adds one), where the link runs back along the segment
// before it or the one after it, that segment is cut back to where the link
// comes back to it, and a short line that is no longer needed goes.  Returns
// whether anything was cut.
bool cut_folds(std::vector<PathSeg>& segs) {
    bool any = false;
    bool changed = true;
    for (std::size_t round = 0; changed && round < 4 * segs.size() + 4; ++round) {
        changed = false;
        for (std::size_t i = 0; i < segs.size() && segs.size() > 2; ++i) {
            const std::size_t n = segs.size();
            PathSeg& a = segs[i];
            PathSeg& b = segs[(i + 1) % n];
            PathSeg& c = segs[(i + 2) % n];
            double ta = 0.0;
            double tc = 0.0;
            if (b.kind == SegKind::Line && seg_length(b) <= FOLD_LINE_REACH) {
                // The link is the short line b, with any gap either side of it.
                Point link[4];
                std::size_t m = 0;
                link[m++] = a.end();
                if (a.x1 != b.x0 || a.y1 != b.y0) link[m++] = b.start();
                link[m++] = b.end();
                const std::size_t to_b_end = m;
                if (c.x0 != b.x1 || c.y0 != b.y1) link[m++] = c.start();
                const double on_a = fold_onto(a, true, std::span<const Point>(link, to_b_end), ta);
                const double on_c = fold_onto(c, false, std::span<const Point>(link, m), tc);
                if (on_a != INFINITY || on_c != INFINITY) {
                    if (on_a <= on_c) {
                        cut_at_fold(a, true, ta, b.end(), on_a);
                    } else {
                        cut_at_fold(c, false, tc, a.end(), on_c);
                    }
                    segs.erase(segs.begin() + static_cast<std::ptrdiff_t>((i + 1) % n));
                    changed = true;
                    continue;
                }
            }
            if (a.x1 == b.x0 && a.y1 == b.y0) continue;
            const Point link[2] = {a.end(), b.start()};
            const double on_a = fold_onto(a, true, link, ta);
            const double on_b = fold_onto(b, false, link, tc);
            if (on_a == INFINITY && on_b == INFINITY) continue;
            if (on_a <= on_b) {
                cut_at_fold(a, true, ta, link[1], on_a);
            } else {
                cut_at_fold(b, false, tc, link[0], on_b);
            }
            changed = true;
        }
        any = any || changed;
    }
    return any;
}

// The signed area of a contour whose gaps (an arc's start off the current
// point) are closed by straight sides: the sides it is drawn with alone may
// give a thin contour far from the origin an area of the wrong sign, the
// gaps' own terms growing with that distance.
double closed_signed_area(std::span<const PathSeg> segs) {
    double sum = contour_signed_area(segs);
    for (std::size_t i = 0; i < segs.size(); ++i) {
        const Point p = segs[i].end();
        const Point q = segs[i + 1 == segs.size() ? 0 : i + 1].start();
        if (p.x != q.x || p.y != q.y) sum += line_term(p, q, Point{0.0, 0.0});
    }
    return sum;
}

// Junctions of a contour's neighbours, then of the segments either side of
// a line no longer than an arc's start may lie off (a close row ending a
// gapped arc adds one).  Returns false on a crossing.
bool cut_junctions(PathContour& c) {
    std::vector<PathSeg>& segs = c.segs;
    bool cut_any = cut_folds(segs);
    bool drop = false;
    for (std::size_t i = 0; i < segs.size(); ++i) {
        const Junction j = junction(segs[i], nullptr, segs[(i + 1) % segs.size()], drop);
        if (j == Junction::Crossing) return false;
        cut_any = cut_any || j == Junction::Cut;
    }
    for (std::size_t i = 0; segs.size() > 3 && i < segs.size(); ++i) {
        const std::size_t mid = (i + 1) % segs.size();
        const std::size_t next = (i + 2) % segs.size();
        if (segs[mid].kind != SegKind::Line || !(seg_length(segs[mid]) <= LINK_REACH)) continue;
        const Junction j = junction(segs[i], &segs[mid], segs[next], drop);
        if (j == Junction::Crossing) return false;
        if (drop) segs.erase(segs.begin() + static_cast<std::ptrdiff_t>(mid));
        cut_any = cut_any || j == Junction::Cut;
    }
    if (cut_any) c.signed_area = closed_signed_area(c.segs);
    return true;
}

// The length along which two segments of a contour lie on each other and
// run the same way: arcs on one circle (centres and radii within FOLD_REACH)
// swept in the same sense, or lines on one line (each end of b within
// FOLD_REACH of a's line) pointing the same way.  An outline that runs twice
// the same way over a piece winds twice round the area beside it; one that
// comes back the other way (a spike, two loops meeting along a side) only
// touches itself.  0 for anything else.
double same_way_overlap(const PathSeg& a, const PathSeg& b) {
    if (a.kind != b.kind) return 0.0;
    if (a.kind == SegKind::Line) {
        const Along s = locate(a, b.start());
        const Along e = locate(a, b.end());
        if (!(s.dist <= FOLD_REACH && e.dist <= FOLD_REACH) || !(e.t > s.t)) return 0.0;
        return std::fmax(0.0, std::fmin(1.0, e.t) - std::fmax(0.0, s.t)) * seg_length(a);
    }
    if (!(std::hypot(b.cx - a.cx, b.cy - a.cy) + std::fabs(b.r - a.r) <= FOLD_REACH) ||
        (a.dtheta > 0.0) != (b.dtheta > 0.0)) {
        return 0.0;
    }
    // Both swept counter-clockwise: a over [0, wa] from its low end, b over
    // [d, d + wb], once more a turn lower.
    const double wa = std::fabs(a.dtheta);
    const double wb = std::fabs(b.dtheta);
    const double lo_a = a.dtheta > 0.0 ? a.theta0 : a.theta0 + a.dtheta;
    const double lo_b = b.dtheta > 0.0 ? b.theta0 : b.theta0 + b.dtheta;
    double d = std::fmod(lo_b - lo_a, PATH_TWO_PI);
    if (d < 0.0) d += PATH_TWO_PI;
    const double over = std::fmax(0.0, std::fmin(wa, d + wb) - d) +
                        std::fmax(0.0, std::fmin(wa, d + wb - PATH_TWO_PI));
    return over * a.r;
}

// The length of the link from segment i of a contour to segment j and back,
// where one follows the other through a gap or through a line no longer than
// FOLD_LINE_REACH (with the gaps either side of it): a fold there that was
// left in place (its loop too small to measure) keeps the two on each other
// over about that length.  0 for segments that are not linked so.
double link_between(std::span<const PathSeg> segs, std::size_t i, std::size_t j) {
    const std::size_t m = segs.size();
    const auto gap = [](const PathSeg& p, const PathSeg& q) { return std::hypot(q.x0 - p.x1, q.y0 - p.y1); };
    double len = 0.0;
    for (const auto [from, to] : {std::pair{i, j}, std::pair{j, i}}) {
        const PathSeg& p = segs[from];
        const PathSeg& q = segs[to];
        const PathSeg& mid = segs[(from + 1) % m];
        if ((from + 1) % m == to) {
            len += gap(p, q);
        } else if ((from + 2) % m == to && mid.kind == SegKind::Line && seg_length(mid) <= FOLD_LINE_REACH) {
            len += gap(p, mid) + seg_length(mid) + gap(mid, q);
        }
    }
    return len;
}

// Whether segments i and j of a contour run over each other the same way
// along more than rounding leaves, beyond twice the link between them: a
// fold cut back (cut_folds) may keep a piece up to PATH_TOL of a segment's
// length.
bool runs_over(std::span<const PathSeg> segs, std::size_t i, std::size_t j) {
    const PathSeg& a = segs[i];
    const PathSeg& b = segs[j];
    if (a.kind != b.kind || a.hi_x + FOLD_REACH < b.lo_x || b.hi_x + FOLD_REACH < a.lo_x ||
        a.hi_y + FOLD_REACH < b.lo_y || b.hi_y + FOLD_REACH < a.lo_y) {
        return false;
    }
    const double over = same_way_overlap(a, b);
    if (!(over > FOLD_REACH)) return false;
    const double reach = std::fmax(FOLD_REACH, 10.0 * PATH_TOL * std::fmax(seg_length(a), seg_length(b)));
    return over > reach + 2.0 * link_between(segs, i, j);
}

// The point at which a hole segment is tested for lying inside the outer
// contour: its midpoint, or, when that lies on the outer outline (a hole
// touching it there), the first of its quarter and eighth points that does
// not.  A segment lying along the outline all through keeps its midpoint.
Point containment_probe(const PathSeg& s, const PathContour& outer) {
    static constexpr double TRIES[] = {0.5, 0.25, 0.75, 0.125, 0.375, 0.625, 0.875};
    for (double t : TRIES) {
        const Point p = s.point_at(t);
        if (!on_contour(outer, p.x, p.y)) return p;
    }
    return s.point_at(0.5);
}

bool extents_meet(const PathContour& a, const PathContour& b) {
    return !(a.max_x < b.min_x || b.max_x < a.min_x || a.max_y < b.min_y || b.max_y < a.min_y);
}

}  // namespace

namespace path_detail {

void widen(double& lo, double& hi, double v) {
    lo = std::fmin(lo, v);
    hi = std::fmax(hi, v);
}

void fill_extent(PathSeg& s) {
    static constexpr double CARDINAL[4] = {0.0, 1.5707963267948966, 3.141592653589793,
                                           4.71238898038469};
    s.lo_x = s.hi_x = s.x0;
    s.lo_y = s.hi_y = s.y0;
    widen(s.lo_x, s.hi_x, s.x1);
    widen(s.lo_y, s.hi_y, s.y1);
    if (s.kind != SegKind::Arc) return;
    for (double phi : CARDINAL) {
        const double t = s.param_of_angle(phi);
        if (t > 0.0 && t < 1.0) {
            widen(s.lo_x, s.hi_x, s.cx + s.r * std::cos(phi));
            widen(s.lo_y, s.hi_y, s.cy + s.r * std::sin(phi));
        }
    }
}

void fill_extent(PathContour& c) {
    c.min_x = c.min_y = INFINITY;
    c.max_x = c.max_y = -INFINITY;
    for (const PathSeg& s : c.segs) {
        widen(c.min_x, c.max_x, s.lo_x);
        widen(c.min_x, c.max_x, s.hi_x);
        widen(c.min_y, c.max_y, s.lo_y);
        widen(c.min_y, c.max_y, s.hi_y);
    }
}

// Joins every pair of consecutive segments that do not meet exactly (an arc
// starting up to 1e-3 from the current point, a contour closing within
// 1e-10 of its first point) with a connector line, so that ray crossings
// see one junction there.
void join_gaps(PathContour& c) {
    std::vector<PathSeg> joined;
    joined.reserve(c.segs.size() + 4);
    bool any = false;
    const std::size_t n = c.segs.size();
    for (std::size_t i = 0; i < n; ++i) {
        const PathSeg& s = c.segs[i];
        const PathSeg& next = c.segs[i + 1 == n ? 0 : i + 1];
        joined.push_back(s);
        if (s.x1 != next.x0 || s.y1 != next.y0) {
            joined.push_back(PathSeg::line(s.x1, s.y1, next.x0, next.y0));
            any = true;
        }
    }
    if (!any) return;
    c.segs = std::move(joined);
    c.signed_area = contour_signed_area(c.segs);
}

}  // namespace path_detail

// ---------------------------------------------------------------------------
// Segments

PathSeg PathSeg::line(double x0, double y0, double x1, double y1) {
    PathSeg s{SegKind::Line, x0, y0, x1, y1, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    fill_extent(s);
    return s;
}

PathSeg PathSeg::arc(double cx, double cy, double r, double theta0, double dtheta) {
    const double t1 = theta0 + dtheta;
    PathSeg s{SegKind::Arc, cx + r * std::cos(theta0), cy + r * std::sin(theta0),
              cx + r * std::cos(t1), cy + r * std::sin(t1), cx, cy, r, theta0, dtheta,
              0.0, 0.0, 0.0, 0.0};
    fill_extent(s);
    return s;
}

PathSeg PathSeg::arc_between(double cx, double cy, double r, double theta0, double dtheta,
                             Point start, Point end) {
    PathSeg s{SegKind::Arc, start.x, start.y, end.x, end.y, cx, cy, r, theta0, dtheta,
              0.0, 0.0, 0.0, 0.0};
    fill_extent(s);
    return s;
}

Point PathSeg::point_at(double t) const {
    if (t == 0.0) return start();
    if (t == 1.0) return end();
    if (kind == SegKind::Line) return {x0 + t * (x1 - x0), y0 + t * (y1 - y0)};
    const double phi = theta0 + dtheta * t;
    return {cx + r * std::cos(phi), cy + r * std::sin(phi)};
}

double PathSeg::param_of_angle(double phi) const {
    double u = std::fmod(phi - theta0, PATH_TWO_PI);
    if (u < 0.0) u = u + PATH_TWO_PI;
    if (dtheta > 0.0) return u / dtheta;
    if (u > 1e-10) u = u - PATH_TWO_PI;
    return u / dtheta;
}

PathSeg PathSeg::reversed() const {
    PathSeg s = *this;
    std::swap(s.x0, s.x1);
    std::swap(s.y0, s.y1);
    if (kind == SegKind::Arc) {
        s.theta0 = theta0 + dtheta;
        s.dtheta = -dtheta;
        fill_extent(s);
    }
    return s;
}


// ---------------------------------------------------------------------------
// Contours and validation

double contour_signed_area(std::span<const PathSeg> segs) {
    double sum = 0.0;
    for (const PathSeg& s : segs) {
        if (s.kind == SegKind::Line) {
            sum += 0.5 * (s.x0 * s.y1 - s.x1 * s.y0);
        } else {
            sum += 0.5 * ((s.cx * (s.y1 - s.y0) - s.cy * (s.x1 - s.x0)) + (s.r * s.r) * s.dtheta);
        }
    }
    return sum;
}

bool line_arc_intersect(const PathSeg& arc, double x0, double y0, double x1, double y1) {
    double t[2];
    bool touch = false;
    const int n = line_circle_roots(x0, y0, x1, y1, arc.cx, arc.cy, arc.r, t, &touch);
    if (touch) return false;
    for (int k = 0; k < n; ++k) {
        if (!strictly_inside_range(t[k])) continue;
        const double rx = (x0 + (x1 - x0) * t[k]) - arc.cx;
        const double ry = (y0 + (y1 - y0) * t[k]) - arc.cy;
        if (strictly_inside_range(arc.param_of_angle(std::atan2(ry, rx)))) return true;
    }
    return false;
}

bool segs_properly_intersect(const PathSeg& a, const PathSeg& b) {
    if (a.kind == SegKind::Line && b.kind == SegKind::Line) return lines_cross(a, b);
    if (a.kind == SegKind::Arc && b.kind == SegKind::Arc) return arcs_cross(a, b);
    const PathSeg& arc = a.kind == SegKind::Arc ? a : b;
    const PathSeg& line = a.kind == SegKind::Arc ? b : a;
    return line_arc_intersect(arc, line.x0, line.y0, line.x1, line.y1);
}

PathContour make_contour(std::vector<PathSeg> segs) {
    PathContour c;
    c.segs = std::move(segs);
    c.signed_area = contour_signed_area(c.segs);
    fill_extent(c);
    return c;
}

PathBuild build_validated_path(std::span<const std::int8_t> kinds, std::span<const PathRow> rows) {
    const std::size_t n = kinds.size();
    if (n == 0) return std::string("path must have at least one segment");
    if (rows.size() != n) return std::string("kinds and data must have the same length");
    if (kinds[0] != 0) return std::string("path must start with a move command");

    ValidatedPath path;
    std::size_t first = 0;
    while (first < n) {
        std::size_t last = first + 1;  // one past the contour's last row
        while (last < n && kinds[last] != 0) ++last;
        if (kinds[last - 1] != 3) return std::string("contour must end with close");
        const double mx = rows[first][0];
        const double my = rows[first][1];
        if (!std::isfinite(mx) || !std::isfinite(my)) return std::string("move point must be finite");

        std::vector<PathSeg> segs;
        double cur_x = mx;
        double cur_y = my;
        for (std::size_t k = first + 1; k < last; ++k) {
            const PathRow& row = rows[k];
            const int code = kinds[k];
            if (code == 1) {
                const double ex = row[0];
                const double ey = row[1];
                if (!std::isfinite(ex) || !std::isfinite(ey)) {
                    return std::string("line endpoint must be finite");
                }
                const double dx = ex - cur_x;
                const double dy = ey - cur_y;
                if (dx * dx + dy * dy < 1e-20) return std::string("zero-length line segment");
                segs.push_back(PathSeg::line(cur_x, cur_y, ex, ey));
                cur_x = ex;
                cur_y = ey;
            } else if (code == 2) {
                for (int c = 0; c < 5; ++c) {
                    if (!std::isfinite(row[c])) return std::string("arc parameters must be finite");
                }
                const double r = row[2];
                const double dtheta = row[4];
                if (!(r > 0.0)) return std::string("arc radius must be positive");
                if (dtheta == 0.0 || std::fabs(dtheta) >= PATH_TWO_PI) {
                    return std::string("arc |dtheta| must be in (0, 2\u03c0)");
                }
                const PathSeg arc = PathSeg::arc(row[0], row[1], r, row[3], dtheta);
                const double gx = arc.x0 - cur_x;
                const double gy = arc.y0 - cur_y;
                // A gap that is not a number (a start out of range) does not connect either.
                if (!(gx * gx + gy * gy <= 1e-6)) {
                    return std::string("arc start does not connect to current point");
                }
                segs.push_back(arc);
                cur_x = arc.x1;
                cur_y = arc.y1;
            } else if (code == 3) {
                const double dx = mx - cur_x;
                const double dy = my - cur_y;
                if (dx * dx + dy * dy > 1e-20) segs.push_back(PathSeg::line(cur_x, cur_y, mx, my));
                break;
            } else {
                return "unknown segment kind: " + std::to_string(code);
            }
        }
        if (segs.size() < 3) return std::string("contour must have at least 3 edges");
        PathContour contour;
        contour.signed_area = closed_signed_area(segs);
        contour.segs = std::move(segs);
        path.push_back(std::move(contour));
        first = last;
    }

    for (std::size_t ci = 0; ci < path.size(); ++ci) {
        PathContour& c = path[ci];
        if (ci == 0 ? c.signed_area < 0.0 : c.signed_area > 0.0) {
            std::reverse(c.segs.begin(), c.segs.end());
            for (PathSeg& s : c.segs) s = s.reversed();
            c.signed_area = -c.signed_area;
        }
        // Neighbours meet at their junction; they may still cross elsewhere.
        if (!cut_junctions(c)) return std::string("self-intersecting path contour");
        // Neighbours meet, and do not cross; any two may still lie on each
        // other the same way, as a last arc running on past the first point
        // along the first arc.
        const std::size_t m = c.segs.size();
        for (std::size_t i = 0; i < m; ++i) {
            for (std::size_t j = i + 1; j < m; ++j) {
                const bool neighbours = j == i + 1 || (i == 0 && j == m - 1);
                if ((!neighbours && segs_properly_intersect(c.segs[i], c.segs[j])) ||
                    runs_over(c.segs, i, j)) {
                    return std::string("self-intersecting path contour");
                }
            }
        }
    }

    if (std::fabs(path[0].signed_area) < 1e-10) return std::string("outer contour has zero area");

    // Holes are tested against the outer contour with its junctions joined,
    // so that a probe level with a junction sees it once.
    PathContour outer = path[0];
    join_gaps(outer);

    for (std::size_t hi = 1; hi < path.size(); ++hi) {
        const PathContour& hole = path[hi];
        for (const PathSeg& s : hole.segs) {
            const Point probe = containment_probe(s, outer);
            if (contour_winding(outer, probe.x, probe.y) == 0) {
                return std::string("hole is not contained within the outer contour");
            }
        }
        for (const PathSeg& o : path[0].segs) {
            for (const PathSeg& s : hole.segs) {
                if (segs_properly_intersect(o, s)) {
                    return std::string("outer contour and hole contour intersect");
                }
            }
        }
    }

    path[0] = std::move(outer);
    for (std::size_t ci = 0; ci < path.size(); ++ci) {
        if (ci > 0) join_gaps(path[ci]);
        fill_extent(path[ci]);
    }
    for (std::size_t i = 1; i < path.size(); ++i) {
        for (std::size_t j = i + 1; j < path.size(); ++j) {
            if (extents_meet(path[i], path[j])) {
                path[i].meets_hole = true;
                path[j].meets_hole = true;
            }
        }
    }
    return path;
}

}  // namespace quorvantel::geometry
