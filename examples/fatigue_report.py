#!/usr/bin/env python3
"""The fatigue report: damage-equivalent loads and rainflow pictures of load
histories.

    fatigue_report.py LOADS [LOADS...] [--exponents 3,4,5] [--neq 1e7]
                      [--no-half] [--allow-nan] [--plots DIR | --no-plots]
                      [--jobs N] [--csv FILE] [--json FILE]

A load history is a CSV file with a header row naming one channel per column,
or a `.npy` file holding a 1-D array (one channel) or a 2-D array whose columns
are the channels. LOADS may be glob patterns ('runs/**/*.csv'), expanded here.

For each channel the report prints the damage-equivalent load for every
Wöhler exponent m at `neq` cycles, of the signal as it is and of the signal
closed at its maximum, and draws a PNG of its rainflow cycles: a range-mean
histogram and the cumulative range spectrum. Files are shared among worker
processes (the module holds the interpreter lock for a whole call, so threads
would not help). Bad input ends the run with one line on standard error and
exit status 1; nothing is written then but pictures already drawn.

The per-file work, `analyse_file`, is a plain function of picklable arguments,
so other schedulers can map it too (see dask_report.py beside this file).
"""

from __future__ import annotations

import argparse
import concurrent.futures
import contextlib
import csv
import dataclasses
import decimal
import glob
import json
import math
import multiprocessing
import os
import queue as queue_module
import re
import sys
import time
from collections import Counter
from collections.abc import Callable, Iterable, Sequence
from pathlib import Path
from typing import Any, NamedTuple, TextIO

import numpy as np

import cyclewright

PROG = "fatigue_report"
DEFAULT_EXPONENTS = (3.0, 4.0, 5.0, 8.0, 10.0, 12.0)
DEFAULT_NEQ = 10**7
NEQ_LIMIT = 2**64  # the module takes neq as an unsigned 64-bit integer


class ReportError(Exception):
    """Bad input or an unusable output path: one line for the user."""


@dataclasses.dataclass(frozen=True)
class Options:
    exponents: tuple[float, ...] = DEFAULT_EXPONENTS
    neq: int = DEFAULT_NEQ
    half: bool = True
    allow_nan: bool = False
    plot_dir: str | None = None  # None draws no pictures
    delimiter: str = ","


@dataclasses.dataclass(frozen=True)
class Channel:
    name: str
    samples: np.ndarray  # one-dimensional, contiguous float64


class Row(NamedTuple):
    file: str
    channel: str
    samples: int
    m: float
    eq_load: float
    eq_load_closed: float


@dataclasses.dataclass(frozen=True)
class FileResult:
    path: str
    channels: int
    rows: list[Row]
    pictures: list[str]


# --------------------------------------------------------------------------
# Reading load histories


def _open_text(path: str) -> TextIO:
    try:
        # utf-8-sig: spreadsheet programs often start their CSV with a BOM.
        return open(path, newline="", encoding="utf-8-sig")
    except FileNotFoundError:
        raise ReportError(f"{path}: no such file") from None
    except IsADirectoryError:
        raise ReportError(f"{path}: is a folder, not a file") from None
    except OSError as exc:
        raise ReportError(f"{path}: cannot read: {exc.strerror}") from None


def _kind(path: str) -> str:
    suffix = Path(path).suffix.lower()
    if suffix in (".csv", ".npy"):
        return suffix
    raise ReportError(f"{path}: unknown kind of file; a load history is a .csv or a .npy file")


def _is_number(text: str) -> bool:
    try:
        float(text)
    except ValueError:
        return False
    return True


def _csv_header(reader: Iterable[list[str]], path: str) -> list[str]:
    header = next(iter(reader), None)
    if not header or all(not cell.strip() for cell in header):
        raise ReportError(f"{path}: no header row; the first line must name the channels")
    names = [cell.strip() for cell in header]
    for column, name in enumerate(names, 1):
        if not name:
            raise ReportError(f"{path}: column {column} has no name in the header row")
    if all(_is_number(name) for name in names):
        # Without this check the first samples would silently become names.
        raise ReportError(f"{path}: the first line holds numbers; it must name the channels")
    repeated = [name for name, count in Counter(names).items() if count > 1]
    if repeated:
        raise ReportError(f"{path}: the channel name {repeated[0]!r} appears more than once")
    return names


