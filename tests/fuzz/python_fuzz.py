"""atheris harness of the three Python functions (run by tools/fuzz).

Each input becomes one call: a function, positional arguments, keyword
arguments (parameter names, unknown names, str subclasses, repeats) and
argument objects of every kind: arrays of many dtypes, shapes, orders and
strides, scalars of Python and NumPy, and hostile objects whose __float__,
__index__ or __bool__ raise, return the wrong type, raise this module's
PanicException, call back into the module, write into the array or take an
exclusive view of it through the test peer `viewpeer`.

Every call must
  - return a correct result (checked against the plain Python count of
    tests/python/count_model.py), or raise TypeError, OverflowError,
    MemoryError, pyo3_runtime.PanicException or an exception that a hostile
    object of this very call raised;
  - leave the reference count of every argument object as it was;
  - leave no view registered: afterwards the peer can take an exclusive view
    of each array at once.
A broken rule raises AssertionError, which atheris reports with the input.
"""

import contextlib
import math
import os
import sys

import numpy as np

import cyclewright
import viewpeer
from count_model import closed_signal, eq_load, halfcycles, same_float, same_load
from support import panic_type

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python
FUNCTIONS = [(hc, ("signal", "half")), (eq, ("signal", "m", "neq", "half")),
             (eqc, ("signal", "m", "neq", "half"))]

Panic = panic_type()
cyclewright.halfcycles(np.zeros(1), True)  # the registry exists before the peer looks


# Hostile objects. Each records what it raised in `raised`, the set of
# exception types that this call may legitimately end with.

class Context:
    def __init__(self):
        self.raised = set()
        self.arrays = []
        self.held = []  # views the hostile objects took through the peer


class Hostile:
    def __init__(self, ctx, action, value, target):
        self.ctx, self.action, self.value, self.target = ctx, action, value, target

    def _act(self):
        action = self.action
        if action == "value":
            return self.value
        if action == "raise-value":
            self.ctx.raised.add(ValueError)
            raise ValueError("hostile")
        if action == "raise-type":
            raise TypeError("hostile") from KeyError("cause")
        if action == "raise-overflow":
            raise OverflowError("hostile")
        if action == "raise-memory":
            raise MemoryError()
        if action == "raise-keyboard":
            self.ctx.raised.add(KeyboardInterrupt)
            raise KeyboardInterrupt()
        if action == "raise-panic":
            raise Panic("hostile panic")
        if action == "raise-panic-subclass":
            self.ctx.raised.add(PanicSubclass)
            raise PanicSubclass("not resumed")
        if action == "call-back":
            # Calls into the module while the outer call holds its view.
            if self.target is not None:
                with contextlib.suppress(BaseException):
                    hc(self.target, True)
            return self.value
        if action == "write-array":
            if self.target is not None and self.target.flags.writeable and self.target.size:
                self.target.reshape(-1, order="A")[0] = 123.0 if self.target.flags.contiguous else 0
            return self.value
        if action == "take-exclusive":
            # The outer call's shared view blocks it (-1); a -2 means read-only.
            if self.target is not None:
                code = viewpeer.acquire_mut(self.target)
                if code == 0:
                    self.ctx.held.append(self.target)
            return self.value
        if action == "wrong-type":
            return "not a number"
        raise AssertionError(action)

    def __float__(self):
        value = self._act()
        return value if isinstance(value, str) else float(value)

    def __index__(self):
        value = self._act()
        if isinstance(value, float):  # a NumPy integer stays: __index__ must not return one
            return int(value) if math.isfinite(value) else 0
        return value

    def __bool__(self):
        value = self._act()
        return bool(value) if not isinstance(value, str) else value


class PanicSubclass(Panic):
    pass


class Sub(np.ndarray):
    pass


# Types that pass for NumPy's boolean scalar by their names, so that `half`
# runs their __bool__ (hostile) or finds no __bool__ at all.
FakeNumpyBool = type("bool", (Hostile,), {"__module__": "numpy"})
FakeNumpyBoolWithout = type("bool_", (), {"__module__": "numpy"})


class KeyStr(str):
    pass


HOSTILE_ACTIONS = ["value", "raise-value", "raise-type", "raise-overflow", "raise-memory",
                   "raise-keyboard", "raise-panic", "raise-panic-subclass", "call-back",
                   "write-array", "take-exclusive", "wrong-type"]

DTYPES = ["f8", "f8", "f8", ">f8", "<f8", "=f8", "f4", "f2", "i8", "i4", "u1", "?", "c16",
          "O", "U3", "M8[s]", [("a", "f8")], "V8"]

