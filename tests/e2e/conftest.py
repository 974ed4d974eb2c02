"""Fixtures of the end-to-end tests: the programs run under Wine and are driven
from outside. See harness.py for the pieces; the fixtures here tie them to a
test's lifetime.

    wine_env       the session's Wine environment (from test.sh, or its own; each
                   parallel worker brings up its own under build/wine-run/<worker>)
    artefacts      paths of the built programs (overridable, see harness.Artefacts)
    work_dir       an empty folder of the test for the product's files
    run_windows    run_windows(cmdline, cwd=None, timeout=60, env=None, show=None)
                   -> WindowsRun(exit_code, stdout), exit code with all 32 bits
    start_windows  same arguments, returns a WindowsProcess; .wait() -> WindowsRun
    start_setup    start_setup(program, args="", env=None, cwd=None, timeout=120) ->
                   WindowsProcess: a setup or web stub by its quoted full path
    debug_viewer   a running debug viewer; .text(), .pieces(), .wait_for_text()
    window_holder  window_holder(classname, title=None) context manager -> WindowHolder
    screenshot     screenshot(name, always=False) saves name.png of the screen in the
                   test's folder when VARNIX_SCREENSHOTS=1 (for people to look at) or
                   always=True (a test that asserts on it); returns its path or None
    pack           pack(project_text, files, out, stub=None, seed=1) builds a package
                   with varnix-pack onto the stub (default: the built one)
    ui_driver      ui_driver(classname, actions=("none",), pause=False, wait=30, gone=30)
                   -> UiDriver watching for a window; .window(), .proceed(), .finish()
    box_host       box_host(kind, env=None, limit=60, **switches) -> BoxHost showing
                   one message box; .wait() -> its result (dict)
    message_box    message_box(kind, actions=("none",), shot=None, env=None, **switches)
                   -> BoxRun(window, driver, result): both of the above in one go;
                   `shot` names a screenshot of the untouched box (when requested)
    fake_engine    a FakeEngine recording into the test's folder: .program (bytes to
                   pack), .env(exit_code, atom, wait_ms, dialog_ms, hold_engine,
                   hold_dialog), .release() (ends what is held), .runs(),
                   .dialog_events(), .wait_for_run(count), .wait_for_exit(run)
    window_watch   window_watch(classname, actions=("none",), wait=60) -> WindowWatch
                   that answers a window of the class if one comes; .seen() once
                   the program that could show it has ended
    registry_value registry_value(key, name, value) sets a REG_SZ value until the
                   test ends
    http_server    a started loopback HTTP server (tests/lib/http_server.py) for the
                   test; https_server the same over TLS with a self-signed certificate

A failing test leaves failure.png (the screen at the failure) in its tmp_path.
"""

from __future__ import annotations

import contextlib
import itertools
import os
import sys
from pathlib import Path

import pytest

import harness

pytest_plugins = ["agent_fixtures"]

# tests/lib holds what the tests of several folders share (package_layout).
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "lib"))


@pytest.fixture(scope="session")
def wine_env():
    # A parallel worker must not share the exported environment with the
    # others: windows, atoms, registry values and processes would mix.
    worker = os.environ.get("PYTEST_XDIST_WORKER")
    session = harness.WineSession(harness.REPO / "build" / "wine-run" / worker if worker else None)
    session.start()
    try:
        yield session
    finally:
        session.stop()


@pytest.fixture(scope="session")
def artefacts() -> harness.Artefacts:
    return harness.Artefacts.from_env()


@pytest.fixture
def work_dir(tmp_path):
    # Apart from the harness's own files, so a test can list it and see only
    # what the product wrote.
    folder = tmp_path / "work"
    folder.mkdir()
    return folder


@pytest.fixture
def start_windows(wine_env, artefacts):
    started: list[harness.WindowsProcess] = []

    def start(cmdline: str, cwd=None, timeout: float = 60, env=None, show=None):
        process = harness.WindowsProcess(artefacts.launcher, cmdline, cwd=cwd, env=env,
                                         show=show, timeout=timeout)
        started.append(process)
        return process

    yield start
    for process in started:
        # A test that gave up on a program must not leave its launcher behind.
        if process.running():
            process.kill()


@pytest.fixture
def run_windows(start_windows):
    def run(cmdline: str, cwd=None, timeout: float = 60, env=None, show=None):
        return start_windows(cmdline, cwd=cwd, timeout=timeout, env=env, show=show).wait()

    return run


@pytest.fixture
def start_setup(start_windows, artefacts, tmp_path):
    """start_setup(program, args="", env=None, cwd=None, timeout=120) ->
    WindowsProcess: a setup or web stub started as a user would, by its quoted
    full path; a run a failed test left on a box is answered."""
    started: list[harness.WindowsProcess] = []

    def start(program: Path, args: str = "", env=None, cwd=None, timeout: float = 120):
        command = f'"{harness.to_windows_path(program)}"' + (f" {args}" if args else "")
        process = start_windows(command, cwd=cwd, env=env, timeout=timeout)
        started.append(process)
        return process

    yield start
    if any(p.running() for p in started):
        # A run that a failed test left waiting on a box would hold up the
        # next test's driver: answer it, then give the run time to end.
        harness.close_windows(artefacts.ui_driver, tmp_path / "closer", "VMsgBox")
        for process in started:
            try:
                harness.wait_for(lambda: not process.running(), 30, "the run to end")
            except TimeoutError:
                process.kill()


@pytest.fixture
def debug_viewer(wine_env, artefacts, tmp_path):
    viewer = harness.DebugViewer(artefacts.viewer, tmp_path / "vdebug")
    yield viewer
    viewer.stop()


