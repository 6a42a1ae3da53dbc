// Rotated-rectangle sums.  Pixels are judged in the rectangle's own frame:
// u along the width (angle theta from the x axis), v along the height.  A
// pixel whose centre lies at least half a projected pixel inside both pairs
// of edges weighs 1, one that far outside either pair is skipped, and the
// few in between are clipped exactly against the four edges.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fault.hpp"
#include "geometry/geometry.hpp"
#include "geometry/pixel_box.hpp"
#include "pyapi/summation/slice.hpp"

namespace quorvantel::pyapi::summation {

template <class T>
struct RectCaptures {
    double ext_x;  // half-extent in x
    double ext_y;  // half-extent in y
    std::uint64_t nx;
    std::uint64_t ny;
    double c;  // cos theta
    double s;  // sin theta
    double hw;
    double pix_half;  // half a unit pixel projected on u (and on v)
    double hh;
    const T* values;
    double w;
    double h;
};

template <class T>
struct RectCenterCaptures {
    double ext_x;
    double ext_y;
    std::uint64_t nx;
    std::uint64_t ny;
    double c;
    double s;
    double hw;
    double hh;
    const T* values;
};

namespace rect_detail {

using geometry::Point;  // x holds u, y holds v

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
    double s;
    double c;
    ::sincos(theta, &s, &c);
    const double hw = w * 0.5;
    const double hh = h * 0.5;
    return {c, s, hw, hh, std::fabs(hw * c) + std::fabs(hh * s),
            std::fabs(hw * s) + std::fabs(hh * c)};
}

inline constexpr std::size_t CLIP_CAPACITY = 16;
inline constexpr double NEARLY_PARALLEL = 1e-15;

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
        const double o = std::fabs(d) < NEARLY_PARALLEL
                             ? (across(prev) + across(cur)) * 0.5
                             : across(prev) + (across(cur) - across(prev)) * ((bound - along(prev)) / d);
        if constexpr (AlongU) return {bound, o}; else return {o, bound};
    };

    std::size_t m = 0;
    Point prev = in[n - 1];
    bool prev_in = inside(along(prev));
    for (std::size_t k = 0; k < n; ++k) {
        const Point cur = in[k];
        const bool cur_in = inside(along(cur));
        if (cur_in) {
            if (!prev_in) out[m++] = crossing(prev, cur);
            out[m++] = cur;
        } else if (prev_in) {
            out[m++] = crossing(prev, cur);
        }
        prev = cur;
        prev_in = cur_in;
    }
    return m;
}

// Area of the rectangle |u| <= hw, |v| <= hh inside the pixel whose corners
// (counter-clockwise, in the rectangle frame) fill a[0..3], capped at 1.
// The four passes alternate between the two buffers.
inline double clipped_pixel_weight(Point (&a)[CLIP_CAPACITY], double hw, double hh) {
    Point b[CLIP_CAPACITY];
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

}  // namespace rect_detail

template <class T>
RectCaptures<T> rect_captures(const T* values, std::uint64_t ny, std::uint64_t nx, double w,
                              double h, double theta) {
    const rect_detail::RectFrame f = rect_detail::rect_frame(w, h, theta);
    const double pix_half = (std::fabs(f.c) + std::fabs(f.s)) * 0.5;
    return {f.ext_x, f.ext_y, nx, ny, f.c, f.s, f.hw, pix_half, f.hh, values, w, h};
}

template <class T>
RectCenterCaptures<T> rect_center_captures(const T* values, std::uint64_t ny, std::uint64_t nx,
                                           double w, double h, double theta) {
    const rect_detail::RectFrame f = rect_detail::rect_frame(w, h, theta);
    return {f.ext_x, f.ext_y, nx, ny, f.c, f.s, f.hw, f.hh, values};
}

template <class T>
void rect_exact_aperture(const RectCaptures<T>& c, double x, double y, double& sum, double& area) {
    const geometry::PixelBox box = geometry::pixel_box(x, y, c.ext_x, c.ext_y);
    const geometry::PixelRange range = geometry::clip_to_image(box, c.nx, c.ny);
    if (!range.empty()) {
        const double cs = c.c;
        const double sn = c.s;
        const double in_u = c.hw - c.pix_half;
        const double in_v = c.hh - c.pix_half;
        const double out_u = c.hw + c.pix_half;
        const double out_v = c.hh + c.pix_half;
        for_each_row(c.values, c.nx, range, [&](std::int64_t j, const T* row) {
            const TurnedRow turned = turned_row(static_cast<double>(j), y, cs, sn);
            for (std::int64_t i = range.i0; i < range.i1; ++i) {
                const double fi = static_cast<double>(i);
                const double dx = fi - x;
                const double au = std::fabs(cs * dx + turned.s_dy);
                const double av = std::fabs(turned.c_dy - sn * dx);
                double weight = 1.0;
                if (!(au <= in_u && av <= in_v)) {
                    if (au >= out_u || av >= out_v) continue;
                    rect_detail::Point buf[rect_detail::CLIP_CAPACITY];
                    turned_corners(turned, fi, x, cs, sn, buf);
                    weight = rect_detail::clipped_pixel_weight(buf, c.hw, c.hh);
                    if (!(weight > 0.0)) continue;
                }
                sum = sum + weight * widen(row[i]);
                area = area + weight;
            }
        });
    }
    if (geometry::box_inside_image(box, c.nx, c.ny)) area = c.w * c.h;
}

template <class T>
void rect_center_aperture(const RectCenterCaptures<T>& c, double x, double y, double& sum,
                          double& count) {
    const geometry::PixelRange range =
        geometry::clip_to_image(geometry::pixel_box(x, y, c.ext_x, c.ext_y), c.nx, c.ny);
    sum_centres(
        c.values, c.nx, range, x, [&](double fj) { return turned_row(fj, y, c.c, c.s); },
        [&](const TurnedRow& t, double dx) {
            return std::fabs(c.c * dx + t.s_dy) < c.hw && std::fabs(t.c_dy - c.s * dx) < c.hh;
        },
        sum, count);
}

// The kernels, one instance per element type.
template <class T>
inline constexpr auto sum_rect_slice = sum_slice<rect_exact_aperture<T>, RectCaptures<T>>;
template <class T>
inline constexpr auto sum_rect_center_slice =
    sum_slice<rect_center_aperture<T>, RectCenterCaptures<T>>;

}  // namespace quorvantel::pyapi::summation
