"""HAWC2 results: a `.sel` file (the header: scans, channels, duration,
ASCII or BINARY, the channel list and, for BINARY, one scale factor per
channel) beside a `.dat` file of the same stem (the numbers). Either name
names the pair.

A BINARY `.dat` holds the channels one after the other, each as scans
little-endian int16 values; a sample is its int16 times the channel's scale
factor. An ASCII `.dat` holds one row of numbers per scan."""

from __future__ import annotations

from collections.abc import Callable, Sequence
from pathlib import Path

import numpy as np

from .header import FormatError, Header, freeze, unique_names
from .sniff import TEXT, expect, read_head
from .table import WHITESPACE, decode, parse_numbers
from .time_column import find_time_column

# The channel list is written in fixed columns.
_NAME, _UNIT, _DESCRIPTION = slice(12, 43), slice(43, 54), slice(54, None)
_SIZES_LINE = 9  # scans, channels, duration [s] and format, counting from 1
_FIRST_CHANNEL_LINE = 13


def pair(path: str) -> tuple[str, str]:
    """The `.sel` and `.dat` paths of a result, given either (or the stem)."""
    p = Path(path)
    stem = p.with_suffix("") if p.suffix.lower() in (".sel", ".dat") else p
    def beside(suffix: str) -> str:
        for s in (suffix, suffix.upper()):
            if stem.with_name(stem.name + s).exists():
                return str(stem.with_name(stem.name + s))
        return str(stem.with_name(stem.name + suffix))
    return beside(".sel"), beside(".dat")


def read_header(path: str) -> Header:
    """The header of a HAWC2 result from its `.sel` file (`path` names the
    `.sel`, the `.dat` or their stem). Channels named alike are made
    distinct by appending ' (column N)' to each repeat, N its channel
    number counting from 1 (`unique_names`); `time` is the channel named
    Time, if any (`find_time_column`)."""
    sel, dat = pair(path)
    if not Path(sel).exists():
        raise FormatError(sel, "no such file: a HAWC2 result's header, beside its .dat file")
    expect(sel, TEXT, "a HAWC2 .sel file")
    head = read_head(sel, 1 << 26)
    lines = [decode(raw, None, sel, n) for n, raw in enumerate(head.splitlines(), 1)]
    if len(lines) < _SIZES_LINE:
        raise FormatError(sel, "too short for a HAWC2 .sel file (no line of scans and channels)")
    sizes = lines[_SIZES_LINE - 1].split()
    try:
        scans, channels, duration = int(sizes[0]), int(sizes[1]), float(sizes[2])
        kind = sizes[3].upper()
    except (IndexError, ValueError):
        raise FormatError(sel, "expected scans, channels, time and format (ASCII or BINARY)",
                          _SIZES_LINE) from None
    if kind not in ("ASCII", "BINARY") or scans < 0 or channels <= 0:
        raise FormatError(sel, f"not a HAWC2 result header: {lines[_SIZES_LINE - 1].strip()!r}", _SIZES_LINE)
    end = _FIRST_CHANNEL_LINE - 1 + channels
    if len(lines) < end:
        raise FormatError(sel, f"the channel list ends after {len(lines) - _FIRST_CHANNEL_LINE + 1} "
                          f"of {channels} channels", len(lines))
    rows = lines[_FIRST_CHANNEL_LINE - 1:end]
    names = unique_names(row[_NAME].strip() for row in rows)
    units = tuple(row[_UNIT].strip() or None for row in rows)
    descriptions = tuple(row[_DESCRIPTION].strip() or None for row in rows)
    layout: dict[str, object] = {"dat": dat, "duration": duration}
    if kind == "BINARY":
        layout["scale"] = _scale_factors(sel, lines, end, channels)
    time = find_time_column(names, path=sel)
    return Header(sel, f"hawc2-{kind.lower()}", names, units, descriptions, scans,
                  None if time is None else names[time], time,
                  "int16" if kind == "BINARY" else "text", freeze(layout))


def _scale_factors(sel: str, lines: list[str], end: int, channels: int) -> np.ndarray:
    for k in range(end, len(lines)):
        if lines[k].strip().lower().startswith("scale factors"):
            values = lines[k + 1:k + 1 + channels]
            try:
                factors = np.array([float(v) for v in values], dtype=np.float64)
            except ValueError:
                bad = next(j for j, v in enumerate(values) if not _is_float(v))
                raise FormatError(sel, f"{values[bad].strip()!r} is not a scale factor", k + 2 + bad) from None
            if factors.size != channels:
                raise FormatError(sel, f"{factors.size} scale factors for {channels} channels", len(lines))
            return factors
    raise FormatError(sel, "a BINARY result without a 'Scale factors:' list")


def _is_float(text: str) -> bool:
    try:
        float(text)
    except ValueError:
        return False
    return True


def read_data(path: str, header: Header, columns: Sequence[int] | None = None, *,
              on_bytes: Callable[[int, int], None] | None = None) -> tuple[np.ndarray | None, np.ndarray]:
    """(time or None, samples): the channels `columns` (indices into
    `header.names`, default all) of the `.dat` file as a float64 array, one
    contiguous column per channel; the time is the Time channel's samples.
    `on_bytes(done, size)`, if given, hears how much has been read."""
    dat = str(header.layout["dat"])
    cols = list(range(len(header.names))) if columns is None else list(columns)
    wanted = cols if header.time_index is None or header.time_index in cols else cols + [header.time_index]
    if header.kind == "hawc2-binary":
        values = _read_binary(dat, header, wanted, on_bytes)
    else:
        expect(dat, TEXT, "a HAWC2 ASCII .dat file")
        order = sorted(set(wanted))
        parsed = parse_numbers(dat, start=0, line=1, width=len(header.names), sep=WHITESPACE,
                               usecols=order, rows=header.samples, on_bytes=on_bytes)
        values = np.asfortranarray(parsed[:, [order.index(j) for j in wanted]])
    time = None if header.time_index is None else np.ascontiguousarray(values[:, wanted.index(header.time_index)])
    return time, values[:, :len(cols)]


def _read_binary(dat: str, header: Header, wanted: list[int],
                 on_bytes: Callable[[int, int], None] | None) -> np.ndarray:
    scans = int(header.samples or 0)
    scale = header.layout["scale"]
    expected = 2 * scans * len(header.names)
    try:
        with open(dat, "rb") as f:
            size = f.seek(0, 2)
            if size != expected:
                raise FormatError(dat, f"{size} bytes, but the .sel file's {scans} scans of "
                                  f"{len(header.names)} int16 channels take {expected}")
            values = np.empty((scans, len(wanted)), dtype=np.float64, order="F")
            for k, j in enumerate(wanted):
                f.seek(2 * scans * j)
                values[:, k] = np.fromfile(f, dtype="<i2", count=scans)
                values[:, k] *= scale[j]
                if on_bytes is not None:
                    on_bytes(2 * scans * (k + 1), 2 * scans * len(wanted))
    except FileNotFoundError:
        raise FormatError(dat, "no such file (the data beside the .sel file)") from None
    except OSError as exc:
        raise FormatError(dat, f"cannot read: {exc.strerror or exc}") from None
    return values
