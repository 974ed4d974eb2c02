"""The update agent's update cycle under Wine: a probe of the loopback server
offers the update, downloads it, shuts the product's program down, runs the
new setup (the fake engine), records the new version and starts the product
again. Observed from outside: the server's request log, the boxes the agent
shows (answered through ui-driver as a user would), the fake engine's
record, the run log, the record file and the product's processes."""

from __future__ import annotations

import os
import signal
import time
from pathlib import Path

import pytest

import harness
from agent_fixtures import INFO_NAME, UPDATE_NAME

# The agent's own texts, in the record file; "PROG_NAME" is the new setup's
# program name (the shut-down request: the program's file name).
TEXTS = {
    "s22": "Check for a new version of PROG_NAME now?",
    "s11": "PROG_NAME 101 is out.", "s12": "Download it?", "s13": "Download it?",
    "s14": "Install PROG_NAME now?", "s15": "Please close PROG_NAME.",
    "s16": "PROG_NAME is up to date.", "s17": "Start it again?",
}
# A scheduled probe (not one the user asked for) at the copy's fourth tick.
SCHEDULED = {"ProbeSecondsLast": 0}
# "/TEST=2" is the user's own check: the agent first asks whether to check
# now (with the text "s22" set; Yes is the first button), then asks nothing
# before the download and the install.
USER_CHECK = "/TEST=2"
BUSY_PRODUCT_MS = 240_000
CYCLE_END = "PerformAutoUpdate() - END"


def product_pids(program: Path) -> set[int]:
    """Linux ids of the Wine processes running `program`: its Windows path is
    the first item after the Wine loader on the command line of a 32-bit
    program, and the first item of all on that of a 64-bit one."""
    wanted = harness.to_windows_path(program).lower()
    found = set()
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            argv = (entry / "cmdline").read_bytes().decode("latin-1").split("\0")
        except OSError:
            continue
        if argv[0].strip('"').lower() == wanted:
            found.add(int(entry.name))
            continue
        for index, item in enumerate(argv[:-1]):
            if os.path.basename(item) == "wine" and argv[index + 1].strip('"').lower() == wanted:
                found.add(int(entry.name))
                break
    return found


def stop_pids(pids) -> None:
    for pid in pids:
        try:
            os.kill(pid, signal.SIGKILL)
        except OSError:
            pass


class RunningProduct:
    """The product's program, started from its folder as a user would."""

    def __init__(self, start_windows, product, *switches: str) -> None:
        folder = product.folder
        self.ready = folder.parent / "product-ready.txt"
        self.until = folder.parent / "product-until"
        command = " ".join([f'"{harness.to_windows_path(product.program)}"', "/visible=VarnixDemo",
                            f"/ready={harness.to_windows_path(self.ready)}",
                            f"/until={harness.to_windows_path(self.until)}",
                            f"/life={BUSY_PRODUCT_MS}", *switches])
        self.process = start_windows(command, timeout=BUSY_PRODUCT_MS / 1000 + 60)
        harness.wait_for(self.ready.exists, 60, "the product's window")
        self.program = product.program
        self.pids = product_pids(product.program)
        assert self.pids, "the product's process is not visible in /proc"

    def running(self) -> bool:
        return bool(self.pids & product_pids(self.program))

    def restarted(self) -> set[int]:
        return product_pids(self.program) - self.pids


@pytest.fixture
def product_processes(agent_product):
    """Every product process still up at the end is stopped."""
    yield
    stop_pids(product_pids(agent_product.program))


def run_cycle(product, *switches: str, boxes=None, timeout: float = 180, env=None) -> list[str]:
    """Starts the plain agent, waits for the copy's update cycle to end (each
    ui-driver in `boxes` answering one box, in order), returns the copy's run
    log records."""
    assert product.start("/SleepX=0", *switches, env=env).exit_code == 0
    for driver in boxes or ():
        run = driver().finish()
        assert run.window is not None and run.gone_ms is not None, f"box not answered: {run}"
    harness.wait_for(lambda: any(CYCLE_END in r for r in product.log_records()), timeout,
                     "the end of the update cycle")
    records = [r[3:] for r in product.log_records() if r.startswith(" X ")]
    if result_of(records) == "TRUE":
        # After an update a resident copy starts the agent anew (the new
        # version's agent; a copy started for one check just ends): the new
        # copy must be up before the test ends, so the clean-up finds it.
        harness.wait_for(lambda: " X .. ReStartAutoUpdateExe() - End" in product.log_records(), 60,
                         "the agent's restart")
        if any(r.startswith(" X .. WinExec - ") for r in product.log_records()):
            harness.wait_for(lambda: product.log_records().count(" X WinMain") >= 2, 90,
                             "the restarted agent copy")
    return records


