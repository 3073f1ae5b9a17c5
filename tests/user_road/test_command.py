"""The command end to end: its numbers, its options, its tables and
pictures, and runs over many files in worker processes."""

from __future__ import annotations

import json
import math
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

import numpy as np
import pytest

import cyclewright
from road_support import EXAMPLE_LOAD, WORKED, WORKED_LOADS, read_table, run_script

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


@pytest.fixture
def worked_csv(tmp_path):
    path = tmp_path / "worked.csv"
    path.write_text("x\n" + "\n".join(repr(v) for v in WORKED) + "\n")
    return path


@pytest.mark.parametrize("half", [True, False], ids=["half", "no-half"])
@pytest.mark.parametrize("neq", [1, 10])
def test_worked_loads(cli, worked_csv, tmp_path, half, neq):
    table = tmp_path / "table.csv"
    run = cli(worked_csv, "-m", "3,4", "--neq", str(neq), "--half" if half else "--no-half",
              "--no-plots", "--csv", table)
    assert run.code == 0, run.err
    rows = read_table(table)
    assert [(r["channel"], float(r["m"])) for r in rows] == [("x", 3.0), ("x", 4.0)]
    for row in rows:
        plain, closed = WORKED_LOADS[(half, int(float(row["m"])), neq)]
        assert (row["neq"], row["half"], row["samples"]) == (str(neq), str(half), "10")
        assert float(row["eq_load"]) == pytest.approx(plain, rel=1e-9)
        assert float(row["eq_load_closed"]) == pytest.approx(closed, rel=1e-9)


def test_tables_hold_the_modules_doubles_exactly(cli, report, tmp_path):
    table, document = tmp_path / "t.csv", tmp_path / "t.json"
    run = cli(EXAMPLE_LOAD, "--no-plots", "--csv", table, "--json", document)
    assert run.code == 0, run.err
    channels = {c.name: report.merge_plateaus(c.samples)
                for c in report.read_load_history(str(EXAMPLE_LOAD)).channels}
    rows = read_table(table)
    assert len(rows) == 4 * 6
    json_rows = json.loads(document.read_text())["loads"]
    for row, json_row in zip(rows, json_rows, strict=True):
        samples, m = channels[row["channel"]], float(row["m"])
        plain = cyclewright.eq_load_python(samples, m, 10**7, True)
        closed = cyclewright.eq_load_max_half_cycle_closed_python(samples, m, 10**7, True)
        assert (float(row["eq_load"]), float(row["eq_load_closed"])) == (plain, closed)
        assert (json_row["eq_load"], json_row["eq_load_closed"]) == (plain, closed)
        assert json_row["channel"] == row["channel"] and json_row["m"] == m


def test_default_table_on_stdout(cli, tmp_path):
    run = cli(EXAMPLE_LOAD, "--plots", tmp_path / "pictures")
    assert run.code == 0, run.err
    lines = run.out.splitlines()
    assert lines[0] == ("equivalent loads at neq = 10000000; "
                        "half = True: each half cycle of the residue counts as half a cycle; "
                        "flat tops merged: each run of equal consecutive samples counts as one sample")
    assert lines[1].split() == ["file", "channel", "unit", "samples", "merged", "duration", "(s)", "m",
                                "eq.", "load", "closed", "at", "max"]
    assert lines[2].split()[1:7] == ["blade_root_flap", "kNm", "4000", "0", "400", "3"]
    exponents = [line.split()[-3] for line in lines[2:26]]
    assert exponents == ["3", "4", "5", "8", "10", "12"] * 4
    pictures = [line.removeprefix("picture: ") for line in lines if line.startswith("picture: ")]
    assert [os.path.basename(p) for p in pictures] == [
        f"example_load.{name}.png"
        for name in ("blade_root_flap", "blade_root_edge", "tower_base_fa", "shaft_torque")]
    for picture in pictures:
        with open(picture, "rb") as f:
            assert f.read(8) == PNG_SIGNATURE
        assert os.path.getsize(picture) > 10_000


