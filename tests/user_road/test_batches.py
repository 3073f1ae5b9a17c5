"""What the command does beyond one clean file: flat tops, batches holding a
bad file, output paths tried before any work, runs without matplotlib, and
lifetime loads over weighted files."""

from __future__ import annotations

import io
import json
import os

import pytest

from road_support import read_table


def _write(folder, files):
    for name, text in files.items():
        (folder / name).write_text(text)


# samples, flags -> the loads (m = 1, neq = 1) and the samples merged away.
FLAT_TOPS = [
    ("0 1 1 1 0", [], (1.0, 1.0), "2"),
    ("0 1 1 1 0", ["--keep-plateaus"], (0.0, 0.0), "0"),
    # Closing joins the last sample to the first: equal, they are a flat top too.
    ("2 2 3 2", [], (1.0, 1.0), "1"),
    ("2 2 3 2", ["--keep-plateaus"], (1.0, 0.0), "0"),
]


@pytest.mark.parametrize("samples, flags, loads, merged", FLAT_TOPS)
def test_flat_tops(cli, tmp_path, samples, flags, loads, merged):
    _write(tmp_path, {"flat.csv": "x\n" + samples.replace(" ", "\n") + "\n"})
    run = cli(tmp_path / "flat.csv", "-m", "1", "--neq", "1", "--no-plots", "--csv", tmp_path / "t.csv", *flags)
    assert run.code == 0, run.err
    (row,) = read_table(tmp_path / "t.csv")
    assert (float(row["eq_load"]), float(row["eq_load_closed"])) == loads
    assert (row["merged"], row["samples"]) == (merged, str(len(samples.split())))


def test_keep_going_writes_the_good_files(cli, tmp_path):
    _write(tmp_path, {"a.csv": "x\n0\n2\n0\n", "bad.csv": "x\n1\noops\n", "c.csv": "x\n0\n3\n0\n"})
    files = [tmp_path / n for n in ("a.csv", "bad.csv", "missing.csv", "c.csv")]
    run = cli(*files, "--keep-going", "--no-plots", "--json", tmp_path / "t.json", "--jobs", "1")
    assert run.code == 2
    errors = [line for line in run.err.splitlines() if ": error: " in line]
    assert [e.split(": error: ")[1].split(":")[0] for e in errors] == [str(files[2]), str(files[1])]
    document = json.loads((tmp_path / "t.json").read_text())
    assert [r["file"] for r in document["loads"]][::6] == [str(files[0]), str(files[3])]
    assert [f["file"] for f in document["failed"]] == [str(files[2]), str(files[1])]
    stopped = cli(*files, "--no-plots", "--json", tmp_path / "u.json")
    assert stopped.code == 1 and not (tmp_path / "u.json").exists()
    nothing = cli(files[1], "--keep-going", "--no-plots", "--json", tmp_path / "u.json")
    assert nothing.code == 1 and not (tmp_path / "u.json").exists()


# output option -> what makes it unusable, and the error (after the path).
BAD_OUTPUTS = [
    (["--csv", "{d}/no/t.csv"], "cannot write (--csv)"),
    (["--json", "{d}"], "is a folder (--json names the file to write)"),
    (["--csv", "{d}/a.csv"], "is one of the inputs (--csv would overwrite it)"),
    (["--csv", "{d}/t", "--json", "{d}/t"], "--csv and --json name the same file"),
    (["--plots", "{d}/a.csv/p"], "is a file, not a folder (--plots)"),
    (["--weights", "{d}/w.csv", "--sample-rate", "1", "--csv", "{d}/w.csv"],
     "is the weights file (--csv would overwrite it)"),
    (["--csv", "/dev/null"], "is not a regular file (a device, FIFO or socket); --csv writes files only"),
    (["--json", "{d}/fifo"], "is not a regular file (a device, FIFO or socket); --json writes files only"),
    (["{d}/fifo"], "fifo: is not a regular file (a FIFO, device or socket); the report reads files only"),
]


@pytest.mark.parametrize("args, message", BAD_OUTPUTS)
def test_outputs_are_tried_before_any_work(cli, report, tmp_path, monkeypatch, args, message):
    _write(tmp_path, {"a.csv": "x\n0\n2\n0\n", "w.csv": "a.csv,1\n"})
    os.mkfifo(tmp_path / "fifo")
    monkeypatch.setattr(report.pool, "analyse_file", lambda *a, **k: pytest.fail("work started"))
    before = sorted(os.listdir(tmp_path))
    run = cli(tmp_path / "a.csv", *(a.format(d=tmp_path) for a in args))
    assert run.code == 1 and message in run.err and run.err.count("\n") == 1, run.err
    assert sorted(os.listdir(tmp_path)) == before


