"""A registry of views installed by another module (the test peer) before
cyclewright looks for one: each call must use it, not make its own."""

import numpy as np
import viewpeer

import cyclewright
from support import REGISTRY_ATTR, multiarray, outcome

capsule = viewpeer.install(1, 0)
a = np.array([1.0, 3.0, 2.0, 5.0])
results = [
    outcome(cyclewright.halfcycles, a, True),
    outcome(cyclewright.eq_load_python, a, 3.0, 1, True),
    outcome(cyclewright.eq_load_max_half_cycle_closed_python, a, 3.0, 1, True),
    outcome(cyclewright.eq_load_python, a, "x", 1, True),
    outcome(cyclewright.halfcycles, a, 1),
    outcome(cyclewright.halfcycles, a[::2], True),
    outcome(cyclewright.halfcycles, a[:0], True),
]
calls = viewpeer.calls()
# calls that never reach the registry
outcome(cyclewright.halfcycles, a, True, 3)
outcome(cyclewright.halfcycles, a.astype(np.float32), True)
after = viewpeer.calls()
print(repr([kind for kind, _ in results]))
print(repr(calls))
print(repr(after == calls))
print(repr(getattr(multiarray(), REGISTRY_ATTR) is capsule))
cyclewright.halfcycles(a, True)
print(repr(viewpeer.calls()["last_array"] == id(a)))
