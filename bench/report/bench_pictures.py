"""The report's pictures: time per picture of a 36,000-sample channel beside
the drawing the report used before (every cycle on the spectrum, constrained
layout), taken in turns in one run; and the peak memory (VmHWM, in a child
process) of drawing the picture of a 10^7-sample channel, and of the whole
report run on 10^7 samples of four channels with their pictures.

    tools/bench-pictures [--samples 10000000] [--rounds 7]
"""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

from cyclewright_report.pictures import draw_channel

import cyclewright


def quantised_history(n: int, seed: int = 5) -> np.ndarray:
    """A random walk plus white noise, quantised to 0.01: nearly every sample
    a turning point, so nearly one half cycle per sample."""
    rng = np.random.default_rng(seed)
    return np.round(np.cumsum(rng.normal(size=n)) + 3 * rng.normal(size=n), 2)


def load_history(n: int, seed: int = 5) -> np.ndarray:
    """The same with its flat tops merged, as the report counts it."""
    x = quantised_history(n, seed)
    return x[np.r_[True, np.diff(x) != 0]]


def previous_drawing(target: str, samples: np.ndarray) -> None:
    """The yardstick: how the report drew a picture before."""
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.colors import LogNorm
    from matplotlib.figure import Figure

    cycles = cyclewright.halfcycles(samples, True)
    records = np.array(cycles, dtype=np.float64).reshape(-1, 2)
    means, ranges = records[:, 0], records[:, 1]
    fig = Figure(figsize=(11.0, 4.6), dpi=100, layout="constrained")
    FigureCanvasAgg(fig)
    histogram_axes, spectrum_axes = fig.subplots(1, 2)
    counts, range_edges, mean_edges = np.histogram2d(ranges, means, bins=(40, 30), weights=np.full(ranges.size, 0.5))
    mesh = histogram_axes.pcolormesh(range_edges, mean_edges, np.ma.masked_equal(counts.T, 0.0),
                                     norm=LogNorm(vmin=0.5, vmax=max(counts.max(), 1.0)))
    fig.colorbar(mesh, ax=histogram_axes, label="cycles")
    order = np.sort(ranges)[::-1]
    spectrum_axes.step(0.5 * np.arange(1, order.size + 1), order, where="post")
    spectrum_axes.set_xscale("log")
    spectrum_axes.grid(True, which="both", alpha=0.3)
    fig.savefig(target, format="png")


def peak_rss_mib() -> float:
    with open("/proc/self/status") as f:
        return next(int(line.split()[1]) for line in f if line.startswith("VmHWM:")) / 1024


def child_peak(code: str) -> float:
    """Runs `code` in a fresh interpreter and returns its own peak RSS (MiB)."""
    done = subprocess.run([sys.executable, "-c", code + "\nprint(__import__('bench_pictures').peak_rss_mib())"],
                          capture_output=True, text=True, check=True,
                          env={**os.environ, "PYTHONPATH": os.pathsep.join([os.path.dirname(__file__), *sys.path])})
    return float(done.stdout.split()[-1])


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--samples", type=int, default=10**7)
    parser.add_argument("--rounds", type=int, default=7)
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work:
        short = load_history(36_000)
        calls = {"now": lambda: draw_channel(f"{work}/now.png", short, title="t", unit="kN", half=True,
                                             loads=[(3.0, 1.0), (4.0, 2.0), (10.0, 3.0)]),
                 "before": lambda: previous_drawing(f"{work}/before.png", short)}
        best = dict.fromkeys(calls, float("inf"))
        for _ in range(args.rounds):
            for name, call in calls.items():
                start = time.perf_counter()
                call()
                best[name] = min(best[name], time.perf_counter() - start)
        print(f"picture of {short.size} samples: {best['now']:.3f} s, before {best['before']:.3f} s "
              f"(now/before = {best['now'] / best['before']:.2f})")

        big, channels = f"{work}/big.npy", f"{work}/channels.npy"
        np.save(big, load_history(args.samples))
        np.save(channels, np.column_stack([quantised_history(args.samples, seed) for seed in range(4)]))
        n = np.load(big, mmap_mode="r").size
        cycles = len(cyclewright.halfcycles(np.load(big)[:1_000_000], True)) * n // 1_000_000
        setup = f"import numpy as np\nx = np.load({big!r})\nfrom cyclewright_report.pictures import draw_channel\n"
        held = child_peak(setup + "import matplotlib.figure, matplotlib.backends.backend_agg")
        drawn = child_peak(setup + f"draw_channel({work!r} + '/big.png', x, title='t', unit='kN', half=True, "
                                   "loads=[(4.0, 1.0)])")
        before = child_peak(setup + f"import bench_pictures\nbench_pictures.previous_drawing({work!r} + '/b.png', x)")
        print(f"picture of {n} samples (about {cycles} half cycles): peak RSS {drawn:.0f} MiB, "
              f"before {before:.0f} MiB (signal and imports alone {held:.0f} MiB)")
        report = subprocess.run(
            [sys.executable, "-c", "import resource, subprocess, sys; subprocess.run(sys.argv[1:], check=True); "
             "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024)",
             sys.executable, "-m", "cyclewright_report", channels, "--plots", f"{work}/pictures"],
            capture_output=True, text=True, check=True)
        print(f"report of {args.samples} samples x 4 channels with their pictures: "
              f"peak RSS {float(report.stdout.split()[-1]):.0f} MiB (largest process)")


if __name__ == "__main__":
    main()
