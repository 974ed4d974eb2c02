"""The web stub, watched from outside: it downloads its setup file from a
loopback server, checks the file's token, unpacks it and starts the engine,
and passes the engine's exit code on. The server's request log shows what
the stub asked for; the boxes, the main window and the temporary folder show
what the user sees and what is left behind.

The setup file is a real setup package holding the fake engine; the web stub
is packed per test with the server's port."""

from __future__ import annotations

import re
import time
from pathlib import Path

import pytest

import harness
import package_layout as layout

USER_DECLINED = 1602
RUN_FAILED = 1603
TOKEN = "web-product-token"
SETUP_PATH = "/product/Setup.exe"

SETUP_PROJECT = """
[Package]
Type = setup
Files = files
Launch = engine.exe

[Web]
Folder = http://unused.invalid/
FileName = Setup.exe
Token = {token}
Size = 1
"""

WEB_PROJECT = """
[Package]
Type = web
{package}

[Flags]
AskBeforeDownload = {ask}
HasUpdateAgent = {agent}

[Settings]
AgentExe = ProductUpdate.exe
Silent = {silent}

[Web]
Folder = {folder}
FileName = {file_name}
AlwaysDownload = {always}
Token = {token}
Size = {size}

[Language English]
s0 = Web Product Setup
"""


def build_setup_file(pack, folder: Path, engine: bytes, token: str = TOKEN) -> Path:
    out = folder / "served" / "Setup.exe"
    out.parent.mkdir(parents=True, exist_ok=True)
    pack(SETUP_PROJECT.format(token=token),
         {"engine.exe": engine, "readme.txt": "Downloaded and unpacked.\r\n"}, out)
    return out


def build_web_stub(pack, folder: Path, url_folder: str, size: int, ask: int = 0, always: int = 1,
                   silent: int = 0, agent: int = 0, file_name: str = "Setup.exe", package: str = "",
                   name: str = "websetup.exe") -> Path:
    out = folder / name
    pack(WEB_PROJECT.format(folder=url_folder, file_name=file_name, always=always, token=TOKEN, size=size,
                            ask=ask, silent=silent, agent=agent, package=package), {}, out)
    return out


def temp_leftovers() -> list[str]:
    """What the runs left in the Wine user's temporary folder."""
    temp = harness.from_windows_path(harness.windows_temp_folder())
    return sorted(p.name for p in temp.iterdir()) if temp.exists() else []


@pytest.fixture
def served_setup(pack, fake_engine, work_dir, http_server):
    """The setup package on the server at SETUP_PATH; returns its bytes."""
    data = build_setup_file(pack, work_dir, fake_engine.program).read_bytes()
    http_server.add_file(SETUP_PATH, data)
    return data


@pytest.fixture
def start_stub(start_windows, artefacts, tmp_path):
    """start_stub(program, args="", env=None) -> WindowsProcess, started by its
    quoted full path; a run a failed test left on a box is answered."""
    started: list[harness.WindowsProcess] = []

    def start(program: Path, args: str = "", env=None, timeout: float = 120):
        command = f'"{harness.to_windows_path(program)}"' + (f" {args}" if args else "")
        process = start_windows(command, cwd=program.parent, env=env, timeout=timeout)
        started.append(process)
        return process

    yield start
    if any(p.running() for p in started):
        harness.close_windows(artefacts.ui_driver, tmp_path / "closer", "VMsgBox")
        for process in started:
            try:
                harness.wait_for(lambda: not process.running(), 30, "the web stub to end")
            except TimeoutError:
                process.kill()


def test_web_stub_downloads_checks_and_runs_the_engine(pack, start_stub, fake_engine, http_server,
                                                       served_setup, work_dir):
    before = temp_leftovers()
    # The authoring tool's own example ends the folder with "/": one "/" is used.
    stub = build_web_stub(pack, work_dir, http_server.url("/product/"), len(served_setup))

    run = start_stub(stub, "/A=1", env=fake_engine.env(exit_code=23)).wait()

    assert run.exit_code == 23, run.stdout
    [engine] = fake_engine.runs()
    names = {f["name"].lower() for f in engine["files"]}
    assert {"engine.exe", "readme.txt"} <= names
    assert engine["cmdline"].split('" ', 1)[1].startswith("/A=1 ")
    # A warm-up request, then the download itself, always from the server.
    log = http_server.requests(SETUP_PATH)
    assert [r.user_agent for r in log] == ["HTTP_Connect_2", "HTTP_Connect_3"]
    assert "no-cache" in (log[1].pragma + log[1].cache_control).lower()
    assert temp_leftovers() == before, "the download, its folder and the working folder are gone"
