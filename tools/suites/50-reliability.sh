# Reliability: the sanitizer and valgrind runs (tools/sanitize) and a short
# bounded fuzz of the core and of the Python functions (tools/fuzz), a few
# minutes together. Sourced by tools/test.
suite "sanitizers: ASan, UBSan, LeakSanitizer, valgrind (tools/sanitize)" tools/sanitize
suite "fuzzing, 30 s per harness (tools/fuzz 30)" tools/fuzz 30
