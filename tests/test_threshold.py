"""The parallel threshold: environment variable, getter, setter and pool start."""

import os
import subprocess
import sys

import numpy as np
import pytest

import quorvantel._native as native

VAR = "QUORVANTEL_PARALLEL_THRESHOLD"
MAX = 2**64 - 1

GET = "print(m.get_parallel_threshold())"
ENV_VALUES = [
    (None, 64), ("128", 128), ("+128", 128), ("007", 7), ("1", 1), (str(MAX), MAX),
    ("0" * 30 + "128", 128), (" 128", 64), ("128 ", 64), ("\t5", 64), ("5\n", 64),
    ("0x10", 64), ("1e3", 64), ("12a", 64), ("-5", 64), ("-0", 64), ("+", 64),
    ("-", 64), ("1_000", 64), ("++5", 64), ("+-5", 64), (str(2**64), 64),
    ("9" * 40, 64), ("", 64), ("0", 64), ("000", 64), ("+0", 64),
    ("\uff11\uff12", 64), (b"\xff12", 64), (b"12\xff", 64),
]

# (id, environment value, script after the import, expected output)
CASES = [(repr(value), value, GET, str(expected)) for value, expected in ENV_VALUES] + [
    ("set-before-first-use", "128", "m.set_parallel_threshold(16); " + GET, "16"),
    ("set-after-env-init", "128", f"{GET}; m.set_parallel_threshold(16); {GET}", "128\n16"),
    ("env-read-once", "5", f"{GET}; import os; os.environ['{VAR}'] = '9'; {GET}", "5\n5"),
    ("failed-sets-store-nothing", "128", "from contextlib import suppress as s\n"
     "with s(ValueError): m.set_parallel_threshold(0)\n"
     "with s(OverflowError): m.set_parallel_threshold(-1)\n" + GET, "128"),
]

POOL_SCRIPT = """
import os, numpy as np
def threads(): return len(os.listdir('/proc/self/task'))
d = np.ones((16, 16)); v = np.full(64, 7.5); e = v[:0]; base = threads()
m.apsum_circ_exact(d, e, e, 2.0); m.apsum_circ_ann_exact_sum(d, v[:63], v[:63], 1.0, 2.0)
m.apsum_circ_center_i16(d.astype(np.int16), v[:63], v[:63], 2.0)
m.set_parallel_threshold(1)
m.apsum_circ_center(d, e, e, 2.0); m.apsum_circ_exact_one(d, 7.5, 7.5, 2.0)
m.apsum_circ_ann_exact_sum_one_f32(d.astype(np.float32), 7.5, 7.5, 1.0, 2.0)
m.set_parallel_threshold(64); print(threads() - base)
m.apsum_circ_exact_sum(d, v, v, 2.0); print(threads() - base > 0)
"""


