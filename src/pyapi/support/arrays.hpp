// Read-only views of the NumPy arrays that calls receive: coordinate vectors
// and images.  Nothing here copies or casts; a layout that cannot be used as
// it is fails with a ValueError whose text lives next to its check.
#pragma once

#include <cstdint>
#include <span>

#include "pyapi/support/error.hpp"
#include "pyapi/support/python.hpp"

namespace quorvantel::pyapi::support {

// Element types an array argument may have, and the NumPy type each stands for.
template <class T> struct ElementType;
template <> struct ElementType<double> {
    static constexpr int npy = NPY_DOUBLE;
    static constexpr const char* name = "float64";
};
template <> struct ElementType<float> {
    static constexpr int npy = NPY_FLOAT;
    static constexpr const char* name = "float32";
};
template <> struct ElementType<std::int32_t> {
    static constexpr int npy = NPY_INT32;
    static constexpr const char* name = "int32";
};
template <> struct ElementType<std::int16_t> {
    static constexpr int npy = NPY_INT16;
    static constexpr const char* name = "int16";
};
template <> struct ElementType<std::int8_t> {
    static constexpr int npy = NPY_INT8;
    static constexpr const char* name = "int8";
};
template <> struct ElementType<npy_bool> {
    static constexpr int npy = NPY_BOOL;
    static constexpr const char* name = "bool";
};

inline constexpr int ANY_DIMENSIONS = -1;

// A NumPy array argument, already checked by the call boundary to have ND
// dimensions (any number for ANY_DIMENSIONS) and an element type equivalent
// to T.  It is borrowed from the caller's argument vector for the call.
template <class T, int ND>
struct ArrayArg {
    PyArrayObject* array;
};

using VectorArg = ArrayArg<double, 1>;
template <class T> using ImageArg = ArrayArg<T, 2>;

// An image: ny rows of nx values of type T, row-major; empty values when
// either dimension is 0.
template <class T>
struct ImageView {
    const T* values;
    std::uint64_t ny;
    std::uint64_t nx;
};

// The doubles of a one-dimensional float64 array.  Fails with
// "{name} must be a contiguous float64 array".
Outcome<std::span<const double>> vector_slice(VectorArg array, const char* name);

// The image of a two-dimensional array of any accepted element type.  Fails
// with "data must be a C-contiguous {float64|float32|int32|int16} array".
template <class T>
Outcome<ImageView<T>> data_slice_typed(ImageArg<T> array) {
    PyArrayObject* a = array.array;
    const bool c_contiguous = (PyArray_FLAGS(a) & NPY_ARRAY_C_CONTIGUOUS) != 0;
    const npy_intp* dims = PyArray_DIMS(a);
    const auto ny = static_cast<std::uint64_t>(dims[0]);
    const auto nx = static_cast<std::uint64_t>(dims[1]);
    const void* data = PyArray_DATA(a);
    const bool empty = ny == 0 || nx == 0;
    const bool aligned = (PyArray_FLAGS(a) & NPY_ARRAY_ALIGNED) != 0;
    if (!c_contiguous || (!empty && (!aligned || data == nullptr))) {
        return Error::value(std::string("data must be a C-contiguous ") + ElementType<T>::name +
                            " array");
    }
    return ImageView<T>{empty ? nullptr : static_cast<const T*>(data), ny, nx};
}

inline Outcome<ImageView<double>> data_slice(ImageArg<double> array) {
    return data_slice_typed<double>(array);
}
inline Outcome<ImageView<float>> data_slice_f32(ImageArg<float> array) {
    return data_slice_typed<float>(array);
}

// The shared length rule of every many-aperture function.
Check matching_lengths(std::span<const double> xs, std::span<const double> ys);

// The centres of a many-aperture call: x, then y, then their lengths.
struct Centres {
    std::span<const double> xs;
    std::span<const double> ys;
};
Outcome<Centres> centre_slices(VectorArg xs, VectorArg ys);

// The centres of a many-aperture weights call: as centre_slices, then every
// x and then every y finite, else ValueError(finite_message).
Outcome<Centres> finite_centre_slices(VectorArg xs, VectorArg ys, const char* finite_message);

}  // namespace quorvantel::pyapi::support
