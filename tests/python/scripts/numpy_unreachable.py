"""Calls while NumPy cannot be imported and while its C API table is gone,
then whether they left the array registered."""

import sys

import numpy as np
import viewpeer

import cyclewright
from support import multiarray

a = np.array([1.0, 3.0, 2.0, 5.0])
core_multiarray = multiarray()


def attempt():
    try:
        return ("ok", cyclewright.halfcycles(a, True))
    except BaseException as exc:  # noqa: BLE001
        return (type(exc).__name__, str(exc).split(":")[0])


sys.modules["numpy"] = None            # NumPy cannot be imported
print(attempt())
sys.modules["numpy"] = np
api = core_multiarray._ARRAY_API       # its API table has gone
del core_multiarray._ARRAY_API
print(attempt())
core_multiarray._ARRAY_API = api
print(attempt())
print(viewpeer.acquire_mut(a))         # nothing registered by the failures
viewpeer.release_mut(a)
