#!/usr/bin/env python3
"""The module on its own: equivalent loads of the bundled example load.

    python examples/module_loads.py [CSV]

For tables, pictures, many files and real file formats, use the command
`cyclewright-report` instead; this shows the three calls it is built on.
"""

from __future__ import annotations

import sys
from pathlib import Path

import numpy as np

import cyclewright


def main(argv: list[str]) -> int:
    path = argv[1] if len(argv) > 1 else Path(__file__).parent / "data" / "example_load.csv"
    # A header row, a units row, then time and one column per channel.
    table = np.loadtxt(path, delimiter=",", skiprows=2, ndmin=2)
    names = Path(path).read_text().splitlines()[0].split(",")
    for name, column in zip(names[1:], table[:, 1:].T, strict=True):
        x = np.ascontiguousarray(column)
        # Flat tops: merge each run of equal samples, or they add no cycle.
        x = x[np.r_[True, np.diff(x) != 0]]
        cycles = cyclewright.halfcycles(x, True)
        plain = cyclewright.eq_load_python(x, 4.0, 10**7, True)
        closed = cyclewright.eq_load_max_half_cycle_closed_python(x, 4.0, 10**7, True)
        print(f"{name}: {len(cycles)} half cycles, m = 4: {plain:.6g} (closed at max {closed:.6g})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
