"""Start-up of the real stub on packages made by varnix-pack: banners on the
debug channel, the run log, the role chosen from the package, the file name
and the switches, the single-instance rule and the exit code. Observed from
outside: the viewer's text, the log file and the launcher's exit code."""

import re
import struct

import pytest

import harness
import package_layout as layout

SETUP_PROJECT = """
[Package]
Type = setup
Files = files
Launch = engine.exe
{extra}
"""

AGENT_PROJECT = """
[Package]
Type = agent
{extra}
[Flags]
WriteRunLog = {log}

[Settings]
ServerUrl = http://127.0.0.1:1/product/
InfoFile = product.info
AgentExe = agent.exe
"""

# One line each role writes to the debug channel.
ROLE = {
    "setup run": "========= ForegroundOp=",
    "agent copy start": " CreateAndRun_X_Exe-1 ",
    "resident agent": " AutoUpdateTimerCount=",
    "span restart": " SpanRestart >>",
}

END = " ==== STUB END ====> "


# Agents stay resident: each test ends the copies it started, so that the
# next one starts with none running (running copies are found by class).
def stop_agent(agent_ctl, classname):
    ended = agent_ctl(f"/class={classname}", "/find=30", "/shutdown=0", "/gone=60")
    assert ended.exit_code == 0, ended.lines


def wait_for_copy_end(folder):
    """A copy told "/STOP=0" ends at its next tick and deletes its file."""
    harness.wait_for(lambda: not (folder / "X_agent.exe").exists(), 60, "the copy's end")


@pytest.fixture(scope="module")
def engine(artefacts):
    """The fake setup engine's image: it exits 0 at once."""
    return harness.require(artefacts.fake_engine).read_bytes()


def make_setup(pack, folder, engine, name="setup.exe", extra=""):
    out = folder / name
    pack(SETUP_PROJECT.format(extra=extra), {"engine.exe": engine, "data.txt": "payload"}, out)
    return out


def make_agent(pack, folder, name="agent.exe", log=1, extra=""):
    out = folder / name
    pack(AGENT_PROJECT.format(log=log, extra=extra), {}, out)
    return out


def run_stub(run_windows, program, args=""):
    command = f'"{harness.to_windows_path(program)}"' + (f" {args}" if args else "")
    return command, run_windows(command, timeout=60)


log_records = harness.run_log_records


def test_plain_setup_package_banners_and_no_log(pack, run_windows, debug_viewer, work_dir, engine):
    program = make_setup(pack, work_dir, engine)
    command, run = run_stub(run_windows, program, "/A=1")

    assert run.exit_code == 0, run.stdout
    lines = debug_viewer.wait_for_text(END).split("\r\n")
    pid = re.match(r"(\d+) ==== STUB START ====> ", lines[0]).group(1)
    assert lines[:3] == [
        f"{pid} ==== STUB START ====> {command}<",
        f"{pid} ==== ThisIs_AutoUpdateProg=FALSE",
        "========= ForegroundOp=TRUE ==========",
    ]
    assert any(line.startswith(f"{pid} ==== WinExec(Engine.exe) >>") for line in lines)
    assert lines[-3:] == [f"{pid} ==== STUB END ====> {command}<", "", ""]
    assert not list(work_dir.glob("*.log")), "a plain setup run writes no run log"


def test_agent_package_without_log_flag_writes_no_log(pack, run_windows, debug_viewer, work_dir):
    program = make_agent(pack, work_dir, log=0)
    _, run = run_stub(run_windows, program, "/STOP=0")
    assert run.exit_code == 0
    assert "ThisIs_AutoUpdateProg=TRUE" in debug_viewer.wait_for_text(END)
    wait_for_copy_end(work_dir)
    assert not list(work_dir.glob("*.log"))


def test_plain_agent_logs_start_dispatch_and_exit(pack, run_windows, debug_viewer, work_dir):
    program = make_agent(pack, work_dir)
    command, run = run_stub(run_windows, program, "/WAIT=0 /STOP=0")

    assert run.exit_code == 0
    path = harness.to_windows_path(program)
    copy = harness.to_windows_path(work_dir / "X_agent.exe")
    records = [r for r in log_records(work_dir / "X_agent.log") if r.startswith("   ")]
    version = records[4]
    assert re.fullmatch(r"   Agent Version=\d+\.\d+\.\d+\.\d+", version), version
    assert re.fullmatch(r"   X_ window after \d+ ms", records[13]), records[13]
    assert records[:13] + records[14:] == [
        "   ", "   ",
        f"   === START === {path}",
        f"   CommandLine={command}",
        version,
        "   DoRunStubWin() --- Start",
        "   X_ExeIsRunning=FALSE",
        "   ThisIs_Plain_AutoUpdate_Exe=TRUE",
        "   ThisIs_X_AutoUpdate_Exe=FALSE",
        "   CreateAndRun_X_Exe() --- Start",
        "   Wait 0 SEC",
        "   Create X_ File ",
        f'   WinExec: "{copy}"',
        "   CreateAndRun_X_Exe() --- End",
        "   HandleParamOK() --- Start",
        f"   PostProcessMessage(wm_ShutDown) to: {copy}",
        "   HandleParamOK() --- End",
        "   DoRunStubWin() --- End",
        f"   === EXIT === {path}",
        "   ",
    ]
    assert ROLE["agent copy start"] in debug_viewer.wait_for_text(END)
    wait_for_copy_end(work_dir)


