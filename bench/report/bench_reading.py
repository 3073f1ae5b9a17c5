"""The report's reading of a big text table: 10^7 rows x 4 channels (about
400 MB) read by the report's reader beside pandas alone reading it into
float64 arrays, taken in turns in one run (each side keeps its best round);
then the peak memory (VmHWM, each in a child process) of pandas alone and
of the whole report run on the file, without pictures.

    tools/bench-reading [--rows 10000000] [--rounds 3] [--dir DIR] [--json FILE]
"""

from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import pandas as pd

from cyclewright_report import Options, read_load_history

BLOCK = 100_000  # rows generated once and repeated: parsing does not care


def write_table(path: str, rows: int) -> None:
    rng = np.random.default_rng(3)
    walk = np.cumsum(rng.normal(size=(BLOCK, 4)), axis=0) * 100 + rng.normal(size=(BLOCK, 4))
    lines = ["flap,edge,tower,torque"] + [",".join(f"{v:.4f}" for v in row) for row in walk]
    block = "\n".join(lines[1:]) + "\n"
    with open(path, "w") as f:
        f.write(lines[0] + "\n")
        for start in range(0, rows, BLOCK):
            f.write(block if start + BLOCK <= rows else "".join(block.splitlines(True)[:rows - start]))


def pandas_alone(path: str) -> list[np.ndarray]:
    frame = pd.read_csv(path, dtype=np.float64, engine="c")
    return [frame[name].to_numpy() for name in frame.columns]


def report_reader(path: str) -> list[np.ndarray]:
    return [c.samples for c in read_load_history(path, Options()).channels]


PEAK = """
import sys
{setup}
for line in open("/proc/self/status"):
    if line.startswith("VmHWM:"):
        print(int(line.split()[1]) * 1024, file=sys.stderr)
"""


def peak_rss(setup: str) -> int:
    """Peak resident memory in bytes of a fresh interpreter running `setup`."""
    done = subprocess.run([sys.executable, "-c", PEAK.format(setup=setup)], capture_output=True,
                          text=True, check=True)
    return int(done.stderr.strip().splitlines()[-1])


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rows", type=int, default=10**7)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--dir", help="where to write the table (default: a temporary folder)")
    parser.add_argument("--json", help="also write the figures as JSON")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(dir=args.dir) as folder:
        path = os.path.join(folder, "big.csv")
        write_table(path, args.rows)
        size = os.path.getsize(path)
        best = {"pandas": float("inf"), "report": float("inf")}
        for _ in range(args.rounds):
            for name, read in (("pandas", pandas_alone), ("report", report_reader)):
                start = time.perf_counter()
                columns = read(path)
                best[name] = min(best[name], time.perf_counter() - start)
                assert len(columns) == 4 and columns[0].size == args.rows
                del columns
        peaks = {
            "pandas": peak_rss(f"import numpy as np, pandas as pd\nf = pd.read_csv({path!r}, dtype=np.float64)\n"
                               "c = [f[n].to_numpy() for n in f.columns]"),
            "report": peak_rss("from cyclewright_report.cli import main\n"
                               f"main([{path!r}, '--no-plots', '--jobs', '1', '-m', '4', "
                               f"'--csv', {os.path.join(folder, 'out.csv')!r}])"),
        }
    figures = {"rows": args.rows, "bytes": size, "seconds": best, "ratio": best["report"] / best["pandas"],
               "peak_rss_bytes": peaks, "pandas": pd.__version__}
    print(f"{args.rows} rows x 4 channels, {size / 1e6:.0f} MB, pandas {pd.__version__}, "
          f"best of {args.rounds} rounds each, in turns")
    print(f"  pandas alone into float64 arrays  {best['pandas']:7.2f} s   peak RSS {peaks['pandas'] / 2**30:.2f} GiB")
    print(f"  the report's reader               {best['report']:7.2f} s   "
          f"({figures['ratio']:.2f}x)   whole report run: peak RSS {peaks['report'] / 2**30:.2f} GiB")
    if args.json:
        with open(args.json, "w") as f:
            json.dump(figures, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
