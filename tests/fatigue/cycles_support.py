"""Cycles for the fatigue tests, built without our own count: from arrays, or from the rainflow package."""

import numpy as np
import rainflow

from cyclewright_fatigue.cycles import Cycles


def make_cycles(start_value, end_value, count=None, end=None) -> Cycles:
    """A record per (start_value, end_value): counts 1.0 and ends at 1, 2, ... unless given; starts a sample before."""
    s, e = np.asarray(start_value, dtype=np.float64), np.asarray(end_value, dtype=np.float64)
    n = s.size
    stop = np.arange(1, n + 1, dtype=np.int64) if end is None else np.asarray(end, dtype=np.int64)
    return Cycles(np.abs(e - s), (s + e) / 2, np.ones(n) if count is None else np.asarray(count, dtype=np.float64),
                  stop - 1, stop, s, e, np.empty(0), np.empty(0, dtype=np.int64))


def peer_cycles(n_samples: int = 5000, seed: int = 0, scale: float = 30.0) -> tuple[Cycles, np.ndarray]:
    """The cycles of a random load as the rainflow package counts them (half cycles 0.5), and the load."""
    rng = np.random.default_rng(seed)
    x = scale * (np.cumsum(rng.normal(size=n_samples)) * 0.2 + rng.normal(size=n_samples))
    records = np.array(list(rainflow.extract_cycles(x)))
    start, end = records[:, 3].astype(np.int64), records[:, 4].astype(np.int64)
    return make_cycles(x[start], x[end], records[:, 2], end), x
