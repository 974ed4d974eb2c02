"""Drives the Windows programs under Wine from pytest, from the outside.

Everything here acts as a user or another process would: it starts programs
through `wine`, reads files they write, and talks to windows only through the
helper programs in tools/test-helpers. Nothing reaches into the product.

The Wine environment (prefix, Xvfb, persistent wineserver) comes from
tests/lib/wine-env.sh. test.sh brings it up and exports it; when pytest runs on
its own, `WineSession` brings up a private one for the session. Parallel
workers (pytest-xdist) each bring up their own, whatever is exported, so no
two tests ever share a prefix, a wineserver or a display.
"""

from __future__ import annotations

import contextlib
import getpass
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass
from pathlib import Path, PureWindowsPath
from typing import Mapping, NamedTuple

REPO = Path(__file__).resolve().parents[2]
WINE_ENV_SH = REPO / "tests" / "lib" / "wine-env.sh"

# The variables varnix_wine_up exports; a session that finds all of the first
# three set uses that environment instead of making its own.
_ENV_MARKERS = ("VARNIX_WINE_DIR", "WINEPREFIX", "DISPLAY")
WINE_ENV_EXPORTS = _ENV_MARKERS + (
    "WINEARCH", "WINEDEBUG", "VARNIX_XVFB_PID", "no_proxy", "NO_PROXY")
_PROXY_VARS = ("http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY")

# Text that Windows programs read and write: the ANSI code page of the prefix.
ANSI = "cp1252"


class HarnessError(RuntimeError):
    """The harness could not do its part (as opposed to a product fault)."""


def _path_from_env(name: str, default: Path) -> Path:
    value = os.environ.get(name)
    return Path(value) if value else default


@dataclass(frozen=True)
class Artefacts:
    """Paths of the built programs. Each can be overridden by its variable:
    VARNIX_STUB, VARNIX_VIEWER, VARNIX_LAUNCHER, VARNIX_WINDOW_HOLDER,
    VARNIX_DEBUG_SEND, VARNIX_PACK, VARNIX_UI_DRIVER, VARNIX_BOX_HOST,
    VARNIX_FAKE_ENGINE, VARNIX_DEMO_ENGINE; or the tree roots VARNIX_SHIP_BUILD
    (default build/ship: the stub as shipped), VARNIX_WIN_BUILD (default
    build/win: the test programs) and VARNIX_HOST_BUILD (default build/host)."""

    stub: Path
    viewer: Path
    launcher: Path
    window_holder: Path
    debug_send: Path
    pack: Path
    ui_driver: Path | None = None
    box_host: Path | None = None
    fake_engine: Path | None = None
    demo_engine: Path | None = None

    @classmethod
    def from_env(cls) -> "Artefacts":
        ship = _path_from_env("VARNIX_SHIP_BUILD", REPO / "build" / "ship")
        win = _path_from_env("VARNIX_WIN_BUILD", REPO / "build" / "win")
        host = _path_from_env("VARNIX_HOST_BUILD", REPO / "build" / "host")
        helpers = win / "tools" / "test-helpers"
        return cls(
            stub=_path_from_env("VARNIX_STUB", ship / "src" / "varnix-stub.exe"),
            viewer=_path_from_env(
                "VARNIX_VIEWER", win / "tools" / "vdebug-viewer" / "vdebug-viewer.exe"),
            launcher=_path_from_env("VARNIX_LAUNCHER", helpers / "launcher.exe"),
            window_holder=_path_from_env("VARNIX_WINDOW_HOLDER", helpers / "window-holder.exe"),
            debug_send=_path_from_env("VARNIX_DEBUG_SEND", helpers / "debug-send.exe"),
            pack=_path_from_env("VARNIX_PACK", host / "tools" / "pack" / "varnix-pack"),
            ui_driver=_path_from_env("VARNIX_UI_DRIVER", helpers / "ui-driver.exe"),
            box_host=_path_from_env("VARNIX_BOX_HOST", helpers / "box-host.exe"),
            fake_engine=_path_from_env("VARNIX_FAKE_ENGINE", helpers / "fake-engine.exe"),
            demo_engine=_path_from_env(
                "VARNIX_DEMO_ENGINE", win / "tools" / "demo-engine" / "demo-engine.exe"),
        )


def require(path: Path) -> Path:
    """Returns the path, or fails loudly when the program was not built."""
    if not Path(path).is_file():
        raise HarnessError(f"{path} is missing: build it first (./test.sh e2e builds everything)")
    return Path(path)


