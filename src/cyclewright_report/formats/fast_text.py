"""FAST (v6, v7) and OpenFAST text output (`.out`): free lines of preamble,
a row of channel names starting with Time, a row of units ('(s)', '(kN)'),
then one row of numbers per time step, cells separated by tabs or blanks;
a line of text may follow the numbers ('This output file was closed ...').
Header lines may be in any single-byte encoding (a units row 'kN·m' in
Latin-1): UTF-8 is tried first, then Latin-1."""

from __future__ import annotations

import os
from collections.abc import Callable, Sequence

import numpy as np

from .header import FormatError, Header, freeze, plain_unit, unique_names
from .sniff import TEXT, expect
from .table import WHITESPACE, decode, is_number, iter_lines, parse_numbers

HEADER_LINES = 200  # the names row comes within these, or the file is no FAST output
TAIL_BYTES = 1 << 16  # trailing text is looked for in the file's last bytes


def read_header(path: str) -> Header:
    """The header of a FAST text output file: the names row is the first
    whose first word is 'Time' (in any case), the units row the next;
    units lose their brackets. Repeated names are made distinct
    (`unique_names`). `samples` is None: only reading tells."""
    expect(path, TEXT, "FAST text output")
    with open(path, "rb") as f:
        lines = iter_lines(f, max_line=1 << 24)
        try:
            found = None
            for number, offset, raw in lines:
                if number > HEADER_LINES:
                    break
                words = decode(raw, None, path, number).split()
                if words and words[0].lower() == "time":
                    found = (number, offset, unique_names(words))
                    break
            if found is None:
                raise FormatError(path, f"no row of channel names starting with Time in its first "
                                  f"{HEADER_LINES} lines: not FAST text output")
            number, start, names = found
            line = number + 1
            units: tuple[str | None, ...] = (None,) * len(names)
            for unit_line, unit_end, raw in lines:
                cells = decode(raw, None, path, unit_line).split()
                if cells and not any(is_number(c) for c in cells):
                    if len(cells) != len(names):
                        raise FormatError(path, f"{len(cells)} units for {len(names)} channels", unit_line)
                    units = tuple(plain_unit(c) for c in cells)
                    start, line = unit_end, unit_line + 1
                break
        except ValueError as exc:
            if isinstance(exc, FormatError):
                raise
            raise FormatError(path, str(exc)) from None
    end = _numbers_end(path, start)
    return Header(path, "fast-text", names, units, (None,) * len(names), None, names[0], 0, "text",
                  freeze({"start": start, "line": line, "end": end}))


def _numbers_end(path: str, start: int) -> int:
    """The byte where the numbers end: before the blank lines and the lines
    of text that close the file."""
    size = os.path.getsize(path)
    begin = max(start, size - TAIL_BYTES)
    with open(path, "rb") as f:
        f.seek(begin)
        tail = f.read()
    end = len(tail)
    while end > 0:
        cut = max(tail.rfind(b"\n", 0, end - 1), tail.rfind(b"\r", 0, end - 1))
        if cut < 0 and begin > start:
            break  # a last line longer than the tail: leave it to the parser
        words = tail[cut + 1:end].split()
        if words and is_number(words[0].decode("latin-1")):
            break
        end = cut + 1
    return begin + end


def read_data(path: str, header: Header, columns: Sequence[int] | None = None, *,
              on_bytes: Callable[[int, int], None] | None = None) -> tuple[np.ndarray | None, np.ndarray]:
    """(time, samples): the Time column and the channels `columns` (indices
    into `header.names`, default all) as float64, one contiguous column
    each, parsed by pandas' C parser. `on_bytes(done, size)`, if given,
    hears how far into the file the parser has read."""
    cols = list(range(len(header.names))) if columns is None else list(columns)
    wanted = sorted(set(cols) | {0})
    layout = header.layout
    values = parse_numbers(path, start=int(layout["start"]), line=int(layout["line"]),
                           end=int(layout["end"]), width=len(header.names), sep=WHITESPACE,
                           usecols=wanted, on_bytes=on_bytes)
    if values.shape[0] == 0:
        raise FormatError(path, "no time steps under the header")
    return np.ascontiguousarray(values[:, 0]), np.asfortranarray(values[:, [wanted.index(j) for j in cols]])
