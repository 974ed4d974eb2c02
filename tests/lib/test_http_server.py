"""The loopback server's routes, checked natively with a raw socket client, so
that a broken route is caught here and not misread by a test under Wine."""

from __future__ import annotations

import http.client
import socket
import ssl
import time

import pytest

from http_server import HttpServer, pattern_bytes

BODY = bytes(range(256)) * 40  # 10,240 bytes


def get(server: HttpServer, path: str, agent: str = "test") -> tuple[int, dict, bytes, str]:
    """Status, headers, the body as far as it came, and how it ended."""
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
    connection.request("GET", path, headers={"User-Agent": agent, "Pragma": "no-cache"})
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


@pytest.mark.parametrize("kind, options, status, length, body, ended", [
    ("file", {}, 200, str(len(BODY)), BODY, "complete"),
    ("nolength", {}, 200, None, BODY, "complete"),
    ("chunked", {}, 200, None, BODY, "complete"),
    ("short", {"send": 100}, 200, str(len(BODY)), BODY[:100], "short"),
    ("status", {"code": 500}, 500, str(len(BODY)), BODY, "complete"),
])
def test_routes_answer_as_registered(server, kind, options, status, length, body, ended):
    server.add_route("/x/Setup.exe", kind, BODY, **options)
    got_status, headers, got_body, how = get(server, "/x/Setup.exe")
    assert (got_status, headers.get("content-length"), got_body, how) == (status, length, body, ended)
    if kind == "chunked":
        assert headers["transfer-encoding"] == "chunked"


def test_reset_sends_part_then_resets(server):
    server.add_route("/r", "reset", BODY, send=1000)
    with socket.create_connection(("127.0.0.1", server.port), timeout=10) as raw:
        raw.sendall(b"GET /r HTTP/1.1\r\nHost: x\r\n\r\n")
        received, error = b"", None
        try:
            while chunk := raw.recv(65536):
                received += chunk
        except ConnectionResetError as e:
            error = e
    assert error is not None, "the connection must end with a reset"
    assert received.split(b"\r\n\r\n", 1)[1] == BODY[:1000]


def test_file_from_disk_has_last_modified_and_length(server, tmp_path):
    source = tmp_path / "big.bin"
    source.write_bytes(pattern_bytes(700_000))
    server.add_file("/big.bin", source)
    status, headers, body, _ = get(server, "/big.bin")
    assert status == 200 and body == pattern_bytes(700_000)
    assert headers["last-modified"].endswith("GMT")


def test_generated_body_is_the_pattern(server):
    server.add_route("/g", "generated", size=1_000_003)
    _, headers, body, _ = get(server, "/g")
    assert headers["content-length"] == "1000003"
    assert body == pattern_bytes(1_000_003)


def test_error_pages_redirects_and_unknown_paths(server):
    server.add_not_found_html("/html")
    server.add_not_found_text("/text")
    server.add_route("/moved", "redirect", code=301, to="/html")
    server.add_route("/loop", "redirect", code=302, to=server.url("/loop"))
    status, headers, body, _ = get(server, "/html")
    assert status == 404 and b"<title>404" in body and headers["content-type"] == "text/html"
    assert get(server, "/text")[0] == 404
    assert get(server, "/unknown")[0] == 404
    status, headers, _, _ = get(server, "/moved")
    assert (status, headers["location"]) == (301, "/html")
    assert get(server, "/loop")[1]["location"] == server.url("/loop")


def test_sequence_changes_the_file_between_requests(server):
    server.add_route("/s", "sequence", bodies=[b"first", b"second body"])
    assert [get(server, "/s")[2] for _ in range(3)] == [b"first", b"second body", b"second body"]


def test_trickle_is_slow_and_stops_when_the_server_closes():
    running = HttpServer().start()
    try:
        running.add_route("/t", "trickle", BODY[:3000], chunk=1000, interval=0.3)
        started = time.monotonic()
        _, _, body, _ = get(running, "/t")
        assert body == BODY[:3000] and time.monotonic() - started >= 0.6
        running.add_route("/forever", "trickle", bytes(10_000_000), chunk=1, interval=10)
        connection = http.client.HTTPConnection("127.0.0.1", running.port, timeout=10)
        connection.request("GET", "/forever")
        connection.getresponse()
    finally:
        started = time.monotonic()
        running.close()
    assert time.monotonic() - started < 2, "closing must not wait for the trickle"


def test_request_log(server):
    server.add_file("/f", b"x")
    get(server, "/f", agent="HTTP_Connect_2")
    get(server, "/f?q=1", agent="HTTP_Connect_3")
    log = server.wait_for_requests(2, "/f", timeout=5)
    assert [(r.method, r.path, r.user_agent, r.pragma) for r in log] == [
        ("GET", "/f", "HTTP_Connect_2", "no-cache"), ("GET", "/f?q=1", "HTTP_Connect_3", "no-cache")]
    with pytest.raises(TimeoutError):
        server.wait_for_requests(3, "/f", timeout=0.2)


def test_https_with_a_self_signed_certificate():
    with HttpServer(tls=True) as running:
        running.add_file("/s.exe", b"secret")
        assert running.base_url.startswith("https://127.0.0.1:")
        trusting = ssl.create_default_context(cafile=str(running.cert_file))
        connection = http.client.HTTPSConnection("127.0.0.1", running.port, context=trusting, timeout=10)
        connection.request("GET", "/s.exe")
        assert connection.getresponse().read() == b"secret"
        with pytest.raises(ssl.SSLCertVerificationError):
            strict = http.client.HTTPSConnection("127.0.0.1", running.port, timeout=10,
                                                 context=ssl.create_default_context())
            strict.request("GET", "/s.exe")
