"""A loopback HTTP(S) server for the tests: bound to 127.0.0.1 on a free port,
serving each connection in a thread (HTTP/1.1, keep-alive where the route
allows), every request logged for the test to assert.

A test registers what a path answers; nothing is served unless registered:

    with HttpServer() as server:
        server.add_file("/product/Setup.exe", data)        # exact length, Last-Modified
        server.add_route("/product/Short.exe", "short", body=data, send=100)
        url = server.url("/product/Setup.exe")

Paths are matched after percent-decoding and without the query, so a route
"/product/My Setup.exe" answers "/product/My%20Setup.exe?x=1"; the log keeps
the path as it was sent.

Route kinds (add_route(path, kind, body, **options)); `body` is bytes, text or
a Path (streamed from disk in pieces of PIECE bytes, never read whole):
    file       200 with Content-Length and Last-Modified (`modified`, seconds);
               an empty body is the Content-Length 0 case (add_file)
    nolength   200 without Content-Length, the body ended by closing
    chunked    200 in chunked transfer encoding (pieces of `piece` bytes)
    short      announces the body's length, sends the first `send` bytes, closes
    reset      announces the body's length, sends `send` bytes, then resets
               the connection (RST: SO_LINGER 0)
    status     status `code` with the body and `content_type` (404, 500, ...)
    redirect   status `code` (301, 302) with Location `to`, relative or
               absolute; a route that names itself is a redirect loop
    trickle    announces the body's length, sends `chunk` bytes every
               `interval` seconds; stops at once when the server closes
    generated  `size` bytes of pattern_bytes made on the fly (any size, no
               disk, constant memory): the large-download case
    sequence   `bodies`: the n-th GET of the path gets the n-th body (the last
               repeats), each with its own exact length: a file swapped
               between the size query and the download. A HEAD answers the
               length the next GET would get and moves nothing on
Shortcuts: add_file, add_generated, add_redirect, add_status,
add_not_found_html (404 with "404" in its <title>), add_not_found_text.
Unregistered paths answer 404 as plain text.

The request log: requests(path=None) lists Request(method, path, user_agent,
cache_control, pragma, host, time, headers) in arrival order;
wait_for_requests(count, path, timeout) waits (bounded) until that many came.

HttpServer(keep_alive=False) ends every connection after its answer
("Connection: close"), so a client keeps no idle connection in a pool.

HttpServer(tls=True) serves https with a self-signed certificate for
127.0.0.1, made by openssl in a temporary folder (cert_file). A client that
refuses the certificate ends the handshake; tls_rejections() lists the
server's reading of each such end (e.g. "... alert unknown ca"), which shows
that the client reached the server and refused it; wait_for_tls_rejections
waits for them.

No thread of the server can hang a test: every socket has a time-out
(TIMEOUT), close() ends open connections, trickles and handshakes, and the
threads are joined with a bound.
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
import urllib.parse
from dataclasses import dataclass, field
from pathlib import Path

PIECE = 256 * 1024
# Longest a server thread waits for a client to read or send.
TIMEOUT = 30.0
KINDS = frozenset({"file", "nolength", "chunked", "short", "reset", "status", "redirect", "trickle",
                   "generated", "sequence"})
_PERIOD = bytes(range(251))


def pattern_bytes(size: int, offset: int = 0) -> bytes:
    """The generated body's bytes from `offset`: 0, 1, ..., 250, 0, 1, ...
    (a prime period, so pieces of power-of-two sizes differ)."""
    start = offset % 251
    whole = _PERIOD[start:] + _PERIOD * ((size + start) // 251 + 1)
    return whole[:size]


@dataclass
class Request:
    method: str
    path: str  # as sent, query included
    user_agent: str
    cache_control: str
    pragma: str
    host: str
    time: float
    headers: dict[str, str] = field(default_factory=dict)  # every header, names in lower case


@dataclass
class Route:
    kind: str
    body: bytes | Path = b""
    options: dict = field(default_factory=dict)
    gets: int = 0

    def length(self) -> int:
        return self.body.stat().st_size if isinstance(self.body, Path) else len(self.body)

    def pieces(self, limit: int | None = None, size: int = PIECE):
        """The body (or its first `limit` bytes) in pieces of at most `size`."""
        left = self.length() if limit is None else min(limit, self.length())
        if isinstance(self.body, bytes):
            for at in range(0, left, size):
                yield self.body[at:min(at + size, left)]
            return
        with open(self.body, "rb") as f:
            while left > 0:
                piece = f.read(min(size, left))
                if not piece:
                    return
                left -= len(piece)
                yield piece


def _route_key(path: str) -> str:
    return urllib.parse.unquote(path.split("?", 1)[0])


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VarnixTestServer/1.0"
    timeout = TIMEOUT

    def setup(self) -> None:
        owner: HttpServer = self.server.owner
        self.rejected = False
        if owner._closing.is_set():
            # Accepted just before close(): it would not be ended by it.
            self.request.close()
            self.rejected = True
            return
        self.request.settimeout(self.timeout)
        if owner._context is not None:
            # The handshake runs here, in the connection's thread: a client
            # that stalls in it must not hold up the accepting thread.
            try:
                self.request = owner._context.wrap_socket(self.request, server_side=True)
            except (ssl.SSLError, OSError) as error:
                # The failed handshake has closed the connection already.
                owner._note_tls_rejection(getattr(error, "reason", None) or str(error))
                self.rejected = True
                return
        owner._track(self.request, add=True)
        super().setup()

    def handle(self) -> None:
        if self.rejected:
            return
        try:
            super().handle()
        except (ConnectionError, socket.timeout, ssl.SSLError, OSError):
            pass  # the client or close() ended the connection

    def finish(self) -> None:
        owner: HttpServer = self.server.owner
        if self.rejected:
            return
        try:
            super().finish()
        except OSError:
            pass
        owner._track(self.request, add=False)
        if isinstance(self.request, ssl.SSLSocket):
            self.request.close()  # the server only closes the plain socket it accepted

    def log_message(self, format, *args):  # noqa: A002 - the base class's name
        pass

    def do_HEAD(self):
        self._serve(head=True)

    def do_GET(self):
        self._serve(head=False)

    def _serve(self, head: bool) -> None:
        owner: HttpServer = self.server.owner
        headers = {name.lower(): value for name, value in self.headers.items()}
        owner._log(Request(self.command, self.path, headers.get("user-agent", ""),
                           headers.get("cache-control", ""), headers.get("pragma", ""),
                           headers.get("host", ""), time.time(), headers))
        route = owner._route(_route_key(self.path), counts=not head)
        try:
            if route is None:
                self._send_status(404, b"Not found\n", "text/plain", head)
            else:
                getattr(self, "_kind_" + route.kind)(route, head)
        except (ConnectionError, socket.timeout, ssl.SSLError, OSError):
            self.close_connection = True

    def _headers(self, code: int, length: int | None, content_type="application/octet-stream",
                 extra: dict | None = None) -> None:
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        if length is not None:
            self.send_header("Content-Length", str(length))
        if not self.server.owner.keep_alive:
            extra = {**(extra or {}), **self._closes()}
        for name, value in (extra or {}).items():
            self.send_header(name, value)
        self.end_headers()

    def _send_status(self, code: int, body: bytes, content_type: str, head: bool) -> None:
        self._headers(code, len(body), content_type)
        if not head:
            self.wfile.write(body)

    def _write(self, route: Route, limit: int | None = None) -> None:
        for piece in route.pieces(limit):
            self.wfile.write(piece)

    def _closes(self) -> dict:
        self.close_connection = True
        return {"Connection": "close"}

    # --- the kinds ---------------------------------------------------------
    def _kind_file(self, route: Route, head: bool) -> None:
        modified = email.utils.formatdate(route.options.get("modified", 1_700_000_000), usegmt=True)
        self._headers(200, route.length(), extra={"Last-Modified": modified})
        if not head:
            self._write(route)

    def _kind_nolength(self, route: Route, head: bool) -> None:
        self._headers(200, None, extra=self._closes())
        if not head:
            self._write(route)

    def _kind_chunked(self, route: Route, head: bool) -> None:
        self._headers(200, None, extra={"Transfer-Encoding": "chunked"})
        if head:
            return
        for piece in route.pieces(size=route.options.get("piece", 4096)):
            self.wfile.write(b"%X\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")

    def _kind_short(self, route: Route, head: bool) -> None:
        self._headers(200, route.length(), extra=self._closes())
        if not head:
            self._write(route, route.options["send"])

    def _kind_reset(self, route: Route, head: bool) -> None:
        self._headers(200, route.length())
        if head:
            return
        self._write(route, route.options["send"])
        # The bytes sent reach the client before the reset, which would
        # otherwise overtake them and have them thrown away.
        self.server.owner._closing.wait(0.2)
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.close_connection = True
        self.connection.close()

    def _kind_status(self, route: Route, head: bool) -> None:
        body = b"".join(route.pieces())
        self._send_status(route.options["code"], body, route.options.get("content_type", "text/plain"), head)

    def _kind_redirect(self, route: Route, head: bool) -> None:
        self._headers(route.options.get("code", 302), 0, extra={"Location": route.options["to"]})

    def _kind_trickle(self, route: Route, head: bool) -> None:
        self._headers(200, route.length())
        if head:
            return
        closing = self.server.owner._closing
        for piece in route.pieces(size=route.options.get("chunk", 1024)):
            if closing.is_set():
                break
            self.wfile.write(piece)
            closing.wait(route.options.get("interval", 0.1))

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
        # A GET has already been counted; a HEAD shows what the next GET gets.
        index = route.gets - 1 if not head else route.gets
        body = bodies[min(index, len(bodies) - 1)]
        self._headers(200, len(body))
        if not head:
            self.wfile.write(body)


class _Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    block_on_close = False

    def handle_error(self, request, client_address):
        pass  # a client that went away is a case the tests make on purpose


class HttpServer:
    def __init__(self, tls: bool = False, keep_alive: bool = True) -> None:
        self.tls = tls
        self.keep_alive = keep_alive
        self._routes: dict[str, Route] = {}
        self._requests: list[Request] = []
        self._rejections: list[str] = []
        self._connections: set = set()
        self._lock = threading.Condition()
        self._closing = threading.Event()
        self._server: _Server | None = None
        self._thread: threading.Thread | None = None
        self._context: ssl.SSLContext | None = None
        self._cert_dir: tempfile.TemporaryDirectory | None = None
        self.cert_file: Path | None = None

    # --- life --------------------------------------------------------------
    def start(self) -> "HttpServer":
        if self.tls:
            self._context = self._tls_context()
        self._server = _Server(("127.0.0.1", 0), _Handler)
        self._server.owner = self
        self._thread = threading.Thread(target=self._server.serve_forever, kwargs={"poll_interval": 0.05},
                                        daemon=True)
        self._thread.start()
        return self

    def close(self) -> None:
        """Stops accepting, ends every open connection (idle keep-alive ones,
        trickles, handshakes) and waits a bounded time for their threads."""
        self._closing.set()
        if self._server is not None:
            self._server.shutdown()
            self._server.server_close()
            self._server = None
        with self._lock:
            connections = list(self._connections)
        for connection in connections:
            try:
                connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        deadline = time.monotonic() + 5
        with self._lock:
            while self._connections and time.monotonic() < deadline:
                self._lock.wait(deadline - time.monotonic())
        if self._thread is not None:
            self._thread.join(5)
        if self._cert_dir is not None:
            self._cert_dir.cleanup()
            self._cert_dir = None

    def __enter__(self) -> "HttpServer":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.close()

    def _tls_context(self) -> ssl.SSLContext:
        self._cert_dir = tempfile.TemporaryDirectory(prefix="varnix-tls-")
        folder = Path(self._cert_dir.name)
        self.cert_file, key = folder / "cert.pem", folder / "key.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", str(key), "-out", str(self.cert_file)],
                       check=True, capture_output=True, stdin=subprocess.DEVNULL, timeout=60)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.cert_file, key)
        return context

    def _track(self, connection, add: bool) -> None:
        with self._lock:
            if add:
                self._connections.add(connection)
            else:
                self._connections.discard(connection)
                self._lock.notify_all()

    def _note_tls_rejection(self, reason: str) -> None:
        with self._lock:
            self._rejections.append(reason)
            self._lock.notify_all()

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
        if kind not in KINDS:
            raise ValueError(f"unknown route kind {kind}")
        data = body.encode() if isinstance(body, str) else body
        with self._lock:
            self._routes[_route_key(path)] = Route(kind, data, options)

    def add_file(self, path: str, body: bytes | Path, modified: float = 1_700_000_000) -> None:
        self.add_route(path, "file", body, modified=modified)

    def add_generated(self, path: str, size: int) -> None:
        self.add_route(path, "generated", size=size)

    def add_redirect(self, path: str, to: str, code: int = 302) -> None:
        self.add_route(path, "redirect", code=code, to=to)

    def add_status(self, path: str, code: int, body: bytes | str = b"", content_type: str = "text/plain") -> None:
        self.add_route(path, "status", body, code=code, content_type=content_type)

    def add_not_found_html(self, path: str) -> None:
        self.add_status(path, 404, b"<html><head><title>404 Not Found</title></head>"
                        b"<body><h1>Not Found</h1></body></html>", "text/html")

    def add_not_found_text(self, path: str) -> None:
        self.add_status(path, 404, b"File not found\n")

    def _route(self, key: str, counts: bool) -> Route | None:
        with self._lock:
            route = self._routes.get(key)
            if route is not None and counts:
                route.gets += 1
            return route

    # --- the logs ----------------------------------------------------------
    def _log(self, request: Request) -> None:
        with self._lock:
            self._requests.append(request)
            self._lock.notify_all()

    def _matching(self, path: str | None) -> list[Request]:
        key = None if path is None else _route_key(path)
        return [r for r in self._requests if key is None or _route_key(r.path) == key]

    def requests(self, path: str | None = None) -> list[Request]:
        with self._lock:
            return self._matching(path)

    def wait_for_requests(self, count: int, path: str | None = None, timeout: float = 30) -> list[Request]:
        """The requests (of `path`) once at least `count` have come; raises
        TimeoutError after `timeout` seconds."""
        return self._wait(lambda: self._matching(path), count, timeout,
                          f"requests of {path or 'any path'}")

    def tls_rejections(self) -> list[str]:
        with self._lock:
            return list(self._rejections)

    def wait_for_tls_rejections(self, count: int = 1, timeout: float = 30) -> list[str]:
        """The refused handshakes once at least `count` have ended (the
        client may report its error before the server has read the end)."""
        return self._wait(lambda: list(self._rejections), count, timeout, "refused handshakes")

    def _wait(self, found_now, count: int, timeout: float, what: str) -> list:
        deadline = time.monotonic() + timeout
        with self._lock:
            while True:
                found = found_now()
                if len(found) >= count:
                    return found
                left = deadline - time.monotonic()
                if left <= 0:
                    raise TimeoutError(f"{len(found)} of {count} {what} came")
                self._lock.wait(left)