def test_a_failed_run_takes_back_its_pictures_and_folder(cli, tmp_path):
    pytest.importorskip("matplotlib")
    _write(tmp_path, {"a.csv": "x\n0\n2\n0\n", "b.csv": "x\n1\nnan\n"})
    run = cli(tmp_path / "a.csv", tmp_path / "b.csv", "--plots", tmp_path / "p" / "q", "--jobs", "1")
    assert run.code == 1 and "non-finite sample 'nan'" in run.err
    assert sorted(os.listdir(tmp_path)) == ["a.csv", "b.csv"]


def test_without_matplotlib(cli, report, tmp_path, monkeypatch):
    monkeypatch.setattr(report.pictures, "pictures_available", lambda: False)
    monkeypatch.chdir(tmp_path)
    _write(tmp_path, {"a.csv": "x\n0\n2\n0\n"})
    run = cli("a.csv", "--csv", "t.csv")  # no pictures unless asked for
    assert run.code == 0 and run.err == ""
    assert sorted(os.listdir(tmp_path)) == ["a.csv", "t.csv", "t.statistics.csv"]
    explicit = cli("a.csv", "--plots", "p", "--csv", "u.csv")
    assert (explicit.code, explicit.err) == (1, f"cyclewright-report: error: {report.pictures.PLOTS_HINT}\n")
    assert sorted(os.listdir(tmp_path)) == ["a.csv", "t.csv", "t.statistics.csv"]


LIFE = {"a.csv": "time,x\n0,0\n1,2\n2,0\n3,2\n", "b.csv": "time,x\n0,0\n1,4\n"}


def test_lifetime_loads(cli, tmp_path):
    _write(tmp_path, {**LIFE, "w.csv": "file,hours\na.csv,1\nb.csv,0.5\n"})
    run = cli(tmp_path / "a.csv", tmp_path / "b.csv", "-m", "2,4", "--neq", "100", "--weights",
              tmp_path / "w.csv", "--no-plots", "--csv", tmp_path / "t.csv")
    assert run.code == 0, run.err
    rows = read_table(tmp_path / "t.csv")
    for m in (2.0, 4.0):
        mine = [r for r in rows if float(r["m"]) == m]
        # a.csv spans 4 s, so it recurs 900 times in an hour; b.csv spans 2 s: 900 times in half.
        assert [float(r["repetitions"]) for r in mine] == [900.0, 900.0]
        expected = sum(900.0 * float(r["eq_load"]) ** m for r in mine) ** (1 / m)
        assert [float(r["del_life"]) for r in mine] == pytest.approx([expected] * 2, rel=1e-12)
    assert "lifetime equivalent loads at neq = 100" in run.out


# weights file, extra options -> the error.
BAD_WEIGHTS = [
    ("file,hours\na.csv,1\n", [], "b.csv: no weight in"),
    ("a.csv,1\nb.csv,1\nc.csv,2\n", [], "c.csv is not a file of this run"),
    ("a.csv,1\nb.csv,x\n", [], "row 2: 'x' is not a number of hours"),
    ("a.csv,1\nb.csv,-1\n", [], "the weight of b.csv must be zero or more hours"),
    ("a.csv,1\nb.csv,1\n", ["--time-column", "t"], "no column named 't'"),
]


@pytest.mark.parametrize("weights, extra, message", BAD_WEIGHTS)
def test_weights_refused(cli, tmp_path, weights, extra, message):
    _write(tmp_path, {**LIFE, "w.csv": weights})
    run = cli(tmp_path / "a.csv", tmp_path / "b.csv", "--weights", tmp_path / "w.csv", "--no-plots", *extra)
    assert run.code == 1 and message in run.err and run.err.count("\n") == 1, run.err


def test_weights_need_a_duration(cli, tmp_path):
    _write(tmp_path, {"a.csv": "x\n0\n2\n0\n2\n", "w.csv": "a.csv,2\n"})
    args = (tmp_path / "a.csv", "--weights", tmp_path / "w.csv", "--no-plots", "--csv", tmp_path / "t.csv")
    assert "no time column" in cli(*args).err
    assert cli(*args, "--sample-rate", "2").code == 0
    assert read_table(tmp_path / "t.csv")[0]["repetitions"] == "3600.0"  # 2 h of a 2 s file