def _csv_error(path: str, exc: Exception, line: int) -> ReportError:
    if isinstance(exc, UnicodeDecodeError):
        return ReportError(f"{path}: not a UTF-8 text file")
    return ReportError(f"{path}: line {line}: malformed CSV ({exc})")


def count_channels(path: str, delimiter: str = ",") -> int:
    """The number of channels of a load history, from its header alone."""
    if _kind(path) == ".npy":
        shape, _ = _npy_header(path)
        return 1 if len(shape) == 1 else shape[1]
    with _open_text(path) as f:
        reader = csv.reader(f, delimiter=delimiter)
        try:
            return len(_csv_header(reader, path))
        except (csv.Error, UnicodeDecodeError) as exc:
            raise _csv_error(path, exc, reader.line_num) from None


def _check_samples(values: np.ndarray, allow_nan: bool, where: Callable[[int], str],
                   shown: Callable[[int], str]) -> None:
    """Refuses infinities always and NaN unless allowed, naming the first one."""
    bad = ~np.isfinite(values)
    if allow_nan:
        bad &= ~np.isnan(values)
    if bad.any():
        i = int(np.argmax(bad))
        hint = " (--allow-nan lets NaN through)" if np.isnan(values[i]) else ""
        raise ReportError(f"{where(i)}: non-finite sample {shown(i)}{hint}")


def _only_nan(path: str, name: str) -> ReportError:
    return ReportError(f"{path}: channel {name!r} holds only NaN samples")


def read_csv(path: str, delimiter: str = ",", allow_nan: bool = False) -> list[Channel]:
    with _open_text(path) as f:
        reader = csv.reader(f, delimiter=delimiter)
        try:
            names = _csv_header(reader, path)
            cells: list[list[str]] = [[] for _ in names]
            lines: list[int] = []
            for row in reader:
                if all(not cell.strip() for cell in row):
                    continue  # blank lines, also at the end of the file
                if len(row) != len(names):
                    raise ReportError(
                        f"{path}: line {reader.line_num}: {len(row)} cells, but the header "
                        f"names {len(names)} channels")
                for column, cell in zip(cells, row):
                    column.append(cell)
                lines.append(reader.line_num)
        except (csv.Error, UnicodeDecodeError) as exc:
            raise _csv_error(path, exc, reader.line_num) from None

    channels = []
    for j, (name, column) in enumerate(zip(names, cells)):
        def where(i: int) -> str:
            return f"{path}: line {lines[i]}, column {j + 1} ({name!r})"

        if not column:
            raise ReportError(f"{path}: channel {name!r} is empty: no samples under the header")
        try:
            values = np.array(column, dtype=np.float64)
        except ValueError:
            # Python's float() reads a cell exactly as the array conversion does.
            for i, cell in enumerate(column):
                if not _is_number(cell):
                    what = "an empty cell" if not cell.strip() else f"{cell.strip()!r} is not a number"
                    raise ReportError(f"{where(i)}: {what}") from None
            raise
        _check_samples(values, allow_nan, where, lambda i: repr(column[i].strip()))
        if np.isnan(values).all():
            raise _only_nan(path, name)
        channels.append(Channel(name, values))
    return channels


