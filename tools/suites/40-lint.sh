# The linters (tools/lint): shellcheck over the shell scripts and ruff over
# the Python files. Sourced by tools/test.
cw_step "linters: shellcheck, ruff (tools/lint)" tools/lint
