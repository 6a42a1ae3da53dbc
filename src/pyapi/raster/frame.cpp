#include "pyapi/raster/frame.hpp"

namespace quorvantel::pyapi::raster {

Error extent_error() { return Error::value("invalid weights extent"); }

Error too_large_error() { return Error::memory("weights allocation is too large"); }

Outcome<Dimensions> checked_weights_dimensions(std::int64_t x_min, std::int64_t x_max,
                                               std::int64_t y_min, std::int64_t y_max) {
    std::int64_t nx = 0;
    if (__builtin_sub_overflow(x_max, x_min, &nx) || nx <= 0) return extent_error();
    std::int64_t ny = 0;
    if (__builtin_sub_overflow(y_max, y_min, &ny) || ny <= 0) return extent_error();
    std::uint64_t n = 0;
    const auto uny = static_cast<std::uint64_t>(ny);
    const auto unx = static_cast<std::uint64_t>(nx);
    if (__builtin_mul_overflow(uny, unx, &n)) return too_large_error();
    return Dimensions{uny, unx};
}

Outcome<std::vector<double>> zeroed_weights(std::uint64_t n) {
    std::vector<double> buffer;
    if (n == 0) return buffer;
    constexpr std::uint64_t LIMIT = std::uint64_t{1} << 60;
    bool reserved = false;
    if (n < LIMIT) {
        try {
            buffer.assign(static_cast<std::size_t>(n), 0.0);
            reserved = true;
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
    }
    if (!reserved) return Error::memory("weights allocation failed");
    return buffer;
}

}  // namespace quorvantel::pyapi::raster
