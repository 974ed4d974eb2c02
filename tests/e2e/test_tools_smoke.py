"""The harness and its Windows helper programs work before any product test
relies on them: the debug viewer records what a sender delivers, the launcher
reports exit codes the Linux side cannot see, and a stand-in window appears and
goes away on request."""

import subprocess

import pytest

import harness


def send_debug(artefacts, *pieces: str) -> subprocess.CompletedProcess:
    return subprocess.run(harness.wine_command(artefacts.debug_send, *pieces),
                          stdin=subprocess.DEVNULL, capture_output=True, text=True, check=False)


def test_viewer_records_each_piece_as_sent(debug_viewer, artefacts):
    # A full-length atom (255 characters) is the largest piece a sender can
    # deliver; the viewer's buffer must not cut it.
    longest = "x" * 254 + "<"
    pieces = ["start\\r\\n", longest, "tail without line end"]

    result = send_debug(artefacts, *pieces)

    assert result.returncode == 0, result.stderr
    assert result.stdout.split() == ["ANSWER=1"] * 3
    assert debug_viewer.raw() == b"start\r\n" + longest.encode() + b"tail without line end"
    assert debug_viewer.pieces() == [7, 255, 21]


def test_viewer_window_is_gone_after_stop(wine_env, artefacts, tmp_path):
    # Tests of "no viewer running" depend on the fixture really ending it.
    viewer = harness.DebugViewer(artefacts.viewer, tmp_path / "viewer")
    try:
        assert send_debug(artefacts, "ping").returncode == 0
    finally:
        viewer.stop()

    result = send_debug(artefacts, "nobody listens")

    assert result.returncode == 1, result.stdout
    assert viewer.pieces() == [4]


@pytest.mark.parametrize("command, expected", [
    ("cmd /c exit 0", 0),
    ("cmd /c exit 1603", 1603),  # Linux would see 67
    ("cmd /c exit 256", 256),  # low byte 0: Linux would see 1
    ("cmd /c exit -1", 0xFFFFFFFF),  # the top bit survives
])
def test_launcher_reports_all_32_bits_of_the_exit_code(run_windows, command, expected):
    run = run_windows(command)
    assert run.exit_code == expected, run.stdout


def test_launcher_passes_command_line_and_folder_unchanged(run_windows, work_dir):
    # cmd echoes the rest of its line verbatim, so doubled blanks and quotes
    # show whether anything re-quoted the command line.
    run = run_windows('cmd /c echo "a  b"   c& cd', cwd=work_dir)

    lines = run.stdout.splitlines()
    assert lines[0] == '"a  b"   c'
    assert lines[1] == harness.to_windows_path(work_dir)
    assert run.exit_code == 0


def test_launcher_reports_a_program_that_cannot_start(run_windows, work_dir):
    with pytest.raises(harness.HarnessError, match="error 2"):
        run_windows(harness.to_windows_path(work_dir / "missing.exe"))


def test_launcher_ends_a_program_that_runs_too_long(run_windows, artefacts):
    holder = harness.to_windows_path(artefacts.window_holder)
    with pytest.raises(harness.WindowsTimeout):
        run_windows(f'"{holder}" .Smoke.NeverEnds', timeout=2)


def test_window_holder_logs_messages_and_ends_on_request(window_holder, artefacts):
    # Holding the viewer's class lets debug-send find the stand-in and send it
    # the registered message, which the stand-in must log.
    with window_holder(".VDebug.", title="stand-in") as holder:
        assert holder.hwnd != 0
        assert send_debug(artefacts, "to the stand-in").returncode == 2  # not answered 1
        (message, wparam, atom), = holder.messages()
        assert message >= 0xC000 and wparam == 1 and atom != 0
    assert not holder.running()
    assert send_debug(artefacts, "gone").returncode == 1


def test_screenshot_shows_the_display(debug_viewer, screenshot):
    png = screenshot("viewer", always=True)
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def test_windows_paths_map_back_to_unix(run_windows, work_dir):
    # A Windows path seen by a program must lead the test to the same file.
    run_windows("cmd /c echo written> note.txt", cwd=work_dir)
    assert harness.from_windows_path(harness.to_windows_path(work_dir / "NOTE.TXT")) == \
        work_dir / "note.txt"
    assert (work_dir / "note.txt").read_text().strip() == "written"
    assert harness.from_windows_path(r"C:\windows\Fonts\TAHOMA.TTF").is_file()


def test_pack_builds_a_package_from_text_and_files(pack, artefacts, tmp_path):
    out = tmp_path / "setup.exe"
    project = "[Package]\nType = setup\nFiles = files\nLaunch = bin/engine.exe\n"

    pack(project, {"bin/engine.exe": b"MZ engine", "readme.txt": "caf\xe9\r\n"}, out)

    listing = subprocess.run([str(artefacts.pack), "list", str(out)], capture_output=True,
                             text=True, check=True).stdout
    assert "bin\\engine.exe" in listing and "readme.txt" in listing, listing
    assert out.stat().st_size > artefacts.stub.stat().st_size