def _spawn(value, body):
    env = {k: v for k, v in os.environb.items() if k != VAR.encode()}
    if value is not None:
        env[VAR.encode()] = value if isinstance(value, bytes) else value.encode()
    code = "import quorvantel._native as m\n" + body
    return subprocess.Popen([sys.executable, "-c", code], env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


@pytest.fixture(scope="module")
def outputs():
    """Runs every fresh-process case at once; maps case id to its output."""
    procs = {cid: _spawn(value, body) for cid, value, body, _ in CASES}
    if os.path.isdir("/proc/self/task"):
        procs["pool"] = _spawn(None, POOL_SCRIPT)
    results = {}
    for cid, proc in procs.items():
        out, err = proc.communicate(timeout=120)
        assert proc.returncode == 0, err
        results[cid] = out.strip()
    return results


@pytest.mark.parametrize("cid, expected", [(c, e) for c, _, _, e in CASES],
                         ids=[c for c, *_ in CASES])
def test_environment_variable_and_setter_in_a_fresh_process(outputs, cid, expected):
    assert outputs[cid] == expected


def test_pool_is_started_only_at_the_threshold(outputs):
    if "pool" not in outputs:
        pytest.skip("no /proc/self/task")
    below, at = outputs["pool"].split("\n")
    assert below == "0"  # empty batches, batches below it and single apertures
    if len(os.sched_getaffinity(0)) >= 2:
        assert at == "True"


def _index(value):
    return type("_Index", (), {"__index__": lambda self: value})()


@pytest.mark.parametrize("value, stored", [(1, 1), (16, 16), (2**63, 2**63), (MAX, MAX),
                                           (True, 1), (np.uint64(7), 7), (np.int32(9), 9),
                                           (_index(5), 5)])
def test_set_then_get(threshold, value, stored):
    assert threshold.set_parallel_threshold(threshold=value) is None
    got = threshold.get_parallel_threshold()
    assert type(got) is int and got == stored


@pytest.mark.parametrize("value, error, message", [
    *[(v, ValueError, "^parallel threshold must be positive$") for v in (0, False, _index(0))],
    *[(v, OverflowError, None) for v in (-1, np.int64(-1), 2**64, _index(-3))],
    *[(v, TypeError, "^argument 'threshold': ") for v in (2.0, np.float64(3.0), "3", None)],
])
def test_rejected_values_leave_threshold_unchanged(threshold, value, error, message):
    threshold.set_parallel_threshold(37)
    with pytest.raises(error, match=message) as info:
        threshold.set_parallel_threshold(value)
    if error is OverflowError:
        assert not str(info.value).startswith("argument")
    assert threshold.get_parallel_threshold() == 37


# Limits the address space to what the process holds now.
LIMIT_ADDRESS_SPACE = """
with open("/proc/self/status") as f:
    size = [int(l.split()[1]) * 1024 for l in f if l.startswith("VmSize")][0]
resource.setrlimit(resource.RLIMIT_AS, (size, resource.RLIM_INFINITY))
"""

# Address space limited to what the process holds after a first pooled call: batches
# pooled and serial either succeed or raise MemoryError; an allocation that fails on a
# worker is no internal fault, and no worker ends the process.
POOLED_OUT_OF_ROOM = """
import resource, numpy as np
xs = np.linspace(0, 300, 1000)
ys = np.zeros_like(xs)
m.set_parallel_threshold(1)
m.weights_circ_exact(xs, ys, 3.0)
""" + LIMIT_ADDRESS_SPACE + """
for limit in (1, 10**9) * 3:
    m.set_parallel_threshold(limit)
    for r in (3.0, 30.0):
        try:
            m.weights_circ_exact(xs, ys, r)
        except MemoryError as error:
            assert str(error) in ("out of memory", "weights allocation failed"), error
print("ok")
"""

# Serial batches under the same kind of limit, with the room left to them narrowed step
# by step (4 KiB blocks hold the rest), so that memory runs out at every stage of a call:
# the rasters, their arrays, the lists of the result.  The caller sees MemoryError or a
# result, and what a failed call took is given back: after all the failures the room for
# new blocks and the resident memory are what they were.
SERIAL_OUT_OF_ROOM = """
import os, resource, numpy as np
xs = np.linspace(0, 3000, 1000)
ys = np.linspace(5, 40, 1000)
image = np.ones((64, 3100))
calls = (lambda: m.weights_wedge_exact(xs, ys, 0.9, 3.0, 0.2, 2.0, 0.4, 2.5),
         lambda: m.apsum_circ_exact(image, xs, ys, 3.0))
page = os.sysconf("SC_PAGE_SIZE")
def resident():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * page
blocks = [None] * 65536
def fill():
    k = 0
    try:
        while k < len(blocks):
            blocks[k] = bytes(4096)
            k += 1
    except MemoryError:
        pass
    return k
def release(start, stop):
    for j in range(start, stop):
        blocks[j] = None
m.set_parallel_threshold(10**9)
for call in calls:
    call()
""" + LIMIT_ADDRESS_SPACE + """
room = fill()
release(0, room)
used = resident()
outcomes = set()
for left in range(0, room + 1):
    held = fill()
    release(max(0, held - left), held)
    for call in calls:
        try:
            call()
            outcomes.add("result")
        except MemoryError as error:
            assert str(error) in ("out of memory", "weights allocation failed"), error
            outcomes.add("memory")
    release(0, held)
assert "memory" in outcomes
assert fill() >= room - 16
release(0, len(blocks))
assert resident() - used < 256 * 1024, (used, resident())
print("ok")
"""


@pytest.mark.skipif(not os.path.isdir("/proc/self/task"), reason="needs /proc and RLIMIT_AS")
@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                    reason="the address sanitizer needs an unlimited address space")
@pytest.mark.parametrize("script", [POOLED_OUT_OF_ROOM, SERIAL_OUT_OF_ROOM],
                         ids=["pooled", "serial"])
def test_batches_out_of_memory_raise_memory_error(script):
    proc = _spawn(None, script)
    out, err = proc.communicate(timeout=120)
    assert proc.returncode == 0 and out.split() == ["ok"], err[-3000:]
