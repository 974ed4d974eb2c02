"""agent-ctl.exe against stand-in windows of another process (window-holder
records every message that reaches it), and the agent_product fixture's
folder and served update. The agent's own answers are tested where the agent
is built."""

from __future__ import annotations

import re
import subprocess

import harness
from agent_fixtures import (CTL_BAD_COMMAND_LINE, CTL_DONE, CTL_NO_WINDOW, CTL_STILL_RUNNING,
                            PRODUCT_TOKEN, WM_AGENTMSG, WM_LOCALMSG, WM_SHUTDOWN)

HOLDER_CLASS = "VarnixCtlStandIn"


def test_count_and_pid_see_every_window_of_the_class(window_holder, agent_ctl):
    assert agent_ctl(f"/class={HOLDER_CLASS}", "/count") == (CTL_DONE, ["windows=0"], {"windows": 0})
    with window_holder(HOLDER_CLASS):
        first = agent_ctl(f"/class={HOLDER_CLASS}", "/count", "/pid")
        with window_holder(HOLDER_CLASS):
            both = agent_ctl(f"/class={HOLDER_CLASS}", "/count")

    assert first.exit_code == CTL_DONE
    assert first.values["windows"] == 1 and first.values["pid"] > 0
    assert both.values == {"windows": 2}


def test_messages_reach_the_window_in_order_with_their_numbers(window_holder, agent_ctl):
    with window_holder(HOLDER_CLASS) as holder:
        # The asks come first: a sent message overtakes posted ones still queued.
        run = agent_ctl(f"/class={HOLDER_CLASS}", "/ask=4", "/ask=31:2", "/post=12:-5",
                        "/shutdown=3", "/host=4294967295:1125", "/shutdown=-1")
        messages = harness.wait_for(lambda: len(holder.messages()) >= 6 and holder.messages(), 15,
                                    "the posted messages to arrive")

    assert run.exit_code == CTL_DONE
    # A window that does not handle the agent message answers 0.
    assert run.lines == ["4=0", "31=0"]
    assert messages == [
        (WM_AGENTMSG, 4, 0),
        (WM_AGENTMSG, 31, 2),
        (WM_AGENTMSG, 12, -5),
        (WM_SHUTDOWN, 3, 0),
        (WM_LOCALMSG, 4294967295, 1125),
        (WM_SHUTDOWN, 4294967295, 0),  # -1 travels as all 32 bits of wParam
    ]


def test_agent_name_or_path_names_the_resident_copys_class(window_holder, agent_ctl):
    names = ["ctlprobe.exe", r"C:\Program Files\Product\ctlprobe.exe", "Z:/x/ctlprobe.exe",
             "CTLPROBE.EXE", "ctlprobe"]
    with window_holder(".AutoUpdate.X_ctlprobe") as holder:
        found = {name: agent_ctl(name, "/count", "/post=7:1").values for name in names}
        # Only the last extension is cut: this is another program's copy.
        other = agent_ctl("ctlprobe.v2.exe", "/post=7:2")
        messages = harness.wait_for(lambda: len(holder.messages()) >= len(names) and holder.messages(),
                                    15, "the posted messages to arrive")

    assert found == {name: {"windows": 1} for name in names}
    assert messages == [(WM_AGENTMSG, 7, 1)] * len(names)
    assert other.exit_code == CTL_NO_WINDOW


def test_without_a_window(agent_ctl):
    missing = "/class=VarnixNoSuchWindow"
    for args, code, lines in [
        ((missing, "/ask=4"), CTL_NO_WINDOW, []),
        ((missing, "/find=1", "/pid"), CTL_NO_WINDOW, []),
        (("noagent.exe", "/close"), CTL_NO_WINDOW, []),
        # Counting and waiting for the end need no window.
        ((missing, "/count", "/gone=5"), CTL_DONE, ["windows=0", "gone"]),
    ]:
        run = agent_ctl(*args)
        assert (run.exit_code, run.lines) == (code, lines), args


def test_gone_waits_for_the_process_and_is_bounded(window_holder, agent_ctl):
    with window_holder(HOLDER_CLASS) as holder:
        still = agent_ctl(f"/class={HOLDER_CLASS}", "/pid", "/gone=1")
        assert holder.running()
        closed = agent_ctl(f"/class={HOLDER_CLASS}", "/close", "/gone=30")
        harness.wait_for(lambda: not holder.running(), 15, "window-holder to end")

    assert (still.exit_code, still.lines[1:]) == (CTL_STILL_RUNNING, [])
    assert (closed.exit_code, closed.lines) == (CTL_DONE, ["gone"])


