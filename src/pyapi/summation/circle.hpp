// Circle and circular-annulus sums.  Both walk the outer circle's pixel box;
// pixels well inside or outside a circle are decided by squared distances,
// the rest take the exact disc-pixel overlap.  A circle is the ring without
// an inner circle, so both run one aperture function.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <span>

#include "geometry/geometry.hpp"
#include "geometry/pixel_box.hpp"
#include "pyapi/summation/slice.hpp"

namespace quorvantel::pyapi::summation {

// A circle of radius r with its fast bounds: a pixel whose squared centre
// distance is below inside2 lies wholly inside, above outside2 wholly outside.
struct DiscBounds {
    double r;
    double inside2;
    double outside2;
};

inline DiscBounds disc_bounds(double r) {
    const double m = std::max(r - PIXEL_HALF_DIAGONAL, 0.0);
    const double p = r + PIXEL_HALF_DIAGONAL;
    return {r, m * m, p * p};
}

// A pixel row about an aperture centre y: the squared offset of its centre
// and the offsets of its lower and upper edges.
struct CircleRow {
    double dy2;
    double y0;
    double y1;
};

inline CircleRow circle_row(double fj, double y) {
    const double dy = fj - y;
    return {dy * dy, (fj - 0.5) - y, (fj + 0.5) - y};
}

// The strict test of the pixel centre at column offset dx of a row at
// squared offset dy2 against the circle of squared radius r2.
inline bool circle_centre_inside(double dy2, double dx, double r2) { return dy2 + dx * dx < r2; }

template <class T>
struct CircCaptures {
    DiscBounds outer;
    DiscBounds inner;  // r == 0 (either sign) for a full disc
    std::uint64_t nx;
    std::uint64_t ny;
    const T* values;
    double analytic_area;
};

template <class T>
CircCaptures<T> circ_captures(const T* values, std::uint64_t ny, std::uint64_t nx, double r) {
    return {disc_bounds(r), disc_bounds(0.0), nx, ny, values, r * (r * PI)};
}

template <class T>
CircCaptures<T> circ_ann_captures(const T* values, std::uint64_t ny, std::uint64_t nx, double r_in,
                                  double r_out) {
    return {disc_bounds(r_out), disc_bounds(r_in), nx, ny, values,
            (r_out * r_out - r_in * r_in) * PI};
}

// Exact weight of a pixel under one circle: 1 inside, 0 outside, else the
// clamped overlap of the disc with the pixel [x0, x1] x [y0, y1].  A radius
// whose square overflows can make the overlap NaN; such a pixel weighs 0, as
// the sums, which skip every weight that is not positive, have it.
inline double disc_pixel_weight(const DiscBounds& d, double d2, double x0, double y0, double x1,
                                double y1) {
    if (d2 < d.inside2) return 1.0;
    if (d2 > d.outside2) return 0.0;
    double w = geometry::circ_rect_overlap(x0, y0, x1, y1, d.r);
    if (!(w >= 0.0)) w = 0.0;
    if (w > 1.0) w = 1.0;
    return w;
}

// Exact weight of a pixel under a ring: the outer circle's weight less the
// inner circle's (when there is one), clamped to [0, 1].
inline double ring_pixel_weight(const DiscBounds& outer, const DiscBounds& inner, bool has_inner,
                                double d2, double x0, double y0, double x1, double y1) {
    const double w_out = disc_pixel_weight(outer, d2, x0, y0, x1, y1);
    if (!has_inner || w_out == 0.0) return w_out;
    double w = w_out - disc_pixel_weight(inner, d2, x0, y0, x1, y1);
    if (w < 0.0) w = 0.0;
    if (w > 1.0) w = 1.0;
    return w;
}

// The columns i0 <= i < i1 of a row, at squared row offset dy2, whose squared
// centre distance dy2 + (i - x)^2 is below `limit` (Strict) or at most it.
// Along a row that distance falls and then rises, in floating point too, so
// the columns form one run [first, last); it is found from a square-root
// estimate around the nearest column to x, `nearest` (the same for every row
// of an aperture), and settled by the same comparison the pixel loop makes.
template <bool Strict>
inline std::pair<std::int64_t, std::int64_t> row_run(double x, std::int64_t nearest, double dy2,
                                                     double limit, std::int64_t i0,
                                                     std::int64_t i1) {
    const auto within = [&](std::int64_t i) {
        const double dx = static_cast<double>(i) - x;
        const double d2 = dy2 + dx * dx;
        return Strict ? d2 < limit : d2 <= limit;
    };
    const double reach = std::sqrt(std::max(limit - dy2, 0.0));
    return settle_run(within, nearest, geometry::saturating_int64(std::ceil(x - reach)),
                      geometry::saturating_int64(std::floor(x + reach)), i0, i1);
}

template <class T, bool WithArea>
Totals ring_exact_aperture(const CircCaptures<T>& c, double x, double y) {
    const double r = c.outer.r;
    const geometry::PixelBox box = geometry::pixel_box(x, y, r, r);
    const geometry::PixelRange range = geometry::clip_to_image(box, c.nx, c.ny);
    const bool has_inner = c.inner.r != 0.0;
    const std::int64_t nearest = geometry::saturating_int64(std::nearbyint(x));
    Totals totals{0.0, 0.0};
    if (!range.empty()) {
        totals = fold_rows(c.values, c.nx, range, totals, [&](std::int64_t j, const T* row, Totals t) {
            const CircleRow terms = circle_row(static_cast<double>(j), y);
            const double dy2 = terms.dy2;
            const double y0 = terms.y0;
            const double y1 = terms.y1;
            // The weight of any pixel of the row, 0 for one wholly outside.
            const auto weight = [&](std::int64_t i) {
                const double fi = static_cast<double>(i);
                const double dx = fi - x;
                const double d2 = dy2 + dx * dx;
                if (d2 > c.outer.outside2) return 0.0;
                const double x0 = (fi - 0.5) - x;
                const double x1 = (fi + 0.5) - x;
                return ring_pixel_weight(c.outer, c.inner, has_inner, d2, x0, y0, x1, y1);
            };
            // [a, b): wholly inside the outer circle; within it, [p, q) may
            // reach the inner circle and is weighed in full.
            const auto [a, b] = row_run<true>(x, nearest, dy2, c.outer.inside2, range.i0, range.i1);
            std::int64_t p = b;
            std::int64_t q = b;
            if (has_inner && a < b) {
                const auto [first, last] = row_run<false>(x, nearest, dy2, c.inner.outside2, a, b);
                if (first < last) {
                    p = first;
                    q = last;
                }
            }
            for (std::int64_t i = range.i0; i < a; ++i) add_weighted<WithArea>(t, weight(i), row[i]);
            for (std::int64_t i = a; i < p; ++i) add_whole<WithArea>(t, row[i]);
            for (std::int64_t i = p; i < q; ++i) add_weighted<WithArea>(t, weight(i), row[i]);
            for (std::int64_t i = q; i < b; ++i) add_whole<WithArea>(t, row[i]);
            for (std::int64_t i = b; i < range.i1; ++i) add_weighted<WithArea>(t, weight(i), row[i]);
            return t;
        });
    }
    if constexpr (WithArea) {
        if (geometry::box_inside_image(box, c.nx, c.ny)) totals.area = c.analytic_area;
    }
    return totals;
}

template <class T>
struct CircCenterCaptures {
    double r;
    std::uint64_t nx;
    std::uint64_t ny;
    double r2;
    const T* values;
};

template <class T>
CircCenterCaptures<T> circ_center_captures(const T* values, std::uint64_t ny, std::uint64_t nx,
                                           double r) {
    return {r, nx, ny, r * r, values};
}

template <class T>
Totals circ_center_aperture(const CircCenterCaptures<T>& c, double x, double y) {
    const geometry::PixelRange range =
        geometry::clip_to_image(geometry::pixel_box(x, y, c.r, c.r), c.nx, c.ny);
    return sum_centres(
        c.values, c.nx, range, x,
        [&](double fj) {
            const double dy = fj - y;
            return dy * dy;
        },
        [&](double dy2, double dx) { return circle_centre_inside(dy2, dx, c.r2); });
}

// The kernels, one instance per element type.
template <class T>
inline constexpr auto sum_circ_slice = sum_slice<ring_exact_aperture<T, true>, CircCaptures<T>>;
template <class T>
inline constexpr auto sum_circ_only_slice =
    sum_only_slice<ring_exact_aperture<T, false>, CircCaptures<T>>;
template <class T>
inline constexpr auto sum_circ_center_slice =
    sum_slice<circ_center_aperture<T>, CircCenterCaptures<T>>;
template <class T>
inline constexpr auto sum_circ_ann_slice = sum_slice<ring_exact_aperture<T, true>, CircCaptures<T>>;
template <class T>
inline constexpr auto sum_circ_ann_only_slice =
    sum_only_slice<ring_exact_aperture<T, false>, CircCaptures<T>>;

}  // namespace quorvantel::pyapi::summation
