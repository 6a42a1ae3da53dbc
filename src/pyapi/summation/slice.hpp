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

#include "geometry/geometry.hpp"
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

// Offsets of one pixel row from an aperture centre, turned into the frame of
// a shape at angle theta (c = cos theta, s = sin theta): a point at offset
// (dx, dy) lies at (c dx + s dy, c dy - s dx).  The row's products are formed
// once; a pixel adds only its own column's.
struct TurnedRow {
    double c_dy, s_dy;  // the row's centre
    double c_lo, s_lo;  // its lower edge
    double c_hi, s_hi;  // its upper edge
};

inline TurnedRow turned_row(double fj, double y, double c, double s) {
    const double dy = fj - y;
    const double lo = (fj - 0.5) - y;
    const double hi = (fj + 0.5) - y;
    return {c * dy, s * dy, c * lo, s * lo, c * hi, s * hi};
}

// The corners of pixel column fi of a row in the turned frame, counter-
// clockwise from the (low, low) corner, into corners[0..3].
inline void turned_corners(const TurnedRow& row, double fi, double x, double c, double s,
                           geometry::Point* corners) {
    const double lo = (fi - 0.5) - x;
    const double hi = (fi + 0.5) - x;
    const double c_lo = c * lo;
    const double s_lo = s * lo;
    const double c_hi = c * hi;
    const double s_hi = s * hi;
    corners[0] = {c_lo + row.s_lo, row.c_lo - s_lo};
    corners[1] = {c_hi + row.s_lo, row.c_lo - s_hi};
    corners[2] = {c_hi + row.s_hi, row.c_hi - s_hi};
    corners[3] = {c_lo + row.s_hi, row.c_hi - s_lo};
}

// Centre sampling over a clipped box: every pixel whose centre satisfies
// inside(row_state, dx) adds its value and counts once; row_state is made
// once per row from the row's index.
template <class T, class MakeRow, class Inside>
void sum_centres(const T* values, std::uint64_t nx, const geometry::PixelRange& range, double x,
                 MakeRow make_row, Inside inside, double& sum, double& count) {
    if (range.empty()) return;
    for_each_row(values, nx, range, [&](std::int64_t j, const T* row) {
        const auto state = make_row(static_cast<double>(j));
        for (std::int64_t i = range.i0; i < range.i1; ++i) {
            if (inside(state, static_cast<double>(i) - x)) {
                sum = sum + widen(row[i]);
                count = count + 1.0;
            }
        }
    });
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
