// Adding one builtin function to a module object.
#pragma once

#include "pyapi/support/python.hpp"

namespace quorvantel::pyapi::support {

// Creates the function from its static method record with the module as
// __self__, appends its name to the module's __all__ (made on first use)
// and sets it as a module attribute.  false with a Python exception set; an
// append to __all__ that fails throws std::bad_alloc when memory ran out,
// else Fault.
bool add_function(PyObject* module, PyMethodDef* record);

}  // namespace quorvantel::pyapi::support
