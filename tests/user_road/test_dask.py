"""The Dask runner: the same table from cluster workers in other processes
as from the local run."""

from __future__ import annotations

import dataclasses
import os
import shutil
import time

import numpy as np
import pytest

from road_support import EXAMPLE_LOAD, read_table

distributed = pytest.importorskip("dask.distributed")


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None, silence_logs=40) as cluster, \
            distributed.Client(cluster) as client:
        yield client


@pytest.fixture(scope="module")
def dask_run(report):
    from cyclewright_report import dask_run
    return dask_run


def test_cluster_table_equals_local_table(client, dask_run, report, tmp_path):
    pytest.importorskip("matplotlib")
    extra = tmp_path / "walk.npy"
    np.save(extra, np.cumsum(np.random.default_rng(7).normal(size=(2000, 2)), axis=0))
    paths = [str(EXAMPLE_LOAD), str(extra)]
    options = report.Options(exponents=(3.0, 10.0), neq=10**6, half=False,
                             plot_dir=str(tmp_path / "pictures"))
    local = report.analyse_files(paths, dataclasses.replace(options, plot_dir=None), jobs=1)
    remote = dask_run.report_on_cluster(client, paths, options)
    assert [r.rows for r in remote] == [r.rows for r in local]
    assert len(sum((r.pictures for r in remote), [])) == 6
    workers = client.run(lambda: __import__("os").getpid())
    assert len(set(workers.values())) == 2


def test_cluster_reports_a_bad_file(client, dask_run, report, tmp_path):
    bad = tmp_path / "bad.csv"
    bad.write_text("a\n1\nx\n")
    with pytest.raises(report.ReportError, match=r"bad.csv: line 3, column 1: 'x' is not a number"):
        dask_run.report_on_cluster(client, [str(EXAMPLE_LOAD), str(bad)], report.Options())
    kept = dask_run.report_on_cluster(client, [str(EXAMPLE_LOAD), str(bad)], report.Options(), keep_going=True)
    assert isinstance(kept[0], report.FileResult) and isinstance(kept[1], report.FileFailure)


def test_command_line(client, cli, tmp_path, monkeypatch):
    pytest.importorskip("matplotlib")
    monkeypatch.chdir(tmp_path)  # not the workers' folder: relative paths are the client's
    shutil.copy(EXAMPLE_LOAD, "ex.csv")
    run = cli("ex.csv", "--scheduler", client.scheduler.address, "--plots", "p", "-m", "4", "--csv", "t.csv")
    assert run.code == 0, run.err
    assert run.out.splitlines()[0].startswith("equivalent loads at neq = 10000000")
    assert [row["file"] for row in read_table(tmp_path / "t.csv")] == ["ex.csv"] * 4
    assert len(os.listdir(tmp_path / "p")) == 4


def test_unreachable_scheduler_is_one_line(cli):
    start = time.monotonic()
    run = cli(EXAMPLE_LOAD, "--scheduler", "tcp://127.0.0.1:9")
    assert time.monotonic() - start < 10
    assert run.code == 1 and run.err.startswith("cyclewright-report: error: tcp://127.0.0.1:9: cannot reach "
                                                "the Dask scheduler") and run.err.count("\n") == 1, run.err
