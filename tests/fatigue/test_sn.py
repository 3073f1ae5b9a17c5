"""S-N curves: the DNV-RP-C203 tables worked by hand, the knee rule and refused constants."""

import math

import numpy as np
import pytest
from pCrunch import fatigue as pcrunch

from cyclewright_fatigue.dnv_c203 import DNV_C203_TABLES, KNEE_CYCLES
from cyclewright_fatigue.sn_curve import SNCurve

CURVES = ["B1", "B2", "C", "C1", "C2", "D", "E", "F", "F1", "F3", "G", "W1", "W2", "W3"]
lg = math.log10


@pytest.mark.parametrize("environment, theirs", [
    ("air", pcrunch.curves_in_air), ("seawater-cp", pcrunch.curves_in_seawater_with_cathodic_protection)])
def test_every_dnv_curve_is_consistent_and_agrees_with_pcrunch(environment, theirs):
    assert sorted(DNV_C203_TABLES[environment]) == sorted(CURVES)
    for name in CURVES:
        curve = SNCurve.dnv_c203(name, environment)  # the constructor checks the knee to 1 %
        row = DNV_C203_TABLES[environment][name]
        assert curve.cycles_to_failure(row.fatigue_limit) == pytest.approx(1e7, rel=2e-3), name
        assert curve.cycles_to_failure(curve.knees[0]) == pytest.approx(KNEE_CYCLES[environment], rel=1e-9), name
        if name not in ("B1", "B2", "C", "C1", "C2"):  # pCrunch has the 2024 edition, which changed those
            other = theirs[name]
            assert (row.m1, row.log10_a1, row.log10_a2, row.fatigue_limit) == (
                other["m1"], other["loga1"], other["loga2"], other["fl"]), name


@pytest.mark.parametrize("name, environment, stress, expected", [
    ("D", "air", 100.0, 10 ** (12.164 - 3 * 2)),                  # above the knee, 52.6 MPa
    ("D", "air", 40.0, 10 ** (15.606 - 5 * lg(40))),              # below it
    ("B1", "air", 200.0, 10 ** (15.117 - 4 * lg(200))),
    ("W3", "air", 30.0, 10 ** (10.970 - 3 * lg(30))),
    ("F", "seawater-cp", 100.0, 10 ** (11.455 - 3 * 2)),          # knee at 10^6 cycles: 65.8 MPa
    ("F", "seawater-cp", 50.0, 10 ** (15.091 - 5 * lg(50))),
    ("C1", "seawater-cp", 120.0, 10 ** (12.049 - 3 * lg(120))),
])
def test_dnv_curves_worked_by_hand(name, environment, stress, expected):
    assert SNCurve.dnv_c203(name, environment).cycles_to_failure(stress) == pytest.approx(expected, rel=1e-12)


def test_dnv_thickness_and_fatigue_limit():
    thick = SNCurve.dnv_c203("D", "air", thickness=50.0)  # stress times (50 / 25) ** 0.2
    assert thick.cycles_to_failure(100.0) == pytest.approx(10 ** (12.164 - 3 * lg(100 * 2**0.2)), rel=1e-12)
    thin = SNCurve.dnv_c203("D", "air", thickness=10.0)  # thinner than the reference: no credit
    assert thin.cycles_to_failure(100.0) == SNCurve.dnv_c203("D", "air").cycles_to_failure(100.0)
    limited = SNCurve.dnv_c203("D", "air", fatigue_limit=True)
    assert limited.cycles_to_failure(52.62) == math.inf and math.isfinite(limited.cycles_to_failure(52.63))


def test_the_segment_above_applies_at_a_knee():
    # The lower segment is 0.5 % longer-lived at the knee, so N tells which one applied.
    curve = SNCurve((3.0, 5.0), (12.0, 16.0 + lg(1.005)), quantity="range", knees=(100.0,), endurance=10.0)
    n = curve.cycles_to_failure([100.0, np.nextafter(100.0, 0.0), 10.0, np.nextafter(10.0, 0.0), 0.0, np.nan])
    assert n[0] == pytest.approx(1e6, rel=1e-14) and n[1] == pytest.approx(1.005e6, rel=1e-12)
    assert math.isfinite(n[2]) and n[3] == math.inf and n[4] == math.inf and math.isnan(n[5])
    three = SNCurve.from_reference((3.0, 5.0, 9.0), 100.0, 1e6, quantity="amplitude", knees=(50.0, 20.0))
    assert three.cycles_to_failure(10.0) == pytest.approx(1e6 * 2**3 * 2.5**5 * 2**9, rel=1e-12)


R = {"quantity": "range"}


@pytest.mark.parametrize("call, message", [
    (lambda: SNCurve(3.0, 12.0, quantity="stress"), "quantity"),
    (lambda: SNCurve((3.0, 5.0), (12.0, 16.0), **R), "knees"),
    (lambda: SNCurve((3.0, 5.0), (12.0,), knees=100.0, **R), "one log10_a per segment"),
    (lambda: SNCurve((3.0, 5.0), (12.0, 16.1), knees=100.0, **R), "do not meet"),
    (lambda: SNCurve((1, 2, 3, 4), (1, 2, 3, 4), knees=(4, 3, 2), **R), "one to three"),
    (lambda: SNCurve((3.0, 5.0, 7.0), (12.0, 16.0, 18.0), knees=(10.0, 100.0), **R), "descending"),
    (lambda: SNCurve(0.0, 12.0, **R), "slopes"),
    (lambda: SNCurve(3.0, np.inf, **R), "log10_a"),
    (lambda: SNCurve((3.0, 5.0), (12.0, 16.0), knees=-100.0, **R), "knees"),
    (lambda: SNCurve(3.0, 12.0, endurance=0.0, **R), "endurance"),
    (lambda: SNCurve(3.0, 12.0, **R).cycles_to_failure([-1.0]), "negative"),
    (lambda: SNCurve.from_reference(3.0, 0.0, 1e6, **R), "reference point"),
    (lambda: SNCurve.from_reference((3.0, 5.0), 100.0, 1e6, **R), "knees"),
    (lambda: SNCurve.dnv_c203("Z", "air"), "no DNV-RP-C203 curve"),
    (lambda: SNCurve.dnv_c203("D", "seawater"), "environment"),
])
def test_curves_that_cannot_be_are_refused(call, message):
    with pytest.raises(ValueError, match=message):
        call()
