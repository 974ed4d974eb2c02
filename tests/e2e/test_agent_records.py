"""The update agent's settings files and decisions on a real system: the
files beside the agent read through the system's settings-file functions, the
test-mode values from the registry, file sizes from the file system and from
the loopback server. record-probe.exe (tools/test-helpers) reads and decides
through the product library and writes what it saw as JSON."""

from __future__ import annotations

import json
import time

import pytest

import harness

AGENT_PROJECT = """
[Package]
Type = agent

[Settings]
ServerUrl = http://127.0.0.1:1/product/
InfoFile = Product.v2.info
AgentExe = agent.exe
"""

AGENT_KEY = r"HKCU\Software\Wexmoral\Varnix\AutoUpdate"
NOW = 3974400000  # 09-DEC-2025 00:00:00 in the agent's seconds
UPDATE = b"U" * 5000


def ini(sections: dict[str, dict[str, str]]) -> bytes:
    text = ""
    for section, keys in sections.items():
        text += f"[{section}]\r\n" + "".join(f"{k}={v}\r\n" for k, v in keys.items())
    return text.encode(harness.ANSI)


def original(**extra) -> bytes:
    setup = {"VersionOriginal": "100", "Stamp": "6", "ProbeSecondsInterval": "3600",
             "ProbeSecondsLast": str(NOW - 5), "ProgramName": "Varnix Demo"}
    setup.update(extra)
    return ini({"OriginalSetup": setup, "MsgBox": {"FontSize": "10"},
                "AutoUpdate": {"s3": "Abgebrochen!"}})


def info(base: str, size: int = len(UPDATE)) -> bytes:
    return ini({"NewSetup": {"DownloadURL_UPDATE": base, "NameOfUpdateFile": "Setup.exe",
                             "SizeOfUpdateFile": str(size), "VersionNew": "101", "Stamp": "7",
                             "ValidVersions": "99,100", "RequestConfirmationBeforeInstall": "TRUE"}})


@pytest.fixture
def product(pack, work_dir):
    """The agent's package and the folder its two files lie in."""
    package = work_dir / "agent.exe"
    pack(AGENT_PROJECT, {}, package)
    return package, work_dir


@pytest.fixture
def probe(run_windows, artefacts, product, tmp_path):
    """probe(*switches) -> dict: one run of record-probe.exe on the product."""
    exe = harness.require(artefacts.launcher.parent / "record-probe.exe")
    package, folder = product
    out = tmp_path / "probe.json"

    def run(*switches: str) -> dict:
        out.unlink(missing_ok=True)
        command = " ".join([f'"{harness.to_windows_path(exe)}"',
                            f"/package={harness.to_windows_path(package)}",
                            f"/folder={harness.to_windows_path(folder)}",
                            f"/out={harness.to_windows_path(out)}", *switches])
        result = run_windows(command, timeout=120)
        assert result.exit_code == 0, result.stdout
        return json.loads(out.read_text(encoding="ascii"))

    return run


def test_items_decision_and_recorded_times(probe, product, http_server):
    _, folder = product
    http_server.add_file("/product/Setup.exe", UPDATE)
    (folder / "Product.original").write_bytes(original())
    (folder / "Product.v2.info").write_bytes(info(http_server.url("/product")))

    seen = probe(f"/now={NOW}", "/overrides=|255|1|", f"/writelast={NOW}")

    assert seen["original_path"].endswith("\\Product.original")  # every extension cut
    assert seen["info_path"].endswith("\\Product.v2.info")
    items = seen["items"]
    assert (items["VersionOriginal"], items["FontSize"], items["FontName"]) == (100, 10, "Tahoma")
    assert (items["s3"], items["s31"]) == ("Abgebrochen!", "Downloading INFO File...")
    assert items["SizeOfUpdateFile"] == len(UPDATE)
    assert items["RequestConfirmationBeforeInstall"] is False  # "TRUE" is not "1"
    assert items["RequestConfirmationBeforeDownload"] is True  # the override wins
    assert items["AutoInformW"] == 360
    assert seen["probe_due"] == 0  # 5 s of 3600
    assert (seen["stage"], seen["reason"], seen["ok"]) == (6, "OK", True)
    assert [r.method for r in http_server.requests("/product/Setup.exe")], "the server was asked"

    text = (folder / "Product.original").read_bytes().decode(harness.ANSI)
    lines = text.split("\r\n")
    assert f"ProbeSecondsLast={NOW}" in lines and f"ReAskSecondsLast={NOW}" in lines
    assert "__ProbeSecondsLast=09-DEC-2025 00:00:00" in lines
    assert "__ReAskSecondsLast=09-DEC-2025 00:00:00" in lines
    # Same Stamp as the files now say was offered last: too early to ask again.
    (folder / "Product.original").write_bytes(original(Stamp="7"))
    again = probe(f"/now={NOW + 10}")
    assert (again["stage"], again["reason"]) == (2, "Too early for retesting")


@pytest.mark.parametrize("served, route, stage", [
    (len(UPDATE) + 99, "file", 6),      # within 100 bytes
    (len(UPDATE) + 100, "file", 5),     # differs
    (len(UPDATE), "nolength", 5),       # the server tells no length
])
def test_size_check_against_the_server(probe, product, http_server, served, route, stage):
    _, folder = product
    http_server.add_route("/product/Setup.exe", route, b"U" * served)
    (folder / "Product.original").write_bytes(original())
    (folder / "Product.v2.info").write_bytes(info(http_server.url("/product")))

    seen = probe(f"/now={NOW}")

    assert seen["stage"] == stage, seen
    if stage == 5:
        assert seen["reason"] == "Download file size error"
        actual = served if route == "file" else -1
        assert seen["log"][-4:] == [f"  InfoSize={len(UPDATE)}", f"  HttpSize={actual}",
                                    f"  URL={http_server.url('/product/Setup.exe')}",
                                    "GetOkToPerformAU = 5 - Download file size error"]


def test_test_mode_takes_todays_registry_date_and_the_local_folder(
        probe, product, registry_value, http_server, tmp_path):
    _, folder = product
    updates = tmp_path / "updates"
    updates.mkdir()
    (updates / "Setup.exe").write_bytes(UPDATE)
    local = harness.to_windows_path(updates)
    (folder / "Product.original").write_bytes(original())
    (folder / "Product.v2.info").write_bytes(info(local))
    registry_value(AGENT_KEY, "TestMode", "1")
    registry_value(AGENT_KEY, "TestModeURL", local)

    yesterday = time.localtime(time.time() - 86400)
    registry_value(AGENT_KEY, "TestModeDate", time.strftime("%d-%b-%Y", yesterday).upper())
    off = probe(f"/now={NOW}")
    assert (off["test_mode"], off["test_mode_url"]) == (False, local)
    # Outside test mode a folder is no place to take an update from.
    assert (off["stage"], off["probe_due"]) == (5, 0)
    assert f"  Refused: not an http or https location: {local}" in off["log"]

    # In test mode the registry's folder replaces the info file's location.
    (folder / "Product.v2.info").write_bytes(info(http_server.url("/product")))
    registry_value(AGENT_KEY, "TestModeDate", time.strftime("%d-%b-%Y").upper())
    on = probe(f"/now={NOW}")
    assert on["test_mode"] is True
    assert on["probe_due"] == 1  # test mode probes every 5 s
    assert (on["stage"], on["reason"]) == (6, "OK")
    assert http_server.requests() == []  # never the Internet in test mode
