// Path model, validation, ray crossings, point-in-path, path-pixel area and
// the path box.
#include "geometry/path.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "fault.hpp"

namespace quorvantel::geometry {

namespace {

bool strictly_inside_range(double t) { return t > PATH_T_LO && t < PATH_T_HI; }

// A growing list of parameters in [0, 1]; short lists stay on the stack.
class ParamList {
public:
    ParamList() { push(0.0); push(1.0); }
    void push(double v) {
        if (!on_heap_ && n_ < INLINE) {
            inline_[n_++] = v;
            return;
        }
        if (!on_heap_) {
            heap_.assign(inline_, inline_ + n_);
            on_heap_ = true;
        }
        heap_.push_back(v);
        ++n_;
    }
    void push_if_inside(double v) {
        if (strictly_inside_range(v)) push(v);
    }
    // Ascending, then every entry closer than 1e-10 to the last one kept is
    // dropped (the first of a run of near-equal entries stays).
    void sort_and_thin() {
        double* v = on_heap_ ? heap_.data() : inline_;
        std::sort(v, v + n_);
        std::size_t kept = 1;
        for (std::size_t k = 1; k < n_; ++k) {
            if (v[k] - v[kept - 1] < PATH_TOL) continue;
            v[kept++] = v[k];
        }
        n_ = kept;
        if (on_heap_) heap_.resize(n_);
    }
    std::size_t size() const { return n_; }
    double operator[](std::size_t k) const { return on_heap_ ? heap_[k] : inline_[k]; }

private:
    static constexpr std::size_t INLINE = 24;
    double inline_[INLINE];
    std::vector<double> heap_;
    std::size_t n_ = 0;
    bool on_heap_ = false;
};

// ---------------------------------------------------------------------------
// Where a line meets a circle, and where two circles meet.

// Parameters t along (x0, y0) -> (x1, y1) where the line meets the circle;
// none when the line is shorter than 1e-10 or only touches the circle.
int line_circle_roots(double x0, double y0, double x1, double y1, double cx, double cy, double r,
                      double (&t)[2]) {
    const double dx = x1 - x0;
    const double dy = y1 - y0;
    const double qa = dx * dx + dy * dy;
    if (qa < 1e-20) return 0;
    const double fx = x0 - cx;
    const double fy = y0 - cy;
    const double qb = 2.0 * (dx * fx + dy * fy);
    const double qc = (fx * fx + fy * fy) - r * r;
    const double disc = qb * qb - (4.0 * qa) * qc;
    if (!(disc > 0.0)) return 0;  // a tangent line touches, it does not cross
    const double s = std::sqrt(disc);
    t[0] = (-qb - s) / (2.0 * qa);
    t[1] = (s - qb) / (2.0 * qa);
    return 2;
}

// The points where the circles of two arcs meet; none for concentric
// circles, circles apart or nested, or circles that only touch.
int circle_circle_points(const PathSeg& a, const PathSeg& b, Point (&p)[2]) {
    const double dx = b.cx - a.cx;
    const double dy = b.cy - a.cy;
    const double d2 = dx * dx + dy * dy;
    const double d = std::sqrt(d2);
    if (d < 1e-10) return 0;
    if (d > a.r + b.r + 1e-10) return 0;
    if (d < std::fabs(a.r - b.r) - 1e-10) return 0;
    const double m = (d2 + a.r * a.r - b.r * b.r) / (2.0 * d);
    const double h2 = a.r * a.r - m * m;
    if (!(h2 > 0.0)) return 0;  // touching circles do not cross
    const double h = std::sqrt(h2);
    const double px = a.cx + (m / d) * dx;
    const double py = a.cy + (m / d) * dy;
    p[0] = Point{px + (dy * h) / d, py - (dx * h) / d};
    p[1] = Point{px - (dy * h) / d, py + (dx * h) / d};
    return 2;
}

double arc_param_at(const PathSeg& arc, Point p) {
    return arc.param_of_angle(std::atan2(p.y - arc.cy, p.x - arc.cx));
}

bool lines_cross(const PathSeg& a, const PathSeg& b) {
    const double ax = a.x1 - a.x0;
    const double ay = a.y1 - a.y0;
    const double bx = b.x1 - b.x0;
    const double by = b.y1 - b.y0;
    const double den = ax * by - ay * bx;
    if (std::fabs(den) < 1e-10) return false;
    const double ex = b.x0 - a.x0;
    const double ey = b.y0 - a.y0;
    const double t = (ex * by - ey * bx) / den;
    const double u = (ex * ay - ey * ax) / den;
    return strictly_inside_range(t) && strictly_inside_range(u);
}

bool arcs_cross(const PathSeg& a, const PathSeg& b) {
    Point p[2];
    const int n = circle_circle_points(a, b, p);
    for (int k = 0; k < n; ++k) {
        if (strictly_inside_range(arc_param_at(a, p[k])) &&
            strictly_inside_range(arc_param_at(b, p[k]))) {
            return true;
        }
    }
    return false;
}

// Calls visit(p, ta, tb) for every point p where the circles or lines of a
// and b (not both lines) meet, with p's parameters on a and on b.
template <class Visit>
void for_each_meeting(const PathSeg& a, const PathSeg& b, Visit&& visit) {
    if (a.kind == SegKind::Arc && b.kind == SegKind::Arc) {
        Point p[2];
        const int n = circle_circle_points(a, b, p);
        for (int k = 0; k < n; ++k) visit(p[k], arc_param_at(a, p[k]), arc_param_at(b, p[k]));
        return;
    }
    const bool a_line = a.kind == SegKind::Line;
    const PathSeg& line = a_line ? a : b;
    const PathSeg& arc = a_line ? b : a;
    double t[2];
    const int n = line_circle_roots(line.x0, line.y0, line.x1, line.y1, arc.cx, arc.cy, arc.r, t);
    for (int k = 0; k < n; ++k) {
        const Point p = line.point_at(t[k]);
        const double on_arc = arc_param_at(arc, p);
        if (a_line) {
            visit(p, t[k], on_arc);
        } else {
            visit(p, on_arc, t[k]);
        }
    }
}

// Whether `a` and the segment `b` that follows it cross somewhere other than
// at their junction: a line and an arc, or two arcs, can meet twice.  Points
// within 1e-6 of the segments' size from the junction are taken for the
// junction itself, so that tangent joins (a rounded corner) do not count.
bool neighbours_cross(const PathSeg& a, const PathSeg& b) {
    if (a.kind == SegKind::Line && b.kind == SegKind::Line) return false;
    double size = 1.0;
    for (const PathSeg* s : {&a, &b}) {
        size = std::fmax(size, s->kind == SegKind::Arc ? s->r
                                                       : std::hypot(s->x1 - s->x0, s->y1 - s->y0));
    }
    bool cross = false;
    for_each_meeting(a, b, [&](Point p, double ta, double tb) {
        cross = cross || (std::hypot(p.x - b.x0, p.y - b.y0) > 1e-6 * size &&
                          strictly_inside_range(ta) && strictly_inside_range(tb));
    });
    return cross;
}

// Parameters on `a` where it meets `b` anywhere on b (b's ends included),
// used to cut overlapping holes where their boundaries meet.
void meeting_params(const PathSeg& a, const PathSeg& b, ParamList& out) {
    const auto on_b = [](double u) { return u >= -PATH_TOL && u <= 1.0 + PATH_TOL; };
    if (a.kind == SegKind::Line && b.kind == SegKind::Line) {
        const double ax = a.x1 - a.x0;
        const double ay = a.y1 - a.y0;
        const double bx = b.x1 - b.x0;
        const double by = b.y1 - b.y0;
        const double den = ax * by - ay * bx;
        if (den == 0.0) return;
        const double ex = b.x0 - a.x0;
        const double ey = b.y0 - a.y0;
        const double u = (ex * ay - ey * ax) / den;
        if (on_b(u)) out.push_if_inside((ex * by - ey * bx) / den);
        return;
    }
    for_each_meeting(a, b, [&](Point, double ta, double tb) {
        if (on_b(tb)) out.push_if_inside(ta);
    });
}

// ---------------------------------------------------------------------------
// Contour helpers

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

bool extents_meet(const PathContour& a, const PathContour& b) {
    return !(a.max_x < b.min_x || b.max_x < a.min_x || a.max_y < b.min_y || b.max_y < a.min_y);
}

bool extent_near(const PathContour& c, double x, double y, double margin) {
    return x >= c.min_x - margin && x <= c.max_x + margin && y >= c.min_y - margin &&
           y <= c.max_y + margin;
}

int contour_winding(const PathContour& c, double px, double py) {
    int w = 0;
    for (const PathSeg& s : c.segs) w += s.winding_contribution(px, py);
    return w;
}

bool on_contour(const PathContour& c, double px, double py) {
    for (const PathSeg& s : c.segs) {
        if (s.contains_on_boundary(px, py)) return true;
    }
    return false;
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

// ---------------------------------------------------------------------------
// Path-pixel area

struct Pixel {
    double xl, xh, yl, yh;
};

// Margin beyond which a segment's extent cannot reach a pixel's terms.
constexpr double REACH = 1e-9;

bool seg_reaches(const PathSeg& s, const Pixel& px) {
    if (s.hi_x < px.xl - REACH || s.lo_x > px.xh + REACH || s.hi_y < px.yl - REACH ||
        s.lo_y > px.yh + REACH) {
        return false;
    }
    if (s.kind == SegKind::Line) return true;
    // An arc's circle passes the pixel when the pixel lies wholly inside or
    // wholly outside the circle.
    const double near_x = std::fmax(std::fmax(px.xl - s.cx, s.cx - px.xh), 0.0);
    const double near_y = std::fmax(std::fmax(px.yl - s.cy, s.cy - px.yh), 0.0);
    const double far_x = std::fmax(std::fabs(px.xl - s.cx), std::fabs(px.xh - s.cx));
    const double far_y = std::fmax(std::fabs(px.yl - s.cy), std::fabs(px.yh - s.cy));
    const double outer = s.r + REACH;
    const double inner = s.r - REACH;
    if (near_x * near_x + near_y * near_y > outer * outer) return false;
    return !(inner > 0.0 && far_x * far_x + far_y * far_y < inner * inner);
}

bool along_pixel_edge(const PathSeg& s, const Pixel& px) {
    if (s.kind != SegKind::Line) return false;
    const auto level = [](double a, double b, double at) {
        return std::fabs(a - at) <= PATH_TOL && std::fabs(b - at) <= PATH_TOL;
    };
    return level(s.y0, s.y1, px.yl) || level(s.y0, s.y1, px.yh) || level(s.x0, s.x1, px.xl) ||
           level(s.x0, s.x1, px.xh);
}

// Green's-theorem term of the piece of `s` between parameters ta and tb.
double piece_term(const PathSeg& s, double ta, double tb, Point a, Point b) {
    if (s.kind == SegKind::Line) return 0.5 * (a.x * b.y - a.y * b.x);
    return 0.5 * ((s.cx * (b.y - a.y) - s.cy * (b.x - a.x)) + ((s.r * s.r) * s.dtheta) * (tb - ta));
}

// The direction in which a segment runs at its point p.
Point tangent_at(const PathSeg& s, Point p) {
    if (s.kind == SegKind::Line) return {s.x1 - s.x0, s.y1 - s.y0};
    const double phi = std::atan2(p.y - s.cy, p.x - s.cx);
    const double turn = s.dtheta > 0.0 ? 1.0 : -1.0;
    return {-std::sin(phi) * turn, std::cos(phi) * turn};
}

// Whether the piece of hole `ci` from a to b (midpoint m) lies inside the
// union of the other holes, so that it bounds no part of the path.  Where
// two holes share boundary running the same way, the earlier hole keeps it.
bool hidden_by_other_hole(std::span<const PathContour> path, std::size_t ci, Point a, Point b,
                          Point m) {
    for (std::size_t hj = 1; hj < path.size(); ++hj) {
        const PathContour& h = path[hj];
        if (hj == ci || !h.meets_hole || !extent_near(h, m.x, m.y, PATH_TOL)) continue;
        const PathSeg* shared = nullptr;
        for (const PathSeg& s : h.segs) {
            if (s.contains_on_boundary(m.x, m.y)) {
                shared = &s;
                break;
            }
        }
        if (shared != nullptr) {
            const Point d{b.x - a.x, b.y - a.y};
            const Point g = tangent_at(*shared, m);
            const bool same_way = d.x * g.x + d.y * g.y > 0.0;
            if (!same_way || hj < ci) return true;
            continue;
        }
        if (contour_winding(h, m.x, m.y) != 0) return true;
    }
    return false;
}

// The pieces of segment `s` (of contour ci) inside the pixel grown by 1e-10.
double seg_contribution(std::span<const PathContour> path, std::size_t ci, const PathSeg& s,
                        const Pixel& px) {
    // A line lying along a pixel edge is counted once, by that edge.
    if (!seg_reaches(s, px) || along_pixel_edge(s, px)) return 0.0;
    ParamList ts;
    for (double bound : {px.xl, px.xh}) {
        const Crossings c = s.t_at_x(bound);
        for (int k = 0; k < c.n; ++k) ts.push(c.t[k]);
    }
    for (double bound : {px.yl, px.yh}) {
        const Crossings c = s.t_at_y(bound);
        for (int k = 0; k < c.n; ++k) ts.push(c.t[k]);
    }
    const bool overlapping_hole = ci > 0 && ci < path.size() && path[ci].meets_hole;
    if (overlapping_hole) {
        for (std::size_t hj = 1; hj < path.size(); ++hj) {
            if (hj == ci || !path[hj].meets_hole) continue;
            for (const PathSeg& o : path[hj].segs) meeting_params(s, o, ts);
        }
    }
    ts.sort_and_thin();

    double sum = 0.0;
    for (std::size_t k = 0; k + 1 < ts.size(); ++k) {
        const double ta = ts[k];
        const double tb = ts[k + 1];
        const Point m = s.point_at((ta + tb) * 0.5);
        if (!(m.x > px.xl - PATH_TOL && m.x < px.xh + PATH_TOL && m.y > px.yl - PATH_TOL &&
              m.y < px.yh + PATH_TOL)) {
            continue;
        }
        const Point a = s.point_at(ta);
        const Point b = s.point_at(tb);
        if (overlapping_hole && hidden_by_other_hole(path, ci, a, b, m)) continue;
        sum += piece_term(s, ta, tb, a, b);
    }
    return sum;
}

// +1 when the point m of a pixel edge lies on path lines running along the
// edge the same way as the pixel's boundary (the path is on the pixel's
// side), 0 when one runs the other way, -1 when no line runs along it.
int edge_cover(std::span<const PathContour> path, bool horizontal, double level, double dir,
               Point m) {
    int cover = -1;
    for (const PathContour& c : path) {
        for (const PathSeg& s : c.segs) {
            if (s.kind != SegKind::Line) continue;
            const double a0 = horizontal ? s.y0 : s.x0;
            const double a1 = horizontal ? s.y1 : s.x1;
            if (!(std::fabs(a0 - level) <= PATH_TOL && std::fabs(a1 - level) <= PATH_TOL)) continue;
            const double b0 = horizontal ? s.x0 : s.y0;
            const double b1 = horizontal ? s.x1 : s.y1;
            const double at = horizontal ? m.x : m.y;
            if (!(at > std::fmin(b0, b1) && at < std::fmax(b0, b1))) continue;
            if ((b1 - b0) * dir > 0.0) {
                if (cover < 0) cover = 1;
            } else {
                return 0;
            }
        }
    }
    return cover;
}

}  // namespace

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

// Where a segment meets the line x = at (across_x) or y = at.
static Crossings crossings_at(const PathSeg& s, bool across_x, double at) {
    Crossings out;
    if (s.kind == SegKind::Line) {
        const double a0 = across_x ? s.x0 : s.y0;
        const double d = across_x ? s.x1 - s.x0 : s.y1 - s.y0;
        if (std::fabs(d) < 1e-10) return out;
        const double t = (at - a0) / d;
        if (strictly_inside_range(t)) out.add(t);
        return out;
    }
    double c = (at - (across_x ? s.cx : s.cy)) / s.r;
    if (!(std::fabs(c) <= 1.0000000001)) return out;
    c = std::clamp(c, -1.0, 1.0);
    // Cosine a at the angles a and -a; sine at a and pi - a.
    const double a = across_x ? std::acos(c) : std::asin(c);
    for (double phi : {a, across_x ? -a : PATH_PI - a}) {
        const double t = s.param_of_angle(phi);
        if (strictly_inside_range(t)) out.add(t);
    }
    return out;
}

Crossings PathSeg::t_at_x(double x) const { return crossings_at(*this, true, x); }

Crossings PathSeg::t_at_y(double y) const { return crossings_at(*this, false, y); }

int PathSeg::winding_contribution(double px, double py) const {
    if (kind == SegKind::Line) {
        // Upward when the start is at or below the ray and the end above it
        // (t in [0, 1)), downward the other way round (t in (0, 1]).
        const bool up = y0 <= py && py < y1;
        const bool down = y1 <= py && py < y0;
        if (!up && !down) return 0;
        const double t = (py - y0) / (y1 - y0);
        const double x = x0 + t * (x1 - x0);
        if (!(x > px)) return 0;
        return up ? 1 : -1;
    }
    if (!(py >= lo_y && py < hi_y)) return 0;  // no piece has ends on both sides
    // An arc is cut where its circle is highest and lowest into pieces that
    // run monotonically in y; each piece is a line-like crossing between its
    // end heights, the cached ends at the arc's own ends.
    double cuts[4] = {0.0, 1.0, 1.0, 1.0};
    double cut_y[4] = {y0, y1, y1, y1};
    int n = 1;
    const double t_top = param_of_angle(1.5707963267948966);
    const double t_bottom = param_of_angle(4.71238898038469);
    const double top = cy + r;
    const double bottom = cy - r;
    if (t_top > 0.0 && t_top < 1.0) {
        cuts[n] = t_top;
        cut_y[n++] = top;
    }
    if (t_bottom > 0.0 && t_bottom < 1.0) {
        cuts[n] = t_bottom;
        cut_y[n++] = bottom;
    }
    if (n == 3 && cuts[2] < cuts[1]) {
        std::swap(cuts[1], cuts[2]);
        std::swap(cut_y[1], cut_y[2]);
    }
    cuts[n] = 1.0;
    cut_y[n++] = y1;

    int total = 0;
    for (int k = 0; k + 1 < n; ++k) {
        const double ya = cut_y[k];
        const double yb = cut_y[k + 1];
        const bool up = ya <= py && py < yb;
        const bool down = yb <= py && py < ya;
        if (!up && !down) continue;
        // A piece rising counter-clockwise (or falling clockwise) lies on the
        // circle's right half.
        bool right_of_px = px < lo_x;
        if (!right_of_px && !(px > hi_x)) {
            const double h = r * std::cos(std::asin(std::clamp((py - cy) / r, -1.0, 1.0)));
            right_of_px = (up == (dtheta > 0.0) ? cx + h : cx - h) > px;
        }
        if (right_of_px) total += up ? 1 : -1;
    }
    return total;
}

bool PathSeg::contains_on_boundary(double px, double py) const {
    if (kind == SegKind::Line) {
        if (px < lo_x - 1e-9 || px > hi_x + 1e-9 || py < lo_y - 1e-9 || py > hi_y + 1e-9) return false;
        const double dx = x1 - x0;
        const double dy = y1 - y0;
        const double cross = dx * (py - y0) - (px - x0) * dy;
        const double dot = (px - x0) * dx + (py - y0) * dy;
        const double len2 = dx * dx + dy * dy;
        // The products grow with the length: 1e-10 is the tolerance at unit
        // length and less for longer lines; for shorter ones it stays 1e-10
        // of distance instead of growing without bound.
        const double tol = len2 < 1.0 ? 1e-10 * std::sqrt(len2) : 1e-10;
        return std::fabs(cross) <= tol && dot >= -tol && dot <= len2 + tol;
    }
    const double ddx = px - cx;
    const double ddy = py - cy;
    if (!(std::fabs(std::sqrt(ddx * ddx + ddy * ddy) - r) <= 1e-10)) return false;
    const double t = param_of_angle(std::atan2(ddy, ddx));
    return t >= -1e-10 && t <= 1.0000000001;
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
    const int n = line_circle_roots(x0, y0, x1, y1, arc.cx, arc.cy, arc.r, t);
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
        contour.signed_area = contour_signed_area(segs);
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
        const std::size_t m = c.segs.size();
        // Neighbours meet at their junction; they may still cross elsewhere.
        for (std::size_t i = 0; i < m; ++i) {
            if (neighbours_cross(c.segs[i], c.segs[i + 1 == m ? 0 : i + 1])) {
                return std::string("self-intersecting path contour");
            }
        }
        for (std::size_t i = 0; i < m; ++i) {
            for (std::size_t j = i + 2; j < m; ++j) {
                if (i == 0 && j == m - 1) continue;
                if (segs_properly_intersect(c.segs[i], c.segs[j])) {
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
            Point probe;
            if (s.kind == SegKind::Line) {
                probe = {s.x0 + (s.x1 - s.x0) * 0.5, s.y0 + (s.y1 - s.y0) * 0.5};
            } else {
                const double phi = s.theta0 + s.dtheta * 0.5;
                probe = {s.cx + s.r * std::cos(phi), s.cy + s.r * std::sin(phi)};
            }
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

// ---------------------------------------------------------------------------
// Point in path

bool path_contains_point(std::span<const PathContour> path, double px, double py) {
    if (path.empty() || path[0].segs.empty()) return false;
    const PathContour& outer = path[0];
    if (on_contour(outer, px, py)) return true;
    const double ray_y = py + 1e-10;
    if (contour_winding(outer, px, ray_y) == 0) return false;
    for (std::size_t hi = 1; hi < path.size(); ++hi) {
        const PathContour& hole = path[hi];
        if (hole.segs.empty()) continue;
        if (on_contour(hole, px, py)) return false;
        if (contour_winding(hole, px, ray_y) != 0) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Path-pixel area

double seg_pixel_contribution(const PathSeg& seg, double xl, double xh, double yl, double yh) {
    return seg_contribution({}, 0, seg, Pixel{xl, xh, yl, yh});
}

double pixel_edge_contribution(std::span<const PathContour> path, bool horizontal, double xa,
                               double ya, double xb, double yb) {
    const double span = horizontal ? xb - xa : yb - ya;
    const double level = horizontal ? ya : xa;
    ParamList ss;
    if (!(std::fabs(span) < 1e-10)) {
        const auto along = [&](Point p) { return ((horizontal ? p.x : p.y) - (horizontal ? xa : ya)) / span; };
        for (const PathContour& c : path) {
            if (horizontal ? (level < c.min_y - PATH_TOL || level > c.max_y + PATH_TOL)
                           : (level < c.min_x - PATH_TOL || level > c.max_x + PATH_TOL)) {
                continue;
            }
            for (const PathSeg& s : c.segs) {
                if (horizontal ? (level < s.lo_y - REACH || level > s.hi_y + REACH)
                               : (level < s.lo_x - REACH || level > s.hi_x + REACH)) {
                    continue;
                }
                const Crossings cr = horizontal ? s.t_at_y(level) : s.t_at_x(level);
                for (int k = 0; k < cr.n; ++k) ss.push_if_inside(along(s.point_at(cr.t[k])));
                // A segment end on the edge line splits the edge there too.
                for (const Point e : {s.start(), s.end()}) {
                    if (std::fabs((horizontal ? e.y : e.x) - level) <= PATH_TOL) {
                        ss.push_if_inside(along(e));
                    }
                }
            }
        }
    }
    ss.sort_and_thin();
    if (ss.size() < 2) return 0.0;

    const double dx = xb - xa;
    const double dy = yb - ya;
    double sum = 0.0;
    for (std::size_t k = 0; k + 1 < ss.size(); ++k) {
        const double sa = ss[k];
        const double sb = ss[k + 1];
        const double mid = (sa + sb) * 0.5;
        const Point m{xa + dx * mid, ya + dy * mid};
        const int cover = edge_cover(path, horizontal, level, span, m);
        const bool inside = cover >= 0 ? cover == 1 : path_contains_point(path, m.x, m.y);
        if (!inside) continue;
        const Point a{xa + dx * sa, ya + dy * sa};
        const Point b{xa + dx * sb, ya + dy * sb};
        sum += 0.5 * (a.x * b.y - a.y * b.x);
    }
    return sum;
}

double path_pixel_area(std::span<const PathContour> path, std::int64_t ix, std::int64_t iy,
                       double x, double y) {
    return path_pixel_area_at(path, static_cast<double>(ix), static_cast<double>(iy), x, y);
}

double path_pixel_area_at(std::span<const PathContour> path, double px_at, double py_at, double x,
                          double y) {
    const double ox = px_at - x;
    const double oy = py_at - y;
    const Pixel px{ox - 0.5, ox + 0.5, oy - 0.5, oy + 0.5};
    if (path.empty()) return 0.0;
    const PathContour& outer = path[0];
    // A pixel clear of the outer contour's extent has no area inside.
    if (px.xh + 1e-9 < outer.min_x || px.xl - 1e-9 > outer.max_x || px.yh + 1e-9 < outer.min_y ||
        px.yl - 1e-9 > outer.max_y) {
        return 0.0;
    }

    // A pixel that no segment reaches lies wholly inside or wholly outside.
    bool reached = false;
    for (const PathContour& c : path) {
        for (const PathSeg& s : c.segs) reached = reached || seg_reaches(s, px);
    }
    if (!reached) return path_contains_point(path, ox, oy) ? 1.0 : 0.0;

    bool lines_only = true;
    for (const PathContour& c : path) {
        lines_only = lines_only && !c.meets_hole;
        for (const PathSeg& s : c.segs) lines_only = lines_only && s.kind == SegKind::Line;
    }

    double total = 0.0;
    if (lines_only) {
        std::vector<Point> poly;
        for (std::size_t ci = 0; ci < path.size(); ++ci) {
            poly.clear();
            for (const PathSeg& s : path[ci].segs) poly.push_back(s.start());
            const double a = polygon_rect_overlap_area(poly, px.xl, px.xh, px.yl, px.yh);
            total = ci == 0 ? a : total - a;
        }
    } else {
        for (std::size_t ci = 0; ci < path.size(); ++ci) {
            const PathContour& c = path[ci];
            if (px.xh + 1e-9 < c.min_x || px.xl - 1e-9 > c.max_x || px.yh + 1e-9 < c.min_y ||
                px.yl - 1e-9 > c.max_y) {
                continue;
            }
            for (const PathSeg& s : c.segs) total += seg_contribution(path, ci, s, px);
        }
        total += pixel_edge_contribution(path, true, px.xl, px.yl, px.xh, px.yl);
        total += pixel_edge_contribution(path, false, px.xh, px.yl, px.xh, px.yh);
        total += pixel_edge_contribution(path, true, px.xh, px.yh, px.xl, px.yh);
        total += pixel_edge_contribution(path, false, px.xl, px.yh, px.xl, px.yl);
    }
    if (total < 0.0) return 0.0;
    if (total > 1.0) return 1.0;
    return total;
}

// ---------------------------------------------------------------------------
// Path box

PixelBox path_bbox(std::span<const PathContour> path, double x, double y) {
    if (path.empty()) throw Fault("path box of a path without contours");
    const PathContour& outer = path[0];
    return {saturating_int64(std::floor((x + outer.min_x) - 0.5)),
            saturating_int64(std::ceil((x + outer.max_x) + 0.5)),
            saturating_int64(std::floor((y + outer.min_y) - 0.5)),
            saturating_int64(std::ceil((y + outer.max_y) + 0.5))};
}

}  // namespace quorvantel::geometry
