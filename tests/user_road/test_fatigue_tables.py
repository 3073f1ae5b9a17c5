"""The tables beside the loads: exponents per channel, statistics, extremes,
damage, matrices and wind-climate hours, checked against the module, pCrunch
on a real OpenFAST file, fatpack's matrices and hand-worked climates."""

from __future__ import annotations

import json
import math
from pathlib import Path

import numpy as np
import pytest

import cyclewright
from road_support import EXAMPLE_LOAD, TOP, read_table

SERIES = TOP / "tests" / "user_road" / "data" / "rfcnt_long_series.csv"


def _pcrunch_data():
    pcrunch = pytest.importorskip("pCrunch")
    return Path(pcrunch.__file__).parent / "test" / "data"


@pytest.fixture(scope="module")
def series_csv(tmp_path_factory):
    path = tmp_path_factory.mktemp("series") / "series.csv"
    path.write_text("x\n" + "\n".join(f"{v:g}" for v in np.loadtxt(SERIES)) + "\n")
    return path


@pytest.mark.parametrize("flags", [(), ("--no-half",), ("--keep-plateaus",), ("--no-half", "--keep-plateaus")])
def test_loads_are_the_modules_bit_for_bit(cli, report, series_csv, tmp_path, flags):
    # --sn and --matrix add the count of the cycles; the loads must not move.
    table = tmp_path / "t.csv"
    run = cli(series_csv, EXAMPLE_LOAD, "--no-plots", "-m", "3,4.5,10", "--csv", table, "--sn",
              "dnv-c203:D:air", "--matrix", tmp_path / "m", *flags)
    assert run.code == 0, run.err
    options = report.Options(half="--no-half" not in flags, keep_plateaus="--keep-plateaus" in flags)
    signals = {(str(path), c.name): report.counting.counted_signal(c.samples, options)
               for path in (series_csv, EXAMPLE_LOAD) for c in report.read_load_history(str(path)).channels}
    rows = read_table(table)
    assert len(rows) == 3 * 5
    for row in rows:
        x, m = signals[(row["file"], row["channel"])], float(row["m"])
        closing = report.counting.closed_signal(x, options)
        assert float(row["eq_load"]) == cyclewright.eq_load_python(x, m, 10**7, options.half)
        assert float(row["eq_load_closed"]) == cyclewright.eq_load_max_half_cycle_closed_python(
            closing, m, 10**7, options.half)


EXPONENT_CASES = [  # -m values -> exponents of (flap, edge, tower, torque)
    ((), [(3, 4, 5, 8, 10, 12)] * 4),
    (("4,10",), [(4, 10)] * 4),
    (("blade*=4", "tower_base_fa=10,12", "blade_root_edge=5"), [(4,), (4,), (10, 12), (3, 4, 5, 8, 10, 12)]),
    (("shaft*=5", "3", "2"), [(2,), (2,), (2,), (5,)]),
]


@pytest.mark.parametrize(("values", "expected"), EXPONENT_CASES)
def test_exponents_per_channel(cli, tmp_path, values, expected):
    table = tmp_path / "t.csv"
    run = cli(EXAMPLE_LOAD, "--no-plots", "--csv", table, *(a for v in values for a in ("-m", v)))
    assert run.code == 0, run.err
    found: dict[str, list[float]] = {}
    for row in read_table(table):
        found.setdefault(row["channel"], []).append(float(row["m"]))
    assert list(found.values()) == [list(map(float, e)) for e in expected]


@pytest.mark.parametrize("value", ["=3", "Twr*=", "Twr*=x", "0", "3,-1"])
def test_bad_exponents_are_refused(cli, value):
    with pytest.raises(SystemExit):
        cli(EXAMPLE_LOAD, "--no-plots", "-m", value)