def _npy_header(path: str) -> tuple[tuple[int, ...], np.dtype]:
    try:
        with open(path, "rb") as f:
            version = np.lib.format.read_magic(f)
            if version == (1, 0):
                shape, _, dtype = np.lib.format.read_array_header_1_0(f)
            else:
                shape, _, dtype = np.lib.format.read_array_header_2_0(f)
    except FileNotFoundError:
        raise ReportError(f"{path}: no such file") from None
    except IsADirectoryError:
        raise ReportError(f"{path}: is a folder, not a file") from None
    except OSError as exc:
        raise ReportError(f"{path}: cannot read: {exc.strerror}") from None
    except ValueError as exc:
        raise ReportError(f"{path}: not a .npy file ({exc})") from None
    if len(shape) not in (1, 2):
        raise ReportError(
            f"{path}: a {len(shape)}-dimensional array; a load history is 1-D (one channel) "
            "or 2-D (one column per channel)")
    return shape, dtype


def read_npy(path: str, allow_nan: bool = False) -> list[Channel]:
    _, dtype = _npy_header(path)
    if dtype.kind not in "fiub":
        # Objects would have to be unpickled, which can run any code: never.
        raise ReportError(f"{path}: samples of type {dtype}; a load history holds real numbers")
    try:
        array = np.load(path, allow_pickle=False)
    except (ValueError, EOFError) as exc:
        raise ReportError(f"{path}: a damaged .npy file ({exc})") from None
    except OSError as exc:
        raise ReportError(f"{path}: cannot read: {exc.strerror or exc}") from None
    if array.ndim == 2 and array.shape[1] == 0:
        raise ReportError(f"{path}: the array has no columns, so no channels")
    if array.shape[0] == 0:
        raise ReportError(f"{path}: channel '0' is empty: the array has no rows")
    table = array.astype(np.float64).reshape(array.shape[0], -1)  # native byte order

    def where(flat: int) -> str:
        i, j = divmod(flat, table.shape[1])
        return f"{path}: row {i}, column {j}" if array.ndim == 2 else f"{path}: index {i}"

    _check_samples(table.ravel(), allow_nan, where, lambda flat: repr(float(table.flat[flat])))
    channels = []
    for j in range(table.shape[1]):
        # A column of a row-major table is strided; the module reads contiguous memory only.
        values = np.ascontiguousarray(table[:, j])
        if np.isnan(values).all():
            raise _only_nan(path, str(j))
        channels.append(Channel(str(j), values))
    return channels


def read_load_history(path: str, options: Options = Options()) -> list[Channel]:
    """The channels of one file, each checked to hold samples the module can take."""
    if _kind(path) == ".npy":
        return read_npy(path, options.allow_nan)
    return read_csv(path, options.delimiter, options.allow_nan)


# --------------------------------------------------------------------------
# The analysis of a channel and of a file


def _is_panic(exc: BaseException) -> bool:
    # The module's internal failures derive from BaseException and cannot be
    # pickled back from a worker process; the input checks above keep every
    # known cause away, so one here is reported, not swallowed.
    return type(exc).__module__ == "pyo3_runtime"


def equivalent_loads(samples: np.ndarray, options: Options) -> list[tuple[float, float, float]]:
    """(m, load, load closed at the maximum) for every exponent of the options."""
    loads = []
    for m in options.exponents:
        plain = cyclewright.eq_load_python(samples, m, options.neq, options.half)
        closed = cyclewright.eq_load_max_half_cycle_closed_python(samples, m, options.neq, options.half)
        loads.append((m, plain, closed))
    return loads


def safe_name(text: str) -> str:
    """A file-name part made of letters, digits, '.', '-' and '_' only."""
    return re.sub(r"[^\w.-]+", "_", text, flags=re.ASCII).strip("._") or "unnamed"


def picture_prefixes(paths: Sequence[str]) -> list[str]:
    """One distinct picture-name prefix per input file: its stem, or, for
    stems that repeat, its path below the folder the inputs share."""
    stems = [safe_name(Path(p).stem) for p in paths]
    repeated = {s for s, count in Counter(stems).items() if count > 1}
    if repeated:
        absolute = [os.path.abspath(p) for p in paths]
        root = os.path.commonpath([os.path.dirname(a) for a in absolute])
        stems = [safe_name(os.path.relpath(a, root).replace(os.sep, "__")) if s in repeated else s
                 for a, s in zip(absolute, stems)]
    seen: Counter[str] = Counter()
    prefixes = []
    for s in stems:
        seen[s] += 1
        prefixes.append(s if seen[s] == 1 else f"{s}-{seen[s]}")
    return prefixes


