"""The command line: `cyclewright-report` and `python -m cyclewright_report`.
Parses the options and hands them to the report."""

from __future__ import annotations

import argparse
import contextlib
import dataclasses
import decimal
import io
import math
import signal
import sys
from collections.abc import Sequence
from typing import TextIO

from . import exponents, pictures, wind
from .damage_table import parse_scale, sn_curve
from .pool import analyse_files, default_jobs
from .model import DEFAULT_NEQ, NEQ_LIMIT, Options, ReportError
from .reading import WHITESPACE
from .report import Request, Runner, Terminated, report

PROG = "cyclewright-report"
NUMBER_TEXT = 100  # characters: a longer number is refused before any conversion

DESCRIPTION = """\
Damage-equivalent loads and rainflow pictures of load histories.

For each channel the report prints the damage-equivalent load for every
Wöhler exponent m at neq cycles, of the signal as it is and of the signal
closed at its maximum, and, with --plots DIR, draws a picture of its rainflow
cycles into DIR.

Flat tops: by default each run of equal consecutive samples is merged into
one sample before counting (x[np.r_[True, np.diff(x) != 0]]). The module
never takes a sample equal to a neighbour as a turning point, so without the
merge a flat top or bottom of a quantised signal adds no cycle and the loads
come out too low. The tables say how many samples each channel lost
(column 'merged'); --keep-plateaus hands the samples to the module unchanged.

Inputs: text tables under any extension (a header row naming the channels,
an optional units row right after it, one row per time step; the delimiter
found per file unless --delimiter is given; any line end), .npy arrays (1-D,
or 2-D with one column per channel), FAST and OpenFAST text output (.out),
HAWC2 results (.sel + .dat), gtsdf (.hdf5; pip install 'cyclewright[hawc2]'),
FLEX (.int) and OpenFAST binary output (.outb; pip install
'cyclewright[openfast]'). FIFOs and devices are refused as inputs. A column named time, Time [s], Time [sec], Time (s) or t (any case),
or the one --time-column names, is not a load: its seconds give the file's
duration, and --t-start/--t-end keep the samples within those seconds.

Outputs: --csv, --json and the pictures of --plots DIR are written to
temporary names and put in place together at the end: all of them, or, on
any failure or interruption, none (what was there stays). An output never
replaces an input or the weights file; a symlink is written through (its
target, a regular file, is replaced and the link kept); devices and FIFOs
are refused ('-' is no name for standard output).

Lifetime loads: --weights FILE, a CSV of file name and hours, adds per
channel and m DEL_life = (sum_i n_i * DEL_i**m) ** (1/m), the load at neq
cycles with the damage of every file's cycles n_i times over, where
n_i = hours_i * 3600 / T_i and T_i is the file's duration in seconds (last
time minus first, times n/(n-1) for n samples; or n / --sample-rate).

Exit status: 0 all written; 1 nothing written (one line says why; also for
a wrong option); 2 with --keep-going, the tables of the good files written
and some file failed."""


class Parser(argparse.ArgumentParser):
    """Usage errors as one line and exit status 1, as every other error:
    status 2 means some files failed under --keep-going."""

    def error(self, message: str):  # type: ignore[override]
        self.exit(1, f"{self.prog}: error: {message} (see --help)\n")


def _number(text: str) -> str:
    if len(text) > NUMBER_TEXT:
        raise argparse.ArgumentTypeError(f"{text[:20]}...: a number of more than {NUMBER_TEXT} characters")
    return text.strip()


def _checked(parse):
    """An argparse type from a parser that raises ValueError with its reason;
    its text bounded first, as every number's."""
    def run(text: str):
        try:
            return parse(_number(text))
        except ValueError as exc:
            raise argparse.ArgumentTypeError(str(exc)) from None
    run.__name__ = parse.__name__
    return run


def _curve(text: str) -> str:
    sn_curve(text)  # refused here, before any work
    return text


def parse_fraction(text: str) -> float:
    value = float(text)
    if not (math.isfinite(value) and 0 < value <= 1):
        raise ValueError(f"{text}: needs a number above 0 and at most 1")
    return value


def parse_years(text: str) -> float:
    value = float(text)
    if not (math.isfinite(value) and value > 0):
        raise ValueError(f"{text}: needs a number of years above zero")
    return value


def parse_neq(text: str) -> int:
    """A positive whole number of cycles, written as 10000000 or 1e7."""
    try:
        value = decimal.Decimal(_number(text).replace("_", ""))
    except decimal.InvalidOperation:
        raise argparse.ArgumentTypeError(f"{text!r} is not a number") from None
    if value.is_finite() and value.adjusted() > 20:  # before any conversion of 1e999999999
        raise argparse.ArgumentTypeError(f"neq must be from 1 to 2**64 - 1, not {text}")
    if not value.is_finite() or value != value.to_integral_value():
        raise argparse.ArgumentTypeError(f"neq must be a whole number of cycles, not {text}")
    neq = int(value)
    if not 1 <= neq < NEQ_LIMIT:
        raise argparse.ArgumentTypeError(f"neq must be from 1 to 2**64 - 1, not {text}")
    return neq