def to_windows_path(path: os.PathLike | str) -> str:
    """A Unix path as the Windows programs see it: Z: is the Unix root."""
    return "Z:" + os.path.abspath(os.fspath(path)).replace("/", "\\")


def _resolve_ignoring_case(root: Path, parts: tuple[str, ...]) -> Path:
    # Windows names ignore case; find the entry that Wine would open.
    current = root
    for part in parts:
        exact = current / part
        if exact.exists() or not current.is_dir():
            current = exact
            continue
        lowered = part.lower()
        match = next((p for p in current.iterdir() if p.name.lower() == lowered), None)
        current = match if match is not None else exact
    return current


def from_windows_path(path: str) -> Path:
    """The Unix path of a C: or Z: path in the current prefix, e.g.
    from_windows_path(r"C:\\users\\root\\Temp") for the programs' temp folder."""
    win = PureWindowsPath(path)
    drive = win.drive.upper()
    parts = win.parts[1:]
    if drive == "Z:":
        return _resolve_ignoring_case(Path("/"), parts)
    if drive == "C:":
        return _resolve_ignoring_case(Path(os.environ["WINEPREFIX"]) / "drive_c", parts)
    raise ValueError(f"no Unix path for {path!r}: only C: and Z: are mapped")


def wait_for(predicate, timeout: float, what: str, interval: float = 0.05):
    """Polls until predicate() returns something true and returns it."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise TimeoutError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


def _wait_for_ready_file(path: Path, process: subprocess.Popen, timeout: float, what: str) -> str:
    def ready():
        if path.exists():
            return path.read_text(encoding=ANSI) or True
        if process.poll() is not None:
            raise HarnessError(f"{what} ended with status {process.returncode} before it was ready")
        return None

    text = wait_for(ready, timeout, f"{what} to be ready")
    return text if isinstance(text, str) else ""


def _stop_process(process: subprocess.Popen, grace: float = 0.0) -> None:
    if process.poll() is None and grace > 0:
        with contextlib.suppress(subprocess.TimeoutExpired):
            process.wait(grace)
    if process.poll() is None:
        process.send_signal(signal.SIGKILL)
    process.wait()


class WineSession:
    """Uses the Wine environment exported by test.sh, or brings up a private
    one (removed again by stop()) when there is none. With `folder` it always
    brings up its own there, as each parallel worker does."""

    def __init__(self, folder: Path | None = None, arch: str | None = None) -> None:
        self.folder = folder
        self.arch = arch  # "win64" for a 64-bit prefix; the default is 32-bit
        self.owned_dir: Path | None = None

    @staticmethod
    def is_up() -> bool:
        return all(os.environ.get(name) for name in _ENV_MARKERS)

    def start(self) -> None:
        if self.folder is None and self.is_up():
            return
        if self.folder is not None:
            self.folder.mkdir(parents=True, exist_ok=True)
            self.owned_dir = self.folder
        else:
            self.owned_dir = Path(tempfile.mkdtemp(prefix="varnix-wine-"))
        script = 'set -e; source "$1"; varnix_wine_up "$2" >&2; env -0'
        env = dict(os.environ, VARNIX_WINE_ARCH=self.arch) if self.arch else None
        result = subprocess.run(
            ["bash", "-c", script, "bash", str(WINE_ENV_SH), str(self.owned_dir)],
            stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, check=False, env=env)
        if result.returncode != 0:
            shutil.rmtree(self.owned_dir, ignore_errors=True)
            self.owned_dir = None
            raise HarnessError("could not bring up the Wine environment (tests/lib/wine-env.sh)")
        exported = dict(item.split("=", 1) for item in
                        result.stdout.decode(errors="replace").split("\0") if "=" in item)
        for name in _PROXY_VARS:
            os.environ.pop(name, None)
        for name in WINE_ENV_EXPORTS:
            if name in exported:
                os.environ[name] = exported[name]

    def stop(self) -> None:
        if self.owned_dir is None:
            return
        subprocess.run(["bash", "-c", 'source "$1"; varnix_wine_down', "bash", str(WINE_ENV_SH)],
                       stdin=subprocess.DEVNULL, check=False)
        shutil.rmtree(self.owned_dir, ignore_errors=True)
        for name in WINE_ENV_EXPORTS:
            os.environ.pop(name, None)
        self.owned_dir = None


def restart_wineserver() -> None:
    """Ends every Windows program of the prefix and starts a fresh persistent
    server, e.g. after a change of drive mappings. Global atoms are lost."""
    subprocess.run(["bash", "-c", 'source "$1"; wineserver -k; wineserver -w; '
                    'wineserver -p >/dev/null 2>&1 </dev/null; varnix_wine_warm_up',
                    "bash", str(WINE_ENV_SH)], stdin=subprocess.DEVNULL, check=True)


def wine_command(exe: os.PathLike | str, *args: str) -> list[str]:
    return ["wine", os.fspath(exe), *args]


class WindowsRun(NamedTuple):
    exit_code: int  # all 32 bits, as GetExitCodeProcess gives them
    stdout: str  # the launcher's output (and whatever the child printed)


class WindowsTimeout(AssertionError):
    """The program did not end in time; the launcher has terminated it."""


_EXITCODE = re.compile(r"^EXITCODE=(\d+)\s*$", re.MULTILINE)
_LAUNCH_FAILED = re.compile(r"^LAUNCH_FAILED=(\d+)\s*$", re.MULTILINE)
_TIMED_OUT = re.compile(r"^TIMEOUT=(\d+)\s*$", re.MULTILINE)


class WindowsProcess:
    """A program started through launcher.exe. Its output goes to files, not
    pipes: a program that leaves a process behind (a self-deleting batch, an
    agent copy) would otherwise keep a pipe open and hang the reader."""

    def __init__(self, launcher: Path, cmdline: str, cwd: os.PathLike | str | None = None,
                 env: Mapping[str, str] | None = None, show: int | None = None,
                 timeout: float = 60) -> None:
        self.cmdline = cmdline
        self.timeout = timeout
        full_env = dict(os.environ)
        full_env.update(env or {})
        full_env["VARNIX_CMDLINE"] = cmdline
        full_env["VARNIX_TIMEOUT_MS"] = str(int(timeout * 1000))
        if cwd is not None:
            # A Windows path stays as given; a Unix path is translated.
            is_windows = isinstance(cwd, str) and PureWindowsPath(cwd).drive
            full_env["VARNIX_CWD"] = cwd if is_windows else to_windows_path(cwd)
        if show is not None:
            full_env["VARNIX_SHOW"] = str(show)
        self._stdout = tempfile.TemporaryFile()
        self._stderr = tempfile.TemporaryFile()
        self._process = subprocess.Popen(
            wine_command(require(launcher)), env=full_env, stdin=subprocess.DEVNULL,
            stdout=self._stdout, stderr=self._stderr)

    def running(self) -> bool:
        return self._process.poll() is None

    def _read(self, stream) -> str:
        stream.seek(0)
        return stream.read().decode(ANSI, errors="replace")

    @property
    def stderr(self) -> str:
        return self._read(self._stderr)

    def wait(self) -> WindowsRun:
        """Waits for the program; raises WindowsTimeout when it ran too long."""
        try:
            # The launcher enforces the limit itself; this is only a backstop.
            self._process.wait(self.timeout + 15)
        except subprocess.TimeoutExpired:
            _stop_process(self._process)
        out = self._read(self._stdout)
        if _TIMED_OUT.search(out) or self._process.returncode == -signal.SIGKILL:
            raise WindowsTimeout(f"{self.cmdline!r} still ran after {self.timeout} s\n{out}")
        failed = _LAUNCH_FAILED.search(out)
        if failed:
            raise HarnessError(f"cannot start {self.cmdline!r}: error {failed.group(1)}")
        codes = _EXITCODE.findall(out)
        if not codes:
            raise HarnessError(
                f"launcher gave no exit code for {self.cmdline!r} (status "
                f"{self._process.returncode})\nstdout: {out}\nstderr: {self.stderr}")
        return WindowsRun(int(codes[-1]), out)

    def kill(self) -> None:
        """Stops the launcher only; the child it started keeps running."""
        _stop_process(self._process)


class DebugViewer:
    """A running vdebug-viewer.exe whose log and piece lengths go to files."""

    def __init__(self, exe: Path, folder: Path, timeout: float = 30) -> None:
        folder.mkdir(parents=True, exist_ok=True)
        self.log_path = folder / "vdebug.log"
        self.pieces_path = folder / "vdebug.pieces"
        ready = folder / "vdebug.ready"
        self._process = subprocess.Popen(
            wine_command(require(exe), f"/log={to_windows_path(self.log_path)}",
                         f"/pieces={to_windows_path(self.pieces_path)}",
                         f"/ready={to_windows_path(ready)}"),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.hwnd = int(_wait_for_ready_file(ready, self._process, timeout, "vdebug-viewer"))
        except BaseException:
            self.stop()
            raise

    def raw(self) -> bytes:
        """Every byte received so far, in order."""
        return self.log_path.read_bytes() if self.log_path.exists() else b""

    def text(self) -> str:
        return self.raw().decode(ANSI, errors="replace")

    def pieces(self) -> list[int]:
        """The length of every piece received so far, in order."""
        if not self.pieces_path.exists():
            return []
        return [int(line) for line in self.pieces_path.read_text().split()]

    def wait_for_text(self, needle: str, timeout: float = 15) -> str:
        """Waits until the received text contains needle; returns the whole text."""
        try:
            return wait_for(lambda: self.text() if needle in self.text() else None, timeout,
                            f"{needle!r} in the debug viewer")
        except TimeoutError as error:
            raise TimeoutError(f"{error}; it has: {self.text()[-600:]!r}") from None

    def stop(self) -> None:
        _stop_process(self._process)


class WindowHolder:
    """A running window-holder.exe: a hidden top-level window of a class."""

    def __init__(self, exe: Path, folder: Path, classname: str, title: str | None = None,
                 timeout: float = 30) -> None:
        folder.mkdir(parents=True, exist_ok=True)
        self.classname = classname
        ready = folder / "ready"
        self.until_path = folder / "until"
        self.message_log_path = folder / "messages"
        args = [classname, f"/ready={to_windows_path(ready)}",
                f"/until={to_windows_path(self.until_path)}",
                f"/msglog={to_windows_path(self.message_log_path)}"]
        if title is not None:
            args.append(f"/title={title}")
        self._process = subprocess.Popen(
            wine_command(require(exe), *args),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.hwnd = int(_wait_for_ready_file(ready, self._process, timeout, "window-holder"))
        except BaseException:
            self._process.kill()
            self._process.wait()
            raise

    def messages(self) -> list[tuple[int, int, int]]:
        """(message, wParam, lParam) of every message >= WM_USER the window got."""
        if not self.message_log_path.exists():
            return []
        lines = self.message_log_path.read_text().splitlines()
        return [tuple(int(v) for v in line.split()) for line in lines if line.strip()]

    def running(self) -> bool:
        return self._process.poll() is None

    def close(self, timeout: float = 10) -> None:
        self.until_path.touch()
        _stop_process(self._process, grace=timeout)


def screenshots_requested() -> bool:
    """Whether screenshots for people to look at are wanted in this run
    (VARNIX_SCREENSHOTS=1); a test that asserts on one takes it anyway."""
    return os.environ.get("VARNIX_SCREENSHOTS", "") not in ("", "0")


def screenshot(path: os.PathLike | str) -> Path:
    """Saves a PNG of the whole Xvfb screen."""
    path = Path(path)
    if shutil.which("import"):
        result = subprocess.run(["import", "-window", "root", str(path)],
                                stdin=subprocess.DEVNULL, capture_output=True, check=False)
        if result.returncode == 0:
            return path
    xwd = subprocess.run(["xwd", "-root", "-silent"], stdin=subprocess.DEVNULL,
                         capture_output=True, check=True).stdout
    subprocess.run(["convert", "xwd:-", str(path)], input=xwd, capture_output=True, check=True)
    return path


def pack(pack_tool: Path, stub: Path, project_text: str | bytes,
         files: Mapping[str, bytes | str], out: os.PathLike | str,
         seed: int | None = 1) -> subprocess.CompletedProcess:
    """Builds a package with the authoring tool (tools/pack/README.md).

    Writes `files` (relative name -> content; "/" makes sub-folders) into a
    folder "files" beside a project file "project.ini" whose text is
    project_text verbatim, except that "{FILES}" and "{OUT}" stand for the
    paths of that folder and of the output. Relative paths in a project are
    resolved against its folder, so "Files=files" names the written files.
    The project folder is OUT's name plus ".project", beside OUT.
    Runs `varnix-pack build project.ini --stub STUB --out OUT [--seed N]`; a
    fixed seed keeps the scrambled token the same from run to run (None: the
    tool's random one). Returns the finished run (its stdout lists the files
    written); raises HarnessError when the tool fails.
    """
    out = Path(out)
    project_dir = out.parent / (out.name + ".project")
    files_dir = project_dir / "files"
    files_dir.mkdir(parents=True, exist_ok=True)
    for name, content in files.items():
        target = files_dir / name
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(content if isinstance(content, bytes) else content.encode(ANSI))
    if isinstance(project_text, str):
        project_text = (project_text.replace("{FILES}", str(files_dir))
                        .replace("{OUT}", str(out)).encode(ANSI))
    project = project_dir / "project.ini"
    project.write_bytes(project_text)
    command = [str(require(pack_tool)), "build", str(project),
               "--stub", str(require(stub)), "--out", str(out)]
    if seed is not None:
        command += ["--seed", str(seed)]
    result = subprocess.run(command, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                            check=False)
    if result.returncode != 0:
        raise HarnessError(f"varnix-pack failed ({result.returncode}):\n"
                           f"{result.stdout}{result.stderr}")
    return result


class Control(NamedTuple):
    """A child window as ui-driver saw it; rect in the parent's client area."""
    hwnd: int
    class_name: str
    text: str
    rect: tuple[int, int, int, int]
    style: int
    exstyle: int
    user_data: int
    visible: bool
    focused: bool
    default: bool
    bold: list[tuple[int, int]] | str | None  # rich-edit only; a text says why it is unknown
    progress: tuple[int, int, int] | None = None  # progress bars only: low, high, position

    @property
    def x(self) -> int:
        return self.rect[0]

    @property
    def y(self) -> int:
        return self.rect[1]

    @property
    def width(self) -> int:
        return self.rect[2] - self.rect[0]

    @property
    def height(self) -> int:
        return self.rect[3] - self.rect[1]


