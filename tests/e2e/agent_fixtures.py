"""Fixtures for the tests of the update agent: an installed product folder
with its agent, the server side of an update, agent-ctl.exe to talk to the
running agent, and a host window that collects the agent's notifications.

    agent_ctl      agent_ctl(*args, timeout=60) -> CtlRun(exit_code, lines, values):
                   one run of agent-ctl.exe (tools/test-helpers/AgentCtl.cpp);
                   values holds its "KEY=VALUE" lines, numbers as int
    agent_product  an AgentProduct in the test's work folder: agent.exe packed as
                   an agent for the loopback server, its .original record file,
                   the product's program, builders for the served info file,
                   update setup and inform page (plain or scrambled); every resident agent copy of
                   the folder is stopped when the test ends
    host_window    host_window() context manager -> HostWindow: a window of
                   another process that the agent can be told to notify
                   (switch "/WM_MSG=" or agent-ctl /host=)

Loaded from conftest.py through pytest_plugins.
"""

from __future__ import annotations

import calendar
import contextlib
import itertools
import re
import subprocess
import tempfile
import time
from pathlib import Path
from typing import Mapping, NamedTuple

import pytest

import harness

# The agent's window messages (the host's notifications carry the agent
# message's number as 1125).
WM_USER = 0x400
WM_SHUTDOWN = WM_USER + 99
WM_LOCALMSG = WM_USER + 100
WM_AGENTMSG = WM_USER + 101

# agent-ctl's exit codes.
CTL_DONE, CTL_BAD_COMMAND_LINE, CTL_NO_WINDOW, CTL_TIMED_OUT, CTL_STILL_RUNNING = 0, 2, 3, 4, 5

PRODUCT_TOKEN = "agent-product-token"
INFO_NAME = "Product.info"
ORIGINAL_NAME = "Product.original"  # the info file's name, every extension cut
PROGRAM_NAME = "Product.exe"
UPDATE_NAME = "Setup.exe"
HOST_MESSAGE = WM_USER + 500  # any number the host window does not use itself

# The agent counts local-time seconds from 30 December 1899 00:00.
SECONDS_1899_TO_1970 = 25569 * 86400

AGENT_PROJECT = """
[Package]
Type = agent

[Flags]
WriteRunLog = 1

[Settings]
ServerUrl = {server}/product/
InfoFile = {info}
AgentExe = agent.exe
Token = {token}
"""

UPDATE_PROJECT = """
[Package]
Type = setup
Files = files
Launch = engine.exe

[Settings]
Token = {token}
"""


def agent_seconds(unix_time: float | None = None) -> int:
    """A time as the agent writes it into its records."""
    local = time.localtime(time.time() if unix_time is None else unix_time)
    return calendar.timegm(local) + SECONDS_1899_TO_1970


def ini_text(sections: Mapping[str, Mapping[str, object]]) -> bytes:
    text = ""
    for section, keys in sections.items():
        text += f"[{section}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items())
    return text.encode(harness.ANSI)


def parse_ini(data: bytes) -> dict[str, dict[str, str]]:
    """Sections and keys as written (the agent's files are plain INI files)."""
    sections: dict[str, dict[str, str]] = {}
    current: dict[str, str] | None = None
    for line in data.decode(harness.ANSI).splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            current = sections.setdefault(line[1:-1], {})
        elif current is not None and "=" in line and not line.startswith(";"):
            key, value = line.split("=", 1)
            current[key.strip()] = value.strip()
    return sections


def merged(defaults: Mapping[str, Mapping[str, object]],
           overrides: Mapping[str, Mapping[str, object] | None] | None) -> dict:
    """Each section's keys updated by the override's; a section given as None is left out."""
    result = {name: dict(keys) for name, keys in defaults.items()}
    for name, keys in (overrides or {}).items():
        if keys is None:
            result.pop(name, None)
        else:
            result.setdefault(name, {}).update(keys)
    return result


class CtlRun(NamedTuple):
    exit_code: int
    lines: list[str]
    values: dict[str, int | str]  # "KEY=VALUE" lines, numbers as int


def run_agent_ctl(exe: Path, args, timeout: float = 60) -> CtlRun:
    # Output to a file, not a pipe: a crashed program's debugger could hold a
    # pipe open and the test would wait for ever.
    with tempfile.TemporaryFile() as out:
        try:
            process = subprocess.run(harness.wine_command(exe, *args), stdin=subprocess.DEVNULL,
                                     stdout=out, stderr=subprocess.DEVNULL, timeout=timeout,
                                     check=False)
        except subprocess.TimeoutExpired as error:
            raise harness.HarnessError(f"agent-ctl {args} still ran after {timeout} s") from error
        out.seek(0)
        lines = [line.strip() for line in out.read().decode(harness.ANSI, "replace").splitlines()
                 if line.strip()]
    values: dict[str, int | str] = {}
    for line in lines:
        if "=" in line:
            key, value = line.split("=", 1)
            values[key] = int(value) if re.fullmatch(r"-?\d+", value) else value
    return CtlRun(process.returncode, lines, values)


