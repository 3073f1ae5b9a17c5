"""Text tables of numbers: the lines of a header read in Python (any line
end, any single-byte encoding, fields of any length), the numbers by pandas'
C parser, and a fault named by its line and column.

`read_table` reads a whole table; `parse_numbers` is the number-reading part
the other text formats share (HAWC2 ASCII, FAST text output)."""

from __future__ import annotations

import dataclasses
import io
import os
import re
from collections.abc import Callable, Iterator, Sequence
from typing import BinaryIO

import numpy as np

from .header import FormatError, plain_unit, unique_names
from .sniff import TEXT, expect

WHITESPACE = "ws"
DELIMITERS = ("\t", ";", ",")  # a tie goes to the first
# Python's float() reads these as NaN; pandas needs them named. Nothing else
# (no empty cell, no 'NA') may become NaN unnoticed.
NAN_TEXTS = ["nan", "NaN", "NAN", "-nan", "-NaN", "-NAN", "+nan", "+NaN", "+NAN"]
CHUNK_ROWS = 1 << 18  # rows per parser chunk: memory in step with the file
CHECKED_ROWS = 8  # rows looked at in Python before pandas converts anything
MAX_HEADER_LINE = 1 << 26  # a header line longer than 64 MiB is no header
_LINE_END = re.compile(rb"\r\n|\r|\n")


def iter_lines(f: BinaryIO, offset: int = 0, number: int = 1,
               max_line: int | None = None) -> Iterator[tuple[int, int, bytes]]:
    """(line number, byte offset of the next line, line without its end) from
    `offset` on, lines ended by LF, CR LF or CR alone."""
    f.seek(offset)
    buf = b""
    while True:
        chunk = f.read(max(1 << 16, len(buf)))  # growing with a long line: linear time
        buf += chunk
        pos = 0
        while (m := _LINE_END.search(buf, pos)) is not None:
            if chunk and m.end() == len(buf) and m.group() == b"\r":
                break  # the LF of a CR LF may start the next chunk
            yield number, offset + m.end(), buf[pos:m.start()]
            number, pos = number + 1, m.end()
        offset, buf = offset + pos, buf[pos:]
        if max_line is not None and len(buf) > max_line:
            raise ValueError(f"line {number} is longer than {max_line} bytes")
        if not chunk:
            if buf:
                yield number, offset + len(buf), buf
            return


def decode(raw: bytes, encoding: str | None, path: str, line: int) -> str:
    """A line as text: in `encoding` when given, else UTF-8 (a BOM dropped)
    or, failing that, Latin-1, which reads any byte (units such as 'kN·m'
    written by Windows programs)."""
    try:
        return raw.decode(encoding or "utf-8-sig")
    except UnicodeDecodeError:
        if encoding:
            raise FormatError(path, f"not {encoding} text", line) from None
        return raw.decode("latin-1")
    except LookupError:
        raise FormatError(path, f"no encoding named {encoding!r}") from None


def split_cells(line: str, delimiter: str) -> list[str]:
    """The cells of a line: split at runs of whitespace (WHITESPACE) or at a
    single character, double quotes keeping a delimiter inside a cell.
    Unlike the csv module, a cell may be of any length."""
    if delimiter == WHITESPACE:
        return line.split()
    if '"' not in line:
        return line.split(delimiter)
    cells, cell, quoted, i = [], [], False, 0
    while i < len(line):
        c = line[i]
        if c == '"' and quoted and line[i + 1:i + 2] == '"':
            cell.append('"')
            i += 1
        elif c == '"':
            quoted = not quoted
        elif c == delimiter and not quoted:
            cells.append("".join(cell))
            cell = []
        else:
            cell.append(c)
        i += 1
    cells.append("".join(cell))
    return cells


def sniff_delimiter(line: str) -> str:
    """The delimiter of a table from one line: the most frequent of tab,
    ';' and ',' (a tie goes to that order), else WHITESPACE.

    >>> sniff_delimiter('Time;Load'), sniff_delimiter('Time  Load')
    (';', 'ws')
    """
    counts = [(line.count(d), -k, d) for k, d in enumerate(DELIMITERS)]
    count, _, best = max(counts)
    return best if count else WHITESPACE


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


