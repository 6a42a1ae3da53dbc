#include "pyapi/support/parallel.hpp"

#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include <pthread.h>
#include <sys/mman.h>

#include "fault.hpp"
#include "pyapi/support/forks.hpp"

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

// Set before this process begins to start its pool, and before any thread
// can be inside that start.
std::atomic<bool> pool_touched{false};

// Set in a child made by fork() after the parent had begun to start its pool.
// The child has none of the pool's threads, and the scheduler's state it
// inherited describes threads that will never run (the pool's start itself
// may be half done, by a thread the child does not have), so the first pooled
// batch would wait for ever.  Such a child runs every batch on the calling
// thread; results do not depend on how a batch is cut, so they are the same
// bits.  The parent is not touched: its pool keeps running, whatever its other
// threads were doing at the moment of the fork.
std::atomic<bool> pool_lost_in_fork{false};
std::atomic<bool> pool_fork_handler{false};

void on_fork_child() { pool_lost_in_fork.store(pool_touched.load()); }

// oneTBB starts its first workers from the thread that hands it work, but
// most of them from other workers; a worker that cannot create a thread ends
// the whole process.  So the pool is started only when its threads can be
// made: first the address space they may take is reserved and given back at
// once (a stack each, and a C library heap each, which takes twice its size
// while it is being made), then every thread is created here, all alive at
// once, and joined.  When either fails the pool is not started (the batch
// runs on the calling thread) and the next batch tries again.
bool threads_can_start(std::size_t count, std::size_t stack) {
    constexpr std::size_t HEAP_BEING_MADE = std::size_t{128} << 20;
    constexpr std::size_t SPARE = std::size_t{8} << 20;
    const std::size_t room = count * (stack + SPARE + HEAP_BEING_MADE);
    void* reserved = mmap(nullptr, room, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                          -1, 0);
    if (reserved == MAP_FAILED) return false;
    munmap(reserved, room);

    struct Gate {
        std::mutex guard;
        std::condition_variable opened;
        bool open = false;
    } gate;
    auto hold = [](void* raw) -> void* {
        auto& g = *static_cast<Gate*>(raw);
        std::unique_lock<std::mutex> wait(g.guard);
        g.opened.wait(wait, [&] { return g.open; });
        return nullptr;
    };
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0) return false;
    int status = pthread_attr_setstacksize(&attributes, stack + SPARE);
    std::vector<pthread_t> threads;
    threads.reserve(count);
    while (status == 0 && threads.size() < count) {
        pthread_t thread;
        status = pthread_create(&thread, &attributes, hold, &gate);
        if (status == 0) threads.push_back(thread);
    }
    pthread_attr_destroy(&attributes);
    {
        std::lock_guard<std::mutex> lock(gate.guard);
        gate.open = true;
    }
    gate.opened.notify_all();
    for (pthread_t thread : threads) pthread_join(thread, nullptr);
    return status == 0;
}

Pool& pool() {
    // Started once, on first need, and kept for the life of the process
    // (never destroyed: workers may outlive static destruction order).  A
    // start that throws is tried again by the next call.
    static Pool* instance = [] {
        const int hardware = tbb::info::default_concurrency();
        const std::size_t workers = static_cast<std::size_t>(std::max(2, hardware));
        const std::size_t stack =
            tbb::global_control::active_value(tbb::global_control::thread_stack_size);
        if (!threads_can_start(workers, stack)) throw Fault("the pool's threads cannot be made");
        auto* allowance = new tbb::global_control(tbb::global_control::max_allowed_parallelism,
                                                  workers + 1);
        auto* arena = new tbb::task_arena(static_cast<int>(workers), 0);
        arena->initialize();
        return new Pool{workers, allowance, arena};
    }();
    return *instance;
}

void warm_workers(Pool& p);

// The running pool, or null when this process cannot use one: a child that
// lost its pool in a fork, or a pool whose threads (or the fork handler)
// cannot be made now.  Without a pool every batch runs on the calling thread,
// with the same bits.  A new pool's workers are warmed once, before its first
// batch.
Pool* running_pool() {
    // A child forked while a thread is inside the pool's start must never
    // enter it: the fork handler is in place and the pool marked as touched
    // before any thread goes in.
    if (!call_in_fork_children(pool_fork_handler, on_fork_child)) return nullptr;
    if (!pool_touched.load()) pool_touched.store(true);
    if (pool_lost_in_fork.load()) return nullptr;
    try {
        Pool& p = pool();
        static std::once_flag warmed;
        std::call_once(warmed, [&] { warm_workers(p); });
        return &p;
    } catch (...) {
        return nullptr;
    }
}

// Collects the first fault of a batch while letting every task finish.  An
// allocation that fails on a worker is kept as such, so that the caller
// reports it as the serial run of the same call does, not as a broken
// invariant.  Recording allocates nothing but the message; when even that
// fails, the fault is taken for running out of memory.
struct FaultSlot {
    std::mutex guard;
    std::string message;
    bool set = false;
    bool out_of_memory = false;

