"""Rainflow counting, cycle records and damage-equivalent loads on NumPy arrays."""

from .counting import RainflowCounter, eq_loads, power_sums, rainflow
from .cycles import Cycles

__all__ = ["Cycles", "RainflowCounter", "eq_loads", "power_sums", "rainflow"]
