# Shared settings and helpers of the scripts in tools/; sourced, not run.
# Everything that is installed lives under one cache folder outside the work
# tree, so that fresh clones (CI) reuse what an earlier run made.
# shellcheck shell=bash
# shellcheck disable=SC2034  # the scripts that load this file use its settings
CW_CACHE=${CYCLEWRIGHT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/cyclewright}
CW_ROOT=$CW_CACHE/debian-forky
CW_TOP=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

cw_log() { printf '[cyclewright] %s\n' "$*" >&2; }
cw_die() { printf '[cyclewright] error: %s\n' "$*" >&2; exit 1; }

# --- interpreters ---------------------------------------------------------------
# The CPython versions each road takes, in order of preference.
CW_PYTHONS_NEW="3.14 3.15 3.16"                   # "CPython 3.14 or newer"
CW_PYTHONS_ANY="3.16 3.15 3.14 3.13 3.12 3.11"    # the newest supported one
CW_PYTHONS_NUMPY1="3.11 3.12"                      # the ones NumPy 1.26 supports

# cw_python "VERSION..." [MODULE...]: prints the first interpreter of these
# versions, in their order (pyenv's builds, then pythonX.Y on PATH, then
# python3), that imports the MODULES; fails when there is none.
cw_python() {
  local versions=$1 v py check candidates=()
  shift
  check="import sys${*:+, $(IFS=,; echo "$*")}; sys.exit('%d.%d' % sys.version_info[:2] not in '$versions'.split())"
  for v in $versions; do
    candidates+=("${PYENV_ROOT:-$HOME/.pyenv}"/versions/"$v".*/bin/python"$v" "$(command -v "python$v" || true)")
  done
  candidates+=("$(command -v python3 || true)")
  for py in "${candidates[@]}"; do
    [ -x "$py" ] && "$py" -c "$check" 2>/dev/null && { echo "$py"; return 0; }
  done
  return 1
}

# A CPython >= 3.14 with NumPy and pytest makes the Debian root unnecessary.
cw_host_python() { cw_python "$CW_PYTHONS_NEW" numpy pytest; }

cw_python_tag() { "$1" -c 'import sys; print("py%d%d" % sys.version_info[:2])'; }

# --- steps: run, count, sum up ------------------------------------------------
# Each tool that runs several steps (tools/test its suites, tools/sanitize and
# tools/fuzz their stages) counts them here. A step whose command exits with
# CW_SKIPPED (77, automake's "skipped") did not run: it said why itself, and it
# counts as skipped, never as passed.
CW_SKIPPED=77
CW_STEP_KIND=step
cw_passed=0 cw_failed=0 cw_skipped=0 cw_last=0

# cw_step NAME COMMAND...: runs, logs and counts the step. A failed step never
# stops the tool (it returns 0); cw_last_passed tells whether it passed, for
# steps that build on it.
cw_step() {
  local name=$1 start=$SECONDS
  shift
  cw_log "$CW_STEP_KIND: $name"
  cw_last=0
  "$@" || cw_last=$?
  if [ "$cw_last" -eq 0 ]; then
    cw_passed=$((cw_passed + 1)); cw_log "ok: $name ($((SECONDS - start)) s)"
  elif [ "$cw_last" -eq "$CW_SKIPPED" ]; then
    cw_skipped=$((cw_skipped + 1)); cw_log "SKIPPED: $name"
  else
    cw_failed=$((cw_failed + 1)); cw_log "FAILED: $name ($((SECONDS - start)) s)"
  fi
}

cw_last_passed() { [ "$cw_last" -eq 0 ]; }

cw_skip() {  # cw_skip NAME REASON
  cw_skipped=$((cw_skipped + 1))
  cw_log "SKIPPED: $1: $2"
}

