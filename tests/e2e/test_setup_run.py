"""The ordinary setup run of a packed setup.exe, watched from outside: the
main window while it unpacks, volumes and disk prompts, the space question,
the engine the package names and what it was handed, the exit code through
the launcher, and the working folder gone afterwards.

The engine is fake-engine.exe packed as "engine.exe": it records its command
line, current folder, show state, the files beside it (sizes and CRC-32)
and whether the token atom was there, and takes its orders (exit code, atom,
a dialog left behind, a long run) from the environment the stub hands on.
Damaged packages are made by patching built ones, because the authoring tool
refuses to write them."""

from __future__ import annotations

import random
import re
import shutil
import subprocess
import time
import zlib
from pathlib import Path

import pytest

import harness
import package_layout as layout
from package_layout import volumes_of

USER_DECLINED = 1602
RUN_FAILED = 1603

SPAN_DISK_KEY = r"HKCU\Software\Wexmoral\Varnix\SpanDisk"
ATOM_PREFIX = "AutoUpdateAtomTokenByVarnix"

WS_THICKFRAME = 0x00040000
WS_MINIMIZEBOX = 0x00020000
WS_MAXIMIZEBOX = 0x00010000
WS_VISIBLE = 0x10000000
MAIN_WINDOW_STYLE = 0x02C80000  # caption, system menu, clip children
WS_EX_RTLREADING = 0x2000
SS_TYPEMASK, SS_RIGHT = 0x1F, 0x02
SW_HIDE, SW_SHOW = 0, 5
ERROR_BAD_EXE_FORMAT = 193

ENGLISH = """
[Language English]
s0 = Varnix Test Setup
"""

PROJECT = """
[Package]
Type = setup
Files = files
Launch = engine.exe
{package}

[Flags]
{flags}

[Settings]
Silent = {silent}
{settings}
{language}
"""


def payload(engine: bytes, **extra: bytes | str) -> dict[str, bytes | str]:
    """The engine and a few files that make the walk do real work: sub-folders,
    an empty file, text that inflates to many times its size, and data over
    one 64 KiB read that does not compress."""
    files: dict[str, bytes | str] = {
        "engine.exe": engine,
        "readme.txt": "Read me first.\r\n",
        "docs/guide.txt": "One more line of the guide.\r\n" * 3000,
        "docs/empty.txt": b"",
        "data/deep/noise.bin": random.Random(4).randbytes(70_000),
    }
    files.update(extra)
    return files


def as_bytes(content: bytes | str) -> bytes:
    return content if isinstance(content, bytes) else content.encode(harness.ANSI)


def build_setup(pack, folder: Path, files, package: str = "", flags: str = "", silent: int = 0,
                language: str = ENGLISH, name: str = "setup.exe", settings: str = "") -> Path:
    """Packs the files; returns the package's first file (its program)."""
    out = folder / name
    pack(PROJECT.format(package=package, flags=flags, silent=silent, settings=settings,
                        language=language), files, out)
    return out


def packed_sources(program: Path) -> Path:
    """The folder harness.pack packed for the program."""
    return program.parent / (program.name + ".project") / "files"


def build_split_setup(pack, folder: Path, engine: bytes, volumes: int, numbered: bool,
                      filler_size: int | None = None, package: str = "") -> tuple[Path, dict]:
    """A package whose first volume holds the stub and the engine and whose
    further volumes hold one filler file; returns the program and the files."""
    numbering = "NumberFirstVolume = 1" if numbered else ""
    # The first volume's size with the engine alone sets the volume size, so
    # the filler starts in volume 2 whatever the stub's and engine's sizes.
    probe = build_setup(pack, folder / "probe", {"engine.exe": engine}, package=package)
    volume_size = probe.stat().st_size + 512
    if filler_size is None:
        filler_size = volume_size // 2 + (volumes - 2) * volume_size
    files = {"engine.exe": engine,
             "data/filler.bin": random.Random(volumes).randbytes(filler_size)}
    out = folder / "setup.exe"
    build_setup(pack, folder, files, package=f"{package}\nVolumeSize = {volume_size}\n{numbering}")
    written = volumes_of(out)
    assert len(written) == volumes, [p.name for p in written]
    return written[0], files


def working_folder_of(program: Path) -> str:
    """The working folder a stub run uses: the temp folder, "SETUP_" and the
    time-of-day half of the program file's DOS time stamp."""
    t = time.localtime(program.stat().st_mtime)
    stamp = (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2)
    return rf"{harness.windows_temp_folder()}\SETUP_{stamp}"


def engine_folder(run: dict) -> str:
    return run["module"].rsplit("\\", 1)[0]


def assert_unpacked(run: dict, files) -> None:
    """Every packed file lies in the engine's folder with its exact content."""
    found = {f["name"].lower(): f for f in run["files"]}
    for name, content in files.items():
        data = as_bytes(content)
        entry = found.get(name.replace("/", "\\").lower())
        assert entry is not None, f"{name} was not unpacked; the engine saw {sorted(found)}"
        assert (entry["size"], entry["crc32"]) == (len(data), zlib.crc32(data)), name


def unix_time(filetime: int) -> float:
    return (filetime - 116_444_736_000_000_000) / 10_000_000


def assert_file_times(run: dict, sources: Path) -> None:
    """Unpacked files carry the packed files' times, to the DOS stamp's two
    seconds (rounded down)."""
    found = {f["name"].lower(): f for f in run["files"]}
    for source in (p for p in sources.rglob("*") if p.is_file()):
        entry = found[str(source.relative_to(sources)).replace("/", "\\").lower()]
        behind = source.stat().st_mtime - unix_time(entry["write_time"])
        assert 0 <= behind < 2.01, f"{source.name}: time off by {behind:.1f} s"


