// The path functions: boxes and weight rasters of a free outline placed at
// many centres or at one.
#pragma once

#include <cstdint>

#include "pyapi/path/parse.hpp"
#include "pyapi/support/results.hpp"

namespace quorvantel::pyapi::path {

using support::VectorArg;

support::Outcome<support::BoxLists> bboxes_path(VectorArg xs, VectorArg ys, KindsArg kinds,
                                                RowsArg data);

}  // namespace quorvantel::pyapi::path
