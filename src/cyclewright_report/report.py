"""One run of the report, from the inputs to the written tables: every
check that can fail before the work comes first, then the work, then the
lifetime loads and the tables."""

from __future__ import annotations

import contextlib
import dataclasses
import fnmatch
import os
import sys
from collections.abc import Callable, Sequence
from typing import TextIO

from . import matrices, naming
from .damage_table import lifetime_damage
from .inputs import expand_inputs
from .lifetime import check_duration_known, lifetime, match_weights, read_weights
from .model import FileFailure, FileResult, Options, ReportError
from .output import Outputs, format_table
from .progress import Progress, channel_counts
from .reading import Header, read_header
from .tables import ExtraOutputs, Extras, format_extras, json_parts
from .wind import Bins, Climate, bin_hours

# (paths, their headers, options, progress, keep_going) -> results in the order of paths
Runner = Callable[[Sequence[str], Sequence[Header], Options, Progress, bool],
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
    # Hours from a wind climate: the weights file then gives each file's wind speed.
    wind: Climate | None = None
    wind_bins: Bins | None = None
    life_years: float = 20.0
    availability: float = 1.0
    echo: dict | None = None  # the options as given, for the JSON document


def _hours(request: Request, paths: Sequence[str]) -> tuple[list[float] | None, str]:
    """Each file's hours over the lifetime (None without --weights), and
    how they were found."""
    if not request.weights:
        return None, ""
    if request.wind is None or request.wind_bins is None:
        return match_weights(read_weights(request.weights), paths, request.weights), ""
    speeds = match_weights(read_weights(request.weights, "m/s"), paths, request.weights)
    return bin_hours(speeds, paths, request.wind, request.wind_bins, request.life_years,
                     request.availability)


class Terminated(KeyboardInterrupt):
    """SIGTERM, handled as an interrupt: workers stopped, temporaries taken back."""


def _write_out(out: TextIO, text: str) -> bool:
    """Writes standard output before anything is put in place; False when
    its reader has gone (a closed pipe: not a failure of the run)."""
    try:
        out.write(text)
        out.flush()
    except BrokenPipeError:
        if out is sys.stdout:  # the interpreter's own flush at exit must not fail again
            with contextlib.suppress(OSError, ValueError):
                os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return False
    except (OSError, ValueError) as exc:
        raise ReportError(f"standard output: {getattr(exc, 'strerror', None) or exc}") from None
    return True


def _check_patterns(options: Options, names: Sequence[Sequence[str]]) -> None:
    """A --channels pattern may miss some files, not all of them: a
    mistyped name would silently shrink the table."""
    for pattern in options.channels:
        if not any(fnmatch.fnmatchcase(name, pattern) for file in names for name in file):
            raise ReportError(f"no channel of any file matches {pattern!r} (--channels)")


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
    extra_outputs: ExtraOutputs | None = None
    paths: list[str] = []
    good: list[str] = []
    try:
        paths = expand_inputs(request.inputs)
        hours, weighting = _hours(request, paths)
        if hours is not None and options.matrix_dir is not None and matrices.LIFETIME_PREFIX in naming.picture_prefixes(paths):
            raise ReportError(f"a file named {matrices.LIFETIME_PREFIX}.* would share the names of the lifetime "
                              "matrices (--matrix); rename it")
        headers: list[Header] = []
        for path in paths:  # a missing or malformed file stops the run before any work
            try:
                header = read_header(path, options)
                if hours is not None:
                    check_duration_known(path, header, options)
                headers.append(header)
                good.append(path)
            except ReportError as exc:
                fail(path, str(exc))
        if all(h.names is not None for h in headers):
            _check_patterns(options, [h.names or [] for h in headers])
        outputs = Outputs(request.csv, request.json, options.plot_dir, paths, request.weights)
        options = dataclasses.replace(options, run_id=outputs.run)
        extra_outputs = ExtraOutputs(outputs, request.csv, options)
        enabled = err.isatty() if request.progress is None else request.progress
        progress = Progress(sum(c or 0 for c in channel_counts(headers, len(good))), len(good),
                            enabled, err)
        try:
            done = runner(good, headers, options, progress, request.keep_going) if good else []
        finally:
            progress.close()
        results = [r for r in done if isinstance(r, FileResult)]
        for failure in (r for r in done if isinstance(r, FileFailure)):
            fail(failure.path, failure.message)
        if not results:
            raise ReportError("no file could be analysed; nothing written")
        if not all(h.names is not None for h in headers):
            _check_patterns(options, [h.names or [] for h in headers] + [r.channel_names for r in results])
        lifetime_loads = None
        extras = Extras(options=request.echo or {})
        if hours is not None:
            if failures:
                err.write(f"{prog}: note: no lifetime loads: {len(failures)} weighted file(s) failed\n")
            else:
                lifetime_loads = dataclasses.replace(lifetime(results, hours, options), weighting=weighting)
                extras.lifetime_damage = lifetime_damage([r.damage for r in results], lifetime_loads.repetitions)
                if options.matrix_dir is not None and options.run_id is not None:
                    extras.lifetime_matrices = matrices.lifetime_matrices(
                        [m for r in results for m in r.matrices], lifetime_loads.repetitions,
                        options.matrix_dir, options.run_id, options.matrix_bins)
        written = outputs.stage(results, options, lifetime_loads, failures, json_parts(results, extras))
        written += extra_outputs.stage(results, extras)
        text = format_table(results, options, lifetime_loads) + format_extras(results, options, extras)
        text += "".join(f"picture: {p}\n" for r in results for p in r.pictures)
        text += "".join(f"table: {t}\n" for t in written)
        _write_out(out, text)
        outputs.commit()
        outputs.discard()  # only an empty, unused picture folder
        extra_outputs.discard()  # and the temporaries of files that failed (--keep-going)
    except BaseException as exc:
        # Nothing written: no table, no picture, no temporary of this run, no empty folder.
        if outputs is not None:
            outputs.discard()
        if extra_outputs is not None:
            extra_outputs.discard()
        if not isinstance(exc, (ReportError, KeyboardInterrupt)):
            raise  # a fault of the report itself: its traceback helps
        if isinstance(exc, KeyboardInterrupt):
            err.write(f"{prog}: {'terminated' if isinstance(exc, Terminated) else 'interrupted'}; "
                      "nothing written\n")
            return 143 if isinstance(exc, Terminated) else 130
        err.write(f"{prog}: error: {exc}\n")
        return 1
    if failures:
        err.write(f"{prog}: {len(failures)} of {len(paths)} files failed; the tables hold the others\n")
        return 2
    return 0
