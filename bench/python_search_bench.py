#!/usr/bin/env python3
"""Times db.search(text, limit=20) through the Python package against the same library call
made from C (python_search_baseline.c, compiled here) on the same data, in the same locale, with
the same texts and repetitions, and prints both medians and their ratio per text.

    bench/python_search_bench.py BUILD_DIR [--symbols 1000000] [--repetitions 15] [--data DIR]
                                 [--mix 24] [--seed 1]

BUILD_DIR holds libtessary.so and the tessary command (a Release build). The sample directory
is written to a temporary folder unless --data names one. Besides a few fixed texts, the texts
of a typed mix are drawn from the data: --mix symbols, each typed one keystroke at a time, 1 to
8 characters in lower case, of its code, its name or one of its search keys (those searched
with keys=True). Both sides run in the locale of the environment (LC_ALL=C or C.UTF-8 ...):
in a multibyte locale the library itself takes other paths.
"""
import argparse
import ctypes
import json
import locale
import os
import random
import statistics
import struct
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ENCODING = locale.getpreferredencoding(False)
FIXED = [(t, False) for t in ["6", "60", "601", "601234", "600007.sh", "p", "pudong"]]
LIMIT = 20
_SYMBOL = struct.Struct("<H40s50sH")  # one result record of the library
BATCH = 1000  # calls per sample for the no-op floors


def typed_mix(cli, data, symbols, seed):
    """(text, keys) for every keystroke of typing parts of `symbols` symbols drawn from the
    data: the prefixes, 1 to 8 characters, of a code, a name or a search key."""
    chooser = random.Random(seed)
    chosen = []
    seen = 0
    # One symbol a line in the dump; a reservoir keeps an even draw without holding them all.
    with subprocess.Popen([cli, "dump", data], stdout=subprocess.PIPE) as dump:
        for line in dump.stdout:
            if not line.lstrip().startswith(b'{"code":'):
                continue
            seen += 1
            if len(chosen) < symbols:
                chosen.append(line)
            elif chooser.randrange(seen) < symbols:
                chosen[chooser.randrange(symbols)] = line
    mix = []
    for n, line in enumerate(chosen):
        symbol = json.loads(line.decode().strip().rstrip(","))
        source = n % 3
        keys = source == 2 and bool(symbol.get("searchKeys"))
        whole = (symbol["searchKeys"][0] if keys else
                 symbol["name"] if source == 1 else symbol["code"]).lower()
        typed = chooser.randint(1, 8)
        mix += [(whole[:length], keys) for length in range(1, min(typed, len(whole)) + 1)]
    return list(dict.fromkeys(query for query in mix if query[0].strip()))


