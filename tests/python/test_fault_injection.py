"""Every way a call can fail releases what it took: memory that cannot be
had, Python objects that cannot be made, conversions that raise or resume an
internal failure, a NumPy that cannot be imported. After each failure the
same array can at once be taken by an exclusive view of another module (the
test peer), and its reference count is what it was."""

import mmap
import os
import sys

import numpy as np
import pytest

import cyclewright
from conftest import EMPTY_INDEX, NO_MAXIMUM, NOT_CONTIGUOUS, WORKED, run_script
from support import FakeNumpyBool, Hook

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python
SANITIZED = bool(os.environ.get("CYCLEWRIGHT_SANITIZED"))


def assert_released(peer, array):
    """The peer gets an exclusive view of `array` at once."""
    assert peer.acquire_mut(array) == 0, "a registration of the failed call is left"
    peer.release_mut(array)


def raiser(kind, *args):
    # A new exception each time: a kept one would keep its last traceback,
    # and with it the array, referenced.
    def action():
        raise kind(*args)
    return action


def resumed_panic(panic):
    def action():
        raise panic("raised in a conversion")
    return action


class BadIndex:
    def __index__(self):
        raise ValueError("bad neq")


# (id, call on the array, expected exception type or "panic", message or None)
def roads(panic):
    return [
        ("success", lambda a: hc(a, True), None, None),
        ("success-load", lambda a: eq(a, 3.0, 1, True), None, None),
        ("success-closed", lambda a: eqc(a, 3.0, 1, False), None, None),
        ("binding", lambda a: hc(a, True, 1), TypeError,
         "halfcycles() takes 2 positional arguments but 3 were given"),
        ("m-raises-value", lambda a: eq(a, Hook(raiser(ValueError, "bad m")), 1, True), ValueError, "bad m"),
        ("m-raises-type", lambda a: eq(a, Hook(raiser(TypeError, "no")), 1, True), TypeError,
         "argument 'm': no"),
        ("m-not-a-number", lambda a: eq(a, "x", 1, True), TypeError, None),
        ("m-raises-memory", lambda a: eqc(a, Hook(raiser(MemoryError)), 1, True), MemoryError, None),
        ("neq-overflow", lambda a: eq(a, 3.0, -1, True), OverflowError, None),
        ("neq-raises-value", lambda a: eqc(a, 3.0, BadIndex(), True), ValueError, "bad neq"),
        ("neq-raises-keyboard", lambda a: eqc(a, 3.0, Hook(raiser(KeyboardInterrupt)), True),
         KeyboardInterrupt, None),
        ("neq-resumed-panic", lambda a: eq(a, 3.0, Hook(resumed_panic(panic)), True), "panic",
         "raised in a conversion"),
        ("half-type", lambda a: hc(a, 1), TypeError,
         "argument 'half': 'int' object cannot be converted to 'PyBool'"),
        ("half-bool-raises", lambda a: hc(a, FakeNumpyBool(raiser(ValueError, "bad half"))), ValueError,
         "bad half"),
        ("half-resumed-panic", lambda a: eqc(a, 3.0, 1, FakeNumpyBool(resumed_panic(panic))), "panic",
         "raised in a conversion"),
        ("half-bool-calls-back", lambda a: hc(a, FakeNumpyBool(lambda: hc(a, True) == [])), None, None),
        ("not-contiguous", lambda a: hc(a[::2], True), "panic", NOT_CONTIGUOUS),
        ("empty", lambda a: eq(a[:0], 3.0, 1, True), "panic", EMPTY_INDEX),
        ("no-maximum", lambda a: eqc(a[:0], 3.0, 1, True), "panic", NO_MAXIMUM),
    ]


ROAD_IDS = [r[0] for r in roads(Exception)]


@pytest.mark.parametrize("index", range(len(ROAD_IDS)), ids=ROAD_IDS)
def test_failure_releases_the_array(index, panic, peer):
    _, call, expected, message = roads(panic)[index]
    a = np.array(WORKED * 3)
    before = sys.getrefcount(a)
    for _ in range(3):  # the same array again at once: nothing was left behind
        try:
            call(a)
            caught = None
        except BaseException as exc:  # noqa: BLE001
            caught = exc
        # Read, then dropped: its traceback would keep the array referenced.
        kind, text = type(caught), str(caught)
        del caught
        assert kind is (type(None) if expected is None else panic if expected == "panic" else expected)
        if message is not None:
            assert text == message
        assert_released(peer, a)
        after = sys.getrefcount(a)
        assert after == before, f"reference count {before} became {after}"


