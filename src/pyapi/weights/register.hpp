// Registration of the weights functions: the last rows of the function table.
#pragma once

#include <span>

#include "pyapi/support/python.hpp"

namespace quorvantel::pyapi::weights {

// Adds the weights functions, in order.  false with the Python exception of
// the first failure set.
bool register_functions(PyObject* module, std::span<PyMethodDef> records);

}  // namespace quorvantel::pyapi::weights
