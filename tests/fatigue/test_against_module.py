"""The count against the module cyclewright: the same half cycles in the
same order, the same loads bit for bit, on every family of signals, and a
real OpenFAST output file end to end."""

from pathlib import Path

import cyclewright
import numpy as np
import pytest

from cyclewright_fatigue import RainflowCounter, eq_loads, power_sums, rainflow
from signals import all_signals, merged

SIGNALS = all_signals()
EXPONENTS = [1.0, 3.0, 4.0, 5.0, 8.0, 10.0, 12.0]


def as_halfcycles(c):
    """The records as the module lists them: a full cycle as two entries."""
    twice = np.where(c.count == 1.0, 2, 1)
    return list(zip(np.repeat(c.mean, twice).tolist(), np.repeat(c.range, twice).tolist(), strict=True))


def module_loads(x, neq, residue, flat_tops):
    if flat_tops == "merge":
        x = merged(x)
        if residue == "closed_max" and x.size >= 3 and x[0] == x[-1]:
            x = x[:-1]  # closing joins the last sample to the first
    if residue == "closed_max":
        return [cyclewright.eq_load_max_half_cycle_closed_python(x, m, neq, True) for m in EXPONENTS]
    return [cyclewright.eq_load_python(x, m, neq, residue == "half") for m in EXPONENTS]


@pytest.mark.parametrize("name", SIGNALS)
def test_records_are_the_modules_half_cycles(name):
    x = SIGNALS[name]
    for residue, half in [("half", True), ("full", False)]:
        assert as_halfcycles(rainflow(x, residue=residue, flat_tops="drop")) == cyclewright.halfcycles(x, half)
    assert as_halfcycles(rainflow(x)) == cyclewright.halfcycles(merged(x), True)


@pytest.mark.parametrize("name", SIGNALS)
@pytest.mark.parametrize("flat_tops", ["merge", "drop"])
def test_loads_are_the_modules_bit_for_bit(name, flat_tops):
    x = SIGNALS[name]
    for residue in ["half", "full", "closed_max"]:
        got = eq_loads(x, EXPONENTS, 10**7, residue=residue, flat_tops=flat_tops)
        assert got.tobytes() == np.array(module_loads(x, 10**7, residue, flat_tops)).tobytes(), residue
        # m = 1, neq = 1: the load is the sum halved, exactly, so its order shows.
        sums = power_sums(x, EXPONENTS, residue=residue, flat_tops=flat_tops)
        assert sums[0] / 2 == module_loads(x, 1, residue, flat_tops)[0]
        c = rainflow(x, residue=residue, flat_tops=flat_tops)
        weights = np.where(c.count == 1.0, 2.0, 1.0)
        np.testing.assert_allclose(sums, [np.sum(weights * c.range**m) for m in EXPONENTS], rtol=1e-12)


@pytest.mark.parametrize("name", SIGNALS)
@pytest.mark.parametrize("residue", ["half", "closed_max"])
@pytest.mark.parametrize("flat_tops", ["merge", "drop"])
def test_positions_give_back_every_record(name, residue, flat_tops):
    x = SIGNALS[name]
    c = rainflow(x, residue=residue, flat_tops=flat_tops)
    for values, positions in [(c.start_value, c.start), (c.end_value, c.end), (c.residue, c.residue_index)]:
        assert values.tobytes() == x[positions].tobytes()
    np.testing.assert_array_equal(c.range, np.abs(x[c.end] - x[c.start]))
    np.testing.assert_array_equal(c.mean, (x[c.start] + x[c.end]) * 0.5)
    if residue == "half":
        assert (c.start[c.count == 1.0] < c.end[c.count == 1.0]).all()
        assert (np.diff(c.residue_index) >= 0).all()  # equal for one sample, stood twice


def test_openfast_output_end_to_end():
    reader = pytest.importorskip("openfast_io.FAST_output_reader")
    table = np.asarray(reader.FASTOutputFile(str(Path(__file__).parent / "data" / "AOC_WSt.outb")).data)
    channels = [np.ascontiguousarray(table[:, j]) for j in range(1, table.shape[1]) if np.ptp(table[:, j]) > 0]
    assert len(channels) > 10 and any(np.any(np.diff(x) == 0) for x in channels)  # flat tops
    for x in channels:
        assert as_halfcycles(rainflow(x)) == cyclewright.halfcycles(merged(x), True)
        for residue in ["half", "closed_max"]:
            assert eq_loads(x, EXPONENTS, 1e7, residue=residue).tolist() == module_loads(x, 10**7, residue, "merge")
        counter = RainflowCounter(m=EXPONENTS, keep_cycles=False)
        for chunk in np.array_split(x, 7):
            counter.feed(chunk)
        counter.finish()
        assert counter.power_sums.tolist() == power_sums(x, EXPONENTS).tolist()