def test_a_run_parses_each_header_once(cli, report, tmp_path, monkeypatch):
    from cyclewright_report.reading.text import TextReader
    parsed, header = [], TextReader.header
    monkeypatch.setattr(TextReader, "header", lambda self: parsed.append(self.path) or header(self))
    _write(tmp_path, {**LIFE, "w.csv": "a.csv,1\nb.csv,2\n"})
    run = cli(tmp_path / "a.csv", tmp_path / "b.csv", "--weights", tmp_path / "w.csv", "--no-plots", "--jobs", "1")
    assert run.code == 0, run.err
    assert parsed == [str(tmp_path / "a.csv"), str(tmp_path / "b.csv")]


# failure -> whether the run's outputs are put in place (exit 0) or none is (exit 1).
COMMITS = [("none", True), ("stdout closed", True), ("bad file", False), ("json disk full", False),
           ("last rename", False)]


@pytest.mark.parametrize("failure, written", COMMITS)
def test_outputs_all_or_nothing(report, tmp_path, monkeypatch, failure, written):
    pytest.importorskip("matplotlib")
    _write(tmp_path, {"a.csv": "x\n0\n2\n0\n", "b.csv": "y\n1\nnan\n" if failure == "bad file" else "y\n0\n1\n"})
    (tmp_path / "p").mkdir()
    (tmp_path / "real").mkdir()
    os.symlink(tmp_path / "real" / "t.csv", tmp_path / "t.csv")  # written through, the link kept
    old = {"p/a.x.png": "old", "p/other.x.png": "another run's", "real/t.csv": "old", "t.json": "old"}
    _write(tmp_path, old)
    table_write, replace, calls = report.output.TableFile.write, os.replace, []

    def write(self, text):
        if failure == "json disk full" and self.target.endswith(".json"):
            raise report.ReportError(f"{self.target}: cannot write: No space left on device")
        table_write(self, text)

    def last_fails(source, target):
        calls.append(target)
        if failure == "last rename" and len(calls) == 4:
            raise OSError(5, "Input/output error")
        replace(source, target)

    class Closed(io.StringIO):
        def write(self, text):
            raise BrokenPipeError(32, "Broken pipe")

    monkeypatch.setattr(report.output.TableFile, "write", write)
    monkeypatch.setattr(report.atomic.os, "replace", last_fails)
    err = io.StringIO()
    code = report.cli.main([str(tmp_path / "a.csv"), str(tmp_path / "b.csv"), "--plots", str(tmp_path / "p"),
                            "--csv", str(tmp_path / "t.csv"), "--json", str(tmp_path / "t.json"), "--jobs", "1"],
                           out=Closed() if failure == "stdout closed" else io.StringIO(), err=err)
    assert (code, err.getvalue().count("\n")) == ((0, 0) if written else (1, 1)), err.getvalue()
    assert os.path.islink(tmp_path / "t.csv")
    changed = {name for name, text in old.items() if (tmp_path / name).read_text(errors="replace") != text}
    assert changed == ({"p/a.x.png", "real/t.csv", "t.json"} if written else set())
    assert sorted(os.listdir(tmp_path / "p")) == sorted(["a.x.png", "other.x.png"] + ["b.y.png"] * written)
    assert not [n for d in ("", "p", "real") for n in os.listdir(tmp_path / d) if n.startswith(".")]


# extra arguments -> exit status and a piece of standard error; a.csv has a, b; b.csv has b, c.
RUNS = [
    (["--channels", "a,c"], 0, ""),
    (["--channels", "zz,a,c"], 1, "no channel of any file matches 'zz' (--channels)"),
    (["--t-end", "1"], 1, "no time column, so no --t-start or --t-end"),
    (["--jobs", "200"], 0, "note: --jobs 200: using "),
]


@pytest.mark.parametrize("args, code, message", RUNS)
def test_runs(cli, tmp_path, args, code, message):
    _write(tmp_path, {"a.csv": "a,b\n0,1\n2,0\n", "b.csv": "b,c\n1,0\n0,3\n"})
    run = cli(tmp_path / "a.csv", tmp_path / "b.csv", *args)
    assert run.code == code and message in run.err and run.err.count("\n") == bool(run.err), run.err
