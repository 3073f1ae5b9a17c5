"""Reading load histories: what the report accepts (text tables of any
delimiter, units rows, time columns, chosen channels, .npy, OpenFAST output),
and the one-line error (with file, line or index, and column) for everything
it refuses."""

from __future__ import annotations

import csv
import io
import math
import os
import re
import time
from pathlib import Path

import numpy as np
import pytest

from road_support import run_script

# CSV text -> the channels read, name: samples.
GOOD_CSV = [
    pytest.param("a,b\n1,2\n3,4\n", {}, {"a": [1, 3], "b": [2, 4]}, id="plain"),
    pytest.param("\ufeff a , b \r\n 1 , 2 \r\n\r\n3,4\r\n\r\n\r\n", {},
                 {"a": [1, 3], "b": [2, 4]}, id="bom-blanks-crlf-spaces"),
    pytest.param('"flap, root",edge\n1.5,-2e3\n', {}, {"flap, root": [1.5], "edge": [-2000.0]},
                 id="quoted-name"),
    pytest.param("a;b\n1;2\n", {"delimiter": ";"}, {"a": [1], "b": [2]}, id="semicolons"),
    pytest.param("x\nnan\n1\n2\n", {"allow_nan": True}, {"x": [math.nan, 1, 2]}, id="allow-nan"),
    pytest.param("x\n-0.0\n1e-300\n", {}, {"x": [-0.0, 1e-300]}, id="tiny-and-signed-zero"),
    pytest.param("Time\ta\n0\t1\n0.1\t2\n", {"delimiter": "\t"}, {"a": [1, 2]}, id="tabs-time-left-out"),
    pytest.param("  t   a  b\n 0  1 2\n1 3   4\n", {"delimiter": "ws", "time_column": "t"},
                 {"a": [1, 3], "b": [2, 4]}, id="whitespace-named-time"),
    pytest.param("a;b\n1,5;-2,25e1\n", {"delimiter": ";", "decimal": ","}, {"a": [1.5], "b": [-22.5]},
                 id="decimal-comma"),
    pytest.param("TIME,a\n(s),(kN)\n\n0,1\n1,2\n", {}, {"a": [1, 2]}, id="units-row"),
    pytest.param("RootMx1,RootMy1,TwrBsMx,date\n1,2,3,x\n", {"channels": ("Root*", "TwrBsMx"),
                 "exclude": ("*My*", "date")}, {"RootMx1": [1], "TwrBsMx": [3]}, id="channels-globs"),
    pytest.param("a,a\n1,2\n", {}, {"a": [1], "a (column 2)": [2]}, id="repeated-name-made-distinct"),
    pytest.param("a;b\n1;2\n", {}, {"a": [1], "b": [2]}, id="sniffed-semicolons"),
    pytest.param("a\tb\n1\t2\n", {}, {"a": [1], "b": [2]}, id="sniffed-tabs"),
    pytest.param("a  b\n 1 2\n", {}, {"a": [1], "b": [2]}, id="sniffed-whitespace"),
    pytest.param("made by a tool\nrun 3\n# note\na,b\n# more\n1,2\n3,4 # why\n", {"skip_rows": 2, "comment": "#"},
                 {"a": [1, 3], "b": [2, 4]}, id="preamble-and-comments"),
    pytest.param("1,2\n3,4\n", {"names": ("a", "b")}, {"a": [1, 3], "b": [2, 4]}, id="names-without-header"),
    pytest.param("a,b\r1,2\r3,4\r", {}, {"a": [1, 3], "b": [2, 4]}, id="cr-only"),
    pytest.param('"' + "x" * 200_000 + '",b\r1,2\r', {}, {"x" * 200_000: [1], "b": [2]}, id="long-field-cr-only"),
    pytest.param("t,a\n0,1\n1,2\n2,3\n3,4\n", {"t_start": 1.0, "t_end": 2.0}, {"a": [2, 3]}, id="window"),
]

