// The pixel box of a path placed at an aperture centre.
#include "geometry/path.hpp"

#include <cmath>

#include "fault.hpp"

namespace quorvantel::geometry {

PixelBox path_bbox(std::span<const PathContour> path, double x, double y) {
    if (path.empty()) throw Fault("path box of a path without contours");
    const PathContour& outer = path[0];
    return {saturating_int64(std::floor((x + outer.min_x) - 0.5)),
            saturating_int64(std::ceil((x + outer.max_x) + 0.5)),
            saturating_int64(std::floor((y + outer.min_y) - 0.5)),
            saturating_int64(std::ceil((y + outer.max_y) + 0.5))};
}

}  // namespace quorvantel::geometry
