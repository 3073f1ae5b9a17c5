"""Imports cyclewright in a legacy sub-interpreter, which writes what came
of it to the file OUT; prints that, then a call in the main interpreter.
    subinterpreter_import.py OUT"""

import sys

import cyclewright

try:
    import _testcapi
except ImportError:
    _testcapi = None
if not hasattr(_testcapi, "run_in_subinterp"):
    print("no-subinterp")
    sys.exit(0)
out = sys.argv[1]
code = f"""
try:
    import cyclewright
    result = 'imported'
except BaseException as exc:
    result = type(exc).__name__ + ': ' + str(exc)
with open({out!r}, 'w') as f:
    f.write(result)
"""
_testcapi.run_in_subinterp(code)
with open(out) as f:
    print(repr(f.read()))
import numpy  # noqa: E402 - after the sub-interpreter, as a user would

print(cyclewright.halfcycles(numpy.array([1.0, 2.0]), True))
