"""Lifetime damage-equivalent loads: the loads of many files, each repeated over the lifetime."""

from __future__ import annotations

import numpy as np
from numpy.typing import ArrayLike, NDArray

from ._checks import nonnegative_array, positive

__all__ = ["lifetime_eq_loads", "repetitions"]


def repetitions(hours: ArrayLike, durations: ArrayLike) -> NDArray[np.float64]:
    """How often each file recurs in its hours of the lifetime: ``n_i = hours_i * 3600 / duration_i``.

    ``durations`` in seconds, above zero.
    """
    h = nonnegative_array("hours", hours)
    t = nonnegative_array("durations", durations, h.shape)
    if np.any(t == 0.0):
        raise ValueError("durations must be above zero")
    return np.asarray(h * 3600.0 / t, dtype=np.float64)


def lifetime_eq_loads(power_sums: ArrayLike, repetitions: ArrayLike, m: ArrayLike, neq: float) -> NDArray[np.float64]:
    """The lifetime damage-equivalent load for each Wöhler exponent.

    ``DEL_life[j] = (sum_i n_i * S[i, j] / (2 * neq)) ** (1 / m[j])``, the
    report's rule, where ``S[i, j]`` is file i's power sum for ``m[j]``: the
    sum of ``range ** m[j]`` over its half cycles (a full cycle counts twice,
    a residue half cycle once), so that the file's own load is
    ``(S[i, j] / (2 * neq)) ** (1 / m[j])``; and ``n_i`` is how often file i
    recurs in the lifetime (see :func:`repetitions`).

    Args:
        power_sums: shape ``(files, exponents)``, finite and not negative.
        repetitions: shape ``(files,)``, finite and not negative.
        m: shape ``(exponents,)``, each finite and above zero.
        neq: the number of equivalent cycles, finite and above zero.

    Example:
        >>> lifetime_eq_loads([[2e7 * 8.0]], [1.0], [3.0], 1e7)  # one file, its own load 2.0
        array([2.])
    """
    exponents = np.asarray(m, dtype=np.float64)
    if exponents.ndim != 1 or exponents.size == 0:
        raise ValueError(f"m must be a 1-D array of at least one exponent, got shape {exponents.shape}")
    if not np.all(np.isfinite(exponents) & (exponents > 0.0)):
        raise ValueError(f"every m must be finite and above zero, got {exponents.tolist()}")
    n_eq = positive("neq", neq)
    sums = nonnegative_array("power_sums", power_sums)
    if sums.ndim != 2 or sums.shape[1] != exponents.size or sums.shape[0] == 0:
        raise ValueError(
            f"power_sums must have shape (files, {exponents.size}) with at least one file, got {sums.shape}"
        )
    n = nonnegative_array("repetitions", repetitions, (sums.shape[0],))
    return np.asarray((n @ sums / (2.0 * n_eq)) ** (1.0 / exponents), dtype=np.float64)
