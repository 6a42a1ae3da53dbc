// Helpers shared by the path sources (path_model.cpp, path_winding.cpp,
// path_area.cpp): parameter lists, where segments' lines and circles meet,
// extents and winding numbers of contours.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

#include "geometry/path.hpp"

namespace quorvantel::geometry::path_detail {

inline bool strictly_inside_range(double t) { return t > PATH_T_LO && t < PATH_T_HI; }

// How far an arc's start may lie from the current point (squared 1e-6): the
// longest gap, and the longest line that links two segments as a gap does
// (a close row after a segment that ends off the first point adds one).
inline constexpr double LINK_REACH = 1e-3;

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
    // Whether v was kept.
    bool push_if_inside(double v) {
        if (!strictly_inside_range(v)) return false;
        push(v);
        return true;
    }
    // Ascending, then every entry closer than 1e-10 to the last one kept is
    // dropped (the first of a run of near-equal entries stays).  Returns
    // whether an entry was dropped.
    bool sort_and_thin() {
        double* v = on_heap_ ? heap_.data() : inline_;
        std::sort(v, v + n_);
        std::size_t kept = 1;
        for (std::size_t k = 1; k < n_; ++k) {
            if (v[k] - v[kept - 1] < PATH_TOL) continue;
            v[kept++] = v[k];
        }
        const bool dropped = kept < n_;
        n_ = kept;
        if (on_heap_) heap_.resize(n_);
        return dropped;
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

// Two meeting points closer than the rounding of the quantity that tells
// them apart are one point, a touch: a root term (a discriminant, or the
// squared half-chord of two circles) within TOUCH_ROUNDING of the size of
// the terms it is the difference of.  Each of those terms carries a few
// units of rounding (1.1e-16 each); 1e-14 leaves a margin of some thirty,
// and keeps far from true crossings: a line reaching 1e-9 into a circle of
// radius 1 gives a root term of 2e-9 relative to its terms.
inline constexpr double TOUCH_ROUNDING = 1e-14;

// Where the line through (x0, y0) and (x1, y1) meets a circle, as line
// parameters; *touch, when asked for, tells whether the two roots are one
// point within rounding (the line is tangent in exact arithmetic).
inline int line_circle_roots(double x0, double y0, double x1, double y1, double cx, double cy, double r,
                             double (&t)[2], bool* touch = nullptr) {
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
    if (touch != nullptr) {
        *touch = disc <= TOUCH_ROUNDING * (qb * qb + (4.0 * qa) * ((fx * fx + fy * fy) + r * r));
    }
    const double s = std::sqrt(disc);
    t[0] = (-qb - s) / (2.0 * qa);
    t[1] = (s - qb) / (2.0 * qa);
    return 2;
}

// The points where the circles of two arcs meet; none for concentric
// circles, circles apart or nested, or circles that only touch.  *touch, when
// asked for, tells whether the two points are one within rounding.
inline int circle_circle_points(const PathSeg& a, const PathSeg& b, Point (&p)[2],
                                bool* touch = nullptr) {
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
    if (touch != nullptr) {
        // m carries the rounding of its numerator over 2d, magnified in m^2.
        const double spread = (a.r * a.r + m * m) + std::fabs(m) * ((d2 + a.r * a.r) + b.r * b.r) / d;
        *touch = h2 <= TOUCH_ROUNDING * spread;
    }
    const double h = std::sqrt(h2);
    const double px = a.cx + (m / d) * dx;
    const double py = a.cy + (m / d) * dy;
    p[0] = Point{px + (dy * h) / d, py - (dx * h) / d};
    p[1] = Point{px - (dy * h) / d, py + (dx * h) / d};
    return 2;
}

inline double seg_length(const PathSeg& s) {
    return s.kind == SegKind::Arc ? s.r * std::fabs(s.dtheta)
                                  : std::hypot(s.x1 - s.x0, s.y1 - s.y0);
}

inline double arc_param_at(const PathSeg& arc, Point p) {
    return arc.param_of_angle(std::atan2(p.y - arc.cy, p.x - arc.cx));
}

// Where the lines through the line segments a and b meet: returns the
// determinant of their directions and, when it is not 0, sets t on a and u
// on b.
inline double line_line_params(const PathSeg& a, const PathSeg& b, double& t, double& u) {
    const double ax = a.x1 - a.x0;
    const double ay = a.y1 - a.y0;
    const double bx = b.x1 - b.x0;
    const double by = b.y1 - b.y0;
    const double den = ax * by - ay * bx;
    if (den == 0.0) return den;
    const double ex = b.x0 - a.x0;
    const double ey = b.y0 - a.y0;
    t = (ex * by - ey * bx) / den;
    u = (ex * ay - ey * ax) / den;
    return den;
}

// Calls visit(p, ta, tb) for every point p where the circles or lines of a
// and b (not both lines) meet, with p's parameters on a and on b, and returns
// whether the two meeting points are one within rounding (a touch).
template <class Visit>
bool for_each_meeting(const PathSeg& a, const PathSeg& b, Visit&& visit) {
    bool touch = false;
    if (a.kind == SegKind::Arc && b.kind == SegKind::Arc) {
        Point p[2];
        const int n = circle_circle_points(a, b, p, &touch);
        for (int k = 0; k < n; ++k) visit(p[k], arc_param_at(a, p[k]), arc_param_at(b, p[k]));
        return touch;
    }
    const bool a_line = a.kind == SegKind::Line;
    const PathSeg& line = a_line ? a : b;
    const PathSeg& arc = a_line ? b : a;
    double t[2];
    const int n = line_circle_roots(line.x0, line.y0, line.x1, line.y1, arc.cx, arc.cy, arc.r, t, &touch);
    for (int k = 0; k < n; ++k) {
        const Point p = line.point_at(t[k]);
        const double on_arc = arc_param_at(arc, p);
        if (a_line) {
            visit(p, t[k], on_arc);
        } else {
            visit(p, on_arc, t[k]);
        }
    }
    return touch;
}

// Green's-theorem term of the straight piece from a to b, taken about the
// point o.
inline double line_term(Point a, Point b, Point o) {
    return 0.5 * ((a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x));
}

// Green's-theorem term of the piece of `s` from parameter ta (point a) to tb
// (point b), taken about the point o.
inline double piece_term(const PathSeg& s, double ta, double tb, Point a, Point b, Point o) {
    if (s.kind == SegKind::Line) return line_term(a, b, o);
    return 0.5 * (((s.cx - o.x) * (b.y - a.y) - (s.cy - o.y) * (b.x - a.x)) +
                  ((s.r * s.r) * s.dtheta) * (tb - ta));
}

// Extents (path_model.cpp).
void widen(double& lo, double& hi, double v);
void fill_extent(PathSeg& s);
void fill_extent(PathContour& c);
// Joins consecutive segments that do not meet exactly with connector lines
// (path_model.cpp).
void join_gaps(PathContour& c);

// Where a segment meets the line x = at (across_x) or y = at, parameters
// strictly between lo and hi (path_winding.cpp).
Crossings crossings_between(const PathSeg& s, bool across_x, double at, double lo, double hi);

// Winding numbers and boundary tests of whole contours (path_winding.cpp).
bool extent_near(const PathContour& c, double x, double y, double margin);
int contour_winding(const PathContour& c, double px, double py);
bool on_contour(const PathContour& c, double px, double py);
// Whether the outer contour winds around (px, py) and no hole does: the
// point-in-path test without the boundary tolerance, for points that are
// not on the outline.
bool path_winds_around(std::span<const PathContour> path, double px, double py);

}  // namespace quorvantel::geometry::path_detail