def _picture_names(prefix: str, channels: Sequence[Channel]) -> list[str]:
    names = [safe_name(c.name) for c in channels]
    repeated = {n for n, count in Counter(names).items() if count > 1}
    return [f"{prefix}.{n}-{j}.png" if n in repeated else f"{prefix}.{n}.png"
            for j, n in enumerate(names)]


def make_folder(folder: str) -> None:
    try:
        os.makedirs(folder, exist_ok=True)
    except OSError as exc:
        raise ReportError(f"{folder}: cannot make the picture folder: {exc.strerror}") from None


def analyse_file(path: str, options: Options, prefix: str | None = None,
                 on_channel: Callable[[], None] | None = None) -> FileResult:
    """Reads one load history, computes its table rows and, if the options
    name a folder, draws one picture per channel into it."""
    channels = read_load_history(path, options)
    names = _picture_names(prefix or safe_name(Path(path).stem), channels)
    if options.plot_dir is not None:
        make_folder(options.plot_dir)
    rows: list[Row] = []
    pictures: list[str] = []
    for channel, picture in zip(channels, names):
        try:
            loads = equivalent_loads(channel.samples, options)
            cycles = (cyclewright.halfcycles(channel.samples, options.half)
                      if options.plot_dir is not None else None)
        except BaseException as exc:
            if not _is_panic(exc):
                raise
            raise ReportError(f"{path}: channel {channel.name!r}: the analysis failed: {exc}") from None
        rows.extend(Row(path, channel.name, channel.samples.size, m, plain, closed)
                    for m, plain, closed in loads)
        if cycles is not None:
            assert options.plot_dir is not None
            target = os.path.join(options.plot_dir, picture)
            try:
                draw_cycles(target, cycles, f"{path}: {channel.name}", loads, options)
            except OSError as exc:
                raise ReportError(f"{target}: cannot write the picture: {exc.strerror}") from None
            pictures.append(target)
        if on_channel is not None:
            on_channel()
    return FileResult(path, len(channels), rows, pictures)


# --------------------------------------------------------------------------
# Pictures


def draw_cycles(target: str, cycles: Sequence[tuple[float, float]], title: str,
                loads: Sequence[tuple[float, float, float]], options: Options) -> None:
    """A PNG with the range-mean histogram and the cumulative range spectrum.
    Every half cycle weighs 1/2 cycle, as it does in the equivalent loads."""
    # matplotlib is imported here: only the runs that draw pay for it, and the
    # Figure API keeps no global state between pictures or processes.
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.colors import LogNorm
    from matplotlib.figure import Figure

    records = np.array(cycles, dtype=np.float64).reshape(-1, 2)
    records = records[np.isfinite(records).all(axis=1)]  # NaN records have no place on an axis
    means, ranges = records[:, 0], records[:, 1]
    weight = 0.5

    fig = Figure(figsize=(11.0, 4.6), dpi=100, layout="constrained")
    FigureCanvasAgg(fig)
    histogram_axes, spectrum_axes = fig.subplots(1, 2)
    fig.suptitle(f"{title}  ({len(cycles)} half cycles, {weight * len(cycles):g} cycles)")

    if ranges.size:
        counts, range_edges, mean_edges = np.histogram2d(
            ranges, means, bins=(40, 30), weights=np.full(ranges.size, weight))
        shown = np.ma.masked_equal(counts.T, 0.0)
        mesh = histogram_axes.pcolormesh(range_edges, mean_edges, shown, cmap="viridis",
                                         norm=LogNorm(vmin=weight, vmax=max(counts.max(), 1.0)))
        fig.colorbar(mesh, ax=histogram_axes, label="cycles")

        order = np.sort(ranges)[::-1]
        exceeded = weight * np.arange(1, order.size + 1)
        spectrum_axes.step(exceeded, order, where="post", color="tab:blue")
        spectrum_axes.set_xscale("log")
        label = "\n".join(f"m = {m:g}: {plain:.5g} (closed {closed:.5g})" for m, plain, closed in loads)
        spectrum_axes.text(0.98, 0.97, f"equivalent loads at neq = {options.neq:g}\n{label}",
                           transform=spectrum_axes.transAxes, ha="right", va="top", fontsize=8,
                           bbox={"facecolor": "white", "alpha": 0.8, "edgecolor": "0.8"})
    else:
        for axes in (histogram_axes, spectrum_axes):
            axes.text(0.5, 0.5, "no finite cycle", transform=axes.transAxes, ha="center")

    histogram_axes.set_xlabel("range")
    histogram_axes.set_ylabel("mean")
    histogram_axes.set_title("range-mean histogram")
    spectrum_axes.set_xlabel("cycles with at least this range (cumulative)")
    spectrum_axes.set_ylabel("range")
    spectrum_axes.set_title("cumulative range spectrum")
    spectrum_axes.grid(True, which="both", alpha=0.3)
    fig.savefig(target, format="png")


