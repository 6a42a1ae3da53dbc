// Pixel boxes of many apertures.  Every bboxes_* function is an instance of
// one template over the shape; a shape says which parameters it accepts and
// which per-call frame it derives from them, and the frame fixes how an
// aperture's box follows from its centre.  The box rules themselves live in
// src/geometry, shared with every family that handles the shape, so the
// boxes reported here are the boxes the rasters and sums walk.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "geometry/pixel_box.hpp"
#include "geometry/shape_frames.hpp"
#include "pyapi/apsum/apsum.hpp"
#include "pyapi/support/arrays.hpp"
#include "pyapi/support/call.hpp"
#include "pyapi/support/error.hpp"
#include "pyapi/support/results.hpp"

namespace quorvantel::pyapi::bbox {

using apsum::positive;
using geometry::PixelBox;
using support::BoxLists;
using support::Error;
using support::Outcome;
using support::VectorArg;

// A shape's box from its per-call frame and a centre.
inline PixelBox frame_box(double r, double x, double y) { return geometry::pixel_box(x, y, r, r); }
inline PixelBox frame_box(const geometry::RectFrame& f, double x, double y) {
    return geometry::pixel_box(x, y, f.ext_x, f.ext_y);
}
inline PixelBox frame_box(const geometry::EllipFrame& f, double x, double y) {
    return geometry::pixel_box(x, y, f.ex, f.ey);
}
inline PixelBox frame_box(const geometry::PillFrame& f, double x, double y) {
    return geometry::pill_box(f, x, y);
}

struct Circle {
    static constexpr std::size_t parameters = 1;
    static constexpr const char* message = "invalid circle bbox parameters";
    static bool accepts(double r) { return positive(r); }
    static double frame(double r) { return r; }
};

// Two positive sizes and a finite angle.
template <auto MakeFrame, support::FixedString Message>
struct Turned {
    static constexpr std::size_t parameters = 3;
    static constexpr const char* message = Message.text;
    static bool accepts(double p, double q, double theta) {
        return positive(p) && positive(q) && std::isfinite(theta);
    }
    static auto frame(double p, double q, double theta) { return MakeFrame(p, q, theta); }
};

using Rectangle = Turned<&geometry::rect_frame, "invalid rectangle bbox parameters">;
using Ellipse = Turned<&geometry::ellip_frame, "invalid ellipse bbox parameters">;

struct Pill {
    static constexpr std::size_t parameters = 4;
    static constexpr const char* message = "invalid pill bbox parameters";
    static bool accepts(double w, double a, double b, double theta) {
        return positive(w) && positive(a) && positive(b) && std::isfinite(theta);
    }
    static geometry::PillFrame frame(double w, double a, double b, double theta) {
        return geometry::pill_frame(w, a, b, theta);
    }
};

// The box of the outer pill; the inner one is only validated.
struct PillAnnulus {
    static constexpr std::size_t parameters = 8;
    static constexpr const char* message = "invalid pill annulus bbox parameters";
    static bool accepts(double w_in, double a_in, double b_in, double w_out, double a_out,
                        double b_out, double theta_in, double theta_out) {
        return Pill::accepts(w_in, a_in, b_in, theta_in) &&
               Pill::accepts(w_out, a_out, b_out, theta_out) && w_in < w_out && a_in < a_out &&
               b_in < b_out;
    }
    static geometry::PillFrame frame(double /*w_in*/, double /*a_in*/, double /*b_in*/,
                                     double w_out, double a_out, double b_out,
                                     double /*theta_in*/, double theta_out) {
        return geometry::pill_frame(w_out, a_out, b_out, theta_out);
    }
};

template <std::size_t> using Param = double;

// Arrays, lengths, parameters, then the boxes in aperture order; a
// non-finite centre anywhere fails the whole call.
template <class Shape, class... P>
Outcome<BoxLists> boxes(VectorArg xs_array, VectorArg ys_array, P... params) {
    auto centres = support::centre_slices(xs_array, ys_array);
    if (!centres.ok()) return centres.error();
    const auto [xs, ys] = centres.value();
    if (!Shape::accepts(params...)) return Error::value(Shape::message);

    const auto frame = Shape::frame(params...);
    BoxLists out;
    out.x_min.reserve(xs.size());
    out.x_max.reserve(xs.size());
    out.y_min.reserve(xs.size());
    out.y_max.reserve(xs.size());
    for (std::size_t k = 0; k < xs.size(); ++k) {
        if (!std::isfinite(xs[k]) || !std::isfinite(ys[k])) {
            return Error::value("x and y must be finite");
        }
        const PixelBox b = frame_box(frame, xs[k], ys[k]);
        out.x_min.push_back(b.x_min);
        out.x_max.push_back(b.x_max);
        out.y_min.push_back(b.y_min);
        out.y_max.push_back(b.y_max);
    }
    return out;
}

template <class Shape, class Index = std::make_index_sequence<Shape::parameters>>
struct Bboxes;

template <class Shape, std::size_t... I>
struct Bboxes<Shape, std::index_sequence<I...>> {
    static Outcome<BoxLists> many(VectorArg xs, VectorArg ys, Param<I>... params) {
        return boxes<Shape>(xs, ys, params...);
    }
};

}  // namespace quorvantel::pyapi::bbox
