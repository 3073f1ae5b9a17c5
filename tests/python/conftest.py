"""Shared fixtures of the cyclewright test suite.

The suite runs against a build of the extension:

    PYTHONPATH=<build>/python python -m pytest tests/python -q

`<build>/python` holds `cyclewright*.so` and the test peer `viewpeer*.so`
(built by tests/python/CMakeLists.txt). Instead of PYTHONPATH the variable
CYCLEWRIGHT_BUILD_DIR may name the build folder; its `python/` subfolder is
then searched first. Tests that need a fresh process (the registry of array
views and the NumPy API table are created once per process and kept) run a
snippet through `run_python`, which passes the same folder on to the child.
"""

from __future__ import annotations

import dataclasses
import math
import os
import subprocess
import sys
import textwrap

import pytest

_build = os.environ.get("CYCLEWRIGHT_BUILD_DIR")
if _build:
    sys.path.insert(0, os.path.join(os.path.abspath(_build), "python"))

try:
    import cyclewright
except ImportError as exc:  # pragma: no cover - a broken setup, not a test
    raise pytest.UsageError(
        "cannot import cyclewright; run with PYTHONPATH=<build>/python "
        f"or CYCLEWRIGHT_BUILD_DIR=<build> ({exc})"
    ) from exc

import numpy as np

MODULE_DIR = os.path.dirname(os.path.abspath(cyclewright.__file__))
NUMPY_MAJOR = int(np.__version__.split(".")[0])
MULTIARRAY_NAME = "numpy._core.multiarray" if NUMPY_MAJOR >= 2 else "numpy.core.multiarray"
REGISTRY_ATTR = "_RUST_NUMPY_BORROW_CHECKING_API"

# The worked signal of the equivalent-load examples.
WORKED = [1.0, 3.0, 2.0, 5.0, -1.0, 0.0, 4.0, -2.0, 2.0, 0.0]

# Messages of the internal failures.
NOT_CONTIGUOUS = "called `Result::unwrap()` on an `Err` value: NotContiguousError"
ALREADY_BORROWED = "called `Result::unwrap()` on an `Err` value: AlreadyBorrowed"
EMPTY_INDEX = "index out of bounds: the len is 0 but the index is 0"
NO_MAXIMUM = "called `Option::unwrap()` on a `None` value"


def panic_type():
    """The process's pyo3_runtime.PanicException, reached through a failure."""
    try:
        cyclewright.halfcycles(np.array([], dtype=np.float64), True)
    except BaseException as exc:  # noqa: BLE001 - that is the point
        return type(exc)
    raise AssertionError("an empty signal did not fail")


@pytest.fixture(scope="session")
def panic():
    return panic_type()


@pytest.fixture(scope="session")
def peer():
    """The test peer, used with the registry that this process already has.

    A first cyclewright call creates the registry before the peer looks
    for it, so the peer never meets a missing capsule.
    """
    import viewpeer

    cyclewright.halfcycles(np.zeros(1), True)
    return viewpeer


def interpreter_error(api: str, arg) -> BaseException:
    """The exception that the interpreter's own C conversion `api` raises for
    `arg` ("PyFloat_AsDouble", "PyNumber_Index" or "PyLong_AsUnsignedLongLong"),
    so that tests compare with this interpreter's exact wording."""
    import ctypes

    restype = {"PyFloat_AsDouble": ctypes.c_double, "PyNumber_Index": ctypes.py_object,
               "PyLong_AsUnsignedLongLong": ctypes.c_ulonglong}[api]
    fn = getattr(ctypes.pythonapi, api)
    fn.restype = restype
    fn.argtypes = [ctypes.py_object]
    try:
        fn(arg)
    except BaseException as exc:  # noqa: BLE001
        return exc
    raise AssertionError(f"{api}({arg!r}) did not fail")


def same_float(a: float, b: float) -> bool:
    """Equal as IEEE values: NaN matches NaN, and the sign of zero counts."""
    if math.isnan(a) or math.isnan(b):
        return math.isnan(a) and math.isnan(b)
    return a == b and math.copysign(1.0, a) == math.copysign(1.0, b)


def assert_records(got, expected):
    """`got` is a list of (mean, range) float tuples equal to `expected`."""
    assert type(got) is list
    assert all(type(r) is tuple and len(r) == 2 for r in got), got
    assert all(type(x) is float for r in got for x in r), got
    assert len(got) == len(expected), (got, expected)
    for i, (g, e) in enumerate(zip(got, expected)):
        assert same_float(g[0], e[0]) and same_float(g[1], e[1]), (
            f"record {i}: got {g}, expected {e}; all: {got}"
        )


@dataclasses.dataclass
class Run:
    rc: int
    stdout: str
    stderr: str


PRELUDE = f"""
import importlib, sys
import cyclewright

REGISTRY_ATTR = {REGISTRY_ATTR!r}

def multiarray():
    import numpy
    major = int(numpy.__version__.split('.')[0])
    return importlib.import_module(
        'numpy._core.multiarray' if major >= 2 else 'numpy.core.multiarray')

def outcome(fn, *args, **kwargs):
    '''(type name, message) of what a call raises, or ('ok', result).'''
    try:
        return ('ok', fn(*args, **kwargs))
    except BaseException as exc:
        return (type(exc).__module__ + '.' + type(exc).__name__, str(exc))
"""


def run_python(code: str, *, prelude: bool = True, timeout: float = 120,
               quiet_stderr: bool = False) -> Run:
    """Run `code` in a fresh interpreter that finds the built modules.

    With `prelude`, the snippet starts with cyclewright imported and the
    helpers `multiarray()` and `outcome(fn, *args)` defined. NumPy is not
    imported by the prelude.
    """
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(
        [MODULE_DIR] + ([env["PYTHONPATH"]] if env.get("PYTHONPATH") else []))
    env.pop("PYTHONSTARTUP", None)
    source = (PRELUDE if prelude else "") + textwrap.dedent(code)
    proc = subprocess.run(
        [sys.executable, "-c", source],
        env=env,
        stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL if quiet_stderr else subprocess.PIPE,
        text=True,
        timeout=timeout,
    )
    return Run(proc.returncode, proc.stdout, proc.stderr or "")


def run_ok(code: str, **kwargs) -> Run:
    """`run_python` that must exit 0; shows the child's output otherwise."""
    run = run_python(code, **kwargs)
    assert run.rc == 0, f"child failed (rc {run.rc})\nstdout:\n{run.stdout}\nstderr:\n{run.stderr}"
    return run


class Raises:
    """Raises `exc` from both conversion hooks."""

    def __init__(self, exc):
        self.exc = exc

    def __float__(self):
        raise self.exc

    def __index__(self):
        raise self.exc