def test_statistics_and_extremes_agree_with_pcrunch(cli, report, tmp_path):
    # A real OpenFAST file of 276 channels; pCrunch is given the very samples read.
    from pCrunch import AeroelasticOutput

    path = _pcrunch_data() / "DLC1p1" / "DLC1.1_0_NREL5MW_OC3_spar_1.outb"
    run = cli(path, "--no-plots", "--csv", tmp_path / "t.csv", "--extremes-context", "-m", "4")
    assert run.code == 0, run.err
    history = report.read_load_history(str(path))
    names = [c.name for c in history.channels]
    theirs = AeroelasticOutput({"Time": history.time, **{c.name: c.samples for c in history.channels}})
    summary, time = theirs.summary_stats(), theirs.time
    rows = read_table(tmp_path / "t.statistics.csv")
    assert [r["channel"] for r in rows] == names
    for row in rows:
        expected = summary[row["channel"]]
        for key in ("min", "max", "mean", "std"):
            assert float(row[key]) == pytest.approx(expected[key], rel=1e-12, abs=1e-300), (row["channel"], key)
        j = theirs.channels.index(row["channel"])
        assert float(row["time_of_min"]) == time[theirs.idxmins[j]]
        assert float(row["time_of_max"]) == time[theirs.idxmaxs[j]]
    extremes = read_table(tmp_path / "t.extremes.csv")
    assert list(extremes[0])[:5] == ["file", "channel", "extreme", "time", "value"]
    assert list(extremes[0])[5:] == names
    for kind in ("min", "max"):
        expected = theirs.extremes(stat=kind)
        for row in (r for r in extremes if r["extreme"] == kind):
            context = expected[row["channel"]]
            assert float(row["time"]) == context["Time"]
            assert [float(row[n]) for n in names] == [context[n] for n in names]


def _pcrunch_curve(environment):
    from pCrunch.fatigue import dnv_in_air, dnv_in_seawater_cathodic

    return {"air": dnv_in_air, "seawater-cp": dnv_in_seawater_cathodic}[environment]("D", "MPa")


@pytest.mark.parametrize(("sn", "environment"), [
    ("dnv-c203:D:air", "air"),
    ("dnv-c203:D:seawater-cp", "seawater-cp"),
    ("k=3,5;log10_a=12.164,15.606;knees=52.63;quantity=range", "air"),
])
def test_damage_agrees_with_pcrunchs_curve(cli, report, tmp_path, sn, environment):
    # pCrunch's own count classes the signal into 256 levels, so its curve
    # (DNV-RP-C203 through fatpack) takes the cycles of the rainflow package.
    rainflow = pytest.importorskip("rainflow")
    path = _pcrunch_data() / "AOC_WSt.outb"
    weights = tmp_path / "w.csv"
    weights.write_text(f"{path},2.5\n")
    run = cli(path, "--no-plots", "--csv", tmp_path / "t.csv", "-m", "4", "--sn", sn,
              "--sn-scale", "Root*=0.5", "--sn-scale", "*=1/4", "--weights", weights)
    assert run.code == 0, run.err
    curve = _pcrunch_curve(environment)
    history = report.read_load_history(str(path))
    samples = {c.name: report.merge_plateaus(c.samples) for c in history.channels}
    rows = read_table(tmp_path / "t.damage.csv")
    files = [r for r in rows if r["file"] != "lifetime"]
    assert len(files) == len(samples) and {r["sn"] for r in rows} == {sn}
    for row in files:
        scale = 0.5 if row["channel"].startswith("Root") else 0.25
        cycles = np.array([(rng * scale, count) for rng, _, count, _, _ in
                           rainflow.extract_cycles(samples[row["channel"]])]).reshape(-1, 2)
        assert float(row["scale"]) == scale
        expected = curve.find_miner_sum(cycles) if cycles.size else 0.0
        assert float(row["damage"]) == pytest.approx(expected, rel=2e-3, abs=1e-300), row["channel"]
    repetitions = 2.5 * 3600 / history.duration
    for row, life in zip(files, (r for r in rows if r["file"] == "lifetime"), strict=True):
        assert float(life["damage"]) == pytest.approx(repetitions * float(row["damage"]), rel=1e-12)


