"""Paths, worked values and helpers shared by the user-road tests."""

from __future__ import annotations

import csv
import dataclasses
import os
import subprocess
import sys
from pathlib import Path

TOP = Path(__file__).resolve().parents[2]
SRC = TOP / "src"
EXAMPLES = TOP / "examples"
EXAMPLE_LOAD = EXAMPLES / "data" / "example_load.csv"

# The worked signal of the equivalent-load examples, and its loads at m = 3
# and 4 to ten significant digits: (half, m, neq) -> (plain, closed at max).
WORKED = [1.0, 3.0, 2.0, 5.0, -1.0, 0.0, 4.0, -2.0, 2.0, 0.0]
WORKED_LOADS = {
    (True, 3, 1): (7.149831284, 7.813389232),
    (True, 3, 10): (3.318657705, 3.626654021),
    (True, 4, 1): (6.761803455, 7.427206316),
    (True, 4, 10): (3.802441515, 4.176625042),
    (False, 3, 1): (8.457690558, 9.359901623),
    (False, 3, 10): (3.925712205, 4.344481486),
    (False, 4, 1): (7.721646246, 8.589730321),
    (False, 4, 10): (4.342200782, 4.830360332),
}


@dataclasses.dataclass
class Run:
    code: int
    out: str
    err: str


def run_script(*args: object, cwd: Path | None = None) -> Run:
    """Runs the command as its own process, as a user does."""
    path = os.pathsep.join(p for p in (os.environ.get("PYTHONPATH"), str(SRC)) if p)
    done = subprocess.run([sys.executable, "-m", "cyclewright_report", *map(str, args)],
                          cwd=cwd, capture_output=True, text=True, timeout=300,
                          env={**os.environ, "PYTHONDONTWRITEBYTECODE": "1", "PYTHONPATH": path})
    return Run(done.returncode, done.stdout, done.stderr)


def read_table(path: Path) -> list[dict[str, str]]:
    with open(path, newline="") as f:
        return list(csv.DictReader(f))
