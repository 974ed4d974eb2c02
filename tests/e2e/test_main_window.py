"""The main window of a setup run, driven from outside as a user or another
process would: the Close command while the files are unpacked and while the
engine runs, the messages other processes send it, the progress bar's range,
and a window that cannot be made at all."""

from __future__ import annotations

import random
import harness
import package_layout as layout
from test_setup_run import (RUN_FAILED, USER_DECLINED, assert_gone, build_setup,
                            build_split_setup, engine_folder, payload, working_folder_of)


WM_CLOSE = 16
WM_LOCAL_MSG = 0x0400 + 100  # the host registers itself with it
HOST_MESSAGE = 0x0400 + 500  # the number the host asks to be told with
PROGRESS_BAR = (70, 38, 462, 51)

# Stored random data unpacks at disk speed but still takes a while: long
# enough for a Close to arrive while the walk is in the middle of it.
BIG_FILES = {f"data/part{n}.bin": random.Random(n).randbytes(24 << 20) for n in range(6)}


def temp_folder_entries() -> set[str]:
    return {p.name for p in harness.from_windows_path(harness.windows_temp_folder()).iterdir()}


def main_window_class(program) -> str:
    return harness.to_windows_path(program)


def test_close_during_unpacking_cancels_the_run(pack, start_setup, fake_engine, ui_driver,
                                                debug_viewer, work_dir):
    program = build_setup(pack, work_dir, payload(fake_engine.program, **BIG_FILES),
                          package="Compression = 0")
    folder = harness.from_windows_path(working_folder_of(program))
    temp_before = temp_folder_entries()
    driver = ui_driver(main_window_class(program), ["wmclose"], pause=True, gone=60)

    process = start_setup(program, env=fake_engine.env())
    driver.window()
    # Close once the walk has begun writing, not before it starts.
    harness.wait_for(lambda: (folder / "data" / "part0.bin").exists(), 60, "the unpacking to begin")
    driver.proceed()
    run = process.wait()

    assert run.exit_code == USER_DECLINED, run.stdout
    assert fake_engine.runs() == [], "a cancelled run must launch nothing"
    text = debug_viewer.wait_for_text("UnpackPackage stopped")
    assert "UnpackPackage stopped: the run was asked to stop" in text
    assert "UnCompressTime:" in text, "the walk returned before the run ended"
    assert_gone(working_folder_of(program))
    assert temp_folder_entries() <= temp_before, "nothing of the run stays in the temp folder"


def test_close_twice_during_unpacking_leaves_nothing_behind(pack, start_setup, fake_engine,
                                                            ui_driver, debug_viewer, work_dir):
    program = build_setup(pack, work_dir, payload(fake_engine.program, **BIG_FILES),
                          package="Compression = 0")
    folder = harness.from_windows_path(working_folder_of(program))
    temp_before = temp_folder_entries()
    # Sent, not posted: both closes reach the window before the walk can end.
    driver = ui_driver(main_window_class(program), [f"send:{WM_CLOSE}:0:0"] * 2, pause=True,
                       gone=60)

    process = start_setup(program, env=fake_engine.env())
    driver.window()
    harness.wait_for(lambda: (folder / "data" / "part0.bin").exists(), 60, "the unpacking to begin")
    driver.proceed()
    run = process.wait()
    closing = driver.finish()

    assert run.exit_code == USER_DECLINED, run.stdout
    assert fake_engine.runs() == []
    assert closing.gone_ms is not None
    assert "UnCompressTime:" in debug_viewer.wait_for_text("UnCompressTime:")
    assert_gone(working_folder_of(program))
    assert temp_folder_entries() <= temp_before


