"""One file's work: read it, count each channel, draw its pictures. A plain
function of picklable arguments, for worker processes and clusters."""

from __future__ import annotations

import os
from collections.abc import Callable, Sequence
from typing import Any

import numpy as np

from . import matrices, naming, pictures
from .atomic import write_new
from .counting import counted_signal
from .damage_table import Damage, channel_damage
from .exponents import exponents_for
from .fatigue_count import ChannelCount, count_channel
from .model import Channel, FileFailure, FileResult, Options, ReportError, Row
from .reading import Header, read_load_history
from .statistics import Statistics, file_statistics


def _is_panic(exc: BaseException) -> bool:
    # The module's internal failures derive from BaseException and cannot be
    # pickled back from a worker process; the input checks keep every known
    # cause away, so one here is reported, not swallowed.
    return type(exc).__module__ == "pyo3_runtime"


def _draw(target: str, samples: Any, channel: Channel, path: str, options: Options,
          loads: Sequence[tuple[float, float, float]]) -> None:
    """The picture of one channel at `target` or, in a run of the command
    (options.run_id), at its temporary, which the run puts in place."""
    title = f"{channel.name} in {os.path.basename(path)}"
    plain = [(m, load) for m, load, _ in loads]
    try:
        if options.run_id is None:
            pictures.draw_channel(target, samples, title=title, unit=channel.unit, half=options.half,
                                  loads=plain, dpi=options.dpi, fmt=options.plot_format, neq=options.neq)
        else:
            figure = pictures.channel_figure(samples, title=title, unit=channel.unit, half=options.half,
                                             loads=plain, dpi=options.dpi, neq=options.neq)
            write_new(naming.temporary_name(target, options.run_id),
                      lambda f: figure.savefig(f, format=options.plot_format, dpi=options.dpi))
    except OSError as exc:
        raise ReportError(f"{target}: cannot write the picture: {exc.strerror or exc}") from None
    except Exception as exc:
        raise ReportError(f"{target}: cannot draw the picture ({type(exc).__name__}: {exc})") from None


def _count(path: str, channel: Channel, stat: Statistics,
           options: Options) -> tuple[np.ndarray, ChannelCount, list[Damage]]:
    """A channel's merged samples, counts and damage; the cycles are let go."""
    samples = counted_signal(channel.samples, options)
    # The largest range of a count with merged flat tops is max - min.
    bins = (matrices.edges(stat.min, stat.max, stat.max - stat.min, options.matrix_bins)
            if options.matrix_dir is not None else None)
    count = count_channel(samples, exponents_for(channel.name, options), options,
                          cycles=bool(options.sn), bins=bins)
    damage = channel_damage(path, channel.name, count.cycles, options) if options.sn else []
    return samples, count._replace(cycles=None), damage


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
    for folder in (options.plot_dir, options.matrix_dir):
        if folder is not None and options.run_id is None:
            # Called alone: the folder is made here. A run of the command has made
            # it, and a worker that does not see it must fail, not make its own.
            os.makedirs(folder, exist_ok=True)
    names = naming.picture_names(prefix or naming.default_prefix(path), [c.name for c in channels],
                                 options.plot_format)
    statistics, extremes = file_statistics(path, channels, history.time, options.extremes_context)
    matrix_names = naming.picture_names(prefix or naming.default_prefix(path), [c.name for c in channels], "npz")
    rows: list[Row] = []
    drawn: list[str] = []
    damage, written = [], []
    for channel, stat, picture, matrix_name in zip(channels, statistics, names, matrix_names, strict=True):
        try:
            samples, count, channel_damage_rows = _count(path, channel, stat, options)
        except BaseException as exc:
            if not _is_panic(exc):
                raise
            raise ReportError(f"{path}: channel {channel.name!r}: the analysis failed: {exc}") from None
        loads = count.loads
        merged = channel.samples.size - samples.size
        rows.extend(Row(path, channel.name, channel.samples.size, m, plain, closed, merged,
                        channel.unit, history.duration) for m, plain, closed in loads)
        damage += channel_damage_rows
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
    return FileResult(path, len(channels), rows, drawn, history.duration, history.names,
                      statistics=statistics, extremes=extremes, damage=damage, matrices=written)


def analyse_or_fail(path: str, options: Options, prefix: str | None = None,
                    on_channel: Callable[[], None] | None = None,
                    on_bytes: Callable[[int, int], None] | None = None,
                    header: Header | None = None) -> FileResult | FileFailure:
    """analyse_file, with a bad file's error returned instead of raised."""
    try:
        return analyse_file(path, options, prefix, on_channel, on_bytes, header)
    except ReportError as exc:
        return FileFailure(path, str(exc))
