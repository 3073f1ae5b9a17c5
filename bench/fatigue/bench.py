"""cyclewright_fatigue's counting beside NumPy, the module cyclewright and the
peer rainflow tools, measured side by side in one run (rows of one table
timed in turns, each keeping its fastest round) on a random walk plus white
noise, one thread. Prints ms per call and the ratios the library holds
itself to.

    python bench.py [--samples 1000000]
"""
import argparse
import sys
from pathlib import Path

import numpy as np

import cyclewright
from cyclewright_fatigue import RainflowCounter, eq_loads, rainflow

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "python"))
from bench import load_history, side_by_side  # noqa: E402  the project's way of timing side by side

EXPONENTS = [3.0, 4.0, 5.0, 8.0, 10.0, 12.0]
NEQ = 10**7


def fed(x, chunk):
    counter = RainflowCounter()
    for start in range(0, x.size, chunk):
        counter.feed(x[start:start + chunk])
    return counter.finish()


def peers(x):
    """Each peer's count of the cycles of x, where it is installed."""
    calls = {}
    try:
        import fatpack
        calls["fatpack find_rainflow_cycles"] = lambda: fatpack.find_rainflow_cycles(fatpack.find_reversals(x)[0])
    except ImportError:
        pass
    try:
        import rfcnt
        width = (x.max() - x.min()) / 1023
        calls["rfcnt rfc (1024 classes)"] = lambda: rfcnt.rfc(
            x, width, class_count=1024, class_offset=x.min() - width / 2, hysteresis=0,
            residual_method=rfcnt.ResidualMethod.HALFCYCLES)
    except ImportError:
        pass
    try:
        from pylife.stress.rainflow import FourPointDetector
        from pylife.stress.rainflow.recorders import FullRecorder
        calls["pyLife FourPointDetector"] = lambda: FourPointDetector(recorder=FullRecorder()).process(x)
    except ImportError:
        pass
    try:
        import rainflow as rainflow_package
        calls["rainflow extract_cycles (Python)"] = lambda: list(rainflow_package.extract_cycles(x))
    except ImportError:
        pass
    return calls


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--samples", type=int, default=1_000_000)
    args = parser.parse_args()
    x = load_history(args.samples)
    ours = side_by_side({
        "np.cumsum(x)": lambda: np.cumsum(x),
        "rainflow(x)": lambda: rainflow(x),
        "eq_load_python(x, 3.0, neq, True)": lambda: cyclewright.eq_load_python(x, 3.0, NEQ, True),
        "eq_loads(x, 6 exponents, neq)": lambda: eq_loads(x, EXPONENTS, NEQ),
        "eq_load_max_half_cycle_closed_python": lambda: cyclewright.eq_load_max_half_cycle_closed_python(
            x, 3.0, NEQ, True),
        "eq_loads(..., residue='closed_max')": lambda: eq_loads(x, EXPONENTS, NEQ, residue="closed_max"),
        "RainflowCounter, 1,000-sample chunks": lambda: fed(x, 1000),
    }, budget=6.0)
    others = side_by_side(peers(x), budget=3.0, rounds=3)
    cumsum = ours["np.cumsum(x)"]
    print(f"{args.samples:,} samples, ms per call; x np.cumsum(x)")
    for name, seconds in {**ours, **others}.items():
        print(f"{name:45} {seconds * 1e3:9.2f} {seconds / cumsum:8.2f}x")
    targets = [
        ("rainflow(x) / np.cumsum(x)", ours["rainflow(x)"] / cumsum, 2.0),
        ("eq_loads, 6 exponents / one eq_load_python",
         ours["eq_loads(x, 6 exponents, neq)"] / ours["eq_load_python(x, 3.0, neq, True)"], 2.5),
        ("eq_loads closed_max, 6 exponents / one eq_load_python",
         ours["eq_loads(..., residue='closed_max')"] / ours["eq_load_python(x, 3.0, neq, True)"], 2.5),
        ("eq_loads closed_max, 6 exponents / one closed call",
         ours["eq_loads(..., residue='closed_max')"] / ours["eq_load_max_half_cycle_closed_python"], 2.5),
        ("RainflowCounter in 1,000 chunks / rainflow(x)",
         ours["RainflowCounter, 1,000-sample chunks"] / ours["rainflow(x)"], 1.2),
    ]
    print()
    print(f"{'target':56} {'ratio':>6} {'limit':>6}")
    for label, ratio, limit in targets:
        print(f"{label:56} {ratio:>6.2f} {limit:>6.2f}  {'ok' if ratio <= limit else 'MISSED'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
