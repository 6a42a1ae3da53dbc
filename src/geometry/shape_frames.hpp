// Per-call frames of the turned shapes and the rules written once for every
// family that handles them: the half-extents that fix each shape's pixel box,
// and the exact clip of a pixel against a rotated rectangle.  Points in a
// shape's own frame keep u in x and v in y.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "fault.hpp"
#include "geometry/clip_walk.hpp"
#include "geometry/geometry.hpp"
#include "geometry/geometry_inline.hpp"
#include "geometry/pixel_box.hpp"

namespace quorvantel::geometry {

// Cosine and sine of a shape's angle.
struct Orientation {
    double c;
    double s;
};

inline Orientation orientation(double theta) {
    Orientation o;
    ::sincos(theta, &o.s, &o.c);
    return o;
}

// Axis-aligned half-extents of a rectangle of half sizes hw (along the angle)
// and hh (across it).
struct Extents {
    double x;
    double y;
};

inline Extents rect_extents(double hw, double hh, Orientation o) {
    return {std::fabs(hw * o.c) + std::fabs(hh * o.s), std::fabs(hw * o.s) + std::fabs(hh * o.c)};
}

// Orientation, half sizes and axis-aligned half-extents of a rectangle.
struct RectFrame {
    double c;
    double s;
    double hw;
    double hh;
    double ext_x;
    double ext_y;
};

inline RectFrame rect_frame(double w, double h, double theta) {
    const Orientation o = orientation(theta);
    const double hw = w * 0.5;
    const double hh = h * 0.5;
    const Extents e = rect_extents(hw, hh, o);
    return {o.c, o.s, hw, hh, e.x, e.y};
}

inline constexpr std::size_t RECT_CLIP_CAPACITY = 16;
inline constexpr double RECT_NEARLY_PARALLEL = 1e-15;

// One Sutherland-Hodgman pass of the closed polygon in[0..n-1] (n > 0)
// against the line u = bound (AlongU) or v = bound, keeping the side
// coordinate >= bound (KeepGreater) or <= bound.  The bound itself is inside
// and a NaN coordinate outside.  A crossing lies on the bound exactly; its
// other coordinate is interpolated from prev, or is the midpoint when the
// edge runs nearly parallel to the line.  Writes at most n + n / 2 vertices.
template <bool AlongU, bool KeepGreater>
inline std::size_t clip_pass(const Point* in, std::size_t n, Point* out, double bound) {
    const auto along = [](const Point& p) {
        if constexpr (AlongU) return p.x; else return p.y;
    };
    const auto across = [](const Point& p) {
        if constexpr (AlongU) return p.y; else return p.x;
    };
    const auto inside = [bound](double q) {
        if constexpr (KeepGreater) return q >= bound; else return q <= bound;
    };
    const auto crossing = [&](const Point& prev, const Point& cur) -> Point {
        const double d = along(cur) - along(prev);
        const double o = std::fabs(d) < RECT_NEARLY_PARALLEL
                             ? (across(prev) + across(cur)) * 0.5
                             : across(prev) + (across(cur) - across(prev)) * ((bound - along(prev)) / d);
        if constexpr (AlongU) return {bound, o}; else return {o, bound};
    };

    std::size_t m = 0;
    clip_walk(
        in, n, [&](const Point& p) { return inside(along(p)); }, crossing,
        [&](const Point& p) { out[m++] = p; });
    return m;
}

// Area of the rectangle |u| <= hw, |v| <= hh inside the pixel whose corners
// (counter-clockwise, in the rectangle frame) fill a[0..3], capped at 1.
// The four passes alternate between the two buffers.
inline double clipped_pixel_weight(Point (&a)[RECT_CLIP_CAPACITY], double hw, double hh) {
    Point b[RECT_CLIP_CAPACITY];
    std::size_t n = clip_pass<true, true>(a, 4, b, -hw);
    if (n == 0) return 0.0;
    n = clip_pass<true, false>(b, n, a, hw);
    if (n == 0) return 0.0;
    n = clip_pass<false, true>(a, n, b, -hh);
    if (n == 0) return 0.0;
    // A clipped convex quadrilateral has at most 7 vertices here; more would
    // let the last pass write past its buffer.
    if (n > 10) throw Fault("rectangle clipping buffer exceeded");
    n = clip_pass<false, false>(b, n, a, hh);
    if (n < 3) return 0.0;

    double twice = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const Point& p = a[k];
        const Point& q = a[k + 1 == n ? 0 : k + 1];
        twice = twice + (p.x * q.y - p.y * q.x);
    }
    const double area = 0.5 * std::fabs(twice);
    return area > 1.0 ? 1.0 : area;
}

