"""Hours per file from a wind climate: each file stands for one wind-speed
bin, and the bin's probability (a Weibull or Rayleigh distribution of the
mean wind speed) times the hours of the life, shared by the bin's files."""

from __future__ import annotations

import dataclasses
import math
from collections.abc import Sequence

import numpy as np

from .model import ReportError

HOURS_PER_YEAR = 8766.0  # 365.25 days


@dataclasses.dataclass(frozen=True)
class Climate:
    """A Weibull distribution of wind speeds (Rayleigh: k = 2)."""
    k: float
    a: float  # scale, m/s
    text: str  # as given

    def cdf(self, v: np.ndarray) -> np.ndarray:
        return -np.expm1(-(np.maximum(v, 0.0) / self.a) ** self.k)


@dataclasses.dataclass(frozen=True)
class Bins:
    start: float
    stop: float
    width: float

    def lows(self) -> np.ndarray:
        """The bins' lower edges: start, start + width, ... below stop."""
        count = math.ceil((self.stop - self.start) / self.width - 1e-9)
        return self.start + self.width * np.arange(count)


def _positive(text: str, what: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise ValueError(f"{what}: {text!r} is not a number") from None
    if not (math.isfinite(value) and value > 0):
        raise ValueError(f"{what} must be above zero, not {text}")
    return value


def parse_climate(text: str) -> Climate:
    """weibull:k=K,A=A or rayleigh:mean=V (m/s)."""
    kind, _, rest = text.partition(":")
    fields = {}
    for item in filter(None, (part.strip() for part in rest.split(","))):
        key, equals, value = item.partition("=")
        if not equals:
            raise ValueError(f"{text}: {item!r} is not KEY=VALUE")
        fields[key.strip().lower()] = value.strip()
    kind = kind.strip().lower()
    if kind == "weibull" and set(fields) == {"k", "a"}:
        return Climate(_positive(fields["k"], "k"), _positive(fields["a"], "A"), text)
    if kind == "rayleigh" and set(fields) == {"mean"}:
        mean = _positive(fields["mean"], "mean")
        return Climate(2.0, 2.0 * mean / math.sqrt(math.pi), text)
    raise ValueError(f"{text}: write weibull:k=K,A=A or rayleigh:mean=V (m/s)")


def parse_bins(text: str) -> Bins:
    """START:STOP:WIDTH in m/s."""
    parts = text.split(":")
    if len(parts) != 3:
        raise ValueError(f"{text}: write START:STOP:WIDTH in m/s, e.g. 3:25:2")
    try:
        start, stop, width = (float(p) for p in parts)
    except ValueError:
        raise ValueError(f"{text}: START, STOP and WIDTH must be numbers") from None
    if not (math.isfinite(start) and math.isfinite(stop) and start >= 0 and width > 0 and stop > start):
        raise ValueError(f"{text}: needs 0 <= START < STOP and WIDTH > 0")
    return Bins(start, stop, width)


def bin_hours(speeds: Sequence[float], paths: Sequence[str], climate: Climate, bins: Bins,
              years: float, availability: float) -> tuple[list[float], str]:
    """Each file's hours, and the line that states the weighting. A file
    whose speed lies in no bin is an error naming it."""
    lows = bins.lows()
    edges = np.append(lows, lows[-1] + bins.width)
    v = np.asarray(speeds, dtype=np.float64)
    index = np.searchsorted(edges, v, side="right") - 1
    outside = [p for p, i in zip(paths, index, strict=True) if not 0 <= i < lows.size]
    if outside:
        raise ReportError(f"no wind-speed bin of {bins.start:g}:{bins.stop:g}:{bins.width:g} holds "
                          f"{', '.join(outside)} (--wind-bins)")
    probability = np.diff(climate.cdf(edges))
    files_per_bin = np.bincount(index, minlength=lows.size)
    life = years * HOURS_PER_YEAR * availability
    hours = [float(life * probability[i] / files_per_bin[i]) for i in index]
    empty = float(probability[files_per_bin == 0].sum())
    left_out = 1.0 - float(probability.sum()) + empty
    note = (f"weighting: wind {climate.text}, bins {bins.start:g}:{bins.stop:g}:{bins.width:g} m/s, "
            f"{years:g} years x {HOURS_PER_YEAR:g} h x availability {availability:g}; "
            f"probability left out: {100 * left_out:.3g} % (outside the bins"
            + (f", {100 * empty:.3g} % in bins without a file)" if empty else ")"))
    return hours, note
