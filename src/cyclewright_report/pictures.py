"""One picture per channel: the range-mean histogram of its rainflow half
cycles and the cumulative range spectrum with the equivalent loads marked.

matplotlib is optional (the `plots` extra) and is imported only when a
picture is drawn. Its Figure API is used without pyplot, so no figure
outlives its picture, in this process or in a worker.
"""

from __future__ import annotations

import functools
import importlib
import itertools
import os
from collections.abc import Sequence

import numpy as np

import cyclewright

from .atomic import write_atomically

PLOTS_HINT = "pictures need pip install 'cyclewright[plots]'"
FORMATS = ("png", "svg", "pdf")

# Every entry of halfcycles() is half a cycle: closed cycles come as two.
HALF_CYCLE = 0.5
# The spectrum is drawn through at most this many points: every one of the
# largest ranges, then geometrically spaced counts, which on the log axis
# is indistinguishable from the full staircase of millions of steps.
SPECTRUM_POINTS = 3000
HISTOGRAM_BINS = (40, 30)  # ranges, means


@functools.cache
def pictures_available() -> bool:
    """Whether matplotlib and its Agg backend can be imported (pyplot never is)."""
    try:
        importlib.import_module("matplotlib.figure")
        importlib.import_module("matplotlib.backends.backend_agg")
    except Exception:  # absent, or broken in a way that would fail each picture
        return False
    return True


def draw_channel(target: str, samples: np.ndarray, *, title: str, unit: str | None, half: bool,
                 loads: Sequence[tuple[float, float]], dpi: int = 100, fmt: str = "png",
                 neq: int | None = None) -> None:
    """Writes the picture of one channel to `target` (suffix `.FMT`), whole or
    not at all. `samples` is the signal as counted, `loads` its (m, DEL)
    pairs at `neq` cycles."""
    target = os.fspath(target)
    if fmt not in FORMATS:
        raise ValueError(f"picture format {fmt!r}: use one of {', '.join(FORMATS)}")
    if not target.lower().endswith("." + fmt):
        raise ValueError(f"{target}: a {fmt} picture needs a name ending in .{fmt}")
    figure = channel_figure(samples, title=title, unit=unit, half=half, loads=loads, dpi=dpi, neq=neq)
    write_atomically(target, lambda f: figure.savefig(f, format=fmt, dpi=dpi))


def channel_figure(samples: np.ndarray, *, title: str, unit: str | None, half: bool,
                   loads: Sequence[tuple[float, float]], dpi: int = 100, neq: int | None = None):
    """The figure of draw_channel, to be saved by the caller."""
    if not (isinstance(dpi, int) and 10 <= dpi <= 2000):
        raise ValueError(f"dpi {dpi!r}: use a whole number from 10 to 2000")
    means, ranges = _cycles(samples, half)
    return _figure(means, ranges, title=title, unit=unit, loads=loads, dpi=dpi, neq=neq)


def _cycles(samples: np.ndarray, half: bool) -> tuple[np.ndarray, np.ndarray]:
    """Means and ranges of the finite half cycles as two float64 arrays."""
    signal = np.ascontiguousarray(samples, dtype=np.float64)
    # An empty signal has no cycle (the module refuses it as a caller's fault).
    cycles = cyclewright.halfcycles(signal, half) if signal.size else []
    # The list of tuples is by far the largest object: copy it out at once,
    # without an intermediate object per cycle, and let it go.
    count = len(cycles)
    records = np.fromiter(itertools.chain.from_iterable(cycles), dtype=np.float64, count=2 * count)
    del cycles
    records = records.reshape(count, 2)
    if not np.isfinite(records).all():  # NaN samples make NaN cycles: no place on an axis
        records = records[np.isfinite(records).all(axis=1)]
    return records[:, 0], records[:, 1]


def _axis_label(name: str, unit: str | None) -> str:
    return f"{name} [{unit}]" if unit else name


