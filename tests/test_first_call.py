"""A process's first calls: a fork() while another thread is making one, and
allocations that fail during one or while the module is executed.

Every case runs in a fresh interpreter with a timeout.  Within it, a parent
that never calls the module forks a child per trial, so each trial starts
where a new process does: NumPy's C interface not yet looked up, no fault
type, no pool."""

import ast
import os
import subprocess
import sys

import pytest

try:
    import _testcapi
except ImportError:
    _testcapi = None

pytestmark = pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork()")

PRELUDE = r"""
import builtins, gc, os, signal, sys, threading, time
import numpy as np
import quorvantel._native as m

image = np.ones((64, 64))
xs = np.linspace(3.0, 60.0, 200)
ys = xs[::-1].copy()

def show(result):
    if isinstance(result, (tuple, list)):
        return "[" + ",".join(show(v) for v in result) + "]"
    if isinstance(result, np.ndarray):
        return show(result.tolist())
    return float(result).hex() if isinstance(result, float) else repr(result)

def in_child(work):
    # work() in a child forked from this pristine process; its text.
    r, w = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(r)
        signal.alarm(30)
        try:
            text = work()
        except BaseException as error:
            text = f"unexpected {type(error).__name__}: {error}"
        os.write(w, text.encode())
        os._exit(0)
    os.close(w)
    data = b""
    while chunk := os.read(r, 1 << 16):
        data += chunk
    os.close(r)
    os.waitpid(pid, 0)
    return data.decode()
"""


def _run(script, *args):
    # -P: while CPython 3.13.0 words the AttributeError of a missing module
    # attribute with the current directory first on the path, an allocation
    # that fails there ends the lookup with no exception set at all.
    proc = subprocess.run([sys.executable, "-P", "-W", "ignore", "-c", PRELUDE + script, *args],
                          capture_output=True, text=True, timeout=180)
    assert proc.returncode == 0, proc.stderr[-3000:]
    return proc.stdout.strip()


# A thread makes the process's first call and is held inside one of its
# once-per-process steps while the main thread forks; the child then makes the
# same call, which must complete (a child that blocks is ended by its alarm),
# as must the parent's.
# The steps: the lookup of NumPy's C interface (held in its import), the
# making of the fault type (held by a collection, once the lookup has failed
# and dropped its error) and the start of the pool.
FORK_RACE = r"""
plain_import = builtins.__import__
inside = threading.Event()
lookup_over = []

def work():
    try:
        return show(m.apsum_circ_exact(image, xs, ys, 2.5))
    except BaseException as error:
        return f"{type(error).__name__}: {error}"

def held_import(*args, **kwargs):
    if threading.current_thread() is not threading.main_thread():
        inside.set()
        time.sleep(0.05)
    return plain_import(*args, **kwargs)

class Unreachable(ImportError):
    def __del__(self):
        lookup_over.append(1)

def unreachable_import(*args, **kwargs):
    raise Unreachable("numpy is out of reach")

def refused_import(*args, **kwargs):
    raise ImportError("numpy is out of reach")

def held_collection(phase, info):
    if (lookup_over and threading.current_thread() is not threading.main_thread()
            and sys._getframe(1).f_code is work.__code__):
        inside.set()
        time.sleep(0.05)

def lookup():
    builtins.__import__ = held_import

def fault():
    builtins.__import__ = unreachable_import
    gc.callbacks.append(held_collection)
    gc.set_threshold(1)

def pool():
    m.set_parallel_threshold(10**9)
    work()
    m.set_parallel_threshold(1)
    def starting():
        tasks = "/proc/self/task"
        return not os.path.isdir(tasks) or len(os.listdir(tasks)) > 2
    return starting

def trial(prepare, expected):
    started = prepare()
    racer = threading.Thread(target=work)
    racer.start()
    if started is None:
        if not inside.wait(10):
            return 2
    else:
        deadline = time.monotonic() + 2
        while not started() and time.monotonic() < deadline:
            pass
    pid = os.fork()
    if pid == 0:
        gc.callbacks.clear()
        builtins.__import__ = refused_import if lookup_over else plain_import
        signal.alarm(10)
        os._exit(0 if work().startswith(expected) else 1)
    # The parent's own call meanwhile waits for the racer's step, if still
    # under way, without holding up the interpreter that the racer needs.
    parent_ok = work().startswith(expected)
    status = os.waitpid(pid, 0)[1]
    racer.join()
    return os.waitstatus_to_exitcode(status) or (0 if parent_ok else 3)

reference = in_child(work)
assert reference.startswith("[["), reference
races = {"lookup": (lookup, reference), "pool": (pool, reference),
         "fault": (fault, "FaultException: Failed to access NumPy array API capsule")}
outcomes = {}
for name, (prepare, expected) in races.items():
    for _ in range(int(sys.argv[1])):
        pid = os.fork()
        if pid == 0:
            signal.alarm(60)
            os._exit(trial(prepare, expected) & 0xFF)
        outcomes.setdefault(name, []).append(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
print(outcomes)
"""


