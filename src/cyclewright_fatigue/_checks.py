"""Argument checks shared by the functions on cycles: each failure is a clear ValueError."""

from __future__ import annotations

import math

import numpy as np
from numpy.typing import ArrayLike, NDArray

from .cycles import Cycles


def positive(name: str, value: float) -> float:
    """``value`` as a float, if it is finite and above zero."""
    number = float(value)
    if not (math.isfinite(number) and number > 0.0):
        raise ValueError(f"{name} must be finite and above zero, got {value!r}")
    return number


def nonnegative_array(name: str, values: ArrayLike, shape: tuple[int, ...] | None = None) -> NDArray[np.float64]:
    """``values`` as float64, if every one is finite and not below zero (and the shape is ``shape``)."""
    array = np.asarray(values, dtype=np.float64)
    if shape is not None and array.shape != shape:
        raise ValueError(f"{name} must have shape {shape}, got {array.shape}")
    if not np.all(np.isfinite(array)):
        raise ValueError(f"{name} must be finite")
    if np.any(array < 0.0):
        raise ValueError(f"{name} must not be negative")
    return array


def cycle_counts(cycles: Cycles, weights: ArrayLike | None) -> NDArray[np.float64]:
    """Each record's count (1.0 or 0.5), times its weight if there are weights."""
    if weights is None:
        return cycles.count
    return cycles.count * nonnegative_array("weights", weights, (len(cycles),))
