#include "pyapi/support/parallel.hpp"

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>

#include "fault.hpp"

namespace quorvantel::pyapi {

std::atomic<std::uint64_t> PARALLEL_THRESHOLD{0};

}  // namespace quorvantel::pyapi

namespace quorvantel::pyapi::support {

std::uint64_t parse_threshold(const char* text) {
    if (text == nullptr) return DEFAULT_PARALLEL_THRESHOLD;
    const char* p = text;
    if (*p == '+') ++p;
    if (*p == '\0') return DEFAULT_PARALLEL_THRESHOLD;
    std::uint64_t value = 0;
    for (; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return DEFAULT_PARALLEL_THRESHOLD;
        const auto digit = static_cast<std::uint64_t>(*p - '0');
        if (value > (UINT64_MAX - digit) / 10) return DEFAULT_PARALLEL_THRESHOLD;
        value = value * 10 + digit;
    }
    return value == 0 ? DEFAULT_PARALLEL_THRESHOLD : value;
}

std::uint64_t parallel_threshold() {
    std::uint64_t current = PARALLEL_THRESHOLD.load(std::memory_order_relaxed);
    if (current != 0) return current;
    const std::uint64_t candidate = parse_threshold(std::getenv(PARALLEL_THRESHOLD_VARIABLE));
    std::uint64_t expected = 0;
    PARALLEL_THRESHOLD.compare_exchange_strong(expected, candidate, std::memory_order_relaxed);
    return PARALLEL_THRESHOLD.load(std::memory_order_relaxed);
}

namespace {

// The process-wide pool: one oneTBB arena whose slots are all for workers,
// since the calling thread only waits.  It has at least two workers, so the
// pooled branch exists even on a two-core machine.
struct Pool {
    std::size_t workers;
    tbb::global_control* allowance;
    tbb::task_arena* arena;
};

Pool& pool() {
    // Started once, on first need, and kept for the life of the process
    // (never destroyed: workers may outlive static destruction order).
    static Pool* instance = [] {
        const int hardware = tbb::info::default_concurrency();
        const std::size_t workers = static_cast<std::size_t>(std::max(2, hardware));
        auto* allowance = new tbb::global_control(tbb::global_control::max_allowed_parallelism,
                                                  workers + 1);
        auto* arena = new tbb::task_arena(static_cast<int>(workers), 0);
        arena->initialize();
        return new Pool{workers, allowance, arena};
    }();
    return *instance;
}

// Collects the first fault of a batch while letting every task finish.
struct FaultSlot {
    std::mutex guard;
    std::string message;
    bool set = false;

    void record(const char* what) {
        std::lock_guard<std::mutex> hold(guard);
        if (!set) {
            message = what;
            set = true;
        }
    }
    template <class F>
    void run(F&& f) {
        try {
            f();
        } catch (const std::exception& e) {
            record(e.what());
        } catch (...) {
            record("internal fault on a worker thread");
        }
    }
};

// Enqueues `body` into the arena and blocks the caller until it has run.
template <class Body>
void run_and_wait(FaultSlot& fault, const Body& body) {
    Pool& p = pool();
    std::mutex guard;
    std::condition_variable finished;
    bool done = false;
    p.arena->enqueue([&] {
        fault.run(body);
        std::lock_guard<std::mutex> hold(guard);
        done = true;
        finished.notify_one();
    });
    std::unique_lock<std::mutex> wait(guard);
    finished.wait(wait, [&] { return done; });
}

}  // namespace

std::size_t pool_workers() {
    try {
        return pool().workers;
    } catch (const std::exception& e) {
        throw Fault(std::string("cannot start the worker pool: ") + e.what());
    }
}

void run_tasks_on_pool(std::size_t count, TaskRef task) {
    FaultSlot fault;
    run_and_wait(fault, [&] {
        tbb::parallel_for(
            tbb::blocked_range<std::size_t>(0, count, 1),
            [&](const tbb::blocked_range<std::size_t>& r) {
                for (std::size_t c = r.begin(); c != r.end(); ++c) {
                    fault.run([&] { task.call(task.context, c); });
                }
            },
            tbb::simple_partitioner());
    });
    if (fault.set) throw Fault(fault.message);
}

void map_indices_on_pool(std::size_t count, TaskRef task) {
    FaultSlot fault;
    run_and_wait(fault, [&] {
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, count),
                          [&](const tbb::blocked_range<std::size_t>& r) {
                              for (std::size_t i = r.begin(); i != r.end(); ++i) {
                                  fault.run([&] { task.call(task.context, i); });
                              }
                          });
    });
    if (fault.set) throw Fault(fault.message);
}

BatchCut cut_summation_batch(std::size_t n) {
    if (static_cast<std::uint64_t>(n) < parallel_threshold()) return {0, n};
    const std::size_t k = std::min(n, pool_workers());
    if (k < 2) return {0, n};
    const std::size_t chunk = n / k + (n % k != 0 ? 1 : 0);
    return {(n + chunk - 1) / chunk, chunk};
}

}  // namespace quorvantel::pyapi::support
