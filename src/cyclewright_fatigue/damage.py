"""Palmgren-Miner damage of counted cycles on an S-N curve, in total and against time."""

from __future__ import annotations

import operator

import numpy as np
from numpy.typing import ArrayLike, NDArray

from ._checks import cycle_counts, positive
from .cycles import Cycles
from .sn_curve import SNCurve

__all__ = ["cycle_damage", "damage", "damage_history"]


def cycle_damage(
    cycles: Cycles, curve: SNCurve, *, weights: ArrayLike | None = None, scale: float = 1.0
) -> NDArray[np.float64]:
    """Each record's damage, ``count * weight / N(S)``.

    ``S`` is ``range * scale`` for a curve of ranges and ``range / 2 * scale``
    for a curve of amplitudes; ``scale`` is the stress per unit of the
    counted signal (1.0 when the signal is a stress in the curve's unit).
    """
    factor = positive("scale", scale) * (1.0 if curve.quantity == "range" else 0.5)
    counts = cycle_counts(cycles, weights)
    return counts * curve.inverse_life(cycles.range * factor)


def damage(cycles: Cycles, curve: SNCurve, *, weights: ArrayLike | None = None, scale: float = 1.0) -> float:
    """The Palmgren-Miner sum: ``sum(count * weight / N(S))`` over the records.

    Half cycles count half (``count`` 0.5). ``S`` is the range times
    ``scale`` on a curve of ranges, half of it on a curve of amplitudes; a
    record below the curve's endurance adds nothing. Failure is expected
    near a sum of 1.

    Example:
        >>> import numpy as np
        >>> from cyclewright_fatigue import SNCurve, damage, rainflow
        >>> c = rainflow(np.array([0.0, 200.0, 100.0, 300.0, 0.0]))  # ranges 100, 300, 300 MPa
        >>> f"{damage(c, SNCurve.dnv_c203('D', 'air')):.4g}"  # (100**3 + 300**3) / 10**12.164
        '1.919e-05'
    """
    return float(np.sum(cycle_damage(cycles, curve, weights=weights, scale=scale)))


def damage_history(
    cycles: Cycles,
    curve: SNCurve,
    n_samples: int,
    *,
    weights: ArrayLike | None = None,
    scale: float = 1.0,
) -> NDArray[np.float64]:
    """The damage accumulated up to each sample: an array of ``n_samples``.

    Each record's damage (as in :func:`damage`) is counted at its ``end``,
    the sample where it closes, so ``history[-1] == damage(...)`` and
    ``history[i]`` holds every record that ended at or before sample ``i``.
    ``n_samples`` is the length of the counted signal; an ``end`` beyond it
    is an error.
    """
    n = operator.index(n_samples)
    if n < 0:
        raise ValueError(f"n_samples must not be negative, got {n}")
    if len(cycles) and (int(cycles.end.min()) < 0 or int(cycles.end.max()) >= n):
        raise ValueError(f"every record must end at a sample from 0 to n_samples - 1 = {n - 1}")
    per_record = cycle_damage(cycles, curve, weights=weights, scale=scale)
    return np.cumsum(np.bincount(cycles.end, weights=per_record, minlength=n)).astype(np.float64)
