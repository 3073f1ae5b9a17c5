"""Whether importing cyclewright imported NumPy, and which of its modules."""

import sys

import cyclewright  # noqa: F401 - its import is what is looked at

print("numpy" in sys.modules, sorted(m for m in sys.modules if m.startswith("numpy")))
