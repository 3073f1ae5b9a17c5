# Reliability: the sanitizer and valgrind runs (tools/sanitize) and a short
# bounded fuzz of the core and of the Python functions (tools/fuzz), a few
# minutes together. Sourced by tools/test.
cw_step "sanitizers: ASan, UBSan, LeakSanitizer, valgrind (tools/sanitize)" tools/sanitize
cw_step "fuzzing, 30 s per harness (tools/fuzz 30)" tools/fuzz 30
