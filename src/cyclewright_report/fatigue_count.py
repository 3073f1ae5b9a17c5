"""A channel's counts through cyclewright_fatigue: one count gives the
equivalent loads of every exponent and, when damage or a matrix is asked
for, the cycles and their matrix too; the closed column is one more.

The loads are the module's bit for bit: the library counts the merged
signal under the module's own rule for equal neighbours ("drop") and sums
and roots with the module's power function (eq_loads_from_sums roots a
counter's sums as eq_loads does)."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any, Literal, NamedTuple

import numpy as np

from .counting import closed_signal, equivalent_loads
from .model import Options

# The library takes neq as a double; above 2**53 it could round, so the
# module, which takes the integer, counts such runs.
EXACT_NEQ = 2**53


class ChannelCount(NamedTuple):
    loads: list[tuple[float, float, float]]  # (m, load, load closed at the maximum)
    cycles: Any  # cyclewright_fatigue.Cycles, when asked for
    matrix: tuple[np.ndarray, np.ndarray, np.ndarray] | None  # counts, range edges, mean edges


def rotated_at_max(samples: np.ndarray) -> np.ndarray:
    """The samples from their last maximum on, then those before it, then
    that maximum again: the signal the module closes at its maximum."""
    last = samples.size - 1 - int(np.argmax(samples[::-1]))
    return np.concatenate([samples[last:], samples[:last], samples[last:last + 1]])


def _residue(options: Options) -> Literal["half", "full"]:
    return "half" if options.half else "full"


def _closed_loads(counted: np.ndarray, m: np.ndarray, options: Options) -> np.ndarray:
    from cyclewright_fatigue import eq_loads

    closing = closed_signal(counted, options)
    if options.half:
        return eq_loads(closing, m, options.neq, residue="closed_max", flat_tops="drop")
    # the library closes with half residue cycles only: close it here
    return eq_loads(rotated_at_max(closing), m, options.neq, residue="full", flat_tops="drop")


def count_channel(counted: np.ndarray, exponents: Sequence[float], options: Options, *,
                  cycles: bool = False, bins: tuple[np.ndarray, np.ndarray] | None = None) -> ChannelCount:
    """The counts of `counted`, the samples as counted (merged unless
    --keep-plateaus). `cycles`: keep the records (for damage); `bins`:
    (range edges, mean edges) of a matrix. A signal with NaN (--allow-nan),
    which the library refuses, gets the module's loads and no cycles."""
    if (options.allow_nan and np.isnan(counted).any()) or options.neq > EXACT_NEQ:
        return ChannelCount(equivalent_loads(counted, options, exponents), None, None)
    from cyclewright_fatigue import RainflowCounter, eq_loads, eq_loads_from_sums

    m = np.asarray(exponents, dtype=np.float64)
    records = matrix = None
    if not cycles and bins is None:
        plain = eq_loads(counted, m, options.neq, residue=_residue(options), flat_tops="drop")
    else:  # one count for the loads, the cycles and the matrix
        counter = RainflowCounter(residue=_residue(options), flat_tops="drop", m=m, bins=bins,
                                  keep_cycles=cycles)
        counter.feed(counted)
        finished = counter.finish()
        records = finished if cycles else None
        counts, sums = counter.matrix, counter.power_sums
        assert sums is not None  # the counter was given exponents
        plain = eq_loads_from_sums(sums, m, options.neq)
        matrix = None if bins is None or counts is None else (counts, bins[0], bins[1])
    closed = _closed_loads(counted, m, options)
    loads = [(float(e), float(p), float(c)) for e, p, c in zip(m, plain, closed, strict=True)]
    return ChannelCount(loads, records, matrix)
