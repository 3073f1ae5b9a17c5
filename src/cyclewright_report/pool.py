"""Many files shared among worker processes: the result of each, in the
order given, with the workers' progress reported as it comes."""

from __future__ import annotations

import concurrent.futures
import contextlib
import multiprocessing
import os
import signal
import sys
import threading
import time
from collections.abc import Sequence
from typing import Any

from .analysis import analyse_file, analyse_or_fail
from .model import FileFailure, FileResult, Options, ReportError
from .naming import picture_prefixes
from .progress import BIG_FILE, Progress, Tally, channel_counts, reading_reporter
from .reading import Header

_worker_queue: Any = None  # in a worker process: where it reports what it did


def _die_with(parent: int) -> None:
    """Ends this worker when its parent dies, even by SIGKILL: on Linux the
    kernel sends SIGKILL (prctl PR_SET_PDEATHSIG), elsewhere a thread looks
    every second whether the parent has changed."""
    if sys.platform.startswith("linux"):
        import ctypes
        pr_set_pdeathsig = 1
        with contextlib.suppress(OSError, AttributeError):
            if ctypes.CDLL(None, use_errno=True).prctl(pr_set_pdeathsig, signal.SIGKILL) == 0:
                if os.getppid() != parent:  # the parent died before the call
                    os._exit(1)
                return

    def watch() -> None:
        while os.getppid() == parent:
            time.sleep(1.0)
        os._exit(1)
    threading.Thread(target=watch, daemon=True).start()


def _start_worker(queue: Any, parent: int) -> None:
    global _worker_queue
    _die_with(parent)
    # Ctrl-C reaches the whole process group: the parent alone answers it
    # (it stops the workers), so no worker prints a traceback of its own.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    _worker_queue = queue


def _stop_workers(pool: concurrent.futures.ProcessPoolExecutor) -> None:
    """Ends the workers at once, a file half analysed not waited for, and
    waits until they are gone: a worker still drawing would leave its
    temporary behind the run's clean-up."""
    processes = list((getattr(pool, "_processes", None) or {}).values())
    terminate = getattr(pool, "terminate_workers", None)  # CPython 3.14 and later
    if terminate is not None:
        terminate()
    else:
        for process in processes:
            with contextlib.suppress(Exception):
                process.terminate()
        pool.shutdown(wait=False, cancel_futures=True)
    for process in processes:
        with contextlib.suppress(Exception):
            process.join(timeout=10)


def _analyse_in_worker(index: int, path: str, options: Options, prefix: str, keep_going: bool,
                       header: Header | None) -> FileResult | FileFailure:
    queue = _worker_queue
    work = analyse_or_fail if keep_going else analyse_file
    return work(path, options, prefix, on_channel=lambda: queue.put((index, -1, 0)),
                on_bytes=lambda done, size: queue.put((index, done, size)) if size > BIG_FILE else None,
                header=header)


def default_jobs() -> int:
    if hasattr(os, "process_cpu_count"):  # CPython 3.13 and later
        return os.process_cpu_count() or 1
    if hasattr(os, "sched_getaffinity"):
        return len(os.sched_getaffinity(0)) or 1
    return os.cpu_count() or 1


def analyse_files(paths: Sequence[str], options: Options, jobs: int,
                  progress: Progress | None = None, keep_going: bool = False,
                  headers: Sequence[Header | None] | None = None) -> list[FileResult | FileFailure]:
    """The result of every file, in the order of `paths`, from `jobs` worker
    processes (one: this process). Without keep_going the first bad file
    stops the run with its ReportError; with it, a bad file's place holds its
    FileFailure. `headers`, from read_header, spare parsing them again."""
    prefixes = picture_prefixes(paths)
    tally = Tally(progress, paths, channel_counts(headers, len(paths)))
    header_of = list(headers) if headers is not None else [None] * len(paths)
    jobs = max(1, min(jobs, len(paths)))
    if jobs == 1:
        work = analyse_or_fail if keep_going else analyse_file
        results: list[FileResult | FileFailure] = []
        for index, (path, prefix) in enumerate(zip(paths, prefixes, strict=True)):
            def channel_done(index: int = index) -> None:
                tally.message(index, -1, 0)

            result = work(path, options, prefix, on_channel=channel_done,
                          on_bytes=reading_reporter(progress, path), header=header_of[index])
            tally.file_done(index, result)
            results.append(result)
        return results

    # spawn: workers start clean on every platform, whatever the parent holds.
    context = multiprocessing.get_context("spawn")
    queue = context.Queue()
    by_index: dict[int, FileResult | FileFailure] = {}
    with concurrent.futures.ProcessPoolExecutor(
            max_workers=jobs, mp_context=context, initializer=_start_worker,
            initargs=(queue, os.getpid())) as pool:
        futures = {pool.submit(_analyse_in_worker, index, path, options, prefix, keep_going,
                               header_of[index]): index
                   for index, (path, prefix) in enumerate(zip(paths, prefixes, strict=True))}
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
            _stop_workers(pool)
            raise
    return [by_index[i] for i in range(len(paths))]
