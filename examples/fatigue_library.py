#!/usr/bin/env python3
"""The fatigue library on the bundled example load: a rainflow matrix picture and a damage.

    python examples/fatigue_library.py [PICTURE]

Draws the range-mean matrix and the range spectrum of the blade-root flap
moment (default picture: examples/fatigue_matrix.png) and prints the
Miner damage of the tower-base moment on the DNV-RP-C203 curve D in air.
"""

from __future__ import annotations

import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # pictures to files, no window
import matplotlib.pyplot as plt
import numpy as np
from matplotlib.colors import LogNorm

from cyclewright_fatigue import SNCurve, damage, rainflow, rainflow_matrix, range_exceedance

HERE = Path(__file__).parent
# A tower 4.5 m across with a 40 mm wall: W = pi D^2 t / 4, about 0.64 m^3.
SECTION_MODULUS = 0.64  # m^3


def main(argv: list[str]) -> int:
    picture = Path(argv[1]) if len(argv) > 1 else HERE / "fatigue_matrix.png"
    table = np.loadtxt(HERE / "data" / "example_load.csv", delimiter=",", skiprows=2)
    flap, tower = table[:, 1], table[:, 3]  # kNm

    cycles = rainflow(flap)
    matrix, range_edges, mean_edges = rainflow_matrix(cycles, (32, 32))
    levels, counts = range_exceedance(cycles)
    fig, (left, right) = plt.subplots(1, 2, figsize=(10, 4.2), layout="constrained")
    mesh = left.pcolormesh(mean_edges, range_edges, np.ma.masked_equal(matrix, 0.0), norm=LogNorm(), cmap="viridis")
    fig.colorbar(mesh, ax=left, label="cycles")
    left.set(xlabel="mean (kNm)", ylabel="range (kNm)", title="blade-root flap moment: rainflow matrix")
    right.step(counts, levels, where="post")
    right.set(xscale="log", xlabel="cycles with at least this range", ylabel="range (kNm)", title="range spectrum")
    right.grid(True, which="both", alpha=0.3)
    fig.savefig(picture, dpi=100)
    print(f"{picture}: {cycles.full_cycles:g} cycles of the flap moment in {len(cycles)} records")

    curve = SNCurve.dnv_c203("D", "air")  # stress ranges in MPa
    stress_per_knm = 1e-3 / SECTION_MODULUS  # 1 kNm over W m^3 is 1e-3 / W MPa
    d = damage(rainflow(tower), curve, scale=stress_per_knm)
    print(f"tower base, 400 s: Miner damage {d:.3e} on DNV-RP-C203 D in air")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
