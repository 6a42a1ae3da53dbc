// Conversion of entry results into Python objects.  The converters return
// null with the interpreter's error set; the boundary turns a result object
// that cannot be created into MemoryError when memory ran out, and into
// FaultException otherwise.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "pyapi/support/error.hpp"
#include "pyapi/support/python.hpp"

namespace quorvantel::pyapi::support {

// Per-aperture sums with their areas (exact) or pixel counts (centre).
struct SumsAndAreas {
    std::vector<double> sums;
    std::vector<double> areas;
};

// Pixel boxes of many apertures, x_min, x_max, y_min, y_max.
struct BoxLists {
    std::vector<std::int64_t> x_min;
    std::vector<std::int64_t> x_max;
    std::vector<std::int64_t> y_min;
    std::vector<std::int64_t> y_max;
};

// A new reference that an entry hands to the boundary as its result.
struct OwnedObject {
    PyObject* object = nullptr;

    OwnedObject() = default;
    explicit OwnedObject(PyObject* o) : object(o) {}
    OwnedObject(OwnedObject&& other) noexcept : object(other.object) { other.object = nullptr; }
    OwnedObject& operator=(OwnedObject&& other) noexcept {
        if (this != &other) {
            Py_XDECREF(object);
            object = other.object;
            other.object = nullptr;
        }
        return *this;
    }
    OwnedObject(const OwnedObject&) = delete;
    OwnedObject& operator=(const OwnedObject&) = delete;
    ~OwnedObject() { Py_XDECREF(object); }
    PyObject* release() {
        PyObject* o = object;
        object = nullptr;
        return o;
    }
};

PyObject* float_list_result(const std::vector<double>& values);
PyObject* int_list_result(const std::vector<std::int64_t>& values);
PyObject* box_lists_result(const BoxLists& boxes);

inline PyObject* to_python(const std::vector<double>& values) { return float_list_result(values); }
inline PyObject* to_python(const std::vector<std::int64_t>& values) {
    return int_list_result(values);
}
inline PyObject* to_python(const BoxLists& boxes) { return box_lists_result(boxes); }
PyObject* to_python(const SumsAndAreas& result);
PyObject* to_python(std::pair<double, double> values);
inline PyObject* to_python(double value) { return PyFloat_FromDouble(value); }
inline PyObject* to_python(std::uint64_t value) { return PyLong_FromUnsignedLongLong(value); }
inline PyObject* to_python(None) { Py_RETURN_NONE; }
inline PyObject* to_python(OwnedObject&& result) { return result.release(); }

// A one-dimensional writeable float64 array over the vector's buffer, without
// a copy: the buffer passes to the array's base object, which frees it when
// the array goes.  When the array or its base cannot be made, the buffer is
// freed and throw_creation_failure reports why.
PyObject* weights_array_from_buffer(std::vector<double>&& values);

// The tuple (arrays, x_min, x_max, y_min, y_max) of five lists.  The array
// references are moved in (the vector is left empty, also on failure, when
// they are released); null with an exception set on failure.
PyObject* weights_batch_result(std::vector<PyObject*>&& arrays, const BoxLists& boxes);

// --- The farthest-pixel query of the mask helpers.

// Largest distance, the mask's dimension count and the index tuples of the
// elements at that distance, one after the other.
struct FarthestPixel {
    double distance;
    std::uint64_t ndim;
    std::vector<std::uint64_t> positions;
};

// (float, int, list of ints).
PyObject* farthest_pixel_result(const FarthestPixel& result);
inline PyObject* to_python(const FarthestPixel& result) { return farthest_pixel_result(result); }

// Reports a Python object that could not be created, taking the pending
// interpreter error (or none): running out of memory as above, anything else
// a Fault naming `what` and the error.
[[noreturn]] void throw_creation_failure(const char* what);

}  // namespace quorvantel::pyapi::support
