"""A channel's counts through cyclewright_fatigue: the equivalent loads of
every exponent from one count (another for the closed column), and, when
damage or a matrix is asked for, the cycles and their matrix from one more.

The loads are the module's bit for bit: the library counts the merged
signal under the module's own rule for equal neighbours ("drop") and sums
and roots with the module's power function. The cycles come from the same
signal under the same rule."""

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


def _loads(counted: np.ndarray, exponents: Sequence[float], options: Options) -> list[tuple[float, float, float]]:
    from cyclewright_fatigue import eq_loads

    m = np.asarray(exponents, dtype=np.float64)
    residue: Literal["half", "full"] = "half" if options.half else "full"
    plain = eq_loads(counted, m, options.neq, residue=residue, flat_tops="drop")
    closing = closed_signal(counted, options)
    if options.half:
        closed = eq_loads(closing, m, options.neq, residue="closed_max", flat_tops="drop")
    else:  # the library closes with half residue cycles only: close it here
        closed = eq_loads(rotated_at_max(closing), m, options.neq, residue="full", flat_tops="drop")
    return [(float(e), float(p), float(c)) for e, p, c in zip(m, plain, closed, strict=True)]


def count_channel(counted: np.ndarray, exponents: Sequence[float], options: Options, *,
                  cycles: bool = False, bins: tuple[np.ndarray, np.ndarray] | None = None) -> ChannelCount:
    """The counts of `counted`, the samples as counted (merged unless
    --keep-plateaus). `cycles`: keep the records (for damage); `bins`:
    (range edges, mean edges) of a matrix. A signal with NaN (--allow-nan),
    which the library refuses, gets the module's loads and no cycles."""
    if (options.allow_nan and np.isnan(counted).any()) or options.neq > EXACT_NEQ:
        return ChannelCount(equivalent_loads(counted, options, exponents), None, None)
    loads = _loads(counted, exponents, options)
    if not cycles and bins is None:
        return ChannelCount(loads, None, None)
    from cyclewright_fatigue import RainflowCounter

    counter = RainflowCounter(residue="half" if options.half else "full", flat_tops="drop", bins=bins,
                              keep_cycles=cycles)
    counter.feed(counted)
    records = counter.finish()
    counts = counter.matrix
    matrix = None if bins is None or counts is None else (counts, bins[0], bins[1])
    return ChannelCount(loads, records if cycles else None, matrix)
