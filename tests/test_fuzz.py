"""Every registered function called with hostile arguments.

The functions and their parameters are read from the module itself (`__all__`
and each `__text_signature__`), so functions registered later are covered
without a change here.  A call may only return a result of its documented type
or raise TypeError, ValueError, OverflowError or MemoryError with a message
(or let an argument's own exception through); anything else, a crash or a
hang fails.  QUORVANTEL_FUZZ_EXAMPLES raises the number of random examples
per function (CI keeps the default)."""

import faulthandler
import inspect
import math
import os
import re
import subprocess
import sys

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import quorvantel._native as native

EXAMPLES = int(os.environ.get("QUORVANTEL_FUZZ_EXAMPLES", "25"))
SETTINGS = settings(max_examples=EXAMPLES, derandomize=True, deadline=None, database=None,
                    suppress_health_check=list(HealthCheck))
# A test that runs longer than this ends the process with every thread's stack.
HANG_SECONDS = 120
# The address sanitizer ends the process when `new` cannot allocate instead of
# throwing, so sizes that only an allocation failure can refuse stay out there.
SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")

FUNCTIONS = {name: list(inspect.signature(getattr(native, name)).parameters)
             for name in native.__all__}
ALLOWED = (TypeError, ValueError, OverflowError, MemoryError)


class Hostile(Exception):
    """Raised by the arguments' own conversions; it must come through unchanged."""


class BadFloat:
    def __float__(self):
        raise Hostile("__float__")


class BadIndex:
    def __index__(self):
        raise Hostile("__index__")


class BadBoth(BadFloat, BadIndex):
    pass


# --- parameter kinds -----------------------------------------------------------

IMAGE_TYPES = {"_f32": np.float32, "_i32": np.int32, "_i16": np.int16}
FLOAT_NAMES = {"x", "y", "x0", "y0"}


def kind_of(function, param):
    """(kind, dtype, rank) of a parameter; rank None for any rank."""
    if param in ("xs", "ys", "center"):
        return "array", np.float64, 1
    if param == "data":
        if "path" in function:
            return "array", np.float64, 2
        suffix = re.search(r"(_f32|_i32|_i16)$", function)
        return "array", IMAGE_TYPES[suffix.group(1)] if suffix else np.float64, 2
    if param == "kinds":
        return "array", np.int8, 1
    if param == "mask":
        return "array", np.bool_, None
    if param == "selected":
        return "array", np.bool_, 2
    if param == "return_pos":
        return "bool", None, None
    if param in ("ny", "nx", "threshold"):
        return "unsigned", None, None
    if param in ("x_min", "y_min"):
        return "signed", None, None
    return "float", None, None


def _unaligned(dtype, shape):
    count = int(np.prod(shape))
    raw = np.zeros(count * np.dtype(dtype).itemsize + 1, np.uint8)
    return raw[1:].view(dtype).reshape(shape)


def _read_only(a):
    a = a.copy()
    a.flags.writeable = False
    return a


def hostile_arrays(dtype, rank):
    """Arrays (and non-arrays) that break the layout, type or shape rules."""
    dtype = np.dtype(dtype)
    rank = 2 if rank is None else rank
    shape = (5,) if rank == 1 else (4, 5)
    good = np.ones(shape, dtype)
    wrong = np.float32 if dtype != np.float32 else np.float64
    values = [None, 1.0, "data", good.tolist(), np.array(1, dtype), np.ones(shape + (2,), dtype),
              np.zeros((0,) * rank, dtype), np.ones((9,) * rank, dtype)[(slice(None, None, 2),) * rank],
              np.ones((6,) * rank, dtype)[(slice(None, None, -1),) * rank],
              _unaligned(dtype, shape), _read_only(good), good.astype(wrong), good.astype(np.int64),
              good.astype(dtype.newbyteorder(">")), good.astype(object)]
    if rank >= 2:
        values += [np.asfortranarray(np.ones((4, 5), dtype)), np.ones((4, 5, 3), dtype)[:, :, 0],
                   np.zeros((0, 5), dtype), np.zeros((5, 0), dtype), np.ones(5, dtype)]
    else:
        values += [np.ones((1, 5), dtype), np.zeros((0, 3), dtype)]
    return values


HUGE_FLOATS = [] if SANITIZED else [1e6, 1e12]
HUGE_INTS = [] if SANITIZED else [2**40]
HOSTILE = {
    "float": [None, "1", BadFloat(), BadIndex(), BadBoth(), math.nan, math.inf, -math.inf, -0.0,
              0.0, 5e-324, -5e-324, 1e308, -1e308, 2**200, 2**2000, -2**63 - 1, True,
              np.float32(1.5), *HUGE_FLOATS],
    "signed": [None, 1.5, "3", BadIndex(), 2**63, -2**63 - 1, 2**200, -2**63, 2**63 - 1,
               np.int64(-4), -1, 0, True],
    "unsigned": [None, 1.5, "3", BadIndex(), 2**63, 2**64 - 1, 2**64, -1, -2**63 - 1, 2**200,
                 0, 1, np.uint64(3), *HUGE_INTS],
    "bool": [None, 1, 0, "True", 1.0, np.bool_(True), np.int8(1), BadIndex()],
}


