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

inline int line_circle_roots(double x0, double y0, double x1, double y1, double cx, double cy, double r,
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

// The points where the circles of two arcs meet; none for concentric// circles, circles apart or nested, or circles that only touch.
inline int circle_circle_points(const PathSeg& a, const PathSeg& b, Point (&p)[2]) {
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

inline double arc_param_at(const PathSeg& arc, Point p) {
    return arc.param_of_angle(std::atan2(p.y - arc.cy, p.x - arc.cx));
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
