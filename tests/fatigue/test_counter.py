"""The counter fed in chunks, pickled mid-record, with matrix and gate; and
what each function refuses."""

import doctest
import pickle

import numpy as np
import pytest

import cyclewright_fatigue
from cyclewright_fatigue import (RainflowCounter, counting, cycles, eq_loads, eq_loads_from_sums, power_sums,
                                 rainflow)
from signals import FAMILIES, quantised, ties, walk

EXPONENTS = [3.0, 4.0, 10.0]
BINS = (np.linspace(0, 8, 9), np.linspace(-20, 20, 6))
FIELDS = ["range", "mean", "count", "start", "end", "start_value", "end_value", "residue", "residue_index"]


def assert_same(a, b):
    for field in FIELDS:
        assert getattr(a, field).tobytes() == getattr(b, field).tobytes(), field


def fed(x, cuts, **options):
    counter = RainflowCounter(m=EXPONENTS, bins=BINS, **options)
    for chunk in np.split(x, cuts):  # empty chunks among them
        counter.feed(chunk)
    return counter, counter.finish()


@pytest.mark.parametrize("family", FAMILIES)
@pytest.mark.parametrize("options", [{}, {"flat_tops": "drop", "residue": "full"},
                                     {"gate": 1.5, "residue": "discard"}])
def test_any_chunking_counts_as_one_call(family, options):
    x = FAMILIES[family](4000)
    whole, records = fed(x, [], **options)
    assert_same(records, rainflow(x, **options))
    if "gate" not in options:
        assert whole.power_sums.tobytes() == power_sums(x, EXPONENTS, **options).tobytes()
    expected = np.histogram2d(records.range, records.mean, bins=BINS, weights=records.count)[0]
    np.testing.assert_array_equal(whole.matrix, expected)
    rng = np.random.default_rng(7)
    for size in [1, 3, 50, 900]:
        counter, chunked = fed(x, np.sort(rng.integers(0, x.size, size=size)), **options)
        assert_same(chunked, records)
        assert counter.power_sums.tobytes() == whole.power_sums.tobytes()
        np.testing.assert_array_equal(counter.matrix, whole.matrix)


@pytest.mark.parametrize("residue", ["half", "full"])
@pytest.mark.parametrize("flat_tops", ["merge", "drop"])
def test_loads_from_a_counters_sums_are_eq_loads(residue, flat_tops):
    ms = [1.0, 3.0, 3.3, 4.0, 8.0, 10.0, 12.5]
    for family in FAMILIES.values():
        x = family(3000)
        counter = RainflowCounter(m=ms, residue=residue, flat_tops=flat_tops)
        counter.feed(x)
        counter.finish()
        for neq in (1.0, 600.0, 1e7):
            expected = eq_loads(x, ms, neq, residue=residue, flat_tops=flat_tops)
            assert eq_loads_from_sums(counter.power_sums, ms, neq).tobytes() == expected.tobytes()


def test_pickled_mid_record_carries_on_and_keep_cycles_off_keeps_the_residue():
    x = quantised(5000)
    a = RainflowCounter(m=EXPONENTS, bins=BINS, gate=0.5, keep_cycles=False)
    a.feed(x[:1234])
    b = pickle.loads(pickle.dumps(a))
    for counter in (a, b):
        counter.feed(x[1234:])
    ra, rb, full = a.finish(), b.finish(), rainflow(x, gate=0.5)
    assert_same(ra, rb)
    assert a.power_sums.tobytes() == b.power_sums.tobytes() and (a.matrix == b.matrix).all()
    assert ra.residue.tolist() == full.residue.tolist() and ra.range.tolist() == full.range[full.count == 0.5].tolist()
    assert pickle.loads(pickle.dumps(b)).power_sums.tolist() == b.power_sums.tolist()


def test_a_refused_chunk_changes_nothing():
    x = walk(1000)
    counter = RainflowCounter(m=EXPONENTS)
    counter.feed(x[:500])
    bad = x[500:].copy()
    bad[300] = -np.inf
    for chunk, message in [(bad, "sample 800 is -inf"), (np.ones((2, 2)), "1-D"), (np.array(["a"]), "real")]:
        with pytest.raises((ValueError, TypeError), match=message):
            counter.feed(chunk)
    counter.feed(x[500:])
    assert_same(counter.finish(), rainflow(x))
    assert counter.power_sums.tobytes() == power_sums(x, EXPONENTS).tobytes()
    with pytest.raises(ValueError, match="finished"):
        counter.feed(x)


