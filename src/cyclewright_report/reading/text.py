"""Text tables under any extension: a header row naming the columns, an
optional units row, then one row of numbers per time step. pandas' C parser
reads the numbers; Python looks at the few lines of the header and, only
when something is wrong, walks the rows again to name the line and the cell."""

from __future__ import annotations

import csv
import dataclasses
import re
from collections import Counter
from collections.abc import Callable, Iterator

import numpy as np

from ..model import Channel, LoadHistory, Options, ReportError
from .columns import (check_samples, duration_of, load_indices, only_nan, open_checked, plain_unit,
                      time_index)
from .reader import Header

WHITESPACE = "ws"
USUAL_DELIMITERS = {",": "','", ";": "';'", "\t": "'\\t'", "|": "'|'"}
# Python's float() reads these as NaN; pandas needs them named. Nothing else
# (no empty cell, no 'NA') may become NaN unnoticed.
NAN_TEXTS = ["nan", "NaN", "NAN", "-nan", "-NaN", "-NAN", "+nan", "+NaN", "+NAN"]
CHUNK_ROWS = 1 << 18  # rows per parser chunk: progress, and memory in step with the file


@dataclasses.dataclass(frozen=True)
class Layout:
    names: list[str]
    units: list[str | None]
    data_offset: int  # byte where the numbers start
    data_line: int  # its line number, counting from 1
    hint: str  # appended to errors that a wrong delimiter explains


def _decode(raw: bytes, path: str) -> str:
    try:
        # utf-8-sig: spreadsheet programs often start their files with a BOM.
        return raw.decode("utf-8-sig").rstrip("\r\n")
    except UnicodeDecodeError:
        raise ReportError(f"{path}: not a UTF-8 text file") from None


def split_cells(line: str, delimiter: str) -> list[str]:
    if delimiter == WHITESPACE:
        return line.split()
    return next(csv.reader([line], delimiter=delimiter), [])


def is_number(text: str, decimal: str = ".") -> bool:
    text = text.strip()
    if decimal != ".":
        if "." in text:
            return False
        text = text.replace(decimal, ".")
    try:
        float(text)
    except ValueError:
        return False
    return "_" not in text  # float() takes 1_000, the parser does not


def _holds_number(cell: str, decimal: str) -> bool:
    """A number, or numbers joined by another delimiter than the one used."""
    return any(is_number(part, decimal) for part in re.split(r"[,;\t| ]+", cell))


def _hint(header: str, names: list[str], delimiter: str) -> str:
    """A delimiter the header seems to use instead of the one asked for."""
    if len(names) != 1:
        return ""
    for candidate, shown in USUAL_DELIMITERS.items():
        if candidate != delimiter and candidate in header:
            return f" (the header holds {shown}: try --delimiter {shown})"
    if delimiter != WHITESPACE and len(header.split()) > 1:
        return " (the header holds spaces: try --delimiter ws)"
    return ""


def read_layout(path: str, options: Options) -> Layout:
    """The names, the units and where the numbers begin, from the first lines."""
    with open_checked(path) as f:
        first = f.readline()
        header = _decode(first, path)
        names = [cell.strip() for cell in split_cells(header, options.delimiter)]
        if not any(names):
            raise ReportError(f"{path}: no header row; the first line must name the channels")
        hint = _hint(header, names, options.delimiter)
        for column, name in enumerate(names, 1):
            if not name:
                raise ReportError(f"{path}: column {column} has no name in the header row")
        if all(is_number(name, options.decimal) for name in names):
            # Without this check the first samples would silently become names.
            raise ReportError(f"{path}: the first line holds numbers; it must name the channels")
        repeated = [name for name, count in Counter(names).items() if count > 1]
        if repeated:
            raise ReportError(f"{path}: the channel name {repeated[0]!r} appears more than once")
        offset, line = len(first), 2
        units: list[str | None] = [None] * len(names)
        while raw := f.readline():
            text = _decode(raw, path)
            if text.strip():
                cells = split_cells(text, options.delimiter)
                if not any(_holds_number(c, options.decimal) for c in cells):
                    # A row with no number in it, right after the header: units.
                    units = [plain_unit(c) for c in cells] + units[len(cells):]
                    offset, line = offset + len(raw), line + 1
                break
            offset, line = offset + len(raw), line + 1
    return Layout(names, units[:len(names)], offset, line, hint)


def _data_rows(path: str, layout: Layout, options: Options) -> Iterator[tuple[int, list[str]]]:
    """(line number, cells) of every non-blank row of numbers: the slow road
    that finds the line of a fault."""
    with open(path, "rb") as f:
        f.seek(layout.data_offset)
        for number, raw in enumerate(f, layout.data_line):
            try:
                text = raw.decode("utf-8").rstrip("\r\n")
            except UnicodeDecodeError:
                raise ReportError(f"{path}: line {number}: not UTF-8 text") from None
            if text.strip():
                yield number, split_cells(text, options.delimiter)