cw_fail() {  # cw_fail COUNT REASON: COUNT steps that could not even start
  cw_failed=$((cw_failed + $1))
  cw_log "FAILED: $2"
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
    local lacks
    lacks=$(IFS=,; echo "${missing[*]}")
    cw_log "skipped $tool: no Debian root, and this machine lacks ${lacks//,/, }"
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

# --- virtual environments -------------------------------------------------------
# cw_venv [--system-site-packages] [--stamp TEXT] NAME PYTHON CHECK REQUIREMENT...
# Makes (once) the virtual environment $CW_CACHE/venv-pyXY-NAME of PYTHON with
# REQUIREMENTS from PyPI, and prints its path. It is ready when the Python code
# CHECK runs in it without error (and, with --stamp, when it was made for the
# same TEXT, such as a hash of the sources it installs); one that is not is
# made anew. --system-site-packages lends it the interpreter's own packages.
cw_venv() {
  local venv_args=() stamp=""
  while :; do
    case $1 in
      --system-site-packages) venv_args+=("$1"); shift ;;
      --stamp) stamp=$2; shift 2 ;;
      *) break ;;
    esac
  done
  local name=$1 py=$2 check=$3 dir
  shift 3
  dir=$CW_CACHE/venv-$(cw_python_tag "$py")-$name
  if [ -x "$dir/bin/python" ] && "$dir/bin/python" -c "$check" 2>/dev/null &&
      { [ -z "$stamp" ] || [ "$(cat "$dir/cyclewright-stamp" 2>/dev/null)" = "$stamp" ]; }; then
    echo "$dir"; return 0
  fi
  [ -e "$dir" ] && cw_log "the environment $dir is out of date or broken: making it anew"
  rm -rf "$dir"
  mkdir -p "$CW_CACHE"
  cw_log "making $dir ($* from PyPI)"
  if ! { "$py" -m venv "${venv_args[@]}" "$dir" &&
         "$dir/bin/python" -m pip install -q --disable-pip-version-check "$@" >&2 &&
         "$dir/bin/python" -c "$check"; }; then
    rm -rf "$dir"; cw_log "could not make $dir with $*"; return 1
  fi
  [ -z "$stamp" ] || echo "$stamp" >"$dir/cyclewright-stamp"
  echo "$dir"
}

# cw_test_venv PYTHON NUMPY_MAJOR NUMPY_REQUIREMENT: the environment (venv-pyXY-
# numpyN) in which the module builds and is tested with PYTHON: NumPy of that
# major, pytest, CMake and ninja.
cw_test_venv() {
  cw_venv "numpy$2" "$1" "import numpy, pytest, cmake, ninja; assert numpy.__version__.split('.')[0] == '$2'" \
    "$3" pytest cmake ninja
}

# --- builds ---------------------------------------------------------------------
# Every configuration is a preset of CMakePresets.json, which puts each build
# in build/PRESET.
cw_build_dir() { echo "$CW_TOP/build/$1"; }

# cw_build PRESET [CMAKE-ARG...]: configures (with the arguments, such as
# -DPython_EXECUTABLE=...) and builds; output goes to build/PRESET.*.log and
# is shown when a stage fails. This machine and the Debian root share the work
# tree, and a compiler may have the same path but another version on each: a
# build folder last configured on the other system, or by hand, is configured
# afresh (the mark of this system is written after each configuration here).
cw_build() {
  local preset=$1 dir mark fresh=()
  shift
  dir=$(cw_build_dir "$preset")
  mark=$dir/cyclewright-system
  mkdir -p "$(dirname "$dir")"
  if [ -e "$dir/CMakeCache.txt" ] &&
      ! { cmp -s /etc/os-release "$mark" && [ "$mark" -nt "$dir/CMakeCache.txt" ]; }; then
    fresh=(--fresh)
  fi
  (cd "$CW_TOP" && cmake --preset "$preset" "${fresh[@]}" "$@") >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log" >&2; return 1; }
  grep -qF "Build files have been written to: $dir" "$dir.configure.log" ||
    { cw_log "the preset $preset does not build in $dir"; return 1; }
  cp /etc/os-release "$mark"
  (cd "$CW_TOP" && cmake --build --preset "$preset" --parallel "$(nproc)") >"$dir.build.log" 2>&1 ||
    { tail -40 "$dir.build.log" >&2; return 1; }
}
