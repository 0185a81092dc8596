#!/usr/bin/python3
"""Scriptable HTTPS stand-in for the support server, used by the tests.

Tests tell it what to answer per method + exact path (query included) and
read back every request it received. Control requests live under /__fake/
on the same port and are never recorded, so the log only ever shows what
the client under test sent.

Control API (all bodies JSON unless noted):
  GET  /__fake/ping       -> 200 "ok" (text/plain)
  POST /__fake/reset      -> drop all scripts and the log
  POST /__fake/clear_log  -> drop the log only
  POST /__fake/script     -> register one answer:
       {"method": "GET", "path": "/a?b=1", "status": 200, "reason": "OK",
        "headers": [["Name", "value"], ...], "body": "text" | "body_b64": "...",
        "delay_ms": 0, "close": false, "count": null,
        "trickle_ms": 0, "reset": null, "fill": null, "noise": null}
       trickle_ms: the answer goes out one byte at a time, this long apart
       reset: "header" or "body": half of the head (or the head and half of the
              body) goes out, then the connection is reset (RST, not FIN)
       fill: the body is repeated (or cut) to exactly this many bytes
       noise: the body is this many random bytes, new for every answer
  POST /__fake/tls        -> {"cert": "good" | "wrong_host" | "self_signed" | "expired" |
                              "not_yet_valid", "ms": 10000}: new TLS handshakes get that
                             certificate (files beside --cert: other.crt, selfsigned.crt,
                             expired.crt, future.crt, all with --key) until "good" or until ms
                             have passed; every other open connection is dropped so
                             the next request really makes a new handshake, while the
                             connection carrying this call stays up
  GET  /__fake/last       -> the latest logged request as raw bytes: "METHOD PATH\r\n",
                             each header "Name: value\r\n", "\r\n", then the body
  GET  /__fake/raw        -> every logged request as /last gives it, in arrival order
  GET  /__fake/count      -> the number of logged requests, as decimal text
  GET  /__fake/log        -> [{"method", "path", "version", "headers": [[n, v], ...],
                               "body_b64", "conn", "time"}, ...] in arrival order
  GET  /__fake/proxy      -> what the CONNECT proxy beside the server (--proxy-port) was asked,
                             one "CONNECT host:port" line each (and the scheme of the credentials
                             it carried, if any), in arrival order
  POST /__fake/proxy      -> {"mode": "tunnel" | "auth" | "windows"}: tunnel, or answer 407 to every
                             CONNECT asking for a password ("auth"), or to every CONNECT without
                             Windows sign-in credentials ("windows"; see connect_proxy.py)
                             (reset brings back "tunnel" and empties the proxy's log)
"""

import argparse
import base64
import binascii
import collections
import http
import http.server
import itertools
import json
import os
import signal
import socket
import ssl
import struct
import sys
import threading
import time

import acks
import connect_proxy

CONTROL_PREFIX = "/__fake/"
PRESENCE_PATH = "/suporte/avulso/api/presenca"

# A client that connects but never finishes the handshake must not pin a
# worker thread forever.
HANDSHAKE_TIMEOUT = 15
# Idle keep-alive connections are closed after this long; WinHTTP simply
# reconnects, and it keeps stray sockets from piling up during long runs.
IDLE_TIMEOUT = 120
MAX_LINE = 65536
# Large enough for answers of several megabytes, small enough not to exhaust memory by a typo.
MAX_FILL = 64 * 1024 * 1024
# The certificates a TLS fault can switch new handshakes to, beside --cert.
FAULT_CERTS = {"wrong_host": "other.crt", "self_signed": "selfsigned.crt", "expired": "expired.crt",
               "not_yet_valid": "future.crt"}


def log_err(msg):
    sys.stderr.write("fake_server: %s\n" % msg)
    sys.stderr.flush()


class Answer:
    __slots__ = ("status", "reason", "headers", "body", "delay_ms", "close", "trickle_ms", "reset", "noise")

    def __init__(self, status, headers=(), body=b"", reason=None, delay_ms=0, close=False,
                 trickle_ms=0, reset=None, noise=None):
        self.status = status
        self.reason = reason
        self.headers = [(str(n), str(v)) for n, v in headers]
        self.body = body
        self.delay_ms = delay_ms
        self.close = close
        self.trickle_ms = trickle_ms
        self.reset = reset
        self.noise = noise


