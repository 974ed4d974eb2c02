#!/usr/bin/python3
"""Runs the download benchmark and prints its table. Called by
bench/download.sh, which builds the programs and brings up Wine first.

For each size (--sizes, MiB of payload) it makes, once, a setup package of
incompressible data stored as it is (so the package is about that size)
that launches the benchmark's engine, and serves it from the loopback test
server (tests/lib/http_server.py, streamed from disk). Because the port is
known only once the server runs, the web stubs are packed afterwards: one
per size, naming http://127.0.0.1:PORT/bench/ and the package's exact size
and token. Then for each of --runs rounds and each size, in turn:

  stub   the web stub under Wine, "/hide", through the test launcher (full
         exit code), with the debug viewer running; its time is the line
         "DownloadTime: <ms> MS for <bytes> Bytes" it sends when the download
         is complete (the byte count must be the package's size). The stub
         then checks the token, unpacks the package and starts the engine, as
         a user's run would; that part is in "whole run" only. Peak working
         set: VmHWM of its Linux process, as in bench.py.
  curl   `curl -s -o FILE URL` of the same URL, natively; its time is curl's
         own time_total (from the connection to the last byte).

The ratio is stub rate / curl rate = curl time / stub time: 1.0 is as fast
as curl, the target is at least 0.7. "paired" is the median of that ratio
over the rounds, each taken from runs made moments apart.

With --no-stub (Windows programs cannot run here) only curl runs.
"""

from __future__ import annotations

import argparse
import getpass
import os
import random
import re
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

from benchlib import (ANSI, PeakWatcher, Viewer, median, peak_cell, seconds_cell, table_line, to_windows,
                      watch)

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "lib"))
from http_server import HttpServer  # noqa: E402 - found through the path above

DOWNLOAD_TIME = re.compile(r"DownloadTime:\s*(-?\d+)\s*MS for\s*(\d+)\s*Bytes")
MIB = 1024 * 1024
TOKEN = "download-benchmark-token"

SETUP_PROJECT = """; Made by bench/download_bench.py.
[Package]
Type = setup
Stub = {stub}
Output = {out}
Files = {files}
Launch = engine.exe
Compression = 0

[Web]
Folder = http://127.0.0.1/bench/
FileName = {name}
Token = {token}
Size = 1
"""

WEB_PROJECT = """; Made by bench/download_bench.py.
[Package]
Type = web
Stub = {stub}
Output = {out}

[Web]
Folder = {folder}
FileName = {name}
AlwaysDownload = 1
Token = {token}
Size = {size}

[Language English]
s0 = Download Benchmark
"""


class Download:
    """One size: the package served, its web stub and the figures."""

    def __init__(self, mib: int, package: Path) -> None:
        self.mib = mib
        self.package = package
        self.size = package.stat().st_size
        self.stub: Path | None = None
        self.figures: dict[str, list[float]] = {}
        self.peaks: list[float] = []
        self.ratios: list[float] = []
        self.notes: list[str] = []

    @property
    def name(self) -> str:
        return self.package.name

    def add(self, what: str, ms: float | None) -> None:
        if ms is not None:
            self.figures.setdefault(what, []).append(ms)


def write_payload(path: Path, mib: int) -> None:
    """Incompressible bytes, the same on every machine."""
    rng = random.Random(mib)
    with open(path, "wb") as f:
        for _ in range(mib):
            f.write(rng.randbytes(MIB))


