"""Mean-stress corrections: the fully reversed amplitude (mean 0) equivalent to an amplitude at a mean.

Each function takes stress amplitudes (half ranges) and means, broadcast
together, and returns the equivalent fully reversed amplitudes; for ranges,
pass ``range / 2`` and double the result. Stresses are in any one unit.
A mean at or past the material's static strength gives ``inf`` (failure at
once); a non-positive maximum stress gives 0 for the two corrections built
on it. The formulas apply to compressive means as written.
"""

from __future__ import annotations

import math

import numpy as np
from numpy.typing import ArrayLike, NDArray

from ._checks import positive

__all__ = ["gerber", "goodman", "smith_watson_topper", "soderberg", "walker"]


def _amplitude_and_mean(amplitude: ArrayLike, mean: ArrayLike) -> tuple[NDArray[np.float64], NDArray[np.float64]]:
    sa, sm = np.asarray(amplitude, dtype=np.float64), np.asarray(mean, dtype=np.float64)
    try:
        sa, sm = np.broadcast_arrays(sa, sm)
    except ValueError:
        raise ValueError(f"amplitude of shape {sa.shape} and mean of shape {sm.shape} do not broadcast") from None
    if np.any(sa < 0.0):
        raise ValueError("amplitudes must not be negative")
    return sa, sm


def _over_linear_factor(sa: NDArray[np.float64], reduction: NDArray[np.float64]) -> NDArray[np.float64]:
    # sa / (1 - reduction), infinite where the mean has used the strength up.
    with np.errstate(divide="ignore", invalid="ignore"):
        result = sa / (1.0 - reduction)
    return np.asarray(np.where(reduction >= 1.0, np.inf, result), dtype=np.float64)


def goodman(amplitude: ArrayLike, mean: ArrayLike, *, ultimate: float) -> NDArray[np.float64]:
    """Goodman: ``S_ar = S_a / (1 - S_m / S_u)``, ``S_u`` the ultimate tensile strength.

    Goodman, J. (1899), *Mechanics Applied to Engineering*, Longmans, Green;
    in the form of Dowling, N. E. (2013), *Mechanical Behavior of
    Materials*, 4th ed., Pearson, ch. 9 (mean stress effects).

    Example:
        >>> goodman(100.0, 200.0, ultimate=800.0)  # 100 / (1 - 0.25)
        array(133.33333333)
    """
    sa, sm = _amplitude_and_mean(amplitude, mean)
    return _over_linear_factor(sa, sm / positive("ultimate", ultimate))


def gerber(amplitude: ArrayLike, mean: ArrayLike, *, ultimate: float) -> NDArray[np.float64]:
    """Gerber: ``S_ar = S_a / (1 - (S_m / S_u)**2)``, ``S_u`` the ultimate tensile strength.

    Gerber, W. (1874), *Zeitschrift des Bayerischen Architekten- und
    Ingenieur-Vereins* 6, 101-110; Dowling (2013), ch. 9. The parabola
    penalises a compressive mean as much as a tensile one.

    Example:
        >>> gerber(100.0, 200.0, ultimate=800.0)  # 100 / (1 - 0.0625)
        array(106.66666667)
    """
    sa, sm = _amplitude_and_mean(amplitude, mean)
    return _over_linear_factor(sa, (sm / positive("ultimate", ultimate)) ** 2)


def soderberg(amplitude: ArrayLike, mean: ArrayLike, *, yield_strength: float) -> NDArray[np.float64]:
    """Soderberg: ``S_ar = S_a / (1 - S_m / S_y)``, ``S_y`` the yield strength.

    Soderberg, C. R. (1930), *Factor of Safety and Working Stress*, Trans.
    ASME 52, 13-28.

    Example:
        >>> soderberg(100.0, 200.0, yield_strength=400.0)  # 100 / (1 - 0.5)
        array(200.)
    """
    sa, sm = _amplitude_and_mean(amplitude, mean)
    return _over_linear_factor(sa, sm / positive("yield_strength", yield_strength))


def smith_watson_topper(amplitude: ArrayLike, mean: ArrayLike) -> NDArray[np.float64]:
    """Smith-Watson-Topper: ``S_ar = sqrt(S_max * S_a)``, ``S_max = S_m + S_a``; 0 where ``S_max <= 0``.

    Smith, K. N., Watson, P., Topper, T. H. (1970), *A Stress-Strain
    Function for the Fatigue of Metals*, J. Materials 5(4), 767-778;
    Dowling (2013), ch. 9. It predicts no fatigue without a tensile peak.

    Example:
        >>> smith_watson_topper(100.0, 200.0)  # sqrt(300 * 100)
        array(173.20508076)
    """
    sa, sm = _amplitude_and_mean(amplitude, mean)
    peak = sm + sa
    # NaN stays NaN: only a peak known to be non-positive gives 0.
    return np.asarray(np.where(peak <= 0.0, 0.0, np.sqrt(np.maximum(peak, 0.0) * sa)), dtype=np.float64)


def walker(amplitude: ArrayLike, mean: ArrayLike, *, gamma: float) -> NDArray[np.float64]:
    """Walker: ``S_ar = S_max**(1 - gamma) * S_a**gamma``, ``S_max = S_m + S_a``; 0 where ``S_max <= 0``.

    Walker, K. (1970), *The Effect of Stress Ratio During Crack Propagation
    and Fatigue for 2024-T3 and 7075-T6 Aluminum*, ASTM STP 462, 1-14;
    Dowling (2013), ch. 9. ``0 < gamma <= 1``: 0.5 is Smith-Watson-Topper,
    1 ignores the mean; gamma is fitted to the material's tests.

    Example:
        >>> walker(100.0, 200.0, gamma=0.5)  # = smith_watson_topper(100, 200)
        array(173.20508076)
    """
    g = float(gamma)
    if not (math.isfinite(g) and 0.0 < g <= 1.0):
        raise ValueError(f"gamma must be above 0 and at most 1, got {gamma!r}")
    sa, sm = _amplitude_and_mean(amplitude, mean)
    peak = sm + sa
    return np.asarray(np.where(peak <= 0.0, 0.0, np.maximum(peak, 0.0) ** (1.0 - g) * sa**g), dtype=np.float64)