# --------------------------------------------------------------------------
# Running over many files


def expand_inputs(patterns: Iterable[str]) -> list[str]:
    """Paths in the order given; a pattern with wildcards that names no
    existing file is expanded (sorted), and must match something."""
    paths, seen = [], set()
    for pattern in patterns:
        if re.search(r"[*?[]", pattern) and not os.path.exists(pattern):
            matches = sorted(glob.glob(pattern, recursive=True))
            if not matches:
                raise ReportError(f"{pattern}: no file matches")
        else:
            matches = [pattern]
        for path in matches:
            key = os.path.realpath(path)
            if key not in seen:
                seen.add(key)
                paths.append(path)
    return paths


class Progress:
    """One line on standard error, rewritten in place on a terminal; elsewhere
    (when asked for) a new line at every tenth of the channels and at the end."""

    def __init__(self, channels: int, files: int, enabled: bool, stream: TextIO | None = None):
        self.total, self.files, self.enabled = channels, files, enabled
        self.stream = stream if stream is not None else sys.stderr
        self.done = self.files_done = 0
        self.start = self.last = time.monotonic()
        self.tty = self.stream.isatty()
        self.tenth = 0

    def line(self) -> str:
        width = 30
        filled = width * self.done // max(self.total, 1)
        return (f"channels {self.done}/{self.total} [{'#' * filled}{'.' * (width - filled)}] "
                f"files {self.files_done}/{self.files}  {time.monotonic() - self.start:.1f} s")

    def channel(self, count: int = 1) -> None:
        self.done += count
        self._show()

    def file(self) -> None:
        self.files_done += 1
        self._show()

    def _show(self) -> None:
        if not self.enabled:
            return
        now = time.monotonic()
        if self.tty:
            if now - self.last >= 0.1 or self.done == self.total:
                self.stream.write("\r" + self.line())
                self.stream.flush()
                self.last = now
            return
        tenth = 10 * self.done // max(self.total, 1)
        if self.tenth < tenth < 10:  # the last line comes from close()
            self.tenth = tenth
            self.stream.write(self.line() + "\n")
            self.stream.flush()

    def close(self) -> None:
        if self.enabled:
            self.stream.write(("\r" if self.tty else "") + self.line() + "\n")
            self.stream.flush()


_worker_queue: Any = None  # in a worker process: where it reports each channel done


def _start_worker(queue: Any) -> None:
    global _worker_queue
    _worker_queue = queue


def _analyse_in_worker(index: int, path: str, options: Options, prefix: str) -> FileResult:
    queue = _worker_queue
    return analyse_file(path, options, prefix, on_channel=lambda: queue.put(index))


