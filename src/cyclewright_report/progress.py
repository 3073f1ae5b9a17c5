"""The progress line of a run: channels and files done, and how much of a
big file has been read, on standard error. Workers' messages reach it
through a Tally."""

from __future__ import annotations

import os
import queue as queue_module
import sys
import time
from collections import Counter
from collections.abc import Callable, Sequence
from typing import Any, TextIO

from .model import FileFailure, FileResult
from .reading import Header


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


def channel_counts(headers: Sequence[Header | None] | None, files: int) -> list[int | None]:
    """Channels per file as its header tells (None: only a full read tells)."""
    if headers is None:
        return [0] * files
    return [None if h is None or h.loads is None else len(h.loads) for h in headers]


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
            self.progress.add_channels(result.channel_count if isinstance(result, FileResult) else 0)
        expected = result.channel_count if isinstance(result, FileResult) else self.counts[index] or 0
        self.progress.channel(max(expected - self.seen[index], 0))
        self.progress.file(self.paths[index])

    def drain(self, queue: Any) -> None:
        while True:
            try:
                message = queue.get_nowait()
            except queue_module.Empty:
                return
            self.message(*message)
