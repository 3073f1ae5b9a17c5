"""Rainflow counting on NumPy arrays: the cycle records of a signal, its power
sums and damage-equivalent loads for many exponents from one count, and a
counter fed in chunks. The loops run in the compiled extension (_native)."""

from __future__ import annotations

from typing import Any, Literal

import numpy as np
from numpy.typing import ArrayLike, NDArray

from . import _native
from .cycles import Cycles

__all__ = ["RainflowCounter", "eq_loads", "eq_loads_from_sums", "power_sums", "rainflow"]

Residue = Literal["half", "full", "closed_max", "discard"]
StreamResidue = Literal["half", "full", "discard"]
FlatTops = Literal["merge", "drop"]


def _samples(x: ArrayLike, name: str = "x", *, allow_empty: bool = False) -> NDArray[np.float64]:
    """x as a 1-D C-ordered float64 array, converted (or copied) only when it
    is not one already."""
    a = np.asarray(x)
    if a.dtype.kind not in "fiu":
        raise TypeError(f"{name} must hold real numbers (float or integer), not {a.dtype}")
    if a.ndim != 1:
        shape = "a 0-d scalar" if a.ndim == 0 else f"an array of {a.ndim} dimensions, shape {a.shape}"
        raise ValueError(f"{name} is {shape}: pass a 1-D array of samples (one channel, e.g. table[:, j])")
    if a.size == 0 and not allow_empty:
        raise ValueError(f"{name} is empty: a count needs at least one sample")
    return np.ascontiguousarray(a, dtype=np.float64)


def _exponents(m: ArrayLike) -> NDArray[np.float64]:
    e = np.atleast_1d(np.asarray(m))
    if e.dtype.kind not in "fiu":
        raise TypeError(f"m must hold real numbers, not {e.dtype}")
    if e.ndim != 1 or e.size == 0:
        raise ValueError("m must be one exponent or a 1-D sequence of them, not empty")
    e = np.ascontiguousarray(e, dtype=np.float64)
    if not (np.all(np.isfinite(e)) and np.all(e > 0)):
        raise ValueError(f"every Wöhler exponent m must be finite and > 0, got {e.tolist()}")
    return e


def _edges(edges: ArrayLike, name: str) -> NDArray[np.float64]:
    e = np.asarray(edges)
    if e.dtype.kind not in "fiu" or e.ndim != 1:
        raise ValueError(f"{name} must be a 1-D array of numbers")
    return np.ascontiguousarray(e, dtype=np.float64)


def _cycles(records: tuple[Any, ...]) -> Cycles:
    return Cycles(*records)


def rainflow(x: ArrayLike, *, residue: Residue = "half", flat_tops: FlatTops = "merge",
             gate: float = 0.0) -> Cycles:
    """The cycles and half cycles of a four-point rainflow count of `x`.

    One record per closed cycle (count 1.0) in the order they close, then one
    per neighbouring pair of the residue, the values never closed. Ranges and
    means are in the unit of the samples; a range is the full swing, twice
    the amplitude.

    Args:
        x: the samples, 1-D, in time order; integers and other float types
            are converted once to float64, non-contiguous arrays copied. NaN
            or infinite samples raise ValueError naming the first one's index.
        residue: "half", each residue pair a half cycle (count 0.5); "full",
            a full cycle (count 1.0); "discard", no records; "closed_max",
            the signal closed at its maximum (rotated to start at its last
            maximum and ended by it once more), so that the largest swing
            closes as a full cycle and the rest of the residue counts half;
            start and end then index `x` at the rotated samples' positions.
        flat_tops: "merge" takes a run of equal samples as one turning point
            (its first sample); "drop" never takes a sample equal to a
            neighbour as a turning point (the rule of the module cyclewright).
        gate: reversals smaller than the gate (in the unit of the samples)
            are dropped before counting; the samples are not quantised. 0
            keeps every reversal.

    Example:
        >>> import numpy as np
        >>> c = rainflow(np.array([0.0, 2.0, 1.0, 3.0, 0.0]))
        >>> c.range.tolist(), c.mean.tolist(), c.count.tolist()
        ([1.0, 3.0, 3.0], [1.5, 1.5, 1.5], [1.0, 0.5, 0.5])
        >>> c.start.tolist(), c.end.tolist()
        ([1, 0, 3], [2, 3, 4])
    """
    return _cycles(_native.rainflow(_samples(x), residue, flat_tops, float(gate)))


