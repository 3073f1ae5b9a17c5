"""The registry of array views shared with other extension modules.

In this process the registry is the one cyclewright created; the test peer
`viewpeer` uses it like another module would. Tests that install a registry
of their own do it in a child process, before cyclewright looks for one.
"""

import re
import time

import numpy as np
import pytest
from numpy.lib.stride_tricks import as_strided

import cyclewright
from conftest import ALREADY_BORROWED, REGISTRY_ATTR, WORKED, lines_of, multiarray, run_script
from support import Hook

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python

CALLS = [
    lambda a: hc(a, True),
    lambda a: eq(a, 3.0, 1, True),
    lambda a: eqc(a, 3.0, 1, True),
]
CALL_IDS = ["halfcycles", "eq_load", "eq_load_closed"]


@pytest.fixture
def exclusive(peer):
    """Hold exclusive views through the peer; all are released afterwards."""
    held = []

    def take(view):
        code = peer.acquire_mut(view)
        assert code == 0, f"peer could not take an exclusive view: {code}"
        held.append(view)
        return view

    yield take
    for view in reversed(held):
        peer.release_mut(view)


def test_registry_created_by_the_module(peer):
    capsule = getattr(multiarray(), REGISTRY_ATTR)
    assert type(capsule).__name__ == "PyCapsule"
    assert peer.table_info() == (1, REGISTRY_ATTR)


@pytest.mark.parametrize("call", CALLS, ids=CALL_IDS)
def test_exclusive_view_of_another_module_blocks_the_call(call, panic, peer):
    a = np.array(WORKED)
    assert peer.acquire_mut(a) == 0
    try:
        for _ in range(2):
            with pytest.raises(panic) as info:
                call(a)
            assert info.value.args == (ALREADY_BORROWED,)
    finally:
        peer.release_mut(a)
    assert call(a) is not None
    assert peer.acquire_mut(a) == 0  # the failed calls left nothing behind
    peer.release_mut(a)


@pytest.mark.parametrize(
    "held, passed, conflict",
    [
        (lambda b: b[:5], lambda b: b[5:], False),
        (lambda b: b[:5], lambda b: b[4:], True),
        (lambda b: b[3:8], lambda b: b, True),
        (lambda b: b, lambda b: b[9:], True),
        # interleaved: the passed one-element view steps like the held one, so the
        # two can never touch the same element
        (lambda b: b[::2], lambda b: as_strided(b[1:], shape=(1,), strides=(16,)), False),
        (lambda b: b[::2], lambda b: b[1:2], True),  # same overlap, but stride 8 may meet it
        (lambda b: b[::2], lambda b: b[4:5], True),
        (lambda b: b.reshape(2, 5)[:, 0], lambda b: b.reshape(2, 5)[1], True),
        (lambda b: b.reshape(2, 5)[:, 1], lambda b: b[:1], False),
        (lambda b: b.view(), lambda b: b, True),  # another view object, same memory
        (lambda b: np.zeros(10), lambda b: b, False),
    ],
    ids=["disjoint-halves", "overlap-one", "inner-block", "last-element", "interleaved-miss",
         "interleaved-unit-stride",
         "interleaved-hit", "column-vs-row", "column-vs-start", "same-memory", "other-array"],
)
def test_conflicts_follow_the_memory(held, passed, conflict, exclusive, panic):
    base = np.arange(10.0)
    exclusive(held(base))
    view = passed(base)
    if conflict:
        with pytest.raises(panic) as info:
            hc(view, True)
        assert info.value.args == (ALREADY_BORROWED,)
    else:
        assert hc(view, True) == hc(view.copy(), True)


def test_shared_views_coexist(peer):
    a = np.array(WORKED)
    assert peer.acquire(a) == 0
    assert peer.acquire(a) == 0
    try:
        for call in CALLS:
            assert call(a) is not None
        assert peer.acquire_mut(a) == -1  # the peer's own shared views are still there
    finally:
        peer.release(a)
        peer.release(a)
    assert peer.acquire_mut(a) == 0
    peer.release_mut(a)


def test_exclusive_view_of_a_read_only_array_is_refused(peer):
    a = np.array(WORKED)
    a.flags.writeable = False
    assert peer.acquire_mut(a) == -2
    assert hc(a, True) is not None