def _first_fault(path: str, layout: Layout, options: Options, used: list[int]) -> ReportError | None:
    width = len(layout.names)
    for number, cells in _data_rows(path, layout, options):
        if len(cells) != width:
            return ReportError(f"{path}: line {number}: {len(cells)} cells, but the header names "
                               f"{width} channels{layout.hint}")
        for j in used:
            cell = cells[j]
            if not is_number(cell, options.decimal):
                what = "an empty cell" if not cell.strip() else f"{cell.strip()!r} is not a number"
                return ReportError(f"{path}: line {number}, column {j + 1} ({layout.names[j]!r}): "
                                   f"{what}{layout.hint}")
    return None


def _parse(path: str, layout: Layout, options: Options, used: list[int],
           on_bytes: Callable[[int, int], None] | None) -> dict[int, np.ndarray]:
    """The columns `used`, each one contiguous float64 array."""
    import pandas as pd  # the reader of every run, but not of `--help`

    sep = r"\s+" if options.delimiter == WHITESPACE else options.delimiter
    # Reading every column lets the parser refuse rows of another width; a
    # column left out may hold text (a date, a status) and is not parsed.
    every = len(used) == len(layout.names)
    parts: dict[int, list[np.ndarray]] = {j: [] for j in used}
    with open(path, "rb") as f:
        size = f.seek(0, 2)
        f.seek(layout.data_offset)
        chunks = pd.read_csv(
            f, sep=sep, header=None, index_col=False, dtype=np.float64, engine="c",
            decimal=options.decimal, keep_default_na=False, na_values=NAN_TEXTS,
            skip_blank_lines=True, encoding="utf-8", chunksize=CHUNK_ROWS,
            usecols=None if every else used)
        with chunks:
            for chunk in chunks:
                if every and chunk.shape[1] != len(layout.names):
                    raise ValueError("another number of cells than the header names")
                for j, column in parts.items():
                    column.append(chunk[j].to_numpy())
                if on_bytes is not None:
                    on_bytes(f.tell(), size)
    columns = {}
    for j in used:  # joined one column at a time, each chunk let go once copied
        pieces = parts.pop(j)
        columns[j] = np.ascontiguousarray(pieces[0] if len(pieces) == 1 else np.concatenate(pieces))
        del pieces
    return columns


class TextReader:
    """Text tables: the header is the names row and the units row."""

    def __init__(self, path: str, options: Options):
        if options.delimiter is None:
            options = dataclasses.replace(options, delimiter=",")
        self.path, self.options = path, options

    def header(self) -> Header:
        path, options = self.path, self.options
        layout = read_layout(path, options)
        time = time_index(layout.names, options, path)
        loads = load_indices(layout.names, options, path, time)
        return Header(layout.names, layout.units, time, loads, time is not None, layout=layout)

    def read(self, header: Header,
             on_bytes: Callable[[int, int], None] | None = None) -> LoadHistory:
        path, options, layout = self.path, self.options, header.layout
        time, chosen = header.time, header.loads
        assert chosen is not None
        used = sorted(chosen + ([time] if time is not None else []))
        try:
            columns = _parse(path, layout, options, used, on_bytes)
        except UnicodeDecodeError:
            raise ReportError(f"{path}: not a UTF-8 text file") from None
        except Exception as exc:  # pandas' EmptyDataError, ParserError, ValueError
            if "No columns to parse" in str(exc):
                columns = {}
            else:
                fault = _first_fault(path, layout, options, used)
                raise (fault or ReportError(f"{path}: cannot read the numbers ({exc}){layout.hint}")) from None
        if not columns or columns[chosen[0]].size == 0:
            raise ReportError(f"{path}: channel {layout.names[chosen[0]]!r} is empty: no samples under "
                              f"the header{layout.hint}")

        def where_in(j: int) -> Callable[[int], str]:
            def where(i: int) -> str:
                number, _ = _nth_row(path, layout, options, i)
                return f"{path}: line {number}, column {j + 1} ({layout.names[j]!r})"
            return where

        def shown_in(j: int) -> Callable[[int], str]:
            return lambda i: repr(_nth_row(path, layout, options, i)[1][j].strip())

        channels = []
        for j in chosen:
            check_samples(columns[j], options.allow_nan, where_in(j), shown_in(j))
            if np.isnan(columns[j]).all():
                raise only_nan(path, layout.names[j])
            unit = options.unit if options.unit is not None else layout.units[j]
            channels.append(Channel(layout.names[j], columns[j], unit))
        duration = duration_of(columns[time], path) if time is not None else None
        return LoadHistory(channels, duration)


def _nth_row(path: str, layout: Layout, options: Options, index: int) -> tuple[int, list[str]]:
    for k, row in enumerate(_data_rows(path, layout, options)):
        if k == index:
            return row
    raise AssertionError("fewer rows than samples")
