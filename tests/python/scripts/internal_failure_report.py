"""An internal failure, whose report goes to standard error."""

import numpy as np

import cyclewright

try:
    cyclewright.halfcycles(np.array([]), True)
except BaseException as exc:  # noqa: BLE001
    print(type(exc).__module__, type(exc).__name__)
