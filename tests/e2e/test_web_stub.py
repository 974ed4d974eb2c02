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
import zlib
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


def box_message(box) -> str:
    """A box's text without the bold caption heading it starts with."""
    text = box.rich_edit.text.replace("\r\n", "\n")
    heading = box.caption.upper() + "\n\n"
    return text[len(heading):] if text.startswith(heading) else text


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


def test_web_stub_downloads_checks_and_runs_the_engine(pack, start_setup, fake_engine, http_server,
                                                       served_setup, work_dir):
    before = temp_leftovers()
    # The authoring tool's own example ends the folder with "/": one "/" is used.
    stub = build_web_stub(pack, work_dir, http_server.url("/product/"), len(served_setup))

    run = start_setup(stub, "/A=1", env=fake_engine.env(exit_code=23)).wait()

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


@pytest.mark.parametrize("route", ["redirect relative", "redirect absolute", "chunked", "no length"])
def test_web_stub_follows_redirects_and_reads_bodies_without_length(
        pack, start_setup, fake_engine, http_server, served_setup, work_dir, route):
    if route == "redirect relative":
        http_server.add_route("/moved/Setup.exe", "redirect", code=301, to=SETUP_PATH)
    elif route == "redirect absolute":
        http_server.add_route("/moved/Setup.exe", "redirect", code=302, to=http_server.url(SETUP_PATH))
    else:
        http_server.add_route("/moved/Setup.exe", "chunked" if route == "chunked" else "nolength", served_setup)
    stub = build_web_stub(pack, work_dir, http_server.url("/moved"), len(served_setup))

    run = start_setup(stub, env=fake_engine.env(exit_code=5)).wait()

    assert run.exit_code == 5, run.stdout
    assert len(fake_engine.runs()) == 1


@pytest.mark.parametrize("answer, exit_code", [("yes", 7), ("no", USER_DECLINED)])
def test_download_question_with_the_size(pack, start_setup, fake_engine, http_server, served_setup, work_dir,
                                         ui_driver, answer, exit_code):
    stub = build_web_stub(pack, work_dir, http_server.url("/product"), 15728640, ask=1)
    driver = ui_driver("VMsgBox", ["click:1" if answer == "yes" else "click:2"], wait=120)

    run = start_setup(stub, env=fake_engine.env(exit_code=7)).wait()

    assert run.exit_code == exit_code, run.stdout
    question = driver.finish().window
    assert question.caption == "Confirm"
    assert "INTERNET DOWNLOAD" in question.rich_edit.text
    assert "Size: 15.0 MB" in question.rich_edit.text
    downloads = [r for r in http_server.requests(SETUP_PATH) if r.user_agent == "HTTP_Connect_3"]
    assert len(downloads) == (1 if answer == "yes" else 0)
    assert len(fake_engine.runs()) == (1 if answer == "yes" else 0)


def test_hidden_web_stub_asks_nothing_shows_nothing_and_still_downloads(
        pack, start_setup, fake_engine, http_server, served_setup, work_dir, window_watch):
    stub = build_web_stub(pack, work_dir, http_server.url("/product"), 15728640, ask=1)
    main_window = window_watch(harness.to_windows_path(stub))
    boxes = window_watch("VMsgBox", ["click:2"])

    run = start_setup(stub, "/hide", env=fake_engine.env(exit_code=7)).wait()

    assert boxes.seen() is None, "a hidden run asks nothing"
    assert main_window.seen() is None, "and shows no window"
    assert run.exit_code == 7, run.stdout
    assert len(fake_engine.runs()) == 1


