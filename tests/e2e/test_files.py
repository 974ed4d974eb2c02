"""File utilities seen from outside: a program that deletes itself after it
has ended (self-delete.exe, which calls the product's DeleteMySelf), and the
removal of a folder tree that holds a link to a folder outside it, or is one
(remove-tree.exe, the product's RemoveFolderTree)."""

from __future__ import annotations

import os
import re
import shutil
import stat
from pathlib import Path

import pytest

import harness


def helper(artefacts, name: str):
    # The test helpers are built beside the launcher.
    return harness.require(artefacts.launcher.parent / name)


def batch_path(stdout: str):
    found = re.search(r"^BATCH=(.+?)\s*$", stdout, re.MULTILINE)
    assert found, stdout
    return harness.from_windows_path(found.group(1))


@pytest.mark.parametrize("remove_folder, read_only", [
    (False, False),  # the agent's transient copy: only the file goes
    (True, False),  # the multi-disk copy: its folder goes too
    (True, True),  # copied from a CD: a read-only file must not make the batch spin
])
def test_program_deletes_itself_after_it_ended(run_windows, artefacts, work_dir, remove_folder, read_only):
    folder = work_dir / "copy"
    folder.mkdir()
    program = folder / "X_agent.exe"
    shutil.copyfile(helper(artefacts, "self-delete.exe"), program)
    if read_only:
        program.chmod(stat.S_IRUSR | stat.S_IXUSR)
    args = " /folder" if remove_folder else ""

    # Started inside the folder: the program must leave it before the batch runs.
    run = run_windows(f'"{harness.to_windows_path(program)}"{args}', cwd=folder)

    assert run.exit_code == 0, run.stdout
    batch = batch_path(run.stdout)
    harness.wait_for(lambda: not program.exists(), 10, "the program file to go")
    harness.wait_for(lambda: not batch.exists(), 10, "the batch file to delete itself")
    if remove_folder:
        harness.wait_for(lambda: not folder.exists(), 10, "the emptied folder to go")
    else:
        assert folder.is_dir()


def test_folder_with_other_files_stays(run_windows, artefacts, work_dir):
    folder = work_dir / "copy"
    folder.mkdir()
    program = folder / "Y_setup.exe"
    shutil.copyfile(helper(artefacts, "self-delete.exe"), program)
    (folder / "engine.exe").write_bytes(b"still needed")

    run = run_windows(f'"{harness.to_windows_path(program)}" /folder')

    assert run.exit_code == 0, run.stdout
    batch = batch_path(run.stdout)
    harness.wait_for(lambda: not program.exists(), 10, "the program file to go")
    harness.wait_for(lambda: not batch.exists(), 10, "the batch file to delete itself")
    assert (folder / "engine.exe").read_bytes() == b"still needed"


@pytest.mark.parametrize("folder_name, program_name, bystander", [
    # cmd expands "%" inside quotes: left alone, "%2" (the batch's empty second
    # argument) turns the name into "setup0(1).exe", which would go instead
    ("copy", "setup%20(1).exe", "setup0(1).exe"),
    # cmd reads a batch file in the OEM code page (437 here: "é" is 0x82),
    # while a Windows program's paths are ANSI (1252: "é" is 0xE9)
    ("Café", "Y_setup.exe", None),
])
def test_program_with_an_awkward_path_deletes_itself(run_windows, artefacts, work_dir, folder_name,
                                                     program_name, bystander):
    folder = work_dir / folder_name
    folder.mkdir()
    program = folder / program_name
    shutil.copyfile(helper(artefacts, "self-delete.exe"), program)
    if bystander:
        (folder / bystander).write_bytes(b"not mine")

    run = run_windows(f'"{harness.to_windows_path(program)}" /folder')

    assert run.exit_code == 0, run.stdout
    batch = batch_path(run.stdout)
    harness.wait_for(lambda: not program.exists(), 10, "the program file to go")
    harness.wait_for(lambda: not batch.exists(), 10, "the batch file to delete itself")
    if bystander:
        assert (folder / bystander).read_bytes() == b"not mine"
    else:
        harness.wait_for(lambda: not folder.exists(), 10, "the emptied folder to go")


