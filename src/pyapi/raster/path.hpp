// Cell rules of a free path placed at an aperture centre: the exact area of
// each pixel inside it, or whether each pixel centre belongs to it.
#pragma once

#include "geometry/path.hpp"
#include "pyapi/raster/cells.hpp"

namespace quorvantel::pyapi::raster {

struct PathExactCell {
    const geometry::ValidatedPath& path;
    double x, y;
    double row(double fy) const { return fy; }
    double operator()(double fy, double fx) const {
        return geometry::path_pixel_area_at(path, fx, fy, x, y);
    }
};

// A centre on the outer outline is inside, one on a hole's outline outside.
struct PathCenterCell : CentreCell<PathCenterCell> {
    const geometry::ValidatedPath& path;
    double x, y;
    PathCenterCell(const geometry::ValidatedPath& p, double cx, double cy) : path(p), x(cx), y(cy) {}
    double row(double fy) const { return fy - y; }
    bool inside(double dy, double fx) const { return geometry::path_contains_point(path, fx - x, dy); }
};

}  // namespace quorvantel::pyapi::raster
