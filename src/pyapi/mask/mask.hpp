// Distance queries over boolean masks, for the package's Python code.  Mask
// elements are read as bytes, so any non-zero byte is True.
#pragma once

#include <cstdint>
#include <vector>

#include "pyapi/support/arrays.hpp"
#include "pyapi/support/error.hpp"
#include "pyapi/support/results.hpp"

namespace quorvantel::pyapi::mask {

using MaskArg = support::ArrayArg<npy_bool, support::ANY_DIMENSIONS>;
using SelectedArg = support::ArrayArg<npy_bool, 2>;

// The largest Euclidean distance, in index space, from `center` to a True
// element of `mask`, and (with return_pos) the index tuples of every element
// at exactly that distance, in C order.
support::Outcome<support::FarthestPixel> _farthest_mask_pixel(MaskArg mask,
                                                               support::VectorArg center,
                                                               bool return_pos);

// The distance from (x0, y0) of every True element (r, c) of `selected`,
// placed at pixel (x_min + c, y_min + r), in row-major order.
support::Outcome<std::vector<double>> _selected_pixel_distances(SelectedArg selected, double x0,
                                                                double y0, std::int64_t x_min,
                                                                std::int64_t y_min);

}  // namespace quorvantel::pyapi::mask
