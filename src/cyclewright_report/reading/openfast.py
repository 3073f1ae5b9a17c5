"""OpenFAST binary output files (`.outb`), read by NREL's own reader
package, openfast-io (the `openfast` extra). Their first column is Time,
their units come with the names: the rules of text tables apply. (Text
output, `.out`, is read by the formats package: fast_text.)"""

from __future__ import annotations

from collections.abc import Callable

import numpy as np

from ..formats import FormatError
from ..formats.header import plain_unit, unique_names
from ..formats.sniff import OUTB, expect
from ..model import LoadHistory, Options, ReportError
from .columns import finish_history, load_indices, time_index
from .reader import Header

OPENFAST_HINT = "reading OpenFAST output needs pip install 'cyclewright[openfast]'"


def _load(path: str) -> tuple[np.ndarray, list[str], list[str]]:
    try:
        from openfast_io.FAST_output_reader import FASTOutputFile
    except ImportError:
        raise ReportError(f"{path}: {OPENFAST_HINT}") from None
    try:
        output = FASTOutputFile(path)
    except Exception as exc:  # the reader raises whatever its parsing meets
        raise ReportError(f"{path}: not a readable OpenFAST output file "
                          f"({type(exc).__name__}: {exc})") from None
    data = np.asarray(output.data, dtype=np.float64)
    names = [str(n).strip() for n in output.info["attribute_names"]]
    units = [str(u) for u in output.info.get("attribute_units") or []]
    if data.ndim != 2 or data.shape[1] != len(names):
        raise ReportError(f"{path}: {len(names)} channel names, but rows of "
                          f"{data.shape[-1] if data.ndim else 0} values")
    return data, names, units


class OpenFastReader:
    """openfast-io reads a whole file at once, so the header tells only that
    the file is there and binary: its names come with the samples, from
    read(), repeated names made distinct as in every format."""

    def __init__(self, path: str, options: Options):
        self.path, self.options = path, options

    def header(self) -> Header:
        try:
            expect(self.path, OUTB, "an OpenFAST binary output file")
        except FormatError as exc:
            raise ReportError(str(exc)) from None
        return Header(None, None, None, None, timed=True)

    def read(self, header: Header, on_bytes: Callable[[int, int], None] | None = None) -> LoadHistory:
        path, options = self.path, self.options
        data, names, units = _load(path)
        names = list(unique_names(names))
        time = time_index(names, options, path)
        chosen = load_indices(names, options, path, time)
        if data.shape[0] == 0:
            raise ReportError(f"{path}: channel {names[chosen[0]]!r} is empty: the file has no time steps")
        units_of = [plain_unit(units[j]) if j < len(units) else None for j in range(len(names))]
        full = Header(names, units_of, time, chosen, True)

        def where(j: int, i: int) -> str:
            return f"{path}: time step {i}, channel {names[j]!r}"

        return finish_history(path, full, [data[:, j] for j in chosen],
                              data[:, time] if time is not None else None, options, where)