class WindowView:
    """A top-level window as ui-driver described it (see UiDriver.cpp)."""

    def __init__(self, data: dict) -> None:
        self.data = data
        self.caption: str = data["caption"]
        self.class_name: str = data["class"]
        self.style: int = data["style"]
        self.exstyle: int = data["exstyle"]
        self.window_rect = tuple(data["window_rect"])
        self.client_rect = tuple(data["client_rect"])
        self.work_area = tuple(data["work_area"])
        # None: the window menu cannot be read from another process (Wine).
        self.close_greyed: bool | None = data["close_greyed"]
        self.owner: int = data["owner"]
        self.owner_enabled: bool | None = data["owner_enabled"]
        self.controls = [Control(
            c["hwnd"], c["class"], c["text"], tuple(c["rect"]), c["style"], c["exstyle"],
            c["user_data"], c["visible"], c["focused"], c["default"],
            [tuple(r) for r in c["bold"]] if isinstance(c.get("bold"), list) else c.get("bold"),
            tuple(c["progress"]) if "progress" in c else None)
            for c in data["children"]]

    @property
    def width(self) -> int:
        return self.window_rect[2] - self.window_rect[0]

    @property
    def height(self) -> int:
        return self.window_rect[3] - self.window_rect[1]

    @property
    def client_size(self) -> tuple[int, int]:
        return self.client_rect[2] - self.client_rect[0], self.client_rect[3] - self.client_rect[1]

    @property
    def buttons(self) -> list[Control]:
        """Visible buttons from left to right."""
        return sorted((c for c in self.controls if c.class_name.lower() == "button" and c.visible),
                      key=lambda c: c.x)

    @property
    def rich_edit(self) -> Control:
        found = [c for c in self.controls if c.class_name.upper().startswith("RICHEDIT")]
        if len(found) != 1:
            raise AssertionError(f"expected one rich-edit control, found {len(found)}: {self.data}")
        return found[0]

    @property
    def focused(self) -> Control | None:
        return next((c for c in self.controls if c.focused), None)


