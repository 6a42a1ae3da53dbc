#include "pyapi/path/functions.hpp"

#include <span>

namespace quorvantel::pyapi::path {

using support::Outcome;

namespace {

constexpr const char* FINITE_CENTRES = "x and y must be finite float64 arrays";

struct Centres {
    std::span<const double> xs;
    std::span<const double> ys;
};

// The centre vectors of a many-aperture path function, checked.
Outcome<Centres> centres(VectorArg xs, VectorArg ys) {
    auto x = support::vector_slice(xs, "x");
    if (!x.ok()) return x.error();
    auto y = support::vector_slice(ys, "y");
    if (!y.ok()) return y.error();
    if (auto error = support::validate_many_weights_inputs(x.value(), y.value(), FINITE_CENTRES)) {
        return *error;
    }
    return Centres{x.value(), y.value()};
}

}  // namespace

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
