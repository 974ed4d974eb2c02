"""The loopback server's routes, checked natively (http.client, urllib, raw
sockets and curl), so that a broken route is caught here and not misread by a
test under Wine."""

from __future__ import annotations

import http.client
import shutil
import socket
import ssl
import subprocess
import time
import urllib.error
import urllib.request

import pytest

from http_server import PIECE, HttpServer, pattern_bytes

BODY = bytes(range(256)) * 40  # 10,240 bytes
BIG = pattern_bytes(3 * PIECE + 17)  # spans several pieces of a streamed file


def get(server: HttpServer, path: str, agent: str = "test", method: str = "GET"):
    """Status, headers, the body as far as it came, and how it ended."""
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
    connection.request(method, path, headers={"User-Agent": agent, "Pragma": "no-cache"})
    response = connection.getresponse()
    headers = {k.lower(): v for k, v in response.getheaders()}
    body, ended = b"", "complete"
    try:
        body = response.read()
    except http.client.IncompleteRead as short:
        body, ended = short.partial, "short"
    except ConnectionResetError:
        ended = "reset"
    connection.close()
    return response.status, headers, body, ended


@pytest.fixture
def server():
    with HttpServer() as running:
        yield running


@pytest.fixture
def big_file(tmp_path):
    path = tmp_path / "big.bin"
    path.write_bytes(BIG)
    return path


# kind, body ("big": a file on disk), options, status, Content-Length, body received, how it ended
ROUTES = [
    ("file", BODY, {}, 200, str(len(BODY)), BODY, "complete"),
    ("file", b"", {}, 200, "0", b"", "complete"),  # Content-Length 0
    ("file", "big", {}, 200, str(len(BIG)), BIG, "complete"),  # streamed from disk
    ("nolength", "big", {}, 200, None, BIG, "complete"),  # ended by the close
    ("chunked", "big", {"piece": 5000}, 200, None, BIG, "complete"),
    ("short", BODY, {"send": 100}, 200, str(len(BODY)), BODY[:100], "short"),
    ("short", "big", {"send": PIECE + 1}, 200, str(len(BIG)), BIG[:PIECE + 1], "short"),
    ("status", BODY, {"code": 500}, 500, str(len(BODY)), BODY, "complete"),
    ("generated", b"", {"size": 1_000_003}, 200, "1000003", pattern_bytes(1_000_003), "complete"),
]


@pytest.mark.parametrize("kind, body, options, status, length, received, ended", ROUTES,
                         ids=[f"{row[0]}-{i}" for i, row in enumerate(ROUTES)])
def test_routes_answer_as_registered(server, big_file, kind, body, options, status, length, received, ended):
    server.add_route("/x/Setup.exe", kind, big_file if body == "big" else body, **options)
    got_status, headers, got_body, how = get(server, "/x/Setup.exe")
    assert (got_status, headers.get("content-length"), how) == (status, length, ended)
    assert got_body == received
    if kind == "chunked":
        assert headers["transfer-encoding"] == "chunked"
    if kind == "file":
        assert headers["last-modified"] == "Tue, 14 Nov 2023 22:13:20 GMT"


def test_reset_sends_part_then_resets(server, big_file):
    server.add_route("/r", "reset", big_file, send=1000)
    with socket.create_connection(("127.0.0.1", server.port), timeout=10) as raw:
        raw.sendall(b"GET /r HTTP/1.1\r\nHost: x\r\n\r\n")
        received, error = b"", None
        try:
            while chunk := raw.recv(65536):
                received += chunk
        except ConnectionResetError as e:
            error = e
    assert error is not None, "the connection must end with a reset, not a close"
    head, body = received.split(b"\r\n\r\n", 1)
    assert b"Content-Length: %d" % len(BIG) in head and body == BIG[:1000]


def test_error_pages_and_unknown_paths(server):
    server.add_not_found_html("/html")
    server.add_not_found_text("/text")
    status, headers, body, _ = get(server, "/html")
    assert (status, headers["content-type"]) == (404, "text/html") and b"<title>404" in body
    status, headers, body, _ = get(server, "/text")
    assert (status, headers["content-type"]) == (404, "text/plain") and b"<html" not in body
    assert get(server, "/unknown")[0] == 404


def test_redirects_are_followed_and_a_loop_is_a_loop(server):
    server.add_file("/target.exe", BODY)
    server.add_redirect("/relative", "/target.exe", code=301)
    server.add_redirect("/absolute", server.url("/relative"), code=302)
    server.add_redirect("/loop", server.url("/loop"))
    with urllib.request.urlopen(server.url("/absolute"), timeout=10) as response:
        assert response.read() == BODY
    assert [r.path for r in server.requests()] == ["/absolute", "/relative", "/target.exe"]
    with pytest.raises(urllib.error.HTTPError) as loop:
        urllib.request.urlopen(server.url("/loop"), timeout=10)
    assert loop.value.code == 302


def test_head_tells_the_length_and_sends_no_body(server):
    server.add_file("/f", BODY)
    server.add_route("/s", "sequence", bodies=[b"first", b"second body"])
    status, headers, body, _ = get(server, "/f", method="HEAD")
    assert (status, headers["content-length"], body) == (200, str(len(BODY)), b"")
    # A size query by HEAD does not use up the first body.
    assert get(server, "/s", method="HEAD")[1]["content-length"] == "5"
    assert [get(server, "/s")[2] for _ in range(3)] == [b"first", b"second body", b"second body"]
    assert get(server, "/s", method="HEAD")[1]["content-length"] == "11"