class UiDriverRun(NamedTuple):
    window: WindowView | None  # None: gone before it could be described
    steps: list[tuple[str, WindowView | None]]  # the window after each step but the last
    gone_ms: int | None  # after the last step; None: still there at the end
    gone_at_ms: int | None  # since the driver started
    found_ms: int
    step_failed: bool
    exit_code: int  # low byte only, as Linux sees it
    results: tuple[int, ...] = ()  # the answers to "send:" steps, in order


class UiDriver:
    """A running ui-driver.exe that waits for a visible top-level window of a
    class, describes it, then does `actions` ("click:N", "key:NAME",
    "char:C", "closebutton", "close", "wmclose", "send:MSG:W:L", "size:W:H",
    "quit:N", "none") in
    order; the answers to "send:" steps come back in UiDriverRun.results.

    Start it before the program that shows the window. With pause=True it
    holds still after describing the window until proceed() is called, so a
    test can take a screenshot of the untouched window."""

    def __init__(self, exe: Path, folder: Path, classname: str,
                 actions: tuple[str, ...] | list[str] = ("none",), pause: bool = False,
                 wait: float = 30, gone: float = 30, hidden: bool = False) -> None:
        if any("," in action for action in actions):
            raise ValueError(f"an action may not contain a comma: {actions!r}")
        folder.mkdir(parents=True, exist_ok=True)
        self.out_path = folder / "window.json"
        self._pause_path = folder / "proceed" if pause else None
        self._give_up_path = folder / "give-up"
        self._limit = wait + gone + 15
        args = [classname, f"/out={to_windows_path(self.out_path)}",
                f"/wait={int(wait * 1000)}", f"/until={to_windows_path(self._give_up_path)}",
                f"/gone={int(gone * 1000)}", "/action=" + ",".join(actions)]
        if self._pause_path is not None:
            args.append(f"/pause={to_windows_path(self._pause_path)}")
        if hidden:
            args.append("/hidden")  # a hidden window counts too
        self._stdout = tempfile.TemporaryFile()
        self._process = subprocess.Popen(
            wine_command(require(exe), *args), stdin=subprocess.DEVNULL,
            stdout=self._stdout, stderr=subprocess.STDOUT)

    def output(self) -> str:
        self._stdout.seek(0)
        return self._stdout.read().decode(ANSI, errors="replace")

    def window(self, timeout: float = 40) -> WindowView | None:
        """The first description, as soon as it is written."""
        def ready():
            if self.out_path.exists():
                return json.loads(self.out_path.read_text(encoding="ascii"))
            if self._process.poll() is not None:
                raise HarnessError(f"ui-driver ended ({self._process.returncode}) without "
                                   f"describing a window: {self.output()}")
            return None

        data = wait_for(ready, timeout, "ui-driver to describe the window")
        return WindowView(data["window"]) if data["window"] else None

    def proceed(self) -> None:
        if self._pause_path is not None:
            self._pause_path.touch()

    def give_up(self) -> None:
        """Tells the driver to stop waiting for the window after one more
        look; a window it has found by then is still described and acted on."""
        self._give_up_path.touch()

    def running(self) -> bool:
        return self._process.poll() is None

    @property
    def returncode(self) -> int | None:
        return self._process.poll()

    def finish(self) -> UiDriverRun:
        """Waits until the driver has done its steps and seen the window go
        (or given up); raises HarnessError when no window ever appeared."""
        self.proceed()
        try:
            self._process.wait(self._limit)
        except subprocess.TimeoutExpired:
            _stop_process(self._process)
            raise HarnessError(f"ui-driver hung: {self.output()}") from None
        if not self.out_path.exists():
            raise HarnessError(f"ui-driver found no window ({self._process.returncode}): "
                               f"{self.output()}")
        data = json.loads(self.out_path.read_text(encoding="ascii"))
        if "steps" not in data:
            raise HarnessError(f"ui-driver stopped half-way ({self._process.returncode}): "
                               f"{self.output()}")
        view = WindowView(data["window"]) if data["window"] else None
        steps = [(s["action"], WindowView(s["window"]) if s["window"] else None)
                 for s in data["steps"]]
        return UiDriverRun(view, steps, data["gone_ms"], data["gone_at_ms"], data["found_ms"],
                           data["step_failed"], self._process.returncode,
                           tuple(data.get("results", ())))

    def stop(self) -> None:
        _stop_process(self._process)