@pytest.fixture
def agent_ctl(wine_env, artefacts):
    exe = harness.require(artefacts.launcher.parent / "agent-ctl.exe")

    def run(*args: str, timeout: float = 60) -> CtlRun:
        return run_agent_ctl(exe, args, timeout)

    return run


class AgentRun(NamedTuple):
    exit_code: int
    seconds: float  # wall time of the run, Wine's start included
    stdout: str  # the launcher's output


class HostWindow:
    """A window of another process that records every message posted to it;
    the agent's notifications arrive as HOST_MESSAGE (wParam code, lParam value)."""

    def __init__(self, holder: harness.WindowHolder, message: int = HOST_MESSAGE) -> None:
        self.holder = holder
        self.hwnd = holder.hwnd
        self.message = message

    @property
    def switch(self) -> str:
        """The plain agent's switch that registers this window with the resident copy."""
        return f"/WM_MSG={self.hwnd}:{self.message}"

    def messages(self) -> list[tuple[int, int, int]]:
        """Every (message, wParam, lParam) from WM_USER up that reached the window."""
        return self.holder.messages()

    def notifications(self) -> list[tuple[int, int]]:
        """(code, value) of every notification so far, in order."""
        return [(w, l) for m, w, l in self.messages() if m == self.message]

    def wait_for(self, code: int, value: int | None = None, timeout: float = 60) -> list[tuple[int, int]]:
        """Waits for a notification of the code (and value); returns all so far."""
        def arrived():
            seen = self.notifications()
            return seen if any(w == code and (value is None or l == value) for w, l in seen) else None

        try:
            return harness.wait_for(arrived, timeout, f"notification {code}")
        except TimeoutError as error:
            raise TimeoutError(f"{error}; the host has {self.notifications()}") from None


@pytest.fixture
def host_window(window_holder):
    counter = itertools.count(1)

    @contextlib.contextmanager
    def host(message: int = HOST_MESSAGE):
        with window_holder(f"VarnixTestHost{next(counter)}") as holder:
            yield HostWindow(holder, message)

    return host


