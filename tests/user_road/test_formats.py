"""The readers of simulators' files against the peers' own readings of real
files (wetb for HAWC2, gtsdf and FLEX, openfast-io for FAST text output),
and files that are not what they claim, each failing in one line."""

from __future__ import annotations

import importlib
import sys
import types
from pathlib import Path

import numpy as np
import pytest

from road_support import SRC

DATA = Path(__file__).parent / "data" / "formats"

try:
    import cyclewright_report  # noqa: F401
except ImportError:  # the formats need no compiled module: their folder alone
    package = types.ModuleType("cyclewright_report")
    package.__path__ = [str(SRC / "cyclewright_report")]
    sys.modules["cyclewright_report"] = package
formats = importlib.import_module("cyclewright_report.formats")
fast_text, flex, gtsdf, hawc2, table = (importlib.import_module(f"cyclewright_report.formats.{m}")
                                        for m in ("fast_text", "flex", "gtsdf", "hawc2", "table"))
FormatError = formats.FormatError


def _wetb_hawc2(path):
    from wetb.hawc2.Hawc2io import ReadHawc2
    result = ReadHawc2(str(path.with_suffix("")))
    names, units, _ = result.ChInfo
    data = result.ReadAll()
    return names, units, data[:, 0], data


def _wetb_flex(path):
    from wetb.flex import _io
    with pytest.MonkeyPatch.context() as patch:  # its np.fromstring is gone from NumPy 2
        patch.setattr(_io.np, "fromstring", np.frombuffer)
        time, data, info = _io.load(str(path))
    return info["attribute_names"], info["attribute_units"], time.ravel(), data


def _wetb_gtsdf(path):
    from wetb.gtsdf import load
    time, data, info = load(str(path), dtype=np.float64)
    return info["attribute_names"], info["attribute_units"], time, data


def _openfast(path):
    from openfast_io.FAST_output_reader import FASTOutputFile
    out = FASTOutputFile(str(path))
    data = np.asarray(out.data, dtype=np.float64)
    return out.info["attribute_names"], [u.strip("()[]") for u in out.info["attribute_units"]], data[:, 0], data


def _wetb_fast(path):  # openfast-io stops at the trailing line of a HydroDyn file
    from wetb.fast.fast_io import load_ascii_output
    data, info = load_ascii_output(str(path))
    return info["attribute_names"], info["attribute_units"], data[:, 0], data


def _packed_gtsdf(path):
    """A gtsdf file of two int16 blocks with gains, offsets and a missing
    sample, written by wetb."""
    from wetb import gtsdf as peer
    rng = np.random.default_rng(7)
    data = rng.normal(size=(300, 3)) * [1, 10, 100]
    data[5, 1] = np.nan
    peer.save(str(path), data[:200], attribute_names=["a", "b", "a"], attribute_units=["m", "kN", "s"],
              time_start=0.5, time_step=0.02, dtype=np.int16)
    peer.append_block(str(path), data[200:], time=np.arange(200, 300), time_start=0.5, time_step=0.02,
                      dtype=np.int16)
    return path


# (file, reader, peer, peer module, exact samples)
REAL = [
    ("Hawc2bin.sel", hawc2, _wetb_hawc2, "wetb", True),
    ("Hawc2ascii.dat", hawc2, _wetb_hawc2, "wetb", False),
    ("flex/test.int", flex, _wetb_flex, "wetb", True),
    ("wind3.hdf5", gtsdf, _wetb_gtsdf, "wetb", True),
    ("packed.hdf5", gtsdf, _wetb_gtsdf, "wetb", True),
    ("DTU10MW.out", fast_text, _openfast, "openfast_io", False),
    ("AOC_WSt.out", fast_text, _openfast, "openfast_io", False),
    ("FASTOut_Hydro.out", fast_text, _wetb_fast, "wetb", False),
]


@pytest.mark.filterwarnings("ignore:invalid value:RuntimeWarning")  # wetb packing a NaN
@pytest.mark.parametrize("name,reader,peer,module,exact", REAL, ids=[r[0] for r in REAL])
def test_real_files_read_as_the_peers_read_them(name, reader, peer, module, exact, tmp_path):
    pytest.importorskip(module)
    pytest.importorskip("h5py")
    path = _packed_gtsdf(tmp_path / name) if name == "packed.hdf5" else DATA / name
    names, units, time, data = peer(path)
    header = reader.read_header(str(path))
    heard = []
    got_time, got = reader.read_data(str(path), header, on_bytes=lambda done, size: heard.append(done / size))
    assert heard and heard[-1] == 1.0
    assert header.names == formats.unique_names(str(n).strip() for n in names)
    assert header.units == tuple(u or None for u in units)
    assert header.samples in (None, data.shape[0])
    assert got.shape == data.shape and got.dtype == np.float64
    assert all(got[:, j].flags.c_contiguous for j in range(got.shape[1]))
    np.testing.assert_allclose(got_time, time, rtol=1e-12, atol=0)
    if exact:
        np.testing.assert_array_equal(got, data)
    else:
        np.testing.assert_allclose(got, data, rtol=1e-12, atol=0)
    some = [0, got.shape[1] - 1]
    _, part = reader.read_data(str(path), header, some[::-1])
    np.testing.assert_array_equal(part, got[:, some[::-1]])


