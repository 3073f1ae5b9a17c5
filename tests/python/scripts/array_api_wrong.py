"""A call while NumPy's C API table is an int, then once it is back."""

import numpy as np

import cyclewright
from support import multiarray, outcome

ma = multiarray()
saved = ma._ARRAY_API
ma._ARRAY_API = 5
print(repr(outcome(cyclewright.halfcycles, np.array([1.0, 2.0]), True)))
ma._ARRAY_API = saved
print(repr(outcome(cyclewright.halfcycles, np.array([1.0, 2.0]), True)))