def make_package(args, mib: int) -> Path:
    """The setup package of `mib` MiB of stored data, made again only when
    the stub, the engine or the packing tool is newer."""
    folder = args.work / f"payload-{mib}"
    files = folder / "files"
    data = files / "data.bin"
    package = args.work / f"Setup{mib}.exe"
    if not data.exists() or data.stat().st_size != mib * MIB:
        files.mkdir(parents=True, exist_ok=True)
        write_payload(data, mib)
    inputs = (args.stub, args.engine, args.pack, data)
    if package.exists() and all(package.stat().st_mtime >= p.stat().st_mtime for p in inputs):
        return package
    shutil.copyfile(args.engine, files / "engine.exe")
    project = folder / "setup.ini"
    project.write_text(SETUP_PROJECT.format(stub=args.stub, out=package, files=files, name=package.name,
                                            token=TOKEN))
    package.unlink(missing_ok=True)
    subprocess.run([str(args.pack), "build", str(project), "--seed", "1"], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return package


def make_web_stub(args, download: Download, server: HttpServer) -> Path:
    out = args.work / f"dlweb{download.mib}.exe"  # distinct names: the peak watcher finds it by name
    project = args.work / f"dlweb{download.mib}.ini"
    project.write_text(WEB_PROJECT.format(stub=args.stub, out=out, folder=server.url("/bench/"),
                                          name=download.name, token=TOKEN, size=download.size))
    subprocess.run([str(args.pack), "build", str(project), "--seed", "1"], check=True,
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    return out


def run_stub(args, download: Download, viewer: Viewer, temp_root: Path) -> float | None:
    """One run of the web stub; returns its download time (ms) or None."""
    before = viewer.size()
    leftovers_before = set(temp_root.iterdir()) if temp_root.is_dir() else set()
    env = dict(os.environ)
    env["VARNIX_CMDLINE"] = f'"{to_windows(download.stub)}" /hide'
    env["VARNIX_TIMEOUT_MS"] = str(int(args.limit * 1000))
    watcher = PeakWatcher(download.stub.name)
    started = time.monotonic()
    process = subprocess.Popen(["wine", str(args.launcher)], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    watch(process, watcher, args.limit + 30)
    download.add("stub-whole", (time.monotonic() - started) * 1000)
    if watcher.peak_mb is not None:
        download.peaks.append(watcher.peak_mb)
    output = process.stdout.read().decode(ANSI, errors="replace")
    text = viewer.text_since(before)
    code = re.search(r"EXITCODE=(\d+)", output)
    if code is None or code.group(1) != "0":
        download.notes.append(f"stub run ended with {output.strip() or 'no launcher output'}")
    clean_temp(download, temp_root, leftovers_before)
    match = DOWNLOAD_TIME.search(text)
    if match is None:
        last = " | ".join(line for line in text.split("\n")[-6:] if line.strip())
        download.notes.append("the stub sent no 'DownloadTime: <ms> MS for <bytes> Bytes' line "
                              f"(is its download built?); its last lines: {last or 'none'}")
        return None
    if int(match.group(2)) != download.size:
        download.notes.append(f"the stub counted {match.group(2)} bytes of {download.size}")
        return None
    ms = max(float(match.group(1)), 1.0)
    download.add("stub", ms)
    return ms


def clean_temp(download: Download, temp_root: Path, before: set) -> None:
    # What the stub left behind would pile up over the runs (and is a fault).
    if not temp_root.is_dir():
        return
    for path in set(temp_root.iterdir()) - before:
        download.notes.append(f"stub left {path.name} in the temp folder")
        shutil.rmtree(path, ignore_errors=True) if path.is_dir() else path.unlink()


def run_curl(args, download: Download, url: str) -> float | None:
    out = args.work / "curl-out.bin"
    out.unlink(missing_ok=True)
    result = subprocess.run(["curl", "-s", "--noproxy", "*", "--max-time", str(int(args.limit)), "-o", str(out),
                             "-w", "%{time_total} %{size_download}", url],
                            stdin=subprocess.DEVNULL, capture_output=True, text=True, check=False)
    fields = result.stdout.split()
    got = out.stat().st_size if out.exists() else 0
    out.unlink(missing_ok=True)
    if result.returncode != 0 or len(fields) != 2 or got != download.size:
        download.notes.append(f"curl failed ({result.returncode}, {got} of {download.size} bytes)")
        return None
    ms = max(float(fields[0]) * 1000, 1.0)
    download.add("curl", ms)
    return ms


def rate(size: int, ms: float | None) -> str:
    return f"{size / 1e6 / (ms / 1000):7.0f} MB/s" if ms else "n/a"


def print_table(downloads: list[Download], runs: int, stub_ran: bool) -> None:
    width, column = 28, 40
    print()
    print(f"Download benchmark: median of {runs} runs from a loopback server (tests/lib/http_server.py);")
    print("ratio = stub rate / curl rate (curl time / stub time); (paired) = median over the runs of that")
    print("ratio within each run")
    header = "".ljust(width) + "".join(f"{d.name} ({d.size / 1e6:.1f} MB)".ljust(column) for d in downloads)
    print(header)
    print("-" * len(header))
    for label, key in (("stub, DownloadTime (Wine)", "stub"), ("curl (native)", "curl")):
        line = label.ljust(width)
        for d in downloads:
            ms = median(d.figures.get(key))
            line += (f"{ms:7.0f} ms {rate(d.size, ms)}" if ms is not None else "n/a").ljust(column)
        print(line)
    line = "stub rate / curl rate".ljust(width)
    for d in downloads:
        stub, curl = median(d.figures.get("stub")), median(d.figures.get("curl"))
        cell = f"{curl / stub:5.2f}" if stub and curl else "n/a"
        if d.ratios:
            cell += f"  (paired {statistics.median(d.ratios):4.2f})"
        line += cell.ljust(column)
    print(line)
    print(table_line("stub peak working set", [peak_cell(d.peaks) for d in downloads], width, column))
    print(table_line("stub whole run (launcher)",
                     [seconds_cell(median(d.figures.get("stub-whole"))) for d in downloads], width, column))
    print()
    print("Every run (ms):")
    for d in downloads:
        for key in ("stub", "curl"):
            if d.figures.get(key):
                print(f"  {d.name:14} {key:5} " + " ".join(f"{v:.0f}" for v in d.figures[key]))
    print()
    print("Targets: stub rate at least 0.7 x curl's; the stub's peak working set not growing with the file")
    if not stub_ran:
        print("  the stub was not run: this machine runs no 32-bit Windows programs "
              "(VARNIX_WINE_EMULATION=qemu runs them emulated)")
    for d in downloads:
        stub, curl = median(d.figures.get("stub")), median(d.figures.get("curl"))
        if stub and curl:
            verdict = "met" if curl / stub >= 0.7 else "NOT met"
            print(f"  {d.name}: {curl / stub:.2f} x curl's rate: {verdict}")
        elif stub_ran:
            print(f"  {d.name}: no stub figure")
    peaks = [(d.size, max(d.peaks)) for d in downloads if d.peaks]
    if len(peaks) >= 2:
        (small_size, small), (large_size, large) = min(peaks), max(peaks)
        grows = large > small * 1.1 + 4
        print(f"  peak working set {small:.1f} MB for {small_size / 1e6:.0f} MB, {large:.1f} MB for "
              f"{large_size / 1e6:.0f} MB: {'GROWS with the file' if grows else 'does not grow with the file'}")
    for d in downloads:
        for note in dict.fromkeys(d.notes):
            print(f"  note ({d.name}): {note}")


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("--sizes", default="20,200", help="MiB of payload per package, comma-separated")
    parser.add_argument("--stub", type=Path, required=True, help="the bare stub to pack")
    parser.add_argument("--pack", type=Path, required=True)
    parser.add_argument("--engine", type=Path, required=True)
    parser.add_argument("--launcher", type=Path)
    parser.add_argument("--viewer", type=Path)
    parser.add_argument("--limit", type=float, default=600, help="seconds one run may take")
    parser.add_argument("--no-stub", action="store_true", help="run curl only")
    args = parser.parse_args()
    args.work = args.work.resolve()
    args.work.mkdir(parents=True, exist_ok=True)
    if not args.no_stub and (args.launcher is None or args.viewer is None):
        parser.error("--launcher and --viewer are needed unless --no-stub")

    started = time.monotonic()
    downloads = [Download(mib, make_package(args, mib)) for mib in map(int, args.sizes.split(","))]
    print(f"bench: packages ready in {time.monotonic() - started:.1f} s: "
          + ", ".join(f"{d.name} {d.size:,} bytes" for d in downloads), flush=True)
    for d in downloads:  # served from the page cache, as curl's copy will be
        with open(d.package, "rb") as f:
            while f.read(1 << 24):
                pass

    load_before = os.getloadavg()
    # Emulated Wine loses processes that keep an idle connection (see tests/e2e/conftest.py).
    with HttpServer(keep_alive=os.environ.get("VARNIX_WINE_EMULATION") != "qemu") as server:
        for d in downloads:
            server.add_file(f"/bench/{d.name}", d.package)
            if not args.no_stub:
                d.stub = make_web_stub(args, d, server)
        viewer = None if args.no_stub else Viewer(args.viewer, args.work)
        temp_root = Path(os.environ.get("WINEPREFIX", "/nonexistent")) / "drive_c" / "users" / getpass.getuser() / "Temp"
        try:
            for run in range(1, args.runs + 1):
                started = time.monotonic()
                for d in downloads:
                    stub = None if viewer is None else run_stub(args, d, viewer, temp_root)
                    curl = run_curl(args, d, server.url(f"/bench/{d.name}"))
                    if stub and curl:
                        d.ratios.append(curl / stub)
                print(f"bench: run {run}/{args.runs} done in {time.monotonic() - started:.1f} s", flush=True)
        finally:
            if viewer is not None:
                viewer.stop()
        requests = server.requests()
    print_table(downloads, args.runs, not args.no_stub)
    agents = sorted({r.user_agent for r in requests})
    print(f"\nRequests served: {len(requests)} (User-Agents: {', '.join(agents)})")
    load_after = os.getloadavg()
    print(f"Load average (1 min) before {load_before[0]:.1f}, after {load_after[0]:.1f} on "
          f"{os.cpu_count()} cores" + ("; the machine was busy: times are inflated and noisy"
                                       if max(load_before[0], load_after[0]) > 1.5 else ""))
    return 0


if __name__ == "__main__":
    sys.exit(main())
