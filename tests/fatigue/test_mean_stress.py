"""Mean-stress corrections against values worked by hand from their formulas."""

import math

import numpy as np
import pytest

from cyclewright_fatigue.mean_stress import gerber, goodman, smith_watson_topper, soderberg, walker

# (function, parameters, amplitude, mean, equivalent fully reversed amplitude)
CASES = [
    (goodman, {"ultimate": 800.0}, 100.0, 200.0, 400.0 / 3.0),    # 100 / (1 - 1/4)
    (goodman, {"ultimate": 800.0}, 100.0, -400.0, 200.0 / 3.0),   # 100 / (1 + 1/2)
    (goodman, {"ultimate": 800.0}, 100.0, 800.0, math.inf),       # the mean alone breaks it
    (gerber, {"ultimate": 800.0}, 100.0, 200.0, 1600.0 / 15.0),   # 100 / (1 - 1/16)
    (gerber, {"ultimate": 800.0}, 100.0, -200.0, 1600.0 / 15.0),  # symmetric in the mean
    (gerber, {"ultimate": 800.0}, 100.0, -900.0, math.inf),
    (soderberg, {"yield_strength": 400.0}, 100.0, 200.0, 200.0),  # 100 / (1 - 1/2)
    (soderberg, {"yield_strength": 400.0}, 50.0, 0.0, 50.0),
    (smith_watson_topper, {}, 100.0, 200.0, math.sqrt(30000.0)),  # sqrt(300 * 100)
    (smith_watson_topper, {}, 100.0, 0.0, 100.0),
    (smith_watson_topper, {}, 100.0, -100.0, 0.0),                # no tensile peak
    (walker, {"gamma": 0.5}, 100.0, 200.0, math.sqrt(30000.0)),
    (walker, {"gamma": 0.7}, 100.0, 200.0, 300.0**0.3 * 100.0**0.7),
    (walker, {"gamma": 1.0}, 100.0, 200.0, 100.0),
    (walker, {"gamma": 0.6}, 100.0, -150.0, 0.0),
    (walker, {"gamma": 0.6}, 100.0, math.nan, math.nan),
    (smith_watson_topper, {}, 100.0, math.nan, math.nan),
    (goodman, {"ultimate": 800.0}, 100.0, math.nan, math.nan),
    (goodman, {"ultimate": 800.0}, np.array([[10.0], [20.0]]), np.array([0.0, 400.0]),  # broadcast
     np.array([[10.0, 20.0], [20.0, 40.0]])),
]


@pytest.mark.parametrize("correction, params, amplitude, mean, expected", CASES)
def test_correction_worked_by_hand(correction, params, amplitude, mean, expected):
    assert correction(amplitude, mean, **params) == pytest.approx(expected, rel=1e-14, nan_ok=True)


@pytest.mark.parametrize("call, message", [
    (lambda: goodman(1.0, 0.0, ultimate=0.0), "ultimate"),
    (lambda: gerber(1.0, 0.0, ultimate=-5.0), "ultimate"),
    (lambda: soderberg(1.0, 0.0, yield_strength=np.nan), "yield_strength"),
    (lambda: walker(1.0, 0.0, gamma=0.0), "gamma"),
    (lambda: walker(1.0, 0.0, gamma=1.5), "gamma"),
    (lambda: smith_watson_topper(-1.0, 0.0), "negative"),
    (lambda: goodman([1.0, 2.0], [1.0, 2.0, 3.0], ultimate=10.0), "broadcast"),
])
def test_invalid_parameters_are_refused(call, message):
    with pytest.raises(ValueError, match=message):
        call()