class CSide:
    """The C baseline (python_search_baseline.c), compiled here and running in its own process
    on the same data; it times one call at a time when asked."""

    def __init__(self, library, data, work):
        program = os.path.join(work, "python_search_baseline")
        # The build folder holds the generated tessary_version.h that tessary.h includes.
        subprocess.run(["cc", "-O2", "-std=c11", "-I", os.path.join(ROOT, "include"),
                        "-I", os.path.join(os.path.dirname(library), "include"),
                        os.path.join(ROOT, "bench", "python_search_baseline.c"), "-o", program,
                        "-ldl"], check=True)
        self.process = subprocess.Popen([program, library, data, str(LIMIT)],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.kind = self.process.stdout.readline().decode().strip()
        if not self.kind:
            raise SystemExit("the C baseline did not load the data")

    def ask(self, line):
        self.process.stdin.write(line.encode(ENCODING, "surrogateescape") + b"\n")
        self.process.stdin.flush()
        return [int(field) for field in self.process.stdout.readline().split()]

    def search(self, text, keys):
        """(hits, ns) of one search."""
        return self.ask(f"{int(keys)}\t{text}")

    def close(self):
        self.process.stdin.close()
        self.process.wait()


def measure(c, library, data, queries, repetitions):
    """Per query (hits, C median ns, Python median ns), and the floors of both sides. Each
    repetition times the C call and then the Python one, so that both meet the same load."""
    os.environ["TESSARY_LIBRARY"] = library
    sys.path.insert(0, os.path.join(ROOT, "python"))
    import tessary
    from tessary._records import add_symbols

    db = tessary.open(data)
    clock = time.perf_counter_ns
    medians = {}
    for text, keys in queries:
        hits, _ = c.search(text, keys)  # each side's first call warms its caches up
        db.search(text, keys=keys, limit=LIMIT)
        c_times, py_times = [], []
        for _ in range(repetitions):
            c_times.append(c.search(text, keys)[1])
            start = clock()
            db.search(text, keys=keys, limit=LIMIT)
            py_times.append(clock() - start)
        medians[(text, keys)] = hits, statistics.median(c_times), statistics.median(py_times)

    # The floors as the package pays them: untyped handles, out-variables made in advance.
    cdll = ctypes.CDLL(library)
    top, find, version = cdll["TSYFindSymbolTop"], cdll["TSYFindSymbol"], cdll["TSYVersion"]
    version.restype = ctypes.c_void_p
    array, count, total = ctypes.c_void_p(), ctypes.c_int32(), ctypes.c_int32()
    outs = ctypes.byref(array), ctypes.byref(count), ctypes.byref(total)
    floors = {}
    noop = ((lambda: top(None, None, 0, LIMIT, *outs)) if c.kind == "top" else
            (lambda: find(None, outs[0], outs[1], 0)))
    for name, call in [("noop", noop), ("version", version)]:
        c_samples, py_samples = [], []
        for _ in range(repetitions):
            c_samples.append(c.ask(f"{name} {BATCH}")[0])
            start = clock()
            for _ in range(BATCH):
                call()
            py_samples.append(clock() - start)
        floors[name] = statistics.median(c_samples) / BATCH, statistics.median(py_samples) / BATCH

    # The other part of any search's cost in Python: building its rows.
    widest = max(queries, key=lambda query: medians[query][0])
    block = b"".join(_SYMBOL.pack(s.exchange_id, s.symbol.encode(db.encoding, "surrogateescape"),
                                  s.name.encode(db.encoding, "surrogateescape"), s.type)
                     for s in db.search(widest[0], keys=widest[1], limit=LIMIT))
    rows, samples = tessary.ResultList(), []
    for _ in range(repetitions):
        start = clock()
        for _ in range(BATCH // 10):
            rows.clear()
            add_symbols(rows, _SYMBOL.iter_unpack(block), db.encoding)
        samples.append(clock() - start)
    floors["rows"] = len(rows), statistics.median(samples) / (BATCH // 10)
    return medians, floors


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build")
    parser.add_argument("--symbols", type=int, default=1000000)
    parser.add_argument("--repetitions", type=int, default=15)
    parser.add_argument("--data")
    parser.add_argument("--mix", type=int, default=24, help="symbols typed for the mix")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    library = os.path.abspath(os.path.join(args.build, "libtessary.so"))
    cli = os.path.join(args.build, "tessary")
    with tempfile.TemporaryDirectory() as work:
        data = args.data or os.path.join(work, "data")
        if not args.data:
            subprocess.run([cli, "sample", data, "--symbols", str(args.symbols)], check=True,
                           stdout=subprocess.DEVNULL)
        mix = [q for q in typed_mix(cli, data, args.mix, args.seed) if q not in FIXED]
        queries = FIXED + mix
        c = CSide(library, data, work)
        try:
            results, floors = measure(c, library, data, queries, args.repetitions)
        finally:
            c.close()

    call = "TSYFindSymbolTop" if c.kind == "top" else "TSYFindSymbol (first 20 kept)"
    where = locale.setlocale(locale.LC_CTYPE)
    print(f"search, limit {LIMIT}, through {call}; locale {where}; median of "
          f"{args.repetitions} runs, C and Python in turns")
    print(f"{'text':<16}{'keys':>5}{'hits':>9}{'C (us)':>11}{'Python (us)':>13}{'ratio':>9}")
    ratios = {}
    for n, query in enumerate(queries):
        if n == len(FIXED):
            print(f"-- typed mix: {len(mix)} texts from {args.mix} symbols (seed {args.seed})")
        hits, c_ns, py_ns = results[query]
        ratios[query] = py_ns / max(c_ns, 1.0)
        print(f"{json.dumps(query[0]):<16}{'yes' if query[1] else '':>5}{hits:>9}{c_ns / 1e3:>11.2f}"
              f"{py_ns / 1e3:>13.2f}{ratios[query]:>8.2f}x")
    mixed = [ratios[q] for q in mix]
    if mixed:
        print(f"median ratio over the mix: {statistics.median(mixed):.2f}x; "
              f"{sum(r < 2 for r in mixed)} of {len(mixed)} texts under 2x")
    # On long searches the difference drowns in the noise of the library's own time.
    short = [q for q in queries if results[q][1] < 100e3]
    if short:
        extra = statistics.median(results[q][2] - results[q][1] for q in short)
        print(f"Python's own time per search (Python - C), median over the {len(short)} texts "
              f"that take C under 100 us: {extra / 1e3:.2f} us")
    for name, what in [("noop", "a call that does nothing (TSYFindSymbolTop, no text)"),
                       ("version", "TSYVersion")]:
        c_ns, py_ns = floors[name]
        print(f"floor, {what}: C {c_ns / 1e3:.3f} us, Python {py_ns / 1e3:.3f} us")
    print(f"floor, building {floors['rows'][0]} Symbol records in Python: "
          f"{floors['rows'][1] / 1e3:.2f} us")


if __name__ == "__main__":
    main()
