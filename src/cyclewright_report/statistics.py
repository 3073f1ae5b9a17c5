"""Statistics of every channel (extremes, mean, standard deviation and when
the extremes occur) and the extremes with the other channels' values at the
same sample. Computed on the samples as read, before flat tops are merged."""

from __future__ import annotations

import math
from collections.abc import Sequence
from typing import NamedTuple

import numpy as np

from .model import Channel

STATISTICS_FIELDS = ("file", "channel", "unit", "samples", "min", "max", "mean", "std",
                     "time_of_min", "time_of_max")
EXTREMES_FIELDS = ("file", "channel", "extreme", "time", "value")


class Statistics(NamedTuple):
    file: str
    channel: str
    unit: str | None
    samples: int
    min: float
    max: float
    mean: float
    std: float  # ddof 0, as NumPy's default
    time_of_min: float | None  # of the first sample that reaches it; None without a time column
    time_of_max: float | None


class Extreme(NamedTuple):
    file: str
    channel: str
    extreme: str  # "min" or "max"
    time: float | None
    value: float
    # Every channel's sample at the same index, in the order of the file's
    # channels (its statistics rows): an array, as a run may have thousands.
    context: np.ndarray


def _first_extremes(x: np.ndarray) -> tuple[int, int]:
    """Indices of the first minimum and maximum; NaN (--allow-nan) is
    passed over, as it is no value at all."""
    low, high = int(x.argmin()), int(x.argmax())
    if math.isnan(x[low]) or math.isnan(x[high]):
        low, high = int(np.nanargmin(x)), int(np.nanargmax(x))
    return low, high


def _at(time: np.ndarray | None, index: int) -> float | None:
    return None if time is None else float(time[index])


def channel_statistics(path: str, channel: Channel, time: np.ndarray | None) -> tuple[Statistics, int, int]:
    """The channel's statistics and the indices of its first minimum and maximum."""
    x = channel.samples
    low, high = _first_extremes(x)
    nan = math.isnan(mean := float(x.mean()))
    with np.errstate(over="ignore"):
        std = float(np.nanstd(x) if nan else x.std())
        if nan:
            mean = float(np.nanmean(x))
    if math.isinf(std):  # squares of loads near the largest double overflow: scale them first
        top = max(abs(x[low]), abs(x[high]))
        std = float(top * (np.nanstd(x / top) if nan else (x / top).std()))
    row = Statistics(path, channel.name, channel.unit, x.size, float(x[low]), float(x[high]), mean, std,
                     _at(time, low), _at(time, high))
    return row, low, high


def file_statistics(path: str, channels: Sequence[Channel], time: np.ndarray | None,
                    context: bool) -> tuple[list[Statistics], list[Extreme]]:
    """Statistics per channel and, with context, its minimum and maximum
    with every channel's value at the same sample."""
    rows, extremes = [], []
    for channel in channels:
        row, low, high = channel_statistics(path, channel, time)
        rows.append(row)
        if context:
            for kind, index, value in (("min", low, row.min), ("max", high, row.max)):
                values = np.array([c.samples[index] for c in channels], dtype=np.float64)
                extremes.append(Extreme(path, channel.name, kind, _at(time, index), value, values))
    return rows, extremes
