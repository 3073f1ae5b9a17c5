"""NumPy `.npy` files: a 1-D array (one channel, named '0') or a 2-D array
whose columns are the channels ('0', '1', ...). Never unpickled."""

from __future__ import annotations

import math
from collections.abc import Callable

import numpy as np

from ..model import Channel, LoadHistory, Options, ReportError
from .columns import check_samples, check_window, load_indices, only_nan, open_checked
from .reader import Header


def _array_header(path: str) -> tuple[tuple[int, ...], np.dtype]:
    try:
        with open_checked(path) as f:
            version = np.lib.format.read_magic(f)
            if version == (1, 0):
                shape, _, dtype = np.lib.format.read_array_header_1_0(f)
            else:
                shape, _, dtype = np.lib.format.read_array_header_2_0(f)
            start = f.tell()
            data_bytes = f.seek(0, 2) - start
    except OSError as exc:
        raise ReportError(f"{path}: cannot read: {exc.strerror}") from None
    except ValueError as exc:
        raise ReportError(f"{path}: not a .npy file ({exc})") from None
    if len(shape) not in (1, 2):
        raise ReportError(
            f"{path}: a {len(shape)}-dimensional array; a load history is 1-D (one channel) "
            "or 2-D (one column per channel)")
    claimed = math.prod(shape) * dtype.itemsize
    if claimed > data_bytes:  # checked before np.load allocates what the header claims
        raise ReportError(f"{path}: a damaged .npy file (its header claims {shape} samples, "
                          f"{claimed} bytes, but {data_bytes} bytes follow it)")
    return shape, dtype


class NpyReader:
    """The header is the array's: its shape names the channels."""

    def __init__(self, path: str, options: Options):
        self.path, self.options = path, options

    def header(self) -> Header:
        shape, dtype = _array_header(self.path)
        if len(shape) == 2 and shape[1] == 0:
            raise ReportError(f"{self.path}: the array has no columns, so no channels")
        check_window(self.path, False, self.options)
        names = ["0"] if len(shape) == 1 else [str(j) for j in range(shape[1])]
        loads = load_indices(names, self.options, self.path, None)
        return Header(names, [None] * len(names), None, loads, False, rows=shape[0], layout=dtype)

    def read(self, header: Header, on_bytes: Callable[[int, int], None] | None = None) -> LoadHistory:
        path, options, dtype = self.path, self.options, header.layout
        if dtype.kind not in "fiub":
            # Objects would have to be unpickled, which can run any code: never.
            raise ReportError(f"{path}: samples of type {dtype}; a load history holds real numbers")
        try:
            array = np.load(path, allow_pickle=False)
        except (ValueError, EOFError) as exc:
            raise ReportError(f"{path}: a damaged .npy file ({exc})") from None
        except OSError as exc:
            raise ReportError(f"{path}: cannot read: {exc.strerror or exc}") from None
        if array.shape[0] == 0:
            raise ReportError(f"{path}: channel '0' is empty: the array has no rows")
        table = array.astype(np.float64).reshape(array.shape[0], -1)  # native byte order
        chosen = header.loads
        assert chosen is not None

        def where(flat: int) -> str:
            i, j = divmod(flat, table.shape[1])
            return f"{path}: row {i}, column {j}" if array.ndim == 2 else f"{path}: index {i}"

        check_samples(table.ravel(), options.allow_nan, where, lambda flat: repr(float(table.flat[flat])))
        channels = []
        for j in chosen:
            # A column of a row-major table is strided; the module reads contiguous memory only.
            values = np.ascontiguousarray(table[:, j])
            if np.isnan(values).all():
                raise only_nan(path, str(j))
            channels.append(Channel(str(j), values, options.unit))
        return LoadHistory(channels, None, tuple(header.names or ()))
