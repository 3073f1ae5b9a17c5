"""Text tables under any extension: an optional preamble (--skip-rows) and
comment lines (--comment), a header row naming the columns (or --names), an
optional units row, then one row of numbers per time step. The table
helpers of the formats package read them: any line end, any single-byte
encoding, the delimiter found per file unless given, pandas' C parser for
the numbers."""

from __future__ import annotations

from collections.abc import Callable

from ..formats.table import Layout, iter_lines, parse_numbers, split_cells, table_layout
from ..model import LoadHistory, Options, ReportError
from .columns import finish_history, load_indices, time_index
from .reader import Header




class TextReader:
    """Text tables: the header is the names row and the units row."""

    def __init__(self, path: str, options: Options):
        self.path, self.options = path, options

    def header(self) -> Header:
        path, options = self.path, self.options
        layout = table_layout(path, delimiter=options.delimiter, skip_rows=options.skip_rows,
                              comment=options.comment, names=options.names,
                              encoding=options.encoding, decimal=options.decimal)
        if layout.sep == options.decimal:
            raise ReportError(f"{path}: its cells are separated by {layout.sep!r}, the decimal mark; "
                              "give another --delimiter")
        names = list(layout.names)
        time = time_index(names, options, path)
        loads = load_indices(names, options, path, time)
        return Header(names, list(layout.units), time, loads, time is not None, layout=layout)

    def read(self, header: Header,
             on_bytes: Callable[[int, int], None] | None = None) -> LoadHistory:
        path, options, layout = self.path, self.options, header.layout
        time, chosen = header.time, header.loads
        assert chosen is not None and header.names is not None and header.units is not None
        used = sorted(set(chosen + ([time] if time is not None else [])))
        data = parse_numbers(path, start=layout.start, line=layout.line, width=len(layout.names),
                             sep=layout.sep, usecols=used, decimal=options.decimal,
                             comment=options.comment, on_bytes=on_bytes)
        if data.shape[0] == 0:
            raise ReportError(f"{path}: channel {header.names[chosen[0]]!r} is empty: no samples "
                              "under the header")
        columns = {j: data[:, k] for k, j in enumerate(used)}
        names = header.names

        def where(j: int, i: int) -> str:
            number, _ = _nth_row(path, layout, options, i)
            return f"{path}: line {number}, column {j + 1} ({names[j]!r})"

        def shown(j: int, i: int) -> str:
            return repr(_nth_row(path, layout, options, i)[1][j].strip())

        return finish_history(path, header, [columns[j] for j in chosen],
                              columns[time] if time is not None else None, options, where, shown)


def _nth_row(path: str, layout: Layout, options: Options, index: int) -> tuple[int, list[str]]:
    """(line number, cells) of the index-th row of numbers: the slow road
    that names the line of a fault."""
    with open(path, "rb") as f:
        k = 0
        for number, _, raw in iter_lines(f, layout.start, layout.line):
            text = raw.decode("latin-1")
            if options.comment:
                text = text.split(options.comment, 1)[0]
            if text.strip():
                if k == index:
                    return number, split_cells(text, layout.sep)
                k += 1
    raise AssertionError("fewer rows than samples")
