"""One file's work: read it, count each channel, draw its pictures. A plain
function of picklable arguments, for worker processes and clusters."""

from __future__ import annotations

import os
from collections.abc import Callable, Sequence
from typing import Any

from . import matrices, naming, pictures
from .counting import counted_signal
from .damage_table import channel_damage
from .exponents import exponents_for
from .fatigue_count import count_channel
from .model import Channel, FileFailure, FileResult, Options, ReportError, Row
from .statistics import file_statistics
from .reading import Header, read_load_history


def _is_panic(exc: BaseException) -> bool:
    # The module's internal failures derive from BaseException and cannot be
    # pickled back from a worker process; the input checks keep every known
    # cause away, so one here is reported, not swallowed.
    return type(exc).__module__ == "pyo3_runtime"


def _draw(target: str, samples: Any, channel: Channel, path: str, options: Options,
          loads: Sequence[tuple[float, float, float]]) -> None:
    try:
        pictures.draw_channel(target, samples, title=f"{path}: {channel.name}", unit=channel.unit,
                              half=options.half, loads=[(m, plain) for m, plain, _ in loads],
                              dpi=options.dpi, fmt=options.plot_format)
    except OSError as exc:
        raise ReportError(f"{target}: cannot write the picture: {exc.strerror or exc}") from None
    except Exception as exc:
        raise ReportError(f"{target}: cannot draw the picture ({type(exc).__name__}: {exc})") from None


def analyse_file(path: str, options: Options, prefix: str | None = None,
                 on_channel: Callable[[], None] | None = None,
                 on_bytes: Callable[[int, int], None] | None = None,
                 header: Header | None = None) -> FileResult:
    """Reads one load history, computes its table rows and, if the options
    name a folder, draws one picture per channel into it. `prefix` starts
    the pictures' names (naming.picture_prefixes), `header` is the file's
    from read_header, if the run has parsed it already."""
    try:
        history = read_load_history(path, options, on_bytes, header)
    except MemoryError:
        raise ReportError(f"{path}: not enough memory to read it") from None
    channels = history.channels
    names = naming.picture_names(prefix or naming.default_prefix(path), [c.name for c in channels],
                                 options.plot_format)
    for folder in (options.plot_dir, options.matrix_dir):
        if folder is not None:
            os.makedirs(folder, exist_ok=True)  # a cluster worker's own file system
    statistics, extremes = file_statistics(path, channels, history.time, options.extremes_context)
    matrix_names = naming.picture_names(prefix or naming.default_prefix(path), [c.name for c in channels], "npz")
    rows: list[Row] = []
    drawn: list[str] = []
    damage, written = [], []
    for channel, picture, stat, matrix_name in zip(channels, names, statistics, matrix_names, strict=True):
        samples = counted_signal(channel.samples, options)
        # The largest range of a count with merged flat tops is max - min.
        bins = (matrices.edges(stat.min, stat.max, stat.max - stat.min, options.matrix_bins)
                if options.matrix_dir is not None else None)
        try:
            count = count_channel(samples, exponents_for(channel.name, options), options,
                                  cycles=bool(options.sn), bins=bins)
        except BaseException as exc:
            if not _is_panic(exc):
                raise
            raise ReportError(f"{path}: channel {channel.name!r}: the analysis failed: {exc}") from None
        loads = count.loads
        merged = channel.samples.size - samples.size
        rows.extend(Row(path, channel.name, channel.samples.size, m, plain, closed, merged,
                        channel.unit, history.duration) for m, plain, closed in loads)
        damage += channel_damage(path, channel.name, count.cycles, options) if options.sn else []
        if options.matrix_dir is not None and count.matrix is not None:
            written.append(matrices.write_channel(path, channel.name, os.path.join(options.matrix_dir, matrix_name),
                                                  options.run_id, *count.matrix))
        del count
        if options.plot_dir is not None:
            target = os.path.join(options.plot_dir, picture)
            _draw(target, samples, channel, path, options, loads)
            drawn.append(target)
        del samples
        if on_channel is not None:
            on_channel()
    return FileResult(path, len(channels), rows, drawn, history.duration, statistics, extremes, damage, written)


def analyse_or_fail(path: str, options: Options, prefix: str | None = None,
                    on_channel: Callable[[], None] | None = None,
                    on_bytes: Callable[[int, int], None] | None = None,
                    header: Header | None = None) -> FileResult | FileFailure:
    """analyse_file, with a bad file's error returned instead of raised."""
    try:
        return analyse_file(path, options, prefix, on_channel, on_bytes, header)
    except ReportError as exc:
        return FileFailure(path, str(exc))
