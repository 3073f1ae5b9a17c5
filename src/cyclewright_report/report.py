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

from .inputs import expand_inputs
from .lifetime import check_duration_known, lifetime, match_weights, read_weights
from .model import FileFailure, FileResult, Options, ReportError
from .output import Outputs, format_table
from .progress import Progress, channel_counts
from .reading import Header, read_header

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
    paths: list[str] = []
    good: list[str] = []
    try:
        paths = expand_inputs(request.inputs)
        hours = None
        if request.weights:
            hours = match_weights(read_weights(request.weights), paths, request.weights)
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
        if hours is not None:
            if failures:
                err.write(f"{prog}: note: no lifetime loads: {len(failures)} weighted file(s) failed\n")
            else:
                lifetime_loads = lifetime(results, hours, options)
        written = outputs.stage(results, options, lifetime_loads, failures)
        text = format_table(results, options, lifetime_loads)
        text += "".join(f"picture: {p}\n" for r in results for p in r.pictures)
        text += "".join(f"table: {t}\n" for t in written)
        _write_out(out, text)
        outputs.commit()
        outputs.discard()  # only an empty, unused picture folder
    except BaseException as exc:
        # Nothing written: no table, no picture, no temporary of this run, no empty folder.
        if outputs is not None:
            outputs.discard()
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