@pytest.mark.parametrize("token, exit_code", [(TOKEN, 9), ("another-product", RUN_FAILED)])
def test_copy_beside_the_stub_is_used_without_a_request_and_kept(pack, start_setup, fake_engine, http_server,
                                                                 window_watch, work_dir, token, exit_code):
    copy = build_setup_file(pack, work_dir, fake_engine.program, token=token)
    stub = build_web_stub(pack, copy.parent, http_server.url("/product"), copy.stat().st_size, always=0)
    boxes = window_watch("VMsgBox", ["click:1"], wait=120)
    data = copy.read_bytes()

    run = start_setup(stub, env=fake_engine.env(exit_code=9)).wait()

    assert run.exit_code == exit_code, run.stdout
    assert http_server.requests() == [], "a copy beside the stub needs no download"
    assert copy.read_bytes() == data, "the copy is kept"
    box = boxes.seen()
    if exit_code == RUN_FAILED:
        assert box is not None and box_message(box).startswith("Bad Secret Token!")
        assert fake_engine.runs() == []
    else:
        assert box is None
        assert len(fake_engine.runs()) == 1


def serve_failure(server, pack, engine, work_dir, case) -> tuple[str, int]:
    """Makes the server fail as `case` says; returns the web folder URL and
    the size the web stub announces."""
    data = build_setup_file(pack, work_dir, engine).read_bytes()
    path = SETUP_PATH
    if case == "404 page":
        server.add_not_found_html(path)
    elif case == "404 text":
        server.add_not_found_text(path)
    elif case == "500":
        server.add_route(path, "status", "Internal error", code=500)
    elif case == "short body":
        server.add_route(path, "short", data, send=1000)
    elif case == "reset":
        server.add_route(path, "reset", data, send=1000)
    elif case == "no length, short":
        server.add_route(path, "nolength", data[:1000])
    elif case == "empty":
        server.add_route(path, "status", b"", code=200)
    elif case == "page instead of the file":
        server.add_route(path, "status", "<html><head><title>Welcome</title></head></html>", code=200,
                         content_type="text/html")
    elif case == "redirect loop":
        server.add_route(path, "redirect", code=302, to=path)
    elif case == "other token":
        server.add_file(path, build_setup_file(pack, work_dir / "other", engine, token="other").read_bytes())
    elif case == "refused":
        return "http://127.0.0.1:1/product", len(data)
    else:
        server.add_file(path, data)
    return server.url("/product"), len(data)


@pytest.mark.parametrize("case, env, text", [
    ("404 page", {}, r"^404 File Not Found\.\.\.\s+URL:  http://127\.0\.0\.1:\d+/product/Setup\.exe\."),
    ("404 text", {}, r"^404 File Not Found"),
    ("500", {}, r"/product/Setup\.exe --- HTTP 500"),
    ("short body", {}, r"^Incomplete download: 1000 of \d+ bytes"),
    ("reset", {}, r"Incomplete download: \d+ of \d+ bytes|Error downloading file"),
    ("no length, short", {}, r"^Incomplete download: 1000 of \d+ bytes"),  # the size the stub knows
    ("empty", {}, r"--- File Not Found !"),
    ("page instead of the file", {}, r"^404 File Not Found"),
    ("redirect loop", {}, r"/product/Setup\.exe --- HTTP 302"),  # followed ten times, then given up
    ("other token", {}, r"^Bad Secret Token!"),
    # After the texts, the system's reason when it reports no connection, then the request's.
    ("refused", {}, r"^No valid Internet Connection\.\s*Can not Download File!\s+(.*\s+)?Unable to open Internet"),
    ("served", {"WINEDLLOVERRIDES": "wininet=d"}, r"^No valid Internet Connection\.\s*Can not Download File!"),
])
def test_failed_download_shows_why_and_leaves_nothing(pack, start_setup, fake_engine, http_server, window_watch,
                                                      work_dir, case, env, text):
    folder, size = serve_failure(http_server, pack, fake_engine.program, work_dir, case)
    stub = build_web_stub(pack, work_dir, folder, size)
    boxes = window_watch("VMsgBox", ["click:1"], wait=120)
    before = temp_leftovers()

    run = start_setup(stub, env={**fake_engine.env(), **env}).wait()

    box = boxes.seen(timeout=90)
    assert box is not None, "the failure is shown"
    assert box.caption == "Error"
    assert re.search(text, box_message(box)), box_message(box)
    assert run.exit_code == RUN_FAILED, run.stdout
    assert fake_engine.runs() == []
    if case == "redirect loop":
        assert len(http_server.requests(SETUP_PATH)) == 2 * 11, "warm-up and download: 11 requests each"
    assert temp_leftovers() == before, "no download, partial file or folder is left"


