// Registration of the weights functions: the last rows of the function table.
#pragma once

#include <span>

#include "pyapi/support/python.hpp"

namespace quorvantel::pyapi::weights {

// Adds, in order, every weights function that this build provides (records
// with a null entry are not provided).  false with the Python exception of
// the first failure set.
bool register_functions(PyObject* module, std::span<PyMethodDef> records);

}  // namespace quorvantel::pyapi::weights