def hostile_values(function, param):
    kind, dtype, rank = kind_of(function, param)
    if kind == "array":
        return hostile_arrays(dtype, rank)
    return HOSTILE[kind]


# --- valid arguments -------------------------------------------------------------

# Sizes and angles of every shape parameter, all orderings between inner and
# outer sizes kept when scaled together.
SIZES = {"r": 2.5, "r_in": 1.0, "r_out": 3.0, "a": 3.0, "b": 2.0, "w": 4.0, "h": 2.5,
         "a_in": 1.5, "b_in": 1.0, "a_out": 3.0, "b_out": 2.5, "w_in": 2.0, "h_in": 1.5,
         "w_out": 4.0, "h_out": 3.0}
ANGLES = {"theta": 0.3, "theta_in": 0.2, "theta_out": 0.5, "dtheta_in": 1.0, "dtheta_out": 2.0}


def make_arguments(function, rng, n, ny, nx, *, scale=1.0, turn=0.0, half=2.0, spoil=False,
                   flag=True, count=5):
    """Arguments that pass (or nearly pass) every check of `function`: n apertures
    on an image of ny by nx pixels, shapes scaled by `scale` and turned by `turn`;
    with `spoil` one centre coordinate is NaN, infinite or far away."""
    centres = rng.uniform(-8, max(ny, nx) + 8, size=(2, n))
    if n and spoil:
        centres[rng.integers(0, 2), rng.integers(0, n)] = rng.choice([np.nan, np.inf, 1e300])
    out = {}
    for p in FUNCTIONS[function]:
        kind, dtype, _ = kind_of(function, p)
        if p in ("xs", "ys"):
            out[p] = np.ascontiguousarray(centres[0 if p == "xs" else 1])
        elif p == "data" and "path" in function:
            rows = [(-half, -half), (half, -half), (half, half), (-half, half), (0, 0)]
            out[p] = np.array([[x, y, 0, 0, 0, 0] for x, y in rows], np.float64)
        elif p == "kinds":
            out[p] = np.array([0, 1, 1, 1, 3], np.int8)
        elif p == "data":
            out[p] = (rng.normal(size=(ny, nx)) * 100).astype(dtype)
        elif p in ("mask", "selected"):
            out[p] = rng.random((ny, nx) if p == "selected" or flag else (ny, nx, 2)) < 0.3
        elif p == "center":
            out[p] = rng.uniform(-2, 26, size=2)
        elif p == "return_pos":
            out[p] = flag
        elif p in ("ny", "nx"):
            out[p] = count
        elif p == "threshold":
            out[p] = count + 1
        elif kind == "signed":
            out[p] = count - 3
        elif p in SIZES:
            out[p] = SIZES[p] * scale
        elif p in ANGLES:
            out[p] = ANGLES[p] + (turn if p.startswith("theta") else 0.0)
        else:  # x, y, x0, y0 and any parameter not known here
            out[p] = float(rng.uniform(-4, 28))
    return out


@st.composite
def valid_arguments(draw, function, *, apertures=st.integers(0, 40)):
    return make_arguments(
        function, np.random.default_rng(draw(st.integers(0, 2**32 - 1))), draw(apertures),
        draw(st.integers(1, 24)), draw(st.integers(1, 24)),
        scale=draw(st.sampled_from([0.05, 0.5, 1.0, 3.7, 12.0])),
        turn=draw(st.sampled_from([0.0, 0.7, -2.9, 6.5])),
        half=draw(st.sampled_from([0.3, 2.0, 5.5])), spoil=draw(st.booleans()),
        flag=draw(st.booleans()), count=draw(st.integers(0, 12)))


# --- the documented results ---------------------------------------------------------


def _floats(v, n=None):
    return type(v) is list and all(type(e) is float for e in v) and (n is None or len(v) == n)


def _ints(v, n=None):
    return type(v) is list and all(type(e) is int for e in v) and (n is None or len(v) == n)


def result_is_documented(function, args, result):
    n = len(args["xs"]) if isinstance(args.get("xs"), np.ndarray) else None
    one = "_one" in function
    if function == "get_parallel_threshold":
        return type(result) is int and result >= 1
    if function == "set_parallel_threshold":
        return result is None
    if function.startswith("apsum_"):
        if "_sum" in function:
            return type(result) is float if one else _floats(result, n)
        pair = type(result) is tuple and len(result) == 2
        return pair and all(type(v) is float if one else _floats(v, n) for v in result)
    if function.startswith("npix_") or function == "_selected_pixel_distances":
        return _floats(result, n)
    if function.startswith("bboxes_"):
        return type(result) is tuple and len(result) == 4 and all(_ints(v, n) for v in result)
    if function == "_farthest_mask_pixel":
        return (type(result) is tuple and len(result) == 3 and type(result[0]) is float
                and type(result[1]) is int and _ints(result[2]))
    if function.startswith("weights_") and one:
        return _floats(result, args["ny"] * args["nx"])
    if function.startswith("weights_"):
        if not (type(result) is tuple and len(result) == 5 and all(
                type(v) is list and len(v) == n for v in result)):
            return False
        arrays, *edges = result
        return all(_ints(v) for v in edges) and all(
            type(a) is np.ndarray and a.dtype == np.float64 and a.ndim == 2 and
            a.shape == (y1 - y0, x1 - x0)
            for a, x0, x1, y0, y1 in zip(arrays, *edges))
    return True  # a function this file does not know yet: no crash is all it can check


