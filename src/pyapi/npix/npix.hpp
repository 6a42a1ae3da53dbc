// Pixel counts: how much of each aperture lies inside an image of ny rows and
// nx columns, with no image data.  Every npix_* function is an instance of
// one template over shape and mode.  A shape brings its per-call frame, its
// per-row terms, its strict centre test and its exact pixel weight; box,
// centre tests and pixel weights are those of the aperture sums, so a count
// or an area here is what the sums report over an image of ones.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "geometry/geometry.hpp"
#include "geometry/pixel_box.hpp"
#include "geometry/shape_frames.hpp"
#include "pyapi/apsum/apsum.hpp"
#include "pyapi/summation/circle.hpp"
#include "pyapi/summation/ellipse.hpp"
#include "pyapi/summation/rect.hpp"
#include "pyapi/summation/slice.hpp"
#include "pyapi/support/arrays.hpp"
#include "pyapi/support/error.hpp"

namespace quorvantel::pyapi::npix {

using support::Outcome;
using support::VectorArg;
using summation::PI;
using summation::TurnedRow;

enum class Mode { Exact, Center };

// Disc bounds that never decide a pixel: every pixel takes the clamped
// disc-pixel overlap.
inline constexpr double NEVER = std::numeric_limits<double>::infinity();

struct CircleFrame {
    summation::DiscBounds disc;
    double r2;
    double ex;
    double ey;
    double area;
};

using summation::CircleRow;

inline CircleRow row_terms(const CircleFrame& /*f*/, double fj, double y) {
    return summation::circle_row(fj, y);
}

struct Circle {
    using Accepted = apsum::Circle;  // the sums' parameter rule and message
    static constexpr std::size_t parameters = 1;
    static CircleFrame frame(double r) { return {{r, -NEVER, NEVER}, r * r, r, r, r * (r * PI)}; }
    static bool inside(const CircleFrame& f, const CircleRow& row, double dx) {
        return summation::circle_centre_inside(row.dy2, dx, f.r2);
    }
    static double weight(const CircleFrame& f, const CircleRow& row, double fi, double x) {
        return summation::disc_pixel_weight(f.disc, 0.0, (fi - 0.5) - x, row.y0, (fi + 0.5) - x,
                                            row.y1);
    }
};

// The frame of a turned shape: its angle, its two sizes (half width and half
// height of a rectangle, semi-axes of an ellipse), its half-extents and its
// analytic area.
struct TurnedFrame {
    double c;
    double s;
    double p;
    double q;
    double ex;
    double ey;
    double area;
};

inline TurnedRow row_terms(const TurnedFrame& f, double fj, double y) {
    return summation::turned_row(fj, y, f.c, f.s);
}

struct Rectangle {
    using Accepted = apsum::Rectangle;
    static constexpr std::size_t parameters = 3;
    static TurnedFrame frame(double w, double h, double theta) {
        const geometry::RectFrame f = geometry::rect_frame(w, h, theta);
        return {f.c, f.s, f.hw, f.hh, f.ext_x, f.ext_y, w * h};
    }
    static bool inside(const TurnedFrame& f, const TurnedRow& t, double dx) {
        return summation::rect_detail::centre_inside(t, dx, f.c, f.s, f.p, f.q);
    }
    static double weight(const TurnedFrame& f, const TurnedRow& t, double fi, double x) {
        return summation::rect_detail::pixel_weight(t, fi, x, f.c, f.s, f.p, f.q);
    }
};

struct Ellipse {
    using Accepted = apsum::Ellipse;
    static constexpr std::size_t parameters = 3;
    static TurnedFrame frame(double a, double b, double theta) {
        const geometry::EllipFrame f = geometry::ellip_frame(a, b, theta);
        return {f.c, f.s, a, b, f.ex, f.ey, (a * PI) * b};
    }
    static bool inside(const TurnedFrame& f, const TurnedRow& t, double dx) {
        return summation::ellip_detail::centre_inside(t, dx, f.c, f.s, f.p, f.q);
    }
    static double weight(const TurnedFrame& f, const TurnedRow& t, double fi, double x) {
        return summation::ellip_detail::pixel_weight(t, fi, x, f.c, f.s, f.p, f.q);
    }
};

// One aperture with a finite centre.  An exact aperture whose box lies in
// the image takes the analytic area; otherwise the pixels of the box inside
// the image are added row by row, zero weights included.  Image sizes of
// 2**63 and more are taken as 2**63 - 1 by the box helpers.
template <class Shape, Mode M, class Frame>
double aperture(const Frame& f, double x, double y, std::uint64_t ny, std::uint64_t nx) {
    const geometry::PixelBox box = geometry::pixel_box(x, y, f.ex, f.ey);
    if constexpr (M == Mode::Exact) {
        if (geometry::box_inside_image(box, nx, ny)) return f.area;
    }
    const geometry::PixelRange range = geometry::clip_to_image(box, nx, ny);
    double total = 0.0;
    if (range.empty()) return total;
    for (std::int64_t j = range.j0; j < range.j1; ++j) {
        const auto row = row_terms(f, static_cast<double>(j), y);
        for (std::int64_t i = range.i0; i < range.i1; ++i) {
            const double fi = static_cast<double>(i);
            if constexpr (M == Mode::Exact) {
                total = total + Shape::weight(f, row, fi, x);
            } else if (Shape::inside(f, row, fi - x)) {
                total = total + 1.0;
            }
        }
    }
    return total;
}

template <std::size_t> using Param = double;

template <class Shape, Mode M, class Index = std::make_index_sequence<Shape::parameters>>
struct Npix;

template <class Shape, Mode M, std::size_t... I>
struct Npix<Shape, M, std::index_sequence<I...>> {
    static Outcome<std::vector<double>> many(VectorArg xs_array, VectorArg ys_array,
                                             Param<I>... params, std::uint64_t ny,
                                             std::uint64_t nx) {
        auto centres = support::centre_slices(xs_array, ys_array);
        if (!centres.ok()) return centres.error();
        const auto [xs, ys] = centres.value();
        if (auto error = Shape::Accepted::validate(ny, nx, params...)) return *error;

        const auto frame = Shape::frame(params...);
        std::vector<double> out(xs.size(), 0.0);
        for (std::size_t k = 0; k < xs.size(); ++k) {
            out[k] = std::isfinite(xs[k]) && std::isfinite(ys[k])
                         ? aperture<Shape, M>(frame, xs[k], ys[k], ny, nx)
                         : summation::NOT_A_NUMBER;
        }
        return out;
    }
};

}  // namespace quorvantel::pyapi::npix