def default_jobs() -> int:
    if hasattr(os, "process_cpu_count"):  # CPython 3.13 and later
        return os.process_cpu_count() or 1
    if hasattr(os, "sched_getaffinity"):
        return len(os.sched_getaffinity(0)) or 1
    return os.cpu_count() or 1


class _ChannelTally:
    """Progress from the workers' messages, one per channel done. A message
    may arrive after its file's result: a finished file counts all its
    channels at once, and its late messages are dropped."""

    def __init__(self, progress: Progress | None):
        self.progress = progress
        self.seen: Counter[int] = Counter()
        self.finished: set[int] = set()

    def message(self, index: int) -> None:
        if index not in self.finished:
            self.seen[index] += 1
            if self.progress:
                self.progress.channel()

    def file_done(self, index: int, result: FileResult) -> None:
        self.finished.add(index)
        if self.progress:
            self.progress.channel(result.channels - self.seen[index])
            self.progress.file()

    def drain(self, queue: Any) -> None:
        while True:
            try:
                index = queue.get_nowait()
            except queue_module.Empty:
                return
            self.message(index)


def run_report(paths: Sequence[str], options: Options, jobs: int,
               progress: Progress | None = None) -> list[FileResult]:
    """The results of every file, in the order of `paths`; the first bad
    file stops the run with its ReportError."""
    prefixes = picture_prefixes(paths)
    jobs = max(1, min(jobs, len(paths)))
    if jobs == 1:
        results = []
        for path, prefix in zip(paths, prefixes):
            results.append(analyse_file(path, options, prefix,
                                        on_channel=progress.channel if progress else None))
            if progress:
                progress.file()
        return results

    # spawn: workers start clean on every platform, whatever the parent holds.
    context = multiprocessing.get_context("spawn")
    queue = context.Queue()
    tally = _ChannelTally(progress)
    results_by_index: dict[int, FileResult] = {}
    with concurrent.futures.ProcessPoolExecutor(
            max_workers=jobs, mp_context=context, initializer=_start_worker,
            initargs=(queue,)) as pool:
        futures = {pool.submit(_analyse_in_worker, index, path, options, prefix): index
                   for index, (path, prefix) in enumerate(zip(paths, prefixes))}
        pending = set(futures)
        try:
            while pending:
                done, pending = concurrent.futures.wait(
                    pending, timeout=0.1, return_when=concurrent.futures.FIRST_COMPLETED)
                tally.drain(queue)
                for future in done:
                    index = futures[future]
                    results_by_index[index] = future.result()
                    tally.file_done(index, results_by_index[index])
        except concurrent.futures.process.BrokenProcessPool:
            raise ReportError("a worker process died; run with --jobs 1 to see which file") from None
        except BaseException:
            pool.shutdown(wait=True, cancel_futures=True)
            raise
    return [results_by_index[i] for i in range(len(paths))]


# --------------------------------------------------------------------------
# Output


def residue_note(half: bool) -> str:
    if half:
        return "half = True: each half cycle of the residue counts as half a cycle"
    return "half = False: each half cycle of the residue counts as a full cycle"


def _decimals(values: Iterable[float]) -> int:
    """Decimals that give the table's largest load seven significant digits
    (three at least); the --csv and --json tables hold every digit."""
    largest = max((abs(v) for v in values if math.isfinite(v) and v != 0.0), default=1.0)
    return min(9, max(3, 6 - math.floor(math.log10(largest))))


def format_table(results: Sequence[FileResult], options: Options) -> str:
    rows = [row for result in results for row in result.rows]
    decimals = _decimals(v for row in rows for v in (row.eq_load, row.eq_load_closed))
    header = ("file", "channel", "samples", "m", "eq. load", "closed at max")
    lines: list[tuple[str, ...]] = []
    for k, row in enumerate(rows):
        new_file = k == 0 or row.file != rows[k - 1].file
        new_channel = new_file or row.channel != rows[k - 1].channel
        lines.append((row.file if new_file else "", row.channel if new_channel else "",
                      str(row.samples) if new_channel else "", f"{row.m:g}",
                      f"{row.eq_load:.{decimals}f}", f"{row.eq_load_closed:.{decimals}f}"))
    widths = [max([len(h)] + [len(line[i]) for line in lines]) for i, h in enumerate(header)]
    right = (False, False, True, True, True, True)

    def render(cells: Sequence[str]) -> str:
        return "  ".join(c.rjust(w) if r else c.ljust(w)
                         for c, w, r in zip(cells, widths, right)).rstrip()

    out = [f"equivalent loads at neq = {options.neq}; {residue_note(options.half)}",
           render(header)]
    out += [render(line) for line in lines]
    return "\n".join(out) + "\n"


