#!/usr/bin/env python3
"""The fatigue report over a Dask cluster, for load histories that outgrow
one machine.

    dask_report.py LOADS [LOADS...] --scheduler tcp://HOST:8786 [report options]
    dask_report.py LOADS [LOADS...] --local-workers 4          [report options]

Each file is one task: the very `analyse_file` of fatigue_report.py, mapped
over the cluster's workers, so the table is the one a local run prints. The
workers need cyclewright installed (`pip install cyclewright`) and must see
the input files and the picture folder at the same paths (a shared file
system); fatigue_report.py itself is sent to them by this script.
"""

from __future__ import annotations

import argparse
import sys
from collections.abc import Sequence
from pathlib import Path
from typing import Any, TextIO

sys.path.insert(0, str(Path(__file__).resolve().parent))
import fatigue_report  # noqa: E402  (beside this file, also on the workers)
from fatigue_report import FileResult, Options, Progress, ReportError  # noqa: E402

PROG = "dask_report"


def report_on_cluster(client: Any, paths: Sequence[str], options: Options,
                      progress: Progress | None = None) -> list[FileResult]:
    """The results of every file, in the order of `paths`, computed by the
    workers of `client` (a dask.distributed.Client)."""
    from dask.distributed import as_completed
    from distributed.diagnostics.plugin import UploadFile

    # Workers import the module by name when they unpickle analyse_file. Only
    # they get the file: Client.upload_file would also reload the module in a
    # scheduler that runs in this process (a LocalCluster), and a reloaded
    # ReportError is a new class that no `except` here catches any more.
    client.register_plugin(UploadFile(fatigue_report.__file__), name="fatigue_report.py")
    prefixes = fatigue_report.picture_prefixes(paths)
    futures = client.map(fatigue_report.analyse_file, list(paths), [options] * len(paths),
                         prefixes, pure=False)
    index = {future.key: i for i, future in enumerate(futures)}
    results: list[FileResult | None] = [None] * len(paths)
    try:
        for future in as_completed(futures):
            i = index[future.key]
            result = results[i] = future.result()  # re-raises a worker's ReportError here
            if progress:
                progress.channel(result.channels)
                progress.file()
    except BaseException:
        client.cancel(futures)
        raise
    return [r for r in results if r is not None]


def main(argv: Sequence[str] | None = None, out: TextIO | None = None,
         err: TextIO | None = None) -> int:
    out = out if out is not None else sys.stdout
    err = err if err is not None else sys.stderr
    parser = argparse.ArgumentParser(prog=PROG, description=__doc__.split("\n\n")[0])
    fatigue_report.add_report_arguments(parser)
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--scheduler", metavar="ADDRESS", help="address of a running scheduler")
    where.add_argument("--local-workers", type=fatigue_report.parse_jobs, metavar="N",
                       help="start a cluster of N worker processes on this machine")
    args = parser.parse_args(argv)
    try:
        from dask.distributed import Client, LocalCluster
    except ImportError:
        err.write(f"{PROG}: error: needs dask.distributed: pip install 'dask[distributed]'\n")
        return 1
    try:
        paths, options, channels = fatigue_report.prepare(args)
        enabled = err.isatty() if args.progress is None else args.progress
        progress = Progress(channels, len(paths), enabled, err)
        if args.scheduler:
            with Client(args.scheduler) as client:
                results = report_on_cluster(client, paths, options, progress)
        else:
            with LocalCluster(n_workers=args.local_workers, threads_per_worker=1,
                              processes=True, dashboard_address=None) as cluster, \
                    Client(cluster) as client:
                results = report_on_cluster(client, paths, options, progress)
        progress.close()
        fatigue_report.finish(results, options, args, out)
    except ReportError as exc:
        err.write(f"{PROG}: error: {exc}\n")
        return 1
    except KeyboardInterrupt:
        err.write(f"{PROG}: interrupted\n")
        return 130
    return 0


if __name__ == "__main__":
    sys.exit(main())