def _whole(low: int, high: int, what: str):
    def parse(text: str) -> int:
        try:
            value = int(_number(text))
        except ValueError:
            raise argparse.ArgumentTypeError(f"{text!r} is not a whole number") from None
        if not low <= value <= high:
            raise argparse.ArgumentTypeError(what)
        return value
    return parse


parse_jobs = _whole(1, 10**6, "at least one job is needed")
parse_skip = _whole(0, 10**9, "--skip-rows must be from 0 to 10**9")


def parse_rate(text: str) -> float:
    try:
        rate = float(_number(text))
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a number") from None
    if not (math.isfinite(rate) and rate > 0):
        raise argparse.ArgumentTypeError("the sample rate must be positive and finite (Hz)")
    return rate


def parse_seconds(text: str) -> float:
    try:
        seconds = float(_number(text))
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a number of seconds") from None
    if not math.isfinite(seconds):
        raise argparse.ArgumentTypeError(f"a time must be finite, not {text}")
    return seconds


def parse_comment(text: str) -> str:
    if len(text) != 1 or text.isspace():
        raise argparse.ArgumentTypeError("--comment must be a single character other than a blank")
    return text


def parse_encoding(text: str) -> str:
    import codecs
    try:
        return codecs.lookup(text).name
    except LookupError:
        raise argparse.ArgumentTypeError(f"no encoding named {text!r}") from None


def parse_names(text: str) -> tuple[str, ...]:
    names = tuple(part.strip() for part in text.split(","))
    if not all(names):
        raise argparse.ArgumentTypeError("--names needs a name for every column: a,b,c")
    return names


def parse_delimiter(text: str) -> str:
    named = {"\\t": "\t", "tab": "\t", "ws": WHITESPACE, "whitespace": WHITESPACE}
    delimiter = named.get(text.lower(), text)
    if delimiter != WHITESPACE and (len(delimiter) != 1 or delimiter in "\r\n\"" or delimiter.isalnum()):
        raise argparse.ArgumentTypeError(
            "--delimiter must be a single character other than a letter, a digit or a quote, "
            "'\\t' for tabs, or ws for any run of whitespace")
    return delimiter


def _patterns(text: str) -> list[str]:
    patterns = [part.strip() for part in text.split(",") if part.strip()]
    if not patterns:
        raise argparse.ArgumentTypeError(f"{text!r} names no channel; give names or globs")
    return patterns


