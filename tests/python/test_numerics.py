"""Numerical results: worked examples, small signals, special values."""

import math
import random

import numpy as np
import pytest

import count_model
import cyclewright
from conftest import NO_MAXIMUM, WORKED, assert_records, same_float

hc = cyclewright.halfcycles
eq = cyclewright.eq_load_python
eqc = cyclewright.eq_load_max_half_cycle_closed_python

NAN = float("nan")
INF = float("inf")
A = np.array(WORKED)


# --- worked examples, to ten significant digits ------------------------------

@pytest.mark.parametrize(
    "fn, half, m, neq, expected",
    [
        (eq, True, 3.0, 1, "7.149831284"),
        (eq, True, 3.0, 10, "3.318657705"),
        (eq, True, 4.0, 1, "6.761803455"),
        (eq, True, 4.0, 10, "3.802441515"),
        (eq, False, 3.0, 1, "8.457690558"),
        (eq, False, 3.0, 10, "3.925712205"),
        (eq, False, 4.0, 1, "7.721646246"),
        (eq, False, 4.0, 10, "4.342200782"),
        (eqc, True, 3.0, 1, "7.813389232"),
        (eqc, True, 3.0, 10, "3.626654021"),
        (eqc, True, 4.0, 1, "7.427206316"),
        (eqc, True, 4.0, 10, "4.176625042"),
        (eqc, False, 3.0, 1, "9.359901623"),
        (eqc, False, 3.0, 10, "4.344481486"),
        (eqc, False, 4.0, 1, "8.589730321"),
        (eqc, False, 4.0, 10, "4.830360332"),
    ],
    ids=lambda v: getattr(v, "__name__", repr(v)),
)
def test_worked_example(fn, half, m, neq, expected):
    got = fn(A, m, neq, half)
    assert type(got) is float
    assert f"{got:.10g}" == expected


