"""One run of the report, from the inputs to the written tables: every
check that can fail before the work comes first, then the work, then the
lifetime loads and the tables."""

from __future__ import annotations

import dataclasses
import os
from collections.abc import Callable, Sequence
from typing import TextIO

from .batch import Progress, expand_inputs, picture_prefixes, run_report
from .counting import lifetime_loads, repetitions
from .model import FileFailure, FileResult, Lifetime, Options, ReportError
from .output import Outputs, format_table, remove_pictures
from .reading import count_channels, has_time_column
from .weights import match_weights, read_weights

# (paths, options, progress, keep_going, counts) -> results in the order of paths
Runner = Callable[[Sequence[str], Options, Progress, bool, Sequence[int | None]],
                  list[FileResult | FileFailure]]


@dataclasses.dataclass(frozen=True)
class Request:
    inputs: Sequence[str]
    options: Options
    csv: str | None = None
    json: str | None = None
    weights: str | None = None
    keep_going: bool = False
    progress: bool | None = None  # None: when the error stream is a terminal


def _lifetime(results: Sequence[FileResult], hours: Sequence[float], options: Options) -> Lifetime:
    counts, per_file = [], []
    for result, weight in zip(results, hours):
        duration = result.duration
        if duration is None and options.sample_rate and result.rows:
            duration = result.rows[0].samples / options.sample_rate
        if not duration:
            raise ReportError(f"{result.path}: its duration is unknown (no time column, or a single "
                              "time step); give --sample-rate")
        counts.append(repetitions(weight, duration))
        per_file.append({(row.channel, row.m): row.eq_load for row in result.rows})
    keys = set(per_file[0])
    for result, loads in zip(results, per_file):
        for channel, _ in keys.symmetric_difference(loads):
            missing = result.path if channel not in loads else results[0].path
            raise ReportError(f"{missing}: no channel {channel!r}; a lifetime load needs it in "
                              "every file (see --channels, --exclude)")
    units = {row.channel: row.unit for result in results for row in result.rows}
    return Lifetime({r.path: w for r, w in zip(results, hours)},
                    {r.path: n for r, n in zip(results, counts)},
                    lifetime_loads(per_file, counts), units)


def _new_pictures(folder: str | None, before: set[str], prefixes: Sequence[str],
                  fmt: str) -> list[str]:
    """The pictures this run drew, to take back when it writes nothing."""
    if folder is None or not os.path.isdir(folder):
        return []
    return [os.path.join(folder, name) for name in set(os.listdir(folder)) - before
            if name.endswith("." + fmt) and any(name.startswith(p + ".") for p in prefixes)]


def report(request: Request, runner: Runner, prog: str, out: TextIO, err: TextIO) -> int:
    """Runs the report; 0: all written, 1: nothing written, 2: the tables of
    the good files written, some file failed (keep_going)."""
    options = request.options
    failures: list[FileFailure] = []

    def fail(path: str, message: str) -> None:
        if not request.keep_going:
            raise ReportError(message)
        failures.append(FileFailure(path, message))
        err.write(f"{prog}: error: {message}\n")

    outputs: Outputs | None = None
    before: set[str] = set()
    paths: list[str] = []
    good: list[str] = []
    try:
        paths = expand_inputs(request.inputs)
        hours = None
        if request.weights:
            hours = match_weights(read_weights(request.weights), paths, request.weights)
        counts: list[int | None] = []
        for path in paths:  # a missing or malformed file stops the run before any work
            try:
                counts.append(count_channels(path, options))
                if hours is not None and not options.sample_rate and not has_time_column(path, options):
                    raise ReportError(f"{path}: its duration is unknown: no time column "
                                      "(see --time-column), and no --sample-rate")
                good.append(path)
            except ReportError as exc:
                fail(path, str(exc))
        outputs = Outputs(request.csv, request.json, options.plot_dir, paths)
        if options.plot_dir is not None:
            before = set(os.listdir(options.plot_dir))
        enabled = err.isatty() if request.progress is None else request.progress
        progress = Progress(sum(c or 0 for c in counts), len(good), enabled, err)
        try:
            done = runner(good, options, progress, request.keep_going, counts) if good else []
        finally:
            progress.close()
        results = [r for r in done if isinstance(r, FileResult)]
        for failure in (r for r in done if isinstance(r, FileFailure)):
            fail(failure.path, failure.message)
        if not results:
            raise ReportError("no file could be analysed; nothing written")
        lifetime = None
        if hours is not None:
            if failures:
                err.write(f"{prog}: note: no lifetime loads: {len(failures)} weighted file(s) failed\n")
            else:
                lifetime = _lifetime(results, hours, options)
        written = outputs.write(results, options, lifetime, failures)
        outputs.discard()  # only an empty, unused picture folder
    except BaseException as exc:
        # Nothing written: no table, no temporary, no picture of this run, no empty folder.
        remove_pictures(_new_pictures(options.plot_dir, before, picture_prefixes(good),
                                      options.plot_format) if outputs is not None else [])
        if outputs is not None:
            outputs.discard()
        if not isinstance(exc, (ReportError, KeyboardInterrupt)):
            raise  # a fault of the report itself: its traceback helps
        if isinstance(exc, KeyboardInterrupt):
            err.write(f"{prog}: interrupted\n")
            return 130
        err.write(f"{prog}: error: {exc}\n")
        return 1
    out.write(format_table(results, options, lifetime))
    for result in results:
        for picture in result.pictures:
            out.write(f"picture: {picture}\n")
    for target in written:
        out.write(f"table: {target}\n")
    if failures:
        err.write(f"{prog}: {len(failures)} of {len(paths)} files failed; the tables hold the others\n")
        return 2
    return 0