@pytest.mark.parametrize("name, log_name", [
    ("X_agent.exe", "X_agent.log"),  # shares the plain agent's log
    ("x_agent.exe", "X_x_agent.log"),  # the log name rule is case-sensitive, the role test is not
])
def test_agent_copy_marks_its_records(pack, start_windows, agent_ctl, debug_viewer, work_dir, name, log_name):
    program = make_agent(pack, work_dir, name=name)
    copy = start_windows(f'"{harness.to_windows_path(program)}"', timeout=120)
    stop_agent(agent_ctl, ".AutoUpdate." + name[:-4])
    assert copy.wait().exit_code == 0

    records = log_records(work_dir / log_name)
    assert all(r.startswith(" X ") for r in records), records
    assert [r[3:] for r in records[5:14]] == [
        "DoRunStubWin() --- Start",
        "X_ExeIsRunning=FALSE",
        "ThisIs_Plain_AutoUpdate_Exe=FALSE",
        "ThisIs_X_AutoUpdate_Exe=TRUE",
        "CheckTestMode",
        "WinMain",
        "QuitCountdown has run out",
        "DeleteMySelf",
        "DoRunStubWin() --- End",
    ]
    text = debug_viewer.wait_for_text(END)
    assert ROLE["resident agent"] in text
    assert f"[ExeName]  [{harness.to_windows_path(program)}]" in text  # deletes itself afterwards
    assert "HandleParamOK" not in text


def test_agent_under_another_name_is_neither_role(pack, start_windows, agent_ctl, debug_viewer, work_dir):
    program = make_agent(pack, work_dir, name="X_X_agent.exe")
    other = start_windows(f'"{harness.to_windows_path(program)}"', timeout=120)
    stop_agent(agent_ctl, ".AutoUpdate.X_X_agent")
    assert other.wait().exit_code == 0
    records = [r[3:] for r in log_records(work_dir / "X_X_agent.log")]
    assert "ThisIs_Plain_AutoUpdate_Exe=FALSE" in records and "ThisIs_X_AutoUpdate_Exe=FALSE" in records
    text = debug_viewer.wait_for_text(END)
    assert ROLE["resident agent"] in text and "[ExeName]" not in text


def test_second_start_of_the_same_program_leaves_the_work_to_the_first(
        pack, run_windows, debug_viewer, window_holder, work_dir, engine):
    program = make_setup(pack, work_dir, engine)
    # The first instance's main window is registered under the program's full path.
    with window_holder(harness.to_windows_path(program)):
        _, run = run_stub(run_windows, program)
    assert run.exit_code == 0
    text = debug_viewer.wait_for_text(END)
    assert ROLE["setup run"] not in text


def test_renamed_copy_runs_beside_the_original(pack, run_windows, debug_viewer, window_holder, work_dir,
                                               engine):
    program = make_setup(pack, work_dir, engine)
    copy = work_dir / "setup-copy.exe"
    copy.write_bytes(program.read_bytes())
    with window_holder(harness.to_windows_path(program)):
        _, run = run_stub(run_windows, copy)
    assert run.exit_code == 0
    assert ROLE["setup run"] in debug_viewer.wait_for_text(END)


def test_running_plain_agent_still_hands_on_its_switches(
        pack, run_windows, debug_viewer, window_holder, work_dir):
    program = make_agent(pack, work_dir)
    with window_holder(".AutoUpdate.agent"), window_holder(".AutoUpdate.X_agent"):
        _, run = run_stub(run_windows, program, "/TEST=1")
    assert run.exit_code == 0
    records = [r[3:] for r in log_records(work_dir / "X_agent.log")]
    assert "X_ExeIsRunning=TRUE" in records
    assert "HandleParamOK() --- Start" in records
    text = debug_viewer.wait_for_text(END)
    assert ROLE["agent copy start"] not in text  # its own window exists: no new copy


