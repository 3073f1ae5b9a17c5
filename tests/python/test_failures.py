"""Internal failures: the pyo3_runtime.PanicException type, its messages,
resumed failures, the report on standard error, and a missing NumPy."""

import re

import numpy as np
import pytest

import cyclewright
from conftest import EMPTY_INDEX, NO_MAXIMUM, NOT_CONTIGUOUS, WORKED, lines_of, run_script
from support import Hook, raising

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python

A = np.array(WORKED)

FAILURES = [
    (lambda: hc(np.array([]), True), EMPTY_INDEX),
    (lambda: eq(np.array([]), 3.0, 1, True), EMPTY_INDEX),
    (lambda: eqc(np.array([]), 3.0, 1, True), NO_MAXIMUM),
    (lambda: eqc(np.array([np.nan, np.nan]), 3.0, 1, True), NO_MAXIMUM),
    (lambda: hc(np.arange(10.0)[::2], True), NOT_CONTIGUOUS),
]


def _raised(call):
    try:
        call()
    except BaseException as exc:  # noqa: BLE001
        return exc
    raise AssertionError("the call did not fail")


def test_panic_exception_type(panic):
    assert issubclass(panic, BaseException)
    assert not issubclass(panic, Exception)
    assert panic.__bases__ == (BaseException,)
    assert panic.__module__ == "pyo3_runtime"
    assert panic.__name__ == "PanicException"
    assert panic.__qualname__ == "PanicException"
    assert isinstance(panic.__doc__, str) and panic.__doc__
    # Not reachable as a module attribute.
    assert not any(value is panic for value in vars(cyclewright).values())
    assert not hasattr(cyclewright, "PanicException")


@pytest.mark.parametrize("call, message", FAILURES)
def test_internal_failure_raises_panic_exception(call, message, panic):
    exc = _raised(call)
    assert type(exc) is panic  # one type for every failure of the process
    assert not isinstance(exc, Exception)  # `except Exception` lets it pass
    assert exc.args == (message,)
    assert str(exc) == message


def test_module_stays_usable_after_failures():
    for call, _ in FAILURES * 3:
        _raised(call)
    assert f"{eq(A, 3.0, 1, True):.10g}" == "7.149831284"


class _BadStr:
    def __str__(self):
        raise RuntimeError("no text")


@pytest.mark.parametrize("pos", [1, 2], ids=["m", "neq"])
@pytest.mark.parametrize(
    "make, message",
    [
        (lambda p: _raised(lambda: hc(np.array([]), True)), EMPTY_INDEX),  # caught earlier
        (lambda p: p("raised from Python"), "raised from Python"),
        (lambda p: p(_BadStr()), "Unwrapped panic from Python code"),
    ],
    ids=["caught-earlier", "new-instance", "str-fails"],
)
def test_panic_exception_from_python_code_is_resumed(pos, make, message, panic):
    old = make(panic)
    args = [A, 3.0, 1, True]
    args[pos] = Hook(raising(old))
    exc = _raised(lambda: eq(*args))
    assert type(exc) is panic
    assert exc.args == (message,)


def test_subclass_of_panic_exception_is_an_ordinary_error(panic):
    class Sub(panic):
        pass

    old = Sub("not resumed")
    exc = _raised(lambda: eq(A, Hook(raising(old)), 1, True))
    assert exc is old


# Standard error is read from a child process.


def test_internal_failure_report_on_stderr():
    run = run_script("internal_failure_report")
    assert run.stdout.split() == ["pyo3_runtime", "PanicException"]
    assert EMPTY_INDEX in run.stderr
    # a source position: file:line
    assert re.search(r"[\w./\\-]+\.\w+:\d+", run.stderr), run.stderr


def test_resumed_failure_notice_on_stderr():
    run = run_script("resumed_failure")
    assert run.stdout.strip() == f"True ({EMPTY_INDEX!r},)"
    after = run.stderr.split("---", 1)[1]
    assert "Traceback (most recent call last)" in after, after
    assert "__index__" in after, after  # the traceback names the raising code
    assert EMPTY_INDEX in after, after
    # a resumed failure writes no report of its own with a source position
    assert not re.search(r"[\w./\\-]+\.\w+:\d+", after), after


# NumPy missing, then available again.


def test_numpy_not_importable_then_importable():
    lines = lines_of(run_script("numpy_blocked"))
    prefix = "Failed to access NumPy array API capsule: PyErr { type: <class '"
    for kind, message in lines[:2]:
        assert kind == "pyo3_runtime.PanicException", (kind, message)
        assert message.startswith(prefix), message
        assert message.startswith(prefix + "ModuleNotFoundError'>, value: ModuleNotFoundError("), message
        assert message.endswith(" }") and ", traceback: " in message, message
    # a binding error still comes first
    assert lines[2] == ("builtins.TypeError",
                        "halfcycles() missing 2 required positional arguments: 'signal' and 'half'")
    assert lines[3] == ("ok", [(1.5, 1.0)])
    assert lines[4] == ("builtins.TypeError",
                        "argument 'signal': 'list' object cannot be converted to 'PyArray<T, D>'")


def test_array_api_capsule_of_the_wrong_type():
    first, second = lines_of(run_script("array_api_wrong"))
    assert first == (
        "pyo3_runtime.PanicException",
        "Failed to access NumPy array API capsule: PyErr { type: <class 'TypeError'>, "
        "value: TypeError(\"'int' object cannot be converted to 'PyCapsule'\"), traceback: None }",
    )
    assert second == ("ok", [(1.5, 1.0)])