def downloads(product, name: str) -> list:
    """The server's requests for the file that were downloads (the decision's
    size check asks for it under another user agent)."""
    return [r for r in product.requests(f"/product/{name}") if r.user_agent == "HTTP_Connect_3"]


def result_of(records: list[str]) -> str:
    """"TRUE" or "FALSE" from the cycle's last record."""
    ends = [r for r in records if CYCLE_END in r]
    assert ends, records[-5:]
    return ends[-1].rsplit("=", 1)[-1]


def box(ui_driver, *actions: str, seen: list | None = None):
    """A ui-driver for the next agent box; the box as first seen goes to `seen`."""
    def start():
        driver = ui_driver("VMsgBox", actions, wait=120, gone=30)
        original = driver.finish

        def finish():
            run = original()
            if seen is not None:
                seen.append(run.window)
            return run

        driver.finish = finish
        return driver

    return start


def box_text(window) -> str:
    return " ".join(c.text for c in window.controls if c.text)


def engine_arguments(run: dict, product) -> None:
    info = harness.to_windows_path(product.info)
    assert f'/OriginalInfoFile="{info}"' in run["cmdline"], run["cmdline"]
    assert "/AutoUpdateProg" in run["cmdline"], run["cmdline"]


@pytest.mark.parametrize("answers", [("No",), ("Yes", "No"), ("Yes", "Yes")], ids="-".join)
def test_the_offer_asks_before_download_and_install(agent_product, ui_driver, window_watch, answers):
    product = agent_product
    product.write_original(OriginalSetup=SCHEDULED, AutoUpdate=TEXTS)
    update = product.serve_update(pause=2.0)
    product.serve_info(update, NewSetup={"RequestConfirmationBeforeDownload": 1,
                                         "RequestConfirmationBeforeInstall": 1, "InformFinish": 1})
    seen: list = []
    drivers = [box(ui_driver, f"click:{1 if a == 'Yes' else 2}", seen=seen) for a in answers]
    if answers == ("Yes", "Yes"):
        drivers.append(box(ui_driver, "click:1", seen=seen))  # the finish message
    agent_window = window_watch(".AutoUpdate.X_agent", wait=180)

    records = run_cycle(product, boxes=drivers)

    assert "Varnix Demo 101 is out." in box_text(seen[0]) and "Download it?" in box_text(seen[0])
    downloaded = bool(downloads(product, UPDATE_NAME))
    assert downloaded is (answers[0] == "Yes")
    installed = answers == ("Yes", "Yes")
    assert len(product.engine.runs()) == int(installed)
    assert product.read_original()["OriginalSetup"]["VersionOriginal"] == ("101" if installed else "100")
    assert result_of(records) == ("TRUE" if installed else "FALSE")
    if downloaded:
        assert "Install Varnix Demo now?" in box_text(seen[1])
        # The download ran in the agent's window, its bar and status line shown.
        window = agent_window.seen()
        assert window is not None, "the agent's window was not shown for the download"
        children = [(c.class_name, c.text, c.visible, c.progress) for c in window.controls]
        # (Described as it was found: the bar may have run on, the window gone.)
        assert any(c.progress and c.progress[1] > 0 and c.progress[2] > 0 for c in window.controls), children
        assert any("Downloading UPDATE File" in c.text for c in window.controls), children
    if installed:
        engine_arguments(product.engine.runs()[0], product)
        assert "Varnix Demo is up to date." in box_text(seen[2])
        assert not (product.folder / UPDATE_NAME).exists()


