// The weights functions of the shapes: one road, instantiated per shape and
// mode.  The many-aperture form checks x, y and the parameters, makes the
// shape's constants once, maps every aperture through its box and raster
// (on the pool from the parallel threshold up) and hands the rasters to
// NumPy.  The `_one` form fills one raster over the caller's box.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "pyapi/support/arrays.hpp"
#include "pyapi/support/parallel.hpp"
#include "pyapi/weights/batch.hpp"
#include "pyapi/weights/shapes.hpp"

namespace quorvantel::pyapi::weights {

template <std::size_t> using Param = double;

template <class Shape, Mode M, class Index = std::make_index_sequence<Shape::parameters>>
struct Weights;

template <class Shape, Mode M, std::size_t... I>
struct Weights<Shape, M, std::index_sequence<I...>> {
    static constexpr Messages messages = Shape::messages(M);

    static Outcome<support::OwnedObject> many(support::VectorArg xs, support::VectorArg ys,
                                              Param<I>... params) {
        auto centres = support::finite_centre_slices(xs, ys, messages.shape);
        if (!centres.ok()) return centres.error();
        const std::span<const double> xv = centres.value().xs;
        const std::span<const double> yv = centres.value().ys;
        if (!Shape::accepted(params...)) return Error::value(messages.parameters);
        const auto k = Shape::constants(params...);
        auto outcomes = support::run_parallel_map(xv.size(), [&](std::uint64_t i) {
            const double cx = xv[i];
            const double cy = yv[i];
            return aperture_weights(Shape::box(k, cx, cy),
                                    [&](std::int64_t x_min, std::int64_t y_min, std::uint64_t ny,
                                        std::uint64_t nx) {
                                        return Shape::template values<M>(k, x_min, y_min, ny, nx,
                                                                         cx, cy);
                                    });
        });
        return weights_batch(std::move(outcomes));
    }

    static Outcome<std::vector<double>> one(double x, double y, Param<I>... params,
                                            std::int64_t x_min, std::int64_t y_min,
                                            std::uint64_t ny, std::uint64_t nx) {
        const bool empty = ny == 0 || nx == 0;
        if constexpr (Shape::dimensions_first) {
            if (empty) return Error::value("shape dimensions must be positive");
            if (!Shape::accepted(params...)) return Error::value(messages.parameters);
        } else {
            if (empty || !Shape::accepted(params...)) return Error::value(messages.parameters);
        }
        std::uint64_t n = 0;
        if (!std::isfinite(x) || !std::isfinite(y) || __builtin_mul_overflow(ny, nx, &n)) {
            return Error::value(messages.shape);
        }
        const auto k = Shape::constants(params...);
        return Shape::template values<M>(k, x_min, y_min, ny, nx, x, y);
    }
};

}  // namespace quorvantel::pyapi::weights
