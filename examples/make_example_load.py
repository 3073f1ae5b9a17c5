#!/usr/bin/env python3
"""Writes the bundled example load history, examples/data/example_load.csv.

Four channels of a wind turbine in kNm, 4000 samples each at 10 Hz (400 s),
after a time column and a units row, rotor at 12 rpm (once per revolution,
1P, is 0.2 Hz):

- blade_root_flap: thrust with turbulence, wind shear at 1P, a little 2P;
- blade_root_edge: the blade's weight at 1P, plus turbulence and an edge-wise
  vibration;
- tower_base_fa: thrust on the tower, the tower's first mode (0.3 Hz, lightly
  damped) shaken by turbulence, the blade passing at 3P;
- shaft_torque: aerodynamic torque with turbulence and 3P.

The file is the same byte for byte on every machine and Python version: the
noise comes from random.Random(seed).random(), whose sequence Python keeps
stable, and everything after it is IEEE double arithmetic in a fixed order
(sinusoids by rotation with constant coefficients, not by calls of a
mathematics library whose last bit may differ), printed with correctly
rounded formatting.

    python examples/make_example_load.py [OUT]
"""

from __future__ import annotations

import random
import sys
from pathlib import Path

SEED = 20260101
SAMPLES = 4000
DEFAULT_OUT = Path(__file__).resolve().parent / "data" / "example_load.csv"
CHANNELS = ("blade_root_flap", "blade_root_edge", "tower_base_fa", "shaft_torque")

# cos and sin of the rotor's turn in one step, 2 pi * 0.2 Hz * 0.1 s.
ROTATE_COS = 0.9921147013144779
ROTATE_SIN = 0.12533323356430426
# Tower mode, 0.3 Hz with 3 % damping, as x[k+1] = A1 x[k] - A2 x[k-1] + B e[k]
# (B gives the response unit variance).
TOWER_A1 = 1.9534964463627638
TOWER_A2 = 0.9887539810589572
TOWER_B = 0.02803541245248065
# Turbulence as first-order low-pass noise of unit variance, time constant 20 s.
TURBULENCE_A = 0.995
TURBULENCE_B = 0.09987492177719068
# The edge-wise vibration: faster noise, time constant about 0.3 s.
EDGE_A = 0.7
EDGE_B = 0.714142842854285


def generate(seed: int = SEED, samples: int = SAMPLES) -> list[tuple[float, float, float, float]]:
    rng = random.Random(seed)

    def gauss() -> float:
        # Twelve uniforms less six: unit variance, added one by one (sum()
        # became compensated in Python 3.12 and would change the last bits).
        total = 0.0
        for _ in range(12):
            total += rng.random()
        return total - 6.0

    cos1, sin1 = 1.0, 0.0  # rotor azimuth 0 at the start
    turbulence = 0.0
    tower, tower_before = 0.0, 0.0
    edge = 0.0
    rows = []
    for _ in range(samples):
        turbulence = TURBULENCE_A * turbulence + TURBULENCE_B * gauss()
        tower, tower_before = TOWER_A1 * tower - TOWER_A2 * tower_before + TOWER_B * gauss(), tower
        edge = EDGE_A * edge + EDGE_B * gauss()
        cos2 = cos1 * cos1 - sin1 * sin1
        sin2 = 2.0 * sin1 * cos1
        cos3 = cos2 * cos1 - sin2 * sin1

        flap = 3800.0 + 900.0 * turbulence + 350.0 * cos1 + 120.0 * cos2 + 40.0 * gauss()
        edgewise = 1100.0 * sin1 + 180.0 * turbulence + 70.0 * edge
        tower_fa = 26000.0 + 7000.0 * turbulence + 2200.0 * tower + 400.0 * cos3
        torque = 2900.0 + 650.0 * turbulence + 140.0 * cos3 + 40.0 * gauss()
        rows.append((flap, edgewise, tower_fa, torque))

        cos1, sin1 = cos1 * ROTATE_COS - sin1 * ROTATE_SIN, sin1 * ROTATE_COS + cos1 * ROTATE_SIN
    return rows


def render(rows: list[tuple[float, float, float, float]]) -> str:
    """A header row, a units row, then time in seconds and the four loads."""
    lines = [",".join(("time", *CHANNELS)), ",".join(("s", *["kNm"] * len(CHANNELS)))]
    lines += [",".join((f"{k / 10:.1f}", *(f"{value:.1f}" for value in row))) for k, row in enumerate(rows)]
    return "\n".join(lines) + "\n"


def main(argv: list[str]) -> int:
    out = Path(argv[1]) if len(argv) > 1 else DEFAULT_OUT
    out.parent.mkdir(parents=True, exist_ok=True)
    out.write_bytes(render(generate()).encode("ascii"))
    print(out)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
