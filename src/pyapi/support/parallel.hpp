// The process-wide parallel threshold and the drivers that run a batch of
// apertures on the calling thread or on the worker pool.
//
// Results never depend on the threshold, the pool size or the schedule:
// every aperture is computed by exactly one call of the same code.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quorvantel::pyapi {

// 0 until first use; then the number of apertures at and above which
// many-aperture work goes to the pool.  Never set back to 0.
extern std::atomic<std::uint64_t> PARALLEL_THRESHOLD;

}  // namespace quorvantel::pyapi

namespace quorvantel::pyapi::support {

inline constexpr std::uint64_t DEFAULT_PARALLEL_THRESHOLD = 64;
inline constexpr const char* PARALLEL_THRESHOLD_VARIABLE = "QUORVANTEL_PARALLEL_THRESHOLD";

// The threshold, at least 1; on first use taken from the environment.
std::uint64_t parallel_threshold();

// Parses an environment value: an optional single "+" then decimal digits,
// within 64 bits and not zero; anything else gives the default.
std::uint64_t parse_threshold(const char* text);

// The pool's worker count; starts the pool if it is not running.  0 when
// this process has no usable pool: the pool's threads cannot be made now (the
// next call tries again), or this is a child made by fork() after the parent
// had started its pool.  Batches then run on the calling thread.
std::size_t pool_workers();

// A task of a pool batch: called with a task index.  Type-erased so that the
// pool library stays out of this header.
struct TaskRef {
    void (*call)(const void* context, std::size_t index);
    const void* context;
};

// Runs tasks 0 .. count-1 on the pool, the batch divided in halves down to
// single tasks; the caller blocks and runs none of them, unless there is no
// usable pool: then it runs them in order itself.  A fault of a task
// does not stop the others; after the batch the first one is thrown here.
void run_tasks_on_pool(std::size_t count, TaskRef task);

// Calls task(i) for every i < count on the pool with adaptive splitting; the
// caller blocks (or, without a usable pool, calls them in order itself).  Faults as for run_tasks_on_pool.
void map_indices_on_pool(std::size_t count, TaskRef task);

// How a summation batch of n apertures is cut: `chunks` runs of `chunk`
// apertures (the last one shorter), or chunks == 0 to run it in one call on
// the calling thread.
struct BatchCut {
    std::size_t chunks;
    std::size_t chunk;
};
BatchCut cut_summation_batch(std::size_t n);

// Runs part(start, length) over the batch [0, n): once on the calling thread
// below the threshold (or with fewer than two workers), else once per chunk
// on the pool.
template <class Part>
void run_chunked(std::size_t n, const Part& part) {
    const BatchCut cut = cut_summation_batch(n);
    if (cut.chunks == 0) {
        part(std::size_t{0}, n);
        return;
    }
    struct Context {
        const Part& part;
        std::size_t n, chunk;
    } context{part, n, cut.chunk};
    run_tasks_on_pool(cut.chunks, TaskRef{[](const void* raw, std::size_t c) {
                                              const auto& k = *static_cast<const Context*>(raw);
                                              const std::size_t start = c * k.chunk;
                                              k.part(start, std::min(k.chunk, k.n - start));
                                          },
                                          &context});
}

template <class Kernel, class Captures>
void run_parallel(Kernel kernel, const Captures& captures, std::span<const double> xs,
                  std::span<const double> ys, std::span<double> out1, std::span<double> out2) {
    run_chunked(xs.size(), [&](std::size_t s, std::size_t len) {
        kernel(captures, xs.subspan(s, len), ys.subspan(s, len), out1.subspan(s, len),
               out2.subspan(s, len));
    });
}

template <class Kernel, class Captures>
void run_parallel_sum_only(Kernel kernel, const Captures& captures, std::span<const double> xs,
                           std::span<const double> ys, std::span<double> out) {
    run_chunked(xs.size(), [&](std::size_t s, std::size_t len) {
        kernel(captures, xs.subspan(s, len), ys.subspan(s, len), out.subspan(s, len));
    });
}

// Maps every index 0 .. n-1 to step(i), in index order in the result.
// Below the threshold the steps run in order on the calling thread; at or
// above it they run on the pool.  Every index is computed, also after an
// index has produced an error outcome.
template <class Step>
auto run_parallel_map(std::uint64_t n, const Step& step) -> std::vector<decltype(step(0))> {
    using Slot = decltype(step(0));
    std::vector<Slot> slots(static_cast<std::size_t>(n));
    if (n < parallel_threshold()) {
        for (std::uint64_t i = 0; i < n; ++i) slots[i] = step(i);
        return slots;
    }
    struct Context {
        const Step& step;
        std::vector<Slot>& slots;
    } context{step, slots};
    map_indices_on_pool(static_cast<std::size_t>(n),
                        TaskRef{[](const void* raw, std::size_t i) {
                                    const auto& k = *static_cast<const Context*>(raw);
                                    k.slots[i] = k.step(static_cast<std::uint64_t>(i));
                                },
                                &context});
    return slots;
}

}  // namespace quorvantel::pyapi::support
