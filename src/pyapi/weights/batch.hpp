// What every many-aperture weights function shares: one aperture's raster
// with its box, the step that sizes the box and fills it, and the assembly of
// the batch into NumPy arrays that take over the rasters without a copy.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "geometry/pixel_box.hpp"
#include "pyapi/raster/frame.hpp"
#include "pyapi/support/error.hpp"
#include "pyapi/support/results.hpp"

namespace quorvantel::pyapi::weights {

using support::Error;
using support::Outcome;

// The raster of one aperture: element row * nx + col is pixel
// (x_min + col, y_min + row).
struct ApertureWeights {
    std::vector<double> weights;
    std::int64_t x_min;
    std::int64_t x_max;
    std::int64_t y_min;
    std::int64_t y_max;
};

// One aperture over its box: the box's extent and size are checked, then
// fill(x_min, y_min, ny, nx) makes the raster.
template <class Fill>
Outcome<ApertureWeights> aperture_weights(const geometry::PixelBox& box, const Fill& fill) {
    auto dims = raster::checked_weights_dimensions(box.x_min, box.x_max, box.y_min, box.y_max);
    if (!dims.ok()) return dims.error();
    auto values = fill(box.x_min, box.y_min, dims.value().ny, dims.value().nx);
    if (!values.ok()) return values.error();
    return ApertureWeights{values.take(), box.x_min, box.x_max, box.y_min, box.y_max};
}

// The tuple (arrays, x_min, x_max, y_min, y_max), or the error of the lowest
// failing aperture.  The rasters pass to their arrays without a copy.
Outcome<support::OwnedObject> weights_batch(std::vector<Outcome<ApertureWeights>>&& outcomes);

}  // namespace quorvantel::pyapi::weights
