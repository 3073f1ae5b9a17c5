"""Many files: the per-file work, shared among worker processes, with a
progress line and, with keep_going, a failure per bad file instead of a
stopped run."""

from __future__ import annotations

import concurrent.futures
import glob
import multiprocessing
import os
import queue as queue_module
import re
import sys
import time
from collections import Counter
from collections.abc import Callable, Iterable, Sequence
from pathlib import Path
from typing import Any, TextIO

from . import pictures
from .counting import counted_signal, equivalent_loads
from .model import Channel, FileFailure, FileResult, Options, ReportError, Row
from .reading import read_load_history


def expand_inputs(patterns: Iterable[str]) -> list[str]:
    """Paths in the order given; a pattern with wildcards that names no
    existing file is expanded (sorted), and must match something."""
    paths, seen = [], set()
    for pattern in patterns:
        if re.search(r"[*?[]", pattern) and not os.path.exists(pattern):
            matches = sorted(glob.glob(pattern, recursive=True))
            if not matches:
                raise ReportError(f"{pattern}: no file matches")
        else:
            matches = [pattern]
        for path in matches:
            key = os.path.realpath(path)
            if key not in seen:
                seen.add(key)
                paths.append(path)
    return paths


def safe_name(text: str) -> str:
    """A file-name part made of letters, digits, '.', '-' and '_' only."""
    return re.sub(r"[^\w.-]+", "_", text, flags=re.ASCII).strip("._") or "unnamed"


def picture_prefixes(paths: Sequence[str]) -> list[str]:
    """One distinct picture-name prefix per input file: its stem, or, for
    stems that repeat, its path below the folder the inputs share."""
    stems = [safe_name(Path(p).stem) for p in paths]
    repeated = {s for s, count in Counter(stems).items() if count > 1}
    if repeated:
        absolute = [os.path.abspath(p) for p in paths]
        root = os.path.commonpath([os.path.dirname(a) for a in absolute])
        stems = [safe_name(os.path.relpath(a, root).replace(os.sep, "__")) if s in repeated else s
                 for a, s in zip(absolute, stems)]
    seen: Counter[str] = Counter()
    prefixes = []
    for s in stems:
        seen[s] += 1
        prefixes.append(s if seen[s] == 1 else f"{s}-{seen[s]}")
    return prefixes


def picture_names(prefix: str, channels: Sequence[Channel], fmt: str = "png") -> list[str]:
    names = [safe_name(c.name) for c in channels]
    repeated = {n for n, count in Counter(names).items() if count > 1}
    return [f"{prefix}.{n}-{j}.{fmt}" if n in repeated else f"{prefix}.{n}.{fmt}"
            for j, n in enumerate(names)]


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
                 on_bytes: Callable[[int, int], None] | None = None) -> FileResult:
    """Reads one load history, computes its table rows and, if the options
    name a folder, draws one picture per channel into it."""
    try:
        history = read_load_history(path, options, on_bytes)
    except MemoryError:
        raise ReportError(f"{path}: not enough memory to read it") from None
    channels = history.channels
    names = picture_names(prefix or safe_name(Path(path).stem), channels, options.plot_format)
    if options.plot_dir is not None:
        os.makedirs(options.plot_dir, exist_ok=True)  # a cluster worker's own file system
    rows: list[Row] = []
    drawn: list[str] = []
    for channel, picture in zip(channels, names):
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
    return FileResult(path, len(channels), rows, drawn, history.duration)


def analyse_or_fail(path: str, options: Options, prefix: str | None = None,
                    on_channel: Callable[[], None] | None = None,
                    on_bytes: Callable[[int, int], None] | None = None) -> FileResult | FileFailure:
    """analyse_file, with a bad file's error returned instead of raised."""
    try:
        return analyse_file(path, options, prefix, on_channel, on_bytes)
    except ReportError as exc:
        return FileFailure(path, str(exc))


class Progress:
    """One line on standard error, rewritten in place on a terminal; elsewhere
    (when asked for) a new line at every tenth of the channels and at the end.
    While a big file is read, the line says how much of it."""

    def __init__(self, channels: int, files: int, enabled: bool, stream: TextIO | None = None):
        self.total, self.files, self.enabled = channels, files, enabled
        self.stream = stream if stream is not None else sys.stderr
        self.done = self.files_done = 0
        self.start = self.last = time.monotonic()
        self.tty = self.stream.isatty()
        self.tenth = 0
        self.reading: dict[str, float] = {}  # file name -> fraction read

    def line(self) -> str:
        width = 30
        filled = width * min(self.done, self.total) // max(self.total, 1)
        text = (f"channels {self.done}/{self.total} [{'#' * filled}{'.' * (width - filled)}] "
                f"files {self.files_done}/{self.files}  {time.monotonic() - self.start:.1f} s")
        for name, fraction in self.reading.items():
            text += f"  reading {name} {100 * fraction:.0f}%"
        return text

    def channel(self, count: int = 1) -> None:
        self.done += count
        self._show()

    def add_channels(self, count: int) -> None:
        self.total += count  # files whose channels only a full read tells

    def read(self, path: str, done: int, size: int) -> None:
        name = os.path.basename(path)
        before = self.reading.pop(name, 0.0)
        if done < size:
            self.reading[name] = done / max(size, 1)
        if self.tty:
            self._show()
        elif self.enabled and name in self.reading and int(10 * self.reading[name]) > int(10 * before):
            self.stream.write(self.line() + "\n")  # a line at every tenth of the file
            self.stream.flush()

    def file(self, path: str = "") -> None:
        self.files_done += 1
        self.reading.pop(os.path.basename(path), None)
        self._show()

    def _show(self) -> None:
        if not self.enabled:
            return
        now = time.monotonic()
        if self.tty:
            if now - self.last >= 0.1 or self.done == self.total:
                self.stream.write("\r" + self.line() + "\x1b[K")
                self.stream.flush()
                self.last = now
            return
        tenth = 10 * self.done // max(self.total, 1)
        if self.tenth < tenth < 10:  # the last line comes from close()
            self.tenth = tenth
            self.stream.write(self.line() + "\n")
            self.stream.flush()

    def close(self) -> None:
        if self.enabled:
            self.reading.clear()
            self.stream.write(("\r" if self.tty else "") + self.line() + "\n")
            self.stream.flush()


