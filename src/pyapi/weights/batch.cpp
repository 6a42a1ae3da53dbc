#include "pyapi/weights/batch.hpp"

#include "pyapi/support/runtime.hpp"

namespace quorvantel::pyapi::weights {
namespace {

// References to the arrays made so far, released unless handed on.
struct ArrayRefs {
    std::vector<PyObject*> items;
    ArrayRefs() = default;
    ArrayRefs(const ArrayRefs&) = delete;
    ArrayRefs& operator=(const ArrayRefs&) = delete;
    ~ArrayRefs() {
        for (PyObject* a : items) Py_XDECREF(a);
    }
};

}  // namespace

Outcome<support::OwnedObject> weights_batch(std::vector<Outcome<ApertureWeights>>&& outcomes) {
    for (const auto& outcome : outcomes) {
        if (!outcome.ok()) return outcome.error();
    }
    const std::size_t n = outcomes.size();
    ArrayRefs arrays;
    arrays.items.reserve(n);
    support::BoxLists boxes;
    boxes.x_min.reserve(n);
    boxes.x_max.reserve(n);
    boxes.y_min.reserve(n);
    boxes.y_max.reserve(n);
    for (auto& outcome : outcomes) {
        ApertureWeights& a = outcome.value();
        auto dims = raster::checked_weights_dimensions(a.x_min, a.x_max, a.y_min, a.y_max);
        if (!dims.ok()) return dims.error();
        PyObject* flat = support::weights_array_from_buffer(std::move(a.weights));
        npy_intp shape[2] = {static_cast<npy_intp>(dims.value().ny),
                             static_cast<npy_intp>(dims.value().nx)};
        PyArray_Dims newshape{shape, 2};
        PyObject* view =
            PyArray_Newshape(reinterpret_cast<PyArrayObject*>(flat), &newshape, NPY_ANYORDER);
        Py_DECREF(flat);
        if (view == nullptr) {
            support::throw_if_out_of_memory();
            return Error::fetched();  // NumPy's own error
        }
        arrays.items.push_back(view);
        boxes.x_min.push_back(a.x_min);
        boxes.x_max.push_back(a.x_max);
        boxes.y_min.push_back(a.y_min);
        boxes.y_max.push_back(a.y_max);
    }
    PyObject* result = support::weights_batch_result(std::move(arrays.items), boxes);
    if (result == nullptr) support::throw_creation_failure("cannot create the weights result");
    return support::OwnedObject(result);
}

}  // namespace quorvantel::pyapi::weights
