"""The download benchmark's measuring part (bench/download.sh prepares the
programs and the Wine environment): serves a setup package from the loopback
server, runs a web stub on it under Wine with /hide and, moments later, curl
on the same URL, and prints the download times, the rate ratio (stub rate /
curl rate, target at least 0.7) and the stub's peak working set, for a large
and a small file (the peak must not grow with the file).

The stub's time is its own figure from the debug channel:
"DownloadTime: <ms> MS for <bytes> Bytes" (request and transfer, after the
warm-up request)."""

from __future__ import annotations

import argparse
import os
import re
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "lib"))

from bench import PeakWatcher, Viewer, median, to_windows, watch  # noqa: E402
from http_server import HttpServer  # noqa: E402

DOWNLOAD = re.compile(r"DownloadTime: (\d+) MS for (\d+) Bytes")
WEB_PROJECT = """; Made by bench/download.sh.
[Package]
Type = web
Stub = {stub}
Output = {out}

[Web]
Folder = {folder}
FileName = {name}
AlwaysDownload = 1
Token = bench-token
SizeOfFile = {package}
"""


def make_web_stub(args, server: HttpServer, package: Path) -> Path:
    out = args.work / f"web-{package.stem}.exe"
    project = args.work / f"web-{package.stem}.ini"
    project.write_text(WEB_PROJECT.format(stub=args.stub, out=out, folder=server.url("/bench"),
                                          name=package.name, package=package))
    subprocess.run([str(args.pack), "build", str(project), "--seed", "1"], check=True,
                   stdout=subprocess.DEVNULL)
    return out


def run_stub(args, stub: Path, viewer: Viewer) -> tuple[float | None, float | None]:
    before = viewer.size()
    env = dict(os.environ, VARNIX_CMDLINE=f'"{to_windows(stub)}" /hide',
               VARNIX_TIMEOUT_MS=str(int(args.limit * 1000)))
    watcher = PeakWatcher(stub.name)
    process = subprocess.Popen(["wine", str(args.launcher)], env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    watch(process, watcher, args.limit + 30)
    match = DOWNLOAD.search(viewer.text_since(before))
    if match is None:
        print(f"  stub: no DownloadTime line in its debug text ({stub.name})", file=sys.stderr)
        return None, watcher.peak_mb
    return float(match.group(1)), watcher.peak_mb


def run_curl(url: str, out: Path) -> float:
    result = subprocess.run(["curl", "-s", "-o", str(out), "-w", "%{time_total}", url], check=True,
                            capture_output=True, text=True)
    out.unlink(missing_ok=True)
    return float(result.stdout) * 1000


def main() -> int:
    parser = argparse.ArgumentParser()
    for name in ("work", "stub", "pack", "launcher", "viewer"):
        parser.add_argument(f"--{name}", type=Path, required=True)
    parser.add_argument("--package", type=Path, action="append", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--limit", type=float, default=600)
    args = parser.parse_args()

    viewer = Viewer(args.viewer, args.work)
    rows = []
    try:
        with HttpServer() as server:
            for package in args.package:
                server.add_file(f"/bench/{package.name}", package)
                stub = make_web_stub(args, server, package)
                url = server.url(f"/bench/{package.name}")
                stub_ms, curl_ms, peaks = [], [], []
                for run in range(args.runs):
                    ms, peak = run_stub(args, stub, viewer)
                    if ms is not None:
                        stub_ms.append(ms)
                    if peak is not None:
                        peaks.append(peak)
                    curl_ms.append(run_curl(url, args.work / "curl.out"))
                    print(f"bench: {package.name} run {run + 1}/{args.runs}: stub {ms} ms, curl {curl_ms[-1]:.0f} ms",
                          file=sys.stderr)
                rows.append((package, stub_ms, curl_ms, peaks))
    finally:
        viewer.stop()

    print(f"Download benchmark: median of {args.runs} runs from a loopback server")
    print(f"{'file':<28}{'size MB':>9}{'stub ms':>10}{'curl ms':>10}{'stub MB/s':>11}{'curl MB/s':>11}"
          f"{'ratio':>8}{'stub peak MB':>14}")
    for package, stub_ms, curl_ms, peaks in rows:
        size_mb = package.stat().st_size / 1048576
        s, c = median(stub_ms), median(curl_ms)
        ratio = (c / s) if s and c else None
        print(f"{package.name:<28}{size_mb:>9.1f}{s or 0:>10.0f}{c or 0:>10.0f}"
              f"{(size_mb / s * 1000) if s else 0:>11.1f}{(size_mb / c * 1000) if c else 0:>11.1f}"
              f"{ratio or 0:>8.2f}{max(peaks) if peaks else 0:>14.1f}")
    print("Target: stub rate at least 0.7 x curl's; the stub's peak working set the same for both files")
    return 0


if __name__ == "__main__":
    sys.exit(main())