def default_answer(method, path):
    if method == "GET" and path == PRESENCE_PATH:
        return Answer(200, [("Content-Type", "application/json")], b'{"online":1}')
    return Answer(404, [("Content-Type", "application/json")], b'{"erro":"nao encontrado"}')


class State:
    """Scripts and request log, shared by all connection threads."""

    def __init__(self):
        self.lock = threading.Lock()
        self.reset()

    def reset(self):
        with self.lock:
            # (method, path) -> deque of [Answer, remaining uses]
            self.counted = {}
            # (method, path) -> Answer used once the counted ones run out
            self.sticky = {}
            self.log = []

    def clear_log(self):
        with self.lock:
            self.log = []

    def add(self, method, path, answer, count):
        key = (method, path)
        with self.lock:
            if count is None:
                self.sticky[key] = answer
            else:
                self.counted.setdefault(key, collections.deque()).append([answer, count])

    def take(self, method, path):
        key = (method, path)
        with self.lock:
            queue = self.counted.get(key)
            if queue:
                entry = queue[0]
                entry[1] -= 1
                if entry[1] <= 0:
                    queue.popleft()
                return entry[0]
            answer = self.sticky.get(key)
        return answer or default_answer(method, path)

    def record(self, entry):
        with self.lock:
            self.log.append(entry)

    def log_snapshot(self):
        with self.lock:
            return list(self.log)


class BadScript(ValueError):
    pass


def _is_token(s):
    return bool(s) and all(33 <= ord(c) <= 126 and c not in '"(),/:;<=>?@[\\]{}' for c in s)


