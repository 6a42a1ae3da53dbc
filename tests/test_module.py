"""Function table, introspection, argument binding and argument conversion."""

import inspect
import math
import subprocess
import sys
import types

import numpy as np
import pytest

import quorvantel._native as native
from conftest import FUNCTION_TABLE

TABLE = dict(FUNCTION_TABLE)
PRESENT = list(native.__all__)
SUFFIX_DTYPE = {"": np.float64, "_f32": np.float32, "_i32": np.int32, "_i16": np.int16}


def test_all_lists_the_table_rows_in_order_and_nothing_else():
    assert isinstance(native.__all__, list) and all(type(n) is str for n in PRESENT)
    assert PRESENT == [name for name, _ in FUNCTION_TABLE]
    assert {k for k in vars(native) if not k.startswith("__")} == set(PRESENT)
    assert native.__doc__ == ""


@pytest.mark.parametrize("name", PRESENT)
def test_function_introspection(name):
    fn = getattr(native, name)
    assert isinstance(fn, types.BuiltinFunctionType)
    assert fn.__self__ is native and fn.__module__ == native.__name__
    assert fn.__name__ == name and fn.__doc__ is None
    assert fn.__text_signature__ == "(" + TABLE[name] + ")"
    params = list(inspect.signature(fn).parameters.values())
    assert [p.name for p in params] == [p for p in TABLE[name].split(", ") if p]
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD and p.default is p.empty for p in params)


# --- argument binding -----------------------------------------------------

IMAGE = np.arange(72, dtype=np.float64).reshape(8, 9) % 7
XS, YS = np.array([3.2, 4.0, 1.0]), np.array([4.1, 2.5, 0.2])
_VALUES = {"xs": XS, "ys": YS, "x": 3.2, "y": 4.1, "r": 2.5, "r_in": 1.0, "r_out": 2.5,
           "a": 2.5, "b": 1.5, "w": 2.5, "h": 1.5, "theta": 0.3, "ny": 8, "nx": 9}


def _args_for(name):
    """Valid arguments by parameter name, or None when a parameter is not known here."""
    args = {}
    for param in filter(None, TABLE[name].split(", ")):
        if param == "data" and name.startswith("apsum_"):
            args[param] = IMAGE.astype(SUFFIX_DTYPE.get(name[-4:], np.float64))
        elif param == "threshold":
            args[param] = native.get_parallel_threshold()
        elif param not in _VALUES:
            return None
        else:
            args[param] = _VALUES[param]
    return args


BINDABLE = [n for n in PRESENT if n != "get_parallel_threshold" and _args_for(n)]


def _message(fn, *args, **kwargs):
    with pytest.raises(TypeError) as info:
        fn(*args, **kwargs)
    return str(info.value)


@pytest.mark.parametrize("name", BINDABLE)
def test_positional_keyword_and_mixed_calls_agree(name, threshold):
    fn, args = getattr(native, name), _args_for(name)
    values, half = list(args.values()), len(args) // 2
    expected = repr(fn(*values))
    assert repr(fn(**dict(reversed(list(args.items()))))) == expected
    tail = {k: args[k] for k in reversed(list(args)[half:])}
    assert repr(fn(*values[:half], **tail)) == expected


@pytest.mark.parametrize("name", BINDABLE)
def test_binding_errors_use_interpreter_wording(name, threshold):
    scope = {}  # a plain Python function with the same parameters words the errors
    exec(f"def {name}({TABLE[name]}): pass", scope)
    fn, twin, args = getattr(native, name), scope[name], _args_for(name)
    values, first = tuple(args.values()), next(iter(args))
    cases = [((*values, 1.0), {}), (values, {"bogus_kw": 1}), (values, {first: values[0]}),
             # keywords are looked at in the order given
             (values[:1], {first: 1, "bogus_kw": 1}), (values[:1], {"bogus_kw": 1, first: 1}),
             # a name that UTF-8 cannot encode is just another unexpected keyword
             (values, {"\ud800": 1}), (values[:1], {"\udcff": 1, first: 1})]
    for pos, kw in cases + [(values[:k], {}) for k in range(len(values))]:
        assert _message(fn, *pos, **kw) == _message(twin, *pos, **kw)


def test_binding_message_wording():
    assert _message(native.apsum_circ_exact, IMAGE, XS) == (
        "apsum_circ_exact() missing 2 required positional arguments: 'ys' and 'r'")
    assert "takes no arguments" in _message(native.get_parallel_threshold, 1)
    _message(native.get_parallel_threshold, threshold=1)


# --- argument conversion ----------------------------------------------------

_Floaty = type("_Floaty", (), {"__float__": lambda self: 2.0})
_Indexy = type("_Indexy", (), {"__index__": lambda self: 2})
_SubFloat = type("_SubFloat", (float,), {})


@pytest.mark.parametrize("r", [2, _Floaty(), _Indexy(), _SubFloat(2.0), np.float32(2.0),
                               np.int64(2)])
def test_float_parameters_accept_numbers_and_conversions(r):
    assert native.apsum_circ_exact(IMAGE, XS, YS, r) == native.apsum_circ_exact(
        IMAGE, XS, YS, 2.0)
    assert native.apsum_circ_exact_one(IMAGE, r, r, r) == native.apsum_circ_exact_one(
        IMAGE, 2.0, 2.0, 2.0)