def test_https_reaches_the_server_and_reports_its_certificate(pack, start_setup, fake_engine, https_server,
                                                              window_watch, work_dir):
    https_server.add_file(SETUP_PATH, build_setup_file(pack, work_dir, fake_engine.program).read_bytes())
    stub = build_web_stub(pack, work_dir, https_server.url("/product"), 1000)
    boxes = window_watch("VMsgBox", ["click:1"], wait=120)

    run = start_setup(stub, env=fake_engine.env()).wait()

    box = boxes.seen()
    assert box is not None
    assert "https://127.0.0.1" in box.rich_edit.text, "the URL keeps its scheme"
    assert "certificate" in box.rich_edit.text
    assert run.exit_code == RUN_FAILED, run.stdout
    assert fake_engine.runs() == []


def detail_and_bar(window) -> tuple[str, tuple[int, int, int]]:
    statics = [c for c in window.controls if c.class_name.lower() == "static"]
    [bar] = [c for c in window.controls if c.class_name.lower() == "msctls_progress32" and c.visible]
    return statics[-1].text, bar.progress


def test_slow_download_shows_progress_and_rate_and_close_aborts_it(
        pack, start_setup, fake_engine, http_server, ui_driver, window_watch, work_dir):
    size = 400 * 1024  # kilobytes; read units of 8 KB: 51 steps
    http_server.add_route(SETUP_PATH, "trickle", bytes(size), chunk=1024, interval=0.2)
    stub = build_web_stub(pack, work_dir, http_server.url("/product"), size)
    main = harness.to_windows_path(stub)
    first = ui_driver(main, pause=True, gone=90)
    boxes = window_watch("VMsgBox", ["click:1"], wait=120)
    before = temp_leftovers()

    process = start_setup(stub, env=fake_engine.env())
    text_1, bar_1 = detail_and_bar(first.window(timeout=90))
    time.sleep(3)
    closer = ui_driver(main, ["wmclose"], gone=90)
    text_2, bar_2 = detail_and_bar(closer.window(timeout=90))
    first.proceed()
    run = process.wait()

    assert bar_2[:2] == (0, 51) and bar_1[:2] == (0, 51)
    assert 1 <= bar_1[2] < bar_2[2] < 51, (bar_1, bar_2)
    assert re.fullmatch(r"[\d.,]+/400\.0 KB(   -   [\d.]+ KB/Sec)?", text_2), text_2
    assert text_1 != text_2
    assert "KB/Sec" in text_2, "after five reads the rate is shown"
    box = boxes.seen()
    assert box is not None and box_message(box).strip() == "Download Aborted"
    assert run.exit_code == USER_DECLINED, run.stdout
    assert fake_engine.runs() == []
    assert temp_leftovers() == before


def test_web_stub_writes_its_agent_without_the_signature(pack, start_setup, fake_engine, http_server,
                                                         served_setup, work_dir):
    stub = build_web_stub(pack, work_dir, http_server.url("/product"), len(served_setup), agent=1,
                          package="EndPointer = 1")
    package = stub.read_bytes()
    stub.write_bytes(package + b"\x30\x82" + bytes(12000))  # where a signature would follow

    run = start_setup(stub, env=fake_engine.env()).wait()

    assert run.exit_code == 0, run.stdout
    [engine] = fake_engine.runs()
    found = {f["name"].lower(): f for f in engine["files"]}
    agent = found["productupdate.exe"]
    assert agent["size"] == len(package), "cut at the package's end"
    # Its trailer says agent: the engine records the bytes' CRC; rebuild them.
    expected = bytearray(package)
    expected[layout.END_POINTER_LOW:layout.END_POINTER_LOW + 4] = bytes(4)
    expected[layout.trailer_offset(expected) + layout.IS_UPDATE_AGENT] = 1
    assert agent["crc32"] == zlib.crc32(bytes(expected))
