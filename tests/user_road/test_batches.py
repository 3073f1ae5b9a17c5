"""What the command does beyond one clean file: flat tops, batches holding a
bad file, output paths tried before any work, runs without matplotlib, and
lifetime loads over weighted files."""

from __future__ import annotations

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
    assert [r["file"] for r in document["rows"]][::6] == [str(files[0]), str(files[3])]
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
]


@pytest.mark.parametrize("args, message", BAD_OUTPUTS)
def test_outputs_are_tried_before_any_work(cli, report, tmp_path, monkeypatch, args, message):
    _write(tmp_path, {"a.csv": "x\n0\n2\n0\n"})
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
    assert sorted(os.listdir(tmp_path)) == ["a.csv", "t.csv"]
    explicit = cli("a.csv", "--plots", "p", "--csv", "u.csv")
    assert (explicit.code, explicit.err) == (1, f"cyclewright-report: error: {report.pictures.PLOTS_HINT}\n")
    assert sorted(os.listdir(tmp_path)) == ["a.csv", "t.csv"]


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
