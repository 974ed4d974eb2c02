"""The inform dialog, seen from outside: inform-host calls ShowInform as the
update agent does (a hidden window of its own as the owner), ui-driver reads
the dialog and acts on it as a user would.

Opened addresses are recorded by a script that stands in for the browser:
Wine's shell hands http and https addresses to winebrowser, which runs the
programs named by HKCU\\Software\\Wine\\WineBrowser "Browsers" (Unix paths).
With only the script named there, no real browser ever starts and nothing
leaves the machine; the addresses point at 127.0.0.1 anyway."""

from __future__ import annotations

import json
import os
from pathlib import Path

import pytest

import harness

CLASS = "VRichEditBox"
WS_THICKFRAME = 0x00040000
WS_CAPTION = 0x00C00000
WS_SYSMENU = 0x00080000
WS_EX_DLGMODALFRAME = 0x0001
BAND = 43

# Under qemu-user the driver's cross-process format query (EM_GETCHARFORMAT in
# a page of the target) gets no answer from any rich-edit control: every run
# reads as not bold, the message box's too. The bold run is then seen only
# on the screenshot.
UNDER_EMULATION = os.environ.get("VARNIX_WINE_EMULATION") == "qemu"

LINK = "http://127.0.0.1:9/varnix/new-version.html"
# An RTF page: the control renders it, "Bold news" in bold.
RTF_PAGE = (r"{\rtf1\ansi{\fonttbl{\f0\fswiss Verdana;}}\f0\fs20 "
            r"Version 5 of the product is out. {\b Bold news} for everyone."
            r"\par It brings faster downloads and a new look.}")


class UrlRecorder:
    """The stand-in browser: a script that appends each address it is given."""

    def __init__(self, folder: Path) -> None:
        folder.mkdir(parents=True, exist_ok=True)
        self.log = folder / "urls.txt"
        self.script = folder / "record-url.sh"
        self.script.write_text(f'#!/bin/sh\nprintf "%s\\n" "$*" >> "{self.log}"\n')
        self.script.chmod(0o755)

    def urls(self) -> list[str]:
        if not self.log.exists():
            return []
        return [line.split()[-1] for line in self.log.read_text().splitlines() if line]

    def wait_for(self, count: int, timeout: float = 60) -> list[str]:
        """The addresses once at least `count` arrived (winebrowser runs on
        its own after the shell returned)."""
        harness.wait_for(lambda: len(self.urls()) >= count, timeout,
                         f"{count} address(es) at the stand-in browser")
        return self.urls()


@pytest.fixture
def url_recorder(tmp_path, registry_value):
    recorder = UrlRecorder(tmp_path / "browser")
    registry_value(r"HKCU\Software\Wine\WineBrowser", "Browsers", str(recorder.script))
    return recorder


@pytest.fixture
def inform_host(start_windows, artefacts, tmp_path):
    """inform_host(**switches) -> a function that waits for its result (dict
    with "exit_code"); switches as in InformHost.cpp, True for a bare one."""
    exe = harness.require(artefacts.box_host.with_name("inform-host.exe"))
    count = 0

    def start(**switches):
        nonlocal count
        count += 1
        folder = tmp_path / f"inform-host-{count}"
        folder.mkdir()
        result_path = folder / "result.json"
        text = switches.pop("page", None)
        if text is not None:
            (folder / "page.txt").write_bytes(text.encode(harness.ANSI))
            switches["textfile"] = harness.to_windows_path(folder / "page.txt")
        parts = [f'"{harness.to_windows_path(exe)}"',
                 f"/result={harness.to_windows_path(result_path)}"]
        for name, value in switches.items():
            parts.append(f"/{name}" if value is True else f"/{name}={value}")
        process = start_windows(" ".join(parts), timeout=90)

        def wait() -> dict:
            run = process.wait()
            assert result_path.exists(), f"inform-host wrote no result: {run}"
            result = json.loads(result_path.read_text())
            result["exit_code"] = run.exit_code
            return result

        return wait

    return start


