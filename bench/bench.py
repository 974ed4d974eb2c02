#!/usr/bin/python3
"""Runs the unpack benchmark and prints its table. Called by bench/run.sh,
which builds the programs, brings up Wine and makes the packages first;
everything it needs comes in as arguments and the Wine environment.

For each of --runs rounds and each corpus, in turn (so that slow drift of the
machine spreads over all of them):

  stub      the package program itself under Wine, "/hide", started through
            the test launcher (full exit code); its time is the
            "UnCompressTime: <ms> MS" line it sends to the debug viewer
  baseline  varnix-baseline.exe under Wine on the same package file; its
            time is the one it prints
  pumping   the same with "/pump": it also takes waiting messages and
            yields its time slice between pieces, as a window program does;
            the difference to the baseline is what that costs under Wine
  unzip     `unzip -q` of the equivalent zip, natively, wall time
  7z        `7z x` of the same zip, natively, wall time

With --stub-only each round runs only the stub (the large-file row: a
corpus of one file past 4 GiB, where the others would only add disk traffic),
and the table shows its time, whole run and peak working set per corpus.

The tests' fake engine, started by the stub after unpacking, lists the files
beside it; every payload file must be there in full, or a note says so.

Peak working set: Wine runs each Windows process as one Linux process, and
the kernel keeps that process's peak resident set as VmHWM in
/proc/<pid>/status. While a Windows program runs, this script finds its
Linux process (the name Wine gives it, checked against our WINEPREFIX) and
reads VmHWM every 20 ms; since VmHWM only grows, the last value read before
the process ends is its peak, however short the peak itself was (only a
peak in the last 20 ms of a life could be missed; the stub lives on for
seconds after unpacking, while it waits for the engine). The table gives the
largest over the runs. This needs
nothing inside the program and no cooperation from the launcher, and it
counts what Windows' PeakWorkingSetSize counts (private pages, the program's
image and the system DLLs it touched). A helper calling
GetProcessMemoryInfo would have to catch the child before it ends as well,
and would go through Wine's emulation of the same figure.
"""

from __future__ import annotations

import argparse
import getpass
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

from benchlib import (ANSI, PeakWatcher, Viewer, median, peak_cell, seconds_cell, table_line, to_windows,
                      watch)

UNCOMPRESS = re.compile(r"UnCompressTime:\s*(-?\d+)\s*MS")


class Corpus:
    def __init__(self, name: str, package: Path, archive: Path, folder: Path) -> None:
        self.name = name
        self.package = package
        self.archive = archive
        # Relative Windows name -> size of every payload file.
        self.contents = {str(p.relative_to(folder)).replace("/", "\\"): p.stat().st_size
                         for p in sorted(folder.rglob("*")) if p.is_file()}
        self.files = len(self.contents)
        self.size = sum(self.contents.values())
        self.figures: dict[str, list[float]] = {}
        self.peaks: dict[str, list[float]] = {}
        self.notes: list[str] = []

    def add(self, what: str, ms: float | None, peak_mb: float | None = None) -> None:
        if ms is not None:
            self.figures.setdefault(what, []).append(ms)
        if peak_mb is not None:
            self.peaks.setdefault(what, []).append(peak_mb)


def fresh(folder: Path) -> None:
    shutil.rmtree(folder, ignore_errors=True)
    os.sync()  # what earlier runs left dirty is written now, not during the next one


