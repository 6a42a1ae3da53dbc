// Python access to the parallel threshold.
#pragma once

#include <cstdint>

#include "pyapi/support/error.hpp"

namespace quorvantel::pyapi::parallel_api {

support::Outcome<std::uint64_t> get_parallel_threshold();
support::Outcome<support::None> set_parallel_threshold(std::uint64_t threshold);

}  // namespace quorvantel::pyapi::parallel_api
