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

# --- steps: run, count, sum up ------------------------------------------------
# Each tool that runs several steps (tools/test its suites, tools/sanitize and
# tools/fuzz their stages) counts them here. A step whose command exits with
# CW_SKIPPED (77, automake's "skipped") did not run: it said why itself, and it
# counts as skipped, never as passed.
CW_SKIPPED=77
CW_STEP_KIND=step
cw_passed=0 cw_failed=0 cw_skipped=0

cw_step() {  # cw_step NAME COMMAND... ; returns the command's status
  local name=$1 start=$SECONDS rc=0
  shift
  cw_log "$CW_STEP_KIND: $name"
  "$@" || rc=$?
  if [ "$rc" -eq 0 ]; then
    cw_passed=$((cw_passed + 1)); cw_log "ok: $name ($((SECONDS - start)) s)"
  elif [ "$rc" -eq "$CW_SKIPPED" ]; then
    cw_skipped=$((cw_skipped + 1)); cw_log "SKIPPED: $name"
  else
    cw_failed=$((cw_failed + 1)); cw_log "FAILED: $name ($((SECONDS - start)) s)"
  fi
  return "$rc"
}

cw_skip() {  # cw_skip NAME REASON
  cw_skipped=$((cw_skipped + 1))
  cw_log "SKIPPED: $1: $2"
}

# The closing line, "WORD: N passed, N failed" (", N skipped" when some were);
# returns non-zero when a step failed.
cw_summary() {  # cw_summary WORD
  local skipped=""
  [ "$cw_skipped" -eq 0 ] || skipped=", $cw_skipped skipped"
  echo "$1: $cw_passed passed, $cw_failed failed$skipped"
  [ "$cw_failed" -eq 0 ]
}

# --- where a tool runs: this machine or the Debian root ----------------------
# A tool that needs CPython >= 3.14 with NumPy and pytest, and the commands
# NEEDS, does its work on this machine when it has them all, else inside the
# Debian root (made first). Either way it is started again with --here as its
# first argument, which tells it that it is where it should work:
#   [ "${1:-}" = --here ] || { cw_in_root_or_here "NEEDS" tools/NAME "$@"; exit; }
# With CYCLEWRIGHT_NO_ROOT=1 (which tools/test sets when it cannot make the
# root) the tool is skipped instead, exiting with CW_SKIPPED.
cw_in_root_or_here() {  # cw_in_root_or_here "NEEDS" TOOL ARG...
  local needs=$1 tool=$2 cmd missing=()
  shift 2
  for cmd in $needs; do command -v "$cmd" >/dev/null 2>&1 || missing+=("$cmd"); done
  cw_host_python >/dev/null || missing+=("a CPython >= 3.14 with NumPy and pytest")
  if [ ${#missing[@]} -eq 0 ]; then "$tool" --here "$@"; return; fi
  if [ "${CYCLEWRIGHT_NO_ROOT:-}" = 1 ]; then
    cw_log "skipped $tool: no Debian root, and this machine lacks $(IFS=,; echo "${missing[*]}" | sed 's/,/, /g')"
    return "$CW_SKIPPED"
  fi
  "$CW_TOP/tools/env/debian-root" >/dev/null || cw_die "could not make the Debian root"
  "$CW_TOP/tools/env/in-root" "$tool" --here "$@"
}

# Whether the Debian root can be had: not refused by CYCLEWRIGHT_NO_ROOT=1,
# run as root (debootstrap, chroot and the mounts need it), and made or found.
cw_root_usable() {
  if [ "${CYCLEWRIGHT_NO_ROOT:-}" = 1 ]; then
    cw_log "the Debian root is not to be used (CYCLEWRIGHT_NO_ROOT=1)"; return 1
  fi
  if [ "$(id -u)" -ne 0 ]; then cw_log "not run as root: no Debian root"; return 1; fi
  "$CW_TOP/tools/env/debian-root" || { cw_log "could not make the Debian root"; return 1; }
}

# --- virtual environments of the Python tests ---------------------------------
# cw_test_venv DIR PYTHON NUMPY_MAJOR NUMPY_REQUIREMENT: makes (once) a
# virtual environment with NumPy of that major, pytest, CMake and ninja, so
# that the module builds and is tested with PYTHON; a broken one is made anew.
cw_test_venv() {
  local dir=$1 py=$2 major=$3 requirement=$4
  cw_test_venv_ready "$dir" "$major" && return 0
  [ -e "$dir" ] && cw_log "the environment $dir is broken: making it anew"
  rm -rf "$dir"
  mkdir -p "$(dirname "$dir")"
  cw_log "making $dir with $requirement"
  "$py" -m venv "$dir" &&
    "$dir/bin/python" -m pip install -q --disable-pip-version-check "$requirement" pytest cmake ninja ||
    { rm -rf "$dir"; cw_log "could not install $requirement into $dir"; return 1; }
  cw_test_venv_ready "$dir" "$major" || { cw_log "$dir is not usable after installing"; return 1; }
}

cw_test_venv_ready() {  # cw_test_venv_ready DIR NUMPY_MAJOR
  [ -x "$1/bin/python" ] &&
    "$1/bin/python" -c "import numpy, pytest, cmake, ninja; assert numpy.__version__.split('.')[0] == '$2'" 2>/dev/null
}

cw_python_tag() { "$1" -c 'import sys; print("py%d%d" % sys.version_info[:2])'; }
