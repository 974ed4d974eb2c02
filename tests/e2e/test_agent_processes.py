"""The update agent's two processes under Wine: the plain agent that starts
one resident X_ copy and hands its switches to it, and the copy's ticks,
window messages and host notifications, its end and its self-deletion.
Observed from outside: the host window's notifications, the run log, the
files of the folder and what agent-ctl.exe asks the copy's window."""

from __future__ import annotations

import pytest

import harness
from agent_fixtures import CTL_DONE, agent_seconds

# The probe is due at once: never probed before.
DUE = {"ProbeSecondsLast": 0}


def copy_records(product):
    return [r[3:] for r in product.log_records() if r.startswith(" X ")]


def plain_records(product):
    return [r[3:] for r in product.log_records() if r.startswith("   ")]


def registered_windows(notes):
    """The distinct agent windows that answered a host registration."""
    return {value for code, value in notes if code == 50}


def wait_until_ended(product, host):
    host.wait_for(43, 0, timeout=120)
    harness.wait_for(lambda: not product.x_agent.exists(), 60, "the copy's file deleted")


def test_copy_probes_notifies_the_host_and_deletes_itself(agent_product, host_window):
    agent_product.write_original(OriginalSetup=DUE)
    with host_window() as host:
        run = agent_product.start("/DELAY=0", "/STOP=4", host.switch)
        assert run.exit_code == 0
        wait_until_ended(agent_product, host)
        notes = host.notifications()
    assert notes[:2] == [(50, notes[0][1]), (51, 1125)] and notes[0][1] != 0
    assert notes[2:] == [(40, 1), (40, 2), (43, 0)], notes
    assert "WinExec: " + f'"{harness.to_windows_path(agent_product.x_agent)}" /SleepX=0' in \
        plain_records(agent_product)
    assert copy_records(agent_product)[-4:-1] == ["DeleteMySelf", "DoRunStubWin() --- End",
                                                f"=== EXIT === {harness.to_windows_path(agent_product.x_agent)}"]


def test_two_plain_agents_at_once_give_one_copy(agent_product, host_window):
    with host_window() as host:
        first = agent_product.launch(host.switch, "/STOP=3", timeout=180)
        second = agent_product.launch(host.switch, "/STOP=3", timeout=180)
        assert (first.wait().exit_code, second.wait().exit_code) == (0, 0)
        wait_until_ended(agent_product, host)
        notes = host.notifications()
    assert len(registered_windows(notes)) == 1, notes
    assert [code for code, _ in notes].count(50) == 2, "both handed their switches on"
    assert plain_records(agent_product).count("Create X_ File ") == 1


def test_restart_replaces_the_running_copy(agent_product, host_window):
    with host_window() as host:
        assert agent_product.start(host.switch).exit_code == 0
        run = agent_product.start("/_ZZ=99", "/WAIT=0", host.switch, "/STOP=2", timeout=180)
        assert run.exit_code == 0
        harness.wait_for(lambda: [code for code, _ in host.notifications()].count(43) == 2, 120,
                         "both copies' ends")
        notes = host.notifications()
    old, new = [value for code, value in notes if code == 50]
    assert old != new
    # The old copy ended before the new one registered: one copy at a time.
    assert notes.index((43, 0)) < notes.index((50, new)), notes
    assert "The old X_ copy is asked to end" in plain_records(agent_product)
    harness.wait_for(lambda: not agent_product.x_agent.exists(), 60, "the copy's file deleted")


QUESTION = {"s22": "Look for a new PROG_NAME?", "s23": "<P>From the web.", "s24": "<P>Go on?"}


def box_text(view):
    return view.rich_edit.text.replace("\r\n", "\n")


@pytest.mark.parametrize("answer", ["no", "yes"])
def test_check_asked_for_by_the_user_confirms_probes_and_quits(agent_product, host_window, ui_driver, answer):
    agent_product.write_original(OriginalSetup={"ProgramName": "Demo"}, AutoUpdate=QUESTION)
    question = ui_driver("VMsgBox", ["click:1" if answer == "yes" else "click:2"], wait=120)
    with host_window() as host:
        assert agent_product.start("/TEST=2", host.switch, timeout=120).exit_code == 0
        asked = question.window(timeout=120)
        question.finish()
        outcome = ui_driver("VMsgBox", ["click:1"], wait=60) if answer == "yes" else None
        told = outcome.window(timeout=90) if outcome else None
        host.wait_for(43, 0, timeout=120)
        notes = host.notifications()
    assert (asked.caption, box_text(asked)) == ("Confirm", "Look for a new Demo?\nFrom the web.\nGo on?")
    if answer == "yes":
        assert (40, 1) in notes and (40, 2) in notes
        assert told is not None and told.caption == "Error", "the user hears why nothing came"
        outcome.finish()
    else:
        assert (40, 1) not in notes, "no probe after No"
    assert notes[-1] == (43, 0), "a copy started for the check ends after it"


