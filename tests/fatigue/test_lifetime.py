"""Lifetime equivalent loads by the report's rule, and the time and revolutions at each load level."""

import numpy as np
import pytest

from cyclewright_fatigue.levels import revolutions_at_level, time_at_level
from cyclewright_fatigue.lifetime import lifetime_eq_loads, repetitions

M = np.array([3.0, 10.0])
NEQ = 1e7


def _sums(loads):
    # Power sums behind given equivalent loads, S = 2 * neq * DEL ** m, one row per file.
    return 2.0 * NEQ * np.asarray(loads)[:, None] ** M


def test_lifetime_load_by_the_report_rule():
    sums = _sums([2.0, 4.0])
    np.testing.assert_allclose(lifetime_eq_loads(sums, [1.0, 0.0], M, NEQ), [2.0, 2.0], rtol=1e-14)
    expected = (3.0 * 2.0**M + 0.5 * 4.0**M) ** (1.0 / M)  # (sum n_i S_i / (2 neq)) ** (1/m)
    np.testing.assert_allclose(lifetime_eq_loads(sums, [3.0, 0.5], M, NEQ), expected, rtol=1e-14)
    np.testing.assert_allclose(repetitions([10.0, 1.0], [600.0, 400.0]), [60.0, 9.0], rtol=1e-15)


@pytest.mark.parametrize("call, message", [
    (lambda: lifetime_eq_loads(_sums([2.0]), [1.0], [0.0, 3.0], NEQ), "m"),
    (lambda: lifetime_eq_loads(_sums([2.0]), [1.0], [np.nan, 3.0], NEQ), "m"),
    (lambda: lifetime_eq_loads(_sums([2.0]), [1.0], M, 0.0), "neq"),
    (lambda: lifetime_eq_loads(_sums([2.0]), [1.0, 1.0], M, NEQ), "repetitions"),
    (lambda: lifetime_eq_loads(_sums([2.0])[:, :1], [1.0], M, NEQ), "power_sums"),
    (lambda: lifetime_eq_loads(-_sums([2.0]), [1.0], M, NEQ), "power_sums"),
    (lambda: lifetime_eq_loads(_sums([2.0]), [np.inf], M, NEQ), "repetitions"),
    (lambda: repetitions([1.0], [0.0]), "durations"),
    (lambda: time_at_level([1.0, 2.0], 4, 0.0), "dt"),
    (lambda: revolutions_at_level(np.ones(6), [1.0, 2.0], 4, 0.1), "speed_rpm"),
    (lambda: revolutions_at_level(np.ones(6), -np.ones(6), 4, 0.1), "speed_rpm"),
])
def test_bad_arguments_are_refused(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def test_time_and_revolutions_at_each_level():
    load = np.array([0.5, 1.5, 1.5, 2.0, 7.0, np.nan])  # 7 and NaN lie in no bin
    time, edges = time_at_level(load, [0.0, 1.0, 2.0], 0.1)
    np.testing.assert_allclose(time, [0.1, 0.3], rtol=1e-15)
    turns, _ = revolutions_at_level(load, [60.0, 120.0, 120.0, 30.0, 60.0, 60.0], edges, 0.5)
    np.testing.assert_allclose(turns, [0.5, 2.25], rtol=1e-15)  # rpm / 60 * dt per sample
    turns, _ = revolutions_at_level(load, 12.0, 4, 0.5)
    assert turns.sum() == pytest.approx(0.1 * 5)  # the NaN sample turns too, in no bin