SPECIAL = [0.0, -0.0, 1.0, -1.0, math.nan, -math.nan, math.inf, -math.inf, 5e-324, 1.5e308,
           -1.7976931348623157e308, 2.0, 3.0]


def draw_double(fdp):
    if fdp.ConsumeBool():
        return SPECIAL[fdp.ConsumeIntInRange(0, len(SPECIAL) - 1)]
    if fdp.ConsumeBool():
        return float(fdp.ConsumeIntInRange(-4, 4))
    return fdp.ConsumeRegularFloat() if fdp.ConsumeBool() else fdp.ConsumeFloat()


def draw_array(fdp, ctx):
    n = fdp.ConsumeIntInRange(0, 40)
    values = [draw_double(fdp) for _ in range(n)]
    base = np.array(values, dtype=np.float64)
    shape_kind = fdp.ConsumeIntInRange(0, 5)
    if shape_kind == 1 and n >= 1:
        base = np.array(values[0])  # 0-d
    elif shape_kind == 2 and n >= 4:
        rows = fdp.ConsumeIntInRange(1, n // 2)
        base = base[: rows * (n // rows)].reshape(rows, n // rows)
        if fdp.ConsumeBool():
            base = np.asfortranarray(base)
        if fdp.ConsumeBool():
            base = base.T
    elif shape_kind == 3 and n >= 2:
        step = fdp.ConsumeIntInRange(-3, 3) or 1
        base = base[::step]
    elif shape_kind == 4 and n >= 1:
        base = base[fdp.ConsumeIntInRange(0, n - 1):]
    dtype = DTYPES[fdp.ConsumeIntInRange(0, len(DTYPES) - 1)]
    if dtype not in ("f8", "=f8", "<f8"):
        with np.errstate(all="ignore"), contextlib.suppress(Exception):
            base = base.astype(dtype) if not isinstance(dtype, list) else np.zeros(n, dtype=dtype)
    if fdp.ConsumeBool() and base.ndim:
        base = base.view(Sub)
    if fdp.ConsumeIntInRange(0, 4) == 0:
        base.flags.writeable = False
    ctx.arrays.append(base)
    return base


def draw_value(fdp, ctx, depth=0):
    kind = fdp.ConsumeIntInRange(0, 15)
    if kind <= 4:
        return draw_array(fdp, ctx)
    if kind == 5:
        return draw_double(fdp)
    if kind == 6:
        return [0, 1, -1, 2**63, 2**64 - 1, 2**64, -(2**64), 10**400, 3, 10][fdp.ConsumeIntInRange(0, 9)]
    if kind == 7:
        return [True, False, np.True_, np.False_][fdp.ConsumeIntInRange(0, 3)]
    if kind == 8:
        return [np.float64(2.5), np.float32(1.5), np.int64(7), np.uint64(2**64 - 1), np.int8(-3),
                np.bool_(True), np.float64("nan"), np.complex128(1j)][fdp.ConsumeIntInRange(0, 7)]
    if kind == 9:
        return [None, "3.0", b"1", [1.0, 2.0], (1.0,), {}, object(), 1j, math.inf,
                memoryview(b"12345678")][fdp.ConsumeIntInRange(0, 9)]
    if kind == 10:
        return FakeNumpyBoolWithout()
    target = ctx.arrays[-1] if ctx.arrays else None
    action = HOSTILE_ACTIONS[fdp.ConsumeIntInRange(0, len(HOSTILE_ACTIONS) - 1)]
    inner = draw_value(fdp, ctx, depth + 1) if depth < 2 and fdp.ConsumeBool() else 3.0
    if not isinstance(inner, (bool, int, float, np.integer, np.floating)):
        inner = 3.0
    return (FakeNumpyBool if kind == 11 else Hostile)(ctx, action, inner, target)


def draw_keyword(fdp, names):
    choice = fdp.ConsumeIntInRange(0, 9)
    if choice <= 5:
        return names[fdp.ConsumeIntInRange(0, len(names) - 1)]
    if choice == 6:
        return KeyStr(names[fdp.ConsumeIntInRange(0, len(names) - 1)])
    if choice == 7:
        return "\udcff" + "signal"[: fdp.ConsumeIntInRange(0, 6)]  # cannot be encoded in UTF-8
    return fdp.ConsumeUnicodeNoSurrogates(fdp.ConsumeIntInRange(0, 8))


def memory_order(array):
    order = "F" if array.flags.f_contiguous and not array.flags.c_contiguous else "C"
    return [float(x) for x in np.asarray(array).ravel(order=order)]


def check_result(fn, names, bound, result):
    if not isinstance(bound["half"], (bool, np.bool_)):
        return  # reading it again would run a hostile __bool__ once more
    signal = bound["signal"]
    samples = memory_order(signal)
    half = bool(bound["half"])
    if fn is hc:
        expected = halfcycles(samples, half)
        assert type(result) is list and len(result) == len(expected), (result, expected)
        for got, want in zip(result, expected, strict=True):
            assert type(got) is tuple and len(got) == 2, got
            assert type(got[0]) is float and type(got[1]) is float, got
            assert same_float(got[0], want[0]) and same_float(got[1], want[1]), (result, expected)
        return
    assert type(result) is float, result
    m = float(bound["m"]) if not isinstance(bound["m"], Hostile) else None
    neq = bound["neq"]
    if m is None or isinstance(neq, Hostile) or isinstance(bound["half"], Hostile):
        return
    neq = int(neq)
    if fn is eqc:
        samples = closed_signal(samples)
    want, tame = eq_load(samples, m, neq, half)
    assert same_load(result, want, tame), (result, want, samples, m, neq, half)


def allowed(exc, ctx):
    if type(exc) in (TypeError, OverflowError, MemoryError, Panic):
        return True
    return type(exc) in ctx.raised


def one_call(fdp):
    ctx = Context()
    fn, names = FUNCTIONS[fdp.ConsumeIntInRange(0, 2)]
    wellformed = fdp.ConsumeIntInRange(0, 3) != 0
    args, kwargs = [], {}
    if wellformed:
        # The right parameters, by position up to a point and by keyword after.
        split = fdp.ConsumeIntInRange(0, len(names))
        values = {"signal": draw_array(fdp, ctx)}
        for name in names[1:]:
            if fdp.ConsumeIntInRange(0, 3) == 0:
                values[name] = draw_value(fdp, ctx)
            elif name == "m":
                values[name] = draw_double(fdp)
            elif name == "neq":
                values[name] = fdp.ConsumeIntInRange(0, 2**64 - 1) if fdp.ConsumeBool() else 10
            else:
                values[name] = fdp.ConsumeBool()
        args = [values[n] for n in names[:split]]
        kwargs = {n: values[n] for n in names[split:]}
    else:
        args = [draw_value(fdp, ctx) for _ in range(fdp.ConsumeIntInRange(0, 6))]
        for _ in range(fdp.ConsumeIntInRange(0, 5)):
            kwargs[draw_keyword(fdp, names)] = draw_value(fdp, ctx)

    objects = list(args) + list(kwargs.values()) + ctx.arrays
    # NumPy objects have conversions of their own (float() of a one-element
    # array of strings, say), which may raise ValueError themselves.
    if any(isinstance(o, (np.ndarray, np.generic)) for o in objects[:len(args) + len(kwargs)]):
        ctx.raised.add(ValueError)
    before = [sys.getrefcount(o) for o in objects]
    outcome = call(fn, args, kwargs, ctx)
    while ctx.held:  # no loop variable: it would keep the last array referenced
        viewpeer.release_mut(ctx.held.pop())
    after = [sys.getrefcount(o) for o in objects]
    for obj, b, a in zip(objects, before, after, strict=True):
        assert a == b, f"reference count of {type(obj).__name__} changed by {a - b}"
    for array in ctx.arrays:
        code = viewpeer.acquire_mut(array)
        assert code in (0, -2), f"a view of the array is still registered ({code})"
        if code == 0:
            viewpeer.release_mut(array)
    if outcome is not None and wellformed and not kwargs.keys() - set(names):
        bound = dict(zip(names, args, strict=False), **kwargs)
        if set(bound) == set(names) and type(bound["signal"]) in (np.ndarray, Sub):
            check_result(fn, names, bound, outcome)


_devnull = os.open(os.devnull, os.O_WRONLY)


def call(fn, args, kwargs, ctx):
    """The call's result, or None when it raised an allowed exception. The
    module's reports on standard error are sent to /dev/null meanwhile; the
    sanitizers write theirs to their log files (tools/fuzz)."""
    saved = os.dup(2)
    os.dup2(_devnull, 2)
    try:
        return fn(*args, **kwargs)
    except BaseException as exc:  # noqa: BLE001
        if not allowed(exc, ctx):
            raise AssertionError(f"unexpected {type(exc).__module__}.{type(exc).__name__}: {exc}") from exc
        return None
    finally:
        os.dup2(saved, 2)
        os.close(saved)


def test_one_input(data):
    import atheris

    one_call(atheris.FuzzedDataProvider(data))


def main():
    import atheris

    # Coverage of the harness's own branches (which kind of argument, which
    # outcome) guides the mutations; NumPy and the interpreter stay plain.
    for function in (one_call, call, check_result, draw_value, draw_array, draw_keyword,
                     draw_double, allowed, Hostile._act):
        atheris.instrument_func(function)
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