def build_parser() -> argparse.ArgumentParser:
    parser = Parser(prog=PROG, description=DESCRIPTION,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("inputs", nargs="+", metavar="LOADS",
                        help="load histories: text tables, .npy, FAST .out, HAWC2 .sel/.dat, "
                             "gtsdf .hdf5, FLEX .int, OpenFAST .outb; glob patterns allowed "
                             "('runs/**/*.csv')")
    counting = parser.add_argument_group("counting")
    counting.add_argument("-m", "--exponents", type=_checked(exponents.parse_rule), action="append", default=[],
                          metavar="[GLOB=]M,M,...",
                          help="Wöhler exponents (default 3,4,5,8,10,12); repeatable: GLOB=LIST gives those "
                               "of the channels GLOB matches (the first matching one wins), a bare LIST "
                               "those of the others")
    counting.add_argument("--neq", type=parse_neq, default=DEFAULT_NEQ,
                          help="number of equivalent cycles (default 1e7)")
    counting.add_argument("--half", action=argparse.BooleanOptionalAction, default=True,
                          help="count each half cycle of the residue as half a cycle (default); "
                               "--no-half counts it as a full cycle")
    counting.add_argument("--keep-plateaus", action="store_true",
                          help="hand the samples to the module unchanged: a run of equal "
                               "samples then adds no turning point (default: merged into one)")
    counting.add_argument("--allow-nan", action="store_true",
                          help="let NaN samples through: an interior NaN joins no cycle, a NaN "
                               "first or last sample makes the plain load NaN (infinities stay refused)")
    reading = parser.add_argument_group("reading")
    reading.add_argument("--delimiter", type=parse_delimiter, default=None,
                         help="cell separator of text tables in every file: one character, "
                              "'\\t' for tabs, ws for any run of whitespace (default: found in "
                              "each file's first row: tab, ';', ',' or whitespace)")
    reading.add_argument("--decimal", choices=[".", ","], default=".",
                         help="decimal mark of text tables (default '.')")
    reading.add_argument("--skip-rows", type=parse_skip, default=0, metavar="N",
                         help="lines of text tables to skip before the header row (a preamble)")
    reading.add_argument("--comment", type=parse_comment, metavar="CHAR",
                         help="skip the lines of text tables that start with CHAR ('#'), "
                              "and the rest of a line after it")
    reading.add_argument("--names", type=parse_names, metavar="A,B,...",
                         help="the column names of text tables without a header row")
    reading.add_argument("--encoding", type=parse_encoding,
                         help="text encoding of the tables' header lines (default UTF-8, "
                              "else Latin-1)")
    reading.add_argument("--time-column", metavar="NAME",
                         help="the column that holds time in seconds (default: one named time, "
                              "Time [s], Time [sec], Time (s) or t, any case)")
    reading.add_argument("--t-start", type=parse_seconds, metavar="S",
                         help="keep only the samples at times from S seconds on (needs a time column)")
    reading.add_argument("--t-end", type=parse_seconds, metavar="S",
                         help="keep only the samples at times up to S seconds (needs a time column)")
    reading.add_argument("--channels", type=_patterns, action="extend", default=[],
                         metavar="NAMES", help="analyse only these channels: names or globs, "
                                               "comma-separated, repeatable")
    reading.add_argument("--exclude", type=_patterns, action="extend", default=[], metavar="NAMES",
                         help="leave out these channels: names or globs, comma-separated, repeatable")
    reading.add_argument("--unit", help="unit of every load channel (overrides a units row)")
    reading.add_argument("--sample-rate", type=parse_rate, metavar="HZ",
                         help="samples per second of files without a time column (for --weights)")
    outputs = parser.add_argument_group("output")
    shown = outputs.add_mutually_exclusive_group()
    shown.add_argument("--plots", metavar="DIR",
                       help="draw one picture per channel into DIR (default: no pictures)")
    shown.add_argument("--no-plots", action="store_true", help="draw no pictures (the default)")
    outputs.add_argument("--dpi", type=_whole(10, 2000, "dpi must be from 10 to 2000"), default=100,
                         help="resolution of the pictures (default 100)")
    outputs.add_argument("--plot-format", choices=list(pictures.FORMATS), default="png",
                         help="picture format (default png)")
    outputs.add_argument("--csv", metavar="FILE", help="also write the table as CSV, every digit "
                                                       "(a symlink is written through; no device)")
    outputs.add_argument("--json", metavar="FILE", help="also write the table as JSON, every digit "
                                                        "(a symlink is written through; no device)")
    outputs.add_argument("--weights", metavar="FILE",
                         help="CSV of file name and hours over the lifetime: adds lifetime loads")
    outputs.add_argument("--extremes-context", action="store_true",
                         help="write STEM.extremes.csv (STEM: --csv without .csv): each channel's minimum and "
                              "maximum with every channel's value at the same sample")
    outputs.add_argument("--sn", type=_checked(_curve), action="append", default=[], metavar="CURVE",
                         help="S-N curve for the damage (STEM.damage.csv), repeatable: dnv-c203:NAME:air, "
                              "dnv-c203:NAME:seawater-cp or 'k=3,5;log10_a=12.164,15.606;knees=52.6;"
                              "quantity=range'")
    outputs.add_argument("--sn-scale", type=_checked(parse_scale), action="append", default=[],
                         metavar="GLOB=FACTOR", help="stress per unit load of the channels GLOB matches "
                                                     "(default 1), repeatable; the first matching one wins")
    outputs.add_argument("--matrix", metavar="DIR",
                         help="write each channel's rainflow matrix (range x mean) as NAME.npz and NAME.csv")
    outputs.add_argument("--bins", type=_whole(1, 10**4, "--bins must be from 1 to 10000"), default=64,
                         help="bins per axis of the matrices (default 64)")
    outputs.add_argument("--wind", type=_checked(wind.parse_climate), metavar="CLIMATE",
                         help="hours from a wind climate, weibull:k=K,A=A or rayleigh:mean=V (m/s); "
                              "--weights then gives each file's wind speed (header file,wind_speed)")
    outputs.add_argument("--wind-bins", type=_checked(wind.parse_bins), metavar="START:STOP:WIDTH",
                         help="the wind-speed bins of --wind, [v, v + WIDTH) in m/s")
    outputs.add_argument("--life-years", type=_checked(parse_years), default=20.0,
                         help="years of the lifetime with --wind (default 20, of 8766 h)")
    outputs.add_argument("--availability", type=_checked(parse_fraction), default=1.0,
                         help="share of the lifetime in operation with --wind (default 1)")
    outputs.add_argument("--progress", action=argparse.BooleanOptionalAction, default=None,
                         help="show the progress line (default: when standard error is a terminal)")
    running = parser.add_argument_group("running")
    running.add_argument("--keep-going", action="store_true",
                         help="report a bad file in one line and go on; exit status 2 if any failed")
    where = running.add_mutually_exclusive_group()
    where.add_argument("-j", "--jobs", type=parse_jobs, default=None,
                       help="worker processes (default and most: the number of cores, "
                            "and of files)")
    where.add_argument("--scheduler", metavar="ADDRESS",
                       help="run on a Dask cluster: its scheduler's address (pip install "
                            "'cyclewright[dask]'); its workers must see the inputs and DIR of "
                            "--plots at the same absolute paths")
    where.add_argument("--local-workers", type=parse_jobs, metavar="N",
                       help="run on a Dask cluster of N worker processes started here "
                            "(at most the number of cores, and of files)")
    return parser


def _plot_dir(args: argparse.Namespace) -> str | None:
    if args.no_plots or args.plots is None:
        return None
    if not pictures.pictures_available():
        raise ReportError(pictures.PLOTS_HINT)
    return args.plots


def capped(asked: int | None, files: int, option: str, err: TextIO) -> int:
    """Workers for `files` files: at most one per file and per processor; a
    larger request says in one line what it got."""
    cores = default_jobs()
    used = max(1, min(asked or cores, cores, files))
    if asked is not None and asked > used:
        err.write(f"{PROG}: note: {option} {asked}: using {used} ({files} file(s), {cores} processor(s))\n")
    return used


def _runner(args: argparse.Namespace, err: TextIO) -> Runner:
    if args.scheduler or args.local_workers:
        from .dask_run import cluster_runner
        workers = args.local_workers
        return cluster_runner(args.scheduler, lambda files: capped(workers, files, "--local-workers", err))
    return lambda paths, headers, options, progress, keep_going: analyse_files(
        paths, options, capped(args.jobs, len(paths), "--jobs", err), progress, keep_going, headers)


def _terminate(signum, frame):
    raise Terminated


@contextlib.contextmanager
def _terminate_as_interrupt():
    try:
        previous = signal.signal(signal.SIGTERM, _terminate)
    except ValueError:  # not the main thread: the caller's handlers stay
        yield
        return
    try:
        yield
    finally:
        signal.signal(signal.SIGTERM, previous)


def main(argv: Sequence[str] | None = None, out: TextIO | None = None,
         err: TextIO | None = None) -> int:
    # A standard output closed from the start (>&-) is None: the table goes nowhere.
    out = out if out is not None else (sys.stdout or io.StringIO())
    err = err if err is not None else sys.stderr
    args = build_parser().parse_args(argv)
    try:
        if args.decimal == args.delimiter:
            raise ReportError(f"--decimal {args.decimal} needs another --delimiter (';', '\\t' or ws)")
        if args.t_start is not None and args.t_end is not None and args.t_start > args.t_end:
            raise ReportError(f"--t-start {args.t_start:g} is after --t-end {args.t_end:g}")
        if args.wind and not (args.wind_bins and args.weights):
            raise ReportError("--wind needs --wind-bins and --weights (a CSV of file,wind_speed)")
        if args.wind_bins and not args.wind:
            raise ReportError("--wind-bins needs --wind")
        bare, rules = exponents.split_rules(args.exponents)
        options = Options(
            exponents=bare, exponent_rules=rules, sn=tuple(args.sn), sn_scales=tuple(args.sn_scale),
            matrix_dir=args.matrix, matrix_bins=args.bins, extremes_context=args.extremes_context,
            neq=args.neq, half=args.half, allow_nan=args.allow_nan,
            keep_plateaus=args.keep_plateaus, delimiter=args.delimiter, decimal=args.decimal,
            skip_rows=args.skip_rows, comment=args.comment, names=args.names, encoding=args.encoding,
            time_column=args.time_column, t_start=args.t_start, t_end=args.t_end,
            channels=tuple(args.channels), exclude=tuple(args.exclude),
            unit=args.unit, sample_rate=args.sample_rate, plot_dir=_plot_dir(args),
            dpi=args.dpi, plot_format=args.plot_format)
        runner = _runner(args, err)
    except ReportError as exc:
        err.write(f"{PROG}: error: {exc}\n")
        return 1
    echo = {"arguments": list(sys.argv[1:] if argv is None else argv),
            **{k: v for k, v in dataclasses.asdict(options).items() if k != "run_id"},
            "csv": args.csv, "json": args.json, "weights": args.weights,
            "wind": args.wind.text if args.wind else None,
            "wind_bins": dataclasses.astuple(args.wind_bins) if args.wind_bins else None,
            "life_years": args.life_years, "availability": args.availability}
    request = Request(args.inputs, options, csv=args.csv, json=args.json, weights=args.weights,
                      keep_going=args.keep_going, progress=args.progress, wind=args.wind,
                      wind_bins=args.wind_bins, life_years=args.life_years,
                      availability=args.availability, echo=echo)
    with _terminate_as_interrupt():
        return report(request, runner, PROG, out, err)
