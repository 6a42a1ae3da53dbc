// Pixel boxes: the half-open index ranges that a shape's footprint covers.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace quorvantel::geometry {

// A double converted to a signed 64-bit integer with saturation; NaN gives 0.
inline std::int64_t saturating_int64(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775808.0) return INT64_MAX;
    if (v < -9223372036854775808.0) return INT64_MIN;
    return static_cast<std::int64_t>(v);
}

// x_min <= i < x_max, y_min <= j < y_max.
struct PixelBox {
    std::int64_t x_min;
    std::int64_t x_max;
    std::int64_t y_min;
    std::int64_t y_max;
};

// The box of a shape with half-extents (ex, ey) about (x, y).
inline PixelBox pixel_box(double x, double y, double ex, double ey) {
    return {saturating_int64(std::floor((x - ex) + 0.5)), saturating_int64(std::ceil((x + ex) + 0.5)),
            saturating_int64(std::floor((y - ey) + 0.5)), saturating_int64(std::ceil((y + ey) + 0.5))};
}

// The part of a box inside an image of ny rows and nx columns.
struct PixelRange {
    std::int64_t i0, i1, j0, j1;
    bool empty() const { return i1 <= i0 || j1 <= j0; }
};

inline PixelRange clip_to_image(const PixelBox& box, std::uint64_t nx, std::uint64_t ny) {
    const auto clamp_dim = [](std::uint64_t n) {
        return n > static_cast<std::uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<std::int64_t>(n);
    };
    return {std::max<std::int64_t>(box.x_min, 0), std::min(box.x_max, clamp_dim(nx)),
            std::max<std::int64_t>(box.y_min, 0), std::min(box.y_max, clamp_dim(ny))};
}

// Whether the unclipped box lies inside the image.
inline bool box_inside_image(const PixelBox& box, std::uint64_t nx, std::uint64_t ny) {
    return box.x_min >= 0 && box.y_min >= 0 && box.x_max >= 0 && box.y_max >= 0 &&
           static_cast<std::uint64_t>(box.x_max) <= nx && static_cast<std::uint64_t>(box.y_max) <= ny;
}

}  // namespace quorvantel::geometry