def test_agent_message_answers_and_sets_values(agent_product, host_window):
    probed = agent_seconds()  # a moment ago: no probe of its own
    agent_product.write_original(OriginalSetup={"VersionOriginal": 123, "ProbeSecondsLast": probed,
                                                "ReAskSecondsLast": 89})
    (agent_product.folder / agent_product.info_name).write_bytes(b"[NewSetup]\r\nVersionNew=124\r\n")
    with host_window() as host:
        assert agent_product.start(host.switch).exit_code == 0
        host.wait_for(51, 1125)
        # Code 32 only refreshes the info file: no decision follows.
        assert agent_product.ctl("/ask=32").lines == ["32=0"]
        assert host.wait_for(40, 2)[2:] == [(40, 1), (40, 2)]
        assert not any(r.startswith("GetOkToPerformAU") for r in copy_records(agent_product))
        asked = agent_product.ctl("/ask=4", "/ask=5", "/ask=7", "/ask=8", "/ask=9", "/ask=10", "/ask=11",
                                  "/ask=12:7200", "/ask=13:-5", "/ask=14:1234", "/ask=15:77", "/ask=8",
                                  "/ask=9", "/ask=10", "/ask=11", "/ask=99:1")
        assert asked.exit_code == CTL_DONE, asked.lines
        assert agent_product.ctl("/ask=30:2", "/gone=60").exit_code == CTL_DONE
        wait_until_ended(agent_product, host)
    answers = [line for line in asked.lines if "=" in line]
    low32 = (probed + 2**31) % 2**32 - 2**31  # times answer their low 32 bits
    assert answers == ["4=123", "5=124", "7=0", "8=3600", "9=86400", f"10={low32}", "11=89",
                       "12=0", "13=0", "14=0", "15=0", "8=7200", "9=-5", "10=1234", "11=77", "99=0"]
    written = agent_product.read_original()["OriginalSetup"]
    assert (written["ProbeSecondsInterval"], written["ReAskSecondsInterval"]) == ("7200", "-5")


def test_override_item_zero_makes_the_copy_ask_before_a_probe(agent_product, ui_driver):
    agent_product.write_original(AutoUpdate=QUESTION)
    question = ui_driver("VMsgBox", ["click:2"], wait=120)
    assert agent_product.start().exit_code == 0
    asked = agent_product.ctl("/find=30", "/ask=20:1", "/ask=31:0")
    assert asked.exit_code == CTL_DONE, asked.lines
    view = question.window(timeout=90)
    question.finish()
    assert view is not None and view.caption == "Confirm"
    assert agent_product.resident_count() == 1, "a probe declined leaves the copy running"


# Switches of a second plain agent, handed to the running copy. `expect` is
# what the host sees after the copy's own registration, `running` whether
# the copy still runs afterwards.
HANDED_ON = [
    ("/STOP=1", [(43, 0)], False),
    ("/TEST=1", [(40, 1), (40, 2)], True),
    ("{host}", [(50, "copy"), (51, 1125)], True),
    ("/WM_MSG=1:{message}", [], True),  # no such window
    ("/WM_MSG={hwnd}:1023", [], True),  # below WM_USER
]


@pytest.mark.parametrize("switch, expect, running", HANDED_ON, ids=[row[0] for row in HANDED_ON])
def test_second_plain_agent_hands_its_switch_to_the_running_copy(agent_product, host_window, switch, expect,
                                                                  running):
    with host_window() as host:
        assert agent_product.start(host.switch).exit_code == 0
        copy = host.wait_for(51, 1125)[0][1]
        run = agent_product.start(switch.format(host=host.switch, hwnd=host.hwnd, message=host.message))
        assert run.exit_code == 0
        wanted = [(code, copy if value == "copy" else value) for code, value in expect]
        if wanted:
            host.wait_for(*wanted[-1], timeout=90)
        notes = host.notifications()[2:]
        if running:
            assert agent_product.resident_count() == 1
        else:
            assert agent_product.ctl("/gone=60").exit_code == CTL_DONE
    assert notes == wanted, notes
    assert plain_records(agent_product).count("Create X_ File ") == 1, "no second copy"
    if not wanted:
        assert "/WM_MSG= refused: no such window or a message number below WM_USER" in plain_records(agent_product)


@pytest.mark.parametrize("switches, handed", [
    (("/TRANSIENT=|1|255|", "/DELAY=5", "/WAIT=1"), " /TRANSIENTx=|1|255| /SleepX=5"),
    (("/TRANSIENT=|1| x", "/DELAY=99999999999"), " /SleepX=86400"),  # not an override string; clamped
])
def test_plain_agent_hands_overrides_and_delay_to_the_new_copy(agent_product, switches, handed):
    assert agent_product.start(*switches).exit_code == 0
    records = plain_records(agent_product)
    assert f'WinExec: "{harness.to_windows_path(agent_product.x_agent)}"{handed}' in records, records
    assert agent_product.resident_count() == 1
    if "/WAIT=1" in switches:
        assert "Wait 1 SEC" in records
    else:
        assert "/TRANSIENT= refused: not an override string" in records