def _check_switch_value(name: str, value: str) -> str:
    # The product's switch rules: a blank followed by "/" starts the next
    # switch, double quotes vanish and blanks before "=" are dropped, so such
    # values would not arrive as written.
    if " /" in value or '"' in value or " =" in value:
        raise ValueError(f"/{name}= cannot carry {value!r} (no ' /', ' =' or '\"')")
    return value


class BoxHost:
    """A running box-host.exe (started through the launcher, so its command
    line arrives exactly as written) that shows one message box. Switches are
    the program's own (see BoxHost.cpp): kind, owner, text, caption, buttons,
    charset, timeout, style, package, textkey, captionkey, buttonskey, font,
    fontsize, fontcharset; True gives a bare switch such as /nomain. `limit`
    is the launcher's time limit in seconds (not the box's /timeout)."""

    def __init__(self, launcher: Path, exe: Path, folder: Path, kind: str,
                 env: Mapping[str, str] | None = None, limit: float = 60,
                 **switches: str | int | bool) -> None:
        folder.mkdir(parents=True, exist_ok=True)
        self.result_path = folder / "result.json"
        parts = [f'"{to_windows_path(require(exe))}"', f"/kind={kind}"]
        for name, value in switches.items():
            if value is True:
                parts.append(f"/{name}")
            elif value is not None and value is not False:
                parts.append(f"/{name}={_check_switch_value(name, str(value))}")
        parts.append(f"/result={to_windows_path(self.result_path)}")
        self.process = WindowsProcess(launcher, " ".join(parts), env=env, timeout=limit)

    def wait(self) -> dict:
        """The result file; its "exit_code" is box-host's full exit code."""
        run = self.process.wait()
        if not self.result_path.exists():
            raise HarnessError(f"box-host wrote no result (exit code {run.exit_code}):\n"
                               f"{run.stdout}{self.process.stderr}")
        result = json.loads(self.result_path.read_text(encoding="ascii"))
        result["exit_code"] = run.exit_code
        return result