def assert_gone(windows_folder: str) -> None:
    assert not harness.from_windows_path(windows_folder).exists(), \
        f"{windows_folder} is still there after the run"


def split_command(command: str) -> tuple[str, str]:
    """A command line as its program (quotes dropped) and the rest."""
    if command.startswith('"'):
        program, _, rest = command[1:].partition('"')
        return program, rest.lstrip()
    program, _, rest = command.partition(" ")
    return program, rest


def folder_snapshot(folder: Path) -> dict[str, tuple[int, int]]:
    return {str(p.relative_to(folder)): (p.stat().st_size, p.stat().st_mtime_ns)
            for p in folder.rglob("*") if p.is_file()}


@pytest.mark.parametrize("stub_args, launch_args, tail", [
    ("", "", ""),  # nothing to hand on
    ("/A=1", "", "/A=1"),
    ("", "/B=2", "/B=2"),
    # the stub's own arguments first, then the entry's (blanks inside a value stay)
    ("/A=1 /lang=de", "/B=2 /C=x y", "/A=1 /lang=de /B=2 /C=x y"),
    # a run that already names its origin keeps it and gets no second one
    ('/OriginExe="C:\\media\\setup.exe"', "", '/OriginExe="C:\\media\\setup.exe"'),
])
def test_engine_gets_the_command_line_the_token_atom_and_its_folder(
        pack, start_setup, fake_engine, work_dir, stub_args, launch_args, tail):
    files = payload(fake_engine.program)
    program = build_setup(pack, work_dir, files,
                          package=f"LaunchArguments = {launch_args}" if launch_args else "")

    run = start_setup(program, stub_args, env=fake_engine.env(), cwd=work_dir).wait()

    assert run.exit_code == 0, run.stdout
    [engine] = fake_engine.runs()
    folder = engine_folder(engine)
    assert folder.lower() == working_folder_of(program).lower()
    assert re.fullmatch(r"_\d+", engine["th_id"] or ""), engine["cmdline"]
    origin = "" if "/OriginExe=" in tail else f' /OriginExe="{harness.to_windows_path(program)}"'
    assert engine["cmdline"] == (f'"{folder}\\engine.exe"' + (f" {tail}" if tail else "")
                                 + f" /TH_ID={engine['th_id']}" + origin)
    assert engine["atom_found"], "the token atom must exist when the engine starts"
    assert engine["parent"].lower() == "setup.exe"
    # The engine runs in the stub's current folder, not in the working folder.
    assert engine["cwd"].lower() == harness.to_windows_path(work_dir).lower()
    assert_gone(folder)


@pytest.mark.parametrize("package", [
    "",  # zlib entries
    "Compression = 0",  # stored entries
    "MaxEntrySize = 16K",  # a large file as several entries of one name, appended in order
])
def test_engine_finds_every_packed_file_beside_it(pack, start_setup, fake_engine, work_dir,
                                                  package):
    files = payload(fake_engine.program)
    program = build_setup(pack, work_dir, files, package=package)

    run = start_setup(program, env=fake_engine.env()).wait()

    assert run.exit_code == 0, run.stdout
    [engine] = fake_engine.runs()
    assert_unpacked(engine, files)
    assert_file_times(engine, packed_sources(program))
    assert_gone(engine_folder(engine))


@pytest.mark.parametrize("exit_code, atom", [
    (0, "delete"),
    (1234, "delete"),
    (3010, "delete"),  # "restart required" is the engine's to say
    (0x80070005, "delete"),  # all 32 bits
    (1234, "keep"),  # an engine that did not report success still decides the code
    (259, "delete"),  # the code that reads as "still active" must not keep the stub waiting
    (0, "keep"),
])
def test_engine_exit_code_becomes_the_stubs(pack, start_setup, fake_engine, work_dir,
                                            exit_code, atom):
    program = build_setup(pack, work_dir, payload(fake_engine.program))

    run = start_setup(program, env=fake_engine.env(exit_code=exit_code, atom=atom)).wait()

    assert run.exit_code == exit_code, run.stdout
    [engine] = fake_engine.runs()
    assert engine["atom_deleted"] == (atom == "delete")
    # The stub removes an atom the engine left, or every run would leak one.
    assert not fake_engine.atom_exists(ATOM_PREFIX + engine["th_id"])
    assert_gone(engine_folder(engine))


@pytest.mark.parametrize("name, numbered, written", [
    ("setup.exe", False, True),
    ("setup.exe", True, True),  # the first volume is setup.exe.001
    ("setup.run", False, False),  # only a program named .exe makes an agent
])
def test_update_agent_is_written_beside_the_files(pack, start_setup, fake_engine, work_dir,
                                                  name, numbered, written):
    files = payload(fake_engine.program)
    out = build_setup(pack, work_dir, files, name=name, flags="HasUpdateAgent = 1",
                      settings="AgentExe = ProductUpdate.exe",
                      package="EndPointer = 1" + ("\nNumberFirstVolume = 1" if numbered else ""))
    program = volumes_of(out)[0]
    data = program.read_bytes()
    # The stub's image and text blocks without the end pointer's low half,
    # then the trailer marked as an agent's.
    blocks, text_blocks = layout.package_blocks(data)
    text_end = blocks[text_blocks - 1][0] + 4 + abs(blocks[text_blocks - 1][1])
    agent = bytearray(data[:text_end])
    agent[layout.END_POINTER_LOW:layout.END_POINTER_LOW + 4] = bytes(4)
    agent += data[layout.trailer_offset(data):]
    agent[layout.trailer_offset(agent) + layout.IS_UPDATE_AGENT] = 1
    layout.write_trailer_u32(agent, layout.TRAILER_LENGTH, layout.TRAILER_SIZE)

    run = start_setup(program, env=fake_engine.env()).wait()

    assert run.exit_code == 0, run.stdout
    [engine] = fake_engine.runs()
    assert_unpacked(engine, files)
    found = {f["name"].lower(): f for f in engine["files"]}
    if written:
        written_agent = found["productupdate.exe"]
        assert (written_agent["size"], written_agent["crc32"]) == (len(agent), zlib.crc32(agent))
        # It carries the first volume's time.
        assert abs(unix_time(written_agent["write_time"]) - program.stat().st_mtime) < 2.01
    else:
        assert "productupdate.exe" not in found


