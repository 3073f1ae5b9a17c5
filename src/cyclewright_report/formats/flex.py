"""FLEX `.int` results: a binary header (two int32, a 60-byte title, two
int32, the number of sensors n, n sensor numbers, two int32, float32 start
time and time step, n float32 scale factors), then one row of n
little-endian int16 per time step; a sample is its int16 times its sensor's
scale factor. Names, units and descriptions come from the file `sensor` in
the same folder, when there is one."""

from __future__ import annotations

import os
import struct
from collections.abc import Callable, Sequence

import numpy as np

from .header import FormatError, Header, freeze, unique_names
from .sniff import BINARY, OUTB, expect, read_head

_NAME_WIDTH = 8  # the sensor file's name and description share one field


def _sensor_list(folder: str) -> dict[int, tuple[str, str | None, str | None]]:
    """{sensor number: (name, unit, description)} from the folder's `sensor`
    file: two title lines, then per sensor its number, gain, offset,
    correction, volt, unit, and the name (8 characters) with its description."""
    path = os.path.join(folder, "sensor")
    try:
        with open(path, "rb") as f:
            raw = f.read().splitlines()[2:]
    except FileNotFoundError:
        return {}
    except OSError as exc:
        raise FormatError(path, f"cannot read: {exc.strerror or exc}") from None
    sensors = {}
    for number, line in enumerate(raw, 3):
        cells = line.decode("latin-1").split()
        if not cells:
            continue
        try:
            nr = int(cells[0])
        except ValueError:
            raise FormatError(path, f"{cells[0]!r} is not a sensor number", number, 1) from None
        if len(cells) < 7:
            raise FormatError(path, "fewer than 7 fields (number, gain, offset, correction, volt, "
                              "unit, name)", number)
        text = " ".join(cells[6:])
        sensors[nr] = (text[:_NAME_WIDTH].strip(), cells[5] or None, text[_NAME_WIDTH:].strip() or None)
    return sensors


def read_header(path: str) -> Header:
    """The header of a FLEX `.int` file. Sensor 1, when the sensor file
    names it Time in s, is left out: time comes from the start time and
    step instead, and `time` is 'Time' (beside the channels). A sensor the
    sensor file does not name is called 'sensor N'. Repeated names are made
    distinct (`unique_names`)."""
    expect(path, (BINARY, OUTB), "a FLEX .int file")  # its first bytes may look like OpenFAST's
    head = read_head(path, 1 << 20)
    try:
        (n,) = struct.unpack_from("<i", head, 76)
        if not 0 < n <= (len(head) - 96) // 8:
            raise struct.error
        numbers = struct.unpack_from(f"<{n}i", head, 80)
        start, step = struct.unpack_from("<2f", head, 88 + 4 * n)
        scale = np.array(struct.unpack_from(f"<{n}f", head, 96 + 4 * n), dtype=np.float64)
    except struct.error:
        raise FormatError(path, "not a FLEX .int file (its header is too short or its "
                          "number of sensors impossible)") from None
    offset = 96 + 8 * n
    size = os.path.getsize(path)
    if (size - offset) % (2 * n):
        raise FormatError(path, f"{size - offset} bytes of samples are no whole number of rows "
                          f"of {n} int16 sensors: a damaged or foreign file")
    sensors = _sensor_list(os.path.dirname(os.path.abspath(path)))
    info = [sensors.get(nr, (f"sensor {nr}", None, None)) for nr in numbers]
    keep = [k for k, nr in enumerate(numbers) if not (nr == 1 and info[k][:2] == ("Time", "s"))]
    layout = {"offset": offset, "sensors": n, "keep": tuple(keep), "scale": scale,
              "start": float(start), "step": float(step)}
    return Header(path, "flex", unique_names(info[k][0] for k in keep),
                  tuple(info[k][1] for k in keep), tuple(info[k][2] for k in keep),
                  (size - offset) // (2 * n), "Time", None, "int16", freeze(layout))


def read_data(path: str, header: Header, columns: Sequence[int] | None = None, *,
              on_bytes: Callable[[int, int], None] | None = None) -> tuple[np.ndarray | None, np.ndarray]:
    """(time, samples): the time (start + k * step) and the channels
    `columns` (indices into `header.names`, default all) as float64, one
    contiguous column per channel. `on_bytes(done, size)`, if given, hears
    when all is read."""
    layout = header.layout
    n, keep, scale = int(layout["sensors"]), layout["keep"], layout["scale"]
    cols = list(range(len(header.names))) if columns is None else list(columns)
    rows = int(header.samples or 0)
    try:
        table = np.memmap(path, dtype="<i2", mode="r", offset=int(layout["offset"]),
                          shape=(rows, n)) if rows else np.empty((0, n), "<i2")
    except OSError as exc:
        raise FormatError(path, f"cannot read: {exc.strerror or exc}") from None
    values = np.empty((rows, len(cols)), dtype=np.float64, order="F")
    for k, j in enumerate(cols):
        values[:, k] = table[:, keep[j]]
        values[:, k] *= scale[keep[j]]
    del table
    if on_bytes is not None:
        on_bytes(rows, rows)
    time = float(layout["start"]) + float(layout["step"]) * np.arange(rows, dtype=np.float64)
    return time, values
