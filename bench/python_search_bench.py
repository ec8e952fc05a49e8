#!/usr/bin/env python3
"""Times db.search(text, limit=20) through the Python package against the same library call
made from C (python_search_baseline.c, compiled here) on the same data, and prints both medians
and their ratio per text.

    bench/python_search_bench.py BUILD_DIR [--symbols 1000000] [--repetitions 15] [--data DIR]

BUILD_DIR holds libtessary.so and the tessary command (a Release build). The sample directory
is written to a temporary folder unless --data names one.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEXTS = ["6", "60", "601", "601234", "600007.sh", "p", "pudong"]
LIMIT = 20


def python_medians(library, data, repetitions):
    os.environ["TESSARY_LIBRARY"] = library
    sys.path.insert(0, os.path.join(ROOT, "python"))
    import tessary

    db = tessary.open(data)
    medians = {}
    for text in TEXTS:
        db.search(text, limit=LIMIT)
        times = []
        for _ in range(repetitions):
            start = time.perf_counter_ns()
            db.search(text, limit=LIMIT)
            times.append(time.perf_counter_ns() - start)
        medians[text] = statistics.median(times)
    return medians


def c_medians(library, data, repetitions, work):
    program = os.path.join(work, "python_search_baseline")
    # The build folder holds the generated tessary_version.h that tessary.h includes.
    subprocess.run(["cc", "-O2", "-std=c11", "-I", os.path.join(ROOT, "include"),
                    "-I", os.path.join(os.path.dirname(library), "include"),
                    os.path.join(ROOT, "bench", "python_search_baseline.c"), "-o", program,
                    "-ldl"], check=True)
    out = subprocess.run([program, library, data, str(LIMIT), str(repetitions), *TEXTS],
                         check=True, capture_output=True, text=True).stdout.splitlines()
    rows = (line.split("\t") for line in out[1:])
    return out[0], {text: (int(hits), float(ns)) for text, hits, ns in rows}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--symbols", type=int, default=1000000)
    parser.add_argument("--repetitions", type=int, default=15)
    parser.add_argument("--data")
    args = parser.parse_args()
    library = os.path.abspath(os.path.join(args.build, "libtessary.so"))
    with tempfile.TemporaryDirectory() as work:
        data = args.data or os.path.join(work, "data")
        if not args.data:
            cli = os.path.join(args.build, "tessary")
            subprocess.run([cli, "sample", data, "--symbols", str(args.symbols)], check=True,
                           stdout=subprocess.DEVNULL)
        kind, c = c_medians(library, data, args.repetitions, work)
        py = python_medians(library, data, args.repetitions)
    call = "TSYFindSymbolTop" if kind == "top" else "TSYFindSymbol (first 20 kept)"
    print(f"search, limit {LIMIT}, through {call}; median of {args.repetitions} runs")
    print(f"{'text':<12}{'hits':>9}{'C (us)':>14}{'Python (us)':>14}{'ratio':>8}")
    for text in TEXTS:
        hits, c_ns = c[text]
        print(f"{text:<12}{hits:>9}{c_ns / 1e3:>14.1f}{py[text] / 1e3:>14.1f}"
              f"{py[text] / c_ns:>7.2f}x")


if __name__ == "__main__":
    main()
