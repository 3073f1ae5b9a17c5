"""Time and revolutions spent at each load level: load duration and load revolution distributions."""

from __future__ import annotations

import numpy as np
from numpy.typing import ArrayLike

from ._bins import Bins
from ._checks import nonnegative_array, positive
from .range_counts import Histogram, weighted_histogram

__all__ = ["revolutions_at_level", "time_at_level"]


def time_at_level(x: ArrayLike, bins: Bins, dt: float) -> Histogram:
    """The load duration distribution: seconds the samples spend in each load bin.

    Each sample stands for ``dt`` seconds. Bins as ``np.histogram``'s (an
    int, or strictly increasing finite edges; ``[a, b)``, the last one
    closed); samples outside them, and NaN, count nowhere.

    Example:
        >>> time_at_level([0.5, 1.5, 1.5, 2.0], [0.0, 1.0, 2.0], 0.1).totals.tolist()
        [0.1, 0.30000000000000004]
    """
    step = positive("dt", dt)
    counts, edges = weighted_histogram(x, bins, None, "time_at_level")
    return Histogram(counts * step, edges)


def revolutions_at_level(load: ArrayLike, speed_rpm: ArrayLike, bins: Bins, dt: float) -> Histogram:
    """The load revolution distribution: revolutions turned in each load bin.

    Sample i adds ``speed_rpm[i] / 60 * dt`` revolutions to the bin of
    ``load[i]``; ``speed_rpm`` is one speed per sample (or one for all), in
    revolutions per minute, finite and not negative. Bins as in
    :func:`time_at_level`.

    Example:
        >>> revolutions_at_level([0.5, 1.5], [60.0, 120.0], [0.0, 1.0, 2.0], 0.5).totals.tolist()
        [0.5, 1.0]
    """
    step = positive("dt", dt)
    loads = np.asarray(load, dtype=np.float64).ravel()
    speed = nonnegative_array("speed_rpm", speed_rpm)
    if speed.size != 1 and speed.size != loads.size:
        raise ValueError(f"speed_rpm must hold one speed or one per sample ({loads.size}), got {speed.size}")
    if speed.size == 1:  # one speed: samples per bin times the turns of one sample
        counts, edges = weighted_histogram(loads, bins, None, "revolutions_at_level")
        return Histogram(counts * (float(speed.ravel()[0]) * step / 60.0), edges)
    return weighted_histogram(loads, bins, speed.ravel() * (step / 60.0), "revolutions_at_level")