# --- registries installed by another module, in child processes -------------

def test_registry_of_another_module_is_used():
    kinds, calls, untouched, same_capsule, last = lines_of(run_script("registry_of_another_module"))
    assert kinds == ["ok", "ok", "ok", "builtins.TypeError", "builtins.TypeError",
                     "pyo3_runtime.PanicException", "pyo3_runtime.PanicException"]
    # one shared registration per call that passed the type checks, each released
    assert calls["acquire"] == 7 and calls["release"] == 7, calls
    assert calls["acquire_mut"] == 0 and calls["release_mut"] == 0, calls
    assert calls["wrong_flags"] == 0, "the table's state pointer was not passed back"
    assert untouched, "a call that failed before the view was taken reached the registry"
    assert same_capsule, "a second registry was created"
    assert last, "the registry was not handed the signal array"


@pytest.mark.parametrize(
    "code, message",
    [
        (-1, ALREADY_BORROWED),
        (7, "Unexpected return code 7 from borrow checking API"),
        (-2, "Unexpected return code -2 from borrow checking API"),
        (1, "Unexpected return code 1 from borrow checking API"),
    ],
)
def test_acquire_refused_by_the_registry(code, message):
    first, same, refs, calls, after = lines_of(run_script("refusing_registry", 1, code))
    assert first == ("pyo3_runtime.PanicException", message)
    assert same
    assert refs == 0, "the array reference leaked on the refused road"
    assert calls["acquire"] == 50 and calls["release"] == 0, calls
    assert after == ("ok", [(2.0, 2.0), (2.5, 1.0)])


def test_registry_of_another_version_is_used():
    first, _, refs, calls, _ = lines_of(run_script("refusing_registry", 2, 0))
    assert first[0] == "ok"
    assert refs == 0
    assert calls["acquire"] == calls["release"] == 50


ERROR = "Interal borrow checking API error: PyErr { type: <class 'TypeError'>, value: "


# The cases of scripts/broken_registry.py: how the registry is broken, and
# whether the repair is the peer's own registry (which must then be used).
@pytest.mark.parametrize(
    "case, check, registry, peer_repairs",
    [
        ("version-0",
         lambda m: m.startswith(ERROR + "TypeError(") and re.search(r"\b0\b", m[len(ERROR):])
         and m.endswith("), traceback: None }"),
         (1, REGISTRY_ATTR), True),
        ("not-a-capsule",
         lambda m: m == ERROR + "TypeError(\"'int' object cannot be converted to 'PyCapsule'\"), "
                           "traceback: None }",
         (1, REGISTRY_ATTR), False),
        ("none",
         lambda m: m == ERROR + "TypeError(\"'NoneType' object cannot be converted to 'PyCapsule'\"), "
                           "traceback: None }",
         (1, REGISTRY_ATTR), False),
    ],
    ids=["version-0", "not-a-capsule", "none"],
)
def test_broken_registry_then_repaired(case, check, registry, peer_repairs):
    first, second, repaired, info, peer_acquires = lines_of(run_script("broken_registry", case))
    for kind, message in (first, second):  # each call tries again
        assert kind == "pyo3_runtime.PanicException"
        assert check(message), message
    assert repaired == ("ok", [(2.0, 2.0), (2.5, 1.0)])
    assert info == registry
    if peer_repairs:
        assert peer_acquires == 1, "the repaired registry was not the one used"


def test_calls_from_threads_share_the_view(peer):
    # Python code in a conversion lets another thread run while the view is
    # held, so shared registrations of the same array overlap.
    import threading

    a = np.array(WORKED)
    expected = eq(a, 3.0, 1, True)

    m = Hook(lambda: time.sleep(0.0005) or 3.0)  # lets other threads run
    results, errors = [], []

    def work():
        try:
            for _ in range(50):
                results.append(eq(a, m, 1, True))
        except BaseException as exc:  # noqa: BLE001
            errors.append(exc)

    threads = [threading.Thread(target=work) for _ in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert not errors, errors
    assert results == [expected] * 200
    assert peer.acquire_mut(a) == 0
    peer.release_mut(a)