def _fatpack_matrix(x, range_edges, mean_edges):
    """fatpack's cycles of the turning points, residue pairs as half cycles."""
    fatpack = pytest.importorskip("fatpack")
    inner = x[1:-1]
    turning = (inner > x[:-2]) & (inner > x[2:]) | (inner < x[:-2]) & (inner < x[2:])
    reversals = np.concatenate([x[:1], inner[turning], x[-1:]])
    cycles, residue = fatpack.find_rainflow_cycles(reversals)
    half = np.c_[residue[:-1], residue[1:]]
    matrix = np.zeros((range_edges.size - 1, mean_edges.size - 1))
    for pairs, count in ((cycles, 1.0), (half, 0.5)):
        data = np.c_[np.abs(pairs[:, 1] - pairs[:, 0]), (pairs[:, 0] + pairs[:, 1]) / 2]
        matrix += count * fatpack.find_rainflow_matrix(data, range_edges, mean_edges)
    return matrix


def test_matrices_agree_with_fatpack(cli, report, tmp_path):
    scaled = tmp_path / "scaled.csv"
    table = np.loadtxt(EXAMPLE_LOAD, delimiter=",", skiprows=2)
    table[:, 1:] = np.round(table[:, 1:] * 1.7, 1)
    np.savetxt(scaled, table, delimiter=",", fmt="%.6g", comments="",
               header="time,blade_root_flap,blade_root_edge,tower_base_fa,shaft_torque")
    hours = tmp_path / "w.csv"
    hours.write_text(f"file,hours\n{EXAMPLE_LOAD},1\n{scaled},2\n")
    folder = tmp_path / "m"
    run = cli(EXAMPLE_LOAD, scaled, "--no-plots", "--matrix", folder, "--bins", "16", "--weights", hours,
              "-m", "4")
    assert run.code == 0, run.err
    totals: dict[str, list] = {}
    for path, weight in ((EXAMPLE_LOAD, 1.0), (scaled, 2.0)):
        for channel in report.read_load_history(str(path)).channels:
            x = report.merge_plateaus(channel.samples)
            with np.load(folder / f"{Path(path).stem}.{channel.name}.npz") as saved:
                counts, ranges, means = saved["counts"], saved["range_edges"], saved["mean_edges"]
            np.testing.assert_array_equal(ranges, np.linspace(0, np.ptp(x), 17))
            np.testing.assert_array_equal(means, np.linspace(x.min(), x.max(), 17))
            np.testing.assert_array_equal(counts, _fatpack_matrix(x, ranges, means))
            text = np.loadtxt(folder / f"{Path(path).stem}.{channel.name}.csv", delimiter=",", skiprows=1)
            np.testing.assert_array_equal(text[:, 0], ranges[:-1])
            np.testing.assert_array_equal(text[:, 1:], counts)
            totals.setdefault(channel.name, []).append((weight * 3600 / 400 * counts.sum(), means, ranges))
    for name, files in totals.items():
        # On the widest edges of the two, every weighted cycle kept.
        with np.load(folder / f"lifetime.{name}.npz") as saved:
            assert saved["counts"].sum() == pytest.approx(sum(f[0] for f in files), rel=1e-12)
            assert saved["mean_edges"][[0, -1]].tolist() == [min(f[1][0] for f in files), max(f[1][-1] for f in files)]
            assert saved["range_edges"][-1] == max(f[2][-1] for f in files)


def test_a_failed_run_leaves_no_matrix(cli, tmp_path):
    folder = tmp_path / "m"
    folder.mkdir()
    (folder / "old.npz").write_bytes(b"kept")
    bad = tmp_path / "zbad.csv"
    bad.write_text("x\n1\n2\ninf\n")
    run = cli(EXAMPLE_LOAD, bad, "--no-plots", "--matrix", folder, "--jobs", "1", "--csv", tmp_path / "t.csv")
    assert run.code == 1, run.err
    assert sorted(p.name for p in folder.iterdir()) == ["old.npz"]
    assert sorted(p.name for p in tmp_path.iterdir()) == ["m", "zbad.csv"]


