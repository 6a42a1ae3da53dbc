// Pixel boxes of many apertures.  Every bboxes_* function is an instance of
// one template over the shape and its message.  The shapes are those of the
// weights functions (accepted parameters, per-call constants and the box of
// one aperture), so a box reported here is, bound for bound, the box a
// weights raster of the same aperture covers.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "geometry/pixel_box.hpp"
#include "pyapi/support/arrays.hpp"
#include "pyapi/support/call.hpp"
#include "pyapi/support/error.hpp"
#include "pyapi/support/results.hpp"
#include "pyapi/weights/pill.hpp"
#include "pyapi/weights/shapes.hpp"

namespace quorvantel::pyapi::bbox {

using geometry::PixelBox;
using support::BoxLists;
using support::Error;
using support::Outcome;
using support::VectorArg;

template <std::size_t> using Param = double;

template <class Shape, support::FixedString Message,
          class Index = std::make_index_sequence<Shape::parameters>>
struct Bboxes;

// Arrays, lengths, parameters, then the boxes in aperture order; a
// non-finite centre anywhere fails the whole call.
template <class Shape, support::FixedString Message, std::size_t... I>
struct Bboxes<Shape, Message, std::index_sequence<I...>> {
    static Outcome<BoxLists> many(VectorArg xs_array, VectorArg ys_array, Param<I>... params) {
        auto centres = support::centre_slices(xs_array, ys_array);
        if (!centres.ok()) return centres.error();
        const auto [xs, ys] = centres.value();
        if (!Shape::accepted(params...)) return Error::value(Message.text);

        const auto constants = Shape::constants(params...);
        BoxLists out;
        out.x_min.reserve(xs.size());
        out.x_max.reserve(xs.size());
        out.y_min.reserve(xs.size());
        out.y_max.reserve(xs.size());
        for (std::size_t k = 0; k < xs.size(); ++k) {
            if (!std::isfinite(xs[k]) || !std::isfinite(ys[k])) {
                return Error::value("x and y must be finite");
            }
            const PixelBox b = Shape::box(constants, xs[k], ys[k]);
            out.x_min.push_back(b.x_min);
            out.x_max.push_back(b.x_max);
            out.y_min.push_back(b.y_min);
            out.y_max.push_back(b.y_max);
        }
        return out;
    }
};

using Circle = Bboxes<weights::Circle, "invalid circle bbox parameters">;
using Rectangle = Bboxes<weights::Rectangle, "invalid rectangle bbox parameters">;
using Ellipse = Bboxes<weights::Ellipse, "invalid ellipse bbox parameters">;
using Wedge = Bboxes<weights::Wedge, "invalid wedge bbox parameters">;
using Pills = Bboxes<weights::Pill, "invalid pill bbox parameters">;
using PillAnnuli = Bboxes<weights::PillAnnulus, "invalid pill annulus bbox parameters">;

}  // namespace quorvantel::pyapi::bbox
