#include "pyapi/path/functions.hpp"

#include <cmath>
#include <span>
#include <utility>

#include "pyapi/raster/frame.hpp"
#include "pyapi/raster/path.hpp"
#include "pyapi/support/parallel.hpp"
#include "pyapi/weights/batch.hpp"

namespace quorvantel::pyapi::path {

using support::Outcome;

namespace {

constexpr const char* FINITE_CENTRES = "x and y must be finite float64 arrays";

using support::Centres;

// The centre vectors of a many-aperture path function, checked.
Outcome<Centres> centres(VectorArg xs, VectorArg ys) {
    return support::finite_centre_slices(xs, ys, FINITE_CENTRES);
}

// The raster of the path at (x, y) over a box.
template <PathMode M>
Outcome<std::vector<double>> path_raster(const geometry::ValidatedPath& path, double x, double y,
                                         std::int64_t x_min, std::int64_t y_min, std::uint64_t ny,
                                         std::uint64_t nx) {
    if constexpr (M == PathMode::Exact) {
        return raster::weights_values(raster::PathExactCell{path, x, y}, x_min, y_min, ny, nx);
    } else {
        return raster::weights_values(raster::PathCenterCell(path, x, y), x_min, y_min, ny, nx);
    }
}

}  // namespace

template <PathMode M>
Outcome<support::OwnedObject> weights_path(VectorArg xs, VectorArg ys, KindsArg kinds,
                                           RowsArg data) {
    auto c = centres(xs, ys);
    if (!c.ok()) return c.error();
    auto built = validated_path(kinds, data);
    if (!built.ok()) return built.error();
    const geometry::ValidatedPath& path = built.value();
    const Centres& at = c.value();
    auto outcomes = support::run_parallel_map(at.xs.size(), [&](std::uint64_t i) {
        const double x = at.xs[i];
        const double y = at.ys[i];
        return weights::aperture_weights(
            geometry::path_bbox(path, x, y),
            [&](std::int64_t x_min, std::int64_t y_min, std::uint64_t ny, std::uint64_t nx) {
                return path_raster<M>(path, x, y, x_min, y_min, ny, nx);
            });
    });
    return weights::weights_batch(std::move(outcomes));
}

template <PathMode M>
Outcome<std::vector<double>> weights_path_one(double x, double y, KindsArg kinds, RowsArg data,
                                              std::int64_t x_min, std::int64_t y_min,
                                              std::uint64_t ny, std::uint64_t nx) {
    // The geometry is defined for finite centres only.
    if (!std::isfinite(x) || !std::isfinite(y)) return support::Error::value("x and y must be finite");
    auto built = validated_path(kinds, data);
    if (!built.ok()) return built.error();
    // An empty box visits no pixel, so none of its indices is tested.
    if (ny == 0 || nx == 0) return std::vector<double>{};
    return path_raster<M>(built.value(), x, y, x_min, y_min, ny, nx);
}

template Outcome<support::OwnedObject> weights_path<PathMode::Exact>(VectorArg, VectorArg,
                                                                     KindsArg, RowsArg);
template Outcome<support::OwnedObject> weights_path<PathMode::Center>(VectorArg, VectorArg,
                                                                      KindsArg, RowsArg);
template Outcome<std::vector<double>> weights_path_one<PathMode::Exact>(
    double, double, KindsArg, RowsArg, std::int64_t, std::int64_t, std::uint64_t, std::uint64_t);
template Outcome<std::vector<double>> weights_path_one<PathMode::Center>(
    double, double, KindsArg, RowsArg, std::int64_t, std::int64_t, std::uint64_t, std::uint64_t);

Outcome<support::BoxLists> bboxes_path(VectorArg xs, VectorArg ys, KindsArg kinds, RowsArg data) {
    auto c = centres(xs, ys);
    if (!c.ok()) return c.error();
    auto path = validated_path(kinds, data);
    if (!path.ok()) return path.error();
    const std::size_t n = c.value().xs.size();
    support::BoxLists boxes;
    boxes.x_min.assign(n, 0);
    boxes.x_max.assign(n, 0);
    boxes.y_min.assign(n, 0);
    boxes.y_max.assign(n, 0);
    for (std::size_t k = 0; k < n; ++k) {
        const geometry::PixelBox b = geometry::path_bbox(path.value(), c.value().xs[k], c.value().ys[k]);
        boxes.x_min[k] = b.x_min;
        boxes.x_max[k] = b.x_max;
        boxes.y_min[k] = b.y_min;
        boxes.y_max[k] = b.y_max;
    }
    return boxes;
}

}  // namespace quorvantel::pyapi::path