class _Slice(io.RawIOBase):
    """The bytes of a file from `start` to `end` (None: to its end)."""

    def __init__(self, f: io.BufferedReader, start: int, end: int | None):
        super().__init__()
        self._f, self._left = f, None if end is None else end - start
        f.seek(start)

    def readable(self) -> bool:
        return True

    def readinto(self, buffer) -> int:  # type: ignore[override]
        view = memoryview(buffer)
        if self._left is not None:
            view = view[:self._left]
        n = self._f.readinto(view)
        if self._left is not None:
            self._left -= n
        return n


def _fault(path: str, f: BinaryIO, start: int, line: int, width: int, sep: str, decimal: str,
           comment: str | None, usecols: Sequence[int], end: int | None,
           rows: int | None = None) -> FormatError | None:
    """The first row of the wrong width or with a cell that is not a number
    (within the first `rows` rows when given): the slow road, in Python."""
    for number, after, raw in iter_lines(f, start, line):
        if end is not None and after > end:
            break
        text = decode(raw, None, path, number)
        if comment:
            text = text.split(comment, 1)[0]
        if not text.strip():
            continue
        cells = split_cells(text, sep)
        if len(cells) != width:
            return FormatError(path, f"{len(cells)} cells, but the header names {width} channels", number)
        for j in usecols:
            if not is_number(cells[j], decimal):
                what = "an empty cell" if not cells[j].strip() else f"{cells[j].strip()[:40]!r} is not a number"
                return FormatError(path, what, number, j + 1)
        if rows is not None:
            rows -= 1
            if rows == 0:
                break
    return None


def parse_numbers(path: str, *, start: int, line: int, width: int, sep: str = WHITESPACE,
                  end: int | None = None, usecols: Sequence[int] | None = None, decimal: str = ".",
                  comment: str | None = None, rows: int | None = None,
                  on_bytes: Callable[[int, int], None] | None = None) -> np.ndarray:
    """The numbers of a table from byte `start` (line number `line`) to byte
    `end`, rows of `width` cells: a float64 array of one column per entry of
    `usecols` (default: every column), each column contiguous (Fortran
    order). `rows` is how many rows there must be, when known.
    `on_bytes(done, size)`, if given, hears after each chunk how far into
    the file the parser has read.

    The first rows are checked in Python before pandas converts anything,
    so that a file of another kind fails at once, not after a parse of all
    of it; pandas reads with float64 cells throughout, chunk by chunk."""
    import pandas as pd  # imported by the reading of text only

    cols = list(range(width)) if usecols is None else list(usecols)
    try:
        with open(path, "rb") as f:
            fault = _fault(path, f, start, line, width, sep, decimal, comment, cols, end, CHECKED_ROWS)
            if fault is not None:
                raise fault
            pieces = []
            reader = pd.read_csv(
                io.BufferedReader(_Slice(f, start, end), 1 << 20), sep=r"\s+" if sep == WHITESPACE else sep,
                header=None, index_col=False, dtype=np.float64, engine="c", decimal=decimal,
                comment=comment, keep_default_na=False, na_values=NAN_TEXTS, skip_blank_lines=True,
                # Numbers are ASCII; any other byte only makes its cell no number.
                encoding="utf-8", encoding_errors="replace", chunksize=CHUNK_ROWS,
                usecols=cols if len(cols) < width else None, nrows=None if rows is None else rows + 1)
            size = os.fstat(f.fileno()).st_size
            with reader:
                for chunk in reader:
                    if len(cols) == width and chunk.shape[1] != width:
                        raise ValueError("another number of cells than the header names")
                    # Column by column: each a view of the parser's own block, no interleaving.
                    pieces.append([chunk[c].to_numpy(np.float64) for c in cols])
                    if on_bytes is not None:
                        on_bytes(f.tell(), size)
            if on_bytes is not None:
                on_bytes(size, size)  # the lines after the numbers are read too, as it were
    except FormatError:
        raise
    except OSError as exc:
        raise FormatError(path, f"cannot read: {exc.strerror or exc}") from None
    except Exception as exc:  # pandas' EmptyDataError, ParserError, ValueError
        if "No columns to parse" in str(exc):
            pieces = []
        else:
            with open(path, "rb") as f:
                fault = _fault(path, f, start, line, width, sep, decimal, comment, cols, end)
            raise (fault or FormatError(path, f"cannot read the numbers ({exc})")) from None
    total = sum(p[0].shape[0] for p in pieces)
    if rows is not None and total != rows:
        found = f"{total}" if total < rows else "more"
        raise FormatError(path, f"{found} rows of numbers, but the header says {rows}")
    data = np.empty((total, len(cols)), dtype=np.float64, order="F")
    at = 0
    pieces.reverse()
    while pieces:  # each chunk let go once copied: the table is not held twice
        piece = pieces.pop()
        for k, column in enumerate(piece):  # contiguous writes, not a strided copy of rows
            data[at:at + column.shape[0], k] = column
        at += piece[0].shape[0]
        del piece
    return data


