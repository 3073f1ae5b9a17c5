"""cyclewright beside its peers and beside plain NumPy, measured side by side
in one run on a random walk plus white noise. Prints ns per sample and the
ratios the project holds itself to, and writes the same as JSON.

The yardstick is np.cumsum(x): one NumPy pass along a chain of dependent
additions, as the count itself is a chain of dependent steps, and one whose
speed does not hang on the processor's vector math library.

    python bench.py [--json PATH] [--sizes 10000,1000000,10000000] [--quick]
"""
import argparse
import json
import math
import os
import platform
import subprocess
import sys
import timeit

import numpy as np

import cyclewright

M, NEQ = 3.3, 10


def load_history(n: int, seed: int = 42) -> np.ndarray:
    rng = np.random.default_rng(seed)
    return np.cumsum(rng.normal(size=n)) + rng.normal(size=n)


def best_seconds(call, budget: float = 0.6) -> float:
    """The fastest of several runs, each of enough calls to fill its share of
    the budget: the least disturbed measurement on a noisy machine."""
    return side_by_side({"call": call}, budget)["call"]


def side_by_side(calls: dict, budget: float = 0.6, rounds: int = 15) -> dict:
    """Seconds per call of each entry: the fastest of `rounds` runs, the runs of
    all entries taken in turn, so that a burst of noise on this shared machine
    falls on every entry alike rather than on whichever ran through it."""
    number = {}
    for name, call in calls.items():
        once = min(timeit.repeat(call, number=1, repeat=2))
        number[name] = max(1, int(budget / rounds / max(once, 1e-9)))
    best = dict.fromkeys(calls, math.inf)
    for _ in range(rounds):
        for name, call in calls.items():
            best[name] = min(best[name], timeit.timeit(call, number=number[name]) / number[name])
    return best


def fatpack_eq_load(x):
    import fatpack  # ranges of the residue closed into full cycles, 64 classes
    ranges = fatpack.find_rainflow_ranges(x)
    return (np.sum(ranges ** M) / NEQ) ** (1 / M)


def rainflow_eq_load(x):
    import rainflow  # pure Python, ASTM counting with half cycles
    total = sum(count * rng ** M for rng, _, count, _, _ in rainflow.extract_cycles(x))
    return (total / NEQ) ** (1 / M)


def rfcnt_eq_load(x):
    import rfcnt  # compiled; classes of the range, no hysteresis: its closest-to-exact count
    classes = 1024
    width = (x.max() - x.min()) / (classes - 1)
    counted = rfcnt.rfc(x, width, class_count=classes, class_offset=x.min() - width / 2, hysteresis=0,
                        residual_method=rfcnt.ResidualMethod.HALFCYCLES)
    ranges, counts = counted["rp"][:, 0], counted["rp"][:, 1]
    return (np.sum(counts * ranges ** M) / NEQ) ** (1 / M)


PEERS = (("fatpack", fatpack_eq_load), ("rainflow", rainflow_eq_load), ("rfcnt", rfcnt_eq_load))


def peers():
    found = {}
    for name, fn in PEERS:
        try:
            __import__(name)
            found[name] = fn
        except ImportError:
            print(f"note: {name} is not installed; skipped", file=sys.stderr)
    return found


def measure_size(n: int, with_peers: dict, peer_limit: int) -> dict:
    x = load_history(n)
    cycles = cyclewright.halfcycles(x, True)
    means = np.array([c[0] for c in cycles])
    ranges = np.array([c[1] for c in cycles])
    rows = side_by_side({
        "np.cumsum(x)": lambda: np.cumsum(x),
        "eq_load_python": lambda: cyclewright.eq_load_python(x, M, NEQ, True),
        "eq_load_max_half_cycle_closed_python":
            lambda: cyclewright.eq_load_max_half_cycle_closed_python(x, M, NEQ, True),
        "list_from_numpy_arrays": lambda: list(zip(means.tolist(), ranges.tolist(), strict=False)),
        "halfcycles": lambda: cyclewright.halfcycles(x, True),
    }, budget=3.0)
    for name, fn in with_peers.items():
        if n <= peer_limit:
            rows[name] = best_seconds(lambda fn=fn: fn(x), budget=0.3)
    return {name: seconds * 1e9 / n for name, seconds in rows.items()}


def fixed_cost() -> dict:
    a = load_history(16)
    return {name: seconds * 1e9 for name, seconds in side_by_side({
        "a.sum()": a.sum,
        "eq_load_python": lambda: cyclewright.eq_load_python(a, M, NEQ, True),
        "eq_load_max_half_cycle_closed_python":
            lambda: cyclewright.eq_load_max_half_cycle_closed_python(a, M, NEQ, True),
        "halfcycles": lambda: cyclewright.halfcycles(a, True),
    }, budget=2.4).items()}


PEAK_PROBE = """
import sys, numpy as np, cyclewright

def peak_bytes():  # VmHWM: the peak of this process's own memory, unlike
    # ru_maxrss, which a child inherits from the parent that forked it
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) * 1024 for line in status if line.startswith("VmHWM"))

n = int(sys.argv[1])
rng = np.random.default_rng(42)
x = np.empty(n)
walk, step = 0.0, 1 << 16
for i in range(0, n, step):  # small temporaries, so that the array alone sets the baseline
    part = np.cumsum(rng.normal(size=min(step, n - i))) + walk
    walk = part[-1]
    x[i:i + part.size] = part + rng.normal(size=part.size)
cyclewright.{fn}(x[:16], 3.3, 10, True)  # first use: NumPy's tables and the registry
before = peak_bytes()
cyclewright.{fn}(x, 3.3, 10, True)
print((peak_bytes() - before) / x.nbytes)
"""


