"""The roads of a call, successful and failing, shared by the tests of
reference counts and memory (test_leaks.py, scripts/memory_over_many_calls.py):
`roads` lists (name, call), built from the argument objects in `arguments`."""

import numpy as np

import cyclewright
from support import Float, HasIndex, Int, panic_type

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python

Panic = panic_type()


class RaisesValue:
    def __index__(self):
        raise ValueError("bad neq")


class RaisesType:
    def __float__(self):
        raise TypeError("bad m") from KeyError("k")


class Resumes:
    def __index__(self):
        raise Panic("resumed")


rng = np.random.default_rng(7)
a = rng.standard_normal(200)
m = Float(3.0)
neq = HasIndex(10)
half = np.True_
extra = Float(1.5)
lst = [1.0, 2.0]
f32 = a.astype(np.float32)
bad_m = "x" * 3
neg_neq = Int(-5)
float_neq = Float(2.0)
bad_half = Int(1)
strided = a[::2]
empty = a[:0]
nans = np.full(200, np.nan)
held = a.copy()
raises_value = RaisesValue()
raises_type = RaisesType()
resumes = Resumes()

arguments = dict(a=a, m=m, neq=neq, half=half, extra=extra, lst=lst, f32=f32, bad_m=bad_m,
                 neg_neq=neg_neq, float_neq=float_neq, bad_half=bad_half, strided=strided,
                 empty=empty, nans=nans, held=held, raises_value=raises_value,
                 raises_type=raises_type, resumes=resumes)

roads = [
    ("success-halfcycles", lambda: hc(a, half)),
    ("success-eq_load", lambda: eq(a, m, neq, half)),
    ("success-closed", lambda: eqc(a, m, neq, False)),
    ("success-keywords", lambda: eq(signal=a, m=m, neq=neq, half=half)),
    ("too-many-positional", lambda: hc(a, half, extra)),
    ("unexpected-keyword", lambda: hc(a, half, x=extra)),
    ("multiple-values", lambda: hc(a, half, signal=extra)),
    ("missing", lambda: eq(a, m)),
    ("signal-list", lambda: hc(lst, half)),
    ("signal-dtype", lambda: eqc(f32, m, neq, half)),
    ("m-type", lambda: eq(a, bad_m, neq, half)),
    ("m-raises-type-error", lambda: eq(a, raises_type, neq, half)),
    ("neq-overflow", lambda: eq(a, m, neg_neq, half)),
    ("neq-type", lambda: eqc(a, m, float_neq, half)),
    ("neq-raises", lambda: eq(a, m, raises_value, half)),
    ("neq-resumed-panic", lambda: eq(a, m, resumes, half)),
    ("half-type", lambda: hc(a, bad_half)),
    ("not-contiguous", lambda: eq(strided, m, neq, half)),
    ("empty", lambda: hc(empty, half)),
    ("no-maximum", lambda: eqc(nans, m, neq, half)),
    ("conflict", lambda: hc(held, half)),
]


def run(call, count):
    for _ in range(count):
        try:
            call()
        except BaseException:  # noqa: BLE001 - every road counts, failing or not
            pass


def hold(view):
    import viewpeer
    assert viewpeer.acquire_mut(view) == 0


def release(view):
    import viewpeer
    viewpeer.release_mut(view)
