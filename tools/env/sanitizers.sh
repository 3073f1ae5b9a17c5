# Shared settings of the sanitizer and fuzzing runs (tools/sanitize,
# tools/fuzz; their builds are the presets asan, fuzz and fuzz-python);
# sourced, not run, where clang and CPython 3.14 are: natively or inside the
# Debian root.
# shellcheck shell=bash

# The shared ASan runtime, which also carries UBSan's handlers. The interpreter
# is not instrumented, so a runtime is preloaded into it; the modules link
# none and take their sanitizer symbols from whichever runtime was preloaded
# (this one, or atheris's, which adds libFuzzer).
cw_asan_runtime() { clang++ -print-file-name=libclang_rt.asan-x86_64.so; }

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