def test_hawc2_names_the_pair_by_either_file_and_makes_repeats_distinct():
    header = hawc2.read_header(str(DATA / "Hawc2bin.dat"))
    assert header.path.endswith("Hawc2bin.sel") and header.time == "Time" and header.time_index == 0
    assert header.names[1:4] == ("WSP gl. coo.,Vy", "WSP gl. coo.,Vy (column 3)", "WSP gl. coo.,Vy (column 4)")


LATIN1_OUT = b"Made by FAST\n\nTime\tRootMy\n(s)\t(kN\xb7m)\n0.0\t1.5\n0.1\t-2.5\n"
SEL = (b"x\n" * 8 + b"   2   2   0.2   BINARY\n\n  Channel\n\n" +
       b"     1      Time                           s          Time\n" +
       b"     2      Load                           kN         A load\n" + b"___\nScale factors:\n 1E-2\n 1.0\n")

# (file name, bytes, read, keyword arguments, expected: a message part or (names, units, data))
CASES = [
    ("hdf5 as .out", "a.out", b"\x89HDF\r\n\x1a\n" + bytes(64), fast_text, {},
     "a.out: an HDF5 file, not FAST text output (gtsdf .hdf5 files are read with pip install 'cyclewright[hawc2]')"),
    ("npy as .out", "a.out", b"\x93NUMPY\x01\x00" + bytes(64), fast_text, {}, "a NumPy .npy file, not FAST text output"),
    ("outb as .out", "a.out", (DATA / "5MW_Land_BD_DLL_WTurb_fid04.outb").read_bytes(), fast_text, {},
     "an OpenFAST binary output file, not FAST text output (read with pip install 'cyclewright[openfast]')"),
    ("unknown binary", "a.out", bytes(range(256)) * 8, fast_text, {},
     "a binary file, not FAST text output; read are text tables"),
    ("empty", "a.csv", b"", table, {}, "an empty file, not a text table"),
    ("text, no Time row", "a.out", b"hello\n" * 300, fast_text, {},
     "no row of channel names starting with Time in its first 200 lines"),
    ("Latin-1 units row", "a.out", LATIN1_OUT, fast_text, {},
     (("Time", "RootMy"), ("s", "kN·m"), [[0.0, 1.5], [0.1, -2.5]])),
    ("trailing line, no end", "a.out", LATIN1_OUT + b"\nThis output file was closed", fast_text, {},
     (("Time", "RootMy"), ("s", "kN·m"), [[0.0, 1.5], [0.1, -2.5]])),
    ("text in the numbers", "a.out", LATIN1_OUT + b"0.2\toops\n0.3\t1\n", fast_text, {},
     "a.out: line 7, column 2: 'oops' is not a number"),
    ("CR line ends", "a.csv", b"Time,Load\r(s),(kN)\r0,1\r1,2\r", table, {},
     (("Time", "Load"), ("s", "kN"), [[0, 1], [1, 2]])),
    ("semicolons, decimal commas", "a.csv", b"Time;Load\r\n0;1,5\r\n1;2,5\r\n", table, {"decimal": ","},
     (("Time", "Load"), (None, None), [[0, 1.5], [1, 2.5]])),
    ("skip, comments, blanks", "a.txt", b"made today\n# a note\nTime  Load  Load\n\n0 1 5 # c\n1 2 6\n", table,
     {"skip_rows": 1, "comment": "#"}, (("Time", "Load", "Load (column 3)"), (None,) * 3, [[0, 1, 5], [1, 2, 6]])),
    ("no header row", "a.txt", b"0\t1\n1\t2\n", table, {"names": ["t", "x"]}, (("t", "x"), (None, None), [[0, 1], [1, 2]])),
    ("quoted names", "a.csv", b'"Time, s","Load ""A"""\n0,1\n', table, {}, (("Time, s", 'Load "A"'), (None, None), [[0, 1]])),
    ("long header cell", "a.csv", b"Time," + b"n" * 200_000 + b"\n0,1\n", table, {},
     (("Time", "n" * 200_000), (None, None), [[0, 1]])),
    ("long cell", "a.csv", b"Time,Load\n0,1\n1," + b"x" * 200_000 + b"\n", table, {},
     "a.csv: line 3, column 2: 'xxxx"),
    ("short row", "a.csv", b"Time,Load\n" + b"0,1\n" * 20 + b"3\n", table, {},
     "a.csv: line 22: 1 cells, but the header names 2 channels"),
    ("numbers for names", "a.csv", b"1,2\n3,4\n", table, {}, "a.csv: line 1: the first row holds numbers"),
    ("Latin-1 when told UTF-8", "a.csv", b"Time,M\n(s),(kN\xb7m)\n0,1\n", table, {"encoding": "utf-8"},
     "a.csv: line 2: not utf-8 text"),
    ("missing .dat", "a.sel", SEL, hawc2, {}, "a.dat: no such file"),
    ("short .dat", "b.sel", SEL, hawc2, {"dat": b"\x01\x00"},
     "b.dat: 2 bytes, but the .sel file's 2 scans of 2 int16 channels take 8"),
    ("binary HAWC2", "c.sel", SEL, hawc2, {"dat": b"\x01\x00\x02\x00\x05\x00\xfb\xff"},
     (("Time", "Load"), ("s", "kN"), [[0.01, 5], [0.02, -5]])),
    ("ASCII HAWC2, a row too many", "e.sel", SEL.replace(b"BINARY", b"ASCII"), hawc2, {"dat": b"0 1\n1 2\n2 3\n"},
     "e.dat: more rows of numbers, but the header says 2"),
    ("no .sel beside", "f.dat", b"0 1\n", hawc2, {}, "f.sel: no such file: a HAWC2 result's header"),
    ("foreign .sel", "d.sel", b"Time,Load\n0,1\n", hawc2, {}, "d.sel: too short for a HAWC2 .sel file"),
    ("short .int", "a.int", bytes(40), flex, {}, "a.int: not a FLEX .int file"),
    ("text as .int", "b.int", b"Time,Load\n0,1\n", flex, {}, "b.int: a text file, not a FLEX .int file"),
]


