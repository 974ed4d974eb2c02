"""What the benchmarks share: Windows paths, the debug viewer that receives
the stub's timing lines, the peak working set of a Windows program under
Wine (see bench.py for how it is read), and the median."""

from __future__ import annotations

import os
import re
import statistics
import subprocess
import time
from pathlib import Path

ANSI = "cp1252"


def to_windows(path: Path) -> str:
    return "Z:" + str(path.resolve()).replace("/", "\\")


class PeakWatcher:
    """Finds the Linux process of a Windows program of this prefix by the
    name Wine gives it and keeps its largest VmHWM."""

    def __init__(self, exe_name: str) -> None:
        # Wine names the process after the program file; the kernel keeps 15 bytes.
        self.comm = exe_name[:15]
        self.prefix = os.environ.get("WINEPREFIX", "")
        self.pid: int | None = None
        self.peak_kb = 0
        self.seen = set()

    def _ours(self, pid: int) -> bool:
        try:
            environ = Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
        except OSError:
            return False
        return f"WINEPREFIX={self.prefix}".encode() in environ

    def _find(self) -> None:
        for entry in os.scandir("/proc"):
            if not entry.name.isdigit():
                continue
            pid = int(entry.name)
            if pid in self.seen:
                continue
            try:
                comm = Path(f"/proc/{pid}/comm").read_text().strip()
            except OSError:
                continue
            if comm == self.comm:
                self.seen.add(pid)
                if self._ours(pid):
                    self.pid = pid
                    return

    def poll(self) -> None:
        if self.pid is None:
            self._find()
            if self.pid is None:
                return
        try:
            status = Path(f"/proc/{self.pid}/status").read_text()
        except OSError:
            return
        match = re.search(r"^VmHWM:\s*(\d+)\s*kB", status, re.M)
        if match:
            self.peak_kb = max(self.peak_kb, int(match.group(1)))

    @property
    def peak_mb(self) -> float | None:
        return self.peak_kb / 1024 if self.peak_kb else None


def watch(process: subprocess.Popen, watcher: PeakWatcher, limit: float) -> None:
    deadline = time.monotonic() + limit
    while process.poll() is None:
        watcher.poll()
        if time.monotonic() > deadline:
            process.kill()
            process.wait()
            raise RuntimeError(f"{process.args} did not end within {limit:.0f} s")
        time.sleep(0.01 if watcher.pid is None else 0.02)


class Viewer:
    """The debug viewer, receiving the stub's trace text into a log file."""

    def __init__(self, exe: Path, folder: Path) -> None:
        self.log = folder / "vdebug.log"
        ready = folder / "vdebug.ready"
        self.log.unlink(missing_ok=True)
        ready.unlink(missing_ok=True)
        self.process = subprocess.Popen(
            ["wine", str(exe), f"/log={to_windows(self.log)}", f"/ready={to_windows(ready)}"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 30
        while not ready.exists():
            if self.process.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the debug viewer did not start")
            time.sleep(0.05)

    def size(self) -> int:
        return self.log.stat().st_size if self.log.exists() else 0

    def text_since(self, offset: int) -> str:
        if not self.log.exists():
            return ""
        with open(self.log, "rb") as f:
            f.seek(offset)
            return f.read().decode(ANSI, errors="replace")

    def stop(self) -> None:
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()


def median(values: list[float] | None) -> float | None:
    return statistics.median(values) if values else None


# --- the result tables ------------------------------------------------------
def table_line(label: str, cells, width: int, column: int) -> str:
    """One row of a result table: the label, then a fixed-width cell per column."""
    return label.ljust(width) + "".join(cell.ljust(column) for cell in cells)


def peak_cell(peaks) -> str:
    return f"{max(peaks):7.1f} MB (max of {len(peaks)})" if peaks else "n/a"


def seconds_cell(milliseconds) -> str:
    return f"{milliseconds / 1000:7.1f} s" if milliseconds is not None else "n/a"
