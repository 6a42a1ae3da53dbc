"""Failing calls of every family leave resident memory flat.

Each family (the functions' name prefix, single-aperture forms apart) is
called again and again with arguments that fail late: after the arrays were
taken, at the last parameter's conversion, on a NaN shape parameter, or, for
the many-aperture weights, at a middle aperture after the rasters of the
others were made.  Under the address sanitizer freed memory is held back on
purpose, so resident memory says nothing there."""

import gc
import os
import sys
from collections import defaultdict

import numpy as np
import pytest

import quorvantel._native as native
from test_fuzz import ANGLES, FUNCTIONS, SIZES, make_arguments

pytestmark = [
    pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc/self/statm"),
    pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                       reason="the address sanitizer holds freed memory back"),
]

ROUNDS = 1500
ALLOWED_GROWTH = 4 << 20


def family(name):
    head = name.lstrip("_").split("_")[0]
    return head + ("_one" if "_one" in name else "")


def failing_calls(name):
    """(function, arguments) that fail late in the call."""
    fn = getattr(native, name)
    params = FUNCTIONS[name]
    if not params:
        return []
    rng = np.random.default_rng(3)
    base = make_arguments(name, rng, 40, 20, 20)
    calls = [{**base, params[-1]: "late"}]
    calls += [{**base, p: np.nan} for p in params if p in SIZES or p in ANGLES]
    for p in params:
        if isinstance(base[p], np.ndarray) and base[p].ndim == 1 and base[p].size > 1:
            calls.append({**base, p: np.repeat(base[p], 2)[::2]})  # not contiguous
    if name.startswith("weights_") and "xs" in params:
        xs = np.full(9, 10.0)
        xs[4] = 1e300  # the middle aperture's raster cannot be made
        calls.append({**base, "xs": xs, "ys": np.full(9, 10.0)})
    return [(fn, args) for args in calls]


FAMILIES = defaultdict(list)
for _name in sorted(FUNCTIONS):
    FAMILIES[family(_name)].extend(failing_calls(_name))


def resident_bytes():
    gc.collect()
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def _run(calls, rounds):
    failed = 0
    for _ in range(rounds):
        for fn, args in calls:
            try:
                fn(**args)
            except (TypeError, ValueError, OverflowError, MemoryError):
                failed += 1
    return failed


@pytest.mark.parametrize("kind", sorted(k for k, v in FAMILIES.items() if v))
@pytest.mark.parametrize("threshold_value", [1, 10**9], ids=["pooled", "serial"])
def test_failing_calls_leave_memory_flat(threshold, kind, threshold_value):
    calls = FAMILIES[kind]
    threshold.set_parallel_threshold(threshold_value)
    assert _run(calls, 20) > 0
    before = resident_bytes()
    _run(calls, ROUNDS)
    grown = resident_bytes() - before
    assert grown < ALLOWED_GROWTH, f"{kind}: {grown} bytes more after {ROUNDS} rounds"
