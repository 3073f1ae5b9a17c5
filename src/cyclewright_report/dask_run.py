"""The report over a Dask cluster, for load histories that outgrow one
machine: each file is one task, the very `analyse_file` of a local run, so
the table is the one a local run prints. The workers need cyclewright
installed and must see the input files and the picture folder at the same
paths (a shared file system)."""

from __future__ import annotations

from collections.abc import Sequence
from typing import Any

from .analysis import analyse_file, analyse_or_fail
from .model import FileFailure, FileResult, Options, ReportError
from .naming import picture_prefixes
from .progress import Progress, Tally, channel_counts
from .reading import Header

DASK_HINT = "running on a Dask cluster needs pip install 'cyclewright[dask]'"


def report_on_cluster(client: Any, paths: Sequence[str], options: Options,
                      progress: Progress | None = None, keep_going: bool = False,
                      headers: Sequence[Header | None] | None = None) -> list[FileResult | FileFailure]:
    """The results of every file, in the order of `paths`, computed by the
    workers of `client` (a dask.distributed.Client)."""
    from dask.distributed import as_completed

    work = analyse_or_fail if keep_going else analyse_file
    n = len(paths)
    # map() iterates positional arguments only: no callbacks, then each file's header.
    futures = client.map(work, list(paths), [options] * n, picture_prefixes(paths), [None] * n,
                         [None] * n, list(headers) if headers is not None else [None] * n, pure=False)
    index = {future.key: i for i, future in enumerate(futures)}
    tally = Tally(progress, paths, channel_counts(headers, len(paths)))
    results: list[FileResult | FileFailure | None] = [None] * len(paths)
    try:
        for future in as_completed(futures):
            i = index[future.key]
            result = results[i] = future.result()  # re-raises a worker's ReportError here
            tally.file_done(i, result)
    except BaseException:
        client.cancel(futures)
        raise
    return [r for r in results if r is not None]


def cluster_runner(scheduler: str | None, local_workers: int | None):
    """A runner for the report on the cluster at `scheduler`, or on one of
    `local_workers` processes started here for the run."""
    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        raise ReportError(DASK_HINT) from None

    def run(paths: Sequence[str], headers: Sequence[Header], options: Options, progress: Progress,
            keep_going: bool) -> list[FileResult | FileFailure]:
        if scheduler:
            with Client(scheduler) as client:
                return report_on_cluster(client, paths, options, progress, keep_going, headers)
        with LocalCluster(n_workers=local_workers, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster) as client:
            return report_on_cluster(client, paths, options, progress, keep_going, headers)
    return run
