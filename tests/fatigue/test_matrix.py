"""Rainflow matrices and range spectra against NumPy's histograms and the peers' matrices."""

import fatpack
import numpy as np
import pandas as pd
import pylife.stress  # noqa: F401  (the load_collective accessor)
import pytest
from cycles_support import make_cycles, peer_cycles

from cyclewright_fatigue.levels import time_at_level
from cyclewright_fatigue.matrix import rainflow_matrix
from cyclewright_fatigue.range_counts import range_exceedance, range_histogram

CYCLES, _ = peer_cycles()
RANGE_EDGES = np.linspace(0.0, np.ceil(CYCLES.range.max()), 41)
_OUTER = np.ceil(np.abs(CYCLES.mean).max()) + 1
MEAN_EDGES = np.r_[-_OUTER, np.geomspace(-100.0, -1.0, 9), np.geomspace(1.0, 100.0, 9), _OUTER]


@pytest.mark.parametrize("kind, axes", [("range_mean", ("range", "mean")), ("from_to", ("start_value", "end_value"))])
@pytest.mark.parametrize("bins", [64, 1, [5, 9], np.array([5, 9]), (RANGE_EDGES, MEAN_EDGES), MEAN_EDGES], ids=str)
def test_matrix_is_histogram2d_weighted_by_count(kind, axes, bins):
    weights = np.random.default_rng(1).random(len(CYCLES))
    rows, columns = (getattr(CYCLES, a) for a in axes)
    got = rainflow_matrix(CYCLES, bins, kind=kind, weights=weights)
    expected = np.histogram2d(rows, columns, bins, weights=CYCLES.count * weights)
    for mine, theirs in zip(got, expected, strict=True):
        np.testing.assert_array_equal(mine, theirs)


def test_matrix_matches_fatpack_and_pylife():
    matrix, _, _ = rainflow_matrix(CYCLES, (RANGE_EDGES, MEAN_EDGES))
    fp = fatpack.find_rainflow_matrix(np.c_[CYCLES.range, CYCLES.mean], RANGE_EDGES, MEAN_EDGES, counts=CYCLES.count)
    frame = pd.DataFrame({"range": CYCLES.range, "mean": CYCLES.mean, "cycles": CYCLES.count})
    pl = frame.load_collective.histogram([RANGE_EDGES, MEAN_EDGES]).to_pandas().to_numpy().reshape(matrix.shape)
    np.testing.assert_allclose(matrix, fp, rtol=1e-12, atol=0)
    np.testing.assert_allclose(matrix, pl, rtol=1e-12, atol=0)
    assert matrix.sum() == pytest.approx(CYCLES.full_cycles, rel=1e-12)


@pytest.mark.parametrize("seed", range(6))
def test_bins_agree_with_np_histogram_on_and_beside_every_edge(seed):
    # Random edges, even and very uneven (a lookup grid or a binary search
    # finds the bins), and values on each edge and one ulp either side.
    rng = np.random.default_rng(seed)
    edges = np.round(np.cumsum(0.01 + rng.exponential(size=rng.integers(2, 40)) ** (1 + 3 * (seed % 2))), 3)
    spread = np.r_[rng.uniform(edges[0] - 1, edges[-1] + 1, 1000), np.nan]
    equal_edges = np.histogram_bin_edges(spread[:-1], edges.size)[1:-1]  # inner ones: the span stays
    for bins, on in ((edges, edges), (edges.size, equal_edges)):
        values = np.r_[spread, on, np.nextafter(on, -np.inf), np.nextafter(on, np.inf)]
        totals, got_edges = time_at_level(values, bins, 1.0)
        expected, expected_edges = np.histogram(values[~np.isnan(values)], bins)
        np.testing.assert_array_equal(got_edges, expected_edges)
        np.testing.assert_array_equal(totals, expected)


@pytest.mark.parametrize("bins, options, message", [
    (0, {}, "at least 1"),
    ([1.0], {}, "at least two"),
    ([0.0, 1.0, 1.0], {}, "strictly increasing"),
    ([0.0, np.nan, 1.0], {}, "finite"),
    ([0.0, 1.0, np.inf], {}, "finite"),
    (np.zeros((3, 3)), {}, "1-D"),
    (8, {"kind": "mean_range"}, "kind"),
    (8, {"weights": np.ones(3)}, "shape"),
    (8, {"weights": -np.ones(len(CYCLES))}, "negative"),
    (8, {"weights": np.full(len(CYCLES), np.nan)}, "finite"),
])
def test_bad_bins_and_options_are_refused(bins, options, message):
    with pytest.raises(ValueError, match=message):
        rainflow_matrix(CYCLES, bins, **options)
    if "kind" not in options:
        with pytest.raises(ValueError, match=message):
            range_histogram(CYCLES, bins, **options)


def test_exceedance_counts_cycles_at_or_above_each_distinct_range():
    c = make_cycles([0, 0, 0, 0, 0], [1.0, 3.0, -3.0, 2.0, np.nan], count=[1.0, 0.5, 0.5, 1.0, 1.0])
    levels, counts = range_exceedance(c)
    assert levels.tolist() == [3.0, 2.0, 1.0] and counts.tolist() == [1.0, 2.0, 3.0]
    assert range_exceedance(c, weights=[1.0, 2.0, 2.0, 1.0, 1.0]).counts.tolist() == [2.0, 3.0, 4.0]
