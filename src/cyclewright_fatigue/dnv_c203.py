"""The S-N curves of DNV-RP-C203 (editions 2016 and 2021), transcribed from its tables.

Table 2-1 (in air) and Table 2-2 (in seawater with cathodic protection): for
each curve the slope ``m1`` and ``log10 a1`` of the segment of short lives,
``log10 a2`` of the segment with ``m2 = 5`` of long lives, the fatigue limit
at 10^7 cycles (MPa) and the thickness exponent ``k``. Stress ranges in MPa.
The segments meet at 10^7 cycles in air and at 10^6 cycles in seawater with
cathodic protection; the long-life segment is the same in both. (The
October 2024 edition revised the curves B1 to C2; D to W3 are unchanged.)
"""

from __future__ import annotations

from typing import Literal, NamedTuple

__all__ = ["DNV_C203_TABLES", "DnvCurve", "Environment", "KNEE_CYCLES"]

Environment = Literal["air", "seawater-cp"]


class DnvCurve(NamedTuple):
    m1: float
    log10_a1: float
    m2: float
    log10_a2: float
    fatigue_limit: float  # MPa, the stress range at 10^7 cycles
    thickness_exponent: float


KNEE_CYCLES: dict[str, float] = {"air": 1e7, "seawater-cp": 1e6}

# name: (m1, log a1 in air, log a1 in seawater with CP, log a2 (m2 = 5), fatigue limit, k)
_ROWS: dict[str, tuple[float, float, float, float, float, float]] = {
    "B1": (4.0, 15.117, 14.917, 17.146, 106.97, 0.00),
    "B2": (4.0, 14.885, 14.685, 16.856, 93.59, 0.00),
    "C": (3.0, 12.592, 12.192, 16.320, 73.10, 0.05),
    "C1": (3.0, 12.449, 12.049, 16.081, 65.50, 0.10),
    "C2": (3.0, 12.301, 11.901, 15.835, 58.48, 0.15),
    "D": (3.0, 12.164, 11.764, 15.606, 52.63, 0.20),
    "E": (3.0, 12.010, 11.610, 15.350, 46.78, 0.20),
    "F": (3.0, 11.855, 11.455, 15.091, 41.52, 0.25),
    "F1": (3.0, 11.699, 11.299, 14.832, 36.84, 0.25),
    "F3": (3.0, 11.546, 11.146, 14.576, 32.75, 0.25),
    "G": (3.0, 11.398, 10.998, 14.330, 29.24, 0.25),
    "W1": (3.0, 11.261, 10.861, 14.101, 26.32, 0.25),
    "W2": (3.0, 11.107, 10.707, 13.845, 23.39, 0.25),
    "W3": (3.0, 10.970, 10.570, 13.617, 21.05, 0.25),
}

DNV_C203_TABLES: dict[str, dict[str, DnvCurve]] = {
    "air": {name: DnvCurve(m1, air, 5.0, a2, limit, k) for name, (m1, air, _, a2, limit, k) in _ROWS.items()},
    "seawater-cp": {name: DnvCurve(m1, sea, 5.0, a2, limit, k) for name, (m1, _, sea, a2, limit, k) in _ROWS.items()},
}
