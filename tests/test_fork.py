"""The worker pool across fork() and where its threads cannot be made.

Every case runs in a fresh interpreter with a timeout, so a hang or an abort
fails the test instead of taking the suite down."""

import os
import subprocess
import sys

import pytest

PRELUDE = """
import os, sys, threading, numpy as np
import quorvantel._native as m
d = np.arange(64.0 * 64).reshape(64, 64)
v = np.linspace(3.0, 60.0, 500)
def work(_=None):
    sums, areas = m.apsum_circ_exact(d, v, v[::-1].copy(), 2.5)
    return [x.hex() for x in sums + areas + m.apsum_ellip_center_i16(
        d.astype(np.int16), v, v, 3.0, 1.5, 0.4)[0]]
def serial():
    saved = m.get_parallel_threshold(); m.set_parallel_threshold(10**9)
    try: return work()
    finally: m.set_parallel_threshold(saved)
m.set_parallel_threshold(1)
"""


def _run(body, timeout=120):
    proc = subprocess.run([sys.executable, "-c", PRELUDE + body], capture_output=True,
                          text=True, timeout=timeout)
    assert proc.returncode == 0, proc.stderr[-3000:]
    return proc.stdout.split()


FORK_POOL = """
import multiprocessing as mp
reference = serial()
assert work() == reference                      # the parent has used its pool
with mp.get_context("fork").Pool(2) as pool:
    results = pool.map(work, range(4))
assert all(r == reference for r in results)
assert work() == reference                      # the parent's pool still works
print("ok")
"""

# A thread of the parent keeps making pooled calls while the main thread forks
# again and again; each child makes pooled calls of its own and exits.
FORK_DURING_CALLS = """
reference = serial()
stop = False
def busy():
    while not stop:
        assert work() == reference
helper = threading.Thread(target=busy); helper.start()
for k in range(6):
    r, w = os.pipe()
    pid = os.fork()
    if pid == 0:
        os.close(r)
        ok = all(work() == reference for _ in range(2))
        os.write(w, b"1" if ok else b"0")
        if k % 2: sys.exit(0)     # the interpreter's full exit, static destructors and all
        os._exit(0)
    os.close(w)
    assert os.read(r, 1) == b"1"; os.close(r)
    assert os.waitpid(pid, 0)[1] == 0
stop = True; helper.join()
assert work() == reference
print("ok")
"""

# A child forked before the parent ever used the pool starts its own.
FORK_BEFORE_FIRST_USE = """
pid = os.fork()
if pid == 0:
    ok = work() == serial() and len(os.listdir("/proc/self/task")) > 1
    os._exit(0 if ok else 1)
assert os.waitpid(pid, 0)[1] == 0
print("ok")
"""


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork()")
@pytest.mark.parametrize("body", [FORK_POOL, FORK_DURING_CALLS, FORK_BEFORE_FIRST_USE],
                         ids=["multiprocessing", "fork-while-calling", "fork-before-use"])
def test_pooled_calls_after_fork_give_the_same_bits(body):
    assert _run(body) == ["ok"]


# Address space limited to what the process has now plus `room` bytes, then a
# first pooled call: it must complete with the serial bits, not end the process.
RLIMIT = """
import resource
reference = serial()
with open("/proc/self/status") as f:
    size = [int(l.split()[1]) * 1024 for l in f if l.startswith("VmSize")][0]
resource.setrlimit(resource.RLIMIT_AS, (size + int(sys.argv[1]), resource.RLIM_INFINITY))
assert work() == reference
assert work() == reference
print("ok")
"""


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="needs /proc and RLIMIT_AS")
@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""),
                    reason="the address sanitizer needs an unlimited address space")
@pytest.mark.parametrize("room", [0, 20 << 20, 120 << 20, 400 << 20])
def test_no_abort_when_worker_threads_cannot_be_made(room):
    proc = subprocess.run([sys.executable, "-c", PRELUDE + RLIMIT, str(room)],
                          capture_output=True, text=True, timeout=120)
    assert proc.returncode == 0 and proc.stdout.split() == ["ok"], proc.stderr[-3000:]