@dataclasses.dataclass(frozen=True)
class Layout:
    """Where a text table's numbers are and how its cells are split."""
    names: tuple[str, ...]  # made distinct (unique_names)
    units: tuple[str | None, ...]
    sep: str  # the delimiter, given or found
    start: int  # byte where the numbers start
    line: int  # its line number, counting from 1


def table_layout(path: str, *, delimiter: str | None = None, skip_rows: int = 0,
                 comment: str | None = None, names: Sequence[str] | None = None,
                 encoding: str | None = None, decimal: str = ".") -> Layout:
    """The header of a text table, read_table's options: from its first lines alone."""
    expect(path, TEXT, "a text table")
    with open(path, "rb") as f:
        lines = iter_lines(f, max_line=MAX_HEADER_LINE)
        try:
            first, begin = None, 0
            for number, offset, raw in lines:
                begin, line_start = offset, begin
                if number <= skip_rows:
                    continue
                text = decode(raw, encoding, path, number)
                if comment:
                    text = text.split(comment, 1)[0]
                if text.strip():
                    first = (number, offset, line_start, text)
                    break
            if first is None:
                raise FormatError(path, "no table: the file holds no line to read")
            number, offset, line_start, text = first
            sep = delimiter or sniff_delimiter(text)
            if names is not None:
                found = list(names)
                start, line = line_start, number  # the first line holds numbers
                units: list[str | None] = [None] * len(found)
            else:
                found = [cell.strip() for cell in split_cells(text, sep)]
                if all(is_number(cell, decimal) for cell in found):
                    raise FormatError(path, "the first row holds numbers; it must name the columns "
                                      "(or give them: --names)", number)
                for column, name in enumerate(found, 1):
                    if not name:
                        raise FormatError(path, "a column without a name in the header row", number, column)
                start, line = offset, number + 1
                units = [None] * len(found)
                for number, offset, raw in lines:
                    text = decode(raw, encoding, path, number)
                    if comment:
                        text = text.split(comment, 1)[0]
                    if text.strip():
                        cells = split_cells(text, sep)
                        if not any(is_number(part, decimal) for c in cells for part in re.split(r"[,;\t| ]+", c)):
                            units = [plain_unit(c) for c in cells[:len(found)]]
                            units += [None] * (len(found) - len(units))
                            start, line = offset, number + 1
                        break
                    start, line = offset, number + 1
        except ValueError as exc:
            if isinstance(exc, FormatError):
                raise
            raise FormatError(path, str(exc)) from None
    return Layout(unique_names(found), tuple(units), sep, start, line)


def read_table(path: str, *, delimiter: str | None = None, skip_rows: int = 0,
               comment: str | None = None, names: Sequence[str] | None = None,
               encoding: str | None = None, decimal: str = ".",
               ) -> tuple[tuple[str, ...], tuple[str | None, ...], np.ndarray]:
    """(names, units, data) of a text table: after `skip_rows` lines, a row
    naming the columns (unless `names` are given for a table without one),
    an optional units row (a row with no number in it: 's', '(kN)',
    '[kNm]'; a unit is None where there is none), then one row of numbers
    per time step, as a float64 array with one contiguous column per name.
    Lines end in LF, CR LF or CR alone.

    `delimiter` is ',', ';', '\\t', any other single character or WHITESPACE
    (runs of blanks); None finds it from the first row (`sniff_delimiter`).
    Lines starting with `comment` are skipped and the rest of a line after
    it ignored. Header lines are read in `encoding`, by default UTF-8 or
    else Latin-1. Repeated names are made distinct (`unique_names`)."""
    layout = table_layout(path, delimiter=delimiter, skip_rows=skip_rows, comment=comment,
                          names=names, encoding=encoding, decimal=decimal)
    data = parse_numbers(path, start=layout.start, line=layout.line, width=len(layout.names),
                         sep=layout.sep, decimal=decimal, comment=comment)
    return layout.names, layout.units, data