def test_close_while_the_engine_runs_keeps_its_folder(pack, start_setup, fake_engine, ui_driver,
                                                      work_dir):
    files = payload(fake_engine.program)
    program = build_setup(pack, work_dir, files)
    process = start_setup(program, env=fake_engine.env(exit_code=31, hold_engine=True))
    folder = engine_folder(fake_engine.wait_for_run())
    # The window is hidden while the engine runs; another process can still
    # close it. The first close leaves it; the second destroys it.
    driver = ui_driver(main_window_class(program), ["wmclose", "wmclose"], hidden=True, gone=10)

    closing = driver.finish()
    engine_files = harness.from_windows_path(folder)
    still_there = engine_files.exists() and (engine_files / "readme.txt").exists()
    assert process.running(), "premise: the engine still runs"
    fake_engine.release()
    run = process.wait()

    assert closing.steps[0][1] is not None, "the first close leaves the window"
    assert closing.gone_ms is not None, "the second close destroys it"
    assert still_there, "the engine's folder must stay while the engine runs"
    assert run.exit_code == 31, run.stdout
    assert_gone(folder)


def test_host_registering_itself_is_answered_at_once(pack, start_setup, fake_engine, ui_driver,
                                                     window_holder, work_dir):
    program = build_setup(pack, work_dir, payload(fake_engine.program))
    process = start_setup(program, env=fake_engine.env(hold_engine=True))
    fake_engine.wait_for_run()
    with window_holder("VarnixTestHost") as host:
        registering = ui_driver(main_window_class(program),
                                [f"send:{WM_LOCAL_MSG}:{host.hwnd}:{HOST_MESSAGE}"], hidden=True,
                                gone=1).finish()
        harness.wait_for(lambda: len(host.messages()) >= 2, 10, "the host's two notices")
        notices = host.messages()[:2]
    fake_engine.release()
    process.wait()

    assert notices == [(HOST_MESSAGE, 50, registering.window.data["hwnd"]),
                       (HOST_MESSAGE, 51, 1125)], "50 with the main window's handle, then 51"



def test_autoplay_is_refused_while_volumes_are_read(pack, start_setup, fake_engine, ui_driver,
                                                    work_dir):
    program, _ = build_split_setup(pack, work_dir, fake_engine.program, 2, False)
    process = start_setup(program, env=fake_engine.env(hold_engine=True))
    fake_engine.wait_for_run()

    answer = ui_driver(main_window_class(program), ["send:QueryCancelAutoPlay:0:0"], hidden=True,
                       gone=1).finish()
    fake_engine.release()
    process.wait()

    assert answer.results == (1,), "1 tells the shell not to start AutoPlay"


def set_file_count(program, count: int) -> None:
    data = bytearray(program.read_bytes())
    layout.write_trailer_u32(data, layout.FILE_COUNT, count)
    program.write_bytes(bytes(data))


def test_progress_range_holds_more_than_65535_files(pack, start_setup, fake_engine, ui_driver,
                                                    work_dir):
    files = payload(fake_engine.program)
    program = build_setup(pack, work_dir, files)
    # The range comes from the package's file count; a 16-bit range message
    # would wrap 70,000 to 4,464.
    set_file_count(program, 70_000)
    process = start_setup(program, env=fake_engine.env(hold_engine=True))
    fake_engine.wait_for_run()

    window = ui_driver(main_window_class(program), hidden=True, gone=60).window()
    fake_engine.release()
    run = process.wait()

    assert run.exit_code == 0, run.stdout
    [bar] = [c for c in window.controls if c.rect == PROGRESS_BAR]
    assert bar.progress == (0, 70_000, len(files))


def test_window_that_cannot_be_made_fails_the_run(pack, start_setup, fake_engine, window_watch,
                                                  tmp_path):
    # The window class is named after the program's full path, and a class
    # name longer than 255 characters cannot be registered.
    program_path = harness.to_windows_path(tmp_path) + "\\"
    deep = tmp_path / ("d" * max(1, 250 - len(program_path)))
    deep.mkdir()
    program = build_setup(pack, deep, payload(fake_engine.program),
                          name="s" * (258 - len(harness.to_windows_path(deep)) - 5) + ".exe")
    assert 255 < len(harness.to_windows_path(program)) < 260, "premise: a long but valid path"
    boxes = window_watch("VMsgBox", ["click:1"])

    run = start_setup(program, env=fake_engine.env()).wait()

    assert run.exit_code == RUN_FAILED, run.stdout
    assert fake_engine.runs() == []
    assert boxes.seen() is None
