# Shared settings for the environment scripts; sourced, not run.
# Everything that is installed lives under one cache folder outside the work
# tree, so that fresh clones (CI) reuse what an earlier run made.
CW_CACHE=${CYCLEWRIGHT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/cyclewright}
CW_ROOT=$CW_CACHE/debian-forky
CW_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

cw_log() { printf '[cyclewright] %s\n' "$*" >&2; }
cw_die() { printf '[cyclewright] error: %s\n' "$*" >&2; exit 1; }

# A CPython >= 3.14 with NumPy on PATH makes the Debian root unnecessary.
cw_host_python() {
  local py
  for py in python3.14 python3; do
    command -v "$py" >/dev/null 2>&1 || continue
    if "$py" -c 'import sys, numpy, pytest; sys.exit(sys.version_info < (3, 14))' 2>/dev/null; then
      command -v "$py"
      return 0
    fi
  done
  return 1
}
