#include "pyapi/weights/register.hpp"

#include "pyapi/support/module_functions.hpp"

namespace quorvantel::pyapi::weights {

bool register_functions(PyObject* module, std::span<PyMethodDef> records) {
    for (PyMethodDef& record : records) {
        if (!support::add_function(module, &record)) return false;
    }
    return true;
}

}  // namespace quorvantel::pyapi::weights