class BoxRun(NamedTuple):
    """One message box shown by box-host and watched by ui-driver."""
    window: WindowView  # the box as first seen, before any step
    driver: UiDriverRun
    result: dict  # box-host's result file, with its "exit_code"


def close_windows(driver_exe: Path, folder: Path, classname: str) -> None:
    """Sends WM_CLOSE to a window of the class if one is up (clean-up)."""
    with contextlib.suppress(HarnessError, TimeoutError):
        UiDriver(driver_exe, folder, classname, ("wmclose",), wait=1, gone=5).finish()


def windows_temp_folder() -> str:
    """The temporary folder of the prefix's programs (GetTempPath without
    the closing backslash): Wine's user is the Unix user."""
    return rf"C:\users\{getpass.getuser()}\Temp"


def _view_args(view: str | None) -> list[str]:
    # `wine reg` is a 32-bit program: on a 64-bit prefix it sees the 32-bit
    # view unless told "64" ("32" and "64" are accepted on a 32-bit prefix,
    # which has one view).
    return [f"/reg:{view}"] if view else []


def set_registry_value(key: str, name: str, value: str, view: str | None = None) -> None:
    """A REG_SZ value, e.g. set_registry_value(r"HKCU\\Software\\X", "Name", "1")."""
    subprocess.run(["wine", "reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f",
                    *_view_args(view)], stdin=subprocess.DEVNULL, capture_output=True, check=True)


