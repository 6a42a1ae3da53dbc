#include "pyapi/parallel_api/parallel_api.hpp"

#include "pyapi/support/parallel.hpp"

namespace quorvantel::pyapi::parallel_api {

support::Outcome<std::uint64_t> get_parallel_threshold() { return support::parallel_threshold(); }

support::Outcome<support::None> set_parallel_threshold(std::uint64_t threshold) {
    if (threshold == 0) return support::Error::value("parallel threshold must be positive");
    PARALLEL_THRESHOLD.store(threshold, std::memory_order_relaxed);
    return support::None{};
}

}  // namespace quorvantel::pyapi::parallel_api
