"""Path macros and special folders on a real system: macro-probe.exe expands
macros and looks the special folders up through the product's library; the
answers are held against what the Wine prefix holds on disk and in its
registry's shell-folder keys."""

from __future__ import annotations

import datetime
import json
import os
import re
import subprocess
from pathlib import Path, PureWindowsPath

import pytest

import harness

USER_SHELL_FOLDERS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
COMMON_SHELL_FOLDERS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"

# The special folders whose shell answer the registry records, by the name
# of its value.
REGISTERED = [
    ("UserAppDataDir", USER_SHELL_FOLDERS, "AppData"),
    ("UserLocalAppDataDir", USER_SHELL_FOLDERS, "Local AppData"),
    ("MyDocumentsDir", USER_SHELL_FOLDERS, "Personal"),
    ("UserStartMenuDir", USER_SHELL_FOLDERS, "Start Menu"),
    ("UserStartProgramMenuDir", USER_SHELL_FOLDERS, "Programs"),
    ("UserDesktopDir", USER_SHELL_FOLDERS, "Desktop"),
    ("AllUsersAppDataDir", COMMON_SHELL_FOLDERS, "Common AppData"),
    ("AllUsersDocumentsDir", COMMON_SHELL_FOLDERS, "Common Documents"),
    ("AllUsersStartMenuDir", COMMON_SHELL_FOLDERS, "Common Start Menu"),
    ("AllUsersStartProgramMenuDir", COMMON_SHELL_FOLDERS, "Common Programs"),
    ("AllUsersDesktopDir", COMMON_SHELL_FOLDERS, "Common Desktop"),
]


def probe_program(artefacts) -> Path:
    # The test helpers are built beside the launcher.
    return harness.require(artefacts.launcher.parent / "macro-probe.exe")


def run_probe(run_windows, artefacts, *texts: str, relative: bool = False, cwd=None) -> dict:
    args = " ".join(f'"{text}"' for text in texts)
    flag = "--relative " if relative else ""
    run = run_windows(f'"{harness.to_windows_path(probe_program(artefacts))}" {flag}{args}', cwd=cwd)
    assert run.exit_code == 0, run.stdout
    # The launcher adds its own lines after the probe's JSON.
    found, _ = json.JSONDecoder().raw_decode(run.stdout.lstrip())
    return found


def registry_values(key: str) -> dict[str, str]:
    """Every string value of a key, by lower-case name, from one `reg query`."""
    result = subprocess.run(["wine", "reg", "query", key], stdin=subprocess.DEVNULL,
                            capture_output=True, check=False)
    values = {}
    for line in result.stdout.decode(harness.ANSI, errors="replace").splitlines():
        parts = re.split(r"\s{4}", line.strip())
        if len(parts) == 3 and parts[1] in ("REG_SZ", "REG_EXPAND_SZ"):
            values[parts[0].lower()] = parts[2]
    return values


def same_windows_path(a: str, b: str) -> bool:
    return PureWindowsPath(a) == PureWindowsPath(b)


def unix(path: str) -> Path:
    return harness.from_windows_path(path)


def drive_c() -> Path:
    return Path(os.environ["WINEPREFIX"]) / "drive_c"


def test_macros_give_the_prefixes_real_folders(run_windows, artefacts):
    before = datetime.date.today()
    probe = run_probe(run_windows, artefacts, "<LoggedUserName>", "<WinDir>", "<WinSysDir>",
                      "<FontDir>", "<ProgramFilesDir>", "<TempDir>", "<date=6>",
                      "<SrcDir>\\macro-probe.exe", "<UserDir>\\x.txt")
    after = datetime.date.today()
    user, windir, sysdir, fonts, program_files, temp, date, src, in_user_dir = probe["expanded"]
    folders = probe["folders"]

    assert (drive_c() / "users" / user).is_dir(), user
    assert unix(windir) == drive_c() / "windows"
    assert unix(sysdir) == drive_c() / "windows" / "system32"
    assert unix(fonts) == drive_c() / "windows" / "Fonts"
    assert unix(program_files) == drive_c() / "Program Files"
    assert unix(temp).is_dir(), temp
    assert date in (before.isoformat(), after.isoformat())
    assert unix(src) == probe_program(artefacts)
    # A folder macro followed by a name gets one backslash between them.
    assert in_user_dir == folders["UserDir"] + "\\x.txt"

    # The user's folder and its parent come from the documents folder.
    assert unix(folders["MyDocumentsDir"]) == drive_c() / "users" / user / "Documents"
    assert unix(folders["UserDir"]) == drive_c() / "users" / user
    assert unix(folders["DocumentsAndSettingsDir"]) == drive_c() / "users"
    # C:\ProgramData's parent, a bare drive.
    assert folders["AllUsersDir"].upper() == "C:"

    # The shell recorded its answers while the probe asked: every folder is
    # the shell's, and exists.
    registered = {USER_SHELL_FOLDERS: registry_values(USER_SHELL_FOLDERS),
                  COMMON_SHELL_FOLDERS: registry_values(COMMON_SHELL_FOLDERS)}
    for macro, key, name in REGISTERED:
        stored = registered[key].get(name.lower())
        assert stored, f"{key} has no {name}: {registered[key]}"
        assert same_windows_path(folders[macro], stored), (macro, folders[macro], stored)
        assert unix(folders[macro]).is_dir(), macro


def test_relative_steps_resolve_against_the_program_folder(run_windows, artefacts, work_dir):
    helpers = probe_program(artefacts).parent
    # Started elsewhere: the current folder must not matter.
    probe = run_probe(run_windows, artefacts, "..\\sibling\\tool.exe", "<WinDir>\\..\\x.dll",
                      relative=True, cwd=work_dir)
    tool, dll = probe["expanded"]
    assert same_windows_path(tool, harness.to_windows_path(helpers.parent / "sibling" / "tool.exe")), tool
    assert same_windows_path(dll, "C:\\x.dll"), dll


def test_missing_desktop_falls_back_to_a_derived_folder(run_windows, artefacts):
    probe = run_probe(run_windows, artefacts, "<UserDir>")
    desktop = unix(probe["folders"]["UserDesktopDir"])
    assert desktop.is_dir()
    away = desktop.with_name(desktop.name + ".away")
    desktop.rename(away)
    try:
        probe = run_probe(run_windows, artefacts, "<UserDesktopDir>\\a.lnk")
    finally:
        away.rename(desktop)
    # The shell has no answer for a folder that is gone; the user folder has
    # no Desktop either, so the all-users folder's is taken, unchecked.
    assert probe["shell"]["16"] == ""
    assert probe["folders"]["UserDesktopDir"].upper() == "C:\\DESKTOP"
    assert probe["expanded"] == [probe["folders"]["UserDesktopDir"] + "\\a.lnk"]
