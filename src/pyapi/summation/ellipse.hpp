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

// The strict test of the pixel centre at column offset dx of a turned row
// against the ellipse.
inline bool centre_inside(const TurnedRow& row, double dx, double c, double s, double a,
                          double b) {
    return unit_radius2(row, dx, c, s, a, b) < 1.0;
}

// The exact weight of pixel column fi of a turned row.
inline double pixel_weight(const TurnedRow& row, double fi, double x, double c, double s,
                           double a, double b) {
    geometry::Point quad[4];
    turned_corners(row, fi, x, c, s, quad);
    return geometry::ellipse_pixel_weight(quad, a, b);
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
Totals ellip_exact_aperture(const EllipCaptures<T>& c, double x, double y) {
    const geometry::PixelBox box = geometry::pixel_box(x, y, c.ex, c.ey);
    const geometry::PixelRange range = geometry::clip_to_image(box, c.nx, c.ny);
    Totals totals{0.0, 0.0};
    if (!range.empty()) {
        const double a = c.a;
        const double b = c.b;
        const double cs = c.c;
        const double sn = c.s;
        totals = fold_rows(c.values, c.nx, range, totals, [&](std::int64_t j, const T* row, Totals t) {
            const TurnedRow turned = turned_row(static_cast<double>(j), y, cs, sn);
            // The weight of a pixel of the row, 0 for one wholly outside.
            const auto weight = [&](std::int64_t i) {
                const double fi = static_cast<double>(i);
                const double dx = fi - x;
                const double rho2 = ellip_detail::unit_radius2(turned, dx, cs, sn, a, b);
                if (rho2 < c.e_in2) return 1.0;
                if (rho2 > c.e_out2) return 0.0;
                return ellip_detail::pixel_weight(turned, fi, x, cs, sn, a, b);
            };
            for (std::int64_t i = range.i0; i < range.i1; ++i) add_weighted<true>(t, weight(i), row[i]);
            return t;
        });
    }
    if (geometry::box_inside_image(box, c.nx, c.ny)) totals.area = (c.a * PI) * c.b;
    return totals;
}

template <class T>
Totals ellip_center_aperture(const EllipCenterCaptures<T>& c, double x, double y) {
    const geometry::PixelRange range =
        geometry::clip_to_image(geometry::pixel_box(x, y, c.ex, c.ey), c.nx, c.ny);
    return sum_centres(
        c.values, c.nx, range, x, [&](double fj) { return turned_row(fj, y, c.c, c.s); },
        [&](const TurnedRow& t, double dx) {
            return ellip_detail::centre_inside(t, dx, c.c, c.s, c.a, c.b);
        });
}

// The kernels, one instance per element type.
template <class T>
inline constexpr auto sum_ellip_slice = sum_slice<ellip_exact_aperture<T>, EllipCaptures<T>>;
template <class T>
inline constexpr auto sum_ellip_center_slice =
    sum_slice<ellip_center_aperture<T>, EllipCenterCaptures<T>>;

}  // namespace quorvantel::pyapi::summation