def power_sums(x: ArrayLike, m: ArrayLike, *, residue: Residue = "half",
               flat_tops: FlatTops = "merge") -> NDArray[np.float64]:
    """For each Wöhler exponent in `m`, S = the sum of range**m over the half
    cycles of one rainflow count of `x`: a full cycle adds its term twice, a
    residue half cycle once ("full": twice; "discard": not at all). In the
    unit of the samples to the power m. Summed in the order of the records,
    with the module cyclewright's power function, so that
    ``(S / (2 * neq)) ** (1 / m)`` is its equivalent load.

    `x`, `residue` and `flat_tops` as for rainflow(); `m` one exponent or a
    1-D sequence of them, each finite and > 0.

    Example:
        >>> import numpy as np
        >>> power_sums(np.array([0.0, 2.0, 1.0, 3.0, 0.0]), [1, 2]).tolist()
        [8.0, 20.0]
    """
    return _native.power_sums(_samples(x), _exponents(m), residue, flat_tops)


def eq_loads(x: ArrayLike, m: ArrayLike, neq: float, *, residue: Residue = "half",
             flat_tops: FlatTops = "merge") -> NDArray[np.float64]:
    """Damage-equivalent loads of `x`, one per Wöhler exponent in `m`, all
    from one rainflow count: the range R whose `neq` full cycles give the
    power sum S of the count, R = (S / (2 * neq)) ** (1 / m) (see
    power_sums()), in the unit of the samples.

    With flat_tops="drop" each load equals, bit for bit, the module
    cyclewright's ``eq_load_python(x, m, neq, half)`` (residue "half":
    half=True, "full": half=False) or, for "closed_max",
    ``eq_load_max_half_cycle_closed_python(x, m, neq, True)``; with "merge",
    the same of the signal with each run of equal samples merged into one.

    Args:
        m: one exponent or a 1-D sequence of them, each finite and > 0.
        neq: the number of equivalent full cycles, > 0 (1e7 is fine).

    Example:
        >>> import numpy as np
        >>> x = np.array([1, 3, 2, 5, -1, 0, 4, -2, 2, 0])
        >>> eq_loads(x, [3, 4], 10).round(6).tolist()
        [3.318658, 3.802442]
    """
    return _native.eq_loads(_samples(x), _exponents(m), _neq(neq), residue, flat_tops)


def _neq(neq: float) -> float:
    neq = float(neq)
    if not (np.isfinite(neq) and neq > 0):
        raise ValueError(f"neq must be a finite number > 0, got {neq}")
    return neq


def eq_loads_from_sums(power_sums: ArrayLike, m: ArrayLike, neq: float) -> NDArray[np.float64]:
    """Damage-equivalent loads from power sums already counted, e.g. a
    RainflowCounter's: R = (S / (2 * neq)) ** (1 / m) per exponent, in the
    unit of the counted samples. Rooted as eq_loads() roots (the module
    cyclewright's power function, which Python's ** can miss by one ulp), so
    that the sums of a counter fed `x` give eq_loads(x, m, neq) bit for bit
    with the same residue and flat_tops.

    Args:
        power_sums: one sum per exponent (unit of the samples to the power m).
        m: the exponents of the sums, each finite and > 0.
        neq: the number of equivalent full cycles, > 0.

    Example:
        >>> import numpy as np
        >>> counter = RainflowCounter(m=[3, 4])
        >>> counter.feed(np.array([1, 3, 2, 5, -1, 0, 4, -2, 2, 0]))
        >>> _ = counter.finish()
        >>> eq_loads_from_sums(counter.power_sums, [3, 4], 10).round(6).tolist()
        [3.318658, 3.802442]
    """
    e = _exponents(m)
    sums = np.ascontiguousarray(np.atleast_1d(np.asarray(power_sums)), dtype=np.float64)
    if sums.shape != e.shape:
        raise ValueError(f"power_sums has shape {sums.shape}, m has {e.shape}: pass one sum per exponent")
    return _native.eq_loads_from_sums(sums, e, _neq(neq))


