"""A loopback HTTP(S) server for the tests: bound to 127.0.0.1 on a free port,
serving in threads, every request logged for the test to assert.

A test registers what a path answers:

    with HttpServer() as server:
        server.add_file("/product/Setup.exe", data)        # exact length, Last-Modified
        server.add_route("/product/Short.exe", "short", body=data, send=100)
        url = server.url("/product/Setup.exe")

Route kinds (add_route(path, kind, **options)):
    file       the body with Content-Length and Last-Modified (add_file; `body`
               may be a Path, streamed from disk)
    nolength   the body without Content-Length, ended by closing the connection
    chunked    the body in chunked transfer encoding
    short      announces len(body), sends the first `send` bytes, closes
    reset      announces len(body), sends `send` bytes, resets the connection (RST)
    status     status `code` with `body` (text) and `content_type`
    redirect   status `code` (301, 302) with Location `to` (relative or absolute)
    trickle    len(body) announced, sent `chunk` bytes every `interval` seconds
    generated  `size` bytes of a fixed pattern (pattern_bytes), made on the fly
    sequence   `bodies`: the n-th GET of the path gets the n-th body (the last
               one repeats), each with its own exact length
Unregistered paths answer 404 as plain text. Helpers for the common error
pages: add_not_found_html, add_not_found_text.

requests(path=None) lists Request(method, path, user_agent, cache_control,
pragma, host, time) in arrival order; wait_for_requests(count, path, timeout)
waits for them. HttpServer(tls=True) serves https with a self-signed
certificate made by openssl in a temporary folder.
"""

from __future__ import annotations

import email.utils
import http.server
import socket
import socketserver
import ssl
import struct
import subprocess
import tempfile
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

PIECE = 256 * 1024


