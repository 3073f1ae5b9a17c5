"""The result of a rainflow count: one record per cycle or half cycle, as arrays."""

from __future__ import annotations

from dataclasses import dataclass

import numpy as np
from numpy.typing import NDArray

__all__ = ["Cycles"]


@dataclass(frozen=True, eq=False)
class Cycles:
    """Cycles and half cycles of a rainflow count, one entry per record.

    Records come in the order they close, then the residue's half cycles (or
    full cycles, with ``residue="full"``). Every array has the same length.

    Attributes:
        range: ``abs(end_value - start_value)``, in the unit of the samples.
            A range, not an amplitude (the amplitude is half of it).
        mean: ``(start_value + end_value) / 2``, in the unit of the samples.
        count: 1.0 for a full cycle, 0.5 for a half cycle.
        start, end: indices into the signal as given (int64): the samples
            where the record starts and ends, ``start < end`` for every cycle
            of an unrotated count.
        start_value, end_value: the samples at ``start`` and ``end``; their
            order gives the direction a from-to matrix needs.
        residue: the values left unclosed at the end of the count (the
            turning points that form the residue), in time order.
        residue_index: their indices into the signal (int64).

    Example:
        >>> import numpy as np
        >>> from cyclewright_fatigue import rainflow
        >>> c = rainflow(np.array([0.0, 2.0, 1.0, 3.0, 0.0]))
        >>> c.range.tolist(), c.count.tolist()
        ([1.0, 3.0, 3.0], [1.0, 0.5, 0.5])
    """

    range: NDArray[np.float64]
    mean: NDArray[np.float64]
    count: NDArray[np.float64]
    start: NDArray[np.int64]
    end: NDArray[np.int64]
    start_value: NDArray[np.float64]
    end_value: NDArray[np.float64]
    residue: NDArray[np.float64]
    residue_index: NDArray[np.int64]

    def __len__(self) -> int:
        return int(self.range.shape[0])

    @property
    def amplitude(self) -> NDArray[np.float64]:
        """Half of each range, in the unit of the samples."""
        return self.range / 2.0

    @property
    def full_cycles(self) -> float:
        """The number of full cycles the records stand for (half cycles count 0.5)."""
        return float(self.count.sum())
