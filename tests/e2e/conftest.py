"""Fixtures of the end-to-end tests: the programs run under Wine and are driven
from outside. See harness.py for the pieces; the fixtures here tie them to a
test's lifetime.

    wine_env       the session's Wine environment (from test.sh, or its own)
    artefacts      paths of the built programs (overridable, see harness.Artefacts)
    work_dir       an empty folder of the test for the product's files
    run_windows    run_windows(cmdline, cwd=None, timeout=60, env=None, show=None)
                   -> WindowsRun(exit_code, stdout), exit code with all 32 bits
    start_windows  same arguments, returns a WindowsProcess; .wait() -> WindowsRun
    debug_viewer   a running debug viewer; .text(), .pieces(), .wait_for_text()
    window_holder  window_holder(classname, title=None) context manager -> WindowHolder
    screenshot     screenshot(name) saves name.png of the screen in the test's folder
    pack           pack(project_text, files, out, stub=None, seed=1) builds a package
                   with varnix-pack onto the stub (default: the built one)

A failing test leaves failure.png (the screen at the failure) in its tmp_path.
"""

from __future__ import annotations

import contextlib
import itertools

import pytest

import harness


@pytest.fixture(scope="session")
def wine_env():
    session = harness.WineSession()
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
def screenshot(wine_env, tmp_path):
    return lambda name: harness.screenshot(tmp_path / f"{name}.png")


@pytest.fixture
def pack(artefacts):
    def build(project_text, files, out, stub=None, seed=1):
        return harness.pack(artefacts.pack, stub or artefacts.stub, project_text, files, out,
                            seed=seed)

    return build


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