def test_keep_alive_serves_several_requests_on_one_connection(server):
    server.add_file("/a", b"one")
    server.add_route("/n", "nolength", b"two")
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
    connection.request("GET", "/a")
    assert connection.getresponse().read() == b"one"
    first = connection.sock
    connection.request("GET", "/a")
    assert connection.getresponse().read() == b"one"
    assert connection.sock is first, "a route with a length keeps the connection"
    connection.request("GET", "/n")
    response = connection.getresponse()
    assert response.getheader("Connection") == "close" and response.read() == b"two"
    connection.close()


@pytest.mark.parametrize("route", [("file", {}), ("status", {"code": 404}), ("redirect", {"to": "/a"})])
def test_without_keep_alive_every_answer_closes_its_connection(route):
    kind, options = route
    with HttpServer(keep_alive=False) as server:
        server.add_route("/r", kind, b"body", **options)
        connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
        connection.request("GET", "/r")
        response = connection.getresponse()
        response.read()
        assert response.getheader("Connection") == "close"
        assert connection.sock is None, "the client saw the connection end"
        connection.close()


def test_encoded_names_match_and_the_log_keeps_what_was_sent(server):
    server.add_file("/product/My Setup+1.exe", b"x")
    assert get(server, "/product/My%20Setup%2B1.exe?t=1")[2] == b"x"
    assert [r.path for r in server.requests("/product/My Setup+1.exe")] == ["/product/My%20Setup%2B1.exe?t=1"]


def test_request_log(server):
    server.add_file("/f", b"x")
    get(server, "/f", agent="HTTP_Connect_2")
    get(server, "/f?q=1", agent="HTTP_Connect_3")
    log = server.wait_for_requests(2, "/f", timeout=5)
    assert [(r.method, r.path, r.user_agent, r.pragma, r.host) for r in log] == [
        ("GET", "/f", "HTTP_Connect_2", "no-cache", f"127.0.0.1:{server.port}"),
        ("GET", "/f?q=1", "HTTP_Connect_3", "no-cache", f"127.0.0.1:{server.port}")]
    assert log[0].headers["accept-encoding"] == "identity" and log[0].time <= log[1].time
    started = time.monotonic()
    with pytest.raises(TimeoutError):
        server.wait_for_requests(3, "/f", timeout=0.2)
    assert time.monotonic() - started < 2


def test_trickle_is_slow_and_close_ends_it_and_idle_connections():
    running = HttpServer().start()
    try:
        running.add_route("/t", "trickle", BODY[:3000], chunk=1000, interval=0.3)
        started = time.monotonic()
        _, _, body, _ = get(running, "/t")
        assert body == BODY[:3000] and time.monotonic() - started >= 0.6
        running.add_route("/forever", "trickle", bytes(10_000_000), chunk=1, interval=10)
        trickling = http.client.HTTPConnection("127.0.0.1", running.port, timeout=10)
        trickling.request("GET", "/forever")
        trickling.getresponse()
        running.add_file("/a", b"a")
        idle = http.client.HTTPConnection("127.0.0.1", running.port, timeout=10)
        idle.request("GET", "/a")
        idle.getresponse().read()
    finally:
        started = time.monotonic()
        running.close()
    assert time.monotonic() - started < 2, "closing must not wait for the trickle or the idle connection"
    assert idle.sock.recv(1) == b"", "close() ends an idle keep-alive connection"


def test_https_with_a_self_signed_certificate():
    with HttpServer(tls=True) as running:
        running.add_file("/s.exe", b"secret")
        assert running.base_url.startswith("https://127.0.0.1:")
        trusting = ssl.create_default_context(cafile=str(running.cert_file))
        connection = http.client.HTTPSConnection("127.0.0.1", running.port, context=trusting, timeout=10)
        connection.request("GET", "/s.exe")
        assert connection.getresponse().read() == b"secret"
        connection.close()
        with pytest.raises(ssl.SSLCertVerificationError):
            strict = http.client.HTTPSConnection("127.0.0.1", running.port, timeout=10,
                                                 context=ssl.create_default_context())
            strict.request("GET", "/s.exe")
        assert running.wait_for_tls_rejections(1, timeout=5), "the refused handshake is seen"
        assert len(running.requests()) == 1, "and it is no request"


@pytest.mark.skipif(shutil.which("curl") is None, reason="curl is not installed")
def test_curl_sees_what_a_download_client_sees(server, tmp_path):
    server.add_generated("/big", 5_000_000)
    server.add_not_found_html("/gone")
    out = tmp_path / "big"
    curl = ["curl", "-sS", "--noproxy", "*", "--max-time", "20"]
    subprocess.run([*curl, "-o", str(out), server.url("/big")], check=True, timeout=30)
    assert out.read_bytes() == pattern_bytes(5_000_000)
    assert subprocess.run([*curl, "--fail", "-o", "/dev/null", server.url("/gone")], timeout=30).returncode == 22
    with HttpServer(tls=True) as secure:
        secure.add_file("/s.exe", b"secret")
        refused = subprocess.run([*curl, secure.url("/s.exe")], capture_output=True, timeout=30)
        assert refused.returncode == 60, refused.stderr  # the certificate could not be verified
        assert secure.wait_for_tls_rejections(1, timeout=5)
        trusted = subprocess.run([*curl, "--cacert", str(secure.cert_file), secure.url("/s.exe")],
                                 capture_output=True, timeout=30)
        assert trusted.stdout == b"secret"