def test_stub_waits_for_the_dialog_the_engine_leaves_behind(pack, start_setup, fake_engine,
                                                            work_dir):
    program = build_setup(pack, work_dir, payload(fake_engine.program))

    process = start_setup(program, env=fake_engine.env(exit_code=21, hold_dialog=True))
    engine = fake_engine.wait_for_run()
    assert engine["dialog_started"], "premise: the engine's dialog outlived the engine"
    fake_engine.wait_for_exit(engine)
    assert process.running(), "the stub must wait while the engine's dialog is up"
    fake_engine.release()
    run = process.wait()

    assert run.exit_code == 21, run.stdout
    [engine] = fake_engine.runs()
    # "closing" is written just before the window goes: a stub that ended
    # without it did not wait for the dialog.
    assert fake_engine.dialog_events() == ["open", "closing"]
    assert_gone(engine_folder(engine))


@pytest.mark.parametrize("volumes, numbered", [
    (2, False),  # setup.exe, setup.exe.002
    (3, False),
    (2, True),  # setup.exe.001, setup.exe.002
    (3, True),
])
def test_volumes_beside_the_program_unpack_without_a_prompt(
        pack, start_setup, fake_engine, window_watch, work_dir, volumes, numbered):
    program, files = build_split_setup(pack, work_dir, fake_engine.program, volumes, numbered)
    prompts = window_watch("VMsgBox", ["click:2"])

    run = start_setup(program, env=fake_engine.env(exit_code=7)).wait()

    assert prompts.seen() is None, "no disk prompt while every volume is at hand"
    assert run.exit_code == 7, run.stdout
    [engine] = fake_engine.runs()
    assert_unpacked(engine, files)
    assert_gone(engine_folder(engine))


@pytest.mark.parametrize("volumes, missing, numbered, answer", [
    (2, 2, False, "ok"),  # OK once the volume is in place
    (3, 3, True, "ok"),  # the disk number counts up; the base drops ".001"
    (2, 2, False, "cancel"),
])
def test_missing_volume_asks_for_its_disk(pack, start_setup, fake_engine, ui_driver, tmp_path,
                                          work_dir, volumes, missing, numbered, answer):
    program, files = build_split_setup(pack, work_dir, fake_engine.program, volumes, numbered)
    volume = volumes_of(work_dir / "setup.exe")[missing - 1]
    aside = tmp_path / volume.name
    shutil.move(volume, aside)
    driver = ui_driver("VMsgBox", ["click:1" if answer == "ok" else "click:2"], pause=True)

    process = start_setup(program, env=fake_engine.env(exit_code=8))
    prompt = driver.window()
    assert prompt.caption == "Attention"
    assert f"DISK #{missing}" in prompt.rich_edit.text
    assert [b.text for b in prompt.buttons] == ["&OK", "&Cancel"]
    if answer == "ok":
        shutil.move(aside, volume)
    driver.finish()
    run = process.wait()

    if answer == "ok":
        assert run.exit_code == 8, run.stdout
        [engine] = fake_engine.runs()
        assert_unpacked(engine, files)
    else:
        assert run.exit_code == USER_DECLINED, run.stdout
        assert fake_engine.runs() == [], "a cancelled disk prompt must launch nothing"
    assert_gone(working_folder_of(program))


@pytest.mark.parametrize("value, answer", [
    ("1", "ok"),
    ("1", "cancel"),  # stops the run although the volume is there
    ("yes", None),  # only "1" turns the option on
])
def test_force_prompt_from_the_registry_asks_even_for_present_volumes(
        pack, start_setup, fake_engine, window_watch, registry_value, work_dir, value, answer):
    program, files = build_split_setup(pack, work_dir, fake_engine.program, 2, False)
    registry_value(SPAN_DISK_KEY, "ForcePrompt", value)
    prompts = window_watch("VMsgBox", ["click:2" if answer == "cancel" else "click:1"])

    run = start_setup(program, env=fake_engine.env(exit_code=9)).wait()

    prompt = prompts.seen()
    if answer is None:
        assert prompt is None
    else:
        assert prompt is not None and "DISK #2" in prompt.rich_edit.text
    if answer == "cancel":
        assert run.exit_code == USER_DECLINED, run.stdout
        assert fake_engine.runs() == []
    else:
        assert run.exit_code == 9, run.stdout
        [engine] = fake_engine.runs()
        assert_unpacked(engine, files)
    assert_gone(working_folder_of(program))