# text, options -> (units, duration in seconds) of the file.
UNITS_AND_TIME = [
    pytest.param("Time,a,b\n(s),(kN),\n0,1,2\n0.5,2,3\n1.0,3,4\n", {}, ["kN", None], 1.5, id="units-time"),
    pytest.param("t;a\n[s];[kNm]\n0;1\n2;2\n", {"delimiter": ";", "time_column": "t"}, ["kNm"], 4.0,
                 id="brackets"),
    pytest.param("a,b\n-,m/s\n1,2\n", {"unit": "N"}, ["N", "N"], None, id="unit-overrides"),
    pytest.param("a,Time [s]\n1,0\n2,3\n", {}, [None], 6.0, id="time-with-its-unit"),
    pytest.param("time,a\n0,1\n", {}, [None], None, id="one-step-no-duration"),
    pytest.param("Time [sec],a\n0,1\n2,2\n", {}, [None], 4.0, id="time-in-sec"),
    pytest.param("a,T (s)\n1,0\n2,1\n", {}, [None], 2.0, id="t"),
    pytest.param(b"TIME (s),a\n,(kN\xb7m)\n0,1\n1,2\n2,3\n", {"t_end": 1.0}, ["kN\u00b7m"], 2.0,
                 id="latin1-units-window"),
]


@pytest.mark.parametrize("text, options, units, duration", UNITS_AND_TIME)
@pytest.mark.parametrize("suffix", [".csv", ".txt", ".dat"])
def test_units_and_duration(report, tmp_path, text, options, units, duration, suffix):
    path = tmp_path / f"loads{suffix}"
    path.write_bytes(text if isinstance(text, bytes) else text.encode())
    history = report.read_load_history(str(path), report.Options(**options))
    assert [c.unit for c in history.channels] == units
    assert history.duration == duration

# CSV text (None: no file), options -> the error, after "<path>: ".
FOLDER = "<a folder>"
BAD_CSV = [
    pytest.param(None, {}, r"no such file", id="missing"),
    pytest.param(FOLDER, {}, r"is a folder, not a file", id="folder"),
    pytest.param("", {}, r"an empty file, not a text table", id="empty-file"),
    pytest.param("\n\n", {}, r"no table: the file holds no line to read", id="blank-file"),
    pytest.param("1,2\n3,4\n", {}, r"line 1: the first row holds numbers; it must name the columns "
                 r"\(or give them: --names\)", id="no-header"),
    pytest.param("a,\n1,2\n", {}, r"line 1, column 2: a column without a name", id="unnamed"),
    pytest.param("a,b\n", {}, r"channel 'a' is empty: no samples under the header", id="no-rows"),
    pytest.param("a,b\n1,2\n3,x\n", {}, r"line 3, column 2: 'x' is not a number",
                 id="not-a-number"),
    pytest.param("a,b\n1,2\n3, \n", {}, r"line 3, column 2: an empty cell", id="empty-cell"),
    pytest.param("a,b\n1,2\n\n3,4,5\n", {}, r"line 4: 3 cells, but the header names 2 channels",
                 id="ragged-row"),
    pytest.param("a,b\n1,2\n3,inf\n", {}, r"line 3, column 2 \('b'\): non-finite sample 'inf'$",
                 id="infinity"),
    pytest.param("a,b\n1,2\n3,1e999\n", {}, r"line 3, column 2 \('b'\): non-finite sample '1e999'$",
                 id="overflow"),
    pytest.param("a,b\n-nan,2\n", {}, r"line 2, column 1 \('a'\): non-finite sample '-nan' "
                 r"\(--allow-nan lets NaN through\)", id="nan"),
    pytest.param("a,b\n1,-inf\n", {"allow_nan": True}, r"line 2, column 2 \('b'\): non-finite sample '-inf'$",
                 id="allow-nan-keeps-refusing-infinity"),
    pytest.param("a,b\n1,nan\n2,NaN\n", {"allow_nan": True}, r"channel 'b' holds only NaN samples",
                 id="only-nan"),
    pytest.param(b"a,b\n1,\xff\n", {}, r"line 2, column 2: '\xff' is not a number", id="not-a-latin1-number"),
    pytest.param("a;b\n1;2\n", {"delimiter": ","}, r"line 2, column 1: '1;2' is not a number", id="delimiter-given"),
    pytest.param("# a\nx\n1\n", {"skip_rows": 3}, r"no table", id="skip-all"),
    pytest.param("a,b\n1,2\n", {"t_start": 0.0}, r"no time column, so no --t-start", id="window-without-time"),
    pytest.param("t,a\n0,1\n1,2\n", {"t_start": 5.0}, r"no sample between --t-start and --t-end "
                 r"\(its time runs from 0 to 1 s\)", id="window-empty"),
    pytest.param("a;b\n1,5;2\n", {"delimiter": ",", "decimal": ","}, r"separated by ',', the decimal mark",
                 id="decimal-is-delimiter"),
    pytest.param("a,b\n1,2\n", {"exclude": ("*",)}, r"no channel left to analyse", id="all-excluded"),
    pytest.param("a,b\n1,2\n", {"time_column": "t"}, r"no column named 't' to take as time \(--time-column\)",
                 id="no-time-column"),
    pytest.param("time,Time,a\n1,2,3\n", {}, r"2 columns may hold time \('time', 'Time'\); name the one to use \(--time-column\)", id="two-times"),
    pytest.param("time,a\n1,2\n1,3\n", {}, r"the time column does not increase", id="time-stands"),
]


