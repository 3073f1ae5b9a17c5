"""One file's work: read it, count each channel, draw its pictures. A plain
function of picklable arguments, for worker processes and clusters."""

from __future__ import annotations

import os
from collections.abc import Callable, Sequence
from typing import Any

from . import naming, pictures
from .atomic import write_new
from .counting import counted_signal, equivalent_loads
from .model import Channel, FileFailure, FileResult, Options, ReportError, Row
from .reading import Header, read_load_history


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
    if options.plot_dir is not None and options.run_id is None:
        # Called alone: the folder is made here. A run of the command has made
        # it, and a worker that does not see it must fail, not make its own.
        os.makedirs(options.plot_dir, exist_ok=True)
    names = naming.picture_names(prefix or naming.default_prefix(path), [c.name for c in channels],
                                 options.plot_format)
    rows: list[Row] = []
    drawn: list[str] = []
    for channel, picture in zip(channels, names, strict=True):
        samples = counted_signal(channel.samples, options)
        try:
            loads = equivalent_loads(samples, options)
        except BaseException as exc:
            if not _is_panic(exc):
                raise
            raise ReportError(f"{path}: channel {channel.name!r}: the analysis failed: {exc}") from None
        merged = channel.samples.size - samples.size
        rows.extend(Row(path, channel.name, channel.samples.size, m, plain, closed, merged,
                        channel.unit, history.duration) for m, plain, closed in loads)
        if options.plot_dir is not None:
            target = os.path.join(options.plot_dir, picture)
            _draw(target, samples, channel, path, options, loads)
            drawn.append(target)
        del samples
        if on_channel is not None:
            on_channel()
    return FileResult(path, len(channels), rows, drawn, history.duration, history.names)


def analyse_or_fail(path: str, options: Options, prefix: str | None = None,
                    on_channel: Callable[[], None] | None = None,
                    on_bytes: Callable[[int, int], None] | None = None,
                    header: Header | None = None) -> FileResult | FileFailure:
    """analyse_file, with a bad file's error returned instead of raised."""
    try:
        return analyse_file(path, options, prefix, on_channel, on_bytes, header)
    except ReportError as exc:
        return FileFailure(path, str(exc))