@pytest.fixture
def window_holder(wine_env, artefacts, tmp_path):
    counter = itertools.count(1)

    @contextlib.contextmanager
    def hold(classname: str, title: str | None = None):
        holder = harness.WindowHolder(artefacts.window_holder,
                                      tmp_path / f"holder-{next(counter)}", classname, title)
        try:
            yield holder
        finally:
            holder.close()

    return hold


@pytest.fixture
def ui_driver(wine_env, artefacts, tmp_path):
    counter = itertools.count(1)
    started: list[harness.UiDriver] = []

    def start(classname: str, actions=("none",), pause: bool = False, wait: float = 30,
              gone: float = 30, hidden: bool = False):
        driver = harness.UiDriver(artefacts.ui_driver, tmp_path / f"ui-driver-{next(counter)}",
                                  classname, actions, pause=pause, wait=wait, gone=gone, hidden=hidden)
        started.append(driver)
        return driver

    yield start
    for driver in started:
        driver.stop()


@pytest.fixture
def box_host(wine_env, artefacts, tmp_path):
    counter = itertools.count(1)
    started: list[harness.BoxHost] = []

    def start(kind: str, env=None, limit: float = 60, **switches):
        host = harness.BoxHost(artefacts.launcher, artefacts.box_host,
                               tmp_path / f"box-host-{next(counter)}", kind, env=env,
                               limit=limit, **switches)
        started.append(host)
        return host

    yield start
    for host in started:
        if not host.process.running():
            continue
        # A box left up would be found by the next test's driver: close it
        # the way a user would, and give up on the launcher only after that.
        harness.close_windows(artefacts.ui_driver, tmp_path / "closer", "VMsgBox")
        with contextlib.suppress(TimeoutError):
            harness.wait_for(lambda: not host.process.running(), 10, "box-host to end")
        if host.process.running():
            host.process.kill()


@pytest.fixture
def screenshot(wine_env, tmp_path):
    def take(name: str, always: bool = False):
        if not (always or harness.screenshots_requested()):
            return None
        return harness.screenshot(tmp_path / f"{name}.png")

    return take


@pytest.fixture
def message_box(ui_driver, box_host, screenshot, artefacts, tmp_path):
    """message_box(kind, actions=("none",), shot=None, env=None, **switches)
    -> harness.BoxRun: box-host shows one box (switches as in BoxHost.cpp),
    ui-driver describes it and does the actions; `shot` saves a screenshot of
    the untouched box under that name when screenshots are requested. A box
    still up after the actions is closed so box-host can report."""
    counter = itertools.count(1)

    def show(kind: str, actions=("none",), shot: str | None = None, env=None, **switches):
        shoot = shot is not None and harness.screenshots_requested()
        driver = ui_driver("VMsgBox", actions, pause=shoot, gone=15)
        host = box_host(kind, env=env, limit=45, **switches)
        if shoot:
            driver.window()
            screenshot(shot)
        run = driver.finish()
        if run.gone_ms is None:
            harness.close_windows(artefacts.ui_driver, tmp_path / f"closer-{next(counter)}",
                                  "VMsgBox")
        result = host.wait()
        assert run.window is not None, f"the box went before it could be described: {result}"
        return harness.BoxRun(run.window, run, result)

    return show


@pytest.fixture
def pack(artefacts):
    def build(project_text, files, out, stub=None, seed=1):
        return harness.pack(artefacts.pack, stub or artefacts.stub, project_text, files, out,
                            seed=seed)

    return build


@pytest.fixture
def fake_engine(wine_env, artefacts, tmp_path):
    engine = harness.FakeEngine(artefacts.fake_engine, tmp_path / "fake-engine")
    yield engine
    # A test that failed while it held an engine must not leave it running
    # into the next test.
    engine.release()


@pytest.fixture
def window_watch(ui_driver):
    def watch(classname: str, actions=("none",), wait: float = 60):
        return harness.WindowWatch(ui_driver(classname, actions, wait=wait, gone=15))

    return watch


@pytest.fixture
def registry_value(wine_env):
    made: list[tuple[str, str]] = []

    def put(key: str, name: str, value: str):
        made.append((key, name))
        harness.set_registry_value(key, name, value)

    yield put
    # The prefix is shared by the whole session: leave it as found.
    for key, name in reversed(made):
        harness.delete_registry_value(key, name)


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    if report.when != "call" or not report.failed or not harness.WineSession.is_up():
        return
    tmp_path = item.funcargs.get("tmp_path")
    if tmp_path is None:
        return
    try:
        path = harness.screenshot(tmp_path / "failure.png")
        report.sections.append(("screen at failure", str(path)))
    except Exception as error:  # a missing screenshot must not hide the failure
        report.sections.append(("screen at failure", f"not saved: {error}"))


# Under qemu-user, Wine loses processes whose Internet library keeps an idle
# connection in its pool: the pool's clean-up thread breaks Wine's wake-up
# pipe ("wine client error: ...: partial wakeup read"), and the run ends with
# exit code 0 or hangs. Measured on the web-stub tests: 3 of 25 lost with
# keep-alive, 0 of 25 without. So an emulated run serves every answer with
# "Connection: close"; natively the server keeps connections alive.
SERVER_KEEPS_ALIVE = os.environ.get("VARNIX_WINE_EMULATION") != "qemu"


@pytest.fixture
def http_server():
    from http_server import HttpServer
    with HttpServer(keep_alive=SERVER_KEEPS_ALIVE) as server:
        yield server


@pytest.fixture
def https_server():
    from http_server import HttpServer
    with HttpServer(tls=True, keep_alive=SERVER_KEEPS_ALIVE) as server:
        yield server