@pytest.mark.parametrize("span, args, role, deletes_itself, exit_code", [
    (1, "", "span restart", True, 0),  # level 1 is the default; the copy deletes itself
    (1, "/SpanCdLvl=1", "span restart", True, 0),
    # Level 2 without a first volume reads the program file, which holds no
    # files in a multi-CD package: nothing to start.
    (1, "/SpanCdLvl=2", "setup run", True, 1603),
    (0, "/SpanCdLvl=2", "setup run", True, 0),
    (0, "", "setup run", False, 0),
])
def test_span_levels_choose_restart_or_run(pack, run_windows, debug_viewer, work_dir, engine, span, args, role,
                                           deletes_itself, exit_code):
    program = make_setup(pack, work_dir, engine, extra=f"SpanCd = {span}")
    _, run = run_stub(run_windows, program, args)
    assert run.exit_code == exit_code
    text = debug_viewer.wait_for_text(END)
    if role == "span restart":
        # The copy started by the restart runs the setup and ends on its own.
        text = harness.wait_for(lambda: debug_viewer.text().count(END) == 2 and debug_viewer.text(), 60,
                                "the restarted copy to end")
        first_run, copy_run = text[:text.index(END)], text[text.index(END):]
        assert ROLE["span restart"] in first_run and ROLE["setup run"] not in first_run
        assert "\\Y_setup.exe]" in copy_run
    else:
        assert ROLE["setup run"] in text and ROLE["span restart"] not in text
    assert ("[ExeName]  [" in text) == deletes_itself


def test_long_debug_line_arrives_in_pieces_of_128(pack, run_windows, debug_viewer, work_dir, engine):
    program = make_setup(pack, work_dir, engine)
    command, run = run_stub(run_windows, program, "/PAD=" + "p" * 200)
    assert run.exit_code == 0
    text = debug_viewer.wait_for_text(END)
    first_line = text.split("\r\n")[0] + "\r\n"
    assert len(first_line) > 256
    pieces = debug_viewer.pieces()
    assert pieces[:3] == [128, 128, len(first_line) - 256]
    assert text.startswith(first_line)


def test_end_pointer_finds_the_package_before_a_signature(pack, run_windows, work_dir):
    program = make_agent(pack, work_dir, extra="EndPointer = 1")
    end = len(program.read_bytes())
    data = program.read_bytes()
    assert layout.read_end_pointer(data) == (0, end)
    with program.open("ab") as f:
        f.write(b"\x30\x82 certificate table" * 100)

    _, run = run_stub(run_windows, program, "/STOP=0")
    assert run.exit_code == 0
    assert "   ThisIs_Plain_AutoUpdate_Exe=TRUE" in log_records(work_dir / "X_agent.log")
    wait_for_copy_end(work_dir)


def test_stub_without_package_has_nothing_to_start(artefacts, run_windows, debug_viewer, work_dir):
    program = work_dir / "bare.exe"
    program.write_bytes(artefacts.stub.read_bytes())
    _, run = run_stub(run_windows, program)
    assert run.exit_code == 1603  # a failed setup, not a success
    text = debug_viewer.wait_for_text(END)
    assert ROLE["setup run"] in text and "The package names no setup engine to start" in text


@pytest.mark.parametrize("damage", ["truncated", "garbage tail", "huge block"])
def test_damaged_package_never_crashes_the_stub(pack, run_windows, debug_viewer, work_dir, damage):
    program = make_agent(pack, work_dir)
    data = bytearray(program.read_bytes())
    if damage == "truncated":
        data = data[:-30]
    elif damage == "garbage tail":
        data += b"\xff" * 7
    else:
        offset = layout.read_trailer_u32(data, layout.DATA_OFFSET)
        layout.write_block_length(data, offset, 0x7FFFFFF0)  # the first text block's
    program.write_bytes(bytes(data))

    _, run = run_stub(run_windows, program)
    text = debug_viewer.wait_for_text(END)
    # Only the damaged text block leaves the agent flags readable; otherwise
    # the file is no package and the setup run has nothing to start.
    assert run.exit_code == (0 if damage == "huge block" else 1603)
    if damage == "huge block":
        # The trailer still says "agent with log", but no text block reads:
        # without an agent name the program is neither agent role.
        assert "ThisIs_AutoUpdateProg=TRUE" in text
        assert "   ThisIs_Plain_AutoUpdate_Exe=FALSE" in log_records(work_dir / "X_agent.log")
    else:
        assert "ThisIs_AutoUpdateProg=FALSE" in text
        assert not list(work_dir.glob("*.log"))


def test_stub_image_keeps_the_end_pointer_free(artefacts):
    data = artefacts.stub.read_bytes()
    assert data[:2] == b"MZ"
    assert struct.unpack_from("<I", data, 0x3C)[0] == layout.PE_SIGNATURE
    assert data[layout.PE_SIGNATURE:layout.PE_SIGNATURE + 4] == b"PE\0\0"
    assert data[layout.END_POINTER:layout.PE_SIGNATURE] == bytes(8)
    assert len(data) <= 384 * 1024