@pytest.mark.parametrize("text, options, expected", GOOD_CSV)
def test_csv_channels(report, tmp_path, text, options, expected):
    path = tmp_path / "loads.csv"
    path.write_text(text, encoding="utf-8", newline="")
    channels = report.read_load_history(str(path), report.Options(**options)).channels
    assert [c.name for c in channels] == list(expected)
    for channel, samples in zip(channels, expected.values(), strict=True):
        assert channel.samples.dtype == np.float64 and channel.samples.flags.c_contiguous
        np.testing.assert_array_equal(channel.samples, np.array(samples, dtype=np.float64))
    signs = [math.copysign(1.0, v) for c in channels for v in c.samples]
    assert signs == [math.copysign(1.0, v) for s in expected.values() for v in s]
    assert report.count_channels(str(path), report.Options(**options)) == len(expected)


@pytest.mark.parametrize("text, options, expected", BAD_CSV)
def test_csv_refused(report, tmp_path, text, options, expected):
    path = tmp_path / "loads.csv"
    if isinstance(text, bytes):
        path.write_bytes(text)
    elif text == FOLDER:
        path.mkdir()
    elif text is not None:
        path.write_text(text, encoding="utf-8", newline="")
    with pytest.raises(report.ReportError) as caught:
        report.read_load_history(str(path), report.Options(**options))
    message = str(caught.value)
    assert "\n" not in message
    assert message.startswith(f"{path}: ")
    assert re.search(expected, message[len(f"{path}: "):]), message


def _columns(table):
    return {str(j): table[:, j] for j in range(table.shape[1])}


# array saved as .npy -> channels read.
GOOD_NPY = [
    pytest.param(np.array([1.0, -2.0, 3.5]), {"0": [1.0, -2.0, 3.5]}, id="one-channel"),
    pytest.param(np.arange(12.0).reshape(4, 3), _columns(np.arange(12.0).reshape(4, 3)), id="columns"),
    pytest.param(np.asfortranarray(np.arange(6.0).reshape(3, 2)), {"0": [0, 2, 4], "1": [1, 3, 5]},
                 id="fortran-order"),
    pytest.param(np.array([1.0, 2.0, 4.0]).astype(">f8"), {"0": [1.0, 2.0, 4.0]}, id="big-endian"),
    pytest.param(np.array([[1, 2], [3, 4]], dtype=np.int32), {"0": [1, 3], "1": [2, 4]}, id="integers"),
    pytest.param(np.array([0.5, 0.25], dtype=np.float32), {"0": [0.5, 0.25]}, id="float32"),
]


