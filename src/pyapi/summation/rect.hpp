// Rotated-rectangle sums.  Pixels are judged in the rectangle's own frame:
// u along the width (angle theta from the x axis), v along the height.  A
// pixel whose centre lies at least half a projected pixel inside both pairs
// of edges weighs 1, one that far outside either pair is skipped, and the
// few in between are clipped exactly against the four edges.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <tuple>
#include <utility>

#include "fault.hpp"
#include "geometry/geometry.hpp"
#include "geometry/pixel_box.hpp"
#include "geometry/shape_frames.hpp"
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


template <class T>
RectCaptures<T> rect_captures(const T* values, std::uint64_t ny, std::uint64_t nx, double w,
                              double h, double theta) {
    const geometry::RectFrame f = geometry::rect_frame(w, h, theta);
    const double pix_half = (std::fabs(f.c) + std::fabs(f.s)) * 0.5;
    return {f.ext_x, f.ext_y, nx, ny, f.c, f.s, f.hw, pix_half, f.hh, values, w, h};
}

template <class T>
RectCenterCaptures<T> rect_center_captures(const T* values, std::uint64_t ny, std::uint64_t nx,
                                           double w, double h, double theta) {
    const geometry::RectFrame f = geometry::rect_frame(w, h, theta);
    return {f.ext_x, f.ext_y, nx, ny, f.c, f.s, f.hw, f.hh, values};
}

namespace rect_detail {

// The offsets dx at which |k dx + m| <= h, near enough, as [lo, hi]: all of
// them when k is 0 and |m| <= h, none (NaN bounds) when k is 0 otherwise.
// Only the estimate a row's run starts from, so it may multiply by the
// reciprocal inv_k = 1 / k, formed once per aperture.
inline std::pair<double, double> band(double k, double inv_k, double m, double h) {
    if (k == 0.0) {
        constexpr double inf = std::numeric_limits<double>::infinity();
        return std::fabs(m) <= h ? std::pair{-inf, inf} : std::pair{NOT_A_NUMBER, NOT_A_NUMBER};
    }
    const double p = (-h - m) * inv_k;
    const double q = (h - m) * inv_k;
    return k > 0.0 ? std::pair{p, q} : std::pair{q, p};
}

inline constexpr double MIN_RUN = 4.0;

// The strict test of the pixel centre at column offset dx of a turned row
// against the rectangle |u| < hw, |v| < hh.
inline bool centre_inside(const TurnedRow& row, double dx, double c, double s, double hw,
                          double hh) {
    return std::fabs(c * dx + row.s_dy) < hw && std::fabs(row.c_dy - s * dx) < hh;
}

// The exact weight of pixel column fi of a turned row.
inline double pixel_weight(const TurnedRow& row, double fi, double x, double c, double s,
                           double hw, double hh) {
    geometry::Point buf[geometry::RECT_CLIP_CAPACITY];
    turned_corners(row, fi, x, c, s, buf);
    return geometry::clipped_pixel_weight(buf, hw, hh);
}

}  // namespace rect_detail

template <class T>
Totals rect_exact_aperture(const RectCaptures<T>& c, double x, double y) {
    const geometry::PixelBox box = geometry::pixel_box(x, y, c.ext_x, c.ext_y);
    const geometry::PixelRange range = geometry::clip_to_image(box, c.nx, c.ny);
    Totals totals{0.0, 0.0};
    if (!range.empty()) {
        const double cs = c.c;
        const double sn = c.s;
        const double in_u = c.hw - c.pix_half;
        const double in_v = c.hh - c.pix_half;
        const double out_u = c.hw + c.pix_half;
        const double out_v = c.hh + c.pix_half;
        const double inv_c = 1.0 / cs;
        const double inv_minus_s = 1.0 / -sn;
        totals = fold_rows(c.values, c.nx, range, totals, [&](std::int64_t j, const T* row, Totals t) {
            const TurnedRow turned = turned_row(static_cast<double>(j), y, cs, sn);
            // The distances |u|, |v| of a pixel centre from the rectangle's axes.
            const auto offsets = [&](std::int64_t i) {
                const double dx = static_cast<double>(i) - x;
                return std::pair{std::fabs(cs * dx + turned.s_dy), std::fabs(turned.c_dy - sn * dx)};
            };
            const auto whole = [&](std::int64_t i) {
                const auto [au, av] = offsets(i);
                return au <= in_u && av <= in_v;
            };
            // The weight of any pixel of the row, 0 for one wholly outside.
            const auto weight = [&](std::int64_t i) {
                const auto [au, av] = offsets(i);
                if (au <= in_u && av <= in_v) return 1.0;
                if (au >= out_u || av >= out_v) return 0.0;
                return rect_detail::pixel_weight(turned, static_cast<double>(i), x, cs, sn, c.hw,
                                                 c.hh);
            };
            // Along a row u and v each change monotonically, in floating point
            // too, so the whole pixels form one run [a, b), estimated from the
            // two bands and settled by the whole-pixel test itself.
            const auto [u_lo, u_hi] = rect_detail::band(cs, inv_c, turned.s_dy, in_u);
            const auto [v_lo, v_hi] = rect_detail::band(-sn, inv_minus_s, turned.c_dy, in_v);
            const double lo = std::max(u_lo, v_lo);
            const double hi = std::min(u_hi, v_hi);
            std::int64_t a = range.i0;
            std::int64_t b = range.i0;
            // Settling a run costs about what testing four pixels does: a
            // shorter one is left to the pixel rule.
            if (hi - lo >= rect_detail::MIN_RUN) {
                const std::int64_t first = geometry::saturating_int64(std::ceil(x + lo));
                const std::int64_t last = geometry::saturating_int64(std::floor(x + hi));
                const std::int64_t seed = geometry::saturating_int64(std::floor(x + (lo + hi) * 0.5 + 0.5));
                std::tie(a, b) = settle_run(whole, seed, first, last, range.i0, range.i1);
            }
            for (std::int64_t i = range.i0; i < a; ++i) add_weighted<true>(t, weight(i), row[i]);
            for (std::int64_t i = a; i < b; ++i) add_whole<true>(t, row[i]);
            for (std::int64_t i = b; i < range.i1; ++i) add_weighted<true>(t, weight(i), row[i]);
            return t;
        });
    }
    if (geometry::box_inside_image(box, c.nx, c.ny)) totals.area = c.w * c.h;
    return totals;
}

template <class T>
Totals rect_center_aperture(const RectCenterCaptures<T>& c, double x, double y) {
    const geometry::PixelRange range =
        geometry::clip_to_image(geometry::pixel_box(x, y, c.ext_x, c.ext_y), c.nx, c.ny);
    return sum_centres(
        c.values, c.nx, range, x, [&](double fj) { return turned_row(fj, y, c.c, c.s); },
        [&](const TurnedRow& t, double dx) {
            return rect_detail::centre_inside(t, dx, c.c, c.s, c.hw, c.hh);
        });
}

// The kernels, one instance per element type.
template <class T>
inline constexpr auto sum_rect_slice = sum_slice<rect_exact_aperture<T>, RectCaptures<T>>;
template <class T>
inline constexpr auto sum_rect_center_slice =
    sum_slice<rect_center_aperture<T>, RectCenterCaptures<T>>;

}  // namespace quorvantel::pyapi::summation
