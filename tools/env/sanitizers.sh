# Shared settings of the sanitizer and fuzzing builds (tools/sanitize,
# tools/fuzz); sourced, not run, where clang and CPython 3.14 are: natively or
# inside the Debian root.

CW_SAN_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer -O1 -g"

# The shared ASan runtime, which also carries UBSan's handlers. The interpreter
# is not instrumented, so a runtime is preloaded into it; the modules link
# none and take their sanitizer symbols from whichever runtime was preloaded
# (this one, or atheris's, which adds libFuzzer).
cw_asan_runtime() { clang++ -print-file-name=libclang_rt.asan-x86_64.so; }

# CPython 3.14 where clang is: the root's, or this machine's own.
cw_san_python() {
  if [ -x /usr/bin/python3.14 ]; then echo /usr/bin/python3.14; else cw_host_python; fi
}

# cw_configure_sanitized BUILD_DIR PYTHON EXTRA_CXX_FLAGS CMAKE_ARGS...
# Warnings are the main build's business: clang's own extra warnings must not
# fail these builds.
cw_configure_sanitized() {
  local build=$1 py=$2 extra=$3; shift 3
  mkdir -p "$(dirname "$build")"
  cmake -S "$CW_TOP" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
      -DPython_EXECUTABLE="$py" -DCYCLEWRIGHT_WERROR=OFF \
      -DCMAKE_CXX_FLAGS="$CW_SAN_FLAGS $extra" \
      -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" \
      -DCMAKE_MODULE_LINKER_FLAGS="-fsanitize=address,undefined" \
      "$@" >"$build.configure.log" 2>&1 ||
    { cat "$build.configure.log" >&2; return 1; }
  cmake --build "$build" -j2 >"$build.build.log" 2>&1 ||
    { tail -40 "$build.build.log" >&2; return 1; }
}

# The environment of an interpreter run under the sanitizers. Python objects
# go through malloc so that ASan sees each one; leaks are looked for while the
# interpreter still runs (tests/sanitize/lsan_plugin.py), not at its exit,
# where CPython and NumPy leave their own allocations behind on purpose.
cw_sanitized_python_env() {
  export LD_PRELOAD
  LD_PRELOAD=$(cw_asan_runtime)
  export PYTHONMALLOC=malloc
  # The interpreter has no frame pointers: the slow unwinder gives the stacks
  # that the suppressions are matched against (a short context keeps it cheap).
  export ASAN_OPTIONS=detect_leaks=1:leak_check_at_exit=0:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1:fast_unwind_on_malloc=0:malloc_context_size=8
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  export LSAN_OPTIONS=report_objects=1:suppressions=$CW_TOP/tests/sanitize/lsan.supp
}
