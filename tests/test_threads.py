"""Many Python threads calling the module at once while the threshold changes.

Every function that takes `xs` runs thousands of apertures (on the pool when
the threshold allows), every `_one` function a single aperture; each result
must equal its serial reference bit for bit.  A hang ends the process with
every thread's stack."""

import faulthandler
import random
import threading

import numpy as np

import quorvantel._native as native
from test_fuzz import FUNCTIONS, bits, make_arguments

THREADS = 8
ROUNDS = 3
APERTURES = 3000


def _jobs():
    rng = np.random.default_rng(7)
    jobs = []
    for name in sorted(FUNCTIONS):
        params = FUNCTIONS[name]
        if "xs" in params or ("_one" in name and ("x" in params or "data" in params)):
            args = make_arguments(name, rng, APERTURES, 48, 40, scale=1.3, turn=0.4)
            jobs.append((name, getattr(native, name), args))
    return jobs


def _outcome(function, args):
    try:
        return bits(function(**args))
    except (TypeError, ValueError, OverflowError, MemoryError) as error:
        return bits(error)


def test_threads_and_threshold_changes_give_the_serial_bits(threshold):
    jobs = _jobs()
    assert any("xs" in FUNCTIONS[name] for name, *_ in jobs)
    threshold.set_parallel_threshold(10**9)
    reference = {name: _outcome(fn, args) for name, fn, args in jobs}
    threshold.set_parallel_threshold(1)

    failures, done = [], threading.Event()

    def caller(seed):
        order = jobs[:]
        random.Random(seed).shuffle(order)
        try:
            for _ in range(ROUNDS):
                for name, fn, args in order:
                    if _outcome(fn, args) != reference[name]:
                        failures.append(name)
        except BaseException as error:  # noqa: BLE001 -- reported below
            failures.append(f"{type(error).__name__}: {error}")

    def flipper():
        choices = random.Random(1)
        while not done.is_set():
            threshold.set_parallel_threshold(choices.choice([1, 64, APERTURES, 10**9]))
            done.wait(0.0005)

    faulthandler.dump_traceback_later(300, exit=True)
    try:
        callers = [threading.Thread(target=caller, args=(k,)) for k in range(THREADS)]
        flip = threading.Thread(target=flipper)
        flip.start()
        for t in callers:
            t.start()
        for t in callers:
            t.join()
        done.set()
        flip.join()
    finally:
        faulthandler.cancel_dump_traceback_later()
    assert failures == []