// Exact weight of a pixel under an ellipse of semi-axes a (along u) and b
// (along v): 1 when all four corners lie in the ellipse (a corner on it
// counts), else the disc-quadrilateral overlap in the unit frame scaled back
// by a b and clamped to [0, 1].  quad holds the pixel's corners, counter-
// clockwise in the ellipse frame, and is scaled to the unit frame in place.
// A pixel whose overlap is not finite (mapped corners so far out that their
// products overflow) weighs 0, not the capped pi of a NaN.
// The overlap part is kept out of line so that pixel loops stay small for the
// pixels that bounds and corners decide.
[[gnu::noinline]] inline double ellipse_crossing_weight(const Point (&quad)[4], double a,
                                                        double b) {
    const double total = detail::unit_disc_polygon_signed_overlap(quad, 4);
    if (!std::isfinite(total)) return 0.0;
    double w = b * (a * detail::capped_disc_area(total));
    if (w < 0.0) w = 0.0;
    if (w > 1.0) w = 1.0;
    return w;
}

inline double ellipse_pixel_weight(Point (&quad)[4], double a, double b) {
    for (Point& p : quad) p = {p.x / a, p.y / b};
    bool corners_in = true;
    for (const Point& p : quad) corners_in = corners_in && p.x * p.x + p.y * p.y <= 1.0;
    if (corners_in) return 1.0;
    return ellipse_crossing_weight(quad, a, b);
}

// Orientation and axis-aligned half-extents of an ellipse.
struct EllipFrame {
    double c;
    double s;
    double ex;
    double ey;
};

inline EllipFrame ellip_frame(double a, double b, double theta) {
    const Orientation o = orientation(theta);
    const double ac = a * o.c;
    const double bs = b * o.s;
    const double bc = b * o.c;
    const double as = a * o.s;
    return {o.c, o.s, std::sqrt(ac * ac + bs * bs), std::sqrt(bc * bc + as * as)};
}

// The box of a pill: a central rectangle of half-length hw = w * 0.5 and
// half-width b along the angle (c, s), with elliptical caps of semi-axes a
// (along) and b (across) centred at the rectangle's two ends.  The union of
// the three boxes, each bound rounded on its own.
struct PillFrame {
    double c;
    double s;
    double hw;
    double rect_ex;  // half-extents of the central rectangle
    double rect_ey;
    double cap_dx;  // offset of the second cap's centre (the first is at minus it)
    double cap_dy;
    double cap_ex;  // half-extents of each cap
    double cap_ey;
};

inline PillFrame pill_frame(double w, double a, double b, double theta) {
    const EllipFrame cap = ellip_frame(a, b, theta);
    const double hw = w * 0.5;
    const Extents mid = rect_extents(hw, b, {cap.c, cap.s});
    return {cap.c,
            cap.s,
            hw,
            mid.x,
            mid.y,
            hw * cap.c,
            hw * cap.s,
            cap.ex,
            cap.ey};
}

inline PixelBox pill_box(const PillFrame& f, double x, double y) {
    const PixelBox mid = pixel_box(x, y, f.rect_ex, f.rect_ey);
    const PixelBox first = pixel_box(x - f.cap_dx, y - f.cap_dy, f.cap_ex, f.cap_ey);
    const PixelBox second = pixel_box(f.cap_dx + x, f.cap_dy + y, f.cap_ex, f.cap_ey);
    return {std::min({mid.x_min, first.x_min, second.x_min}),
            std::max({mid.x_max, first.x_max, second.x_max}),
            std::min({mid.y_min, first.y_min, second.y_min}),
            std::max({mid.y_max, first.y_max, second.y_max})};
}

}  // namespace quorvantel::geometry