def test_nan_let_through(cli, tmp_path):
    # A NaN first sample makes the plain load NaN (written as null in JSON);
    # the closed signal finds its maximum among the other samples.
    path = tmp_path / "gappy.csv"
    path.write_text("x\nnan\n1\n0\n2\n")
    document = tmp_path / "t.json"
    refused = cli(path, "--no-plots")
    assert refused.code == 1
    run = cli(path, "-m", "4", "--neq", "1", "--allow-nan", "--plots", tmp_path, "--json", document)
    assert run.code == 0, run.err
    (row,) = json.loads(document.read_text())["loads"]
    assert row["eq_load"] is None and row["eq_load_closed"] == 2.0
    assert "nan" in run.out


@pytest.mark.parametrize("columns", [["flat"], ["flat", "step"]])
def test_pictures_of_degenerate_channels(cli, tmp_path, columns):
    # Constant samples give only zero ranges; a single sample gives one half cycle.
    path = tmp_path / "still.csv"
    path.write_text(",".join(columns) + "\n" + "\n".join(
        ",".join("5" if c == "flat" else str(i // 3) for c in columns) for i in range(7)) + "\n")
    single = tmp_path / "single.csv"
    single.write_text("one\n3.5\n")
    run = cli(path, single, "--plots", tmp_path / "p", "-m", "3")
    assert run.code == 0, run.err
    assert sorted(os.listdir(tmp_path / "p")) == sorted(
        [f"still.{c}.png" for c in columns] + ["single.one.png"])


# command-line arguments -> the message of the usage error (one line, exit status 1).
USAGE_ERRORS = [
    (["--neq", "0"], "neq must be from 1 to 2**64 - 1, not 0"),
    (["--neq", "-5"], "neq must be from 1 to 2**64 - 1"),
    (["--neq", "18446744073709551616"], "neq must be from 1 to 2**64 - 1"),
    (["--neq", "1.5"], "neq must be a whole number of cycles, not 1.5"),
    (["--neq", "many"], "'many' is not a number"),
    (["--neq", "inf"], "neq must be a whole number of cycles"),
    (["-m", "3,0"], "a Wöhler exponent must be positive and finite, not 0"),
    (["-m", "-3"], "a Wöhler exponent must be positive and finite"),
    (["-m", "nan"], "a Wöhler exponent must be positive and finite"),
    (["-m", "3,,4"], "'' is not a number"),
    (["--jobs", "0"], "at least one job is needed"),
    (["--plots", "x", "--no-plots"], "not allowed with argument"),
    (["--delimiter", ";;"], "--delimiter must be a single character"),
    (["--delimiter", "x"], "--delimiter must be a single character"),
    (["--decimal", ";"], "invalid choice"),
    (["--dpi", "5"], "dpi must be from 10 to 2000"),
    (["--plot-format", "jpg"], "invalid choice"),
    (["--sample-rate", "0"], "the sample rate must be positive"),
    (["--jobs", "2", "--local-workers", "2"], "not allowed with argument"),
    (["--neq", "1e999999999"], "neq must be from 1 to 2**64 - 1"),
    (["--neq", "9" * 200], "a number of more than 100 characters"),
    (["--channels", ""], "'' names no channel"),
    (["--exclude", " , "], "names no channel"),
    (["--skip-rows", "-1"], "--skip-rows must be from 0"),
    (["--comment", "##"], "--comment must be a single character"),
    (["--names", "a,,b"], "--names needs a name for every column"),
    (["--encoding", "klingon"], "no encoding named 'klingon'"),
    (["--t-start", "nan"], "a time must be finite"),
    (["--plots"], "expected one argument"),
]


@pytest.mark.parametrize("args, message", USAGE_ERRORS, ids=[" ".join(a) for a, _ in USAGE_ERRORS])
def test_usage_errors(report, capsys, args, message):
    with pytest.raises(SystemExit) as caught:
        report.cli.main([str(EXAMPLE_LOAD), *args])
    assert caught.value.code == 1
    err = capsys.readouterr().err
    assert err.startswith("cyclewright-report: error: ") and message in err and err.count("\n") == 1, err


# --neq text -> cycles.
NEQ = [("10000000", 10**7), ("1e7", 10**7), ("1E+7", 10**7), ("2_000", 2000),
       ("1.5e1", 15), ("18446744073709551615", 2**64 - 1)]


@pytest.mark.parametrize("text, neq", NEQ)
def test_neq_forms(report, text, neq):
    assert report.cli.parse_neq(text) == neq


def test_bad_file_stops_the_run_with_one_line(cli, tmp_path):
    good = tmp_path / "good.csv"
    good.write_text("a\n1\n2\n")
    bad = tmp_path / "bad.csv"
    bad.write_text("a,b\n1,2\n3,oops\n")
    table = tmp_path / "t.csv"
    run = cli(good, bad, "--no-plots", "--csv", table, "--jobs", "1")
    assert run.code == 1
    assert run.err == f"cyclewright-report: error: {bad}: line 3, column 2: 'oops' is not a number\n"
    assert run.out == "" and not table.exists()


def test_missing_file_is_found_before_any_work(cli, tmp_path):
    run = cli(EXAMPLE_LOAD, tmp_path / "absent.csv", "--plots", tmp_path / "p")
    assert run.code == 1
    assert run.err == f"cyclewright-report: error: {tmp_path / 'absent.csv'}: no such file\n"
    assert not (tmp_path / "p").exists()


def test_globs_and_duplicates(cli, tmp_path):
    for name in ("b", "a", "c"):
        (tmp_path / f"{name}.csv").write_text("v\n1\n2\n")
    table = tmp_path / "t.csv"
    run = cli(str(tmp_path / "*.csv"), tmp_path / "a.csv", "--no-plots", "--csv", table)
    assert run.code == 0, run.err
    assert [os.path.basename(r["file"]) for r in read_table(table)][::6] == ["a.csv", "b.csv", "c.csv"]
    nothing = cli(str(tmp_path / "*.npy"), "--no-plots")
    assert nothing.code == 1 and nothing.err.endswith("*.npy: no file matches\n")


def test_picture_names_stay_distinct_and_inside_their_folder(cli, tmp_path):
    for run_dir in ("run1", "run2"):
        (tmp_path / run_dir).mkdir()
        (tmp_path / run_dir / "loads.csv").write_text(
            '"../../escape",a b,a_b,"über/Last"\n1,2,3,4\n2,1,4,3\n')
    # A dot in a file or channel name must not make two pictures one.
    (tmp_path / "a.b.csv").write_text("c\n1\n2\n")
    (tmp_path / "a.csv").write_text("b.c\n1\n2\n")
    pictures = tmp_path / "pictures"
    run = cli(tmp_path / "run1" / "loads.csv", tmp_path / "run2" / "loads.csv", tmp_path / "a.b.csv",
              tmp_path / "a.csv", "--plots", pictures, "-m", "4")
    assert run.code == 0, run.err
    assert sorted(os.listdir(pictures)) == sorted(
        [f"{run_dir}__loads_csv.{name}.png" for run_dir in ("run1", "run2")
         for name in ("escape", "a_b", "a_b-2", "ber_Last")] + ["a_b.c.png", "a.b_c.png"])
    assert sorted(os.listdir(tmp_path)) == ["a.b.csv", "a.csv", "pictures", "run1", "run2"]


def _files(tmp_path, count):
    paths = []
    for k in range(count):
        path = tmp_path / f"load{k}.npy"
        rng = np.random.default_rng(k)
        np.save(path, np.cumsum(rng.normal(size=(1500, 3)), axis=0))
        paths.append(path)
    return paths


def test_worker_processes_give_the_serial_table(tmp_path):
    paths = _files(tmp_path, 4)
    serial = run_script(*paths, "--jobs", "1", "--no-plots", "--csv", tmp_path / "serial.csv")
    parallel = run_script(*paths, "--jobs", "2", "--plots", tmp_path / "p", "--progress",
                          "--csv", tmp_path / "parallel.csv")
    assert serial.code == 0 and parallel.code == 0, parallel.err
    assert (tmp_path / "serial.csv").read_bytes() == (tmp_path / "parallel.csv").read_bytes()
    def tables(out):
        return [line for line in out.splitlines() if not line.startswith(("picture: ", "table: "))]
    assert tables(serial.out) == tables(parallel.out)
    assert len(os.listdir(tmp_path / "p")) == 12
    progress = parallel.err.splitlines()
    assert progress[-1].startswith("channels 12/12 [" + "#" * 30 + "] files 4/4")
    assert all(line.startswith("channels ") for line in progress)


def test_a_bad_file_in_a_worker_fails_the_run(tmp_path):
    paths = _files(tmp_path, 2)
    bad = tmp_path / "bad.npy"
    np.save(bad, np.array([[1.0, 2.0], [np.inf, 0.0]]))
    run = run_script(paths[0], bad, paths[1], "--jobs", "2", "--no-plots",
                     "--json", tmp_path / "t.json")
    assert run.code == 1
    assert run.err == f"cyclewright-report: error: {bad}: row 1, column 0: non-finite sample inf\n"
    assert not (tmp_path / "t.json").exists()


def test_json_of_an_overflowing_load(cli, tmp_path):
    # Ranges of 1e300 to the power 12 overflow to infinity; JSON holds null.
    path = tmp_path / "huge.csv"
    path.write_text("x\n-1e300\n1e300\n-1e300\n")
    document = tmp_path / "t.json"
    assert cli(path, "-m", "12", "--neq", "1", "--no-plots", "--json", document).code == 0
    text = document.read_text()
    assert "Infinity" not in text and json.loads(text)["loads"][0]["eq_load"] is None
    assert math.isinf(cyclewright.eq_load_python(np.array([-1e300, 1e300, -1e300]), 12.0, 1, True))


def _children(pid):
    found = set()
    for task in Path(f"/proc/{pid}/task").glob("*/children"):
        found |= {int(c) for c in task.read_text().split()}
    return found


def _alive(pid):
    try:
        return Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
@pytest.mark.parametrize("stop", [signal.SIGTERM, signal.SIGKILL, signal.SIGINT], ids=["SIGTERM", "SIGKILL", "Ctrl-C"])
def test_a_stopped_run_leaves_no_worker_behind(tmp_path, stop):
    pytest.importorskip("matplotlib")
    paths = []
    for k in range(8):  # about twice as long as the wait below, so the workers are busy when the signal comes
        paths.append(tmp_path / f"long{k}.npy")
        np.save(paths[-1], np.cumsum(np.random.default_rng(k).normal(size=(3_000_000, 1)), axis=0))
    env = {**os.environ, "PYTHONPATH": os.pathsep.join(sys.path)}
    process = subprocess.Popen([sys.executable, "-m", "cyclewright_report", *paths, "--jobs", "2",
                                "--plots", tmp_path / "p", "--csv", tmp_path / "t.csv"],
                               env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                               start_new_session=True)
    deadline = time.monotonic() + 60
    while len(_children(process.pid)) < 2 and time.monotonic() < deadline:
        time.sleep(0.1)
    time.sleep(1.0)  # the workers at work
    workers = _children(process.pid)
    assert process.poll() is None and len(workers) >= 2
    if stop == signal.SIGINT:
        os.killpg(process.pid, stop)  # Ctrl-C reaches the whole process group
    else:
        process.send_signal(stop)
    _, err = process.communicate(timeout=60)
    deadline = time.monotonic() + 10
    while any(_alive(w) for w in workers) and time.monotonic() < deadline:
        time.sleep(0.1)
    assert not any(_alive(w) for w in workers)
    if stop != signal.SIGKILL:
        said = "terminated" if stop == signal.SIGTERM else "interrupted"
        assert (process.returncode, err) == (128 + stop, f"cyclewright-report: {said}; nothing written\n")
        assert sorted(os.listdir(tmp_path)) == sorted(p.name for p in paths)
