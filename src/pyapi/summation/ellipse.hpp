// Rotated-ellipse sums.  All tests run in the ellipse's unit frame,
// u = (dx c + dy s) / a and v = (dy c - dx s) / b, where the ellipse is the
// unit disc.  The map is linear, so every point of a pixel lies within the
// corner reach m of its mapped centre: a centre closer than 1 - m makes the
// pixel wholly inside, one farther than 1 + m wholly outside.  Of the rest, a
// pixel with all four mapped corners in the disc is inside (the disc is
// convex) and only the others take the exact disc-quadrilateral overlap,
// scaled back by a b.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "geometry/geometry.hpp"
#include "geometry/geometry_inline.hpp"
#include "geometry/pixel_box.hpp"
#include "geometry/shape_frames.hpp"
#include "pyapi/summation/slice.hpp"

namespace quorvantel::pyapi::summation {

template <class T>
struct EllipCaptures {
    double a;  // semi-axis along u
    double b;  // semi-axis along v
    double c;  // cos theta
    double s;  // sin theta
    std::uint64_t nx;
    std::uint64_t ny;
    double e_in2;   // squared unit-frame centre radius below which a pixel is inside
    double e_out2;  // ... above which it is outside
    const T* values;
    double ex;  // half-extents in x and y, the same for every aperture
    double ey;
};

template <class T>
struct EllipCenterCaptures {
    double a;
    double b;
    double c;
    double s;
    std::uint64_t nx;
    std::uint64_t ny;
    const T* values;
    double ex;
    double ey;
};

namespace ellip_detail {

// The largest unit-frame distance from a pixel's centre to its corners.
inline double corner_reach(double a, double b, double c, double s) {
    constexpr double corners[4][2] = {{-0.5, -0.5}, {-0.5, 0.5}, {0.5, -0.5}, {0.5, 0.5}};
    double m = 0.0;
    for (const auto& corner : corners) {
        const double dx = corner[0];
        const double dy = corner[1];
        const double u = (c * dx + s * dy) / a;
        const double v = (c * dy - s * dx) / b;
        m = std::max(m, std::sqrt(u * u + v * v));
    }
    return m;
}

// Squared radius, in the unit frame, of the pixel centre at column offset dx
// of a turned row.
inline double unit_radius2(const TurnedRow& row, double dx, double c, double s, double a,
                           double b) {
    const double u = (dx * c + row.s_dy) / a;
    const double v = (row.c_dy - dx * s) / b;
    return u * u + v * v;
}

}  // namespace ellip_detail

template <class T>
EllipCaptures<T> ellip_captures(const T* values, std::uint64_t ny, std::uint64_t nx, double a,
                                double b, double theta) {
    const geometry::EllipFrame f = geometry::ellip_frame(a, b, theta);
    const double m = ellip_detail::corner_reach(a, b, f.c, f.s);
    const double in = std::max(1.0 - m, 0.0);
    const double out = m + 1.0;
    return {a, b, f.c, f.s, nx, ny, in * in, out * out, values, f.ex, f.ey};
}

template <class T>
EllipCenterCaptures<T> ellip_center_captures(const T* values, std::uint64_t ny, std::uint64_t nx,
                                             double a, double b, double theta) {
    const geometry::EllipFrame f = geometry::ellip_frame(a, b, theta);
    return {a, b, f.c, f.s, nx, ny, values, f.ex, f.ey};
}

template <class T>
void ellip_exact_aperture(const EllipCaptures<T>& c, double x, double y, double& sum,
                          double& area) {
    const geometry::PixelBox box = geometry::pixel_box(x, y, c.ex, c.ey);
    const geometry::PixelRange range = geometry::clip_to_image(box, c.nx, c.ny);
    if (!range.empty()) {
        const double a = c.a;
        const double b = c.b;
        const double cs = c.c;
        const double sn = c.s;
        for_each_row(c.values, c.nx, range, [&](std::int64_t j, const T* row) {
            const TurnedRow turned = turned_row(static_cast<double>(j), y, cs, sn);
            for (std::int64_t i = range.i0; i < range.i1; ++i) {
                const double fi = static_cast<double>(i);
                const double dx = fi - x;
                const double rho2 = ellip_detail::unit_radius2(turned, dx, cs, sn, a, b);
                double weight = 1.0;
                if (!(rho2 < c.e_in2)) {
                    if (rho2 > c.e_out2) continue;
                    geometry::Point quad[4];
                    turned_corners(turned, fi, x, cs, sn, quad);
                    weight = geometry::ellipse_pixel_weight(quad, a, b);
                    if (!(weight > 0.0)) continue;
                }
                sum = sum + weight * widen(row[i]);
                area = area + weight;
            }
        });
    }
    if (geometry::box_inside_image(box, c.nx, c.ny)) area = (c.a * PI) * c.b;
}

template <class T>
void ellip_center_aperture(const EllipCenterCaptures<T>& c, double x, double y, double& sum,
                           double& count) {
    const geometry::PixelRange range =
        geometry::clip_to_image(geometry::pixel_box(x, y, c.ex, c.ey), c.nx, c.ny);
    sum_centres(
        c.values, c.nx, range, x, [&](double fj) { return turned_row(fj, y, c.c, c.s); },
        [&](const TurnedRow& t, double dx) {
            return ellip_detail::unit_radius2(t, dx, c.c, c.s, c.a, c.b) < 1.0;
        },
        sum, count);
}

// The kernels, one instance per element type.
template <class T>
inline constexpr auto sum_ellip_slice = sum_slice<ellip_exact_aperture<T>, EllipCaptures<T>>;
template <class T>
inline constexpr auto sum_ellip_center_slice =
    sum_slice<ellip_center_aperture<T>, EllipCenterCaptures<T>>;

}  // namespace quorvantel::pyapi::summation
