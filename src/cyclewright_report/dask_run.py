"""The report over a Dask cluster, for load histories that outgrow one
machine: each file is one task, the very `analyse_file` of a local run, so
the table is the one a local run prints. The workers need cyclewright
installed and must see the input files and the picture folder at the same
absolute paths (a shared file system): relative paths are made absolute
here, on the client, so that a worker in another folder reads the same
files; a picture a worker could not put where the client sees it fails the
run."""

from __future__ import annotations

import dataclasses
import os
from collections.abc import Callable, Sequence
from typing import Any

from .analysis import analyse_file, analyse_or_fail
from .model import FileFailure, FileResult, Options, ReportError
from .naming import picture_prefixes
from .progress import Progress, Tally, channel_counts
from .reading import Header

DASK_HINT = "running on a Dask cluster needs pip install 'cyclewright[dask]'"
CONNECT_SECONDS = 5  # the command fails within 10 s in all, its start included


def _as_given(result: FileResult | FileFailure, path: str) -> FileResult | FileFailure:
    """A worker's result under the path the caller gave, not its absolute form."""
    if isinstance(result, FileFailure):
        return FileFailure(path, result.message.replace(result.path, path, 1))
    rows = [row._replace(file=path) for row in result.rows]
    return dataclasses.replace(result, path=path, rows=rows)


def report_on_cluster(client: Any, paths: Sequence[str], options: Options,
                      progress: Progress | None = None, keep_going: bool = False,
                      headers: Sequence[Header | None] | None = None) -> list[FileResult | FileFailure]:
    """The results of every file, in the order of `paths`, computed by the
    workers of `client` (a dask.distributed.Client)."""
    from dask.distributed import as_completed

    work = analyse_or_fail if keep_going else analyse_file
    n = len(paths)
    absolute = [os.path.abspath(p) for p in paths]
    if options.plot_dir is not None:
        options = dataclasses.replace(options, plot_dir=os.path.abspath(options.plot_dir))
    # map() iterates positional arguments only: no callbacks, then each file's header.
    futures = client.map(work, absolute, [options] * n, picture_prefixes(paths), [None] * n,
                         [None] * n, list(headers) if headers is not None else [None] * n, pure=False)
    index = {future.key: i for i, future in enumerate(futures)}
    tally = Tally(progress, paths, channel_counts(headers, len(paths)))
    results: list[FileResult | FileFailure | None] = [None] * len(paths)
    try:
        for future in as_completed(futures):
            i = index[future.key]
            try:
                result = results[i] = _as_given(future.result(), paths[i])
            except ReportError as exc:  # a worker's, naming the absolute path
                raise ReportError(str(exc).replace(absolute[i], paths[i], 1)) from None
            tally.file_done(i, result)
    except BaseException:
        client.cancel(futures)
        raise
    return [r for r in results if r is not None]


def cluster_runner(scheduler: str | None, local_workers: Callable[[int], int]):
    """A runner for the report on the cluster at `scheduler`, or on one of
    local_workers(number of files) processes started here for the run."""
    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        raise ReportError(DASK_HINT) from None

    def run(paths: Sequence[str], headers: Sequence[Header], options: Options, progress: Progress,
            keep_going: bool) -> list[FileResult | FileFailure]:
        if scheduler:
            try:
                client = Client(scheduler, timeout=f"{CONNECT_SECONDS}s")
            except (OSError, TimeoutError, ValueError) as exc:
                raise ReportError(f"{scheduler}: cannot reach the Dask scheduler (--scheduler): "
                                  f"{str(exc).splitlines()[0] if str(exc) else type(exc).__name__}") from None
            with client:
                return report_on_cluster(client, paths, options, progress, keep_going, headers)
        with LocalCluster(n_workers=local_workers(len(paths)), threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            return report_on_cluster(client, paths, options, progress, keep_going, headers)
    return run