def call(function, args):
    """Calls `function` and checks what comes back; returns the result or the exception."""
    saved = native.get_parallel_threshold()
    try:
        result = getattr(native, function)(**args)
    except Hostile as error:
        return error
    except ALLOWED as error:
        assert str(error), f"{function}: {type(error).__name__} without a message"
        return error
    except BaseException as error:  # SystemError, FaultException, anything else
        raise AssertionError(f"{function} raised {type(error).__module__}."
                             f"{type(error).__name__}: {error}") from error
    finally:
        native.set_parallel_threshold(saved)
    assert result_is_documented(function, args, result), f"{function} returned {result!r:.200}"
    return result


# --- the tests ----------------------------------------------------------------------


@pytest.fixture(autouse=True)
def watchdog():
    """Ends the process, with every thread's stack, when a test hangs."""
    faulthandler.dump_traceback_later(HANG_SECONDS, exit=True)
    yield
    faulthandler.cancel_dump_traceback_later()


NAMES = sorted(FUNCTIONS)


@pytest.mark.parametrize("function", NAMES)
@SETTINGS
@given(data=st.data())
def test_each_hostile_value_of_each_parameter(function, data):
    # Every listed hostile value once per parameter, the other arguments valid.
    base = data.draw(valid_arguments(function))
    call(function, base)
    for param in FUNCTIONS[function]:
        for value in hostile_values(function, param):
            call(function, {**base, param: value})


@pytest.mark.parametrize("function", NAMES)
@SETTINGS
@given(data=st.data())
def test_random_mixtures_of_hostile_and_valid_arguments(function, data):
    valid = data.draw(valid_arguments(function))
    args = dict(valid)
    for param in FUNCTIONS[function]:
        if data.draw(st.booleans()):
            args[param] = data.draw(st.sampled_from(hostile_values(function, param)))
    # Pixel counts over an image of given extent visit every pixel an aperture
    # covers in it: a huge aperture in a huge image is a lawful request for
    # endless work, so only one of the two is made hostile.
    if any(args[p] is not valid[p] for p in ("ny", "nx") if p in args) and "xs" in args:
        args.update({p: valid[p] for p in args if p in SIZES})
    call(function, args)


def bits(value):
    """A result as comparable data, floats by their bits and arrays by their bytes."""
    if isinstance(value, (list, tuple)):
        return [type(value).__name__, [bits(v) for v in value]]
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, np.ndarray):
        return [value.dtype.str, value.shape, value.tobytes()]
    if isinstance(value, BaseException):
        return [type(value).__name__, str(value)]
    return value


MANY = [name for name in NAMES if "xs" in FUNCTIONS[name]]


@pytest.mark.parametrize("function", MANY)
@SETTINGS
@given(data=st.data())
def test_pooled_and_serial_results_are_the_same_bits(function, data):
    args = data.draw(valid_arguments(function, apertures=st.integers(0, 300)))
    saved, results = native.get_parallel_threshold(), []
    try:
        for threshold in (1, 10**9, 1):
            native.set_parallel_threshold(threshold)
            results.append(bits(call(function, args)))
    finally:
        native.set_parallel_threshold(saved)
    assert results[0] == results[1] == results[2]


OUT_OF_MEMORY = """
import inspect, resource, numpy as np, quorvantel._native as m
xs = np.zeros(2**25)  # never touched: the room for the results is what is missing
with open("/proc/self/status") as f:
    size = [int(l.split()[1]) * 1024 for l in f if l.startswith("VmSize")][0]
resource.setrlimit(resource.RLIMIT_AS, (size + (100 << 20), resource.RLIM_INFINITY))
for name in m.__all__:
    if name.startswith("apsum_") and "_one" not in name:
        data = np.ones((4, 4), {"_f32": np.float32, "_i32": np.int32, "_i16": np.int16}.get(
            name[-4:], np.float64))
        fn = getattr(m, name)
        shape = [1.0, 2.0, 0.5][:len(inspect.signature(fn).parameters) - 3]
        try:
            fn(data, xs, xs, *shape)
        except MemoryError as error:
            assert str(error), name
        else:
            raise AssertionError(name + " found the memory")
print("ok")
"""


@pytest.mark.skipif(not sys.platform.startswith("linux") or SANITIZED,
                    reason="needs RLIMIT_AS, which the address sanitizer cannot live with")
def test_results_that_do_not_fit_in_memory_raise_memory_error_with_a_message():
    done = subprocess.run([sys.executable, "-c", OUT_OF_MEMORY], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0 and done.stdout.split() == ["ok"], done.stderr[-3000:]