@pytest.mark.parametrize("method, product_switches", [
    ("Using WM_CLOSE", ()),
    ("Using WM_QUIT", ()),
    ("Using Terminate Process", ("/ignoreclose=1",)),
    ("Issue a Message Box", ("/ignoreclose=1",)),
    ("Don't Shut Down", ()),
])
def test_each_shut_down_method_and_the_restart(agent_product, start_windows, ui_driver, product_processes,
                                               method, product_switches):
    product = agent_product
    product.write_original(AutoUpdate=TEXTS)
    update = product.serve_update()
    product.serve_info(update, NewSetup={"ShutDownMethod": method, "RestartProcess": 1})
    running = RunningProduct(start_windows, product, *product_switches)
    seen: list = []
    drivers = [box(ui_driver, "click:1")]
    if method == "Issue a Message Box":
        def user_closes_the_product():
            driver = ui_driver("VMsgBox", ("click:1",), pause=True, wait=120, gone=30)
            seen.append(driver.window())
            running.until.touch()  # the user closes the product, then clicks OK
            harness.wait_for(lambda: not running.running(), 60, "the product to close")
            return driver
        drivers.append(user_closes_the_product)
    # The finish message: with a restart due it asks (Yes restarts).
    drivers.append(box(ui_driver, "click:1", seen=seen))

    records = run_cycle(product, USER_CHECK, boxes=drivers)

    assert result_of(records) == "TRUE"
    engine_arguments(product.engine.wait_for_run(), product)
    assert product.read_original()["OriginalSetup"]["VersionOriginal"] == "101"
    if method == "Issue a Message Box":
        assert "Please close Product.exe." in box_text(seen[0])
    if method == "Don't Shut Down":
        assert running.running() and not running.restarted()
        assert "Start it again?" not in box_text(seen[-1])
    else:
        assert not running.running()
        assert "Varnix Demo is up to date." in box_text(seen[-1]) and "Start it again?" in box_text(seen[-1])
        harness.wait_for(running.restarted, 60, "the product started again")


def test_a_program_named_by_the_install_folder_macro_is_found_and_closed(agent_product, start_windows, ui_driver,
                                                                        product_processes):
    product = agent_product
    product.write_original(AutoUpdate=TEXTS)
    product.serve_info(product.serve_update(), NewSetup={"RunningProcess": r"<InstallDir>\Product.exe",
                                                         "ShutDownMethod": "Using WM_CLOSE"})
    running = RunningProduct(start_windows, product)

    # The user's check, then the finish message.
    records = run_cycle(product, USER_CHECK, boxes=[box(ui_driver, "click:1"), box(ui_driver, "click:1")])

    assert result_of(records) == "TRUE"
    assert f"RunningProcessPath={harness.to_windows_path(product.program)}  Running=TRUE" in records, records
    assert not running.running()


def served_info(product, **new_setup):
    update = product.serve_update()
    return update, product.serve_info(update, NewSetup=new_setup)


@pytest.mark.parametrize("case", ["info-missing", "info-html", "token", "short", "own-name", "engine-fails",
                                  "will-not-close"])
