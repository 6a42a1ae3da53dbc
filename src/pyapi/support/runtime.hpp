// Process-wide objects of the call boundary: NumPy's C API table and the
// FaultException type, both created once, on first need, and never waited
// for by a child that fork() made while another thread was creating them.
#pragma once

#include <string>

#include "pyapi/support/python.hpp"

namespace quorvantel::pyapi::support {

// Makes NumPy's C API table usable.  Looked up once per process; a failed
// lookup throws Fault("Failed to access NumPy array API capsule: ...") and the
// next call tries again.  A lookup that ran out of memory throws
// std::bad_alloc instead.  Needs the calling thread to be attached.
void require_numpy_api();

// Takes the pending exception: its normalised instance (new reference), or
// null when none is pending.  The pending state is cleared.
PyObject* take_pending_exception();

// "TypeName: message" of the pending exception, which is cleared.
std::string pending_error_text();

// A pending MemoryError is taken and thrown as std::bad_alloc, which the
// boundary raises as MemoryError("out of memory"); any other pending error
// stays.
void throw_if_out_of_memory();

// Sets FaultException(message) as the current Python exception; when the
// type or the message cannot be made, the MemoryError of that stays set.
void set_fault(const char* message);

}  // namespace quorvantel::pyapi::support
