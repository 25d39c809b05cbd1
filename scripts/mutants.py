#!/usr/bin/env python3
"""Makes small faults one at a time in a copy of the source tree, rebuilds,
runs the test program of the folder and says which faults no test noticed.

Called by scripts/mutate.sh, which makes the copy, builds it once and starts
its Wine prefix. Every fault is undone before the next one is made.
"""
import argparse
import os
import random
import re
import subprocess
import sys
import time
from pathlib import Path

SOURCE_ENDINGS = (".cpp", ".h")

# Binary operators are only taken with a space on each side, as the code is
# written; that keeps template brackets, shifts and pointers out.
SWAPS = [
    ("relational", " == ", " != "),
    ("relational", " != ", " == "),
    ("relational", " <= ", " < "),
    ("relational", " >= ", " > "),
    ("relational", " < ", " <= "),
    ("relational", " > ", " >= "),
    ("arithmetic", " + ", " - "),
    ("arithmetic", " - ", " + "),
    ("logical", " && ", " || "),
    ("logical", " || ", " && "),
]
NUMBER = re.compile(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)(?![\w.])")
STATEMENT = re.compile(r"^\s*[A-Za-z_][\w:.>\-\[\]]*\s*(\(|=|\+\+|--|\+=|-=|\|=|&=)[^;]*;\s*$")
NOT_STATEMENT = re.compile(r"^\s*(return|break|continue|case|default|goto|else|do|delete)\b")
IF_OPEN = re.compile(r"\b(if|while) \(")


def code_part(line):
    """The line with string and character literals blanked and the
    comment cut off, so that no fault is made inside either."""
    out, quote, i = [], None, 0
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" " if c != quote else c)
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def closing_paren(text, start):
    depth = 0
    for i in range(start, len(text)):
        if text[i] == "(":
            depth += 1
        elif text[i] == ")":
            depth -= 1
            if depth == 0:
                return i
    return -1


def faults_of_line(lineno, line):
    code = code_part(line)
    stripped = code.strip()
    if not stripped or stripped.startswith(("#", "*", "/*")) or "static_assert" in code:
        return
    for kind, old, new in SWAPS:
        start = 0
        while (i := code.find(old, start)) >= 0:
            yield kind, i, old, new
            start = i + 1
    for m in NUMBER.finditer(code):
        text = m.group(1)
        value = int(text, 16) if text.lower().startswith("0x") else int(text)
        new = hex(value + 1) if text.lower().startswith("0x") else str(value + 1)
        yield "constant", m.start(), text, new
    if STATEMENT.match(code) and not NOT_STATEMENT.match(code) and code.rstrip().endswith(";"):
        body = line.rstrip("\n")
        indent = len(body) - len(body.lstrip())
        yield "dropped", indent, body[indent:], ";"
    for m in IF_OPEN.finditer(code):
        open_at = m.end() - 1
        close_at = closing_paren(code, open_at)
        if close_at > open_at:
            cond = line[open_at + 1:close_at]
            yield "negated", open_at, "(" + cond + ")", "(!(" + cond + "))"


def collect(src, target):
    path = src / target
    files = [path] if path.is_file() else sorted(p for p in path.rglob("*") if p.suffix in SOURCE_ENDINGS)
    faults = []
    for f in files:
        for n, line in enumerate(f.read_text(errors="replace").splitlines(keepends=True), 1):
            for kind, col, old, new in faults_of_line(n, line):
                faults.append((f, n, kind, col, old, new))
    return faults


def load_equivalent(path):
    """The faults listed as equivalent: (file:line, the line as it stands, change)."""
    listed = set()
    if path.is_file():
        for row in path.read_text().splitlines():
            if row.strip() and not row.startswith("#"):
                where, line, change, _why = (part.strip() for part in row.split(" | ", 3))
                listed.add((where, line, change))
    return listed


def change_of(fault):
    _f, _n, _kind, _col, old, new = fault
    return f"{old.strip()[:60]} -> {new.strip()[:60]}"


def apply(fault):
    f, n, kind, col, old, new = fault
    original = f.read_text(errors="replace")
    lines = original.splitlines(keepends=True)
    line = lines[n - 1]
    assert line[col:col + len(old)] == old, (f, n, old)
    lines[n - 1] = line[:col] + new + line[col + len(old):]
    f.write_text("".join(lines))
    return original


def run(cmd, cwd, timeout=None, env=None):
    try:
        return subprocess.run(cmd, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout, env=env).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--src", required=True, type=Path)
    ap.add_argument("--build", required=True, type=Path)
    ap.add_argument("--target", required=True)
    ap.add_argument("--tests", required=True, help="ctest -R pattern")
    ap.add_argument("--targets", required=True, help="build targets, comma-separated")
    ap.add_argument("--max", type=int, default=40)
    ap.add_argument("--seed", type=int, default=1)
    a = ap.parse_args()

    faults = collect(a.src, a.target)
    random.Random(a.seed).shuffle(faults)
    build = ["cmake", "--build", str(a.build), "-j2"] + sum((["--target", t] for t in a.targets.split(",")), [])
    test = ["ctest", "-R", a.tests, "--timeout", "900"]

    # A fault is noticed at the first failing case; the rest need not run.
    fail_fast = dict(os.environ, GTEST_FAIL_FAST="1")
    started = time.time()
    if run(build, a.src) != 0:
        sys.exit("mutate: the unchanged tree does not build")
    baseline = subprocess.run(test + ["--output-on-failure"], cwd=a.build, capture_output=True, text=True)
    if baseline.returncode != 0:
        print("\n".join(baseline.stdout.splitlines()[-40:]))
        sys.exit("mutate: the unchanged tree's tests fail")
    limit = max(60, 3 * (time.time() - started))

    equivalent = load_equivalent(Path(__file__).with_name("mutants-equivalent.txt"))
    noticed = missed = stillborn = same = 0
    print(f"{len(faults)} possible faults in {a.target}; trying {min(a.max, len(faults))} (seed {a.seed})")
    print("verdict     where                                     kind        change")
    for fault in faults[:a.max]:
        f, n, kind, col, old, new = fault
        line = f.read_text(errors="replace").splitlines()[n - 1].strip()
        where = f"{f.relative_to(a.src)}:{n}"
        if (where, line, change_of(fault)) in equivalent:
            same += 1
            print(f"{'equivalent':<11} {where:<41} {kind:<11} {change_of(fault)}", flush=True)
            continue
        original = apply(fault)
        try:
            if run(build, a.src) != 0:
                verdict = "no-build"
                stillborn += 1
            elif run(test, a.build, timeout=limit, env=fail_fast) == 0:
                verdict = "UNNOTICED"
                missed += 1
            elif run(test, a.build, timeout=limit, env=fail_fast) == 0:
                # Failed once, passed once: a busy machine, not the fault, may
                # have failed it, so it does not count as noticed.
                verdict = "FLAKY"
                missed += 1
            else:
                verdict = "noticed"
                noticed += 1
        finally:
            f.write_text(original)
        print(f"{verdict:<11} {where:<41} {kind:<11} {change_of(fault)}", flush=True)
    run(build, a.src)
    tried = noticed + missed
    share = noticed / tried if tried else 0.0
    with_same = noticed / (tried + same) if tried + same else 0.0
    print(f"{a.target}: {tried} faults built, {noticed} noticed, {missed} unnoticed or flaky, {same} equivalent "
          f"(not built), {stillborn} did not build; share noticed {share:.2f} "
          f"({with_same:.2f} with the equivalent counted as missed)")


if __name__ == "__main__":
    main()
