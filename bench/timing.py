"""Timing helpers shared by the benchmark scripts."""

import math
import os
import sys
import time

try:
    from quorvantel import _native as qv
except ImportError as exc:  # pragma: no cover
    sys.exit(f"cannot import quorvantel._native: {exc}")

SERIAL_THRESHOLD = 2**64 - 1  # never uses the pool
POOLED_THRESHOLD = 1  # always uses the pool


def usable_cores():
    """The number of CPUs this process may run on (its affinity mask, which
    taskset and container limits narrow), or all of them where the platform
    cannot tell."""
    try:
        return len(os.sched_getaffinity(0))
    except (AttributeError, OSError):
        return os.cpu_count() or 1


def interleaved_best(fns, repeat):
    """Warm each fn up once, then time them in turn, round after round, so that
    every contender meets the same machine conditions; returns the best wall
    time of each (seconds) and its last result."""
    results = [fn() for fn in fns]
    best = [math.inf] * len(fns)
    for _ in range(repeat):
        for k, fn in enumerate(fns):
            t0 = time.perf_counter()
            results[k] = fn()
            best[k] = min(best[k], time.perf_counter() - t0)
    return best, results


def with_threshold(threshold, fn):
    """fn run under the given parallel threshold (restored afterwards)."""
    def run():
        old = qv.get_parallel_threshold()
        qv.set_parallel_threshold(threshold)
        try:
            return fn()
        finally:
            qv.set_parallel_threshold(old)
    return run
