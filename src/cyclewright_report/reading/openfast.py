"""OpenFAST output files, `.out` (text) and `.outb` (binary), read by NREL's
own reader package, openfast-io (the `openfast` extra). Their first column
is Time, their second header row the units: the rules of text tables apply."""

from __future__ import annotations

import os

import numpy as np

from ..model import Channel, LoadHistory, Options, ReportError
from .columns import check_samples, duration_of, load_indices, only_nan, plain_unit, time_index

SUFFIXES = (".out", ".outb")
OPENFAST_HINT = "reading OpenFAST output needs pip install 'cyclewright[openfast]'"


def _load(path: str) -> tuple[np.ndarray, list[str], list[str]]:
    if not os.path.exists(path):
        raise ReportError(f"{path}: no such file")
    if os.path.isdir(path):
        raise ReportError(f"{path}: is a folder, not a file")
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


def read_openfast(path: str, options: Options) -> LoadHistory:
    data, names, units = _load(path)
    time = time_index(names, options, path)
    chosen = load_indices(names, options, path, time)
    if data.shape[0] == 0:
        raise ReportError(f"{path}: channel {names[chosen[0]]!r} is empty: the file has no time steps")
    channels = []
    for j in chosen:
        values = np.ascontiguousarray(data[:, j])
        name = names[j]

        def where(i: int) -> str:
            return f"{path}: time step {i}, channel {name!r}"

        check_samples(values, options.allow_nan, where, lambda i: repr(float(values[i])))
        if np.isnan(values).all():
            raise only_nan(path, names[j])
        unit = options.unit if options.unit is not None else (plain_unit(units[j]) if j < len(units) else None)
        channels.append(Channel(names[j], values, unit))
    duration = duration_of(data[:, time], path) if time is not None else None
    return LoadHistory(channels, duration)


def openfast_names(path: str) -> list[str]:
    return _load(path)[1]
