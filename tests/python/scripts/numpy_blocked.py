"""Calls while NumPy cannot be imported, then once it can."""

import sys

import cyclewright
from support import outcome

sys.modules["numpy"] = None
print(repr(outcome(cyclewright.halfcycles, [1.0, 2.0], True)))
print(repr(outcome(cyclewright.eq_load_python, "not an array", 3.0, 1, 1)))
print(repr(outcome(cyclewright.halfcycles)))
del sys.modules["numpy"]
import numpy as np  # noqa: E402 - importable again only now

print(repr(outcome(cyclewright.halfcycles, np.array([1.0, 2.0]), True)))
print(repr(outcome(cyclewright.halfcycles, [1.0, 2.0], True)))