def pattern_bytes(size: int, offset: int = 0) -> bytes:
    """The generated body's bytes from `offset`: 0, 1, ..., 250, 0, 1, ...
    (a prime period, so pieces of power-of-two sizes differ)."""
    start = offset % 251
    period = bytes(range(251))
    whole = period[start:] + period * ((size + start) // 251 + 1)
    return whole[:size]


@dataclass
class Request:
    method: str
    path: str
    user_agent: str
    cache_control: str
    pragma: str
    host: str
    time: float


@dataclass
class Route:
    kind: str
    body: bytes | Path = b""
    options: dict = field(default_factory=dict)
    hits: int = 0

    def length(self) -> int:
        return self.body.stat().st_size if isinstance(self.body, Path) else len(self.body)


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VarnixTestServer/1.0"

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def do_HEAD(self):
        self._serve(head=True)

    def do_GET(self):
        self._serve(head=False)

    def _serve(self, head: bool) -> None:
        owner: HttpServer = self.server.owner
        path = self.path.split("?", 1)[0]
        owner._log(Request(self.command, self.path, self.headers.get("User-Agent", ""),
                           self.headers.get("Cache-Control", ""), self.headers.get("Pragma", ""),
                           self.headers.get("Host", ""), time.time()))
        route = owner._route(path)
        try:
            if route is None:
                self._send_status(404, b"Not found\n", "text/plain", head)
            else:
                getattr(self, "_kind_" + route.kind)(route, head)
        except (ConnectionError, BrokenPipeError, socket.timeout, ssl.SSLError):
            self.close_connection = True

    # --- helpers -----------------------------------------------------------
    def _headers(self, code: int, length: int | None, content_type="application/octet-stream",
                 extra: dict | None = None) -> None:
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        if length is not None:
            self.send_header("Content-Length", str(length))
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()

    def _send_status(self, code: int, body: bytes, content_type: str, head: bool) -> None:
        self._headers(code, len(body), content_type)
        if not head:
            self.wfile.write(body)

    def _write_body(self, route: Route, limit: int | None = None) -> None:
        if isinstance(route.body, Path):
            with open(route.body, "rb") as f:
                left = route.length() if limit is None else limit
                while left > 0:
                    piece = f.read(min(PIECE, left))
                    if not piece:
                        break
                    self.wfile.write(piece)
                    left -= len(piece)
        else:
            self.wfile.write(route.body if limit is None else route.body[:limit])

    # --- the kinds ---------------------------------------------------------
    def _kind_file(self, route: Route, head: bool) -> None:
        modified = email.utils.formatdate(route.options.get("modified", 1_700_000_000), usegmt=True)
        self._headers(200, route.length(), extra={"Last-Modified": modified})
        if not head:
            self._write_body(route)

    def _kind_nolength(self, route: Route, head: bool) -> None:
        self.close_connection = True
        self._headers(200, None, extra={"Connection": "close"})
        if not head:
            self._write_body(route)

    def _kind_chunked(self, route: Route, head: bool) -> None:
        self._headers(200, None, extra={"Transfer-Encoding": "chunked"})
        if head:
            return
        data = route.body if isinstance(route.body, bytes) else route.body.read_bytes()
        for at in range(0, len(data), 4096):
            piece = data[at:at + 4096]
            self.wfile.write(b"%X\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")

    def _kind_short(self, route: Route, head: bool) -> None:
        self.close_connection = True
        self._headers(200, route.length(), extra={"Connection": "close"})
        if not head:
            self._write_body(route, route.options["send"])
            self.wfile.flush()

    def _kind_reset(self, route: Route, head: bool) -> None:
        self._headers(200, route.length())
        if head:
            return
        self._write_body(route, route.options["send"])
        self.wfile.flush()
        time.sleep(0.2)  # the bytes sent reach the client before the reset
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True
        self.connection.close()

    def _kind_status(self, route: Route, head: bool) -> None:
        body = route.body if isinstance(route.body, bytes) else route.body.read_bytes()
        self._send_status(route.options["code"], body, route.options.get("content_type", "text/plain"), head)

    def _kind_redirect(self, route: Route, head: bool) -> None:
        self._headers(route.options.get("code", 302), 0, extra={"Location": route.options["to"]})

    def _kind_trickle(self, route: Route, head: bool) -> None:
        self._headers(200, route.length())
        if head:
            return
        data = route.body if isinstance(route.body, bytes) else route.body.read_bytes()
        chunk, interval = route.options.get("chunk", 1024), route.options.get("interval", 0.1)
        owner: HttpServer = self.server.owner
        for at in range(0, len(data), chunk):
            if owner._closing.is_set():
                break
            self.wfile.write(data[at:at + chunk])
            self.wfile.flush()
            owner._closing.wait(interval)

    def _kind_generated(self, route: Route, head: bool) -> None:
        size = route.options["size"]
        self._headers(200, size)
        if head:
            return
        block = pattern_bytes(PIECE + 251)
        sent = 0
        while sent < size:
            start = sent % 251
            piece = block[start:start + min(PIECE, size - sent)]
            self.wfile.write(piece)
            sent += len(piece)

    def _kind_sequence(self, route: Route, head: bool) -> None:
        bodies = route.options["bodies"]
        body = bodies[min(route.hits - 1, len(bodies) - 1)]
        self._headers(200, len(body))
        if not head:
            self.wfile.write(body)


class _Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    block_on_close = False

    def handle_error(self, request, client_address):
        # A client that drops its connection (the stub's warm-up request
        # closes before reading) is no server fault worth a traceback.
        pass


class HttpServer:
    def __init__(self, tls: bool = False) -> None:
        self.tls = tls
        self._routes: dict[str, Route] = {}
        self._requests: list[Request] = []
        self._lock = threading.Condition()
        self._closing = threading.Event()
        self._server: _Server | None = None
        self._thread: threading.Thread | None = None
        self._cert_dir: tempfile.TemporaryDirectory | None = None
        self.cert_file: Path | None = None

    # --- life --------------------------------------------------------------
    def start(self) -> "HttpServer":
        self._server = _Server(("127.0.0.1", 0), _Handler)
        self._server.owner = self
        if self.tls:
            self._server.socket = self._tls_context().wrap_socket(self._server.socket, server_side=True)
        self._thread = threading.Thread(target=self._server.serve_forever, kwargs={"poll_interval": 0.05},
                                        daemon=True)
        self._thread.start()
        return self

    def close(self) -> None:
        self._closing.set()
        if self._server is not None:
            self._server.shutdown()
            self._server.server_close()
            self._server = None
        if self._thread is not None:
            self._thread.join(5)
        if self._cert_dir is not None:
            self._cert_dir.cleanup()

    def __enter__(self) -> "HttpServer":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.close()

    def _tls_context(self) -> ssl.SSLContext:
        self._cert_dir = tempfile.TemporaryDirectory(prefix="varnix-tls-")
        folder = Path(self._cert_dir.name)
        self.cert_file, key = folder / "cert.pem", folder / "key.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", str(key), "-out", str(self.cert_file)],
                       check=True, capture_output=True, timeout=60)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.cert_file, key)
        return context

    # --- addresses ---------------------------------------------------------
    @property
    def port(self) -> int:
        assert self._server is not None, "the server is not started"
        return self._server.server_address[1]

    @property
    def base_url(self) -> str:
        return f"{'https' if self.tls else 'http'}://127.0.0.1:{self.port}"

    def url(self, path: str) -> str:
        return self.base_url + path

    # --- routes ------------------------------------------------------------
    def add_route(self, path: str, kind: str, body: bytes | Path | str = b"", **options) -> None:
        if kind not in {"file", "nolength", "chunked", "short", "reset", "status", "redirect", "trickle",
                        "generated", "sequence"}:
            raise ValueError(f"unknown route kind {kind}")
        data = body.encode() if isinstance(body, str) else body
        with self._lock:
            self._routes[path] = Route(kind, data, options)

    def add_file(self, path: str, body: bytes | Path, modified: float = 1_700_000_000) -> None:
        self.add_route(path, "file", body, modified=modified)

    def add_not_found_html(self, path: str) -> None:
        self.add_route(path, "status", b"<html><head><title>404 Not Found</title></head>"
                       b"<body><h1>Not Found</h1></body></html>", code=404, content_type="text/html")

    def add_not_found_text(self, path: str) -> None:
        self.add_route(path, "status", b"File not found\n", code=404)

    def _route(self, path: str) -> Route | None:
        with self._lock:
            route = self._routes.get(path)
            if route is not None:
                route.hits += 1
            return route

    # --- the request log ---------------------------------------------------
    def _log(self, request: Request) -> None:
        with self._lock:
            self._requests.append(request)
            self._lock.notify_all()

    def requests(self, path: str | None = None) -> list[Request]:
        with self._lock:
            return [r for r in self._requests if path is None or r.path.split("?", 1)[0] == path]

    def wait_for_requests(self, count: int, path: str | None = None, timeout: float = 30) -> list[Request]:
        deadline = time.monotonic() + timeout
        with self._lock:
            while True:
                found = [r for r in self._requests if path is None or r.path.split("?", 1)[0] == path]
                if len(found) >= count:
                    return found
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError(f"{len(found)} of {count} requests of {path or 'any path'} came")
                self._lock.wait(left)
