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

namespace quorvantel::pyapi::summation {

inline constexpr double PI = 3.141592653589793;
inline constexpr double PIXEL_HALF_DIAGONAL = 0.7071067811865476;
inline constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();

// A pixel value widened exactly to double (integers sign-extended).
template <class T>
inline double widen(T value) {
    return static_cast<double>(value);
}

// Two-output kernel: sums and areas (or counts).
template <auto Aperture, class Captures>
void sum_slice(const Captures& c, std::span<const double> xs, std::span<const double> ys,
               std::span<double> sums, std::span<double> areas) {
    for (std::size_t k = 0; k < xs.size(); ++k) {
        const double x = xs[k];
        const double y = ys[k];
        if (!std::isfinite(x) || !std::isfinite(y)) {
            sums[k] = NOT_A_NUMBER;
            areas[k] = NOT_A_NUMBER;
            continue;
        }
        double sum = 0.0;
        double area = 0.0;
        Aperture(c, x, y, sum, area);
        sums[k] = sum;
        areas[k] = area;
    }
}

// Sums-only kernel.
template <auto Aperture, class Captures>
void sum_only_slice(const Captures& c, std::span<const double> xs, std::span<const double> ys,
                    std::span<double> sums) {
    for (std::size_t k = 0; k < xs.size(); ++k) {
        const double x = xs[k];
        const double y = ys[k];
        if (!std::isfinite(x) || !std::isfinite(y)) {
            sums[k] = NOT_A_NUMBER;
            continue;
        }
        double sum = 0.0;
        double unused = 0.0;
        Aperture(c, x, y, sum, unused);
        sums[k] = sum;
    }
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