FIELDS = ("file", "channel", "samples", "m", "neq", "half", "eq_load", "eq_load_closed")


def _write_atomically(target: str, write: Callable[[TextIO], None]) -> None:
    """Either the whole file or, on any failure, none: never a half table."""
    temporary = f"{target}.partial-{os.getpid()}"
    try:
        with open(temporary, "w", newline="", encoding="utf-8") as f:
            write(f)
        os.replace(temporary, target)
    except OSError as exc:
        with contextlib.suppress(OSError):
            os.unlink(temporary)
        raise ReportError(f"{target}: cannot write: {exc.strerror}") from None


def write_csv(target: str, results: Sequence[FileResult], options: Options) -> None:
    def write(f: TextIO) -> None:
        writer = csv.writer(f, lineterminator="\n")
        writer.writerow(FIELDS)
        for result in results:
            for row in result.rows:
                # repr() is the shortest text that reads back as the same double.
                writer.writerow([row.file, row.channel, row.samples, repr(row.m), options.neq,
                                 options.half, repr(row.eq_load), repr(row.eq_load_closed)])
    _write_atomically(target, write)


def _json_number(value: float) -> float | None:
    return value if math.isfinite(value) else None  # JSON has no NaN or infinity


def write_json(target: str, results: Sequence[FileResult], options: Options) -> None:
    document = {
        "neq": options.neq,
        "half": options.half,
        "exponents": list(options.exponents),
        "rows": [{"file": row.file, "channel": row.channel, "samples": row.samples, "m": row.m,
                  "eq_load": _json_number(row.eq_load),
                  "eq_load_closed": _json_number(row.eq_load_closed)}
                 for result in results for row in result.rows],
    }

    def write(f: TextIO) -> None:
        json.dump(document, f, indent=1, allow_nan=False)
        f.write("\n")
    _write_atomically(target, write)


# --------------------------------------------------------------------------
# Command line


def parse_exponents(text: str) -> tuple[float, ...]:
    exponents = []
    for part in text.split(","):
        try:
            m = float(part)
        except ValueError:
            raise argparse.ArgumentTypeError(f"{part.strip()!r} is not a number") from None
        if not (math.isfinite(m) and m > 0):
            raise argparse.ArgumentTypeError(f"a Wöhler exponent must be positive and finite, not {part.strip()}")
        exponents.append(m)
    return tuple(exponents)


def parse_neq(text: str) -> int:
    """A positive whole number of cycles, written as 10000000 or 1e7."""
    try:
        value = decimal.Decimal(text.strip().replace("_", ""))
    except decimal.InvalidOperation:
        raise argparse.ArgumentTypeError(f"{text!r} is not a number") from None
    if not value.is_finite() or value != value.to_integral_value():
        raise argparse.ArgumentTypeError(f"neq must be a whole number of cycles, not {text}")
    neq = int(value)
    if not 1 <= neq < NEQ_LIMIT:
        raise argparse.ArgumentTypeError(f"neq must be from 1 to 2**64 - 1, not {text}")
    return neq


def parse_jobs(text: str) -> int:
    try:
        jobs = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
    if jobs < 1:
        raise argparse.ArgumentTypeError("at least one job is needed")
    return jobs


