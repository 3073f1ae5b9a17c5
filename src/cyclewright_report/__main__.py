"""python -m cyclewright_report: the same command as cyclewright-report."""

from .cli import main

if __name__ == "__main__":  # not in the worker processes, which import this module again
    raise SystemExit(main())
