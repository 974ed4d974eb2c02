"""The update agent's two processes under Wine: the plain agent that starts
one resident X_ copy and hands its switches to it, and the copy's ticks,
window messages and host notifications, its end and its self-deletion.
Observed from outside: the host window's message log, the run log, the
files of the folder and what agent-ctl.exe asks the copy's window."""

from __future__ import annotations

import datetime
import time

import pytest

import harness

AGENT_PROJECT = """
[Package]
Type = agent

[Flags]
WriteRunLog = 1

[Settings]
ServerUrl = http://127.0.0.1:1/product/
InfoFile = product.info
AgentExe = agent.exe
"""

HOST_MESSAGE = 49000


def records(path):
    return [r[3:] for r in harness.run_log_records(path)]


def test_copy_probes_notifies_the_host_and_deletes_itself(pack, run_windows, window_holder, work_dir):
    agent = work_dir / "agent.exe"
    pack(AGENT_PROJECT, {}, agent)
    with window_holder("VarnixTestHost") as host:
        run = run_windows(f'"{harness.to_windows_path(agent)}" /DELAY=0 /STOP=4 '
                          f"/WM_MSG={host.hwnd}:{HOST_MESSAGE}", timeout=120)
        assert run.exit_code == 0
        harness.wait_for(lambda: (HOST_MESSAGE, 43, 0) in host.messages(), 120, "the copy's end")
        notes = [m[1:] for m in host.messages() if m[0] == HOST_MESSAGE]
    harness.wait_for(lambda: not (work_dir / "X_agent.exe").exists(), 60, "the copy's file deleted")
    assert notes[:2] == [(50, notes[0][1]), (51, 1125)] and notes[0][1] != 0
    assert notes[2:] == [(40, 1), (40, 2), (43, 0)], notes


def agent_windows(notes):
    """The distinct agent windows that answered a host registration."""
    return {value for code, value in notes if code == 50}


def test_two_plain_agents_at_once_give_one_copy(pack, start_windows, window_holder, work_dir):
    agent = work_dir / "agent.exe"
    pack(AGENT_PROJECT, {}, agent)
    with window_holder("VarnixTestHost") as host:
        command = f'"{harness.to_windows_path(agent)}" /WM_MSG={host.hwnd}:{HOST_MESSAGE} /STOP=3'
        first, second = start_windows(command, timeout=180), start_windows(command, timeout=180)
        assert (first.wait().exit_code, second.wait().exit_code) == (0, 0)
        harness.wait_for(lambda: (HOST_MESSAGE, 43, 0) in host.messages(), 120, "the copy's end")
        notes = [m[1:] for m in host.messages() if m[0] == HOST_MESSAGE]
    assert len(agent_windows(notes)) == 1, notes
    assert [code for code, _ in notes].count(50) == 2  # both handed their switches on
    assert records(work_dir / "X_agent.log").count("Create X_ File ") == 1


def test_restart_replaces_the_running_copy(pack, run_windows, window_holder, work_dir):
    agent = work_dir / "agent.exe"
    pack(AGENT_PROJECT, {}, agent)
    with window_holder("VarnixTestHost") as host:
        register = f"/WM_MSG={host.hwnd}:{HOST_MESSAGE}"
        assert run_windows(f'"{harness.to_windows_path(agent)}" {register}', timeout=120).exit_code == 0
        run = run_windows(f'"{harness.to_windows_path(agent)}" /_ZZ=99 /WAIT=0 {register} /STOP=2',
                          timeout=180)
        assert run.exit_code == 0
        harness.wait_for(lambda: [m[1] for m in host.messages()].count(43) == 2, 120, "both copies' ends")
        notes = [m[1:] for m in host.messages() if m[0] == HOST_MESSAGE]
    old, new = [value for code, value in notes if code == 50]
    assert old != new
    # The old copy ended before the new one registered: one copy at a time.
    assert notes.index((43, 0)) < notes.index((50, new)), notes
    harness.wait_for(lambda: not (work_dir / "X_agent.exe").exists(), 60, "the copy's file deleted")


def agent_seconds(moment: datetime.datetime) -> int:
    """The agent's clock: seconds since 30 December 1899, local time."""
    return int((moment - datetime.datetime(1899, 12, 30)).total_seconds())


def original_with_question() -> bytes:
    """Probed a moment ago, once a day: only a check asked for probes now."""
    return ("[OriginalSetup]\r\nProgramName=Demo\r\nProbeSecondsInterval=86400\r\n"
            f"ProbeSecondsLast={agent_seconds(datetime.datetime.now())}\r\n"
            "[AutoUpdate]\r\ns22=Look for a new PROG_NAME?\r\ns23=<P>From the web.\r\ns24=<P>Go on?\r\n"
            ).encode(harness.ANSI)


def box_text(view):
    return view.rich_edit.text.replace("\r\n", "\n")


@pytest.mark.parametrize("answer", ["no", "yes"])
def test_check_asked_for_by_the_user_confirms_probes_and_quits(pack, run_windows, window_holder, ui_driver,
                                                              work_dir, answer):
    agent = work_dir / "agent.exe"
    pack(AGENT_PROJECT, {}, agent)
    (work_dir / "product.original").write_bytes(original_with_question())
    question = ui_driver("VMsgBox", ["click:1" if answer == "yes" else "click:2"], wait=120)
    with window_holder("VarnixTestHost") as host:
        run = run_windows(f'"{harness.to_windows_path(agent)}" /TEST=2 /WM_MSG={host.hwnd}:{HOST_MESSAGE}',
                          timeout=120)
        assert run.exit_code == 0
        asked = question.window(timeout=120)
        question.finish()
        outcome = ui_driver("VMsgBox", ["click:1"], wait=60) if answer == "yes" else None
        told = outcome.window(timeout=90) if outcome else None
        harness.wait_for(lambda: (HOST_MESSAGE, 43, 0) in host.messages(), 120, "the copy's end")
        notes = [m[1:] for m in host.messages() if m[0] == HOST_MESSAGE]
    assert (asked.caption, box_text(asked)) == ("Confirm", "Look for a new Demo?\nFrom the web.\nGo on?")
    if answer == "yes":
        assert (40, 1) in notes and (40, 2) in notes
        assert told is not None and told.caption == "Error", "the user hears why nothing came"
        outcome.finish()
    else:
        assert (40, 1) not in notes, "no probe after No"
    assert notes[-1] == (43, 0), "a copy started for the check ends after it"
