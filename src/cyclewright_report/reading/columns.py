"""The rules every kind of file shares: which column is time, which columns
are loads, which samples the module may take, and how long a file lasts."""

from __future__ import annotations

import fnmatch
from collections.abc import Callable, Sequence
from typing import Any, BinaryIO

import numpy as np

from ..formats import FormatError, find_time_column
from ..model import Channel, LoadHistory, Options, ReportError


def open_checked(path: str) -> BinaryIO:
    try:
        return open(path, "rb")
    except FileNotFoundError:
        raise ReportError(f"{path}: no such file") from None
    except IsADirectoryError:
        raise ReportError(f"{path}: is a folder, not a file") from None
    except OSError as exc:
        raise ReportError(f"{path}: cannot read: {exc.strerror}") from None


def time_index(names: Sequence[str], options: Options, path: str) -> int | None:
    """The column that holds time in seconds, if any: --time-column, or one
    named time, Time [s], Time [sec], Time (s) or t in any case."""
    try:
        time = find_time_column(names, options.time_column, path=path)
    except FormatError as exc:
        raise ReportError(f"{exc} (--time-column)") from None
    check_window(path, time is not None, options)
    return time


def check_window(path: str, timed: bool, options: Options) -> None:
    if not timed and (options.t_start is not None or options.t_end is not None):
        raise ReportError(f"{path}: no time column, so no --t-start or --t-end (see --time-column)")


def _matches(name: str, patterns: Sequence[str]) -> bool:
    return any(fnmatch.fnmatchcase(name, p) for p in patterns)


def load_indices(names: Sequence[str], options: Options, path: str, time: int | None) -> list[int]:
    """The columns analysed as loads, in the file's order: all but time,
    narrowed by --channels and --exclude. A pattern may match nothing in
    one file; the run checks that it matches in some file."""
    chosen = [j for j, name in enumerate(names)
              if j != time
              and (not options.channels or _matches(name, options.channels))
              and not _matches(name, options.exclude)]
    if not chosen:
        raise ReportError(f"{path}: no channel left to analyse (see --channels, --exclude, --time-column)")
    return chosen


def check_samples(values: np.ndarray, allow_nan: bool, where: Callable[[int], str],
                  shown: Callable[[int], str]) -> None:
    """Refuses infinities always and NaN unless allowed, naming the first one."""
    bad = ~np.isfinite(values)
    if allow_nan:
        bad &= ~np.isnan(values)
    if bad.any():
        i = int(np.argmax(bad))
        hint = " (--allow-nan lets NaN through)" if np.isnan(values[i]) else ""
        raise ReportError(f"{where(i)}: non-finite sample {shown(i)}{hint}")


def only_nan(path: str, name: str) -> ReportError:
    return ReportError(f"{path}: channel {name!r} holds only NaN samples")


def duration_of(time: np.ndarray, path: str) -> float | None:
    """The span the samples cover, n steps of the mean time step: the last
    time minus the first, times n / (n - 1)."""
    if time.size < 2:
        return None
    if not np.isfinite(time).all():
        raise ReportError(f"{path}: the time column holds a non-finite value")
    span = float(time[-1] - time[0])
    if not span > 0:
        raise ReportError(f"{path}: the time column does not increase")
    return span * time.size / (time.size - 1)


def window(time: np.ndarray, options: Options, path: str) -> np.ndarray | None:
    """The rows at times t with t_start <= t <= t_end (None: all of them)."""
    if options.t_start is None and options.t_end is None:
        return None
    keep = np.ones(time.size, dtype=bool)
    if options.t_start is not None:
        keep &= time >= options.t_start
    if options.t_end is not None:
        keep &= time <= options.t_end
    rows = np.flatnonzero(keep)
    if rows.size == 0:
        raise ReportError(f"{path}: no sample between --t-start and --t-end "
                          f"(its time runs from {time.min():g} to {time.max():g} s)")
    return rows


def _namer(path: str, name: str, j: int, rows: np.ndarray | None,
           given: Callable[[int, int], str] | None,
           values: np.ndarray | None = None) -> Callable[[int], str]:
    """Where the i-th kept sample of column j is (values None) or how it reads."""
    def named(i: int) -> str:
        row = int(rows[i]) if rows is not None else i
        if given is not None:
            return given(j, row)
        return repr(float(values[i])) if values is not None else f"{path}: sample {row}, channel {name!r}"
    return named


def finish_history(path: str, header: Any, loads: Sequence[np.ndarray], time: np.ndarray | None,
                   options: Options, where: Callable[[int, int], str] | None = None,
                   shown: Callable[[int, int], str] | None = None) -> LoadHistory:
    """The channels of the columns `loads` (header.loads, in order) and the
    file's duration from `time`, the samples within --t-start and --t-end,
    each channel checked for the module. where(j, i) and shown(j, i) name
    the i-th sample of column j for an error (default: by its index)."""
    rows = window(time, options, path) if time is not None else None
    if time is not None and rows is not None:
        time = time[rows]
    channels = []
    for j, values in zip(header.loads, loads, strict=True):
        name = header.names[j]
        if rows is not None:
            values = values[rows]
        values = np.ascontiguousarray(values, dtype=np.float64)
        check_samples(values, options.allow_nan, _namer(path, name, j, rows, where),
                      _namer(path, name, j, rows, shown, values))
        if np.isnan(values).all():
            raise only_nan(path, name)
        unit = options.unit if options.unit is not None else header.units[j]
        channels.append(Channel(name, values, unit))
    duration = duration_of(time, path) if time is not None else None
    return LoadHistory(channels, duration, tuple(header.names), time)