# Files above this many bytes report how much of them has been read.
BIG_FILE = 1 << 26


def reading_reporter(progress: Progress | None, path: str) -> Callable[[int, int], None] | None:
    """Bytes read of a big file, for the progress line (small files stay quiet)."""
    if progress is None or not progress.enabled:
        return None
    return lambda done, size: progress.read(path, done, size) if size > BIG_FILE else None


_worker_queue: Any = None  # in a worker process: where it reports what it did


def _start_worker(queue: Any) -> None:
    global _worker_queue
    _worker_queue = queue


def _analyse_in_worker(index: int, path: str, options: Options, prefix: str,
                       keep_going: bool) -> FileResult | FileFailure:
    queue = _worker_queue
    work = analyse_or_fail if keep_going else analyse_file
    return work(path, options, prefix, on_channel=lambda: queue.put((index, -1, 0)),
                on_bytes=lambda done, size: queue.put((index, done, size)) if size > BIG_FILE else None)


def default_jobs() -> int:
    if hasattr(os, "process_cpu_count"):  # CPython 3.13 and later
        return os.process_cpu_count() or 1
    if hasattr(os, "sched_getaffinity"):
        return len(os.sched_getaffinity(0)) or 1
    return os.cpu_count() or 1


class Tally:
    """Progress from the workers' messages. A message may arrive after its
    file's result: a finished file counts all its channels at once, and its
    late messages are dropped."""

    def __init__(self, progress: Progress | None, paths: Sequence[str], counts: Sequence[int | None]):
        self.progress, self.paths, self.counts = progress, paths, counts
        self.seen: Counter[int] = Counter()
        self.finished: set[int] = set()

    def message(self, index: int, done: int, size: int) -> None:
        if index in self.finished or not self.progress:
            return
        if done < 0:
            self.seen[index] += 1
            self.progress.channel()
        else:
            self.progress.read(self.paths[index], done, size)

    def file_done(self, index: int, result: FileResult | FileFailure) -> None:
        self.finished.add(index)
        if not self.progress:
            return
        if self.counts[index] is None:
            self.progress.add_channels(result.channels if isinstance(result, FileResult) else 0)
        expected = result.channels if isinstance(result, FileResult) else self.counts[index] or 0
        self.progress.channel(max(expected - self.seen[index], 0))
        self.progress.file(self.paths[index])

    def drain(self, queue: Any) -> None:
        while True:
            try:
                message = queue.get_nowait()
            except queue_module.Empty:
                return
            self.message(*message)


def run_report(paths: Sequence[str], options: Options, jobs: int,
               progress: Progress | None = None, keep_going: bool = False,
               counts: Sequence[int | None] | None = None) -> list[FileResult | FileFailure]:
    """The result of every file, in the order of `paths`. Without keep_going
    the first bad file stops the run with its ReportError; with it, a bad
    file's place holds its FileFailure."""
    prefixes = picture_prefixes(paths)
    counts = list(counts) if counts is not None else [0] * len(paths)
    tally = Tally(progress, paths, counts)
    jobs = max(1, min(jobs, len(paths)))
    if jobs == 1:
        work = analyse_or_fail if keep_going else analyse_file
        results: list[FileResult | FileFailure] = []
        for index, (path, prefix) in enumerate(zip(paths, prefixes)):
            def channel_done(index: int = index) -> None:
                tally.message(index, -1, 0)

            result = work(path, options, prefix, on_channel=channel_done,
                          on_bytes=reading_reporter(progress, path))
            tally.file_done(index, result)
            results.append(result)
        return results

    # spawn: workers start clean on every platform, whatever the parent holds.
    context = multiprocessing.get_context("spawn")
    queue = context.Queue()
    by_index: dict[int, FileResult | FileFailure] = {}
    with concurrent.futures.ProcessPoolExecutor(
            max_workers=jobs, mp_context=context, initializer=_start_worker,
            initargs=(queue,)) as pool:
        futures = {pool.submit(_analyse_in_worker, index, path, options, prefix, keep_going): index
                   for index, (path, prefix) in enumerate(zip(paths, prefixes))}
        pending = set(futures)
        try:
            while pending:
                done, pending = concurrent.futures.wait(
                    pending, timeout=0.1, return_when=concurrent.futures.FIRST_COMPLETED)
                tally.drain(queue)
                for future in done:
                    index = futures[future]
                    by_index[index] = future.result()
                    tally.file_done(index, by_index[index])
        except concurrent.futures.process.BrokenProcessPool:
            raise ReportError("a worker process died (out of memory?); run with --jobs 1 "
                              "to see which file") from None
        except BaseException:
            pool.shutdown(wait=True, cancel_futures=True)
            raise
    return [by_index[i] for i in range(len(paths))]