def registry_value_of(key: str, name: str, view: str | None = None) -> str | None:
    """A REG_SZ value as `reg query` shows it ("" when empty); None when it is
    not there."""
    result = subprocess.run(["wine", "reg", "query", key, "/v", name, *_view_args(view)],
                            stdin=subprocess.DEVNULL, capture_output=True, check=False)
    for line in result.stdout.decode(ANSI, errors="replace").splitlines():
        parts = line.strip().split(None, 2)
        if len(parts) >= 2 and parts[0].lower() == name.lower() and parts[1] == "REG_SZ":
            return parts[2] if len(parts) == 3 else ""
    return None


def delete_registry_value(key: str, name: str, view: str | None = None) -> None:
    """Removes the value if it is there."""
    subprocess.run(["wine", "reg", "delete", key, "/v", name, "/f", *_view_args(view)],
                   stdin=subprocess.DEVNULL, capture_output=True, check=False)


class FakeEngine:
    """fake-engine.exe as the setup engine of a package: `program` is its
    image (pack it under the launch name), `env(...)` the environment that a
    stub run hands on to it (see FakeEngine.cpp), and the record file tells
    what every engine started with that environment got."""

    # Far beyond any test's look at a held engine; only a broken test waits it out.
    HOLD_LIMIT_MS = 120_000

    def __init__(self, exe: Path, folder: Path) -> None:
        folder.mkdir(parents=True, exist_ok=True)
        self.exe = require(exe)
        self.record_path = folder / "engine-record.txt"
        self.release_path = folder / "release"

    @property
    def program(self) -> bytes:
        return self.exe.read_bytes()

    def env(self, exit_code: int = 0, atom: str = "delete", wait_ms: int = 0,
            dialog_ms: int = 0, hold_engine: bool = False,
            hold_dialog: bool = False) -> dict[str, str]:
        """hold_engine: the engine stays after recording until release();
        hold_dialog: it leaves an engine dialog up until release(). Both end
        by themselves after HOLD_LIMIT_MS, so a test that never releases
        cannot hang. wait_ms and dialog_ms are fixed times instead (or the
        upper bounds of a hold)."""
        if hold_engine:
            wait_ms = wait_ms or self.HOLD_LIMIT_MS
        if hold_dialog:
            dialog_ms = dialog_ms or self.HOLD_LIMIT_MS
        return {
            "VARNIX_ENGINE_RECORD": to_windows_path(self.record_path),
            "VARNIX_ENGINE_EXIT": str(exit_code),
            "VARNIX_ENGINE_ATOM": atom,
            "VARNIX_ENGINE_WAIT_MS": str(wait_ms),
            "VARNIX_ENGINE_DIALOG_MS": str(dialog_ms),
            "VARNIX_ENGINE_RELEASE": to_windows_path(self.release_path),
            "VARNIX_ENGINE_SHOW_RECORD": "1",
        }

    def release(self) -> None:
        """Lets every held engine and engine dialog of this test end."""
        self.release_path.touch()

    def _lines(self) -> list[dict]:
        if not self.record_path.exists():
            return []
        records = []
        for line in self.record_path.read_bytes().decode(ANSI).splitlines():
            # A writer may be half-way through its line; it is whole next time.
            with contextlib.suppress(json.JSONDecodeError):
                records.append(json.loads(line))
        return records

    def runs(self) -> list[dict]:
        """One dict per engine start, in order."""
        return [r for r in self._lines() if r["kind"] == "engine"]

    def dialog_events(self) -> list[str]:
        """"open" and "closing" of the dialog windows the engines left."""
        return [r["event"] for r in self._lines() if r["kind"] == "dialog"]

    def atom_exists(self, name: str) -> bool:
        """Whether the global atom exists now in the session's wineserver."""
        # Bounded: a crash of the look-up can leave a debugger holding its
        # output open, and the test would then wait for ever.
        try:
            result = subprocess.run(wine_command(self.exe, f"/fake-engine-find-atom={name}"),
                                    stdin=subprocess.DEVNULL, capture_output=True, check=False,
                                    timeout=60)
        except subprocess.TimeoutExpired as error:
            raise HarnessError("fake-engine did not answer the atom look-up in 60 s") from error
        if result.returncode not in (0, 1):
            raise HarnessError(f"fake-engine could not look the atom up ({result.returncode})")
        return result.returncode == 1

    def wait_for_run(self, count: int = 1, timeout: float = 60) -> dict:
        """Waits until `count` engines have recorded; returns the last one."""
        return wait_for(lambda: len(self.runs()) >= count and self.runs()[count - 1], timeout,
                        f"engine start #{count}")

    def wait_for_exit(self, run: dict, timeout: float = 60) -> None:
        """Waits until the engine process of a recorded run has ended (the
        stub started it, so only the wineserver can tell)."""
        result = subprocess.run(
            wine_command(self.exe, f"/fake-engine-wait-exit={run['pid']}",
                         str(int(timeout * 1000))),
            stdin=subprocess.DEVNULL, capture_output=True, check=False, timeout=timeout + 30)
        if result.returncode == 1:
            raise TimeoutError(f"engine {run['pid']} still ran after {timeout} s")
        if result.returncode != 0:
            raise HarnessError(f"fake-engine could not wait for the engine ({result.returncode})")


