"""Callers that change the array, or write it, while a call runs: every call
reads one snapshot of the samples it was handed, or fails with a clear error,
and leaves no view registered."""

import os
import subprocess
import sys
import threading
import time
import warnings

import numpy as np
import pytest

import cyclewright
from conftest import child_env, script_command
from support import FakeNumpyBool, Hook

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python


def _strides(a):
    a.shape = (a.size // 2, 2)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)
        a.strides = (8, a.size * 4)  # the same bytes, column by column


CHANGES = {
    "dtype-narrower": lambda a: setattr(a, "dtype", np.int8),  # 8x the elements over the same bytes
    "dtype-same-size": lambda a: setattr(a, "dtype", np.int64),
    "dtype-byte-swapped": lambda a: setattr(a, "dtype", ">f8"),
    "shape": lambda a: setattr(a, "shape", (2, a.size // 2)),
    "strides": _strides,
}


def _hooks(change):
    """(parameter, value) pairs whose conversion runs `change` on the array."""
    return {"m": Hook(lambda: change() or 3.0), "neq": Hook(lambda: change() or 1),
            "half": FakeNumpyBool(lambda: change() or True)}


CALLS = [(name, fn, param) for name, fn in (("eq_load", eq), ("eq_load_closed", eqc))
         for param in ("m", "neq", "half")] + [("halfcycles", hc, "half")]


@pytest.mark.parametrize("change", CHANGES.values(), ids=CHANGES.keys())
@pytest.mark.parametrize("name, fn, param", CALLS, ids=[f"{c[0]}-{c[2]}" for c in CALLS])
def test_a_hook_that_changes_the_array_fails_clearly(name, fn, param, change, peer):
    base = np.arange(4096.0) % 7
    view = base.view()
    hook = _hooks(lambda: change(view))[param]
    args = {"signal": view, "m": 3.0, "neq": 1, "half": True, param: hook}
    if fn is hc:
        args = {"signal": view, "half": hook}
    with pytest.raises(TypeError, match="^argument 'signal': the array's data type, shape, strides or memory "
                                        "changed while the other arguments were converted"):
        fn(**args)
    assert peer.acquire_mut(base) == 0, "a view of the array is still registered"
    peer.release_mut(base)
    assert np.array_equal(base, np.arange(4096.0) % 7)


def test_a_numpy_writer_thread_never_breaks_a_call():
    # NumPy's ufuncs let go of the interpreter lock, so the writer runs while
    # a call copies the samples; every call works on one NaN-free snapshot.
    x = np.cumsum(np.random.default_rng(5).normal(size=1_000_000))
    stop = threading.Event()

    def writer():
        while not stop.is_set():
            np.negative(x, out=x)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # the writer takes the lock back between calls
    thread = threading.Thread(target=writer)
    thread.start()
    try:
        for _ in range(60):
            assert np.isfinite(eqc(x, 3.3, 10, True))
            assert np.isfinite(eq(x, 3.3, 10, True))
        for _ in range(10):
            assert np.isfinite(hc(x[:100_000], True)).all()
    finally:
        stop.set()
        thread.join()
        sys.setswitchinterval(interval)


def test_long_calls_start_no_thread():
    child = subprocess.Popen(script_command("long_calls"), env=child_env(CYCLEWRIGHT_THREADS="4"),
                             text=True, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    try:
        before = int(child.stdout.readline())
        tasks = f"/proc/{child.pid}/task"
        child.stdin.write("\n")
        child.stdin.flush()
        seen = set()
        while child.poll() is None:
            try:
                seen.add(len(os.listdir(tasks)))
            except FileNotFoundError:
                break
            time.sleep(0.002)
        assert child.wait(timeout=120) == 0
    finally:
        child.kill()
    assert seen and max(seen) <= before, (before, seen)
