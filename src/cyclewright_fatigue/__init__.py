"""cyclewright_fatigue: rainflow counting and what is built on the cycles.

Counting (``rainflow``, ``RainflowCounter``) and equivalent loads
(``eq_loads``, ``eq_loads_from_sums``, ``power_sums``) in compiled code; matrices, spectra, S-N
curves, damage, mean-stress corrections and lifetime loads in vectorised
NumPy over the ``Cycles`` record.
"""

from .counting import RainflowCounter, eq_loads, eq_loads_from_sums, power_sums, rainflow
from .cycles import Cycles
from .damage import cycle_damage, damage, damage_history
from .levels import revolutions_at_level, time_at_level
from .lifetime import lifetime_eq_loads, repetitions
from .matrix import RainflowMatrix, rainflow_matrix
from .mean_stress import gerber, goodman, smith_watson_topper, soderberg, walker
from .sn_curve import SNCurve
from .range_counts import Exceedance, Histogram, range_exceedance, range_histogram

__all__ = [
    "Cycles",
    "Exceedance",
    "Histogram",
    "RainflowCounter",
    "RainflowMatrix",
    "SNCurve",
    "cycle_damage",
    "damage",
    "damage_history",
    "eq_loads",
    "eq_loads_from_sums",
    "gerber",
    "goodman",
    "lifetime_eq_loads",
    "power_sums",
    "rainflow",
    "rainflow_matrix",
    "range_exceedance",
    "range_histogram",
    "repetitions",
    "revolutions_at_level",
    "smith_watson_topper",
    "soderberg",
    "time_at_level",
    "walker",
]
