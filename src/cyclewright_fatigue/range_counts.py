"""One-dimensional load spectra of cycles: the range histogram and the exceedance spectrum."""

from __future__ import annotations

from typing import NamedTuple

import numpy as np
from numpy.typing import ArrayLike, NDArray

from ._bins import Bins, bin_edges, bin_index
from ._checks import cycle_counts
from .cycles import Cycles

__all__ = ["Exceedance", "Histogram", "range_exceedance", "range_histogram", "weighted_histogram"]


class Histogram(NamedTuple):
    """Totals per bin and the bins' edges; unpacks as ``totals, edges``."""

    totals: NDArray[np.float64]
    edges: NDArray[np.float64]


class Exceedance(NamedTuple):
    """A cumulative spectrum; unpacks as ``levels, counts``.

    ``counts[i]`` is the number of cycles whose range is at least ``levels[i]``;
    levels are the distinct ranges, from the largest down.
    """

    levels: NDArray[np.float64]
    counts: NDArray[np.float64]


def weighted_histogram(values: ArrayLike, bins: Bins, weights: NDArray[np.float64] | None, what: str) -> Histogram:
    """Totals of ``weights`` (or 1 per value) in the bins of ``values``, bins as ``np.histogram``'s."""
    array = np.asarray(values, dtype=np.float64).ravel()
    edges, equal = bin_edges(array, bins, what)
    index = bin_index(array, edges, equal)
    totals = np.bincount(index, weights=weights, minlength=edges.size)[:-1].astype(np.float64)
    return Histogram(totals, edges)


def range_histogram(cycles: Cycles, bins: Bins, *, weights: ArrayLike | None = None) -> Histogram:
    """Cycles per range bin, each record counting ``count`` (times ``weights``).

    Bins as ``np.histogram``'s: an int (equal bins over the ranges) or
    strictly increasing finite edges; ``[a, b)``, the last one closed.

    Example:
        >>> import numpy as np
        >>> from cyclewright_fatigue import rainflow, range_histogram
        >>> range_histogram(rainflow(np.array([0.0, 2.0, 1.0, 3.0, 0.0])), [0.0, 2.0, 4.0]).totals.tolist()
        [1.0, 1.0]
    """
    return weighted_histogram(cycles.range, bins, cycle_counts(cycles, weights), "range_histogram")


def range_exceedance(cycles: Cycles, *, weights: ArrayLike | None = None) -> Exceedance:
    """The cumulative range spectrum: cycles with a range at least each level.

    Each record counts ``count`` (1.0 or 0.5), times ``weights`` when given;
    NaN ranges are left out. Drawn as steps (``plt.step(counts, levels,
    where="post")`` on a log count axis) it is the usual load spectrum.

    Example:
        >>> import numpy as np
        >>> from cyclewright_fatigue import rainflow, range_exceedance
        >>> levels, counts = range_exceedance(rainflow(np.array([0.0, 2.0, 1.0, 3.0, 0.0])))
        >>> levels.tolist(), counts.tolist()
        ([3.0, 1.0], [1.0, 2.0])
    """
    counts = cycle_counts(cycles, weights)
    keep = ~np.isnan(cycles.range)
    ranges, counts = cycles.range[keep], counts[keep]
    order = np.argsort(-ranges, kind="stable")
    ranges, cumulative = ranges[order], np.cumsum(counts[order])
    # Equal ranges make one level, which counts them all.
    last_of_level = np.r_[ranges[1:] != ranges[:-1], True] if ranges.size else np.zeros(0, dtype=bool)
    return Exceedance(ranges[last_of_level], cumulative[last_of_level])