def test_failures_install_nothing_and_leave_the_product_running(
        agent_product, start_windows, ui_driver, window_watch, product_processes, case):
    product = agent_product
    product.write_original(AutoUpdate=TEXTS)
    new_setup = {"ShutDownMethod": "Using WM_CLOSE", "RestartProcess": 1}
    env = None
    old_info = b"[NewSetup]\r\nVersionNew=100\r\n"
    product.info.write_bytes(old_info)
    outside = product.folder.parent / "outside.txt"
    outside.write_text("keep")
    if case == "info-missing":
        pass  # the server knows no info file
    elif case == "info-html":
        product.server.add_file(f"/product/{INFO_NAME}",
                                b"<HTML><HEAD><TITLE>Moved</TITLE></HEAD><BODY>Gone</BODY></HTML>")
    elif case == "token":
        update = product.serve_update(token="someone-elses-token")
        product.serve_info(update, NewSetup=new_setup)
    elif case == "short":
        update = product.serve_update()
        product.server.add_route(f"/product/{UPDATE_NAME}", "short", body=update.read_bytes(), send=100)
        product.serve_info(update, NewSetup=new_setup)
    elif case == "own-name":
        update = product.serve_update(name="agent.exe")
        product.serve_info(update, NewSetup={**new_setup, "NameOfUpdateFile": "..\\agent.exe"})
    elif case == "engine-fails":
        served_info(product, **new_setup)
        env = product.engine.env(exit_code=1603)
    else:
        served_info(product, **new_setup)
    agent_file = product.agent.read_bytes()
    running = RunningProduct(start_windows, product,
                             *(("/ignoreclose=1",) if case == "will-not-close" else ()))
    assert product.start("/SleepX=0", USER_CHECK, env=env).exit_code == 0
    assert box(ui_driver, "click:1")().finish().gone_ms is not None
    # The user asked for this check: what went wrong is told in a box.
    told = case not in ("own-name", "engine-fails")
    if told:
        box_seen = box(ui_driver, "click:1")().finish().window
    else:
        watch = window_watch("VMsgBox", ["click:1"], wait=120)
    end = CYCLE_END if case not in ("info-missing", "info-html") else "GetOkToPerformAU ="
    harness.wait_for(lambda: any(end in r for r in product.log_records()), 150, "the probe's end")
    if not told:
        assert watch.seen(timeout=60) is None
    records = [r[3:] for r in product.log_records() if r.startswith(" X ")]

    assert product.engine.runs() == [] or case == "engine-fails"
    assert product.read_original()["OriginalSetup"]["VersionOriginal"] == "100"
    assert not (product.folder / UPDATE_NAME).exists()
    assert outside.read_text() == "keep" and product.agent.read_bytes() == agent_file
    if case in ("info-missing", "info-html"):
        assert product.info.read_bytes() == old_info  # an error answer never replaces it
        assert not downloads(product, UPDATE_NAME)
        assert any("GetOkToPerformAU = 0" in r for r in records), records
        assert running.running()
        return
    assert result_of(records) == "FALSE"
    if case == "token":
        assert any("ERROR: Bad Secret Token!" in r for r in records), records
        assert "Bad Secret Token!" in box_text(box_seen)
    if case == "short":
        assert any(r.startswith("ATTENTION: Unable to Download File!") for r in records), records
        assert "Unable to Download File!" in box_text(box_seen)
    if case == "own-name":
        assert any("refused update file name: ..\\agent.exe" in r for r in records), records
        assert not downloads(product, "agent.exe")
    if case == "will-not-close":
        assert any("Product.exe is still running" in r for r in records), records
        assert "still running" in box_text(box_seen)
    if case == "engine-fails":
        assert len(product.engine.runs()) == 1
        # Shut down for the update, started again although the setup failed.
        assert not running.running()
        harness.wait_for(running.restarted, 60, "the product started again")
    else:
        assert running.running() and not running.restarted()


def test_test_mode_takes_the_local_folder_and_asks_the_server_nothing(
        agent_product, registry_value, ui_driver, tmp_path):
    product = agent_product
    product.write_original(AutoUpdate=TEXTS)
    update, info = served_info(product)
    local = tmp_path / "test-location"
    local.mkdir()
    (local / INFO_NAME).write_bytes(info)
    (local / UPDATE_NAME).write_bytes(update.read_bytes())
    key = r"HKCU\Software\Wexmoral\Varnix\AutoUpdate"
    registry_value(key, "TestMode", "1")
    registry_value(key, "TestModeURL", harness.to_windows_path(local))
    registry_value(key, "TestModeDate", time.strftime("%d-%b-%Y").upper())

    records = run_cycle(product, USER_CHECK, boxes=[box(ui_driver, "click:1"), box(ui_driver, "click:1")])

    assert result_of(records) == "TRUE"
    assert product.requests() == []
    engine_arguments(product.engine.wait_for_run(), product)
    assert product.read_original()["OriginalSetup"]["VersionOriginal"] == "101"
    # The test location's files are the publisher's: copied, never removed.
    assert (local / UPDATE_NAME).read_bytes() == update.read_bytes()
    assert (local / INFO_NAME).read_bytes() == info


TEST_MODE_KEY = r"HKCU\Software\Wexmoral\Varnix\AutoUpdate"
# A share nobody serves: looking for a file there fails without a server.
UNREACHABLE_SHARE = r"\\127.0.0.1\nosuchshare\updates"


@pytest.fixture
def shared_folder(wine_env, tmp_path):
    """A folder the Wine prefix serves as the share \\\\varnixserver\\updates
    (Wine looks a UNC path up under dosdevices/unc); returns (folder, UNC path)."""
    folder = tmp_path / "share"
    folder.mkdir()
    server = Path(os.environ["WINEPREFIX"]) / "dosdevices" / "unc" / "varnixserver"
    server.mkdir(parents=True, exist_ok=True)
    link = server / "updates"
    link.unlink(missing_ok=True)
    link.symlink_to(folder)
    yield folder, r"\\varnixserver\updates"
    link.unlink(missing_ok=True)


