// Internal faults: broken invariants that ordinary input cannot reach.
// They travel as C++ exceptions up to the call boundary, which raises them
// in Python as FaultException (derived from BaseException).
#pragma once

#include <stdexcept>
#include <string>

namespace quorvantel {

struct Fault : std::runtime_error {
    explicit Fault(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quorvantel