def test_a_child_forked_during_a_first_call_does_not_block():
    # 0: the calls completed as expected; 1: the child's call had another
    # outcome; 2: the racing thread never reached the step; 3: the parent's
    # call had another outcome; 242: the child blocked (ended by its alarm).
    outcomes = ast.literal_eval(_run(FORK_RACE, "4"))
    assert outcomes == {name: [0] * 4 for name in ("lookup", "pool", "fault")}


# The first call of a process with the k-th allocation from its start failing
# (or every allocation from the k-th on), for every k up to the call's last
# allocation: MemoryError or the result, never the fault type; the next call
# gives the result.
FIRST_CALL_OUT_OF_MEMORY = r"""
import _testcapi
few_xs, few_ys = xs[:3], ys[:3]
calls = {"bboxes_circ": lambda: m.bboxes_circ(few_xs, few_ys, 1.5),
         "apsum_circ_exact": lambda: m.apsum_circ_exact(image, few_xs, few_ys, 1.5),
         "weights_circ_exact": lambda: m.weights_circ_exact(few_xs, few_ys, 1.5),
         "npix_circ_exact": lambda: m.npix_circ_exact(few_xs, few_ys, 1.5, 64, 64)}

def failing_from(call, k, stop):
    def work():
        _testcapi.set_nomemory(k, stop)
        try:
            call()
            outcome = "result"
        except MemoryError:
            outcome = "memory"
        finally:
            _testcapi.remove_mem_hooks()
        return outcome + " " + show(call())
    return work

for name, call in calls.items():
    reference = in_child(lambda: show(call()))
    for k in range(200):
        outcomes = []
        for stop in (k + 1, 0):
            text = in_child(failing_from(call, k, stop))
            outcome, _, after = text.partition(" ")
            assert outcome in ("result", "memory") and after == reference, (name, k, stop, text)
            outcomes.append(outcome)
        if outcomes[1] == "result":
            break   # the call makes fewer than k + 1 allocations
    assert k > 2, (name, k)
print("ok")
"""

# Fresh executions of the module (as a new interpreter's import makes) with
# one allocation failing at each point in turn, or every allocation from
# there on: MemoryError or a complete module, never the fault type, both
# before the process has met any fault and after it has.
EXECUTION_OUT_OF_MEMORY = r"""
import importlib.machinery, types, _testcapi
# The library is loaded already; each module made from it runs its
# execution afresh.
where = types.SimpleNamespace(name="quorvantel._native", origin=m.__file__)
loader = importlib.machinery.ExtensionFileLoader(where.name, where.origin)

def execute(k, stop):
    module = loader.create_module(where)
    _testcapi.set_nomemory(k, stop)
    try:
        loader.exec_module(module)
    except MemoryError:
        return "memory"
    finally:
        _testcapi.remove_mem_hooks()
    assert module.__all__ == m.__all__ and all(callable(getattr(module, n)) for n in m.__all__)
    return "result"

def refused_import(*args, **kwargs):
    raise ImportError("numpy is out of reach")

for fault_first in (False, True):
    if fault_first:
        plain_import, builtins.__import__ = builtins.__import__, refused_import
        try:
            m.bboxes_circ(xs, ys, 1.0)
        except BaseException as fault:
            assert type(fault).__name__ == "FaultException", fault
        finally:
            builtins.__import__ = plain_import
    for stop_after in (1, None):
        outcomes = []
        k = 0
        while outcomes[-50:] != ["result"] * 50:
            outcomes.append(execute(k, 0 if stop_after is None else k + stop_after))
            k += 1
            assert k < 20000
        assert outcomes.count("memory") > 100, outcomes
print("ok")
"""


@pytest.mark.skipif(_testcapi is None or not hasattr(_testcapi, "set_nomemory"),
                    reason="needs _testcapi.set_nomemory")
@pytest.mark.parametrize("script", [FIRST_CALL_OUT_OF_MEMORY, EXECUTION_OUT_OF_MEMORY],
                         ids=["first-call", "module-execution"])
def test_running_out_of_memory_is_memory_error(script):
    assert _run(script) == "ok"