def peak_memory(n: int) -> dict:
    """Peak extra resident memory of one call, in units of the array's size,
    each in a fresh process so that the peak belongs to that call alone."""
    out = {}
    for fn in ("eq_load_python", "eq_load_max_half_cycle_closed_python"):
        probe = subprocess.run([sys.executable, "-c", PEAK_PROBE.format(fn=fn), str(n)],
                               capture_output=True, text=True, check=True)
        out[fn] = float(probe.stdout)
    return out


def instruction_sets() -> str:
    """The vector instruction sets that choose the core's build here: the
    AVX-512 one needs F, DQ and VL, the AVX2 one AVX2 and FMA."""
    try:
        with open("/proc/cpuinfo") as info:
            flags = next((line.split(":", 1)[1].split() for line in info if line.startswith("flags")), [])
    except OSError:
        return "unknown"
    wanted = ("sse4_1", "avx2", "fma", "avx512f", "avx512dq", "avx512vl")
    return " ".join(flag for flag in wanted if flag in flags) or "none of SSE4.1, AVX2, AVX-512"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--json", default="build/bench/python-bench.json")
    parser.add_argument("--sizes", default="10000,1000000,10000000")
    parser.add_argument("--peer-limit", type=int, default=1_000_000,
                        help="largest size at which the peers are timed (the pure-Python one is slow)")
    args = parser.parse_args()
    sizes = [int(s) for s in args.sizes.split(",")]
    found = peers()

    per_size = {n: measure_size(n, found, args.peer_limit) for n in sizes}
    fixed = fixed_cost()
    memory = peak_memory(max(sizes))

    print(f"ns per sample (m = {M}, neq = {NEQ}, half = True); ratios against np.cumsum(x)")
    names = list(dict.fromkeys(k for row in per_size.values() for k in row))
    print(f"{'':40}" + "".join(f"{n:>14,}" for n in sizes))
    for name in names:
        cells = ""
        for n in sizes:
            row = per_size[n]
            if name in row:
                cells += f"{row[name]:>8.2f} {row[name] / row['np.cumsum(x)']:>4.1f}x"
            else:
                cells += f"{'-':>14}"
        print(f"{name:40}{cells}")

    mid = 1_000_000 if 1_000_000 in per_size else sizes[len(sizes) // 2]
    r = per_size[mid]
    yardstick = r["np.cumsum(x)"]
    targets = [
        (f"eq_load_python / np.cumsum(x) at {mid:,}", r["eq_load_python"] / yardstick, 1.2),
        (f"closed / np.cumsum(x) at {mid:,}", r["eq_load_max_half_cycle_closed_python"] / yardstick, 1.25),
        (f"halfcycles / list from NumPy arrays at {mid:,}", r["halfcycles"] / r["list_from_numpy_arrays"], 1.05),
    ]
    if 10_000_000 in per_size:  # the copy's memory comes fresh from the system here
        big = per_size[10_000_000]
        targets += [
            ("eq_load_python / np.cumsum(x) at 10,000,000", big["eq_load_python"] / big["np.cumsum(x)"], 1.4),
            ("closed / np.cumsum(x) at 10,000,000",
             big["eq_load_max_half_cycle_closed_python"] / big["np.cumsum(x)"], 1.45),
        ]
    targets += [
        ("16-sample eq_load_python / a.sum()", fixed["eq_load_python"] / fixed["a.sum()"], 0.5),
        ("16-sample closed / a.sum()", fixed["eq_load_max_half_cycle_closed_python"] / fixed["a.sum()"], 0.5),
        ("16-sample halfcycles / a.sum()", fixed["halfcycles"] / fixed["a.sum()"], 0.5),
        (f"peak extra memory of eq_load_python at {max(sizes):,}, x array size",
         memory["eq_load_python"], 1.1),
    ]
    print()
    print(f"{'target':66} {'ratio':>6} {'limit':>6}")
    for label, ratio, limit in targets:
        print(f"{label:66} {ratio:>6.2f} {limit:>6.2f}  {'ok' if ratio <= limit else 'MISSED'}")
    print()
    print("16 samples, ns per call: " + ", ".join(f"{k} {v:.0f}" for k, v in fixed.items()))
    print("peak extra memory, x array size: " + ", ".join(f"{k} {v:.2f}" for k, v in memory.items()))
    print(f"instruction sets: {instruction_sets()}")

    report = {
        "machine": {"cpu": platform.processor() or platform.machine(), "cores": os.cpu_count(),
                    "python": sys.version.split()[0], "numpy": np.__version__,
                    "instruction_sets": instruction_sets()},
        "ns_per_sample": {str(n): row for n, row in per_size.items()},
        "fixed_cost_ns": fixed, "peak_memory_x_array": memory,
        "targets": [{"what": t, "ratio": r_, "limit": l} for t, r_, l in targets],
    }
    os.makedirs(os.path.dirname(os.path.abspath(args.json)), exist_ok=True)
    with open(args.json, "w") as f:
        json.dump(report, f, indent=2)
    print(f"written: {args.json}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