@pytest.mark.parametrize("name,content,read,options,expected", [c[1:] for c in CASES], ids=[c[0] for c in CASES])
def test_hostile_and_odd_files(name, content, read, options, expected, tmp_path):
    path = tmp_path / name
    path.write_bytes(content)
    options = dict(options)
    if "dat" in options:
        path.with_suffix(".dat").write_bytes(options.pop("dat"))

    def run():
        if read is table:
            return table.read_table(str(path), **options)
        header = read.read_header(str(path))
        return header.names, header.units, read.read_data(str(path), header)[1]
    if isinstance(expected, str):
        with pytest.raises(FormatError) as caught:
            run()
        message = str(caught.value)
        assert "\n" not in message and message.startswith(str(tmp_path)) and expected in message
    else:
        names, units, data = run()
        assert (names, units) == expected[:2]
        np.testing.assert_array_equal(data, expected[2])


def test_sniff_tells_kinds_by_their_first_bytes():
    assert [formats.sniff(str(DATA / f)) for f in ("wind3.hdf5", "5MW_Land_BD_DLL_WTurb_fid04.outb",
                                                   "DTU10MW.out", "Hawc2bin.dat")] == ["hdf5", "outb", "text", "binary"]


def test_gtsdf_without_h5py_says_which_extra_reads_it(monkeypatch):
    monkeypatch.setitem(sys.modules, "h5py", None)
    with pytest.raises(FormatError, match=r"wind3.hdf5: reading gtsdf .hdf5 files needs pip install 'cyclewright\[hawc2\]'$"):
        gtsdf.read_header(str(DATA / "wind3.hdf5"))


@pytest.mark.parametrize("names,explicit,expected", [
    (["Time", "a"], None, 0), (["a", "time [s]"], None, 1), (["a", "Time [sec]"], None, 1),
    (["a", "TIME (s)"], None, 1), (["t", "a"], None, 0), (["t", "Time"], None, 1), (["a", "T [s]"], None, 1),
    (["a", "b"], None, None), (["Timer", "tt"], None, None), (["a", "t", "b"], "b", 2),
])
def test_time_column_by_its_usual_names(names, explicit, expected):
    assert formats.find_time_column(names, explicit) == expected


@pytest.mark.parametrize("names,explicit,message", [
    (["Time", "time [s]"], None, "2 columns may hold time"), (["a"], "Time", "no column named 'Time'")])
def test_time_column_refuses_ambiguity(names, explicit, message):
    with pytest.raises(FormatError, match=message):
        formats.find_time_column(names, explicit, path="f.csv")