def test_two_programs_deleting_themselves_at_once_both_go(start_windows, artefacts, work_dir):
    go = work_dir / "go"
    programs, runs = [], []
    for name in ("first", "second"):
        (work_dir / name).mkdir()
        program = work_dir / name / "X_agent.exe"
        shutil.copyfile(helper(artefacts, "self-delete.exe"), program)
        ready = work_dir / f"{name}.ready"
        runs.append(start_windows(f'"{harness.to_windows_path(program)}" /folder '
                                  f'/ready={harness.to_windows_path(ready)} /go={harness.to_windows_path(go)}'))
        programs.append((program, ready))
    harness.wait_for(lambda: all(ready.exists() for _, ready in programs), 30, "both programs to run")
    go.write_text("")  # both write and start their batches within moments of each other

    batches = []
    for run in runs:
        finished = run.wait()
        assert finished.exit_code == 0, finished.stdout
        batches.append(batch_path(finished.stdout))
    for program, _ in programs:
        harness.wait_for(lambda: not program.exists(), 10, f"{program} to go")
        harness.wait_for(lambda: not program.parent.exists(), 10, f"{program.parent} to go")
    for batch in batches:
        harness.wait_for(lambda: not batch.exists(), 10, f"{batch} to delete itself")


def test_removal_does_not_follow_a_folder_link(run_windows, artefacts, work_dir):
    outside = work_dir / "outside"
    (outside / "inner").mkdir(parents=True)
    (outside / "precious.txt").write_text("keep")
    (outside / "inner" / "deep.txt").write_text("keep too")
    tree = work_dir / "tree"
    (tree / "sub").mkdir(parents=True)
    (tree / "sub" / "file.txt").write_text("goes")
    os.symlink(outside, tree / "link", target_is_directory=True)

    remover = harness.to_windows_path(helper(artefacts, "remove-tree.exe"))
    run = run_windows(f'"{remover}" "{harness.to_windows_path(tree)}"')

    assert "REMOVED=" in run.stdout, run.stdout
    assert (outside / "precious.txt").read_text() == "keep"
    assert (outside / "inner" / "deep.txt").read_text() == "keep too"
    assert not (tree / "sub").exists()


def test_removal_of_a_folder_link_leaves_its_target_alone(run_windows, artefacts, work_dir):
    # Wine follows a link in RemoveDirectoryA and cannot remove one whose
    # target holds files; Windows removes the link. Either way the target stays.
    outside = work_dir / "outside"
    (outside / "inner").mkdir(parents=True)
    (outside / "precious.txt").write_text("keep")
    (outside / "inner" / "deep.txt").write_text("keep too")
    link = work_dir / "link"
    os.symlink(outside, link, target_is_directory=True)

    remover = harness.to_windows_path(helper(artefacts, "remove-tree.exe"))
    run = run_windows(f'"{remover}" "{harness.to_windows_path(link)}"')

    assert f"REMOVED={0 if os.path.lexists(link) else 1}" in run.stdout, run.stdout
    assert (outside / "precious.txt").read_text() == "keep"
    assert (outside / "inner" / "deep.txt").read_text() == "keep too"


def test_removal_refuses_a_whole_drive(run_windows, artefacts, work_dir):
    # A drive letter of the prefix that points at a folder of the test, so a
    # failure can only cost that folder.
    drive = work_dir / "drive"
    (drive / "sub").mkdir(parents=True)
    (drive / "kept.txt").write_text("kept")
    letter = next(c for c in "ypqrstuvwx" if not (Path(os.environ["WINEPREFIX"]) / "dosdevices" / f"{c}:").exists())
    link = Path(os.environ["WINEPREFIX"]) / "dosdevices" / f"{letter}:"
    link.symlink_to(drive, target_is_directory=True)
    remover = harness.to_windows_path(helper(artefacts, "remove-tree.exe"))
    try:
        # Unquoted: a backslash before a closing quote would escape it.
        works = run_windows(f'"{remover}" {letter}:\\sub').stdout
        refused = [run_windows(f'"{remover}" {path}').stdout for path in (f"{letter.upper()}:\\", f"{letter}:")]
    finally:
        link.unlink()
    assert "REMOVED=1" in works and not (drive / "sub").exists(), works  # the drive letter works
    assert all("REMOVED=0" in out for out in refused), refused
    assert (drive / "kept.txt").read_text() == "kept"
