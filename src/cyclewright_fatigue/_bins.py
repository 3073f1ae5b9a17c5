"""Bin edges and bin indices, shared by the matrices, histograms and level distributions.

Bins follow ``np.histogram``: each bin is ``[a, b)``, the last one ``[a, b]``;
a value outside the edges, or NaN, falls in no bin. An int asks for that many
equal bins over the finite values' range (``(v - 0.5, v + 0.5)`` when they
are all ``v``, ``(0, 1)`` when there is none), as ``np.histogram`` makes them.
"""

from __future__ import annotations

import operator
from typing import Union

import numpy as np
from numpy.typing import ArrayLike, NDArray

Bins = Union[int, ArrayLike]

FloatArray = NDArray[np.float64]
IndexArray = NDArray[np.intp]


def bin_edges(values: FloatArray, bins: Bins, what: str) -> tuple[FloatArray, bool]:
    """The edges for ``values``, and whether they are equal bins made from an int."""
    if isinstance(bins, (int, np.integer)) and not isinstance(bins, (bool, np.bool_)):
        n = operator.index(bins)
        if n < 1:
            raise ValueError(f"{what}: the number of bins must be at least 1, got {n}")
        finite = values[np.isfinite(values)]
        lo, hi = (float(finite.min()), float(finite.max())) if finite.size else (0.0, 1.0)
        if lo == hi:
            lo, hi = lo - 0.5, hi + 0.5
        return np.linspace(lo, hi, n + 1), True
    edges = np.asarray(bins, dtype=np.float64)
    if edges.ndim != 1 or edges.size < 2:
        raise ValueError(f"{what}: bin edges must be a 1-D array of at least two values, got shape {edges.shape}")
    if not np.all(np.isfinite(edges)):
        raise ValueError(f"{what}: bin edges must be finite")
    if not np.all(edges[1:] > edges[:-1]):
        raise ValueError(f"{what}: bin edges must be strictly increasing")
    return edges, False


# Past this many cells of the lookup grid, a binary search is the cheaper road.
_MAX_CELLS = 1 << 16


def bin_index(values: FloatArray, edges: FloatArray, equal: bool) -> IndexArray:
    """Each value's bin, or ``len(edges) - 1`` (one past the last bin) for a value in none."""
    n = edges.size - 1
    lo, hi = float(edges[0]), float(edges[-1])
    span = hi - lo
    inside = (values >= lo) & (values <= hi)  # False for NaN
    cells = n
    if not equal and np.isfinite(span):
        # A grid of equal cells at most half the narrowest bin wide holds at
        # most one edge per cell, so a cell's bin is its left end's or the next.
        cells_needed = 2.0 * np.ceil(span / float(np.min(np.diff(edges))))
        cells = int(cells_needed) if cells_needed <= _MAX_CELLS else 0
    if cells == 0 or not np.isfinite(span):
        index = np.searchsorted(edges, values, side="right") - 1
        np.minimum(index, n - 1, out=index)  # the last edge closes the last bin
        index[~inside] = n
        return index
    table = None
    if not equal:
        left = lo + span * (np.arange(cells) / cells)
        table = np.minimum(np.searchsorted(edges, left, side="right") - 1, n - 1)
    # Arithmetic instead of a search; its rounding may put a value one cell
    # off near a cell's border, so the edges themselves decide.
    position = (values - lo) * (cells / span)
    np.copyto(position, 0.0, where=~inside)
    index = position.astype(np.intp)
    np.minimum(index, cells - 1, out=index)
    if table is not None:
        index = table[index]
    index -= values < edges[index]
    index += (values >= edges[index + 1]) & (index != n - 1)
    index[~inside] = n
    return index
