// The common frame of the summation kernels.  A shape supplies one aperture
// function, aperture(captures, x, y) -> Totals, that adds up one aperture
// with a finite centre; the many-aperture kernels and the single-aperture
// sums all run that same function, so their results agree bit for bit.
#pragma once

#include <algorithm>
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

// The running totals of one aperture: the weighted sum of its pixels and
// their area (or count).  Kernels pass them by value from row to row and
// write them back once per aperture, so they live in registers rather than in
// memory the compiler must assume the image might share.
struct Totals {
    double sum;
    double area;
};

// Adds a pixel of weight w to the totals, unless w is zero or NaN.
template <bool WithArea, class T>
inline void add_weighted(Totals& t, double w, T value) {
    if (!(w > 0.0)) return;
    t.sum = t.sum + w * widen(value);
    if constexpr (WithArea) t.area = t.area + w;
}

// Adds a pixel known to weigh 1 (w * v is v itself).
template <bool WithArea, class T>
inline void add_whole(Totals& t, T value) {
    t.sum = t.sum + widen(value);
    if constexpr (WithArea) t.area = t.area + 1.0;
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

// Runs t = visit(j, row, t) for j = j0 .. j1 - 1 of a non-empty range, in
// order, starting from `t`, and returns the last totals.
template <class T, class Visit>
inline Totals fold_rows(const T* values, std::uint64_t nx, const geometry::PixelRange& range,
                        Totals t, Visit&& visit) {
    const auto row_of = [&](std::int64_t j) { return values + static_cast<std::uint64_t>(j) * nx; };
    for (std::int64_t j = range.j0; j < range.j1 && j - range.j0 < PREFETCH_ROWS; ++j) {
        prefetch_row(row_of(j), range);
    }
    for (std::int64_t j = range.j0; j < range.j1; ++j) {
        if (range.j1 - j > PREFETCH_ROWS) prefetch_row(row_of(j + PREFETCH_ROWS), range);
        t = visit(j, row_of(j), t);
    }
    return t;
}

// The run [first, last) of columns i0 <= i < i1 that satisfy `inside`, for a
// rule that holds on one run of columns of a row (or on none).  It starts from
// the estimate [first, last] around the column `seed`: an empty run when the
// seed fails the rule, else the estimate is moved out or in, column by column,
// by the rule itself until its ends are exact.
template <class Inside>
inline std::pair<std::int64_t, std::int64_t> settle_run(Inside inside, std::int64_t seed,
                                                        std::int64_t first, std::int64_t last,
                                                        std::int64_t i0, std::int64_t i1) {
    if (i1 <= i0) return {i0, i0};
    seed = std::clamp(seed, i0, i1 - 1);
    if (!inside(seed)) return {i0, i0};
    first = std::clamp(first, i0, seed);
    last = std::clamp(last, seed, i1 - 1);
    while (first > i0 && inside(first - 1)) --first;
    while (!inside(first)) ++first;
    while (last < i1 - 1 && inside(last + 1)) ++last;
    while (!inside(last)) --last;
    return {first, last + 1};
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
Totals sum_centres(const T* values, std::uint64_t nx, const geometry::PixelRange& range, double x,
                   MakeRow make_row, Inside inside) {
    const Totals zero{0.0, 0.0};
    if (range.empty()) return zero;
    return fold_rows(values, nx, range, zero, [&](std::int64_t j, const T* row, Totals t) {
        const auto state = make_row(static_cast<double>(j));
        for (std::int64_t i = range.i0; i < range.i1; ++i) {
            if (inside(state, static_cast<double>(i) - x)) add_whole<true>(t, row[i]);
        }
        return t;
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
        Totals t{NOT_A_NUMBER, NOT_A_NUMBER};
        if (std::isfinite(x) && std::isfinite(y)) t = Aperture(c, x, y);
        sums[k] = t.sum;
        if constexpr (WithAreas) areas[k] = t.area;
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
    const Totals t = Aperture(c, x, y);
    return {t.sum, t.area};
}

}  // namespace quorvantel::pyapi::summation
