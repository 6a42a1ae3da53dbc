#include "pyapi/mask/mask.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <span>
#include <utility>

namespace quorvantel::pyapi::mask {
namespace {

using support::Error;

bool c_contiguous(PyArrayObject* a) { return (PyArray_FLAGS(a) & NPY_ARRAY_C_CONTIGUOUS) != 0; }

// The elements of a C-contiguous bool array as bytes, or null when an array
// with elements has no aligned data to read.  An empty array reads nothing.
const std::uint8_t* element_bytes(PyArrayObject* a, bool empty, bool& readable) {
    const void* data = PyArray_DATA(a);
    readable = empty || ((PyArray_FLAGS(a) & NPY_ARRAY_ALIGNED) != 0 && data != nullptr);
    return empty ? nullptr : static_cast<const std::uint8_t*>(data);
}

}  // namespace

support::Outcome<support::FarthestPixel> _farthest_mask_pixel(MaskArg mask,
                                                               support::VectorArg center,
                                                               bool return_pos) {
    constexpr const char* layout = "mask must be a C-contiguous bool array";
    PyArrayObject* a = mask.array;
    if (!c_contiguous(a)) return Error::value(layout);
    const auto n = static_cast<std::size_t>(PyArray_NDIM(a));
    if (n == 0) return Error::value("mask must have at least one dimension");
    auto centre_slice = support::vector_slice(center, "center");
    if (!centre_slice.ok()) return centre_slice.error();
    const std::span<const double> centre = centre_slice.value();
    if (centre.size() != n) return Error::value("center length must match mask.ndim");
    for (double v : centre) {
        if (!std::isfinite(v)) return Error::value("center values must be finite");
    }
    const auto size = static_cast<std::uint64_t>(PyArray_SIZE(a));
    bool readable = false;
    const std::uint8_t* bytes = element_bytes(a, size == 0, readable);
    if (!readable) return Error::value(layout);

    const npy_intp* dims = PyArray_DIMS(a);
    std::vector<std::uint64_t> index(n);
    std::vector<std::uint64_t> positions;
    double best = -std::numeric_limits<double>::infinity();
    bool found = false;
    for (std::uint64_t k = 0; k < size; ++k) {
        if (bytes[k] == 0) continue;
        std::uint64_t rest = k;
        for (std::size_t axis = n; axis-- > 0;) {
            const auto dim = static_cast<std::uint64_t>(dims[axis]);
            index[axis] = rest % dim;
            rest /= dim;
        }
        double d2 = -0.0;
        for (std::size_t axis = 0; axis < n; ++axis) {
            const double t = static_cast<double>(index[axis]) - centre[axis];
            d2 = d2 + t * t;
        }
        if (d2 > best) {
            best = d2;
            found = true;
            if (return_pos) {
                positions.clear();
                positions.insert(positions.end(), index.begin(), index.end());
            }
        } else if (return_pos && d2 == best) {
            positions.insert(positions.end(), index.begin(), index.end());
        }
    }
    if (!found) return Error::value("mask must contain at least one True pixel");
    return support::FarthestPixel{std::sqrt(best), n, std::move(positions)};
}

support::Outcome<std::vector<double>> _selected_pixel_distances(SelectedArg selected, double x0,
                                                                double y0, std::int64_t x_min,
                                                                std::int64_t y_min) {
    constexpr const char* layout = "selected must be a C-contiguous bool array";
    constexpr const char* extent = "invalid selected extent";
    PyArrayObject* a = selected.array;
    if (!c_contiguous(a)) return Error::value(layout);
    if (!std::isfinite(x0) || !std::isfinite(y0)) {
        return Error::value("center values must be finite");
    }
    const npy_intp* dims = PyArray_DIMS(a);
    const auto ny = static_cast<std::uint64_t>(dims[0]);
    const auto nx = static_cast<std::uint64_t>(dims[1]);
    bool readable = false;
    const std::uint8_t* bytes = element_bytes(a, ny == 0 || nx == 0, readable);
    if (!readable) return Error::value(layout);

    std::vector<double> out;
    if (ny == 0) return out;
    std::int64_t py = 0;
    if (nx == 0) {
        // No element to read: only the last row's index can overflow.
        if (__builtin_add_overflow(y_min, static_cast<std::int64_t>(ny - 1), &py)) {
            return Error::value(extent);
        }
        return out;
    }
    for (std::uint64_t r = 0; r < ny; ++r) {
        if (__builtin_add_overflow(y_min, static_cast<std::int64_t>(r), &py)) {
            return Error::value(extent);
        }
        const double dy = static_cast<double>(py) - y0;
        const double dy2 = dy * dy;
        const std::uint8_t* row = bytes + r * nx;
        for (std::uint64_t c = 0; c < nx; ++c) {
            if (row[c] == 0) continue;
            std::int64_t px = 0;
            if (__builtin_add_overflow(x_min, static_cast<std::int64_t>(c), &px)) {
                return Error::value(extent);
            }
            const double dx = static_cast<double>(px) - x0;
            out.push_back(std::sqrt(dy2 + dx * dx));
        }
    }
    return out;
}

}  // namespace quorvantel::pyapi::mask