def test_extremes_name_every_channel_of_the_run(cli, tmp_path):
    (tmp_path / "a.csv").write_text("time,x,y\n0,1,5\n1,3,4\n2,3,6\n")
    np.save(tmp_path / "b.npy", np.array([[7.0, 1.0], [2.0, 0.0]]))
    run = cli(tmp_path / "a.csv", tmp_path / "b.npy", "--no-plots", "--csv", tmp_path / "t.csv",
              "--extremes-context", "--json", tmp_path / "t.json")
    assert run.code == 0, run.err
    stats = [(r["channel"], r["min"], r["max"], r["time_of_min"], r["time_of_max"])
             for r in read_table(tmp_path / "t.statistics.csv")]
    assert stats == [("x", "1.0", "3.0", "0.0", "1.0"), ("y", "4.0", "6.0", "1.0", "2.0"),
                     ("0", "2.0", "7.0", "", ""), ("1", "0.0", "1.0", "", "")]
    extremes = [list(r.values())[2:] for r in read_table(tmp_path / "t.extremes.csv")]
    assert extremes[:2] == [["min", "0.0", "1.0", "1.0", "5.0", "", ""], ["max", "1.0", "3.0", "3.0", "4.0", "", ""]]
    assert extremes[-1] == ["max", "", "1.0", "", "", "7.0", "1.0"]
    document = json.loads((tmp_path / "t.json").read_text())
    assert {"loads", "statistics", "extremes", "damage", "matrices", "options"} <= set(document)
    assert document["extremes"][-1]["context"] == {"0": 7.0, "1": 1.0}
    cut = cli(tmp_path / "a.csv", "--no-plots", "--csv", tmp_path / "cut.csv", "--t-start", "1")
    assert cut.code == 0, cut.err
    assert [(r["min"], r["time_of_min"]) for r in read_table(tmp_path / "cut.statistics.csv")] == [
        ("3.0", "1.0"), ("4.0", "1.0")]


def test_the_json_options_repeat_the_run(cli, tmp_path):
    first = tmp_path / "first.json"
    run = cli(EXAMPLE_LOAD, "--no-plots", "-m", "blade*=4", "--sn", "dnv-c203:E:air", "--json", first)
    assert run.code == 0, run.err
    arguments = json.loads(first.read_text())["options"]["arguments"]
    again = cli(*(str(tmp_path / "again.json") if a == str(first) else a for a in arguments))
    assert again.out.replace("again.json", "first.json") == run.out
    assert (tmp_path / "again.json").read_text() == first.read_text().replace("first.json", "again.json")


def _weibull(v, k, a):
    return 1.0 - math.exp(-((v / a) ** k))


@pytest.mark.parametrize(("climate", "k", "a"), [
    ("weibull:k=2.2,A=9.5", 2.2, 9.5),
    ("rayleigh:mean=8", 2.0, 16 / math.sqrt(math.pi)),
])
def test_hours_from_a_wind_climate(report, climate, k, a):
    from cyclewright_report import wind

    speeds, paths = [4.0, 5.9, 6.0, 24.99], ["a", "b", "c", "d"]
    hours, note = wind.bin_hours(speeds, paths, wind.parse_climate(climate), wind.parse_bins("4:25:2"), 20, 0.9)
    bins = [_weibull(hi, k, a) - _weibull(hi - 2, k, a) for hi in (6, 8, 26)]  # the bins with files
    life = 20 * 8766 * 0.9
    assert hours == pytest.approx([life * bins[0] / 2, life * bins[0] / 2, life * bins[1], life * bins[2]],
                                  rel=1e-12)
    assert f"probability left out: {100 * (1 - sum(bins)):.3g} %" in note and climate in note
    with pytest.raises(report.ReportError, match="holds d, e"):
        wind.bin_hours([1, 3, 30.0, 26.0], ["c", "b", "d", "e"], wind.parse_climate(climate),
                       wind.parse_bins("0:25:2"), 20, 1)