@pytest.mark.parametrize("array, expected", GOOD_NPY)
def test_npy_channels(report, tmp_path, array, expected):
    path = tmp_path / "loads.npy"
    np.save(path, array)
    channels = report.read_load_history(str(path)).channels
    assert [c.name for c in channels] == list(expected)
    for channel, samples in zip(channels, expected.values(), strict=True):
        # The module refuses strided memory; every column must come out contiguous.
        assert channel.samples.dtype == np.dtype("=f8") and channel.samples.flags.c_contiguous
        np.testing.assert_array_equal(channel.samples, np.asarray(samples, dtype=np.float64))
    assert report.count_channels(str(path)) == len(expected)


def _nan_at(shape, index):
    a = np.zeros(shape)
    a[index] = np.nan
    return a


def _truncated():
    whole = io.BytesIO()
    np.save(whole, np.arange(1000.0))
    return whole.getvalue()[:-100]


# array saved as .npy (bytes: the file itself) -> the error.
BAD_NPY = [
    pytest.param(b"a,b\n1,2\n", r"loads.npy: not a .npy file", id="not-npy"),
    pytest.param(_truncated(), r"loads.npy: a damaged .npy file", id="truncated"),
    pytest.param(np.zeros((2, 2, 2)), r"a 3-dimensional array; a load history is 1-D", id="3-d"),
    pytest.param(np.array(5.0), r"a 0-dimensional array", id="0-d"),
    pytest.param(np.zeros(3, dtype=complex), r"samples of type complex128", id="complex"),
    pytest.param(np.array(["1", "2"]), r"samples of type <U1", id="text"),
    pytest.param(np.zeros(0), r"channel '0' is empty", id="empty"),
    pytest.param(np.zeros((5, 0)), r"the array has no columns", id="no-columns"),
    pytest.param(_nan_at((4, 3), (2, 1)), r"row 2, column 1: non-finite sample nan \(--allow-nan", id="nan-2d"),
    pytest.param(_nan_at(5, 3), r"index 3: non-finite sample nan", id="nan-1d"),
    pytest.param(np.array([1.0, np.inf]), r"index 1: non-finite sample inf$", id="infinity"),
]


@pytest.mark.parametrize("array, expected", BAD_NPY)
def test_npy_refused(report, tmp_path, array, expected):
    path = tmp_path / "loads.npy"
    if isinstance(array, bytes):
        path.write_bytes(array)
    else:
        np.save(path, array)
    with pytest.raises(report.ReportError) as caught:
        report.read_load_history(str(path))
    assert re.search(expected, str(caught.value)), str(caught.value)


class _Payload:
    def __init__(self, marker):
        self.marker = marker

    def __reduce__(self):
        return (os.mkdir, (self.marker,))


def test_npy_objects_are_never_unpickled(report, tmp_path):
    marker = str(tmp_path / "payload-ran")
    path = tmp_path / "loads.npy"
    np.save(path, np.array([_Payload(marker)], dtype=object), allow_pickle=True)
    with pytest.raises(report.ReportError, match=r"samples of type object; a load history holds real numbers"):
        report.read_load_history(str(path))
    assert not os.path.exists(marker)


FORMATS = Path(__file__).parent / "data" / "formats"
V6 = b"\n FAST v6\n\nTime\tRootMyb1\n(s)\t(kN\xb7m)\n0.0\t1.0\n0.5\t3.0\n1.0\t2.0\n\nThis output file was closed.\n"