def test_conversion_that_takes_an_exclusive_view_meets_the_held_view(panic, peer):
    # The shared view of `signal` is already held while m is converted.
    a = np.array(WORKED)
    codes = []
    assert eq(a, Hook(lambda: codes.append(peer.acquire_mut(a)) or 3.0), 1, True) > 0
    assert codes == [-1]
    assert_released(peer, a)


def _overcommit_refuses_huge():
    try:
        with open("/proc/sys/vm/overcommit_memory") as f:
            return f.read().strip() in ("0", "2")
    except OSError:
        return False


@pytest.mark.skipif(SANITIZED, reason="AddressSanitizer's operator new aborts instead of throwing")
@pytest.mark.skipif(not _overcommit_refuses_huge(),
                    reason="the kernel would grant the copy (vm.overcommit_memory=1)")
@pytest.mark.parametrize("call", [lambda a: hc(a, True), lambda a: eq(a, 3.0, 1, True),
                                  lambda a: eqc(a, 3.0, 1, False)],
                         ids=["halfcycles", "eq_load", "eq_load_closed"])
def test_copy_that_cannot_be_allocated_raises_memory_error(call, peer):
    # 4 TiB of address space that is never touched: reserving no memory, it
    # costs nothing; the copy of its samples cannot be had on any machine
    # this runs on. The array starts one byte in: unaligned samples are
    # copied like any others.
    size = 1 << 42
    flags = mmap.MAP_PRIVATE | mmap.MAP_ANONYMOUS | getattr(mmap, "MAP_NORESERVE", 0x4000)
    try:
        region = mmap.mmap(-1, size, flags=flags, prot=mmap.PROT_READ | mmap.PROT_WRITE)
    except (OSError, OverflowError, ValueError) as exc:
        pytest.skip(f"cannot reserve the address space: {exc}")
    try:
        a = np.frombuffer(region, dtype=np.float64, offset=1, count=size // 8 - 1)
        assert not a.flags.aligned and a.flags.c_contiguous
        before = sys.getrefcount(a)
        with pytest.raises(MemoryError):
            call(a)
        assert_released(peer, a)
        after = sys.getrefcount(a)
        assert after == before, f"reference count {before} became {after}"
        del a
    finally:
        region.close()


_testcapi = pytest.importorskip("_testcapi")


@pytest.mark.skipif(not hasattr(_testcapi, "set_nomemory"), reason="needs _testcapi.set_nomemory")
@pytest.mark.parametrize("call, makes_objects", [
    (lambda a: hc(a, False), True),
    (lambda a: eq(a, 3.0, 10, True), False),
    (lambda a: eqc(a, 4.0, 1, True), False),
], ids=["halfcycles", "eq_load", "eq_load_closed"])
def test_python_objects_that_cannot_be_made(call, makes_objects, panic, peer, capfd):
    """The n-th allocation of the interpreter fails, for each n until the call
    no longer reaches it: each call ends in its result, a MemoryError or the
    internal failure "Python API call failed", and holds nothing afterwards."""
    a = np.array(WORKED * 5)
    expected = call(a)
    before = sys.getrefcount(a)
    seen = set()
    for start in range(0, 2000):
        # Nothing may allocate while the hook is in: the outcome is read after.
        _testcapi.set_nomemory(start, start + 1)
        try:
            result, caught = call(a), None
        except BaseException as exc:  # noqa: BLE001
            result, caught = None, exc
        finally:
            _testcapi.remove_mem_hooks()
        # PyErr_Print keeps the error it printed as sys.last_exc; drop it.
        for name in ("last_exc", "last_type", "last_value", "last_traceback"):
            if hasattr(sys, name):
                delattr(sys, name)
        if caught is None:
            assert result == expected
            outcome = "ok"
        elif type(caught) is MemoryError:
            outcome = "MemoryError"
        else:
            assert type(caught) is panic, repr(caught)
            outcome = str(caught)
            assert outcome == "Python API call failed"
        del caught
        seen.add(outcome)
        assert_released(peer, a)
        after = sys.getrefcount(a)
        assert after == before, f"reference count {before} became {after}"
        if outcome == "ok" and start > 50:
            break
    if makes_objects:
        assert "Python API call failed" in seen
    capfd.readouterr()


def test_numpy_that_cannot_be_reached_leaves_nothing_behind():
    lines = run_script("numpy_unreachable", quiet_stderr=True).stdout.splitlines()
    failed = ("PanicException", "Failed to access NumPy array API capsule")
    assert lines[0] == repr(failed)
    assert lines[1] == repr(failed)
    assert lines[2].startswith("('ok', [")
    assert lines[3] == "0"
