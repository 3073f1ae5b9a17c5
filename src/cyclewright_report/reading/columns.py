"""The rules every kind of file shares: which column is time, which columns
are loads, which samples the module may take, and how long a file lasts."""

from __future__ import annotations

import fnmatch
import re
from collections.abc import Callable, Sequence
from typing import BinaryIO

import numpy as np

from ..model import Options, ReportError

# "time" in any case, alone or with its unit in brackets: "Time [s]", "TIME(s)".
TIME_NAME = re.compile(r"time(\s*(\[\s*s\s*\]|\(\s*s\s*\)))?", re.IGNORECASE)


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
    named 'time' in any case, alone or with '[s]' or '(s)'."""
    if options.time_column is not None:
        if options.time_column not in names:
            raise ReportError(f"{path}: no column named {options.time_column!r} (--time-column)")
        return names.index(options.time_column)
    found = [j for j, name in enumerate(names) if TIME_NAME.fullmatch(name)]
    if len(found) > 1:
        raise ReportError(f"{path}: {len(found)} columns are named time; choose one with --time-column")
    return found[0] if found else None


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


def plain_unit(text: str) -> str | None:
    """A unit as written in a units row, without its brackets: '(kN)' -> 'kN'."""
    text = text.strip()
    if len(text) >= 2 and (text[0], text[-1]) in (("(", ")"), ("[", "]"), ("{", "}")):
        text = text[1:-1].strip()
    return text or None
