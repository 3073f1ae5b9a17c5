"""A plain Python count, written from the definitions, that the tests and the
fuzz harness (tests/fuzz/python_fuzz.py) check the module against. It shares
no code with the module: not its power function, not its turning points."""

import ctypes
import math

import numpy as np

_libc = ctypes.CDLL(None)
_libc.pow.restype = ctypes.c_double
_libc.pow.argtypes = [ctypes.c_double, ctypes.c_double]
c_pow = _libc.pow  # the C library's pow, with its special values and no exceptions


def same_float(a: float, b: float) -> bool:
    """Equal as IEEE values: NaN matches NaN, and the sign of zero counts."""
    if math.isnan(a) or math.isnan(b):
        return math.isnan(a) and math.isnan(b)
    return a == b and math.copysign(1.0, a) == math.copysign(1.0, b)


def peaktrough(samples):
    """The first and last samples and every strict peak or trough between."""
    out = [samples[0]]
    for p, c, q in zip(samples, samples[1:], samples[2:], strict=False):
        if (q < c and p < c) or (c < q and c < p):
            out.append(c)
    out.append(samples[-1])
    return out


def halfcycles(samples, half):
    """(mean, range) of each half cycle: closed cycles as two, then the
    residue's, each once with `half` and twice without."""
    stack, out = [], []
    for v in peaktrough(samples):
        stack.append(v)
        while len(stack) >= 4:
            a, b, c, d = stack[-4:]
            y = abs(b - c)
            if not (abs(a - b) >= y and abs(c - d) >= y):
                break
            out += [((b + c) * 0.5, y)] * 2
            del stack[-3:-1]
    for r0, r1 in zip(stack, stack[1:], strict=False):
        out += [((r0 + r1) * 0.5, abs(r1 - r0))] * (1 if half else 2)
    return out


def closed_signal(samples):
    """The signal started and closed at its last maximum, or None when no
    sample is a number."""
    top = None
    for i, x in enumerate(samples):
        if not math.isnan(x) and (top is None or x >= samples[top]):
            top = i
    if top is None:
        return None
    return samples[top:] + samples[:top] + [samples[top]]


def eq_load(samples, m, neq, half):
    """The load with the C library's pow, and whether the core's own power
    (within one unit of it) can only move the result by rounding: the
    quotient is a normal number and the root does not magnify errors."""
    total = -0.0
    for _, r in halfcycles(samples, half):
        total += c_pow(r, m)
    with np.errstate(all="ignore"):  # IEEE division: by zero gives inf or NaN
        quotient = float(np.float64(total) / np.float64(2.0 * float(neq)))
        exponent = float(np.float64(1.0) / np.float64(m))
    tame = 0.05 <= abs(m) <= 50 and math.isfinite(quotient) and abs(quotient) >= 2.3e-308
    return c_pow(quotient, exponent), tame


def same_load(got, want, tame):
    """Equal, or within rounding where the load is `tame`."""
    if same_float(got, want):
        return True
    if not tame or not (math.isfinite(got) and math.isfinite(want)) or got == 0 or want == 0:
        return False
    return math.isclose(got, want, rel_tol=1e-9)