@pytest.mark.parametrize("bad", ["2", None, 2j, [2.0], np.array([2.0, 3.0]), 10**400])
def test_float_parameter_refusals(bad):
    # an int too large for a double raises the interpreter's OverflowError unchanged
    error, prefix = (OverflowError, "(?!argument)") if isinstance(bad, int) else (
        TypeError, "argument '{}': ")
    for name, call in (("r", lambda: native.apsum_circ_exact(IMAGE, XS, YS, bad)),
                       ("x", lambda: native.apsum_circ_exact_one(IMAGE, bad, 1.0, 1.0)),
                       ("r_out", lambda: native.apsum_circ_ann_exact_sum(IMAGE, XS, YS, 1, bad))):
        with pytest.raises(error, match="^" + prefix.format(name)):
            call()


BAD_ARRAYS = [("xs", list(XS)), ("xs", tuple(XS)), ("xs", XS.astype(np.float32)),
              ("xs", XS.astype(np.int64)), ("xs", XS.astype(">f8")), ("xs", XS.reshape(1, 3)),
              ("xs", np.array(1.0)), ("xs", np.float64(1.0)), ("ys", YS.astype(np.float16)),
              ("ys", YS.tolist()), ("data", IMAGE.ravel()), ("data", IMAGE[None]),
              ("data", IMAGE.tolist()), ("data", np.float64(1))]


@pytest.mark.parametrize("param, bad", BAD_ARRAYS, ids=range(len(BAD_ARRAYS)))
def test_arrays_must_have_their_dimensions_and_type(param, bad):
    with pytest.raises(TypeError, match=f"^argument '{param}': "):
        native.apsum_circ_exact(**{"data": IMAGE, "xs": XS, "ys": YS, "r": 1.0, param: bad})
    if param == "data":
        with pytest.raises(TypeError, match=r"^argument 'data': "):
            native.apsum_circ_ann_exact_one(bad, 1.0, 1.0, 0.0, 1.0)


FAMILIES = sorted({n[:-4] if n[-4:] in SUFFIX_DTYPE else n
                   for n in PRESENT if n.startswith("apsum_circ")})


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize("dtype", ["f8", "f4", "i4", "i2", "i8", ">f8", ">f4", ">i4", ">i2",
                                   "u2", "u4", "f2", "i1", "?"])
def test_image_accepted_only_by_its_exact_type(family, dtype):
    image = np.ones((6, 7), dtype=dtype)
    for suffix, wanted in SUFFIX_DTYPE.items():
        fn, args = getattr(native, family + suffix), _args_for(family + suffix)
        if np.dtype(dtype) == np.dtype(wanted) and np.dtype(dtype).isnative:
            fn(**dict(args, data=image))
        else:
            with pytest.raises(TypeError, match=r"^argument 'data': "):
                fn(**dict(args, data=image))


def test_conversion_precedes_validation_and_follows_parameter_order():
    strided = np.ones(6)[::2]
    with pytest.raises(TypeError, match=r"^argument 'r': "):
        native.apsum_circ_exact(IMAGE.T, strided, strided, "1")
    with pytest.raises(TypeError, match=r"^argument 'data': "):
        native.apsum_circ_exact(IMAGE.tolist(), list(XS), XS, "1")
    with pytest.raises(TypeError, match=r"^argument 'ys': "):
        native.apsum_circ_exact(IMAGE.T, strided, list(XS), "1")


def test_subclasses_and_read_only_arrays_are_accepted():
    d, xs, ys = IMAGE.copy(), XS.copy(), YS.copy()
    expected = native.apsum_circ_exact(d, xs, ys, 2.0)
    for arr in (d, xs, ys):
        arr.setflags(write=False)
    sub = type("_Sub", (np.ndarray,), {})
    assert native.apsum_circ_exact(d.view(sub), xs.view(sub), ys, 2.0) == expected


@pytest.mark.parametrize("name", [n for n in PRESENT if n.startswith("apsum_")])
def test_result_types(name):
    result = getattr(native, name)(**_args_for(name))  # three apertures in the many forms
    n = 1 if "_one" in name else 3
    if "_sum_one" in name:
        assert type(result) is float
    elif "_sum" in name:
        assert type(result) is list and [type(v) for v in result] == [float] * n
    else:
        assert type(result) is tuple and len(result) == 2
        assert all(type(part) is (float if n == 1 else list) for part in result)
        leaves = [v for part in result for v in (part if n > 1 else [part])]
        assert [type(v) for v in leaves] == [float] * (2 * n)


def test_unreachable_numpy_is_an_internal_fault_and_is_retried():
    # NumPy's C interface is looked up on first need, not at import; a failed
    # lookup surfaces as FaultException (a BaseException) and the next call
    # tries again.
    script = """
import sys
sys.modules["numpy"] = None
import quorvantel._native as native
try:
    native.apsum_circ_exact([[1.0]], [0.0], [0.0], 1.0)
except BaseException as fault:
    kind = type(fault)
    assert kind.__name__ == "FaultException" and kind.__module__ == "native_runtime"
    assert not issubclass(kind, Exception)
    assert str(fault).startswith("Failed to access NumPy array API capsule"), str(fault)
else:
    raise AssertionError("no fault")
del sys.modules["numpy"]
import numpy as np
try:
    native.apsum_circ_exact([[1.0]], np.zeros(1), np.zeros(1), 1.0)
except TypeError as error:
    assert str(error).startswith("argument 'data': ")
print(native.apsum_circ_exact(np.ones((3, 3)), np.ones(1), np.ones(1), 0.5)[1][0])
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert float(done.stdout) == 0.5 * (0.5 * math.pi)
