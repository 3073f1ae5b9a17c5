"""Conversions of m, neq and half, and the rewriting of their errors."""

import numpy as np
import pytest

import cyclewright
from conftest import WORKED, interpreter_error
from support import Float, HasFloat, HasIndex, Hook, Int, raising

eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python
hc = cyclewright.halfcycles

A = np.array(WORKED)
# With m = 1 every power is the range itself, so the sum is exact:
# the ranges of the worked signal (half true) add up to 29.
RANGE_SUM = 29.0


class SubTypeError(TypeError):
    pass


# --- m ---------------------------------------------------------------------

@pytest.mark.parametrize(
    "m, value",
    [
        (3.0, 3.0),
        (4, 4.0),
        (True, 1.0),
        (Float(3.0), 3.0),
        (np.float64(3.0), 3.0),
        (np.float32(4.0), 4.0),
        (np.int64(3), 3.0),
        (HasFloat(4.0), 4.0),
        (HasFloat(-1.0), -1.0),
        (HasIndex(3), 3.0),
        (-1.0, -1.0),
    ],
    ids=repr,
)
def test_m_accepted(m, value):
    assert eq(A, m, 1, True) == eq(A, value, 1, True)
    assert eqc(A, m, 1, True) == eqc(A, value, 1, True)


# --- neq -------------------------------------------------------------------

@pytest.mark.parametrize(
    "neq, n",
    [
        (1, 1),
        (True, 1),
        (False, 0),
        (Int(7), 7),
        (np.uint64(7), 7),
        (np.int64(7), 7),
        (np.uint8(7), 7),
        (HasIndex(7), 7),
        (2**53, 2**53),
        (2**53 + 1, 2**53),  # rounded to the nearest double before doubling
        (2**64 - 1, 2**64),
        (np.uint64(2**64 - 1), 2**64),
        (HasIndex(2**64 - 1), 2**64),
    ],
    ids=repr,
)
def test_neq_accepted(neq, n):
    expected = RANGE_SUM / (2.0 * float(n)) if n else float("inf")
    assert eq(A, 1.0, neq, True) == expected


# --- refused m and neq ----------------------------------------------------------

# (parameter, position in the eq_load_python call, value, the interpreter's
# conversion that raises): a TypeError names the argument, an OverflowError
# passes unchanged.
REFUSED = (
    [("m", 1, m, "PyFloat_AsDouble") for m in ["4", None, 1j, [4.0], HasFloat("4.0"), 10**400]]
    + [("neq", 2, neq, "PyNumber_Index")
       for neq in [10.0, "3", None, np.float64(1.0), HasIndex("7"), HasFloat(1.0)]]
    + [("neq", 2, neq, "PyLong_AsUnsignedLongLong")
       for neq in [2**64, -1, Int(-3), HasIndex(-5), HasIndex(2**64), np.int64(-1)]]
)


@pytest.mark.parametrize("name, pos, value, conversion", REFUSED, ids=lambda v: repr(v)[:30])
def test_refused_number(name, pos, value, conversion):
    args = [A, 1.0, 1, True]
    args[pos] = value
    with pytest.raises((TypeError, OverflowError)) as info:
        eq(*args)
    if conversion == "PyLong_AsUnsignedLongLong":
        value = int(value)
    expected = interpreter_error(conversion, value)
    assert type(info.value) is type(expected)
    prefix = f"argument '{name}': " if type(expected) is TypeError else ""
    assert info.value.args == (prefix + str(expected),)


# --- half ------------------------------------------------------------------

@pytest.mark.parametrize(
    "half, records",
    [
        (True, 1),
        (False, 2),
        (np.True_, 1),
        (np.False_, 2),
        (np.bool_(1), 1),
    ],
    ids=repr,
)
def test_half_accepted(half, records):
    assert hc(np.array([5.0]), half) == [(5.0, 0.0)] * records
    assert eq(A, 3.0, 1, half) == eq(A, 3.0, 1, records == 1)
    if isinstance(half, np.bool_):
        # "bool" under NumPy 2, "bool_" under NumPy 1: both must be taken.
        assert type(half).__module__ == "numpy" and type(half).__name__ in ("bool", "bool_")


@pytest.mark.parametrize(
    "half",
    [1, 0, None, "yes", "", 1.0, Int(1), np.int8(1), np.array(True), np.array([True]), HasIndex(1)],
    ids=repr,
)
def test_half_refused(half):
    with pytest.raises(TypeError) as info:
        hc(np.array([5.0]), half)
    assert type(info.value) is TypeError
    qualname = type(half).__qualname__
    assert info.value.args == (
        f"argument 'half': '{qualname}' object cannot be converted to 'PyBool'",)


# --- rewriting of conversion errors ------------------------------------------

def _caused(exc, cause):
    exc.__cause__ = cause
    return exc


# (parameter, position in the eq_load_python call)
PARAMS = [("m", 1), ("neq", 2)]


@pytest.mark.parametrize("name, pos", PARAMS)
@pytest.mark.parametrize(
    "make, message",
    [
        (lambda: TypeError("inner"), "inner"),
        (lambda: TypeError("a", "b"), "('a', 'b')"),
        (lambda: TypeError(), ""),
        (lambda: _caused(TypeError("inner"), KeyError("k")), "inner"),
    ],
    ids=["plain", "two-args", "no-args", "with-cause"],
)
def test_exact_type_error_is_replaced(name, pos, make, message):
    old = make()
    cause = old.__cause__
    args = [A, 1.0, 1, True]
    args[pos] = Hook(raising(old))
    with pytest.raises(TypeError) as info:
        eq(*args)
    new = info.value
    assert type(new) is TypeError
    assert new is not old
    assert new.args == (f"argument '{name}': {message}",)
    # The old instance's cause is carried over; the old instance itself is
    # not chained as the cause.
    assert new.__cause__ is cause
    assert new.__cause__ is not old


@pytest.mark.parametrize("name, pos", PARAMS)
@pytest.mark.parametrize(
    "make",
    [
        lambda: ValueError("bad value"),
        lambda: SubTypeError("only exact TypeError is rewritten"),
        lambda: _caused(ValueError("v"), KeyError("k")),
        lambda: ZeroDivisionError(),
        lambda: KeyboardInterrupt(),
        lambda: MemoryError(),
    ],
    ids=["ValueError", "TypeError-subclass", "ValueError-with-cause", "ZeroDivisionError",
         "KeyboardInterrupt", "MemoryError"],
)
def test_other_exceptions_pass_through_unchanged(name, pos, make):
    old = make()
    args = [A, 1.0, 1, True]
    args[pos] = Hook(raising(old))
    with pytest.raises(BaseException) as info:
        eq(*args)
    assert info.value is old
    assert str(old) == str(make())