@pytest.mark.parametrize("case", [
    "share",       # outside test mode: a share would be handed the user's credentials
    "drive",       # outside test mode, a local folder holding a good update: refused all the same
    "test-share",  # test mode on a share: the update is copied from there and installed
    "withdrawn",   # test mode on a share whose update goes while the user is asked
])
def test_update_folders_are_refused_outside_test_mode_and_a_missing_file_is_named(
        agent_product, start_windows, ui_driver, window_watch, registry_value, product_processes,
        shared_folder, tmp_path, case):
    product = agent_product
    product.write_original(OriginalSetup=SCHEDULED, AutoUpdate=TEXTS)
    update = product.serve_update()
    share, share_path = shared_folder
    local = tmp_path / "local-updates"
    local.mkdir()
    (local / UPDATE_NAME).write_bytes(update.read_bytes())
    test_mode = case in ("test-share", "withdrawn")
    base = {"share": UNREACHABLE_SHARE, "drive": harness.to_windows_path(local)}.get(case, share_path)
    info = product.serve_info(update, NewSetup={"DownloadURL_UPDATE": base, "ShutDownMethod": "Using WM_CLOSE",
                                                "RequestConfirmationBeforeDownload": 1})
    if test_mode:
        (share / INFO_NAME).write_bytes(info)
        (share / UPDATE_NAME).write_bytes(update.read_bytes())
        registry_value(TEST_MODE_KEY, "TestMode", "1")
        registry_value(TEST_MODE_KEY, "TestModeURL", share_path)
        registry_value(TEST_MODE_KEY, "TestModeDate", time.strftime("%d-%b-%Y").upper())
    running = RunningProduct(start_windows, product)
    seen: list = []
    if case == "withdrawn":
        def publisher_withdraws_the_update():
            # The publisher takes the file away while the user reads the offer.
            driver = ui_driver("VMsgBox", ("click:1",), pause=True, wait=120, gone=30)
            seen.append(driver.window())
            (share / UPDATE_NAME).unlink()
            return driver
        records = run_cycle(product, boxes=[publisher_withdraws_the_update, box(ui_driver, "click:1", seen=seen)])
    elif case == "test-share":
        records = run_cycle(product, boxes=[box(ui_driver, "click:1", seen=seen)])
    else:
        watch = window_watch("VMsgBox", ["click:1"], wait=120)
        assert product.start("/SleepX=0").exit_code == 0
        harness.wait_for(lambda: any("GetOkToPerformAU =" in r for r in product.log_records()), 150,
                         "the decision")
        assert watch.seen(timeout=60) is None, "a folder outside test mode got as far as a question"
        records = [r[3:] for r in product.log_records() if r.startswith(" X ")]

    assert product.requests(f"/product/{UPDATE_NAME}") == []
    if test_mode:
        assert product.requests() == []  # test mode asks the server nothing
        assert "Download it?" in box_text(seen[0])
    if case == "test-share":
        assert result_of(records) == "TRUE"
        engine_arguments(product.engine.wait_for_run(), product)
        assert product.read_original()["OriginalSetup"]["VersionOriginal"] == "101"
        assert (share / UPDATE_NAME).read_bytes() == update.read_bytes()  # the publisher's, never removed
        assert not running.running()  # closed for the update
        return
    assert product.engine.runs() == []
    assert product.read_original()["OriginalSetup"]["VersionOriginal"] == "100"
    assert not (product.folder / UPDATE_NAME).exists()
    assert running.running() and not running.restarted()
    if case == "withdrawn":
        missing = f"{share_path}\\{UPDATE_NAME}"
        assert "File not Found!" in box_text(seen[1]) and missing in box_text(seen[1])
        assert f"ATTENTION: File not Found!<P><P>{missing}" in records, records
        assert result_of(records) == "FALSE"
    else:
        assert any(r == "GetOkToPerformAU = 5 - Download file size error" for r in records), records
        assert f"  Refused: not an http or https location: {base}" in records, records
        assert not any(CYCLE_END in r for r in records), records
        assert (local / UPDATE_NAME).read_bytes() == update.read_bytes()