# inputs (in data/formats; v6.out: V6) -> the files of the table, its first channel and unit, duration.
SIMULATOR_RUNS = [
    (["Hawc2bin.sel", "Hawc2bin.dat"], "Hawc2bin.sel", 1, "Time"),  # a pair named twice counts once
    (["Hawc2ascii.dat"], "Hawc2ascii.dat", 1, "Time"),
    (["FASTOut_Hydro.out"], "FASTOut_Hydro.out", 1, "Time"),  # a closing line after the numbers
    (["v6.out"], "v6.out", 1, "Time"),  # Latin-1 units
    (["DTU10MW.out"], "DTU10MW.out", 1, "Time"),  # a repeated name made distinct
    (["wind3.hdf5"], "wind3.hdf5", 0, None),  # time beside the channels
    (["flex/test.int"], "flex/test.int", 0, None),
]


@pytest.mark.parametrize("inputs, shown, first, time", SIMULATOR_RUNS, ids=[r[1] for r in SIMULATOR_RUNS])
def test_simulator_files(report, cli, tmp_path, inputs, shown, first, time):
    if shown.endswith(".hdf5"):
        pytest.importorskip("h5py")
    (tmp_path / "v6.out").write_bytes(V6)
    paths = [tmp_path / "v6.out" if name == "v6.out" else FORMATS / name for name in inputs]
    run = cli(*paths, "--csv", tmp_path / "t.csv", "-m", "4")
    assert run.code == 0, run.err
    rows = list(csv.DictReader(open(tmp_path / "t.csv")))
    assert {r["file"] for r in rows} == {str(paths[0])} and all(r["duration"] for r in rows)
    assert len({r["channel"] for r in rows}) == len(rows)  # one row per channel and m
    header = report.read_header(str(paths[0]))
    assert header.loads[0] == first and (time is None or header.names[header.time] == time)
    assert rows[0]["channel"] == header.names[first]
    assert shown != "v6.out" or rows[0]["unit"] == "kN\u00b7m"


def test_simulator_files_in_worker_processes(tmp_path):
    paths = [FORMATS / name for name in ("Hawc2bin.sel", "AOC_WSt.out", "flex/test.int")]
    for jobs in ("1", "2"):
        run = run_script(*paths, "--jobs", jobs, "--csv", tmp_path / f"t{jobs}.csv", "-m", "4")
        assert run.code == 0, run.err
    assert (tmp_path / "t1.csv").read_bytes() == (tmp_path / "t2.csv").read_bytes()


# file bytes, name -> the one line (after the path) that refuses them, in well under a second.
MISNAMED = [
    (b"Time,a\n0,1\n", "x.outb", "a text file, not an OpenFAST binary output file"),
    ((FORMATS / "5MW_Land_BD_DLL_WTurb_fid04.outb").read_bytes(), "x.out",
     "an OpenFAST binary output file, not FAST text output (read with pip install 'cyclewright[openfast]')"),
    ((FORMATS / "wind3.hdf5").read_bytes(), "x.csv", "an HDF5 file, not a text table"),
    (bytes(range(256)) * 64, "x.bin", "a binary file, not a text table; read are text tables"),
]


@pytest.mark.parametrize("data, name, message", MISNAMED, ids=[m[1] for m in MISNAMED])
def test_misnamed_files_fail_at_once(cli, tmp_path, data, name, message):
    (tmp_path / name).write_bytes(data)
    start = time.monotonic()
    run = cli(tmp_path / name)
    assert time.monotonic() - start < 1.0
    assert run.code == 1 and run.err.startswith(f"cyclewright-report: error: {tmp_path / name}: {message}")
    assert run.err.count("\n") == 1


def test_npy_header_is_checked_against_the_file_size(report, tmp_path):
    path = tmp_path / "claims.npy"
    header = "{'descr': '<f8', 'fortran_order': False, 'shape': (2, 1000000000), }"
    path.write_bytes(b"\x93NUMPY\x01\x00" + (len(header) + 1).to_bytes(2, "little") + header.encode() + b"\n" + bytes(100))
    with pytest.raises(report.ReportError, match=r"a damaged .npy file \(its header claims \(2, 1000000000\) "
                                                 r"samples, 16000000000 bytes, but 100 bytes follow it\)"):
        report.read_load_history(str(path))
