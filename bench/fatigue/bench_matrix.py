"""rainflow_matrix beside np.histogram2d on the same arrays, timed in turns in one run.

    python bench/fatigue/bench_matrix.py [--cycles N] [--bins B] [--rounds R]

Prints each side's best round and the ratio, for int bins (equal bins over the
values' range) and for explicit edges.
"""

from __future__ import annotations

import argparse
import time
from collections.abc import Callable

import numpy as np

from cyclewright_fatigue.cycles import Cycles
from cyclewright_fatigue.matrix import rainflow_matrix


def synthetic_cycles(n: int, seed: int = 1) -> Cycles:
    rng = np.random.default_rng(seed)
    start = rng.normal(0.0, 10.0, n)
    end = rng.normal(0.0, 10.0, n)
    count = np.where(rng.random(n) < 0.01, 0.5, 1.0)
    index = np.arange(n, dtype=np.int64)
    empty = np.empty(0)
    return Cycles(np.abs(end - start), (start + end) / 2, count, index, index + 1, start, end,
                  empty, empty.astype(np.int64))


def best_in_turns(calls: dict[str, Callable[[], object]], rounds: int) -> dict[str, float]:
    best = dict.fromkeys(calls, float("inf"))
    for _ in range(rounds):
        for name, call in calls.items():  # alternating, so noise falls on both sides
            t0 = time.perf_counter()
            call()
            best[name] = min(best[name], time.perf_counter() - t0)
    return best


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cycles", type=int, default=10**6)
    parser.add_argument("--bins", type=int, default=64)
    parser.add_argument("--rounds", type=int, default=15)
    args = parser.parse_args()
    c = synthetic_cycles(args.cycles)
    edges = (np.linspace(0.0, c.range.max(), args.bins + 1), np.linspace(c.mean.min(), c.mean.max(), args.bins + 1))
    for label, bins in (("int bins", args.bins), ("explicit edges", edges)):
        mine = rainflow_matrix(c, bins).matrix
        theirs = np.histogram2d(c.range, c.mean, bins, weights=c.count)[0]
        assert np.array_equal(mine, theirs), "the two matrices differ"
        best = best_in_turns({
            "rainflow_matrix": lambda bins=bins: rainflow_matrix(c, bins),
            "np.histogram2d": lambda bins=bins: np.histogram2d(c.range, c.mean, bins, weights=c.count),
        }, args.rounds)
        ratio = best["rainflow_matrix"] / best["np.histogram2d"]
        print(f"{args.cycles} cycles, {args.bins}x{args.bins} {label}: rainflow_matrix "
              f"{best['rainflow_matrix'] * 1e3:.2f} ms, np.histogram2d {best['np.histogram2d'] * 1e3:.2f} ms, "
              f"ratio {ratio:.2f}x")


if __name__ == "__main__":
    main()
