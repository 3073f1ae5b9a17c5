"""OpenFAST output files, `.out` (text) and `.outb` (binary), read by NREL's
own reader package, openfast-io (the `openfast` extra). Their first column
is Time, their second header row the units: the rules of text tables apply."""

from __future__ import annotations

from collections.abc import Callable

import numpy as np

from ..model import Channel, LoadHistory, Options, ReportError
from .columns import (check_samples, duration_of, load_indices, only_nan, open_checked, plain_unit,
                      time_index)
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
    the file is there: its names come with the samples, from read()."""

    def __init__(self, path: str, options: Options):
        self.path, self.options = path, options

    def header(self) -> Header:
        open_checked(self.path).close()
        return Header(None, None, None, None, timed=True)

    def read(self, header: Header, on_bytes: Callable[[int, int], None] | None = None) -> LoadHistory:
        path, options = self.path, self.options
        data, names, units = _load(path)
        time = time_index(names, options, path)
        chosen = load_indices(names, options, path, time)
        if data.shape[0] == 0:
            raise ReportError(f"{path}: channel {names[chosen[0]]!r} is empty: the file has no time steps")
        channels = []
        for j in chosen:
            values = np.ascontiguousarray(data[:, j])

            def where(i: int, name: str = names[j]) -> str:
                return f"{path}: time step {i}, channel {name!r}"

            def shown(i: int, values: np.ndarray = values) -> str:
                return repr(float(values[i]))

            check_samples(values, options.allow_nan, where, shown)
            if np.isnan(values).all():
                raise only_nan(path, names[j])
            unit = options.unit if options.unit is not None else (plain_unit(units[j]) if j < len(units) else None)
            channels.append(Channel(names[j], values, unit))
        duration = duration_of(data[:, time], path) if time is not None else None
        return LoadHistory(channels, duration, tuple(names))
