// The raster frame: one aperture's weights over a pixel box of ny rows and nx
// columns whose first pixel is (x_min, y_min), one double per pixel in
// row-major order.  A cell rule supplies the weight of a pixel; the frame
// sizes and allocates the buffer, checks the pixel indices and walks the
// cells.  Every cell is written once and depends only on its pixel, so the
// raster is the same whatever part of the box a caller asks for.
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "pyapi/support/error.hpp"

namespace quorvantel::pyapi::raster {

using support::Error;
using support::Outcome;

// A pixel index that leaves the 64-bit range, or a box that collapses.
Error extent_error();
// ny * nx does not fit in 64 bits.
Error too_large_error();

struct Dimensions {
    std::uint64_t ny;
    std::uint64_t nx;
};

// The (ny, nx) of a half-open box; both at least 1 and their product within
// 64 bits, else the error.
Outcome<Dimensions> checked_weights_dimensions(std::int64_t x_min, std::int64_t x_max,
                                               std::int64_t y_min, std::int64_t y_max);

// A zero-filled buffer of n doubles.  Reserving 2^60 doubles or more (their
// byte count would not fit in a signed 64-bit size) is refused outright.
Outcome<std::vector<double>> zeroed_weights(std::uint64_t n);

// Fills the raster with cell(cell.row(py), px) for pixel (px, py), both as
// doubles.  A Cell provides `Row row(double py) const` (what a row shares)
// and `double operator()(const Row&, double px) const`.
template <class Cell>
Outcome<std::vector<double>> weights_values(const Cell& cell, std::int64_t x_min,
                                            std::int64_t y_min, std::uint64_t ny,
                                            std::uint64_t nx) {
    std::uint64_t n = 0;
    if (__builtin_mul_overflow(ny, nx, &n)) return too_large_error();
    auto buffer = zeroed_weights(n);
    if (!buffer.ok() || ny == 0) return buffer;
    // The indices rise from the first pixel, so they all fit when the last
    // row's and the last column's do; the last row is tested even without
    // columns.
    std::int64_t last = 0;
    if (__builtin_add_overflow(y_min, ny - 1, &last)) return extent_error();
    if (nx == 0) return buffer;
    if (__builtin_add_overflow(x_min, nx - 1, &last)) return extent_error();
    // Here ny and nx are below 2^60, so the offsets fit in signed 64 bits.
    double* out = buffer.value().data();
    for (std::uint64_t row = 0; row < ny; ++row) {
        const auto r = cell.row(static_cast<double>(y_min + static_cast<std::int64_t>(row)));
        for (std::uint64_t col = 0; col < nx; ++col) {
            *out++ = cell(r, static_cast<double>(x_min + static_cast<std::int64_t>(col)));
        }
    }
    return buffer;
}

}  // namespace quorvantel::pyapi::raster
