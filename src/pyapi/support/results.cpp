#include "pyapi/support/results.hpp"

#include <new>
#include <string>
#include <utility>

#include "fault.hpp"

#include "pyapi/support/runtime.hpp"

namespace quorvantel::pyapi::support {
namespace {

template <class T, class Make>
PyObject* list_of(const std::vector<T>& values, Make make) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(values.size()));
    if (list == nullptr) return nullptr;
    for (std::size_t k = 0; k < values.size(); ++k) {
        PyObject* item = make(values[k]);
        if (item == nullptr) {
            Py_DECREF(list);
            return nullptr;
        }
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(k), item);
    }
    return list;
}

// A tuple that takes over the given new references; null if any is null.
template <class... Items>
PyObject* tuple_of(Items... items) {
    PyObject* parts[] = {items...};
    bool complete = true;
    for (PyObject* p : parts) complete = complete && p != nullptr;
    PyObject* tuple = complete ? PyTuple_New(sizeof...(Items)) : nullptr;
    if (tuple == nullptr) {
        for (PyObject* p : parts) Py_XDECREF(p);
        return nullptr;
    }
    for (std::size_t k = 0; k < sizeof...(Items); ++k) {
        PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(k), parts[k]);
    }
    return tuple;
}

}  // namespace

PyObject* float_list_result(const std::vector<double>& values) {
    return list_of(values, [](double v) { return PyFloat_FromDouble(v); });
}

PyObject* int_list_result(const std::vector<std::int64_t>& values) {
    return list_of(values, [](std::int64_t v) { return PyLong_FromLongLong(v); });
}

PyObject* box_lists_result(const BoxLists& boxes) {
    return tuple_of(int_list_result(boxes.x_min), int_list_result(boxes.x_max),
                    int_list_result(boxes.y_min), int_list_result(boxes.y_max));
}

PyObject* to_python(const SumsAndAreas& result) {
    return tuple_of(float_list_result(result.sums), float_list_result(result.areas));
}

PyObject* to_python(std::pair<double, double> values) {
    return tuple_of(PyFloat_FromDouble(values.first), PyFloat_FromDouble(values.second));
}

PyObject* farthest_pixel_result(const FarthestPixel& result) {
    return tuple_of(PyFloat_FromDouble(result.distance), PyLong_FromUnsignedLongLong(result.ndim),
                    list_of(result.positions,
                            [](std::uint64_t v) { return PyLong_FromUnsignedLongLong(v); }));
}

namespace {

constexpr const char* BUFFER_CAPSULE = "quorvantel.weights_buffer";

void free_buffer(PyObject* capsule) {
    delete static_cast<std::vector<double>*>(PyCapsule_GetPointer(capsule, BUFFER_CAPSULE));
}

}  // namespace

PyObject* weights_array_from_buffer(std::vector<double>&& values) {
    require_numpy_api();
    auto* owned = new std::vector<double>(std::move(values));
    PyObject* base = PyCapsule_New(owned, BUFFER_CAPSULE, &free_buffer);
    if (base == nullptr) {
        delete owned;
        throw_creation_failure("cannot create the owner of a weights buffer");
    }
    npy_intp dims[1] = {static_cast<npy_intp>(owned->size())};
    npy_intp strides[1] = {static_cast<npy_intp>(sizeof(double))};
    PyObject* array = PyArray_NewFromDescr(&PyArray_Type, PyArray_DescrFromType(NPY_DOUBLE), 1,
                                           dims, strides, owned->data(), NPY_ARRAY_WRITEABLE,
                                           nullptr);
    if (array == nullptr) {
        Py_DECREF(base);
        throw_creation_failure("cannot create a weights array");
    }
    if (PyArray_SetBaseObject(reinterpret_cast<PyArrayObject*>(array), base) != 0) {
        Py_DECREF(array);  // NumPy released the base, and with it the buffer
        throw_creation_failure("cannot hand a weights buffer to its array");
    }
    return array;
}

PyObject* weights_batch_result(std::vector<PyObject*>&& arrays, const BoxLists& boxes) {
    PyObject* list = PyList_New(static_cast<Py_ssize_t>(arrays.size()));
    if (list == nullptr) {
        for (PyObject* a : arrays) Py_XDECREF(a);
        arrays.clear();
        return nullptr;
    }
    for (std::size_t k = 0; k < arrays.size(); ++k) {
        PyList_SET_ITEM(list, static_cast<Py_ssize_t>(k), arrays[k]);
    }
    arrays.clear();
    return tuple_of(list, int_list_result(boxes.x_min), int_list_result(boxes.x_max),
                    int_list_result(boxes.y_min), int_list_result(boxes.y_max));
}

void throw_creation_failure(const char* what) {
    throw_if_out_of_memory();
    std::string message = what;
    if (PyErr_Occurred()) message += ": " + pending_error_text();
    throw Fault(message);
}

}  // namespace quorvantel::pyapi::support
