// The path functions: boxes and weight rasters of a free outline placed at
// many centres or at one.
#pragma once

#include <cstdint>
#include <vector>

#include "pyapi/path/parse.hpp"
#include "pyapi/support/results.hpp"

namespace quorvantel::pyapi::path {

using support::VectorArg;

support::Outcome<support::BoxLists> bboxes_path(VectorArg xs, VectorArg ys, KindsArg kinds,
                                                RowsArg data);

enum class PathMode { Exact, Center };

// The rasters of the path at every centre: (arrays, x_min, x_max, y_min, y_max).
template <PathMode M>
support::Outcome<support::OwnedObject> weights_path(VectorArg xs, VectorArg ys, KindsArg kinds,
                                                    RowsArg data);

// The raster of the path at (x, y) over the caller's box, row-major.
template <PathMode M>
support::Outcome<std::vector<double>> weights_path_one(double x, double y, KindsArg kinds,
                                                       RowsArg data, std::int64_t x_min,
                                                       std::int64_t y_min, std::uint64_t ny,
                                                       std::uint64_t nx);

extern template support::Outcome<support::OwnedObject> weights_path<PathMode::Exact>(
    VectorArg, VectorArg, KindsArg, RowsArg);
extern template support::Outcome<support::OwnedObject> weights_path<PathMode::Center>(
    VectorArg, VectorArg, KindsArg, RowsArg);
extern template support::Outcome<std::vector<double>> weights_path_one<PathMode::Exact>(
    double, double, KindsArg, RowsArg, std::int64_t, std::int64_t, std::uint64_t, std::uint64_t);
extern template support::Outcome<std::vector<double>> weights_path_one<PathMode::Center>(
    double, double, KindsArg, RowsArg, std::int64_t, std::int64_t, std::uint64_t, std::uint64_t);

}  // namespace quorvantel::pyapi::path
