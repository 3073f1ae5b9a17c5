"""Shared fixtures of the cyclewright test suite.

The suite runs against a build of the extension:

    PYTHONPATH=<build>/python python -m pytest tests/python -q

`<build>/python` holds `cyclewright*.so` and the test peer `viewpeer*.so`
(built by tests/python/CMakeLists.txt). Instead of PYTHONPATH the variable
CYCLEWRIGHT_BUILD_DIR may name the build folder; its `python/` subfolder is
then searched first. Tests that need a fresh process (the registry of array
views and the NumPy API table are created once per process and kept) run a
script of tests/python/scripts through `run_script`, which passes the same
folder, and this one for the shared helpers, on to the child.
"""

from __future__ import annotations

import dataclasses
import os
import subprocess
import sys

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

from count_model import same_float  # noqa: E402,F401 - shared with the tests
from support import REGISTRY_ATTR, multiarray, panic_type  # noqa: E402,F401

MODULE_DIR = os.path.dirname(os.path.abspath(cyclewright.__file__))
TESTS_DIR = os.path.dirname(os.path.abspath(__file__))
SCRIPTS_DIR = os.path.join(TESTS_DIR, "scripts")

# The worked signal of the equivalent-load examples.
WORKED = [1.0, 3.0, 2.0, 5.0, -1.0, 0.0, 4.0, -2.0, 2.0, 0.0]

# Messages of the internal failures.
NOT_CONTIGUOUS = "called `Result::unwrap()` on an `Err` value: NotContiguousError"
ALREADY_BORROWED = "called `Result::unwrap()` on an `Err` value: AlreadyBorrowed"
EMPTY_INDEX = "index out of bounds: the len is 0 but the index is 0"
NO_MAXIMUM = "called `Option::unwrap()` on a `None` value"


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


def assert_records(got, expected):
    """`got` is a list of (mean, range) float tuples equal to `expected`."""
    assert type(got) is list
    assert all(type(r) is tuple and len(r) == 2 for r in got), got
    assert all(type(x) is float for r in got for x in r), got
    assert len(got) == len(expected), (got, expected)
    for i, (g, e) in enumerate(zip(got, expected, strict=True)):
        assert same_float(g[0], e[0]) and same_float(g[1], e[1]), (
            f"record {i}: got {g}, expected {e}; all: {got}"
        )


@dataclasses.dataclass
class Run:
    rc: int
    stdout: str
    stderr: str


def child_env(**extra) -> dict:
    """The environment of a child interpreter that finds the built modules and
    the shared helpers first."""
    env = dict(os.environ, **extra)
    env["PYTHONPATH"] = os.pathsep.join(
        [MODULE_DIR, TESTS_DIR] + ([env["PYTHONPATH"]] if env.get("PYTHONPATH") else []))
    env.pop("PYTHONSTARTUP", None)
    return env


def script_command(name: str, *args) -> list:
    """The command that runs tests/python/scripts/`name`.py with `args`."""
    return [sys.executable, os.path.join(SCRIPTS_DIR, name + ".py"), *map(str, args)]


def run_script(name: str, *args, timeout: float = 120, quiet_stderr: bool = False) -> Run:
    """Run a script of tests/python/scripts in a fresh interpreter; it must
    exit 0, and its output is shown otherwise."""
    proc = subprocess.run(
        script_command(name, *args),
        env=child_env(),
        stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL if quiet_stderr else subprocess.PIPE,
        text=True,
        timeout=timeout,
    )
    run = Run(proc.returncode, proc.stdout, proc.stderr or "")
    assert run.rc == 0, f"{name} failed (rc {run.rc})\nstdout:\n{run.stdout}\nstderr:\n{run.stderr}"
    return run


def lines_of(run: Run) -> list:
    """The Python values that a script printed, one repr a line."""
    return [eval(line) for line in run.stdout.splitlines()]  # noqa: S307 - our own child