@pytest.mark.parametrize(
    "fn, half, power_sum",
    [(eq, True, 731), (eq, False, 1210), (eqc, True, 954), (eqc, False, 1640)],
)
def test_worked_power_sums(fn, half, power_sum):
    # With neq such that 2 * neq = S and m = 3 the root is of exactly 1.
    assert fn(A, 3.0, power_sum // 2, half) == pytest.approx(
        (power_sum / (power_sum // 2 * 2)) ** (1 / 3), rel=1e-15)
    # With m = 1 the sum of the ranges and the division are exact.
    ranges = {True: 29, False: 46} if fn is eq else {True: 30, False: 44}
    assert fn(A, 1.0, 1, half) == ranges[half] / 2


# --- half cycles -------------------------------------------------------------

WORKED_HALF = [(2.5, 1), (2.5, 1), (1.5, 5), (1.5, 5), (3, 4), (1.5, 7), (0, 4), (1, 2)]
WORKED_FULL = [(2.5, 1), (2.5, 1), (1.5, 5), (1.5, 5), (3, 4), (3, 4), (1.5, 7), (1.5, 7),
               (0, 4), (0, 4), (1, 2), (1, 2)]
TRACE = [-2, 1, -3, 5, -1, 3, -4, 4, -2]
TRACE_RESIDUE = [(-0.5, 3), (-1, 4), (1, 8), (0.5, 9), (0, 8), (1, 6)]


def _twice(records):
    return [r for r in records for _ in range(2)]


@pytest.mark.parametrize(
    "signal, half_true, half_false",
    [
        ([5], [(5, 0)], [(5, 0)] * 2),
        ([5, 5], [(5, 0)], [(5, 0)] * 2),
        ([1, 2], [(1.5, 1)], [(1.5, 1)] * 2),
        ([4, 1], [(2.5, 3)], [(2.5, 3)] * 2),
        ([3, 3, 3], [(3, 0)], [(3, 0)] * 2),
        ([0, 1, 2, 3], [(1.5, 3)], [(1.5, 3)] * 2),  # only rises: one residual half cycle
        ([0, 1, 0, 1], [(0.5, 1)] * 3, [(0.5, 1)] * 4),  # a tie closes the cycle
        ([0, 2, 1, 3, 0], [(1.5, 1)] * 2 + [(1.5, 3)] * 2, [(1.5, 1)] * 2 + [(1.5, 3)] * 4),
        # one push closes two cycles, the newest first
        ([0, 4, 1, 3, 2, 5], [(2.5, 1)] * 2 + [(2.5, 3)] * 2 + [(2.5, 5)],
         [(2.5, 1)] * 2 + [(2.5, 3)] * 2 + [(2.5, 5)] * 2),
        # flat tops are not turning points; zero-range cycles count
        ([0, 2, 0, 1, 1, 0, 2, 0], [(0, 0), (0, 0), (2, 0), (2, 0), (0, 0)],
         [(0, 0), (0, 0), (2, 0), (2, 0), (0, 0), (0, 0)]),
        ([0, 1, 1, 0], [(0, 0)], [(0, 0)] * 2),
        # two peaks in a row close a zero-range cycle between them
        ([0, 1, 0.5, 0.5, 1, 0], [(1, 0), (1, 0), (0, 0)], [(1, 0), (1, 0), (0, 0), (0, 0)]),
        (TRACE, [(1, 4), (1, 4)] + TRACE_RESIDUE, [(1, 4), (1, 4)] + _twice(TRACE_RESIDUE)),
        (WORKED, WORKED_HALF, WORKED_FULL),
        # special values
        ([NAN, 1, 0, 2], [(NAN, NAN), (1, 2)], [(NAN, NAN)] * 2 + [(1, 2)] * 2),
        ([0, 1, 2, NAN], [(NAN, NAN)], [(NAN, NAN)] * 2),
        ([0, NAN, 1, 0, 2], [(0, 0), (1, 2)], [(0, 0)] * 2 + [(1, 2)] * 2),
        ([0, NAN, 1, 3, 0], [(1.5, 3), (1.5, 3)], [(1.5, 3)] * 4),
        ([0, -INF, -INF, 1], [(0.5, 1)], [(0.5, 1)] * 2),
        ([0, INF, 1], [(INF, INF), (INF, INF)], [(INF, INF)] * 4),
        ([INF, INF], [(INF, NAN)], [(INF, NAN)] * 2),  # range of equal infinities is NaN
        ([1.5e308, 1.5e308], [(INF, 0)], [(INF, 0)] * 2),  # the sum overflows before halving
        ([-0.0, 0.0], [(0.0, 0.0)], [(0.0, 0.0)] * 2),  # positive zeros
        ([0.0, -0.0], [(0.0, 0.0)], [(0.0, 0.0)] * 2),
        ([-0.0, -0.0], [(-0.0, 0.0)], [(-0.0, 0.0)] * 2),
        ([3, 1], [(2, 2)], [(2, 2)] * 2),  # ranges are never negative
    ],
    ids=lambda v: repr(v)[:40],
)
def test_halfcycles(signal, half_true, half_false):
    a = np.array(signal, dtype=np.float64)
    assert_records(hc(a, True), half_true)
    assert_records(hc(a, False), half_false)


# --- a model of the count, checked on many small signals ---------------------

def _signals():
    rng = random.Random(20240611)
    for _ in range(300):
        n = rng.randint(1, 40)
        pool = rng.choice([[0, 1, 2, 3], [-2.5, 0, 1, 4, 7.25], [0, 1, NAN]])
        yield [float(rng.choice(pool)) for _ in range(n)]


def test_halfcycles_agree_with_a_model_of_the_count():
    for signal in _signals():
        a = np.array(signal)
        for half in (True, False):
            assert_records(hc(a, half), count_model.halfcycles(signal, half))


def test_eq_loads_agree_with_a_model_of_the_sum():
    for signal in _signals():
        a = np.array(signal)
        closed = count_model.closed_signal(signal)
        for m, neq, half in ((3.0, 1, True), (4.0, 7, False), (1.0, 2, True)):
            got = eq(a, m, neq, half)
            want, _ = count_model.eq_load(signal, m, neq, half)
            assert same_float(got, want) or got == pytest.approx(want, rel=1e-13), signal
            if closed is None:
                continue
            got = eqc(a, m, neq, half)
            want, _ = count_model.eq_load(closed, m, neq, half)
            assert same_float(got, want) or got == pytest.approx(want, rel=1e-13), signal


# --- special values of m, neq and the samples --------------------------------

@pytest.mark.parametrize(
    "fn, signal, m, neq, expected",
    [
        # a single sample or a constant signal: one record of range 0
        (eq, [5.0], 3.0, 1, 0.0),
        (eq, [2.0, 2.0, 2.0], 4.0, 10, 0.0),
        (eqc, [5.0], 3.0, 1, 0.0),
        (eqc, [2.0, 2.0, 2.0], 4.0, 10, 0.0),
        # neq = 0
        (eq, WORKED, 3.0, 0, INF),
        (eqc, WORKED, 3.0, 0, INF),
        (eq, [2.0, 2.0], 3.0, 0, NAN),
        # m = 0: every term is 1, the exponent is +inf (8 records here)
        (eq, WORKED, 0.0, 1, INF),
        (eq, WORKED, 0.0, 4, 1.0),
        (eq, WORKED, 0.0, 10, 0.0),
        # a negative m: a zero range contributes +inf
        (eq, [1.0], -2.0, 1, 0.0),
        (eq, [0.0, 2.0], -1.0, 1, 4.0),
        # NaN samples
        (eq, [NAN, 1.0, 0.0, 2.0], 4.0, 1, NAN),
        (eqc, [NAN, 1.0, 0.0, 2.0], 4.0, 1, 2.0),
        (eqc, [1.0, NAN, 3.0], 4.0, 1, 0.0),
        (eq, [0.0, NAN, 1.0, 0.0, 2.0], 1.0, 1, 1.0),  # the NaN is no turning point
        (eq, [0.0, 1.0, 2.0], NAN, 1, NAN),
        # infinite samples and m
        (eq, [0.0, INF, 1.0], 2.0, 1, INF),
        (eq, [0.0, 2.0, 1.0, 3.0], INF, 1, 1.0),  # pow(inf, 1 / inf)
        # the closed signal: the last of equal maxima, the maximum at index 0
        (eqc, [0.0, 2.0, 2.0, 1.0, 2.0], 4.0, 1, 1.0),
        (eqc, [5.0, 1.0, 3.0], 4.0, 1, 4.0),
    ],
    ids=lambda v: getattr(v, "__name__", repr(v)[:30]),
)
def test_special_values(fn, signal, m, neq, expected):
    got = fn(np.array(signal, dtype=np.float64), m, neq, True)
    assert type(got) is float
    assert same_float(got, expected), got


@pytest.mark.parametrize("signal", [[NAN], [NAN, NAN, NAN]], ids=repr)
def test_closed_signal_without_a_number_fails(signal, panic):
    with pytest.raises(panic) as info:
        eqc(np.array(signal), 3.0, 1, True)
    assert info.value.args == (NO_MAXIMUM,)
    # eq_load_python has no maximum to find and returns NaN.
    assert math.isnan(eq(np.array(signal), 3.0, 1, True))