@pytest.mark.parametrize("convert", [lambda x: x.astype(np.int64), lambda x: x.astype(np.float32), list,
                                     lambda x: np.repeat(x, 2)[::2], lambda x: x.astype(">f8")])
def test_other_inputs_count_as_their_float64_copy(convert):
    y = convert(ties(300))
    expected = rainflow(np.array(y, dtype=np.float64))
    assert_same(rainflow(y), expected)
    counter = RainflowCounter()
    counter.feed(y)
    assert_same(counter.finish(), expected)


@pytest.mark.parametrize("x, gate, ranges, counts", [
    ([0, 5, 4.5, 6, 0], 0.0, [0.5, 6, 6], [1, 0.5, 0.5]),
    ([0, 5, 4.5, 6, 0], 1.0, [6, 6], [0.5, 0.5]),       # the reversal of 0.5 goes
    ([0, -0.5, 3, 2.8, 3.1], 1.0, [0.5, 3.6], [0.5, 0.5]),  # -0.5 passes (left by 3.6), 3 -> 2.8 goes
    ([1, 1.2, 0.9], 1.0, [0.1], [0.5]),                 # never past the gate: first to last
])
def test_gate_table(x, gate, ranges, counts):
    c = rainflow(np.array(x, dtype=float), gate=gate)
    assert c.range.tolist() == pytest.approx(ranges) and c.count.tolist() == counts


@pytest.mark.parametrize("gate", [0.5, 2.0, 10.0])
def test_gate_keeps_only_cycles_it_passes(gate):
    x = walk(20000)
    closed = rainflow(x, gate=gate)
    assert (closed.range[closed.count == 1.0] >= gate).all()
    smallest = np.abs(np.diff(x)).min()
    assert_same(rainflow(x, gate=smallest / 2), rainflow(x))


X = np.array([0.0, 2.0, 1.0, 3.0])
REFUSED = [
    (lambda: rainflow(np.array([0.0, 1, np.nan, 2])), ValueError, "sample 2 is nan"),
    (lambda: rainflow(np.array([])), ValueError, "empty"),
    (lambda: rainflow(np.float64(3)), ValueError, "0-d"),
    (lambda: rainflow(np.ones((3, 2))), ValueError, "pass a 1-D array"),
    (lambda: rainflow(np.ones(3, dtype=bool)), TypeError, "real numbers"),
    (lambda: rainflow(X, residue="halve"), ValueError, "residue must be one of"),
    (lambda: rainflow(X, flat_tops="keep"), ValueError, "flat_tops must be one of"),
    (lambda: rainflow(X, gate=-1), ValueError, "gate"),
    (lambda: rainflow(X, gate=np.nan), ValueError, "gate"),
    (lambda: eq_loads(X, [3, 0], 1e7), ValueError, "finite and > 0"),
    (lambda: eq_loads(X, np.nan, 1e7), ValueError, "finite and > 0"),
    (lambda: power_sums(X, []), ValueError, "not empty"),
    (lambda: eq_loads(X, 3, 0), ValueError, "neq"),
    (lambda: eq_loads(X, 3, np.nan), ValueError, "neq"),
    (lambda: eq_loads_from_sums([1.0, 2.0], [3], 1e7), ValueError, "one sum per exponent"),
    (lambda: eq_loads_from_sums([1.0], [3], -1), ValueError, "neq"),
    (lambda: RainflowCounter(residue="closed_max"), ValueError, "whole record"),
    (lambda: RainflowCounter(bins=([0, 1], [1, 0])), ValueError, "increasing"),
    (lambda: RainflowCounter().finish(), ValueError, "no samples"),
    (lambda: pickle.loads(pickle.dumps(RainflowCounter()))._native.restore(b"cwrf"), ValueError, "version"),
]


@pytest.mark.parametrize("call, error, message", REFUSED)
def test_refused(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_docstring_examples_run():
    for module in (counting, cycles, cyclewright_fatigue):
        assert doctest.testmod(module).failed == 0