def test_lifetime_hours_from_the_wind(cli, report, tmp_path):
    speeds = tmp_path / "speeds.csv"
    speeds.write_text(f"file,wind_speed\n{EXAMPLE_LOAD},7.5\n")
    run = cli(EXAMPLE_LOAD, "--no-plots", "-m", "4", "--csv", tmp_path / "t.csv", "--weights", speeds,
              "--wind", "rayleigh:mean=8", "--wind-bins", "3:25:1", "--life-years", "25", "--availability", "0.95")
    assert run.code == 0, run.err
    climate = report.wind.parse_climate("rayleigh:mean=8")
    (hours,), note = report.wind.bin_hours([7.5], ["x"], climate, report.wind.parse_bins("3:25:1"), 25, 0.95)
    assert {float(r["weight_hours"]) for r in read_table(tmp_path / "t.csv")} == {hours}
    assert note in run.out.splitlines()


@pytest.mark.parametrize(("arguments", "message"), [
    (["--wind", "weibull:k=2,A=9"], "--wind needs --wind-bins and --weights"),
    (["--wind-bins", "3:25:2"], "--wind-bins needs --wind"),
    (["--wind", "weibull:k=2", "--wind-bins", "3:25:2", "--weights", "w.csv"], "write weibull:k=K,A=A"),
    (["--wind", "rayleigh:mean=8", "--wind-bins", "3:25:0", "--weights", "w.csv"], "WIDTH > 0"),
    (["--wind", "rayleigh:mean=8", "--wind-bins", "3:25:2", "--weights", "w.csv"], "holds a.csv (--wind-bins)"),
    (["--sn", "dnv-c203:Q:air"], "no DNV-RP-C203 curve named 'Q'"),
    (["--sn", "dnv-c203:D:fresh"], "environment must be one of"),
    (["--sn", "k=3;log10_a=12"], "quantity missing"),
    (["--sn", "k=3,5;log10_a=12.164,15.606;knees=80;quantity=range"], "do not meet at the knee"),
    (["--sn-scale", "Root*=0"], "above zero"),
    (["--availability", "1.5"], "at most 1"),
])
def test_refused_options(cli, capsys, tmp_path, monkeypatch, arguments, message):
    monkeypatch.chdir(tmp_path)
    (tmp_path / "a.csv").write_text("x\n0\n2\n0\n")
    (tmp_path / "w.csv").write_text("file,wind_speed\na.csv,1.5\n")
    try:
        run = cli("a.csv", "--no-plots", *arguments)
        code, err = run.code, run.err
    except SystemExit as exc:  # the option parser's refusal (status 2)
        code, err = exc.code, capsys.readouterr().err
    assert code in (1, 2) and message in err, err
    assert sorted(p.name for p in tmp_path.iterdir()) == ["a.csv", "w.csv"]


def test_nan_samples_have_the_modules_loads_and_no_matrix(cli, tmp_path):
    source = tmp_path / "a.csv"
    source.write_text("x\n0\n2\nnan\n1\n3\n0\n")
    run = cli(source, "--no-plots", "--allow-nan", "-m", "3", "--sn", "dnv-c203:D:air", "--matrix",
              tmp_path / "m", "--csv", tmp_path / "t.csv")
    assert run.code == 0, run.err
    (row,) = read_table(tmp_path / "t.csv")
    x = np.array([0, 2, np.nan, 1, 3, 0.0])
    assert float(row["eq_load"]) == cyclewright.eq_load_python(x, 3.0, 10**7, True)
    assert read_table(tmp_path / "t.damage.csv")[0]["damage"] == "nan"
    assert [r["min"] for r in read_table(tmp_path / "t.statistics.csv")] == ["0.0"]
    assert not (tmp_path / "m").exists()

