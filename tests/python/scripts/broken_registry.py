"""A broken registry where cyclewright looks for one, two calls, then the
registry repaired and one call more.
    broken_registry.py CASE"""

import sys

import numpy as np
import viewpeer

import cyclewright
from support import REGISTRY_ATTR, multiarray, outcome

# CASE: (break it, repair it)
CASES = {
    "version-0": (lambda: viewpeer.install(0, 0), lambda: viewpeer.install(1, 0)),
    "not-a-capsule": (lambda: setattr(multiarray(), REGISTRY_ATTR, 5),
                      lambda: delattr(multiarray(), REGISTRY_ATTR)),
    "none": (lambda: setattr(multiarray(), REGISTRY_ATTR, None),
             lambda: delattr(multiarray(), REGISTRY_ATTR)),
}

install, repair = CASES[sys.argv[1]]
a = np.array([1.0, 3.0, 2.0])
install()
print(repr(outcome(cyclewright.halfcycles, a, True)))
print(repr(outcome(cyclewright.halfcycles, a, True)))
repair()
print(repr(outcome(cyclewright.halfcycles, a, True)))
print(repr(viewpeer.table_info()))
print(repr(viewpeer.calls()["acquire"]))
