"""Signals the fatigue tests count: each family meets another road of the
count (noise, flat tops of quantised samples, ties, long monotone runs, the
shortest signals)."""

import numpy as np


def walk(n, seed=1):
    rng = np.random.default_rng(seed)
    return np.cumsum(rng.normal(size=n)) + rng.normal(size=n)


def quantised(n, seed=2):
    return np.round(walk(n, seed) * 2) / 2  # many flat tops and equal extremes


def runs(n, seed=3):
    rng = np.random.default_rng(seed)  # long monotone runs, some flat
    steps = np.repeat(rng.choice([-1.0, 0.0, 1.0], size=n // 50 + 1), 50)[:n]
    return np.cumsum(steps * rng.uniform(0.5, 1.0, size=n))


def ties(n, seed=4):
    return np.random.default_rng(seed).integers(-3, 4, size=n).astype(float)


FAMILIES = {"walk": walk, "quantised": quantised, "runs": runs, "ties": ties}
SHORT = [[5.0], [1.0, 2.0], [3.0, 3.0, 3.0], [0.0, 1.0, 1.0, 0.0], [0.0, -0.0, 0.0, 1.0],
         [1, 3, 2, 5, -1, 0, 4, -2, 2, 0], [0, 2, 2, 1, 2], [2, 0, 1, 2, 2]]


def all_signals(n=3000):
    out = {f"{name}-{n}": f(n) for name, f in FAMILIES.items()}
    out.update({f"short-{i}": np.array(s, dtype=float) for i, s in enumerate(SHORT)})
    return out


def merged(x):
    return x[np.r_[True, np.diff(x) != 0]]
