"""The representative part of the end-to-end tier under every Windows
version of the matrix (see conftest.py): a setup run with its main window
and engine, the disk prompt, a web-stub download, and the agent's probe,
offer, shut-down by each method and restart. The tests are those of tier 3,
run again here under each version; what depends on the version is checked
through what the stub traces and does: the name it gives the system, how it
looks programs up, the registry key and view it reads the owner from, and
the folders it expands."""

from __future__ import annotations

import re

import pytest

import harness
import test_setup_run as setup_run
import test_web_stub as web_stub
from agent_fixtures import UPDATE_NAME
from test_path_macros import registry_values
from test_update_cycle import (  # noqa: F401 (the fixture and test run here too)
    product_processes, result_of, run_cycle, test_each_shut_down_method_and_the_restart)
from test_web_stub import served_setup  # noqa: F401 (fixture)

# The stub's start-up trace of the system, by version. Wine's kernel32.dll
# has product version 10.0.18362 whatever version Wine reports; the stub
# declares Windows 10 in its manifest, so only Windows 8.1 (6.3) is
# corrected from it, and is then named 10. Wine answers the image-name query
# under every version, so NT 4 and XP use it too (a real NT 4 or XP lacks it
# and takes the process-status route).
WINDOWS_TRACES = {
    "win98": r"Windows 98 \(4\.10\.2222 A, 9x\) 64-bit=FALSE programs by tool help",
    "nt40": r"Windows NT \(4\.0\.1381 Service Pack 6a, NT\) 64-bit=FALSE programs by image names",
    "winxp": r"Windows XP \(5\.1\.2600 Service Pack 3, NT\) 64-bit=FALSE programs by image names",
    "win7": r"Windows 7 \(6\.1\.7601 Service Pack 1, NT\) 64-bit=FALSE programs by image names",
    "win81": r"Windows 10 \(10\.0\.18362, NT\) 64-bit=FALSE programs by image names",
    "win10": r"Windows 10 \(10\.0\.\d+, NT\) 64-bit=FALSE programs by image names",
    "win64": r"Windows 10\.64 \(10\.0\.\d+, NT\) 64-bit=TRUE programs by image names",
}

# The owner under each key and registry view the stub could read it from, in
# the order written: on a 32-bit prefix both views are one key, and the
# last value stays.
OWNERS = [
    (r"HKLM\Software\Microsoft\Windows\CurrentVersion", "32", "Owner 9x"),
    (r"HKLM\Software\Microsoft\Windows NT\CurrentVersion", "32", "Owner NT, 32-bit view"),
    (r"HKLM\Software\Microsoft\Windows NT\CurrentVersion", "64", "Owner NT"),
]
# Windows 98 without SHFolder.dll (it came with Internet Explorer 5): the
# shell has no answer for the application-data folder.
WITHOUT_SHFOLDER = {"WINEDLLOVERRIDES": "shfolder="}


@pytest.mark.windows_versions(*WINDOWS_TRACES)
def test_the_stub_names_the_system_and_its_lookup_route(pack, start_setup, fake_engine, debug_viewer,
                                                        work_dir, windows_version):
    program = setup_run.build_setup(pack, work_dir, setup_run.payload(fake_engine.program))

    run = start_setup(program, env=fake_engine.env(exit_code=5)).wait()

    assert run.exit_code == 5, run.stdout
    trace = debug_viewer.wait_for_text(" ==== Windows ")
    line = trace.split(" ==== Windows ", 1)[1].split("\n", 1)[0].strip()
    assert re.fullmatch(WINDOWS_TRACES[windows_version], "Windows " + line), line


def test_setup_run_with_its_main_window_and_engine(pack, start_setup, fake_engine, ui_driver, screenshot,
                                                   work_dir):
    setup_run.test_main_window_while_unpacking(
        pack, start_setup, fake_engine, ui_driver, screenshot, work_dir,
        setup_run.ENGLISH, "ShowActivityBar = 1", "Varnix Test Setup", "Extracting Files...", False)


def test_missing_volume_asks_for_its_disk(pack, start_setup, fake_engine, ui_driver, tmp_path, work_dir):
    setup_run.test_missing_volume_asks_for_its_disk(
        pack, start_setup, fake_engine, ui_driver, tmp_path, work_dir, 2, 2, False, "ok")


def test_web_stub_downloads_checks_and_runs_the_engine(pack, start_setup, fake_engine, http_server,
                                                       served_setup, work_dir):  # noqa: F811
    web_stub.test_web_stub_downloads_checks_and_runs_the_engine(
        pack, start_setup, fake_engine, http_server, served_setup, work_dir)


@pytest.fixture
def owners(wine_env):
    """A different registered owner under each key and view the stub could
    read it from; the values found before are put back at the end."""
    before = []
    for key, view, value in OWNERS:
        before.append((key, view, harness.registry_value_of(key, "RegisteredOwner", view)))
        harness.set_registry_value(key, "RegisteredOwner", value, view)
    yield
    for key, view, value in reversed(before):
        if value is None:
            harness.delete_registry_value(key, "RegisteredOwner", view)
        else:
            harness.set_registry_value(key, "RegisteredOwner", value, view)


def expected_product_path(running: str, windows_version: str) -> str:
    """The path the agent must make of `running`, from what the prefix holds."""
    # 9x reads the Windows key, NT the Windows NT key, and 64-bit Windows
    # its 64-bit view (the key's plain name, as 64-bit reg.exe writes it).
    owner = "Owner 9x" if windows_version == "win98" else "Owner NT"
    if windows_version == "win98":
        # No profiles folder in the prefix: the Windows folder stands in.
        app_data = r"C:\windows\Application Data"
    else:
        app_data = registry_values(
            r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders")["appdata"]
    # The 32-bit registry view: on 64-bit Windows the folder of 32-bit programs.
    program_files = r"C:\Program Files (x86)" if windows_version == "win64" else r"C:\Program Files"
    return (running.replace("<UserAppDataDir>", app_data).replace("<UserName>", owner)
            .replace("<ProgramFilesDir>", program_files))


@pytest.mark.parametrize("running", [r"<UserAppDataDir>\<UserName>\Product.exe",
                                     r"<ProgramFilesDir>\Product.exe"])
def test_the_agent_expands_the_products_program_for_this_system(agent_product, owners, windows_version,
                                                                running):
    product = agent_product
    # A scheduled probe, which asks nothing; the product's folder takes in
    # the whole drive, so any folder the macros give counts as inside.
    product.write_original(OriginalSetup={"ProbeSecondsLast": 0}, Directories={"TargetDir": "C:\\"})
    product.serve_info(product.serve_update(), NewSetup={"RunningProcess": running})

    records = run_cycle(product, env=WITHOUT_SHFOLDER if windows_version == "win98" else None)

    assert result_of(records) == "TRUE"
    expected = expected_product_path(running, windows_version)
    paths = [r for r in records if r.startswith("RunningProcessPath=")]
    assert paths == [f"RunningProcessPath={expected}  Running=FALSE"], records
    assert not (product.folder / UPDATE_NAME).exists()