def add_report_arguments(parser: argparse.ArgumentParser) -> None:
    """The options shared by this command and the cluster example."""
    parser.add_argument("inputs", nargs="+", metavar="LOADS",
                        help="load histories: .csv (header row, one column per channel) or .npy "
                             "(1-D, or 2-D with one column per channel); glob patterns allowed")
    parser.add_argument("-m", "--exponents", type=parse_exponents, default=DEFAULT_EXPONENTS,
                        metavar="M,M,...", help="Wöhler exponents (default 3,4,5,8,10,12)")
    parser.add_argument("--neq", type=parse_neq, default=DEFAULT_NEQ,
                        help="number of equivalent cycles (default 1e7)")
    parser.add_argument("--half", action=argparse.BooleanOptionalAction, default=True,
                        help="count each half cycle of the residue as half a cycle (default); "
                             "--no-half counts it as a full cycle")
    parser.add_argument("--allow-nan", action="store_true",
                        help="let NaN samples through: an interior NaN joins no cycle, a NaN first "
                             "or last sample makes the plain load NaN (infinities stay refused)")
    pictures = parser.add_mutually_exclusive_group()
    pictures.add_argument("--plots", default="fatigue-report", metavar="DIR",
                          help="folder for the pictures, one PNG per channel (default ./fatigue-report)")
    pictures.add_argument("--no-plots", dest="plots", action="store_const", const=None,
                          help="draw no pictures")
    parser.add_argument("--delimiter", default=",", help="CSV cell separator (default ',')")
    parser.add_argument("--csv", metavar="FILE", help="also write the table as CSV")
    parser.add_argument("--json", metavar="FILE", help="also write the table as JSON")
    parser.add_argument("--progress", action=argparse.BooleanOptionalAction, default=None,
                        help="show the progress line (default: when standard error is a terminal)")


def options_from(args: argparse.Namespace) -> Options:
    if len(args.delimiter) != 1:
        raise ReportError("--delimiter must be a single character")
    return Options(exponents=args.exponents, neq=args.neq, half=args.half,
                   allow_nan=args.allow_nan, plot_dir=args.plots, delimiter=args.delimiter)


def prepare(args: argparse.Namespace) -> tuple[list[str], Options, int]:
    """Inputs expanded and their headers read (so a missing or unreadable file
    stops the run before any work), and the picture folder made."""
    options = options_from(args)
    paths = expand_inputs(args.inputs)
    channels = sum(count_channels(p, options.delimiter) for p in paths)
    if options.plot_dir is not None:
        make_folder(options.plot_dir)
    return paths, options, channels


def finish(results: Sequence[FileResult], options: Options, args: argparse.Namespace,
           out: TextIO) -> None:
    if args.csv:
        write_csv(args.csv, results, options)
    if args.json:
        write_json(args.json, results, options)
    out.write(format_table(results, options))
    for result in results:
        for picture in result.pictures:
            out.write(f"picture: {picture}\n")
    for target in (args.csv, args.json):
        if target:
            out.write(f"table: {target}\n")


def main(argv: Sequence[str] | None = None, out: TextIO | None = None,
         err: TextIO | None = None) -> int:
    out = out if out is not None else sys.stdout
    err = err if err is not None else sys.stderr
    parser = argparse.ArgumentParser(prog=PROG, description=__doc__.split("\n\n")[0])
    add_report_arguments(parser)
    parser.add_argument("-j", "--jobs", type=parse_jobs, default=default_jobs(),
                        help="worker processes (default: the number of cores)")
    args = parser.parse_args(argv)
    try:
        paths, options, channels = prepare(args)
        enabled = err.isatty() if args.progress is None else args.progress
        progress = Progress(channels, len(paths), enabled, err)
        try:
            results = run_report(paths, options, args.jobs, progress)
        finally:
            progress.close()
        finish(results, options, args, out)
    except ReportError as exc:
        err.write(f"{PROG}: error: {exc}\n")
        return 1
    except KeyboardInterrupt:
        err.write(f"{PROG}: interrupted\n")
        return 130
    return 0


if __name__ == "__main__":
    sys.exit(main())
