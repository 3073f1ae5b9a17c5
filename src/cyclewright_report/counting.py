"""The numbers: flat tops merged, equivalent loads per channel, and the
lifetime equivalent load over weighted files."""

from __future__ import annotations

import math
from collections.abc import Mapping, Sequence

import numpy as np

import cyclewright

from .model import Options

SECONDS_PER_HOUR = 3600.0


def merge_plateaus(samples: np.ndarray) -> np.ndarray:
    """Each run of equal consecutive samples as one sample. The module never
    takes a sample equal to a neighbour as a turning point, so a flat top or
    bottom of a quantised signal would otherwise add no cycle at all."""
    if samples.size < 2:
        return samples
    keep = np.empty(samples.size, dtype=bool)
    keep[0] = True
    np.not_equal(samples[1:], samples[:-1], out=keep[1:])
    return samples if keep.all() else samples[keep]


def counted_signal(samples: np.ndarray, options: Options) -> np.ndarray:
    """The samples as the module counts them under the options."""
    return samples if options.keep_plateaus else merge_plateaus(samples)


def closed_signal(samples: np.ndarray, options: Options) -> np.ndarray:
    """The samples whose closed load is wanted. Closing joins the last sample
    to the first; when the two are equal that join is a flat top again, so
    with merged flat tops the last sample goes too."""
    if options.keep_plateaus or samples.size < 3 or samples[0] != samples[-1]:
        return samples
    return samples[:-1]


def equivalent_loads(samples: np.ndarray, options: Options) -> list[tuple[float, float, float]]:
    """(m, load, load closed at the maximum) for every exponent, of the
    samples as given (merge them first: counted_signal)."""
    loads = []
    closing = closed_signal(samples, options)
    for m in options.exponents:
        plain = cyclewright.eq_load_python(samples, m, options.neq, options.half)
        closed = cyclewright.eq_load_max_half_cycle_closed_python(closing, m, options.neq, options.half)
        loads.append((m, plain, closed))
    return loads


def repetitions(weight_hours: float, duration_seconds: float) -> float:
    """How often a file of this duration recurs in `weight_hours` of life."""
    return weight_hours * SECONDS_PER_HOUR / duration_seconds


def lifetime_load(m: float, loads: Sequence[float], counts: Sequence[float]) -> float:
    """(sum_i n_i * DEL_i**m) ** (1/m): the load at neq cycles whose damage is
    that of every file's cycles n_i times over. With S_i = 2 neq DEL_i**m the
    file's power sum, this is (sum_i n_i S_i / (2 neq)) ** (1/m). Scaled by
    the largest load, so that large loads and exponents do not overflow."""
    if any(not math.isfinite(v) for v in loads):
        return math.nan
    top = max(loads, default=0.0)
    if top == 0.0:
        return 0.0
    total = math.fsum(n * (v / top) ** m for v, n in zip(loads, counts))
    return top * total ** (1.0 / m)


def lifetime_loads(per_file: Sequence[Mapping[tuple[str, float], float]],
                   counts: Sequence[float]) -> dict[tuple[str, float], float]:
    """(channel, m) -> lifetime load, from each file's (channel, m) -> load."""
    keys = list(per_file[0]) if per_file else []
    return {key: lifetime_load(key[1], [loads[key] for loads in per_file], counts) for key in keys}
