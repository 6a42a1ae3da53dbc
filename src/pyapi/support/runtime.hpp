// Process-wide objects of the call boundary: NumPy's C API table and the
// FaultException type, both created once, on first need.
#pragma once

#include "pyapi/support/python.hpp"

namespace quorvantel::pyapi::support {

// Makes NumPy's C API table usable.  Looked up once per process; a failed
// lookup throws Fault("Failed to access NumPy array API capsule: ...") and the
// next call tries again.  Needs the calling thread to be attached.
void require_numpy_api();

// Sets FaultException(message) as the current Python exception.
void set_fault(const char* message);

}  // namespace quorvantel::pyapi::support
