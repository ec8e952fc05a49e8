#!/usr/bin/env python3
"""Runs the command examples of the README and docs/ and compares what they print.

A fenced block whose info string is `console` is checked: each line starting with "$ " is a
command, run with bash in a scratch directory that holds `sample-data` (tessary sample
sample-data --symbols 2000) and links to the source tree's tools/ and examples/; the lines up to
the next command are its expected standard output and error. A line "..." stands for any number
of lines. Other blocks (sh, c, json) are not run.
usage: check_examples.py TESSARY_BINARY_DIR SOURCE_DIR FILE.md...
"""
import os
import re
import subprocess
import sys
import tempfile


def examples(path):
    """(line number, command, expected lines) of every checked example in the file."""
    found, block, command = [], None, None
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\n")
        if block is None:
            block = [] if line.strip() == "```console" else None
            continue
        if line.startswith("```"):
            block = None
        elif line.startswith("$ "):
            command = (number, line[2:], [])
            found.append(command)
        elif command is not None:
            command[2].append(line)
    return found


def matches(expected, actual):
    """True when `actual` is `expected`, each "..." standing for any number of lines."""
    chunks = [[]]
    for line in expected:
        if line == "...":
            chunks.append([])
        else:
            chunks[-1].append(line.rstrip())
    actual = [line.rstrip() for line in actual]
    if len(chunks) == 1:
        return actual == chunks[0]
    first, *middle, last = chunks
    if actual[:len(first)] != first or len(actual) < len(first) + len(last):
        return False
    position, end = len(first), len(actual) - len(last)
    if last and actual[end:] != last:
        return False
    for chunk in middle:
        while position + len(chunk) <= end and actual[position:position + len(chunk)] != chunk:
            position += 1
        if position + len(chunk) > end:
            return False
        position += len(chunk)
    return True


def main():
    binary_dir, source_dir, files = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2]), sys.argv[3:]
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        env = dict(os.environ, PATH=binary_dir + os.pathsep + os.environ["PATH"], LC_ALL="C")
        for name in ("tools", "examples"):
            os.symlink(os.path.join(source_dir, name), os.path.join(scratch, name))
        subprocess.run(["tessary", "sample", "sample-data", "--symbols", "2000"], cwd=scratch, env=env,
                       check=True, stdout=subprocess.DEVNULL)
        for path in files:
            for number, command, expected in examples(path):
                run = subprocess.run(["bash", "-c", command], cwd=scratch, env=env, text=True,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
                actual = run.stdout.splitlines()
                if not matches(expected, actual):
                    failures += 1
                    print(f"{os.path.relpath(path, source_dir)}:{number}: $ {command}\n"
                          "expected:\n  " + "\n  ".join(expected) + "\nprinted:\n  " + "\n  ".join(actual))
                else:
                    print(f"ok {os.path.relpath(path, source_dir)}:{number}: $ {command}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