class WindowWatch:
    """A ui-driver that may or may not find a window of the class while a
    program runs: it answers the window with `actions` if one comes.
    seen() afterwards says whether one came (the window as first described)."""

    # ui-driver's exit code when no window appeared.
    _NOT_FOUND = 3

    def __init__(self, driver: UiDriver) -> None:
        self.driver = driver

    def seen(self, timeout: float = 30) -> WindowView | None:
        """Call once the program that could show the window has ended: a
        window of an ended program cannot come any more, so the driver takes
        one last look and answers at once. A window it has found is waited
        for until it is described."""
        self.driver.give_up()
        out = self.driver.out_path
        wait_for(lambda: out.exists() or not self.driver.running(), timeout,
                 "ui-driver to describe a window or give up")
        if not out.exists():
            if self.driver.returncode != self._NOT_FOUND:
                raise HarnessError(f"ui-driver ended ({self.driver.returncode}) without an "
                                   f"answer: {self.driver.output()}")
            return None
        data = json.loads(out.read_text(encoding="ascii"))
        return WindowView(data["window"]) if data["window"] else None


def run_log_records(path: Path) -> list[str]:
    """The messages of an agent's run log, without time stamp and thread id,
    each with its marker ("   " for the plain agent, " X " for the copy)."""
    records = []
    for line in path.read_bytes().decode(ANSI).split("\r\n")[:-1]:
        match = re.fullmatch(r"\d\d\D\d\d\D\d\d \d\d.\d\d.\d\d [ \d]{5,}(   | X )(.*)", line)
        assert match, f"malformed record {line!r}"
        records.append(match.group(1) + match.group(2))
    return records
