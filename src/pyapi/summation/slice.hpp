// The common frame of the summation kernels.  A shape supplies one aperture
// function, aperture(captures, x, y, sum, area), that adds up one aperture
// with a finite centre; the many-aperture kernels and the single-aperture
// sums all run that same function, so their results agree bit for bit.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>

#include "geometry/pixel_box.hpp"

namespace quorvantel::pyapi::summation {

inline constexpr double PI = 3.141592653589793;
inline constexpr double PIXEL_HALF_DIAGONAL = 0.7071067811865476;
inline constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();

// A pixel value widened exactly to double (integers sign-extended).
template <class T>
inline double widen(T value) {
    return static_cast<double>(value);
}

// Pixel rows of a clipped box, walked with the rows ahead already on their way
// into the cache: apertures land anywhere in a large image, and a cold row
// costs more than the arithmetic of its pixels.
inline constexpr std::int64_t PREFETCH_ROWS = 16;

template <class T>
inline void prefetch_row(const T* row, const geometry::PixelRange& range) {
    for (std::int64_t i = range.i0; i < range.i1; i += 64 / sizeof(T)) __builtin_prefetch(row + i);
    __builtin_prefetch(row + (range.i1 - 1));
}

// Runs visit(j, row) for j = j0 .. j1 - 1 of a non-empty range, in order.
template <class T, class Visit>
inline void for_each_row(const T* values, std::uint64_t nx, const geometry::PixelRange& range,
                         Visit&& visit) {
    const auto row_of = [&](std::int64_t j) { return values + static_cast<std::uint64_t>(j) * nx; };
    for (std::int64_t j = range.j0; j < range.j1 && j - range.j0 < PREFETCH_ROWS; ++j) {
        prefetch_row(row_of(j), range);
    }
    for (std::int64_t j = range.j0; j < range.j1; ++j) {
        if (range.j1 - j > PREFETCH_ROWS) prefetch_row(row_of(j + PREFETCH_ROWS), range);
        visit(j, row_of(j));
    }
}

// Runs the apertures of a chunk in index order; a non-finite centre gives NaN
// outputs for that aperture alone.
template <auto Aperture, bool WithAreas, class Captures>
void run_apertures(const Captures& c, std::span<const double> xs, std::span<const double> ys,
                   std::span<double> sums, std::span<double> areas) {
    for (std::size_t k = 0; k < xs.size(); ++k) {
        const double x = xs[k];
        const double y = ys[k];
        double sum = NOT_A_NUMBER;
        double area = NOT_A_NUMBER;
        if (std::isfinite(x) && std::isfinite(y)) {
            sum = 0.0;
            area = 0.0;
            Aperture(c, x, y, sum, area);
        }
        sums[k] = sum;
        if constexpr (WithAreas) areas[k] = area;
    }
}

// Two-output kernel: sums and areas (or counts).
template <auto Aperture, class Captures>
void sum_slice(const Captures& c, std::span<const double> xs, std::span<const double> ys,
               std::span<double> sums, std::span<double> areas) {
    run_apertures<Aperture, true>(c, xs, ys, sums, areas);
}

// Sums-only kernel.
template <auto Aperture, class Captures>
void sum_only_slice(const Captures& c, std::span<const double> xs, std::span<const double> ys,
                    std::span<double> sums) {
    run_apertures<Aperture, false>(c, xs, ys, sums, {});
}

// One aperture on the calling thread: (sum, area).
template <auto Aperture, class Captures>
std::pair<double, double> sum_one(const Captures& c, double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return {NOT_A_NUMBER, NOT_A_NUMBER};
    double sum = 0.0;
    double area = 0.0;
    Aperture(c, x, y, sum, area);
    return {sum, area};
}

}  // namespace quorvantel::pyapi::summation
