"""The README's examples say what the code does: every line `call  # value`
of the module's Python blocks (or a call with `# value` on the next line)
gives that value, a value ending in '...' being a prefix of the result's
repr; and the report's example table is what the command prints."""

from __future__ import annotations

import ast
import re

import pytest

from road_support import TOP


def _examples():
    text = (TOP / "README.md").read_text()
    start = text.index("## Using the module")
    section = text[start:text.index("\n## ", start)]
    blocks = re.findall(r"```python\n(.*?)```", section, flags=re.S)
    checks = []
    for block in blocks:
        if "def " in block or "except" in block:
            continue  # the stub's signatures and the pattern for catching
        setup: list[str] = []
        lines = block.splitlines()
        for i, line in enumerate(lines):
            code, _, comment = line.partition("  # ")
            if code.lstrip().startswith("#") or not code.strip():
                continue
            following = lines[i + 1].strip() if i + 1 < len(lines) else ""
            if not comment and following.startswith("# ") and following[2:3] in "[(-0123456789":
                comment = following[2:]  # a long value on the line below its call
            if comment:
                checks.append(pytest.param("\n".join(setup), code.strip(), comment.strip(),
                                           id=code.strip()[:60]))
            else:
                setup.append(line)
    return checks


EXAMPLES = _examples()


def test_examples_are_found():
    assert len(EXAMPLES) >= 4


@pytest.mark.parametrize("setup, call, expected", EXAMPLES)
def test_readme_example(setup, call, expected):
    scope: dict = {}
    exec(setup, scope)
    result = eval(call, scope)
    if expected.endswith("..."):
        assert repr(result).startswith(expected[:-3]), (call, result)
    else:
        assert result == ast.literal_eval(expected), (call, result)


def test_report_example_table(cli, monkeypatch):
    monkeypatch.chdir(TOP)
    text = (TOP / "README.md").read_text()
    command = "cyclewright-report examples/data/example_load.csv -m 4,10 --no-plots"
    assert command in text
    shown = text[text.index(command):].split("```\n")[2].splitlines()
    run = cli(*command.split()[1:])
    assert run.code == 0 and shown[-1] == "..."
    assert run.out.splitlines()[:len(shown) - 1] == shown[:-1]
