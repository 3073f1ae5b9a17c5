"""Type stub of the extension module cyclewright.

Every parameter is positional-or-keyword and required. `signal` is a NumPy
float64 array of any shape whose memory is C- or Fortran-contiguous; its
elements are read in memory order.
"""

import numpy
import numpy.typing

__all__ = ["eq_load_python", "eq_load_max_half_cycle_closed_python", "halfcycles"]

def eq_load_python(
    signal: numpy.typing.NDArray[numpy.float64], m: float, neq: int, half: bool
) -> float:
    """Damage-equivalent load (S / (2 * neq)) ** (1 / m), S being the sum of
    range ** m over the rainflow half cycles of `signal`."""

def eq_load_max_half_cycle_closed_python(
    signal: numpy.typing.NDArray[numpy.float64], m: float, neq: int, half: bool
) -> float:
    """The damage-equivalent load of `signal` closed at its maximum: rotated to
    start at its last largest sample, which is appended once more at the end."""

def halfcycles(
    signal: numpy.typing.NDArray[numpy.float64], half: bool
) -> list[tuple[float, float]]:
    """The rainflow half cycles of `signal` as (mean, range) pairs: closed
    cycles first, each as two equal entries, then the residue's half cycles,
    each once if `half` is true, else twice."""
