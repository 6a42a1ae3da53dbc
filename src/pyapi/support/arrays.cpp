#include "pyapi/support/arrays.hpp"

#include <cmath>
#include <string>

namespace quorvantel::pyapi::support {

Outcome<std::span<const double>> vector_slice(VectorArg array, const char* name) {
    PyArrayObject* a = array.array;
    const auto n = static_cast<std::size_t>(PyArray_SIZE(a));
    if (n == 0) return std::span<const double>{};
    const int flags = PyArray_FLAGS(a);
    const bool aligned = (flags & NPY_ARRAY_ALIGNED) != 0;
    const bool contiguous = (flags & (NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_F_CONTIGUOUS)) != 0;
    const void* data = PyArray_DATA(a);
    if (!aligned || !contiguous || data == nullptr) {
        return Error::value(std::string(name) + " must be a contiguous float64 array");
    }
    return std::span<const double>(static_cast<const double*>(data), n);
}

Check matching_lengths(std::span<const double> xs, std::span<const double> ys) {
    if (xs.size() != ys.size()) return Error::value("x and y must have matching shapes");
    return std::nullopt;
}

Outcome<Centres> centre_slices(VectorArg xs, VectorArg ys) {
    auto x = vector_slice(xs, "x");
    if (!x.ok()) return x.error();
    auto y = vector_slice(ys, "y");
    if (!y.ok()) return y.error();
    if (auto error = matching_lengths(x.value(), y.value())) return *error;
    return Centres{x.value(), y.value()};
}

Outcome<Centres> finite_centre_slices(VectorArg xs, VectorArg ys, const char* finite_message) {
    auto centres = centre_slices(xs, ys);
    if (!centres.ok()) return centres.error();
    for (double v : centres.value().xs) {
        if (!std::isfinite(v)) return Error::value(finite_message);
    }
    for (double v : centres.value().ys) {
        if (!std::isfinite(v)) return Error::value(finite_message);
    }
    return centres;
}

}  // namespace quorvantel::pyapi::support
