"""gtsdf, HAWC2's time series in HDF5 (`.hdf5`): the file's attributes
`type` ('General time series data format') and `no_blocks`; the datasets
`attribute_names`, `attribute_units`, `attribute_descriptions`; groups
`block0000`, `block0001`, ... each holding `data` (time steps x channels,
floats, or integers scaled by `gains` and shifted by `offsets` per channel,
the integer type's largest value standing for a missing sample), and
`time` (or the step numbers) scaled by the attributes `time_step` and
shifted by `time_start`. Read with h5py, the `hawc2` extra."""

from __future__ import annotations

from collections.abc import Callable, Sequence

import numpy as np

from .header import FormatError, Header, freeze, unique_names
from .sniff import HAWC2_EXTRA, HDF5, expect

TYPE = "general time series data format"


def _h5py(path: str):
    try:
        import h5py
    except ImportError:
        raise FormatError(path, f"reading gtsdf .hdf5 files needs {HAWC2_EXTRA}") from None
    return h5py


def _text(value: object) -> str:
    return value.decode("latin-1") if isinstance(value, bytes) else str(value)


def _open(path: str):
    expect(path, HDF5, "a gtsdf .hdf5 file")
    h5py = _h5py(path)
    try:
        return h5py.File(path, "r")
    except OSError as exc:
        raise FormatError(path, f"not a readable HDF5 file ({exc})") from None


def _blocks(path: str, f) -> list:
    kind = _text(f.attrs.get("type", b"")).lower()
    if kind != TYPE or "no_blocks" not in f.attrs:
        raise FormatError(path, "an HDF5 file, but not a gtsdf time series (its 'type' attribute is "
                          "not 'General time series data format')")
    blocks = [f[name] for name in (f"block{k:04d}" for k in range(int(f.attrs["no_blocks"]))) if name in f]
    if not blocks or any("data" not in b or b["data"].ndim != 2 for b in blocks):
        raise FormatError(path, "a gtsdf file without its blocks of data")
    if len({b["data"].shape[1] for b in blocks}) != 1:
        raise FormatError(path, "gtsdf blocks of different numbers of channels")
    return blocks


def read_header(path: str) -> Header:
    """The header of a gtsdf file. Channels without a name are called
    'attribute N' (N from 1); repeated names are made distinct
    (`unique_names`). `time` is 'Time', kept beside the channels."""
    with _open(path) as f:
        blocks = _blocks(path, f)
        width = blocks[0]["data"].shape[1]

        def texts(key: str) -> list[str | None]:
            values: list[str | None] = [_text(v) for v in f[key][:]] if key in f else []
            return (values + [None] * width)[:width]
        names = [n or f"attribute {j + 1}" for j, n in enumerate(texts("attribute_names"))]
        dtype = str(blocks[0]["data"].dtype)
        samples = sum(int(b["data"].shape[0]) for b in blocks)
        return Header(path, "gtsdf", unique_names(names), tuple(u or None for u in texts("attribute_units")),
                      tuple(d or None for d in texts("attribute_descriptions")), samples, "Time", None,
                      dtype, freeze({}))


def read_data(path: str, header: Header, columns: Sequence[int] | None = None, *,
              on_bytes: Callable[[int, int], None] | None = None) -> tuple[np.ndarray | None, np.ndarray]:
    """(time, samples): the time and the channels `columns` (indices into
    `header.names`, default all) as float64, one contiguous column each;
    a missing sample of an integer block is NaN. `on_bytes(done, size)`,
    if given, hears after each block how many of the blocks are read."""
    cols = list(range(len(header.names))) if columns is None else list(columns)
    order = sorted(set(cols))  # HDF5 selections go in increasing order
    pick = [order.index(j) for j in cols]
    times, parts = [], []
    with _open(path) as f:
        blocks = _blocks(path, f)
        for block in blocks:
            data = block["data"]
            stored = data[:, order] if order else np.empty((data.shape[0], 0), data.dtype)
            values = stored.astype(np.float64)[:, pick]
            if data.dtype.kind in "iu":
                values[stored[:, pick] == np.iinfo(data.dtype).max] = np.nan
            if "gains" in block:
                values *= block["gains"][:][cols]
            if "offsets" in block:
                values += block["offsets"][:][cols]
            parts.append(values)
            time = (block["time"][:] if "time" in block else np.arange(data.shape[0])).astype(np.float64)
            if "time_step" in block.attrs:
                time *= block.attrs["time_step"]
            if "time_start" in block.attrs:
                time += block.attrs["time_start"]
            times.append(time)
            if on_bytes is not None:
                on_bytes(len(times), len(blocks))
    return np.concatenate(times), np.asfortranarray(np.concatenate(parts))
