"""An internal failure raised again by Python code that the module calls:
after the '---' on standard error comes only the resumed failure's notice."""

import sys

import numpy as np

import cyclewright

a = np.array([1.0, 3.0, 2.0])
try:
    cyclewright.halfcycles(np.array([]), True)
except BaseException as exc:  # noqa: BLE001
    earlier = exc


class Neq:
    def __index__(self):
        raise earlier


print("---", file=sys.stderr, flush=True)
try:
    cyclewright.eq_load_python(a, 3.0, Neq(), True)
except BaseException as exc:  # noqa: BLE001
    print(type(exc) is type(earlier), exc.args)
