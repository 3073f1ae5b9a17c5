"""A registry of the given version whose acquire answers with the given
code, 50 calls against it, then one after it agrees.
    refusing_registry.py VERSION CODE"""

import sys

import numpy as np
import viewpeer

import cyclewright
from support import outcome

version, code = (int(arg) for arg in sys.argv[1:3])
viewpeer.install(version, code)
a = np.array([1.0, 3.0, 2.0])
before = sys.getrefcount(a)
results = [outcome(cyclewright.eq_load_python, a, 3.0, 1, True) for _ in range(50)]
print(repr(results[0]))
print(repr(all(r == results[0] for r in results)))
print(repr(sys.getrefcount(a) - before))
print(repr(viewpeer.calls()))
viewpeer.set_acquire_code(0)
print(repr(outcome(cyclewright.halfcycles, a, True)))
