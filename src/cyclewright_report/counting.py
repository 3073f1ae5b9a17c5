"""The numbers: flat tops merged and the equivalent loads of a channel."""

from __future__ import annotations

from collections.abc import Sequence

import numpy as np

import cyclewright

from .model import Options


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


def equivalent_loads(samples: np.ndarray, options: Options,
                     exponents: Sequence[float] | None = None) -> list[tuple[float, float, float]]:
    """(m, load, load closed at the maximum) for every exponent (default:
    the options'), of the samples as given (merge them first: counted_signal)."""
    loads = []
    closing = closed_signal(samples, options)
    for m in options.exponents if exponents is None else exponents:
        plain = cyclewright.eq_load_python(samples, m, options.neq, options.half)
        closed = cyclewright.eq_load_max_half_cycle_closed_python(closing, m, options.neq, options.half)
        loads.append((m, plain, closed))
    return loads
