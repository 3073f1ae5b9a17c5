"""Binding of positional and keyword arguments, its messages, and which
failure wins when several arguments are wrong."""

import numpy as np
import pytest

import cyclewright
from conftest import (ALREADY_BORROWED, EMPTY_INDEX, NOT_CONTIGUOUS, WORKED, assert_records,
                      interpreter_error)

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python

A = np.array(WORKED)
STRIDED = np.arange(10.0)[::2]


@pytest.mark.parametrize(
    "call, message",
    [
        # too many positional arguments
        (lambda: hc(A, True, 3), "halfcycles() takes 2 positional arguments but 3 were given"),
        (lambda: eq(A, 4.0, 10, True, 1),
         "eq_load_python() takes 4 positional arguments but 5 were given"),
        (lambda: eqc(A, 4.0, 10, True, 1, 2),
         "eq_load_max_half_cycle_closed_python() takes 4 positional arguments but 6 were given"),
        # missing arguments, with every length of the name list
        (lambda: hc(), "halfcycles() missing 2 required positional arguments: 'signal' and 'half'"),
        (lambda: hc(A), "halfcycles() missing 1 required positional argument: 'half'"),
        (lambda: hc(half=True), "halfcycles() missing 1 required positional argument: 'signal'"),
        (lambda: eq(half=True),
         "eq_load_python() missing 3 required positional arguments: 'signal', 'm', and 'neq'"),
        (lambda: eq(),
         "eq_load_python() missing 4 required positional arguments: 'signal', 'm', 'neq', and 'half'"),
        (lambda: eqc(A, 4.0),
         "eq_load_max_half_cycle_closed_python() missing 2 required positional arguments: 'neq' and 'half'"),
        (lambda: eq(A, neq=1),
         "eq_load_python() missing 2 required positional arguments: 'm' and 'half'"),
        # keywords
        (lambda: hc(A, True, signal=A), "halfcycles() got multiple values for argument 'signal'"),
        (lambda: eq(A, 4.0, 1, m=4.0, half=True),
         "eq_load_python() got multiple values for argument 'm'"),
        (lambda: hc(A, half=True, x=1), "halfcycles() got an unexpected keyword argument 'x'"),
        (lambda: hc(A, True, Signal=A), "halfcycles() got an unexpected keyword argument 'Signal'"),
        (lambda: hc(A, True, **{"h\u00e4lf": 1}),
         "halfcycles() got an unexpected keyword argument 'h\u00e4lf'"),
    ],
    ids=lambda v: v if isinstance(v, str) else "",
)
def test_binding_message(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert type(info.value) is TypeError
    assert info.value.args == (message,)


@pytest.mark.parametrize(
    "kwargs",
    [
        dict(signal=A, half=True),
        dict(half=True, signal=A),
    ],
)
def test_keywords_bind_like_positions(kwargs):
    expected = hc(A, True)
    assert hc(**kwargs) == expected
    assert hc(A, half=True) == expected
    got = eq(signal=A, neq=10, half=True, m=3.0)
    assert got == eq(A, 3.0, 10, True) == eq(A, 3.0, neq=10, half=True)


@pytest.mark.parametrize(
    "call, kind, message",
    [
        # binding errors come before any conversion
        (lambda: hc([1.0], 1, 3), TypeError, "halfcycles() takes 2 positional arguments but 3 were given"),
        (lambda: hc(A, True, 3, x=1), TypeError, "halfcycles() takes 2 positional arguments but 3 were given"),
        (lambda: hc(x=1), TypeError, "halfcycles() got an unexpected keyword argument 'x'"),
        (lambda: hc(A, x=1, y=2), TypeError, "halfcycles() got an unexpected keyword argument 'x'"),
        (lambda: hc(A, y=2, x=1), TypeError, "halfcycles() got an unexpected keyword argument 'y'"),
        (lambda: hc(A, x=1, signal=A), TypeError, "halfcycles() got an unexpected keyword argument 'x'"),
        (lambda: hc(A, signal=A, x=1), TypeError, "halfcycles() got multiple values for argument 'signal'"),
        (lambda: eq("no", "no", half=1), TypeError,
         "eq_load_python() missing 1 required positional argument: 'neq'"),
        # then signal, m, neq, half in parameter order
        (lambda: hc([1.0], 1), TypeError,
         "argument 'signal': 'list' object cannot be converted to 'PyArray<T, D>'"),
        (lambda: eq([1.0], "x", -1, 1), TypeError,
         "argument 'signal': 'list' object cannot be converted to 'PyArray<T, D>'"),
        (lambda: eq(A, "x", -1, 1), TypeError, "argument 'm': " + str(interpreter_error("PyFloat_AsDouble", "x"))),
        (lambda: eq(A, 4.0, -1, 1), OverflowError,
         str(interpreter_error("PyLong_AsUnsignedLongLong", -1))),
        (lambda: eqc(A, 4.0, 1, 1), TypeError,
         "argument 'half': 'int' object cannot be converted to 'PyBool'"),
        # conversions come before the contiguity test and the core
        (lambda: hc(STRIDED, 1), TypeError,
         "argument 'half': 'int' object cannot be converted to 'PyBool'"),
        (lambda: eq(STRIDED, None, 1, True), TypeError, "argument 'm': " + str(interpreter_error("PyFloat_AsDouble", None))),
        (lambda: hc(np.array([]), 1), TypeError,
         "argument 'half': 'int' object cannot be converted to 'PyBool'"),
        (lambda: eqc(np.array([np.nan]), 4.0, 1.5, True), TypeError,
         "argument 'neq': " + str(interpreter_error("PyNumber_Index", 1.5))),
        # the contiguity test comes before the core
        (lambda: hc(np.array([]), True), "panic", EMPTY_INDEX),
        (lambda: eqc(np.full(6, np.nan)[::2], 4.0, 1, True), "panic", NOT_CONTIGUOUS),
    ],
    ids=["too-many-before-signal", "too-many-before-keyword", "unexpected-before-missing",
         "first-bad-keyword-x", "first-bad-keyword-y", "unexpected-before-multiple",
         "multiple-before-unexpected", "missing-before-conversions", "signal-before-half",
         "signal-before-m-neq-half", "m-before-neq-half", "neq-before-half", "half",
         "half-before-contiguity", "m-before-contiguity", "half-before-core", "neq-before-core",
         "core-failure", "contiguity-before-core"],
)
def test_failure_precedence(call, kind, message, panic):
    kind = panic if kind == "panic" else kind
    with pytest.raises(BaseException) as info:
        call()
    assert type(info.value) is kind, info.value
    assert str(info.value) == message


def test_a_held_exclusive_view_wins_over_a_bad_half(peer, panic):
    a = np.zeros(4)
    assert peer.acquire_mut(a) == 0
    try:
        with pytest.raises(panic) as info:
            hc(a, 1)
        assert str(info.value) == ALREADY_BORROWED
    finally:
        peer.release_mut(a)
    assert_records(hc(a, True), [(0.0, 0.0)])