def button_place(width, height):
    return ((width - 160) // 2, height - 33, (width - 160) // 2 + 160, height - 33 + 25)


def test_the_page_shows_centred_with_its_button_and_follows_a_resize(
        ui_driver, inform_host, url_recorder, screenshot):
    driver = ui_driver(CLASS, ["size:520:420", "wmclose"], pause=True)
    wait = inform_host(caption="Product news", button="Download now", page=RTF_PAGE,
                       link=LINK, width=420, height=340, font="Arial", fontsize=9)
    window = driver.window()
    screenshot("inform-dialog")  # docs/inform-dialog.png is one of these
    run = driver.finish()
    result = wait()

    assert window.caption == "Product news"
    assert window.style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME) == (
        WS_CAPTION | WS_SYSMENU | WS_THICKFRAME)
    assert window.exstyle & WS_EX_DLGMODALFRAME
    assert window.owner != 0 and window.owner_enabled is True
    assert (window.width, window.height) == (420, 340)
    left, top, right, bottom = window.work_area
    assert window.window_rect[:2] == (left + (right - left - 420) // 2,
                                      top + (bottom - top - 340) // 2)

    width, height = window.client_size
    text = window.rich_edit
    assert text.rect == (3, 0, width, height - BAND)
    # Read as RTF, not shown as its codes: the words, and a line break for "\\par".
    assert [line for line in text.text.splitlines() if line] == [
        "Version 5 of the product is out. Bold news for everyone.",
        "It brings faster downloads and a new look."]
    if not UNDER_EMULATION:
        bold_start = text.text.index("Bold news")
        assert text.bold == [(bold_start, bold_start + len("Bold news"))]
    [button] = window.buttons
    assert button.text == "Download now"
    assert button.rect == button_place(width, height)
    assert button.focused and button.default and button.user_data == 1

    [(action, resized)] = run.steps
    assert action == "size:520:420"
    assert (resized.width, resized.height) == (520, 420)
    width, height = resized.client_size
    assert resized.rich_edit.rect == (3, 0, width, height - BAND)
    assert resized.buttons[0].rect == button_place(width, height)

    assert run.gone_ms is not None
    assert result["shown"] is True and result["quit_reposted"] is False


@pytest.mark.parametrize("action", ["click:1", "key:Enter"])
def test_the_button_opens_the_address_and_closes_the_dialog(
        ui_driver, inform_host, url_recorder, action):
    driver = ui_driver(CLASS, [action])
    wait = inform_host(caption="News", button="Get it", text="A plain page.", link=LINK)
    run = driver.finish()
    result = wait()

    assert run.window is not None and not run.step_failed
    assert run.gone_ms is not None, "the dialog stayed after its button"
    assert url_recorder.wait_for(1) == [LINK]
    assert result["shown"] is True


def test_an_empty_page_opens_the_address_without_a_window(
        window_watch, inform_host, url_recorder):
    watch = window_watch(CLASS, ["wmclose"])
    result = inform_host(caption="News", button="Get it", link=LINK)()

    assert watch.seen() is None
    assert result["shown"] is True
    assert url_recorder.wait_for(1) == [LINK]


def test_a_quit_request_ends_the_dialog_and_is_passed_on(ui_driver, inform_host, url_recorder):
    # Sizes beyond what the screen holds, and a link that is not a web
    # address: the page alone, no button band, within the work area.
    driver = ui_driver(CLASS, ["quit:7"])
    wait = inform_host(caption="News", button="Get it", text="Page without a usable link.",
                       link="ftp://127.0.0.1/new.exe", width=50, height=99999)
    run = driver.finish()
    result = wait()

    window = run.window
    left, top, right, bottom = window.work_area
    assert (window.width, window.height) == (200, bottom - top)
    assert window.window_rect[1] == top
    assert window.buttons == []
    width, height = window.client_size
    assert window.rich_edit.rect == (3, 0, width, height)

    assert run.gone_ms is not None, "the dialog stayed after the quit request"
    assert result["quit_reposted"] is True and result["quit_code"] == 7
    assert result["shown"] is True


def test_addresses_other_than_web_ones_are_never_opened(window_watch, inform_host, url_recorder):
    watch = window_watch(CLASS, ["wmclose"])
    refused = ["ftp://127.0.0.1/new.exe", "file:///C:/windows/notepad.exe",
               r"\\127.0.0.1\share\new.exe"]
    results = [inform_host(link=link)() for link in refused]
    # A web address after them: once it has arrived, a refused one that had
    # been handed over before it would have arrived as well.
    sentinel = "https://127.0.0.1:9/after-the-refused-ones"
    last = inform_host(link=sentinel)()

    assert [r["shown"] for r in results] == [False, False, False]
    assert last["shown"] is True
    assert url_recorder.wait_for(1) == [sentinel]
    assert watch.seen() is None