class AgentProduct:
    """An installed product as the agent finds it: agent.exe (the plain agent),
    the record file Product.original, Product.exe (the product's program) and,
    once the agent has run, X_agent.exe and its run log X_agent.log. The
    served files lie under /product/ on the test's loopback server."""

    def __init__(self, folder: Path, pack, run_windows, start_windows, agent_ctl, server,
                 engine: harness.FakeEngine, artefacts: harness.Artefacts, program: Path,
                 token: str = PRODUCT_TOKEN) -> None:
        self.folder = folder
        self.token = token
        self.server = server
        self.engine = engine
        self._pack = pack
        self._run_windows = run_windows
        self._start_windows = start_windows
        self._agent_ctl = agent_ctl
        self._update_counter = itertools.count(1)
        self._pack_tool = artefacts.pack
        self.agent = folder / "agent.exe"
        self.x_agent = folder / "X_agent.exe"
        self.original = folder / ORIGINAL_NAME
        self.info_name = INFO_NAME
        self.info = folder / INFO_NAME  # the agent's local copy of the served info file
        self.log_path = folder / "X_agent.log"  # both roles write here
        self.program = folder / PROGRAM_NAME
        self.base_url = server.url("/product")
        pack(AGENT_PROJECT.format(server=server.base_url.rstrip("/"), info=INFO_NAME, token=token),
             {}, self.agent)
        self.program.write_bytes(harness.require(program).read_bytes())
        self.write_original()

    # --- the installed side ---------------------------------------------------

    def default_original(self) -> dict[str, dict[str, object]]:
        # Probed a moment ago: the agent does nothing on its own until a test
        # makes a probe due (a record override, /TEST= or agent message 31).
        now = agent_seconds()
        return {
            "OriginalSetup": {"VersionOriginal": 100, "Stamp": 6, "ProbeSecondsInterval": 3600,
                              "ProbeSecondsLast": now, "ReAskSecondsInterval": 86400,
                              "ReAskSecondsLast": now, "ProgramName": "Varnix Demo"},
            "Directories": {"TargetDir": harness.to_windows_path(self.folder)},
            "MsgBox": {"FontName": "Tahoma", "FontSize": 8},
        }

    def write_original(self, **sections: Mapping[str, object] | None) -> dict:
        """Writes the record file: the defaults, each section's keys updated by
        the given ones (write_original(OriginalSetup={"ProbeSecondsLast": 0}));
        None leaves a section out. Returns what was written."""
        content = merged(self.default_original(), sections)
        self.original.write_bytes(ini_text(content))
        return content

    def read_original(self) -> dict[str, dict[str, str]]:
        return parse_ini(self.original.read_bytes())

    def log_records(self) -> list[str]:
        """The run log's messages, each with its marker: "   " plain agent, " X " resident copy."""
        return harness.run_log_records(self.log_path) if self.log_path.exists() else []

    # --- the server side ------------------------------------------------------

    def serve_update(self, token: str | None = None, name: str = UPDATE_NAME,
                     files: Mapping[str, bytes | str] | None = None, pause: float = 0) -> Path:
        """Packs an update setup whose engine is the fake engine (it records its
        start into self.engine), with the product's token unless another is
        given, and serves it as /product/NAME. Returns the package.

        With `pause`, the file goes out in five pieces that many seconds
        apart: the agent's window stands still between them, long enough for
        ui-driver (which describes a window once two looks agree) to describe
        it while it shows the download."""
        out = self.folder.parent / f"served-{next(self._update_counter)}" / name
        out.parent.mkdir(parents=True, exist_ok=True)
        content = {"engine.exe": self.engine.program, **(files or {})}
        self._pack(UPDATE_PROJECT.format(token=self.token if token is None else token), content, out)
        data = out.read_bytes()
        if pause > 0:
            self.server.add_route(f"/product/{name}", "trickle", data, chunk=-(-len(data) // 5), interval=pause)
        else:
            self.server.add_file(f"/product/{name}", data)
        return out

    def scrambled_token(self) -> str:
        """The product's token in its scrambled letters, as the agent's package holds it."""
        listing = subprocess.run([str(harness.require(self._pack_tool)), "list", str(self.agent)],
                                 stdin=subprocess.DEVNULL, capture_output=True, text=True,
                                 check=True).stdout
        match = re.search(r'^\s*3 Token\s+scrambled "([^"]*)", descrambled', listing, re.MULTILINE)
        if not match:
            raise harness.HarnessError(f"no token in the agent's listing:\n{listing}")
        return match.group(1)

    def inform_text(self, body: bytes | str, scrambled_token: str | None = None) -> bytes:
        """An inform file: "|" + scrambled token + "|x|y|" + the page."""
        token = self.scrambled_token() if scrambled_token is None else scrambled_token
        page = body if isinstance(body, bytes) else body.encode(harness.ANSI)
        return f"|{token}|x|y|".encode(harness.ANSI) + page

    def serve_inform(self, body: bytes | str = "<P>A new version is out.", name: str = "Inform.txt",
                     scrambled_token: str | None = None, scramble: bool = False) -> bytes:
        """Serves an inform file as /product/NAME (scrambled by `varnix-pack
        scramble` when `scramble`, as a publisher makes it); returns its bytes."""
        data = self.inform_text(body, scrambled_token)
        if scramble:
            data = self.scrambled(data)
        self.server.add_file(f"/product/{name}", data)
        return data

    def scrambled(self, data: bytes) -> bytes:
        """`data` as `varnix-pack scramble` writes it."""
        folder = self.folder.parent / f"scramble-{next(self._update_counter)}"
        folder.mkdir(parents=True)
        (folder / "plain.txt").write_bytes(data)
        subprocess.run([str(harness.require(self._pack_tool)), "scramble", str(folder / "plain.txt"),
                        str(folder / "scrambled.txt")],
                       stdin=subprocess.DEVNULL, capture_output=True, check=True)
        return (folder / "scrambled.txt").read_bytes()

    def default_info(self, update: Path | None = None) -> dict[str, dict[str, object]]:
        size = update.stat().st_size if update is not None and update.exists() else 0
        return {
            "NewSetup": {
                "DownloadURL_UPDATE": self.base_url, "NameOfUpdateFile": UPDATE_NAME,
                "SizeOfUpdateFile": size, "VersionNew": 101, "Stamp": 7, "ValidVersions": "100",
                "ProgramName": "Varnix Demo",
                "RunningProcess": harness.to_windows_path(self.program),
                "ShutDownMethod": "Don't Shut Down", "RestartProcess": 0,
                "RequestConfirmationBeforeDownload": 0, "RequestConfirmationBeforeInstall": 0,
                "InformFinish": 0, "BackgroundUpdate": 0,
            },
        }

    def serve_info(self, update: Path | None = None, inform: bytes | None = None,
                   inform_name: str = "Inform.txt", **sections: Mapping[str, object] | None) -> bytes:
        """Serves the info file as /product/Product.info: the defaults describe
        `update` (its real size) as version 101 for installed version 100,
        silently; `inform` (bytes served by serve_inform) turns it into an
        inform offer. Sections override as in write_original. Returns the bytes."""
        content = self.default_info(update)
        if inform is not None:
            content["General"] = {"AutoInform": 1}
            content["AutoInform"] = {"DownloadURL_INFORM": "https://example.invalid/news",
                                     "NameOfInformFile": inform_name,
                                     "SizeOfInformFile": len(inform)}
        data = ini_text(merged(content, sections))
        self.server.add_file(f"/product/{INFO_NAME}", data)
        return data

    def requests(self, path: str | None = None):
        """The server's request log (of one path when given)."""
        return self.server.requests(path)

    # --- running the agent ----------------------------------------------------

    def command(self, *switches: str) -> str:
        return " ".join([f'"{harness.to_windows_path(self.agent)}"', *switches])

    def start(self, *switches: str, timeout: float = 60, env=None) -> AgentRun:
        """Runs the plain agent (as a user or the product would start it) and
        waits for it; the fake engine's environment is handed on, so an update
        it leads to records into self.engine."""
        began = time.monotonic()
        run = self._run_windows(self.command(*switches), timeout=timeout,
                                env={**self.engine.env(), **(env or {})})
        return AgentRun(run.exit_code, time.monotonic() - began, run.stdout)

    def launch(self, *switches: str, timeout: float = 60, env=None) -> harness.WindowsProcess:
        """Starts the plain agent without waiting (one that waits with /WAIT=)."""
        return self._start_windows(self.command(*switches), timeout=timeout,
                                   env={**self.engine.env(), **(env or {})})

    def ctl(self, *args: str, timeout: float = 60) -> CtlRun:
        """agent-ctl on this product's resident copy."""
        return self._agent_ctl(harness.to_windows_path(self.agent), *args, timeout=timeout)

    def resident_count(self) -> int:
        return int(self.ctl("/count").values.get("windows", 0))

    # --- clean-up ---------------------------------------------------------------

    def stop_agents(self, limit: float = 20) -> list[str]:
        """Ends every agent process of this folder still up: the resident copies
        first asked to quit, then closed, then killed; a plain agent that still
        waits is closed or killed too. Returns what had to be done, for a
        failing test's report."""
        done = []
        for args in ((harness.to_windows_path(self.agent),), ("/class=.AutoUpdate.agent",)):
            for _ in range(4):  # a few copies at most; each round ends one
                window = self._agent_ctl(*args, "/pid")
                if window.exit_code != CTL_DONE:
                    break
                done.append(self._end_one(args, int(window.values["pid"]), limit))
        return done

    def _end_one(self, args: tuple[str, ...], pid: int, limit: float) -> str:
        if args[0].startswith("/class="):
            steps = (("/close",),)  # a plain agent has no shut-down message
        else:
            steps = (("/shutdown=0",), ("/close",))
        for step in steps:
            ended = self._agent_ctl(*args, *step, f"/gone={int(limit / 2)}", timeout=limit + 30)
            if ended.exit_code == CTL_DONE:
                return f"{pid}: ended after {step[0]}"
        subprocess.run(["wine", "taskkill", "/F", "/PID", str(pid)], stdin=subprocess.DEVNULL,
                       capture_output=True, check=False, timeout=60)
        gone = self._agent_ctl(*args, "/gone=10")
        return f"{pid}: killed" + ("" if gone.exit_code == CTL_DONE else ", STILL RUNNING")

    def remove_leftovers(self) -> None:
        """Removes the copies and the self-deletion batch files that name this
        folder, so nothing carries over into the next test. The run log stays
        for a failing test's reader."""
        for path in self.folder.glob("X_*"):
            if path.suffix.lower() == ".log":
                continue
            with contextlib.suppress(OSError):
                path.unlink()
        folder_text = harness.to_windows_path(self.folder).lower().encode(harness.ANSI)
        with contextlib.suppress(OSError, ValueError, KeyError):
            temp = harness.from_windows_path(harness.windows_temp_folder())
            for batch in temp.glob("_DEL_ME_*.BAT"):
                with contextlib.suppress(OSError):
                    if folder_text in batch.read_bytes().lower():
                        batch.unlink()


@pytest.fixture
def product_program(artefacts) -> Path:
    """The program that stands in for the product's (target-program.exe)."""
    return artefacts.launcher.parent / "target-program.exe"


@pytest.fixture
def agent_product(wine_env, artefacts, pack, run_windows, start_windows, agent_ctl, http_server,
                  fake_engine, work_dir, product_program):
    product = AgentProduct(work_dir, pack, run_windows, start_windows, agent_ctl, http_server,
                           fake_engine, artefacts, product_program)
    yield product
    # A resident copy left running would answer the next test's messages and
    # hold its files.
    product.stop_agents()
    product.remove_leftovers()
