"""Many Python threads calling the three functions, on one shared array and
on arrays of their own, while another thread keeps taking and releasing an
exclusive view of the shared array through the test peer. Every result is
right, every conflict is the AlreadyBorrowed failure and only ever on the
shared array, and nothing is left registered at the end."""

import sys
import threading
import time

import numpy as np

import cyclewright
from conftest import ALREADY_BORROWED
from support import Hook

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python

DURATION = 2.0  # seconds of calls
WORKERS = 6


def yielding_m():
    """An m of 3.0 whose conversion lets other threads run while the call
    holds its shared view of the signal (not a float subclass, whose value
    would be read without calling __float__)."""
    return Hook(lambda: time.sleep(0) or 3.0)


CALLS = [
    ("halfcycles", lambda a: hc(a, True)),
    ("halfcycles-full", lambda a: hc(signal=a, half=False)),
    ("eq_load", lambda a: eq(a, 3.0, 10, True)),
    ("eq_load-yielding", lambda a: eq(a, yielding_m(), 10, True)),
    ("eq_load_closed", lambda a: eqc(a, 4.0, 1, False)),
    ("eq_load_closed-yielding", lambda a: eqc(a, yielding_m(), 1, np.True_)),
]


def test_threads_share_arrays_with_an_exclusive_holder(panic, peer):
    rng = np.random.default_rng(11)
    shared = np.cumsum(rng.standard_normal(500))
    own = [np.cumsum(rng.standard_normal(300)) for _ in range(WORKERS)]
    # Expected results, computed on copies before any thread starts.
    expected = {(id(a), name): call(a.copy()) for a in [shared, *own] for name, call in CALLS}

    stop = threading.Event()
    errors = []
    counts = {"shared-ok": 0, "shared-conflict": 0, "own-ok": 0, "held": 0, "hold-refused": 0}
    lock = threading.Lock()

    def note(key):
        with lock:
            counts[key] += 1

    def worker(index):
        mine = own[index]
        turn = index
        try:
            while not stop.is_set():
                name, call = CALLS[turn % len(CALLS)]
                turn += 1
                assert call(mine) == expected[(id(mine), name)], f"{name} on its own array"
                note("own-ok")
                try:
                    result = call(shared)
                except panic as exc:
                    assert exc.args == (ALREADY_BORROWED,), exc.args
                    note("shared-conflict")
                else:
                    assert result == expected[(id(shared), name)], f"{name} on the shared array"
                    note("shared-ok")
        except BaseException as exc:  # noqa: BLE001 - reported by the main thread
            errors.append(exc)
            stop.set()

    def holder():
        try:
            while not stop.is_set():
                code = peer.acquire_mut(shared)
                if code == 0:
                    note("held")
                    time.sleep(0.0005)  # hold it while the workers run
                    peer.release_mut(shared)
                else:
                    # A worker's shared view is there (it yielded mid-call).
                    assert code == -1, code
                    note("hold-refused")
                time.sleep(0)
        except BaseException as exc:  # noqa: BLE001
            errors.append(exc)
            stop.set()

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-5)  # switch threads often, inside calls too
    threads = [threading.Thread(target=worker, args=(i,)) for i in range(WORKERS)]
    threads.append(threading.Thread(target=holder))
    try:
        for t in threads:
            t.start()
        stop.wait(DURATION)
        stop.set()
        for t in threads:
            t.join(timeout=60)
    finally:
        stop.set()
        sys.setswitchinterval(interval)
    assert not any(t.is_alive() for t in threads), "a thread did not finish"
    if errors:
        raise errors[0]

    assert counts["own-ok"] > 0 and counts["shared-ok"] > 0, counts
    assert counts["held"] > 0 and counts["shared-conflict"] > 0, counts
    # Nothing left registered: every array can be taken exclusively at once.
    for a in [shared, *own]:
        assert peer.acquire_mut(a) == 0, counts
        peer.release_mut(a)
