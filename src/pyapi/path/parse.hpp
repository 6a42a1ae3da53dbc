// Path input arrays: `kinds` (one int8 command code per row) and `data` (one
// row of six doubles per command), checked for layout, copied, and built
// into a validated path once per call.
#pragma once

#include <cstdint>
#include <vector>

#include "geometry/path.hpp"
#include "pyapi/support/arrays.hpp"
#include "pyapi/support/error.hpp"

namespace quorvantel::pyapi::path {

using KindsArg = support::ArrayArg<std::int8_t, 1>;
using RowsArg = support::ImageArg<double>;

struct ParsedPath {
    std::vector<std::int8_t> kinds;
    std::vector<geometry::PathRow> rows;
};

// The codes and rows copied unchanged; only the arrays' layout is checked.
support::Outcome<ParsedPath> parse_path_inputs(KindsArg kinds, RowsArg data);

// Parsing, then building: the path, or the first violation as a ValueError.
support::Outcome<geometry::ValidatedPath> validated_path(KindsArg kinds, RowsArg data);

}  // namespace quorvantel::pyapi::path
