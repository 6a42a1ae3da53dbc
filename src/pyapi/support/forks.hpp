// Work that a child made by fork() must do before its first call: a thread of
// the parent that was inside a once-per-process step does not exist in the
// child, so whatever it held there must not be waited for.
#pragma once

#include <atomic>

#include <pthread.h>

namespace quorvantel::pyapi::support {

// Has `in_child` run in the child of every fork() of this process from now
// on; `registered` records that it does.  false when it cannot (out of
// memory).  Threads that arrive at once may each register the handler, so it
// must be harmless to run twice; none of them ever waits for another.
inline bool call_in_fork_children(std::atomic<bool>& registered, void (*in_child)()) {
    if (registered.load(std::memory_order_acquire)) return true;
    if (pthread_atfork(nullptr, nullptr, in_child) != 0) return false;
    registered.store(true, std::memory_order_release);
    return true;
}

}  // namespace quorvantel::pyapi::support