def test_bad_command_lines_are_refused_before_anything_is_sent(window_holder, agent_ctl):
    target = f"/class={HOLDER_CLASS}"
    bad = [
        [target],                         # nothing to do
        [target, "/post=31"],             # a post needs its value
        [target, "/post=31:x"],
        [target, "/ask=4:"],
        [target, "/ask=+4"],
        [target, "/ask= 4"],
        [target, "/ask=0x10"],
        [target, "/ask=-1"],              # codes are unsigned
        [target, "/ask=4294967296"],      # beyond 32 bits
        [target, "/ask=4:2147483648"],    # values are signed 32 bits
        [target, "/shutdown=2", "/host=12"],  # checked whole before the first post
        [target, "/host=12:x"],
        [target, "/find=3601"],           # every wait is bounded
        [target, "/gone=-1"],
        [target, "/timeout=0"],
        [target, "/count", "/frobnicate"],
        ["agent.exe", target, "/count"],  # a name and a class
        ["agent.exe", "other.exe", "/count"],
        ["/class=", "/count"],
        ["/class=" + "C" * 256, "/count"],
        [".exe", "/count"],              # no file name left to make a class of
    ]
    with window_holder(HOLDER_CLASS) as holder:
        refused = [agent_ctl(*args) for args in bad]
        messages = holder.messages()

    assert [r.exit_code for r in refused] == [CTL_BAD_COMMAND_LINE] * len(bad), list(zip(bad, refused))
    assert messages == [], "a refused command line sent nothing"


def _listed_token(pack_tool, package) -> str:
    listing = subprocess.run([str(pack_tool), "list", str(package)], capture_output=True,
                             text=True, check=True).stdout
    match = re.search(r'^\s*3 Token\s+scrambled "[^"]*", descrambled "([^"]*)"', listing, re.MULTILINE)
    assert match, listing
    return match.group(1)


def test_agent_product_starts_and_its_update_carries_the_token(agent_product, artefacts):
    update = agent_product.serve_update()
    info = agent_product.serve_info(update).decode(harness.ANSI)

    run = agent_product.start()

    assert run.exit_code == 0, run.stdout
    assert "   ThisIs_Plain_AutoUpdate_Exe=TRUE" in agent_product.log_records()
    assert _listed_token(artefacts.pack, update) == PRODUCT_TOKEN
    assert _listed_token(artefacts.pack, agent_product.agent) == PRODUCT_TOKEN
    assert f"SizeOfUpdateFile={update.stat().st_size}\r\n" in info
    assert agent_product.read_original()["OriginalSetup"]["VersionOriginal"] == "100"
    assert agent_product.inform_text("page").startswith(
        f"|{agent_product.scrambled_token()}|x|y|".encode())


def test_clean_up_ends_a_resident_copy_left_running(agent_product, window_holder):
    # A stand-in that ignores the shut-down message, as a hung copy would:
    # the clean-up must go on to close it.
    with window_holder(".AutoUpdate.X_agent") as stand_in:
        done = agent_product.stop_agents(limit=6)
        harness.wait_for(lambda: not stand_in.running(), 15, "the stand-in to end")

    assert len(done) == 1 and done[0].endswith("ended after /close"), done
    assert agent_product.resident_count() == 0


def test_product_copy_reads_its_records_notifies_the_host_and_is_cleaned_up(agent_product, host_window):
    with host_window() as host:
        assert agent_product.start(host.switch).exit_code == 0
        notes = host.wait_for(51, 1125)
        # The copy reads the fixture's record file: VersionOriginal comes back.
        asked = agent_product.ctl("/find=60", "/count", "/ask=4")

        done = agent_product.stop_agents()

    assert notes[:2] == [(50, notes[0][1]), (51, 1125)] and notes[0][1] != 0
    assert (asked.values["windows"], asked.values["4"]) == (1, 100)

    assert len(done) == 1 and done[0].endswith("ended after /shutdown=0"), done
    assert agent_product.resident_count() == 0