    void record(const char* what, bool memory) noexcept {
        std::lock_guard<std::mutex> hold(guard);
        if (set) return;
        set = true;
        out_of_memory = memory;
        if (memory) return;
        try {
            message = what;
        } catch (...) {
            out_of_memory = true;
        }
    }
    // A thread's record of the exceptions it throws lives in the C++
    // runtime's thread-local data, which the C library makes on the thread's
    // first use of it and, when it cannot, ends the process.  A worker's
    // first throw is often an allocation that fails, so each worker asks for
    // that data before any work it runs, while there is usually memory for it.
    template <class F>
    void run(F&& f) noexcept {
        [[maybe_unused]] volatile int in_flight = std::uncaught_exceptions();  // not elided
        try {
            f();
        } catch (const std::bad_alloc&) {
            record(nullptr, true);
        } catch (const std::exception& e) {
            record(e.what(), false);
        } catch (...) {
            record("internal fault on a worker thread", false);
        }
    }
    // After the batch: the first fault, thrown on the calling thread.
    void rethrow() const {
        if (!set) return;
        if (out_of_memory) throw std::bad_alloc();
        throw Fault(message);
    }
};

// Where an enqueued batch stands.  Shared with the task, which may outlive
// the caller's frame when handing it over failed after it was queued.
struct Handover {
    enum State { Queued, Running, Done, Withdrawn };
    std::mutex guard;
    std::condition_variable changed;
    State state = Queued;
};

// Enqueues `body` into the arena and blocks the caller until it has run;
// true when it ran.  When oneTBB throws after queueing it (a worker it could
// not start), the batch is withdrawn if no worker has taken it yet (false:
// it never runs), or else waited for: the caller's frame never goes away
// under a running batch.
template <class Body>
bool run_and_wait(Pool& p, FaultSlot& fault, const Body& body) {
    auto handover = std::make_shared<Handover>();
    try {
        p.arena->enqueue([&fault, &body, handover] {
            {
                std::lock_guard<std::mutex> hold(handover->guard);
                if (handover->state == Handover::Withdrawn) return;
                handover->state = Handover::Running;
            }
            fault.run(body);
            std::lock_guard<std::mutex> hold(handover->guard);
            handover->state = Handover::Done;
            handover->changed.notify_one();
        });
    } catch (...) {
        std::lock_guard<std::mutex> hold(handover->guard);
        if (handover->state == Handover::Queued) {
            handover->state = Handover::Withdrawn;
            return false;
        }
    }
    std::unique_lock<std::mutex> wait(handover->guard);
    handover->changed.wait(wait, [&] { return handover->state == Handover::Done; });
    return true;
}

// Has every worker of a new pool run one piece of work, so that each makes
// its thread-local data (see FaultSlot::run) now, while the address space
// that the pool's start found is still there, not at its first piece of
// work, which may come only when memory has run out.  Each piece waits for
// the others, so that no worker takes two, but never past a second.
void warm_workers(Pool& p) {
    const std::size_t n = p.workers;
    std::atomic<std::size_t> arrived{0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    FaultSlot fault;
    run_and_wait(p, fault, [&] {
        tbb::parallel_for(
            tbb::blocked_range<std::size_t>(0, n, 1),
            [&](const tbb::blocked_range<std::size_t>&) {
                fault.run([] {});
                arrived.fetch_add(1);
                while (arrived.load() < n && std::chrono::steady_clock::now() < deadline) {
                    std::this_thread::yield();
                }
            },
            tbb::simple_partitioner());
    });
}

// Runs task(i) for every i < count on the pool (divided by `partitioner`),
// or in index order on the calling thread when there is no pool.  The first
// fault is thrown after all tasks have run.
template <class Partitioner>
void run_all(std::size_t count, TaskRef task, const Partitioner& partitioner) {
    FaultSlot fault;
    auto tasks = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i != end; ++i) fault.run([&] { task.call(task.context, i); });
    };
    Pool* p = running_pool();
    const bool pooled = p != nullptr && run_and_wait(*p, fault, [&] {
        tbb::parallel_for(
            tbb::blocked_range<std::size_t>(0, count, 1),
            [&](const tbb::blocked_range<std::size_t>& r) { tasks(r.begin(), r.end()); },
            partitioner);
    });
    if (!pooled) tasks(0, count);
    fault.rethrow();
}

}  // namespace

std::size_t pool_workers() {
    const Pool* p = running_pool();
    return p != nullptr ? p->workers : 0;
}

void run_tasks_on_pool(std::size_t count, TaskRef task) {
    run_all(count, task, tbb::simple_partitioner());
}

void map_indices_on_pool(std::size_t count, TaskRef task) {
    run_all(count, task, tbb::auto_partitioner());
}

BatchCut cut_summation_batch(std::size_t n) {
    if (static_cast<std::uint64_t>(n) < parallel_threshold()) return {0, n};
    const std::size_t k = std::min(n, pool_workers());
    if (k < 2) return {0, n};
    const std::size_t chunk = n / k + (n % k != 0 ? 1 : 0);
    return {(n + chunk - 1) / chunk, chunk};
}

}  // namespace quorvantel::pyapi::support
