"""Nothing a call takes survives it: reference counts of the arguments and
the process's memory stay put on every road, successful or failing."""

import json
import os
import sys

import pytest

from conftest import run_ok

# The roads of a call, shared by both tests. The snippet defines `roads`, a
# list of (name, call) built from argument objects listed in `arguments`.
ROADS = r"""
import numpy as np
import cyclewright

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python

def panic_type():
    try:
        hc(np.array([]), True)
    except BaseException as exc:
        return type(exc)

Panic = panic_type()

class Float(float):
    pass

class Int(int):
    pass

class Index:
    def __init__(self, value):
        self.value = value
    def __index__(self):
        return self.value

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
neq = Index(10)
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
        except BaseException:
            pass

def hold(view):
    import viewpeer
    assert viewpeer.acquire_mut(view) == 0

def release(view):
    import viewpeer
    viewpeer.release_mut(view)
"""


def _roads_namespace():
    namespace = {}
    exec(ROADS, namespace)
    return namespace


@pytest.fixture(scope="module")
def roads(peer):
    return _roads_namespace()


def _road_names():
    return [name for name, _ in _roads_namespace()["roads"]]


@pytest.mark.parametrize("index", range(len(_road_names())), ids=_road_names())
def test_reference_counts_unchanged(roads, index):
    name, call = roads["roads"][index]
    arguments = roads["arguments"]
    conflict = name == "conflict"
    if conflict:
        roads["hold"](arguments["held"])
    try:
        roads["run"](call, 20)  # warm up caches made on first use
        before = {key: sys.getrefcount(obj) for key, obj in arguments.items()}
        roads["run"](call, 300)
        after = {key: sys.getrefcount(obj) for key, obj in arguments.items()}
    finally:
        if conflict:
            roads["release"](arguments["held"])
    changed = {key: after[key] - before[key] for key in before if after[key] != before[key]}
    assert not changed, f"{name}: reference counts changed by {changed}"


MEMORY = ROADS + r"""
import json, os
page = os.sysconf("SC_PAGE_SIZE")

def rss():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * page

hold(held)
growth = {}
for name, call in roads:
    run(call, 3000)
    start = rss()
    run(call, COUNT)
    growth[name] = (rss() - start) // 1024
release(held)
print(json.dumps(growth))
"""


@pytest.mark.skipif(not os.path.exists("/proc/self/statm"), reason="needs /proc/self/statm")
@pytest.mark.skipif(bool(os.environ.get("CYCLEWRIGHT_SANITIZED")),
                    reason="AddressSanitizer quarantines freed memory; its leak check stands in")
def test_memory_stable_over_many_calls():
    count = 40000
    run = run_ok(MEMORY.replace("COUNT", str(count)), prelude=False, quiet_stderr=True,
                 timeout=300)
    growth = json.loads(run.stdout)
    # A leak of even one small allocation per call would add over 1 MiB here.
    grown = {name: kib for name, kib in growth.items() if kib > 1024}
    assert not grown, f"resident memory grew (KiB) after {count} calls: {grown}"
