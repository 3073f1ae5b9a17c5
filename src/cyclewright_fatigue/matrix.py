"""Rainflow matrices: cycles counted in two-dimensional bins, range-mean or from-to."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Literal, NamedTuple, cast

import numpy as np
from numpy.typing import ArrayLike, NDArray

from ._bins import Bins, bin_edges, bin_index
from ._checks import cycle_counts
from .cycles import Cycles

__all__ = ["RainflowMatrix", "rainflow_matrix"]


class RainflowMatrix(NamedTuple):
    """A rainflow matrix and its bin edges; unpacks as ``matrix, row_edges, column_edges``."""

    matrix: NDArray[np.float64]
    row_edges: NDArray[np.float64]
    column_edges: NDArray[np.float64]


def _axis_bins(bins: object) -> tuple[Bins, Bins]:
    # As np.histogram2d: a sequence of two gives each axis its own bins, anything else serves both.
    if (isinstance(bins, (tuple, list)) or (isinstance(bins, np.ndarray) and bins.ndim >= 1)) and len(bins) == 2:
        pair = cast("Sequence[Bins]", bins)
        return pair[0], pair[1]
    return cast(Bins, bins), cast(Bins, bins)


def rainflow_matrix(
    cycles: Cycles,
    bins: Bins | tuple[Bins, Bins],
    *,
    kind: Literal["range_mean", "from_to"] = "range_mean",
    weights: ArrayLike | None = None,
) -> RainflowMatrix:
    """Cycles counted in two-dimensional bins, each record weighted by its count.

    ``kind="range_mean"``: rows are ranges, columns means. ``kind="from_to"``:
    rows are ``start_value``, columns ``end_value`` (so a rising half cycle
    lands above the diagonal). Each record adds ``count`` (1.0 for a full
    cycle, 0.5 for a half cycle), times ``weights`` when given (one finite,
    non-negative weight per record).

    ``bins`` is as for ``np.histogram2d``: an int (that many equal bins over
    the values' range), an array of edges, or a pair of either, one per axis.
    Bins are ``[a, b)``, the last one closed; records outside the edges (or
    NaN) are left out. Edges must be finite and strictly increasing.

    Example:
        >>> import numpy as np
        >>> from cyclewright_fatigue import rainflow, rainflow_matrix
        >>> c = rainflow(np.array([0.0, 2.0, 1.0, 3.0, 0.0]))  # ranges 1, 3, 3; counts 1, 0.5, 0.5
        >>> rainflow_matrix(c, (np.arange(0.0, 5.0), [0.0, 2.0, 4.0])).matrix.tolist()
        [[0.0, 0.0], [1.0, 0.0], [0.0, 0.0], [1.0, 0.0]]
    """
    counts = cycle_counts(cycles, weights)
    if kind == "range_mean":
        rows, columns = cycles.range, cycles.mean
    elif kind == "from_to":
        rows, columns = cycles.start_value, cycles.end_value
    else:
        raise ValueError(f"kind must be 'range_mean' or 'from_to', got {kind!r}")
    row_bins, column_bins = _axis_bins(bins)
    row_edges, row_equal = bin_edges(rows, row_bins, "rows")
    column_edges, column_equal = bin_edges(columns, column_bins, "columns")
    n_rows, n_columns = row_edges.size - 1, column_edges.size - 1
    # Records in no bin go to an extra row or column, cut off at the end:
    # cheaper than selecting the others.
    flat = bin_index(rows, row_edges, row_equal) * (n_columns + 1)
    flat += bin_index(columns, column_edges, column_equal)
    totals = np.bincount(flat, weights=counts, minlength=(n_rows + 1) * (n_columns + 1))
    matrix = totals.reshape(n_rows + 1, n_columns + 1)[:n_rows, :n_columns].astype(np.float64)
    return RainflowMatrix(matrix, row_edges, column_edges)