def run_stub(args, corpus: Corpus, viewer: Viewer, temp_root: Path) -> None:
    before = viewer.size()
    leftovers_before = set(temp_root.iterdir()) if temp_root.is_dir() else set()
    os.sync()
    env = dict(os.environ)
    env["VARNIX_CMDLINE"] = f'"{to_windows(corpus.package)}" /hide'
    env["VARNIX_TIMEOUT_MS"] = str(int(args.limit * 1000))
    record = args.work / "engine-record.txt"
    record.unlink(missing_ok=True)
    env["VARNIX_ENGINE_RECORD"] = to_windows(record)
    watcher = PeakWatcher(corpus.package.name)
    started = time.monotonic()
    process = subprocess.Popen(["wine", str(args.launcher)], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    watch(process, watcher, args.limit + 30)
    whole = (time.monotonic() - started) * 1000
    output = process.stdout.read().decode(ANSI, errors="replace")
    text = viewer.text_since(before)
    match = UNCOMPRESS.search(text)
    code = re.search(r"EXITCODE=(\d+)", output)
    if code is None or code.group(1) != "0":
        corpus.notes.append(f"stub run ended with {output.strip() or 'no launcher output'}")
    if match is None:
        corpus.notes.append("stub: no UnCompressTime in its debug text (it does not unpack yet?): "
                            + " | ".join(text.split("\n")[-6:]).strip())
    if match is not None:
        check_engine_record(corpus, record)
    corpus.add("stub", float(match.group(1)) if match else None, watcher.peak_mb)
    corpus.add("stub-whole", whole)
    # Working folders the stub left behind would pile up over the runs.
    if temp_root.is_dir():
        for path in set(temp_root.iterdir()) - leftovers_before:
            corpus.notes.append(f"stub left {path.name} in the temp folder")
            shutil.rmtree(path, ignore_errors=True) if path.is_dir() else path.unlink()


def check_engine_record(corpus: Corpus, record: Path) -> None:
    """The tests' fake engine lists the files beside it when it starts: every
    payload file must be there in full, or the stub's time means nothing.
    (The benchmark's own engine records nothing; then there is no check.)"""
    if not record.exists():
        return
    for line in record.read_text(encoding=ANSI, errors="replace").splitlines():
        try:
            entry = json.loads(line)
        except ValueError:
            continue
        if entry.get("kind") != "engine":
            continue
        found = {f.get("name"): f.get("size") for f in entry.get("files", [])}
        wrong = [name for name, size in corpus.contents.items() if found.get(name) != size]
        if wrong:
            corpus.notes.append(f"the engine found {len(wrong)} payload files missing or of another size "
                                f"(first: {wrong[0]})")
        return


def run_baseline(args, corpus: Corpus, dest: Path, what: str = "baseline") -> None:
    fresh(dest)
    watcher = PeakWatcher(args.baseline.name)
    switches = ["/pump"] if what == "pumping" else []
    process = subprocess.Popen(["wine", str(args.baseline), *switches, to_windows(corpus.package), to_windows(dest)],
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    watch(process, watcher, args.limit)
    output = process.stdout.read().decode(ANSI, errors="replace")
    match = re.search(r"BASELINE files=(\d+) bytes=(\d+) ms=(\d+)", output)
    if match is None or int(match.group(2)) != corpus.size:
        raise RuntimeError(f"baseline failed on {corpus.package.name}: {output.strip()}")
    corpus.add(what, float(match.group(3)), watcher.peak_mb)
    fresh(dest)


def run_native(corpus: Corpus, what: str, command: list[str], dest: Path) -> None:
    fresh(dest)
    dest.mkdir(parents=True)
    started = time.monotonic()
    subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, check=True)
    corpus.add(what, (time.monotonic() - started) * 1000)
    fresh(dest)


def paired_ratio(corpus: Corpus, key: str) -> float | None:
    """Median of figure / baseline over the runs that have both."""
    values = corpus.figures.get(key) or []
    bases = corpus.figures.get("baseline") or []
    if key == "stub":
        # A stub run without the line leaves a gap; pair by run only when complete.
        if len(values) != len(bases):
            return None
    ratios = [v / b for v, b in zip(values, bases) if b]
    return statistics.median(ratios) if ratios else None


def print_table(corpora: list[Corpus], runs: int) -> None:
    rows = [
        ("stub, UnCompressTime (Wine)", "stub"),
        ("baseline (Wine)", "baseline"),
        ("baseline /pump (Wine)", "pumping"),
        ("unzip -q (native)", "unzip"),
        ("7z x (native)", "7z"),
    ]
    width = 30
    column = 44
    print()
    print(f"Unpack benchmark: median of {runs} runs; ratio = median time / median baseline time on the same")
    print("package; (paired) = median over the runs of time / baseline time of the same run, which cancels")
    print("most of the drift of a busy machine")
    header = "".ljust(width) + "".join(
        f"{c.name} ({c.files} files, {c.size / 1e6:.1f} MB)".ljust(column) for c in corpora)
    print(header)
    print("-" * len(header))
    for label, key in rows:
        line = label.ljust(width)
        for c in corpora:
            value = median(c.figures.get(key))
            base = median(c.figures.get("baseline"))
            if value is None:
                cell = "n/a"
            else:
                cell = f"{value:7.0f} ms"
                if base:
                    cell += f"  {value / base:5.2f} x"
                    paired = paired_ratio(c, key)
                    if paired is not None and key != "baseline":
                        cell += f"  (paired {paired:4.2f} x)"
            line += cell.ljust(column)
        print(line)
    for label, key in (("stub peak working set", "stub"), ("baseline peak working set", "baseline")):
        print(table_line(label, [peak_cell(c.peaks.get(key)) for c in corpora], width, column))
    print(table_line("stub whole run (launcher)",
                     [seconds_cell(median(c.figures.get("stub-whole"))) for c in corpora], width, column))
    print()
    print("Every run (ms):")
    for c in corpora:
        for key in ("stub", "baseline", "pumping", "unzip", "7z"):
            values = c.figures.get(key)
            if values:
                print(f"  {c.name:8} {key:9} " + " ".join(f"{v:.0f}" for v in values))
    print()
    print("Targets: stub time <= 1.4 x baseline (aim 1.1); stub peak working set < 64 MB")
    for c in corpora:
        stub = median(c.figures.get("stub"))
        base = median(c.figures.get("baseline"))
        peak = c.peaks.get("stub")
        if stub is None or not base:
            print(f"  {c.name}: no stub figure")
            continue
        ratio = stub / base
        verdict = "met (aim 1.1 reached)" if ratio <= 1.1 else "met" if ratio <= 1.4 else "NOT met"
        line = f"  {c.name}: time {ratio:.2f} x baseline: {verdict}"
        paired = paired_ratio(c, "stub")
        if paired is not None:
            line += f" (paired {paired:.2f} x)"
        if peak:
            line += f"; peak {max(peak):.1f} MB: {'met' if max(peak) < 64 else 'NOT met'}"
        print(line)
    for c in corpora:
        for note in dict.fromkeys(c.notes):
            print(f"  note ({c.name}): {note}")


def print_stub_table(corpora: list[Corpus], runs: int) -> None:
    print()
    print(f"Stub only: median of {runs} run(s); peak = largest VmHWM of the stub's process")
    print(f"{'':24}{'UnCompressTime':>16}{'whole run':>12}{'MB/s':>9}{'peak working set':>20}")
    for c in corpora:
        ms = median(c.figures.get("stub"))
        whole = median(c.figures.get("stub-whole"))
        peak = c.peaks.get("stub")
        label = f"{c.name} ({c.size / 2**30:.2f} GiB)" if c.size >= 2**30 else f"{c.name} ({c.size / 1e6:.1f} MB)"
        print(label.ljust(24)
              + (f"{ms:13.0f} ms" if ms is not None else f"{'n/a':>16}")
              + (f"{whole / 1000:10.1f} s" if whole is not None else f"{'n/a':>12}")
              + (f"{c.size / 1e6 / (ms / 1000):9.0f}" if ms else f"{'n/a':>9}")
              + (f"{max(peak):17.1f} MB" if peak else f"{'n/a':>20}"))
    for c in corpora:
        for note in dict.fromkeys(c.notes):
            print(f"  note ({c.name}): {note}")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("--launcher", type=Path, required=True)
    parser.add_argument("--viewer", type=Path, required=True)
    parser.add_argument("--baseline", type=Path, required=True)
    parser.add_argument("--limit", type=float, default=300, help="seconds one program may take")
    parser.add_argument("--stub-only", action="store_true", help="run only the stub (ZIP may be empty)")
    parser.add_argument("--corpus", action="append", required=True,
                        help="NAME:PACKAGE:ZIP:FOLDER (repeat); FOLDER holds the packed files")
    args = parser.parse_args()
    args.work = args.work.resolve()

    corpora = []
    for item in args.corpus:
        name, package, archive, folder = item.split(":")
        corpora.append(Corpus(name, Path(package).resolve(), Path(archive).resolve(), Path(folder).resolve()))
    for c in corpora:  # every program then reads its input from the page cache
        for path in (c.package, c.archive):
            if args.stub_only and path == c.archive:
                continue
            with open(path, "rb") as f:
                while f.read(1 << 24):
                    pass

    temp_root = Path(os.environ["WINEPREFIX"]) / "drive_c" / "users" / getpass.getuser() / "Temp"
    baseline_dest = temp_root.parent / "bench-baseline-out"
    native_dest = args.work / "native-out"
    load_before = os.getloadavg()
    viewer = Viewer(args.viewer, args.work)
    try:
        for run in range(1, args.runs + 1):
            started = time.monotonic()
            for c in corpora:
                run_stub(args, c, viewer, temp_root)
                if args.stub_only:
                    continue
                run_baseline(args, c, baseline_dest)
                run_baseline(args, c, baseline_dest, "pumping")
                run_native(c, "unzip", ["unzip", "-q", "-o", str(c.archive), "-d", str(native_dest)], native_dest)
                run_native(c, "7z", ["7z", "x", "-y", "-bd", f"-o{native_dest}", str(c.archive)], native_dest)
            print(f"bench: run {run}/{args.runs} done in {time.monotonic() - started:.1f} s", flush=True)
    finally:
        viewer.stop()
    if args.stub_only:
        print_stub_table(corpora, args.runs)
    else:
        print_table(corpora, args.runs)
    load_after = os.getloadavg()
    print(f"\nLoad average (1 min) before {load_before[0]:.1f}, after {load_after[0]:.1f} on "
          f"{os.cpu_count()} cores" + ("; the machine was busy: times are inflated and noisy"
                                       if max(load_before[0], load_after[0]) > 1.5 else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
