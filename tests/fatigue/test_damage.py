"""Miner damage against fatpack's and pyLife's on the same curves, and its history in time."""

import fatpack
import numpy as np
import pandas as pd
import pylife.strength.fatigue  # noqa: F401  (the fatigue accessor)
import pylife.stress  # noqa: F401  (the load_collective accessor)
import pytest
from cycles_support import make_cycles, peer_cycles

from cyclewright_fatigue.damage import damage, damage_history
from cyclewright_fatigue.sn_curve import SNCurve

CYCLES, LOAD = peer_cycles(scale=15.0)  # ranges across the knees below


# fatpack's curves: m = 5 through (90, 2e6); m1 = 3 to 5e6 cycles, then 5; and no damage below Sl (at 1e8).
BI, TRI, R = fatpack.BiLinearEnduranceCurve(71.0), fatpack.TriLinearEnduranceCurve(71.0), {"quantity": "range"}


@pytest.mark.parametrize("peer, curve", [
    (fatpack.LinearEnduranceCurve(90.0), SNCurve.from_reference(5.0, 90.0, 2e6, **R)),
    (BI, SNCurve.from_reference((3.0, 5.0), 71.0, 2e6, knees=BI.Sd, **R)),
    (TRI, SNCurve.from_reference((3.0, 5.0), 71.0, 2e6, knees=TRI.Sd, endurance=TRI.Sl, **R)),
], ids=["linear", "bilinear", "trilinear"])
@pytest.mark.parametrize("scale", [1.0, 2.5])
def test_damage_matches_fatpack(peer, curve, scale):
    weights = np.random.default_rng(2).random(len(CYCLES))
    expected = peer.find_miner_sum(np.c_[CYCLES.range * scale, CYCLES.count * weights])
    assert damage(CYCLES, curve, weights=weights, scale=scale) == pytest.approx(expected, rel=1e-12)


@pytest.mark.parametrize("k_2", [np.inf, 7.0])
def test_damage_matches_pylife_on_amplitudes(k_2):
    woehler = pd.Series({"k_1": 4.0, "ND": 1e6, "SD": 40.0, "k_2": k_2})
    collective = pd.DataFrame({"range": CYCLES.range, "mean": CYCLES.mean, "cycles": CYCLES.count})
    expected = woehler.fatigue.damage(collective.load_collective).sum()
    curve = (SNCurve.from_reference(4.0, 40.0, 1e6, quantity="amplitude", endurance=40.0) if k_2 == np.inf
             else SNCurve.from_reference((4.0, k_2), 40.0, 1e6, quantity="amplitude", knees=40.0))
    assert 0 < expected and damage(CYCLES, curve) == pytest.approx(expected, rel=1e-12)


def test_history_counts_each_record_where_it_ends():
    curve = SNCurve(3.0, 12.0, quantity="range")
    c = make_cycles([0.0, 0.0, 0.0], [100.0, 200.0, 100.0], count=[1.0, 0.5, 0.5], end=[2, 4, 4])
    history = damage_history(c, curve, 6)
    d1, d2 = 1e6 / 1e12, (0.5 * 8e6 + 0.5 * 1e6) / 1e12
    np.testing.assert_allclose(history, [0, 0, d1, d1, d1 + d2, d1 + d2], rtol=1e-15)
    long = damage_history(CYCLES, curve, LOAD.size)
    assert np.all(np.diff(long) >= 0) and long[-1] == pytest.approx(damage(CYCLES, curve), rel=1e-12)


@pytest.mark.parametrize("call, message", [
    (lambda c, s: damage(c, s, scale=np.nan), "scale"),
    (lambda c, s: damage(c, s, weights=[1.0]), "shape"),
    (lambda c, s: damage_history(c, s, int(c.end.max())), "n_samples"),
    (lambda c, s: damage_history(c, s, -1), "negative"),
])
def test_bad_arguments_are_refused(call, message):
    with pytest.raises(ValueError, match=message):
        call(CYCLES, SNCurve(3.0, 12.0, quantity="range"))
