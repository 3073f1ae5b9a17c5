"""The whole report beside its yardstick, in one run.

1. A text table of 10^7 rows x 4 channels: the report with six exponents,
   statistics, damage (one S-N curve) and matrices, without pictures,
   against pandas.read_csv (C engine) alone plus one eq_load_python call per
   channel; taken in turns, each side keeping its best round. Then the peak
   memory (VmHWM, each in a fresh process) of the report and of
   pandas.read_csv alone.
2. OpenFAST: copies of a real .outb file of 276 channels (pCrunch's test
   data), the report over them with --jobs 2: seconds per channel.

    tools/bench-report [--rows 10000000] [--rounds 3] [--outb 200] [--dir DIR] [--json FILE]
"""

from __future__ import annotations

import argparse
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import numpy as np
import pandas as pd

import cyclewright
from cyclewright_report.cli import main as report

sys.path.insert(0, str(Path(__file__).parent))
from bench_reading import peak_rss, write_table  # noqa: E402

FEATURES = ["--no-plots", "-m", "3,4,5,8,10,12", "--sn", "dnv-c203:D:air"]


def yardstick(path: str) -> None:
    frame = pd.read_csv(path, engine="c")
    for name in frame.columns:
        cyclewright.eq_load_python(frame[name].to_numpy(dtype=np.float64), 4.0, 10**7, True)


def whole_report(path: str, folder: str) -> list[str]:
    return [path, *FEATURES, "--matrix", os.path.join(folder, "matrices"),
            "--csv", os.path.join(folder, "out.csv")]


def run_report(arguments: list[str]) -> None:
    code = report(arguments, out=io.StringIO(), err=io.StringIO())
    assert code == 0, code


def text_table(rows: int, rounds: int, folder: str) -> dict:
    path = os.path.join(folder, "big.csv")
    write_table(path, rows)
    arguments = whole_report(path, folder)
    best = {"yardstick": float("inf"), "report": float("inf")}
    for _ in range(rounds):
        for name, work in (("yardstick", lambda: yardstick(path)), ("report", lambda: run_report(arguments))):
            start = time.perf_counter()
            work()
            best[name] = min(best[name], time.perf_counter() - start)
    peaks = {
        "pandas": peak_rss(f"import pandas as pd\nf = pd.read_csv({path!r}, engine='c')"),
        "report": peak_rss(f"from cyclewright_report.cli import main\nmain({arguments!r})"),
    }
    return {"rows": rows, "bytes": os.path.getsize(path), "seconds": best,
            "time_ratio": best["report"] / best["yardstick"], "peak_rss_bytes": peaks,
            "memory_ratio": peaks["report"] / peaks["pandas"]}


def openfast(copies: int, folder: str) -> dict:
    import pCrunch

    source = Path(pCrunch.__file__).parent / "test" / "data" / "DLC1p1" / "DLC1.1_0_NREL5MW_OC3_spar_1.outb"
    files = os.path.join(folder, "outb")
    os.makedirs(files)
    for i in range(copies):
        shutil.copyfile(source, os.path.join(files, f"run{i:03d}.outb"))
    command = [sys.executable, "-m", "cyclewright_report", os.path.join(files, "*.outb"), "--no-plots",
               "--jobs", "2", "--csv", os.path.join(folder, "outb.csv")]
    start = time.perf_counter()
    subprocess.run(command, check=True, capture_output=True)
    seconds = time.perf_counter() - start
    channels = copies * 276
    return {"files": copies, "channels": channels, "samples_per_channel": 801, "seconds": seconds,
            "ms_per_channel": 1000 * seconds / channels}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rows", type=int, default=10**7)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--outb", type=int, default=200, help="copies of the OpenFAST file (0: none)")
    parser.add_argument("--dir", help="where to write the files (default: a temporary folder)")
    parser.add_argument("--json", help="also write the figures as JSON")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(dir=args.dir) as folder:
        table = text_table(args.rows, args.rounds, folder)
        outb = openfast(args.outb, folder) if args.outb else None
    seconds, peaks = table["seconds"], table["peak_rss_bytes"]
    print(f"{args.rows} rows x 4 channels, {table['bytes'] / 1e6:.0f} MB, best of {args.rounds} rounds each, in turns")
    print(f"  pandas.read_csv + eq_load_python per channel  {seconds['yardstick']:7.2f} s")
    print(f"  report: 6 exponents, statistics, damage, matrices  {seconds['report']:7.2f} s  "
          f"({table['time_ratio']:.2f}x)")
    print(f"  peak RSS: pandas.read_csv alone {peaks['pandas'] / 2**30:.2f} GiB, report {peaks['report'] / 2**30:.2f} GiB "
          f"({table['memory_ratio']:.2f}x)")
    if outb:
        print(f"{outb['files']} OpenFAST .outb files x 276 channels x 801 samples, --jobs 2: {outb['seconds']:.1f} s, "
              f"{outb['ms_per_channel']:.2f} ms per channel")
    if args.json:
        with open(args.json, "w") as f:
            json.dump({"text_table": table, "openfast": outb}, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