def _figure(means: np.ndarray, ranges: np.ndarray, *, title: str, unit: str | None,
            loads: Sequence[tuple[float, float]], dpi: int, neq: int | None):
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.colors import LogNorm
    from matplotlib.figure import Figure
    from matplotlib.ticker import FuncFormatter, LogLocator

    figure = Figure(figsize=(11.0, 4.6), dpi=dpi)
    FigureCanvasAgg(figure)
    # Fixed margins: the constrained layout solver costs more than the drawing.
    # The left ones leave room for tick labels of seven digits and their axis label.
    figure.subplots_adjust(left=0.09, right=0.98, bottom=0.12, top=0.84, wspace=0.3)
    histogram_axes, spectrum_axes = figure.subplots(1, 2)
    figure.suptitle(f"{title}\n{ranges.size} half cycles, {HALF_CYCLE * ranges.size:g} cycles", fontsize=11)

    if ranges.size:
        counts, range_edges, mean_edges = np.histogram2d(ranges, means, bins=HISTOGRAM_BINS)
        counts *= HALF_CYCLE
        mesh = histogram_axes.pcolormesh(range_edges, mean_edges, np.ma.masked_equal(counts.T, 0.0),
                                         cmap="viridis", norm=LogNorm(vmin=HALF_CYCLE, vmax=max(counts.max(), 1.0)))
        bar = figure.colorbar(mesh, ax=histogram_axes, label="cycles", pad=0.02)
        bar.minorticks_off()
        # 1-2-5 ticks in plain numbers: a sparse channel spans less than a decade.
        wide = counts.max() / HALF_CYCLE > 1000  # over three decades: powers of ten only
        bar.ax.yaxis.set_major_locator(LogLocator(subs=(1.0,) if wide else (1.0, 2.0, 5.0)))
        bar.ax.yaxis.set_major_formatter(FuncFormatter(lambda value, _: f"{value:g}"))
        exceeded, levels = _spectrum(ranges)
        spectrum_axes.step(exceeded, levels, where="post", color="tab:blue", label="spectrum")
        spectrum_axes.set_xscale("log")
        # Minor ticks at 2 and 5 only: each tick is costly to draw, eight a decade doubled the time.
        spectrum_axes.xaxis.set_minor_locator(LogLocator(subs=(2.0, 5.0)))
        _mark_loads(spectrum_axes, loads, unit, neq)
    else:
        for axes in (histogram_axes, spectrum_axes):
            axes.text(0.5, 0.5, "no finite cycle", transform=axes.transAxes, ha="center")

    # Loads from 10^4 on get a power of ten beside the axis: long tick labels
    # would run into each other and push the axis label off the picture.
    histogram_axes.ticklabel_format(axis="both", style="sci", scilimits=(-3, 4))
    spectrum_axes.ticklabel_format(axis="y", style="sci", scilimits=(-3, 4))
    histogram_axes.set_xlabel(_axis_label("range", unit))
    histogram_axes.set_ylabel(_axis_label("mean", unit))
    histogram_axes.set_title("range-mean histogram", fontsize=10)
    spectrum_axes.set_xlabel("cycles with at least this range (cumulative)")
    spectrum_axes.set_ylabel(_axis_label("range", unit))
    spectrum_axes.set_title("cumulative range spectrum", fontsize=10)
    spectrum_axes.grid(True, which="both", alpha=0.3)
    return figure


def _spectrum(ranges: np.ndarray) -> tuple[np.ndarray, np.ndarray]:
    """(cycles with at least this range, range) at a few thousand points,
    ranges falling: every point of the first steps, then geometric spacing."""
    descending = np.sort(ranges)[::-1]
    n = descending.size
    picked = np.unique(np.concatenate([
        np.arange(min(n, SPECTRUM_POINTS // 3)),
        np.geomspace(1, n, SPECTRUM_POINTS).astype(np.int64) - 1,
    ]))
    return HALF_CYCLE * (picked + 1), descending[picked]


def _count(n: int) -> str:
    """10000000 -> '1e7', 2000000 -> '2e6', 1500 -> '1500'."""
    mantissa, _, exponent = f"{n:.0e}".partition("e")
    return f"{mantissa}e{int(exponent)}" if n >= 10**4 and float(f"{n:.0e}") == n else str(n)


def _mark_loads(axes, loads: Sequence[tuple[float, float]], unit: str | None, neq: int | None) -> None:
    """A dashed line at each finite equivalent load, labelled in the legend
    with the cycles it stands for: a load at 1e7 cycles may lie far beyond a
    spectrum of a few hundred."""
    colours = itertools.cycle(["tab:red", "tab:orange", "tab:green", "tab:purple", "tab:brown", "tab:pink"])
    suffix = f" {unit}" if unit else ""
    for (m, load), colour in zip(loads, colours, strict=False):  # the colours repeat
        if np.isfinite(load):
            axes.axhline(load, color=colour, linestyle="--", linewidth=1.0,
                         label=f"DEL m={m:g}: {load:.5g}{suffix}")
    if loads:
        title = f"DEL at neq = {_count(neq)} cycles" if neq is not None else None
        axes.legend(loc="upper right", fontsize=8, framealpha=0.85, title=title, title_fontsize=8)
