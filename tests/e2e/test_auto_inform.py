"""The agent's inform page under Wine: when the server's info file announces
an inform page instead of an update, a scheduled probe fetches it (its token
checked), shows it in the inform dialog or, without a page, opens its link,
and records the version so that the page is shown once. Observed from
outside: the dialog through ui-driver, the stand-in browser's record of
opened addresses, the record file, the agent's folder and its run log."""

from __future__ import annotations

import pytest

import harness
from test_inform_dialog import CLASS as INFORM_CLASS
from test_inform_dialog import UrlRecorder

LINK = "https://example.invalid/news"  # the fixture's DownloadURL_INFORM
INFORM_END = "PerformAutoInform() - END"


@pytest.fixture
def url_recorder(tmp_path, registry_value):
    recorder = UrlRecorder(tmp_path / "browser")
    registry_value(r"HKCU\Software\Wine\WineBrowser", "Browsers", str(recorder.script))
    return recorder


@pytest.mark.parametrize("case", [
    "page",
    "scrambled",  # the publisher's page made by varnix-pack scramble
    "link-only",
    "wrong-token",
])
def test_the_inform_page_is_shown_once_and_recorded(agent_product, window_watch, url_recorder, case):
    product = agent_product
    product.write_original(OriginalSetup={"ProbeSecondsLast": 0})
    body = "" if case == "link-only" else "Version 101 brings faster downloads."
    token = "0123456789" if case == "wrong-token" else None
    inform = product.serve_inform(body, scrambled_token=token, scramble=case == "scrambled")
    product.serve_info(inform=inform)
    dialog = window_watch(INFORM_CLASS, ["wmclose"], wait=180)

    assert product.start("/SleepX=0").exit_code == 0
    harness.wait_for(lambda: any(INFORM_END in r for r in product.log_records()), 180,
                     "the end of the inform cycle")
    shown = dialog.seen()
    records = [r[3:] for r in product.log_records() if r.startswith(" X ")]
    version = product.read_original()["OriginalSetup"]["VersionOriginal"]

    if case in ("page", "scrambled"):
        assert shown is not None and "Version 101 brings faster downloads." in shown.rich_edit.text
        assert version == "101"
        assert (product.folder / "Inform.txt").read_bytes() == inform
        assert inform.startswith(b"Scrambled=01") is (case == "scrambled")
    elif case == "link-only":
        assert shown is None
        assert url_recorder.wait_for(1) == [LINK]
        assert version == "101"
    else:
        assert shown is None and url_recorder.urls() == []
        assert version == "100"
        assert any("ERROR: Bad Secret Token!" in r for r in records), records
        assert not (product.folder / "Inform.txt").exists()
    assert any(r == INFORM_END + " " + ("FALSE" if case == "wrong-token" else "TRUE") for r in records), records
