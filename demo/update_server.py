"""The publisher's web server of the demo's update scenario, on 127.0.0.1.

    update_server.py FOLDER UPDATE PRODUCT_PROGRAM

Serves /product/Product.info, which offers version 2 of the demo product to
installed version 1, and UPDATE (the packed version-2 setup) as
/product/DemoSetup-2.exe, slowly enough that the agent's download window can
be caught on screen. Talks to demo.sh through files in FOLDER:
    port         written once the server listens (the packages name it)
    published    the demo's sign that UPDATE is ready to be served
    downloading  written a few seconds into the agent's download (or when
                 none came in time), the moment for the screenshot
    stop         the demo's sign to end; requests.txt then lists what the
                 server saw
PRODUCT_PROGRAM is the product's program as Windows names it, the one the
agent shuts down and starts again.
"""

from __future__ import annotations

import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "lib"))
from http_server import HttpServer  # noqa: E402

UPDATE_PATH = "/product/DemoSetup-2.exe"
# The agent's downloads come under this user agent; its size check before
# the offer does not.
DOWNLOAD_AGENT = "HTTP_Connect_3"
TRICKLE_SECONDS = 25
TRICKLE_INTERVAL = 0.25
# Bounds of the waits, generous for Wine under qemu.
PUBLISH_WAIT_SECONDS = 300
DOWNLOAD_WAIT_SECONDS = 600
STOP_WAIT_SECONDS = 1800


def info_text(base_url: str, update_size: int, program: str) -> bytes:
    """The offer: asked before the download (which makes the agent show its
    download window), nothing asked afterwards, so one click carries the
    update through; the product is closed and started again."""
    keys = {
        "DownloadURL_UPDATE": base_url, "NameOfUpdateFile": Path(UPDATE_PATH).name,
        "SizeOfUpdateFile": update_size, "VersionNew": 2, "Stamp": 1, "ValidVersions": "1",
        "ProgramName": "Demo Product", "RunningProcess": program,
        "ShutDownMethod": "Using WM_CLOSE", "RestartProcess": 1,
        "RequestConfirmationBeforeDownload": 1, "RequestConfirmationBeforeInstall": 0,
        "InformFinish": 0, "BackgroundUpdate": 0,
    }
    lines = ["[NewSetup]"] + [f"{key}={value}" for key, value in keys.items()]
    return ("\r\n".join(lines) + "\r\n").encode("cp1252")


def wait_for_download(server: HttpServer, stop: Path) -> bool:
    """True once the agent's download has begun; False when the demo gave up
    on it first (stop) or it never came."""
    deadline = time.monotonic() + DOWNLOAD_WAIT_SECONDS
    while time.monotonic() < deadline and not stop.exists():
        if any(r.user_agent == DOWNLOAD_AGENT for r in server.requests(UPDATE_PATH)):
            return True
        time.sleep(0.2)
    return False


def wait_for_file(path: Path, limit: float) -> None:
    deadline = time.monotonic() + limit
    while not path.exists() and time.monotonic() < deadline:
        time.sleep(0.2)


def main() -> None:
    folder, update, program = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3]
    # Every answer closes its connection: Wine under qemu loses processes that
    # keep an idle one, and the demo gains nothing from keeping it.
    with HttpServer(keep_alive=False) as server:
        (folder / "port").write_text(str(server.port))
        wait_for_file(folder / "published", PUBLISH_WAIT_SECONDS)
        data = update.read_bytes() if update.exists() else b""
        chunk = max(4096, int(len(data) * TRICKLE_INTERVAL / TRICKLE_SECONDS))
        server.add_route(UPDATE_PATH, "trickle", data, chunk=chunk, interval=TRICKLE_INTERVAL)
        server.add_file("/product/Product.info", info_text(server.url("/product/"), len(data), program))
        try:
            if wait_for_download(server, folder / "stop"):
                time.sleep(TRICKLE_SECONDS / 3)
        finally:
            (folder / "downloading").write_text("now")
        wait_for_file(folder / "stop", STOP_WAIT_SECONDS)
        with open(folder / "requests.txt", "w") as log:
            for r in server.requests():
                log.write(f"{r.method} {r.path} User-Agent: {r.user_agent}\n")


if __name__ == "__main__":
    main()
