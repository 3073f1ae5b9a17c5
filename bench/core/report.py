"""Prints the core benchmark as ns per sample and as ratios to the copy of the
same signal measured in the same run. Reads Google Benchmark JSON on stdin."""
import json
import sys

TARGETS = {"get_peaktrough": 1.5, "get_halfcycles": 2.0, "eq_load": 3.0,
           "eq_load_max_half_cycle_closed": 3.5}


def main() -> int:
    runs = json.load(sys.stdin)["benchmarks"]
    ns = {}
    for run in runs:
        if run.get("run_type") == "aggregate" and run.get("aggregate_name") != "median":
            continue
        name, size = run["run_name"].split("/")[:2]
        ns[(name, int(size))] = run["real_time"] * {"ms": 1e6, "us": 1e3, "ns": 1.0}[run["time_unit"]] / int(size)
    sizes = sorted({size for _, size in ns})
    print(f"{'function':32} {'samples':>9} {'ns/sample':>10} {'x copy':>7} {'target':>7}")
    failed = False
    for name in ["copy_signal", *TARGETS]:
        for size in sizes:
            t, copy = ns[(name, size)], ns[("copy_signal", size)]
            target = TARGETS.get(name) if size == sizes[-1] else None
            mark = ""
            if target is not None:
                mark = f"<= {target}" + ("" if t / copy <= target else "  MISSED")
                failed |= t / copy > target
            print(f"{name:32} {size:>9} {t:>10.2f} {t / copy:>7.2f} {mark:>7}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
