"""S-N (Wöhler) curves of one to three straight segments in log-log scale."""

from __future__ import annotations

import math
from collections.abc import Sequence
from typing import Literal

import numpy as np
from numpy.typing import ArrayLike, NDArray

from .dnv_c203 import DNV_C203_TABLES, KNEE_CYCLES, Environment

__all__ = ["Quantity", "SNCurve"]

Quantity = Literal["range", "amplitude"]

# Standards print log10 a to three decimals, so neighbouring segments of a
# table meet only to about a per cent.
_KNEE_TOLERANCE = 0.01


def _floats(name: str, values: float | Sequence[float]) -> tuple[float, ...]:
    try:
        array = np.atleast_1d(np.asarray(values, dtype=np.float64))
    except (TypeError, ValueError):
        raise ValueError(f"{name} must be a number or a sequence of numbers, got {values!r}") from None
    if array.ndim != 1:
        raise ValueError(f"{name} must be a number or a sequence of numbers, got shape {array.shape}")
    return tuple(float(v) for v in array)


def _log10_life(log10_a: float, k: float, stress: float) -> float:
    return log10_a - k * math.log10(stress)


class SNCurve:
    """Cycles to failure against stress: ``N(S) = 10**log10_a[i] * S**(-k[i])`` on segment ``i``.

    Segment 0 is that of the highest stresses; segment ``i`` applies from
    ``knees[i]`` (inclusive) up to ``knees[i - 1]``: at a knee the segment
    above applies. Neighbouring segments must give the same N at their knee
    within 1 % (the rounding of the standards' tables). Below ``endurance``,
    if given, a cycle does no damage (N is infinite). ``quantity`` says
    whether S is a stress ``"range"`` or ``"amplitude"`` (half the range),
    in the unit the constants were made for (MPa for DNV-RP-C203).

    Args:
        k: the slope of each segment (one to three values, above zero).
        log10_a: ``log10`` of each segment's constant, N at S = 1.
        quantity: ``"range"`` or ``"amplitude"``; no default, as a wrong
            guess changes the damage by a factor ``2**k``.
        knees: the stresses where the segments meet, one fewer than the
            segments, in descending order.
        endurance: the stress below which no damage counts, or None.

    Example:
        >>> curve = SNCurve((3.0, 5.0), (12.164, 15.606), quantity="range", knees=(52.63,))
        >>> float(curve.cycles_to_failure(100.0))  # 10**(12.164 - 3 * 2)
        1458814.26...
    """

    __slots__ = ("_a", "_endurance", "_k", "_knees", "_log10_a", "_quantity")

    def __init__(
        self,
        k: float | Sequence[float],
        log10_a: float | Sequence[float],
        *,
        quantity: Quantity,
        knees: float | Sequence[float] = (),
        endurance: float | None = None,
    ) -> None:
        slopes, logs, knee_stresses = _floats("k", k), _floats("log10_a", log10_a), _floats("knees", knees)
        if not 1 <= len(slopes) <= 3:
            raise ValueError(f"an S-N curve has one to three segments, got {len(slopes)} slopes")
        if len(logs) != len(slopes):
            raise ValueError(f"one log10_a per segment: got {len(slopes)} slopes and {len(logs)} values of log10_a")
        if len(knee_stresses) != len(slopes) - 1:
            raise ValueError(f"{len(slopes)} segments meet at {len(slopes) - 1} knees, got {len(knee_stresses)}")
        if not all(math.isfinite(s) and s > 0.0 for s in slopes):
            raise ValueError(f"slopes k must be finite and above zero, got {slopes}")
        if not all(math.isfinite(v) for v in logs):
            raise ValueError(f"log10_a must be finite, got {logs}")
        if not all(math.isfinite(s) and s > 0.0 for s in knee_stresses):
            raise ValueError(f"knees must be finite stresses above zero, got {knee_stresses}")
        if any(lower >= upper for upper, lower in zip(knee_stresses, knee_stresses[1:], strict=False)):
            raise ValueError(f"knees must be in descending order, got {knee_stresses}")
        for i, stress in enumerate(knee_stresses):
            above = _log10_life(logs[i], slopes[i], stress)
            below = _log10_life(logs[i + 1], slopes[i + 1], stress)
            if abs(10.0 ** (below - above) - 1.0) > _KNEE_TOLERANCE:
                raise ValueError(
                    f"segments {i} and {i + 1} do not meet at the knee S = {stress:g}: N = {10.0**above:.6g} "
                    f"above it and {10.0**below:.6g} below it, more than 1 % apart"
                )
        if endurance is not None and not (math.isfinite(endurance) and endurance > 0.0):
            raise ValueError(f"endurance must be a finite stress above zero or None, got {endurance!r}")
        if quantity not in ("range", "amplitude"):
            raise ValueError(f"quantity must be 'range' or 'amplitude', got {quantity!r}")
        self._k, self._log10_a, self._knees = slopes, logs, knee_stresses
        self._a = tuple(10.0**v for v in logs)
        self._endurance = None if endurance is None else float(endurance)
        self._quantity: Quantity = quantity

    @classmethod
    def from_reference(
        cls,
        k: float | Sequence[float],
        stress: float,
        cycles: float,
        *,
        quantity: Quantity,
        knees: float | Sequence[float] = (),
        endurance: float | None = None,
    ) -> SNCurve:
        """The curve through ``(stress, cycles)`` on its first segment, the others joined at the knees.

        Example:
            >>> c = SNCurve.from_reference(3.0, 90.0, 2e6, quantity="range")  # detail category 90
            >>> round(float(c.cycles_to_failure(90.0)))
            2000000
        """
        slopes, knee_stresses = _floats("k", k), _floats("knees", knees)
        if not (math.isfinite(stress) and stress > 0.0 and math.isfinite(cycles) and cycles > 0.0):
            raise ValueError(f"the reference point must be a stress and cycles above zero, got ({stress!r}, {cycles!r})")
        if len(knee_stresses) != len(slopes) - 1 or not all(math.isfinite(s) and s > 0.0 for s in knee_stresses):
            # Left to the constructor to say what is wrong, on constants it cannot use.
            return cls(slopes, (0.0,) * len(slopes), quantity=quantity, knees=knee_stresses, endurance=endurance)
        logs = [math.log10(cycles) + slopes[0] * math.log10(stress)] if slopes else []
        for i, knee in enumerate(knee_stresses):
            logs.append(_log10_life(logs[i], slopes[i], knee) + slopes[i + 1] * math.log10(knee))
        return cls(slopes, logs, quantity=quantity, knees=knee_stresses, endurance=endurance)

    @classmethod
    def dnv_c203(
        cls,
        name: str,
        environment: Environment,
        *,
        thickness: float | None = None,
        reference_thickness: float = 25.0,
        fatigue_limit: bool = False,
    ) -> SNCurve:
        """A curve of DNV-RP-C203 (2016/2021), Table 2-1 (``"air"``) or 2-2 (``"seawater-cp"``).

        Stress ranges in MPa. Two segments, ``m1`` (3, or 4 for B1 and B2)
        above the knee and ``m2 = 5`` below it; the knee is at 10^7 cycles in
        air and 10^6 in seawater with cathodic protection. The long-life
        segment has no cut-off: the standard's fatigue limit at 10^7 cycles
        applies to constant amplitude loads only; ``fatigue_limit=True``
        makes it the endurance.

        ``thickness`` (mm), above ``reference_thickness`` (25 mm for welded
        connections other than tubular joints, 16 mm for those), multiplies
        the stress by ``(thickness / reference_thickness) ** k``, k the
        curve's thickness exponent.

        Example:
            >>> d = SNCurve.dnv_c203("D", "air")
            >>> float(d.cycles_to_failure(100.0))  # 10**(12.164 - 3 * log10(100))
            1458814.26...
        """
        table = DNV_C203_TABLES.get(environment)
        if table is None:
            raise ValueError(f"environment must be one of {sorted(DNV_C203_TABLES)}, got {environment!r}")
        row = table.get(name)
        if row is None:
            raise ValueError(f"no DNV-RP-C203 curve named {name!r}; the curves are {', '.join(table)}")
        factor = 1.0
        if thickness is not None:
            t_ref = float(reference_thickness)
            if not (math.isfinite(thickness) and thickness > 0.0 and math.isfinite(t_ref) and t_ref > 0.0):
                raise ValueError(f"thicknesses must be finite and above zero, got {thickness!r} and {reference_thickness!r}")
            factor = max(thickness / t_ref, 1.0) ** row.thickness_exponent
        # N = a (factor S)^-m = (a factor^-m) S^-m: the constants and the stresses of the knee and limit move.
        knee = 10.0 ** ((row.log10_a1 - math.log10(KNEE_CYCLES[environment])) / row.m1) / factor
        shift = math.log10(factor)
        return cls(
            (row.m1, row.m2),
            (row.log10_a1 - row.m1 * shift, row.log10_a2 - row.m2 * shift),
            quantity="range",
            knees=(knee,),
            endurance=row.fatigue_limit / factor if fatigue_limit else None,
        )

    @property
    def k(self) -> tuple[float, ...]:
        """The slope of each segment, from the highest stresses down."""
        return self._k

    @property
    def log10_a(self) -> tuple[float, ...]:
        """``log10`` of each segment's constant (N at S = 1)."""
        return self._log10_a

    @property
    def knees(self) -> tuple[float, ...]:
        """The stresses where the segments meet, descending."""
        return self._knees

    @property
    def endurance(self) -> float | None:
        """The stress below which no damage counts, or None."""
        return self._endurance

    @property
    def quantity(self) -> Quantity:
        """Whether S is a stress ``"range"`` or ``"amplitude"``."""
        return self._quantity

    def __repr__(self) -> str:
        return (
            f"SNCurve(k={self._k}, log10_a={self._log10_a}, quantity={self._quantity!r}, "
            f"knees={self._knees}, endurance={self._endurance})"
        )

    def _segments(self, stress: NDArray[np.float64]) -> NDArray[np.intp]:
        segment = np.zeros(stress.shape, dtype=np.intp)
        for knee in self._knees:  # at most two knees: a loop over segments, not cycles
            segment += stress < knee
        return segment

    def inverse_life(self, stress: ArrayLike) -> NDArray[np.float64]:
        """``1 / N(S)``, the damage of one cycle at each stress: ``S**k / a``, 0 below the endurance."""
        s = np.asarray(stress, dtype=np.float64)
        if np.any(s < 0.0):
            raise ValueError("stresses must not be negative")
        if len(self._k) == 1:
            result = np.power(s, self._k[0]) / self._a[0]
        else:
            segment = self._segments(s)
            result = np.power(s, np.asarray(self._k)[segment]) / np.asarray(self._a)[segment]
        if self._endurance is not None:
            result = np.where(s < self._endurance, 0.0, result)
        return np.asarray(result, dtype=np.float64)

    def cycles_to_failure(self, stress: ArrayLike) -> NDArray[np.float64]:
        """N(S), the cycles to failure at each stress (an array of the stresses' shape).

        Infinite below the endurance and at S = 0; NaN for NaN; negative
        stresses are an error.
        """
        with np.errstate(divide="ignore"):
            return np.asarray(1.0 / self.inverse_life(stress), dtype=np.float64)