def test_checksum_failure_shows_bad_crc_and_starts_nothing(
        pack, artefacts, start_setup, fake_engine, ui_driver, work_dir):
    # Only volumes up to 51,200 bytes carry a real checksum: a small data volume.
    # Stored entries, so the changed byte damages nothing but the checksum.
    program, _ = build_split_setup(pack, work_dir, fake_engine.program, 2, False,
                                   filler_size=20_000, package="Compression = 0")
    volume = volumes_of(program)[1]
    assert volume.stat().st_size < layout.CHECKSUM_LIMIT
    data = bytearray(volume.read_bytes())
    data[len(data) // 2] ^= 0x01
    volume.write_bytes(bytes(data))
    listed = subprocess.run([str(artefacts.pack), "list", str(program)], capture_output=True,
                            check=False)
    assert listed.returncode == 5, "premise: the tool sees the damaged checksum"
    driver = ui_driver("VMsgBox", ["click:1"])

    process = start_setup(program, env=fake_engine.env())
    box = driver.finish().window
    run = process.wait()

    assert box.caption == "Error"
    assert box.rich_edit.text.startswith("Bad CRC!")
    assert run.exit_code == RUN_FAILED, run.stdout
    assert fake_engine.runs() == [], "the engine came with volume 1 but must not start"
    assert_gone(working_folder_of(program))


@pytest.mark.parametrize("answer", ["yes", "no"])
def test_temp_drive_notice_asks_before_unpacking(pack, start_setup, fake_engine, ui_driver,
                                                 work_dir, answer):
    program = build_setup(pack, work_dir, payload(fake_engine.program),
                          flags="ShowTempDriveNotice = 1")
    driver = ui_driver("VMsgBox", ["click:1" if answer == "yes" else "click:2"], pause=True)

    process = start_setup(program, env=fake_engine.env(exit_code=11))
    driver.window()
    folder = harness.from_windows_path(working_folder_of(program))
    unpacked = [p.name for p in folder.rglob("*")] if folder.exists() else []
    assert not {"engine.exe", "readme.txt"} & set(unpacked), "the question comes before unpacking"
    question = driver.finish().window
    run = process.wait()

    assert question.caption == "Confirm"
    text = question.rich_edit.text
    assert "Varnix will extract files to your Temp Drive (C:)" in text
    assert "Continue with Setup?" in text
    assert [b.text for b in question.buttons] == ["&Yes", "&No"]
    if answer == "yes":
        assert run.exit_code == 11, run.stdout
        assert len(fake_engine.runs()) == 1
    else:
        assert run.exit_code == USER_DECLINED, run.stdout
        assert fake_engine.runs() == []
    assert_gone(working_folder_of(program))


@pytest.mark.parametrize("args, silent, visible", [
    ("", 0, True),
    ("/hide", 0, False),
    ("", 1, False),  # the package's own silent setting
])
def test_silent_run_asks_nothing_shows_nothing_and_hides_the_engine(
        pack, start_setup, fake_engine, window_watch, work_dir, args, silent, visible):
    # The notice flag would ask in a visible run: a silent one must not.
    flags = "" if visible else "ShowTempDriveNotice = 1"
    program = build_setup(pack, work_dir, payload(fake_engine.program), flags=flags,
                          silent=silent)
    main_window = window_watch(harness.to_windows_path(program))
    boxes = window_watch("VMsgBox", ["click:2"])

    run = start_setup(program, args, env=fake_engine.env(exit_code=12)).wait()

    assert boxes.seen() is None, "a silent run asks nothing"
    assert (main_window.seen() is not None) == visible
    assert run.exit_code == 12, run.stdout
    [engine] = fake_engine.runs()
    assert engine["show"] == (SW_SHOW if visible else SW_HIDE)


HEBREW = """
[Language Hebrew]
s0 = Right to left setup
s1 = Unpacking from the right
Charset = 177
"""


@pytest.mark.parametrize("language, flags, title, text, rtl", [
    (ENGLISH, "ShowActivityBar = 1", "Varnix Test Setup", "Extracting Files...", False),
    # no language block: the built-in texts
    ("", "", "Varnix Installation Suite", "Extracting Files...", False),
    # the only section is used whatever the locale; its charset lays out right to left
    (HEBREW, "ShowActivityBar = 1", "Right to left setup", "Unpacking from the right", True),
])
def test_main_window_while_unpacking(pack, start_setup, fake_engine, ui_driver, screenshot,
                                     work_dir, language, flags, title, text, rtl):
    program = build_setup(pack, work_dir, payload(fake_engine.program), flags=flags,
                          language=language)
    driver = ui_driver(harness.to_windows_path(program), pause=True, gone=60)

    process = start_setup(program, env=fake_engine.env())
    window = driver.window()
    screenshot("main-window")
    driver.proceed()
    run = process.wait()

    assert run.exit_code == 0, run.stdout
    assert window.class_name.lower() == harness.to_windows_path(program).lower()
    assert window.caption == title
    assert (window.width, window.height) == (492, 110)
    left, top, right, bottom = window.work_area
    assert window.window_rect[:2] == (left + (right - left - 492) // 2,
                                      top + (bottom - top - 110) // 2)
    assert window.style & MAIN_WINDOW_STYLE == MAIN_WINDOW_STYLE
    assert not window.style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX)

    line, detail = sorted((c for c in window.controls if c.class_name.lower() == "static"), key=lambda c: c.y)
    assert line.text == text
    # The line below the bar carries a download's sizes and rate: empty while unpacking.
    assert (detail.text, detail.x, detail.y, detail.width, detail.height) == ("", 70, 54, 392, 14)
    assert (line.x, line.y, line.width, line.height) == (122 if rtl else 70, 20, 340, 18)
    assert bool(line.exstyle & WS_EX_RTLREADING) == rtl
    assert (line.style & SS_TYPEMASK == SS_RIGHT) == rtl
    bars = {(c.x, c.y, c.width, c.height): c for c in window.controls
            if c.class_name.lower() == "msctls_progress32"}
    activity_at = (70 if rtl else 416, 20, 46, 13)
    assert set(bars) == {(70, 38, 392, 13), activity_at}
    # Shown or not by the stub itself (the style bit): the window as a whole
    # may already be hiding again when a small package is unpacked.
    assert bars[(70, 38, 392, 13)].style & WS_VISIBLE
    assert bool(bars[activity_at].style & WS_VISIBLE) == ("ShowActivityBar" in flags)
    assert driver.finish().gone_ms is not None, "the main window must close at the end"


@pytest.mark.parametrize("package", [
    "",  # one entry per file
    "MaxEntrySize = 16K",  # a large file in several entries of one name: one step still
])
def test_progress_bar_steps_once_per_distinct_file(pack, start_setup, fake_engine, ui_driver,
                                                   work_dir, package):
    files = payload(fake_engine.program)
    program = build_setup(pack, work_dir, files, package=package)
    process = start_setup(program, env=fake_engine.env(hold_engine=True))
    # Once the engine runs, the (now hidden) main window keeps the bar's last state.
    harness.wait_for(fake_engine.runs, 60, "the engine to start")
    window = ui_driver(harness.to_windows_path(program), hidden=True, gone=60).window()
    fake_engine.release()
    run = process.wait()

    assert run.exit_code == 0, run.stdout
    [bar] = [c for c in window.controls if c.rect == (70, 38, 462, 51)]
    entries = int(re.search(r"FileCount\s+(\d+)", subprocess.run(
        [str(harness.require(harness.Artefacts.from_env().pack)), "list", str(program)],
        capture_output=True, text=True, check=True).stdout).group(1))
    assert bar.progress == (0, entries, len(files))


@pytest.mark.parametrize("args", [
    "/A=1",
    # A level the user gave, in any form the copy would read, must not reach
    # the copy: it would restart itself again and again.
    "/A=1 /spancdlvl=1",
    "/A=1 /SpanCdLvl =1",
    "/SpanCdLvl=1 /A=1 /SpanCdLvl=1",
])
def test_span_package_restarts_from_a_copy_in_the_working_folder(
        pack, start_setup, fake_engine, debug_viewer, work_dir, args):
    files = payload(fake_engine.program)
    program = build_setup(pack, work_dir, files, package="SpanCd = 1")
    assert [p.name for p in volumes_of(program)] == ["setup.exe", "setup.exe.001"]
    origin = harness.to_windows_path(program)
    folder = working_folder_of(program)

    start_setup(program, args, env=fake_engine.env(exit_code=13)).wait()
    engine = fake_engine.wait_for_run(timeout=60)

    text = debug_viewer.wait_for_text("Y_setup.exe")
    starts = [split_command(line.split(" ==== STUB START ====> ", 1)[1][:-1])
              for line in text.splitlines() if " ==== STUB START ====> " in line]
    # The program and one copy: no copy of the copy.
    assert [program.lower() for program, _ in starts] == [
        origin.lower(), f"{folder}\\Y_setup.exe".lower()], starts
    assert starts[1][1].split() == (f'/A=1 /SpanCdLvl=2 /SpanDiskFName1="{origin}.001"'
                                    f' /OriginExe="{origin}"').split()
    assert engine["parent"].lower() == "y_setup.exe"
    # The copy's own origin switch stands in for the one the stub would add.
    assert engine["cmdline"] == (f'"{engine_folder(engine)}\\engine.exe" /A=1 /OriginExe="{origin}"'
                                 f" /TH_ID={engine['th_id']}")
    assert_unpacked(engine, files)
    # The copy removes itself and its folder by a batch file after it ended.
    for gone in (folder, engine_folder(engine)):
        harness.wait_for(lambda: not harness.from_windows_path(gone).exists(), 30,
                         f"{gone} to be removed")


def test_second_start_of_a_running_setup_leaves_the_work_to_the_first(
        pack, start_setup, fake_engine, work_dir):
    program = build_setup(pack, work_dir, payload(fake_engine.program))
    first = start_setup(program, env=fake_engine.env(exit_code=5, hold_engine=True))
    folder = engine_folder(fake_engine.wait_for_run())
    before = folder_snapshot(harness.from_windows_path(folder))

    second = start_setup(program, env=fake_engine.env(exit_code=6)).wait()

    assert second.exit_code == 0, second.stdout
    # The first's engine is held until released below: a second start that
    # waited for it could not have ended by now.
    assert first.running(), "the second start ended while the first still waits for its engine"
    assert folder_snapshot(harness.from_windows_path(folder)) == before
    fake_engine.release()
    assert first.wait().exit_code == 5
    assert len(fake_engine.runs()) == 1
    assert_gone(folder)


def test_renamed_copy_runs_beside_the_first_without_touching_its_folder(
        pack, start_setup, fake_engine, work_dir):
    program = build_setup(pack, work_dir, payload(fake_engine.program))
    copy = work_dir / "setup-copy.exe"
    shutil.copy2(program, copy)
    assert working_folder_of(copy) == working_folder_of(program), "premise: same folder name"
    first = start_setup(program, env=fake_engine.env(exit_code=5, hold_engine=True))
    first_folder = engine_folder(fake_engine.wait_for_run())
    before = folder_snapshot(harness.from_windows_path(first_folder))

    second = start_setup(copy, env=fake_engine.env(exit_code=6)).wait()

    assert second.exit_code == 6, second.stdout
    assert first.running(), "premise: the first run still waits for its engine"
    second_folder = engine_folder(fake_engine.runs()[1])
    assert second_folder.lower() != first_folder.lower()
    assert folder_snapshot(harness.from_windows_path(first_folder)) == before
    fake_engine.release()
    assert first.wait().exit_code == 5
    assert_gone(first_folder)
    assert_gone(second_folder)


def truncate_last_entry(data: bytearray) -> bytes:
    # Half of the last entry's bytes go; the trailer stays, so the entry
    # claims more than the file holds.
    offset, length = layout.last_entry(data)
    cut = abs(length) // 2
    trailer = layout.trailer_offset(data)
    return bytes(data[:trailer - cut] + data[trailer:])


def corrupt_last_entry_stream(data: bytearray) -> bytes:
    offset, length = layout.last_entry(data)
    assert length > 0, "premise: the last entry is compressed"
    middle = offset + 4 + length // 2
    for i in range(16):
        data[middle + i] ^= 0xA5
    return bytes(data)


def set_last_entry_length(value_of):
    def damage(data: bytearray) -> bytes:
        offset, length = layout.last_entry(data)
        layout.write_block_length(data, offset, value_of(len(data) - offset - 4))
        return bytes(data)
    return damage


# The last entry sorts after the engine, so the walk has seen the launch
# entry before it meets the damage: the stub must still start nothing.
# name: (project keys, damage, what the error box says after its first line)
STORED = "Compression = 0"
RUNS_PAST_END = "the package is damaged (a block runs past its end)."
BAD_PACKAGES = {
    "truncated entry": (STORED, truncate_last_entry, RUNS_PAST_END),
    # zlib's own words, which depend on where the damage makes it stop
    "corrupt zlib stream": ("", corrupt_last_entry_stream, ""),
    "stored length past the end": (STORED, set_last_entry_length(lambda rest: -(rest + 1)),
                                   RUNS_PAST_END),
    "huge zlib length": ("", set_last_entry_length(lambda rest: 0x7FFFFFF0), RUNS_PAST_END),
    "most negative length": (STORED, set_last_entry_length(lambda rest: -0x80000000),
                             RUNS_PAST_END),
}
EXTRACT_FAILED = "Unable to extract the setup files:"


def assert_error_box(box, *texts: str) -> None:
    assert box is not None, "the user must be told why nothing was installed"
    assert box.caption == "Error"
    lines = box.rich_edit.text.split("\r\n")
    assert lines[0] == EXTRACT_FAILED and len(lines) > 1 and lines[1], lines
    for text in texts:
        assert text in box.rich_edit.text


@pytest.mark.parametrize("damage", sorted(BAD_PACKAGES))
def test_damaged_package_fails_cleanly(pack, start_setup, fake_engine, window_watch, work_dir,
                                       damage):
    package, patch, reason = BAD_PACKAGES[damage]
    files = payload(fake_engine.program, **{"zz-last.txt": "Compressible text. " * 20_000})
    # Checksum 0 switches the check off, so the damage reaches the walk.
    program = build_setup(pack, work_dir, files, package=f"{package}\nChecksum = 0")
    program.write_bytes(patch(bytearray(program.read_bytes())))
    boxes = window_watch("VMsgBox", ["click:1"])

    run = start_setup(program, env=fake_engine.env()).wait()

    assert run.exit_code == RUN_FAILED, run.stdout
    assert fake_engine.runs() == []
    assert_error_box(boxes.seen(), reason)
    assert_gone(working_folder_of(program))


UNSAFE_NAMES = [
    "..\\evil.txt",
    "../evil.txt",
    "sub\\..\\..\\evil.txt",
    "C:\\evil.txt",
    "C:evil.txt",
    "\\evil.txt",
]


@pytest.mark.parametrize("unsafe", UNSAFE_NAMES)
def test_entry_name_leaving_the_working_folder_stops_the_run(
        pack, start_setup, fake_engine, window_watch, debug_viewer, work_dir, unsafe):
    # The tool refuses such names: pack a safe one of the same length as a
    # stored entry and overwrite its bytes.
    safe = "z" * (len(unsafe) - len("evil.txt")) + "evil.txt"
    files = payload(fake_engine.program, **{safe: "should never be written"})
    program = build_setup(pack, work_dir, files, package="Compression = 0\nChecksum = 0")
    data = program.read_bytes()
    header = layout.entry_name_field(safe)
    assert data.count(header) == 1
    program.write_bytes(data.replace(header, layout.entry_name_field(unsafe)))
    drive_c = harness.from_windows_path("C:\\")
    temp = harness.from_windows_path(harness.windows_temp_folder())
    # Where each name would land if joined to the working folder or taken as
    # it stands (the stub's current folder is work_dir, on drive Z:).
    prefix_targets = [temp / "evil.txt", temp.parent / "evil.txt", drive_c / "evil.txt"]
    for target in prefix_targets:
        target.unlink(missing_ok=True)
    targets = prefix_targets + [work_dir / "evil.txt", Path("/evil.txt")]
    there_before = {t for t in targets if t.exists()}
    boxes = window_watch("VMsgBox", ["click:1"])

    run = start_setup(program, env=fake_engine.env(), cwd=work_dir).wait()

    assert run.exit_code == RUN_FAILED, run.stdout
    assert fake_engine.runs() == []
    assert [t for t in targets if t.exists() and t not in there_before] == []
    debug_viewer.wait_for_text(unsafe, timeout=5)  # the refused entry is named
    assert_error_box(boxes.seen(), f'"{unsafe}"')
    assert_gone(working_folder_of(program))


def test_run_without_a_startable_engine_fails(pack, start_setup, fake_engine, window_watch,
                                              work_dir):
    program = build_setup(pack, work_dir, payload(b"MZ but not a program"))
    boxes = window_watch("VMsgBox", ["click:1"])

    run = start_setup(program, env=fake_engine.env()).wait()

    assert run.exit_code == RUN_FAILED, run.stdout
    # The engine's own failure to start is not explained in a box: only the
    # exit code and the debug channel tell.
    assert boxes.seen() is None
    assert_gone(working_folder_of(program))


def test_engine_start_failure_names_the_systems_reason(pack, start_setup, fake_engine,
                                                      debug_viewer, work_dir):
    # The reason must be the start's own, not what a later call left behind.
    program = build_setup(pack, work_dir, payload(b"MZ but not a program"))

    run = start_setup(program, env=fake_engine.env()).wait()

    assert run.exit_code == RUN_FAILED, run.stdout
    text = debug_viewer.wait_for_text(" The setup engine could not be started (error ")
    reason = re.search(r"could not be started \(error (\d+)\)", text)
    assert reason and int(reason.group(1)) == ERROR_BAD_EXE_FORMAT, text[-600:]


def test_package_without_launch_entry_fails(pack, start_setup, fake_engine, window_watch,
                                            work_dir):
    program = build_setup(pack, work_dir, payload(fake_engine.program),
                          package="Compression = 0\nChecksum = 0")
    data = program.read_bytes()
    # The launch marker goes; the file stays, under a name with "_".
    launch = layout.entry_name_field("engine.exe*")
    assert data.count(launch) == 1
    program.write_bytes(data.replace(launch, layout.entry_name_field("engine.exe_")))
    boxes = window_watch("VMsgBox", ["click:1"])

    run = start_setup(program, env=fake_engine.env()).wait()

    assert run.exit_code == RUN_FAILED, run.stdout
    assert fake_engine.runs() == []
    assert boxes.seen() is None, "a package that names no engine ends without a message"
    assert_gone(working_folder_of(program))


def test_demo_engine_installs_the_payload(pack, artefacts, start_setup, work_dir):
    install = r"C:\Varnix Demo Test"
    target = harness.from_windows_path(install)
    shutil.rmtree(target, ignore_errors=True)
    files = {"Setup.exe": harness.require(artefacts.demo_engine).read_bytes(),
             "docs/readme.txt": "Welcome.\r\n", "bin/tool.dat": random.Random(9).randbytes(5000)}
    project = PROJECT.replace("Launch = engine.exe", "Launch = Setup.exe")
    out = work_dir / "setup.exe"
    pack(project.format(package=f'LaunchArguments = /INSTALLDIR="{install}"', flags="",
                        silent=0, settings="", language=ENGLISH), files, out)
    try:
        run = start_setup(out).wait()

        assert run.exit_code == 0, run.stdout
        for name, content in files.items():
            if name != "Setup.exe":
                assert (target / name).read_bytes() == as_bytes(content)
        assert not (target / "Setup.exe").exists()
        report = (target / "install-report.txt").read_bytes().decode(harness.ANSI)
        assert report.startswith(f"Install folder: {install}\r\n")
        assert "Result: installed" in report
    finally:
        shutil.rmtree(target, ignore_errors=True)
    assert_gone(working_folder_of(out))


def pack_with_entry_name(pack, folder: Path, engine: bytes, name: str, silent: int = 0) -> Path:
    """A package with one stored entry called `name`, which the tool would
    refuse: a placeholder of the same length is packed and overwritten."""
    placeholder = "q" * len(name)
    files = payload(engine, **{placeholder: "should never be written"})
    program = build_setup(pack, folder, files, package="Compression = 0\nChecksum = 0",
                          silent=silent)
    data = program.read_bytes()
    header = layout.entry_name_field(placeholder)
    assert data.count(header) == 1
    program.write_bytes(data.replace(header, layout.entry_name_field(name)))
    return program


# Names Windows reads as devices, or as another name than they show: a
# device can swallow the content (NUL) or block the run for ever (COM1).
DEVICE_AND_LOOKALIKE_NAMES = [
    "NUL",
    "con",  # any case
    "Aux.txt",  # an extension does not make it a file
    "sub\\COM1",  # in any folder
    "LPT9.log",
    "PRN",
    "CONIN$",
    "conout$.txt",
    "a.txt.",  # the dot is dropped: it would merge into "a.txt"
    "a.txt ",  # and so is a closing blank
    "sub.\\a.txt",  # a folder part too
    "a.txt:hidden",  # a stream of a file
]


@pytest.mark.parametrize("name", DEVICE_AND_LOOKALIKE_NAMES)
def test_device_or_lookalike_entry_name_stops_the_run(pack, start_setup, fake_engine, window_watch,
                                                      work_dir, name):
    program = pack_with_entry_name(pack, work_dir, fake_engine.program, name)
    boxes = window_watch("VMsgBox", ["click:1"])

    run = start_setup(program, env=fake_engine.env(), timeout=60).wait()

    assert run.exit_code == RUN_FAILED, run.stdout
    assert fake_engine.runs() == []
    assert_error_box(boxes.seen(), f'"{name}"')
    assert_gone(working_folder_of(program))


def damaged_zlib_package(pack, folder: Path, engine: bytes, silent: int = 0) -> Path:
    files = payload(engine, **{"zz-last.txt": "Compressible text. " * 20_000})
    program = build_setup(pack, folder, files, package="Checksum = 0", silent=silent)
    program.write_bytes(corrupt_last_entry_stream(bytearray(program.read_bytes())))
    return program


def bad_checksum_package(pack, folder: Path, engine: bytes) -> Path:
    program, _ = build_split_setup(pack, folder, engine, 2, False, filler_size=20_000,
                                   package="Compression = 0")
    volume = volumes_of(program)[1]
    data = bytearray(volume.read_bytes())
    data[len(data) // 2] ^= 0x01
    volume.write_bytes(bytes(data))
    return program


# Each of these shows an error box in a visible run.
# name: (how the damaged package is made, the switches of the run)
SILENT_FAILURES = {
    "corrupt zlib stream": (lambda pack, folder, engine: damaged_zlib_package(pack, folder, engine),
                            "/hide"),
    "corrupt zlib stream, silent package": (
        lambda pack, folder, engine: damaged_zlib_package(pack, folder, engine, silent=1), ""),
    "unsafe entry name": (lambda pack, folder, engine: pack_with_entry_name(
        pack, folder, engine, "..\\evil.txt"), "/hide"),
    "checksum mismatch": (bad_checksum_package, "/hide"),
}


@pytest.mark.parametrize("failure", sorted(SILENT_FAILURES))
def test_silent_run_fails_without_waiting_for_a_click(pack, start_setup, fake_engine, window_watch,
                                                      debug_viewer, work_dir, failure):
    make, args = SILENT_FAILURES[failure]
    program = make(pack, work_dir, fake_engine.program)
    boxes = window_watch("VMsgBox", ["click:1"])
    main_window = window_watch(harness.to_windows_path(program))

    # Nobody answers a box here: a run that waits for a click times out.
    run = start_setup(program, args, env=fake_engine.env(), timeout=60).wait()

    assert run.exit_code == RUN_FAILED, run.stdout
    assert boxes.seen() is None, "a silent run shows no error box"
    assert main_window.seen() is None
    assert fake_engine.runs() == []
    debug_viewer.wait_for_text("UnCompressTime:")
    assert_gone(working_folder_of(program))


def test_span_level_beyond_32_bits_is_no_level(pack, start_setup, fake_engine, debug_viewer,
                                               work_dir):
    # Cut to 32 bits, 4294967298 would read as 2: the restarted copy's level,
    # whose run deletes its own program file and folder afterwards.
    program = build_setup(pack, work_dir, payload(fake_engine.program))

    run = start_setup(program, "/SpanCdLvl=4294967298", env=fake_engine.env(exit_code=14)).wait()

    assert run.exit_code == 14, run.stdout
    text = debug_viewer.wait_for_text(" ==== STUB END ")
    assert "[ExeName]" not in text, "the program must not arrange its own deletion"
    assert program.exists()


@pytest.fixture
def windows_temp(wine_env):
    """windows_temp(path) makes the prefix's programs use `path` as TEMP and
    TMP (both: GetTempPath reads TMP first) until the test ends. The old
    values come back: without them Wine falls back to another folder."""
    key = r"HKCU\Environment"
    before = {name: harness.registry_value_of(key, name) for name in ("TEMP", "TMP")}

    def use(path: str) -> None:
        for name in before:
            harness.set_registry_value(key, name, path)

    yield use
    for name, value in before.items():
        if value is None:
            harness.delete_registry_value(key, name)
        else:
            harness.set_registry_value(key, name, value)


def test_engine_path_with_blanks_starts_the_named_engine(pack, start_setup, fake_engine,
                                                         windows_temp, work_dir):
    temp = r"C:\Temp With Blanks"
    harness.from_windows_path("C:\\").joinpath("Temp With Blanks").mkdir(exist_ok=True)
    windows_temp(temp)
    # Unquoted, the path would be tried as "C:\Temp.exe" first and then as
    # "...\SETUP_n\Setup.exe": both are there to be started by mistake.
    decoy = harness.from_windows_path("C:\\") / "Temp.exe"
    decoy.write_bytes(fake_engine.program)
    files = payload(fake_engine.program, **{"Setup.exe": fake_engine.program})
    files["Setup Engine.exe"] = files.pop("engine.exe")
    out = work_dir / "setup.exe"
    pack(PROJECT.replace("Launch = engine.exe", "Launch = Setup Engine.exe").format(
        package="", flags="", silent=0, settings="", language=ENGLISH), files, out)
    try:
        run = start_setup(out, "/A=1", env=fake_engine.env(exit_code=15)).wait()
    finally:
        decoy.unlink()

    assert run.exit_code == 15, run.stdout
    [engine] = fake_engine.runs()
    folder = engine_folder(engine)
    assert folder.lower().startswith(temp.lower() + "\\setup_")
    assert engine["module"].lower() == f"{folder}\\Setup Engine.exe".lower()
    program, rest = split_command(engine["cmdline"])
    assert engine["cmdline"].startswith('"') and program == f"{folder}\\Setup Engine.exe"
    assert rest.startswith("/A=1 /TH_ID=")
    assert_gone(folder)


def test_span_copy_that_cannot_be_made_fails_the_run(pack, start_setup, fake_engine,
                                                      windows_temp, debug_viewer, work_dir):
    program = build_setup(pack, work_dir, payload(fake_engine.program), package="SpanCd = 1")
    windows_temp(r"Q:\No Such Drive")

    run = start_setup(program, env=fake_engine.env()).wait()

    assert run.exit_code == RUN_FAILED, run.stdout
    assert "SpanRestart: cannot copy" in debug_viewer.wait_for_text("SpanRestart: cannot copy")
    assert fake_engine.runs() == []


def throwaway_certificate(folder: Path) -> tuple[Path, Path]:
    """A self-signed code-signing certificate and its key, made for one test."""
    folder.mkdir(parents=True, exist_ok=True)
    cert, key = folder / "cert.pem", folder / "key.pem"
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Varnix Test Publisher", "-keyout", key, "-out", cert],
                   check=True, capture_output=True, timeout=60)
    return cert, key


def test_signed_setup_verifies_then_unpacks_and_launches_as_before(
        pack, start_setup, fake_engine, work_dir, tmp_path):
    cert, key = throwaway_certificate(tmp_path / "signing")
    files = payload(fake_engine.program)
    program = build_setup(pack, work_dir, files, package=(
        "EndPointer = 1\n"
        f'Sign = osslsigncode sign -certs "{cert}" -key "{key}" -n "Varnix Test Setup" '
        '-in "$in" -out "$out"'))
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", program],
                              capture_output=True, text=True, timeout=60)
    assert verified.returncode == 0 and "Signature verification: ok" in verified.stdout, \
        verified.stdout + verified.stderr
    digests = re.findall(r"(?:Current|Calculated) message digest\s*:\s*([0-9A-F]+)",
                         verified.stdout)
    assert len(digests) == 2 and digests[0] == digests[1], verified.stdout

    run = start_setup(program, "/A=1", env=fake_engine.env()).wait()

    assert run.exit_code == 0, run.stdout
    [engine] = fake_engine.runs()
    assert_unpacked(engine, files)
    assert split_command(engine["cmdline"])[1].startswith("/A=1 /TH_ID=")
    assert_gone(engine_folder(engine))