def parse_script(data):
    """Validate a /__fake/script request; returns (method, path, Answer, count)."""
    if not isinstance(data, dict):
        raise BadScript("expected a JSON object")
    known = {"method", "path", "status", "reason", "headers", "body", "body_b64",
             "delay_ms", "close", "count", "trickle_ms", "reset", "fill", "noise"}
    unknown = set(data) - known
    if unknown:
        # Typos like "delay" would otherwise silently do nothing.
        raise BadScript("unknown fields: %s" % ", ".join(sorted(unknown)))

    method = data.get("method")
    if not isinstance(method, str) or not _is_token(method):
        raise BadScript("method must be a non-empty token")
    method = method.upper()

    path = data.get("path")
    if not isinstance(path, str) or not path.startswith("/") or any(c in path for c in " \r\n"):
        raise BadScript("path must start with / and contain no spaces")
    if path.startswith(CONTROL_PREFIX):
        raise BadScript("paths under %s are reserved" % CONTROL_PREFIX)

    status = data.get("status", 200)
    if type(status) is not int or not 100 <= status <= 999:
        raise BadScript("status must be an integer 100-999")

    reason = data.get("reason")
    if reason is not None and (not isinstance(reason, str) or "\r" in reason or "\n" in reason):
        raise BadScript("reason must be a single-line string")

    headers = data.get("headers", [])
    if not isinstance(headers, list):
        raise BadScript("headers must be a list of [name, value] pairs")
    pairs = []
    for h in headers:
        if (not isinstance(h, list) or len(h) != 2
                or not all(isinstance(x, str) for x in h)):
            raise BadScript("each header must be [name, value] strings")
        name, value = h
        if not _is_token(name):
            raise BadScript("bad header name %r" % name)
        if "\r" in value or "\n" in value:
            raise BadScript("header values must not contain CR or LF")
        pairs.append((name, value))

    if "body" in data and "body_b64" in data:
        raise BadScript("give body or body_b64, not both")
    if "body_b64" in data:
        if not isinstance(data["body_b64"], str):
            raise BadScript("body_b64 must be a string")
        try:
            body = base64.b64decode(data["body_b64"], validate=True)
        except (binascii.Error, ValueError):
            raise BadScript("body_b64 is not valid base64")
    else:
        body = data.get("body", "")
        if not isinstance(body, str):
            raise BadScript("body must be a string")
        body = body.encode("utf-8")

    delay_ms = data.get("delay_ms", 0)
    if type(delay_ms) not in (int, float) or delay_ms < 0:
        raise BadScript("delay_ms must be a non-negative number")

    close = data.get("close", False)
    if type(close) is not bool:
        raise BadScript("close must be true or false")

    count = data.get("count")
    if count is not None and (type(count) is not int or count < 1):
        raise BadScript("count must be null or an integer >= 1")

    trickle_ms = data.get("trickle_ms", 0)
    if type(trickle_ms) not in (int, float) or trickle_ms < 0:
        raise BadScript("trickle_ms must be a non-negative number")

    reset = data.get("reset")
    if reset not in (None, "header", "body"):
        raise BadScript('reset must be null, "header" or "body"')

    fill = data.get("fill")
    if fill is not None:
        if type(fill) is not int or not 0 <= fill <= MAX_FILL:
            raise BadScript("fill must be an integer 0-%d" % MAX_FILL)
        unit = body or b"x"
        body = (unit * (fill // len(unit) + 1))[:fill]

    noise = data.get("noise")
    if noise is not None and (type(noise) is not int or not 0 <= noise <= MAX_FILL):
        raise BadScript("noise must be an integer 0-%d" % MAX_FILL)

    return method, path, Answer(status, pairs, body, reason, delay_ms, close, trickle_ms, reset, noise), count


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    timeout = IDLE_TIMEOUT

    def setup(self):
        super().setup()
        self.conn_id = self.server.next_conn_id()
        self.server.opened(self.connection)

    def finish(self):
        self.server.closed(self.connection)
        super().finish()

    # Access logging would be noise; real problems go through log_error.
    def log_message(self, format, *args):
        pass

    def log_error(self, format, *args):
        log_err("%s: %s" % (self.client_address[0], format % args))

    def handle_one_request(self):
        # Same as the base class, but every method goes to one dispatcher so
        # scripts can use any verb without a do_XXX per method.
        try:
            acks.quick_ack(self.connection)
            self.raw_requestline = self.rfile.readline(MAX_LINE + 1)
            if len(self.raw_requestline) > MAX_LINE:
                self.requestline = self.request_version = self.command = ""
                self.send_error(http.HTTPStatus.REQUEST_URI_TOO_LONG)
                return
            if not self.raw_requestline:
                self.close_connection = True
                return
            if not self.parse_request():
                return
            self.dispatch()
            self.wfile.flush()
        except (TimeoutError, socket.timeout):
            self.close_connection = True

    def read_body(self):
        te = (self.headers.get("Transfer-Encoding") or "").strip().lower()
        if te:
            if te.split(",")[-1].strip() != "chunked":
                raise ValueError("unsupported Transfer-Encoding %r" % te)
            return self.read_chunked()
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        length = length.strip()
        if not length.isdigit():
            raise ValueError("bad Content-Length %r" % length)
        n = int(length)
        data = acks.read_acked(self.connection, self.rfile, n)
        if len(data) != n:
            raise ValueError("body ended after %d of %d bytes" % (len(data), n))
        return data

    def read_chunked(self):
        parts = []
        while True:
            line = self.rfile.readline(MAX_LINE + 1)
            if not line.endswith(b"\n"):
                raise ValueError("bad chunk size line")
            size_text = line.split(b";", 1)[0].strip()
            try:
                size = int(size_text, 16)
            except ValueError:
                raise ValueError("bad chunk size %r" % size_text)
            if size == 0:
                break
            data = self.rfile.read(size)
            if len(data) != size or self.rfile.read(2) != b"\r\n":
                raise ValueError("truncated chunk")
            parts.append(data)
        # Trailers are read off the wire but not kept; nothing sends them.
        while True:
            line = self.rfile.readline(MAX_LINE + 1)
            if not line or line in (b"\r\n", b"\n"):
                break
        return b"".join(parts)

    def dispatch(self):
        try:
            body = self.read_body()
        except ValueError as e:
            self.log_error("unreadable request body: %s", e)
            self.close_connection = True
            self.send_error(http.HTTPStatus.BAD_REQUEST, str(e))
            return

        # Wine's WinHTTP names the target in absolute form ("https://host:443/path") even inside a
        # proxy's tunnel; every HTTP/1.1 server must take that form, and it means the same path.
        if self.path.lower().startswith(("https://", "http://")):
            rest = self.path.split("://", 1)[1]
            self.path = "/" + rest.split("/", 1)[1] if "/" in rest else "/"
        route = self.path.split("?", 1)[0]
        if route.startswith(CONTROL_PREFIX):
            self.control(route[len(CONTROL_PREFIX):], body)
            return

        self.server.state.record({
            "method": self.command,
            "path": self.path,
            "version": self.request_version,
            "headers": [[n, v] for n, v in self.headers.items()],
            "body": body,
            "conn": self.conn_id,
            "time": time.time(),
        })
        answer = self.server.state.take(self.command, self.path)
        if answer.delay_ms:
            time.sleep(answer.delay_ms / 1000.0)
        if answer.close:
            # Hang up without a single response byte, as a dead server would.
            self.close_connection = True
            return
        self.send_answer(answer)

    def send_answer(self, answer):
        status = answer.status
        reason = answer.reason
        if reason is None:
            try:
                reason = http.HTTPStatus(status).phrase
            except ValueError:
                reason = "Unknown"
        lines = ["%s %d %s" % (self.protocol_version, status, reason)]
        lower = [n.lower() for n, _ in answer.headers]
        lines += ["%s: %s" % h for h in answer.headers]
        no_body = status < 200 or status in (204, 304) or self.command == "HEAD"
        if answer.noise is not None:
            answer = Answer(answer.status, answer.headers, os.urandom(answer.noise), answer.reason,
                            trickle_ms=answer.trickle_ms, reset=answer.reset)
        body = b"" if no_body else answer.body
        if "content-length" in lower:
            # A test is sending its own framing; if it does not describe the
            # body exactly, the connection cannot be reused.
            given = [v.strip() for n, v in answer.headers if n.lower() == "content-length"]
            if self.command != "HEAD" and given != [str(len(body))]:
                self.close_connection = True
        elif "transfer-encoding" not in lower and status >= 200 and status not in (204, 304):
            # For HEAD this is the length a GET would have had.
            lines.append("Content-Length: %d" % len(answer.body))
        for n, v in answer.headers:
            if n.lower() == "connection" and "close" in v.lower():
                self.close_connection = True
        head = ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1", "replace")
        if answer.reset:
            cut = len(head) // 2 if answer.reset == "header" else len(head) + len(body) // 2
            self.write_out((head + body)[:cut], answer.trickle_ms)
            self.reset_connection()
            return
        self.write_out(head + body, answer.trickle_ms)

    def write_out(self, data, trickle_ms):
        if not trickle_ms:
            self.wfile.write(data)
            return
        for i in range(len(data)):
            self.wfile.write(data[i:i + 1])
            self.wfile.flush()
            time.sleep(trickle_ms / 1000.0)

    def reset_connection(self):
        # SO_LINGER with a zero time makes close() send RST instead of FIN.
        # The orderly shutdown that normally ends a connection is skipped for it (see shutdown_request).
        self.wfile.flush()
        self.close_connection = True
        try:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass
        self.server.to_reset.add(self.connection)

    def send_json(self, status, obj):
        body = json.dumps(obj).encode("utf-8")
        self.send_answer(Answer(status, [("Content-Type", "application/json")], body))

    def control(self, name, body):
        expected = {"ping": "GET", "log": "GET", "last": "GET", "raw": "GET", "count": "GET", "reset": "POST",
                    "clear_log": "POST", "script": "POST", "tls": "POST", "proxy": ("GET", "POST")}
        if name not in expected:
            self.send_json(404, {"erro": "unknown control %r" % name})
            return
        allowed = expected[name] if isinstance(expected[name], tuple) else (expected[name],)
        if self.command not in allowed:
            self.send_json(405, {"erro": "use %s for %s" % (expected[name], name)})
            return
        state = self.server.state
        if name == "ping":
            self.send_answer(Answer(200, [("Content-Type", "text/plain")], b"ok"))
        elif name == "log":
            self.send_json(200, [json_entry(e) for e in state.log_snapshot()])
        elif name in ("last", "raw"):
            # Requests as plain bytes, for clients that read no JSON (the C++ tests): the latest, or
            # every one in arrival order.
            log = state.log_snapshot()
            if not log:
                self.send_answer(Answer(404, [("Content-Type", "text/plain")], b"none"))
                return
            raw = b"".join(raw_request(e) for e in (log[-1:] if name == "last" else log))
            self.send_answer(Answer(200, [("Content-Type", "application/octet-stream")], raw))
        elif name == "count":
            self.send_answer(Answer(200, [("Content-Type", "text/plain")],
                                    str(len(state.log_snapshot())).encode("ascii")))
        elif name == "reset":
            state.reset()
            if self.server.proxy:
                self.server.proxy.reset()
            self.send_json(200, {"ok": True})
        elif name == "clear_log":
            state.clear_log()
            self.send_json(200, {"ok": True})
        elif name == "script":
            try:
                data = json.loads(body.decode("utf-8"))
                method, path, answer, count = parse_script(data)
            except (UnicodeDecodeError, json.JSONDecodeError) as e:
                self.send_json(400, {"erro": "bad JSON: %s" % e})
                return
            except BadScript as e:
                self.send_json(400, {"erro": str(e)})
                return
            state.add(method, path, answer, count)
            self.send_json(200, {"ok": True})
        elif name == "tls":
            try:
                data = json.loads(body.decode("utf-8"))
                cert = data["cert"]
                ms = data.get("ms", 10000)
                if type(ms) not in (int, float) or ms <= 0:
                    raise ValueError("ms must be a positive number")
                self.server.switch_certificate(cert, ms / 1000.0, self.connection)
            except (UnicodeDecodeError, ValueError, KeyError, TypeError, OSError, ssl.SSLError) as e:
                self.send_json(400, {"erro": "bad tls control: %r" % e})
                return
            self.send_json(200, {"ok": True})
        elif name == "proxy":
            proxy = self.server.proxy
            if not proxy:
                self.send_json(404, {"erro": "no proxy (--proxy-port)"})
            elif self.command == "GET":
                text = "".join(line + "\n" for line in proxy.log())
                self.send_answer(Answer(200, [("Content-Type", "text/plain")], text.encode("ascii")))
            else:
                try:
                    proxy.set_mode(json.loads(body.decode("utf-8"))["mode"])
                except (UnicodeDecodeError, ValueError, KeyError, TypeError) as e:
                    self.send_json(400, {"erro": "bad proxy control: %r" % e})
                    return
                self.send_json(200, {"ok": True})


def json_entry(e):
    # Bodies are kept as bytes, so that a frame upload costs no encoding; JSON carries them in base64.
    entry = {k: v for k, v in e.items() if k != "body"}
    entry["body_b64"] = base64.b64encode(e["body"]).decode("ascii")
    return entry


def raw_request(e):
    head = "%s %s\r\n" % (e["method"], e["path"])
    head += "".join("%s: %s\r\n" % (n, v) for n, v in e["headers"]) + "\r\n"
    return head.encode("latin-1", "replace") + e["body"]


class FakeServer(http.server.ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False

    def __init__(self, address, ssl_context, cert_dir=None, key=None):
        self.ssl_context = ssl_context
        self.good_context = ssl_context
        self.cert_dir = cert_dir
        self.key = key
        self.fault_until = 0.0
        self.live = set()
        self.to_reset = set()
        self.live_lock = threading.Lock()
        self.state = State()
        self.proxy = None
        self._conn_ids = itertools.count(1)
        self._conn_lock = threading.Lock()
        super().__init__(address, Handler)

    def next_conn_id(self):
        with self._conn_lock:
            return next(self._conn_ids)

    def opened(self, sock):
        with self.live_lock:
            self.live.add(sock)

    def closed(self, sock):
        with self.live_lock:
            self.live.discard(sock)

    def switch_certificate(self, name, seconds, keep):
        if name == "good":
            context = self.good_context
        elif name in FAULT_CERTS and self.cert_dir:
            context = make_context(os.path.join(self.cert_dir, FAULT_CERTS[name]), self.key)
        else:
            raise ValueError("unknown certificate %r" % name)
        with self.live_lock:
            self.ssl_context = context
            self.fault_until = time.monotonic() + seconds
            others = [s for s in self.live if s is not keep]
        # A client's pooled connection would otherwise carry on under the old handshake.
        for s in others:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass

    def current_context(self):
        with self.live_lock:
            if self.ssl_context is not self.good_context and time.monotonic() > self.fault_until:
                # A lapsed fault lifts itself, so a lost control connection can always come back.
                self.ssl_context = self.good_context
            return self.ssl_context

    def get_request(self):
        sock, addr = self.socket.accept()
        sock.settimeout(HANDSHAKE_TIMEOUT)
        # The handshake happens later in the connection's own thread, so a
        # slow or broken client cannot stall accept() for everybody else.
        tls = self.current_context().wrap_socket(sock, server_side=True,
                                                 do_handshake_on_connect=False)
        return tls, addr

    def finish_request(self, request, client_address):
        try:
            request.do_handshake()
        except (ssl.SSLError, OSError) as e:
            # Clients that reject our certificate land here; worth a line,
            # since it usually means the test CA is not trusted.
            log_err("%s: TLS handshake failed: %s" % (client_address[0], e))
            return
        super().finish_request(request, client_address)

    def shutdown_request(self, request):
        if request in self.to_reset:
            self.to_reset.discard(request)
            self.close_request(request)
            return
        super().shutdown_request(request)

    def handle_error(self, request, client_address):
        exc = sys.exc_info()[1]
        if isinstance(exc, (ConnectionError, TimeoutError, ssl.SSLEOFError, ssl.SSLZeroReturnError)):
            return  # client went away; nothing to report
        log_err("%s: error: %r" % (client_address[0], exc))


def make_context(cert, key):
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_2
    ctx.load_cert_chain(cert, key)
    # Schannel reports a TLS 1.3 NewSessionTicket as SEC_I_RENEGOTIATE, which
    # not every WinHTTP/Wine build copes with; we gain nothing from resumption.
    ctx.num_tickets = 0
    return ctx


def write_file(path, text):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write(text)
    os.replace(tmp, path)


def main(argv=None):
    p = argparse.ArgumentParser(description="Fake support server for tests.")
    p.add_argument("--cert", required=True)
    p.add_argument("--key", required=True)
    p.add_argument("--host", default="127.0.0.1")
    p.add_argument("--port", type=int, default=443,
                   help="0 picks a free port (see --portfile)")
    p.add_argument("--pidfile")
    p.add_argument("--portfile", help="write the port actually bound here")
    p.add_argument("--proxy-port", type=int, help="also run the CONNECT proxy on this port of --host")
    args = p.parse_args(argv)

    try:
        ctx = make_context(args.cert, args.key)
        family = socket.AF_INET6 if ":" in args.host else socket.AF_INET
        FakeServer.address_family = family
        server = FakeServer((args.host, args.port), ctx, os.path.dirname(os.path.abspath(args.cert)),
                            args.key)
        if args.proxy_port:
            connect_proxy.ConnectProxy.address_family = family
            server.proxy = connect_proxy.start(args.host, args.proxy_port)
    except (OSError, ssl.SSLError) as e:
        log_err("cannot start on %s:%d: %s" % (args.host, args.port, e))
        return 1

    def stop(signum, frame):
        raise SystemExit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    pid = str(os.getpid())
    try:
        if args.portfile:
            write_file(args.portfile, "%d\n" % server.server_address[1])
        if args.pidfile:
            write_file(args.pidfile, pid + "\n")
        server.serve_forever(poll_interval=0.2)
    except SystemExit:
        pass
    finally:
        server.server_close()
        if args.pidfile:
            try:
                with open(args.pidfile) as f:
                    mine = f.read().strip() == pid
                if mine:
                    os.unlink(args.pidfile)
            except OSError:
                pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
