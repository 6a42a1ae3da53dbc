#include "pyapi/support/results.hpp"

#include <string>

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

void fault_from_pending(const char* what) {
    std::string message = what;
    if (PyErr_Occurred()) message += ": " + pending_error_text();
    set_fault(message.c_str());
}

}  // namespace quorvantel::pyapi::support