class RainflowCounter:
    """A rainflow count fed in chunks: any chunking gives the cycles of one
    rainflow() call on the whole record, in the same order, and the same
    power sums bit for bit.

    Args:
        residue: "half", "full" or "discard" as for rainflow() ("closed_max"
            needs the whole record: use rainflow()).
        flat_tops, gate: as for rainflow().
        m: Wöhler exponents whose power sums are kept running (property
            power_sums), or None.
        bins: (range_edges, mean_edges) for a running range-mean matrix
            (property matrix): increasing edges, bins [a, b) with the last
            one closed, cycles outside every bin left out, weighted by
            count; or None.
        keep_cycles: False keeps no closed cycle (they go into the sums and
            the matrix only), so that memory stays bounded by the residue;
            finish() then returns the residue's records alone.

    The counter pickles with its whole state, mid-record too, so that another
    process or a Dask task can carry on feeding it.

    Example:
        >>> import numpy as np
        >>> counter = RainflowCounter(m=[4.0])
        >>> for chunk in np.array_split(np.array([0.0, 2.0, 1.0, 3.0, 0.0]), 3):
        ...     counter.feed(chunk)
        >>> counter.finish().range.tolist(), counter.power_sums.tolist()
        ([1.0, 3.0, 3.0], [164.0])
    """

    __slots__ = ("_native",)

    def __init__(self, *, residue: StreamResidue = "half", flat_tops: FlatTops = "merge",
                 gate: float = 0.0, m: ArrayLike | None = None,
                 bins: tuple[ArrayLike, ArrayLike] | None = None, keep_cycles: bool = True) -> None:
        exponents = None if m is None else _exponents(m)
        range_edges = mean_edges = None
        if bins is not None:
            if len(bins) != 2:
                raise ValueError("bins must be (range_edges, mean_edges)")
            range_edges, mean_edges = _edges(bins[0], "range_edges"), _edges(bins[1], "mean_edges")
        self._native = _native.Counter(residue, flat_tops, float(gate), exponents, range_edges, mean_edges,
                                       bool(keep_cycles))

    def feed(self, chunk: ArrayLike) -> None:
        """Counts the next samples of the record (1-D; converted as for
        rainflow(); an empty chunk counts nothing). A NaN or infinite sample
        raises ValueError naming its index in the whole record, and the
        counter stays as it was."""
        try:
            self._native.feed(chunk)  # type: ignore[arg-type]  # a 1-D float64 array goes straight in
        except TypeError:
            self._native.feed(_samples(chunk, "chunk", allow_empty=True))

    def finish(self) -> Cycles:
        """Ends the record and returns its records, as rainflow() would (only
        the residue's with keep_cycles=False). The counter then answers
        power_sums and matrix only."""
        return _cycles(self._native.finish())

    @property
    def samples(self) -> int:
        """How many samples were fed."""
        return self._native.samples

    @property
    def power_sums(self) -> NDArray[np.float64] | None:
        """Per exponent, the power sum of the cycles closed so far (and of
        the residue, once finished); None without m."""
        return self._native.power_sums

    @property
    def matrix(self) -> NDArray[np.float64] | None:
        """Counts per (range bin, mean bin) of the cycles so far (with the
        residue once finished), shape (len(range_edges) - 1,
        len(mean_edges) - 1); None without bins."""
        return self._native.matrix

    def __reduce__(self) -> tuple[Any, tuple[bytes]]:
        return _restored, (self._native.save(),)


def _restored(state: bytes) -> RainflowCounter:
    counter = RainflowCounter.__new__(RainflowCounter)
    counter._native = _native.Counter.restore(state)
    return counter
