"""Checks of the fake support server itself, on a private high port.

If the double misbehaves, every client test built on it is meaningless, so
these exercise it over real TLS with the certificates make_certs.sh makes.
"""

import datetime
import http.client
import json
import os
import re
import shutil
import signal
import socket
import ssl
import subprocess
import threading
import time

import pytest

from conftest import PYTHON, ROOT, wait_for
from fake import Fake, FakeError, header_values

SERVER_DIR = os.path.join(ROOT, "server")
PRESENCE = "/suporte/avulso/api/presenca"


def start_server(certs, tmp):
    portfile = os.path.join(tmp, "port")
    pidfile = os.path.join(tmp, "pid")
    errlog = open(os.path.join(tmp, "stderr.log"), "wb")
    proc = subprocess.Popen(
        [PYTHON, os.path.join(SERVER_DIR, "fake_server.py"),
         "--cert", os.path.join(certs, "server.crt"),
         "--key", os.path.join(certs, "server.key"),
         "--host", "127.0.0.1", "--port", "0",
         "--portfile", portfile, "--pidfile", pidfile],
        stdout=subprocess.DEVNULL, stderr=errlog)
    errlog.close()
    ok = wait_for(lambda: os.path.exists(portfile) or proc.poll() is not None)
    if not ok or proc.poll() is not None:
        proc.kill()
        proc.wait(timeout=5)
        with open(os.path.join(tmp, "stderr.log")) as f:
            pytest.fail("fake server did not start: " + f.read())
    with open(portfile) as f:
        port = int(f.read())
    return proc, port, pidfile


class Server:
    def __init__(self, certs, port):
        self.certs = certs
        self.port = port
        self.cafile = os.path.join(certs, "ca.crt")
        self.ctx = ssl.create_default_context(cafile=self.cafile)
        self.fake = Fake("https://localhost:%d" % port, cafile=self.cafile)

    def conn(self, timeout=10):
        return http.client.HTTPSConnection("localhost", self.port, context=self.ctx,
                                           timeout=timeout)

    def request(self, method, path, body=None, headers=None, timeout=10):
        c = self.conn(timeout)
        try:
            c.request(method, path, body=body, headers=headers or {})
            r = c.getresponse()
            return r.status, r.getheaders(), r.read()
        finally:
            c.close()


@pytest.fixture(scope="session")
def server_instance(certs, tmp_path_factory):
    proc, port, _ = start_server(certs, str(tmp_path_factory.mktemp("srv")))
    try:
        srv = Server(certs, port)
        assert wait_for(lambda: _pings(srv)), "fake server never answered /__fake/ping"
        yield srv
    finally:
        proc.terminate()
        proc.wait(timeout=10)


def _pings(srv):
    try:
        return srv.fake.ping()
    except OSError:
        return False


@pytest.fixture
def server(server_instance):
    server_instance.fake.reset()
    return server_instance


# --- certificates ----------------------------------------------------------

def _x509_text(path):
    return subprocess.run(["openssl", "x509", "-in", path, "-noout", "-text"],
                          check=True, capture_output=True, text=True).stdout


def _names(path):
    # RFC 2253 names read the same in every OpenSSL; -text's layout of them changed with 3.5.
    out = subprocess.run(["openssl", "x509", "-in", path, "-noout", "-issuer", "-subject", "-nameopt", "RFC2253"],
                         check=True, capture_output=True, text=True).stdout
    return dict(line.split("=", 1) for line in out.splitlines())


def _not_before(path):
    out = subprocess.run(["openssl", "x509", "-in", path, "-noout", "-startdate"],
                         check=True, capture_output=True, text=True).stdout
    stamp = out.strip().split("=", 1)[1]
    return datetime.datetime.strptime(stamp, "%b %d %H:%M:%S %Y GMT").replace(
        tzinfo=datetime.timezone.utc)


def test_certificates_are_what_winhttp_needs(certs):
    ca = _x509_text(os.path.join(certs, "ca.crt"))
    srv = _x509_text(os.path.join(certs, "server.crt"))
    for text in (ca, srv):
        assert "Signature Algorithm: sha256WithRSAEncryption" in text
        assert "Public-Key: (2048 bit)" in text
    ca_names, srv_names = _names(os.path.join(certs, "ca.crt")), _names(os.path.join(certs, "server.crt"))
    assert ca_names == {"issuer": "CN=Halvoren Test CA", "subject": "CN=Halvoren Test CA"}
    assert srv_names == {"issuer": "CN=Halvoren Test CA", "subject": "CN=localhost"}
    assert re.search(r"Basic Constraints: critical\s+CA:TRUE", ca)
    assert re.search(r"Key Usage: critical\s+.*Certificate Sign", ca)

    assert re.search(r"Basic Constraints: critical\s+CA:FALSE", srv)
    assert re.search(r"Key Usage: critical\s+Digital Signature, Key Encipherment", srv)
    assert re.search(r"Extended Key Usage:\s+TLS Web Server Authentication", srv)
    assert re.search(r"Subject Alternative Name:\s+DNS:localhost, IP Address:127.0.0.1", srv)

    now = datetime.datetime.now(datetime.timezone.utc)
    for name in ("ca.crt", "server.crt"):
        age = now - _not_before(os.path.join(certs, name))
        assert datetime.timedelta(hours=23) < age < datetime.timedelta(hours=25)

    subprocess.run(["openssl", "verify", "-CAfile", os.path.join(certs, "ca.crt"),
                    "-purpose", "sslserver", os.path.join(certs, "server.crt")],
                   check=True, capture_output=True)
    for key in ("ca.key", "server.key"):
        assert os.stat(os.path.join(certs, key)).st_mode & 0o077 == 0


def test_make_certs_makes_fresh_keys_each_run(tmp_path):
    script = os.path.join(SERVER_DIR, "make_certs.sh")
    subprocess.run([script, str(tmp_path)], check=True, timeout=60)
    first = (tmp_path / "server.key").read_bytes(), (tmp_path / "ca.key").read_bytes()
    subprocess.run([script, str(tmp_path)], check=True, timeout=60)
    second = (tmp_path / "server.key").read_bytes(), (tmp_path / "ca.key").read_bytes()
    assert first[0] != second[0] and first[1] != second[1]


def test_tls_validates_by_name_and_ip_and_survives_untrusting_client(server):
    for name in ("localhost", "127.0.0.1"):
        with socket.create_connection(("127.0.0.1", server.port), timeout=10) as raw:
            with server.ctx.wrap_socket(raw, server_hostname=name) as tls:
                assert tls.version() in ("TLSv1.2", "TLSv1.3")
    # A client without our CA must be refused, and the server must carry on.
    with pytest.raises(ssl.SSLCertVerificationError):
        c = http.client.HTTPSConnection("localhost", server.port,
                                        context=ssl.create_default_context(), timeout=10)
        try:
            c.request("GET", PRESENCE)
        finally:
            c.close()
    assert server.request("GET", PRESENCE)[0] == 200


def test_no_tls13_session_tickets(server):
    # Tickets reach Schannel clients as SEC_I_RENEGOTIATE mid-stream.
    c = server.conn()
    try:
        c.request("GET", PRESENCE)
        c.getresponse().read()
        if c.sock.version() != "TLSv1.3":
            pytest.skip("TLS 1.3 not negotiated")
        assert c.sock.session is not None and not c.sock.session.has_ticket
    finally:
        c.close()


# --- answers ---------------------------------------------------------------

def test_default_answers(server):
    status, headers, body = server.request("GET", PRESENCE)
    assert status == 200
    assert ("Content-Type", "application/json") in headers
    assert json.loads(body) == {"online": 1}
    # Only the exact method + path is the presence endpoint.
    for method, path in (("POST", PRESENCE), ("GET", PRESENCE + "?x=1"),
                         ("GET", "/suporte/avulso/api/outra")):
        status, headers, body = server.request(method, path)
        assert status == 404, (method, path)
        assert json.loads(body) == {"erro": "nao encontrado"}
        assert ("Content-Length", str(len(body))) in headers


BINARY = bytes(range(256))


@pytest.mark.parametrize("size", [0, 300, 524287, 524288])
def test_scripted_answer_round_trip_on_kept_alive_connection(server, size):
    body = (b"\x00" + BINARY * (size // 256 + 1))[:size]
    hdrs = [("Content-Type", "application/octet-stream"), ("X-Primeiro", "1"),
            ("Set-Cookie", "a=1"), ("Set-Cookie", "b=2"), ("X-Ultimo", "z")]
    server.fake.script("GET", "/arquivo?id=7", 207, headers=hdrs, body=body)
    c = server.conn()
    try:
        # Two exchanges on one connection: a wrong Content-Length would make
        # the second one fail or read garbage.
        for _ in range(2):
            c.request("GET", "/arquivo?id=7")
            r = c.getresponse()
            got = r.read()
            assert r.status == 207
            assert r.getheaders() == hdrs + [("Content-Length", str(size))]
            assert got == body
    finally:
        c.close()
    log = server.fake.log()
    assert len(log) == 2 and log[0]["conn"] == log[1]["conn"]


def test_counted_answers_fifo_then_sticky(server):
    f = server.fake
    f.script("GET", "/fila", 200, body=b"sticky")
    f.script("GET", "/fila", 500, body=b"first", count=2)
    f.script("GET", "/fila", 503, body=b"second", count=1)
    # Same path, other method / query: must not consume the queue.
    f.script("POST", "/fila", 201, body=b"post", count=1)
    got = [server.request("GET", "/fila")[::2] for _ in range(5)]
    assert got == [(500, b"first"), (500, b"first"), (503, b"second"),
                   (200, b"sticky"), (200, b"sticky")]
    assert server.request("GET", "/fila?x")[0] == 404
    assert server.request("POST", "/fila", body=b"")[::2] == (201, b"post")


def test_counted_answer_without_sticky_falls_back_to_default(server):
    server.fake.script("GET", PRESENCE, 503, body=b"fora", count=1)
    assert server.request("GET", PRESENCE)[::2] == (503, b"fora")
    status, _, body = server.request("GET", PRESENCE)
    assert status == 200 and json.loads(body) == {"online": 1}


def test_later_sticky_replaces_earlier(server):
    server.fake.script("GET", "/x", 200, body=b"old")
    server.fake.script("GET", "/x", 200, body=b"new")
    assert server.request("GET", "/x")[2] == b"new"


def test_delay_holds_answer_but_other_connections_are_served(server):
    delay = 1000
    server.fake.script("GET", "/lento", 200, body=b"enfim", delay_ms=delay)
    result = {}

    def slow():
        t0 = time.monotonic()
        result["answer"] = server.request("GET", "/lento")
        result["elapsed"] = time.monotonic() - t0

    t = threading.Thread(target=slow, daemon=True)
    t.start()
    assert wait_for(lambda: any(e["path"] == "/lento" for e in server.fake.log()), timeout=5)
    status, _, _ = server.request("GET", PRESENCE)
    assert status == 200
    assert t.is_alive(), "delayed answer came back before the other request"
    t.join(timeout=10)
    assert not t.is_alive()
    assert result["answer"][0] == 200 and result["answer"][2] == b"enfim"
    assert result["elapsed"] >= delay / 1000.0


def test_delay_longer_than_client_timeout_times_out(server):
    server.fake.script("GET", "/lento", 200, delay_ms=1500)
    with pytest.raises((TimeoutError, socket.timeout)):
        server.request("GET", "/lento", timeout=0.3)
    assert server.request("GET", PRESENCE)[0] == 200


def test_close_drops_connection_after_reading_request(server):
    server.fake.script("POST", "/cai", close=True, count=1)
    with pytest.raises((http.client.RemoteDisconnected, ConnectionError)):
        server.request("POST", "/cai", body=b"dados")
    [entry] = server.fake.log()
    assert entry["path"] == "/cai" and entry["body"] == b"dados"
    # count=1: the next one gets the default again.
    assert server.request("POST", "/cai", body=b"")[0] == 404


def test_redirect_is_sent_as_is(server):
    target = "https://localhost:%d/outro?a=1" % server.port
    server.fake.script("GET", "/velho", 302, headers=[("Location", target)])
    status, headers, body = server.request("GET", "/velho")
    assert status == 302
    assert headers == [("Location", target), ("Content-Length", "0")]
    assert body == b""
    assert [e["path"] for e in server.fake.log()] == ["/velho"]


# --- request log -----------------------------------------------------------

def test_log_records_requests_exactly(server):
    c = server.conn()
    try:
        # putrequest/putheader so the wire order is exactly ours.
        c.putrequest("GET", "/suporte/avulso/api/sessao?id=42&x=%20y",
                     skip_host=True, skip_accept_encoding=True)
        for n, v in [("Host", "localhost"), ("X-B", "2"), ("x-a", "1"),
                     ("X-Dup", "um"), ("X-Dup", "dois"), ("Authorization", "Bearer t")]:
            c.putheader(n, v)
        c.endheaders()
        c.getresponse().read()

        payload = b"\x00\x01bin\x00\xff" * 1000
        c.request("POST", "/suporte/avulso/api/pedido", body=payload,
                  headers={"Content-Type": "application/octet-stream"})
        c.getresponse().read()

        c.request("POST", "/suporte/avulso/api/vazio", body=b"")
        c.getresponse().read()

        c.request("PUT", "/pedaco", body=iter([b"abc", b"\x00", b"defgh"]),
                  encode_chunked=True)
        c.getresponse().read()
    finally:
        c.close()

    get, post, empty, chunked = server.fake.log()
    assert get["method"] == "GET"
    assert get["path"] == "/suporte/avulso/api/sessao?id=42&x=%20y"
    assert get["headers"] == [["Host", "localhost"], ["X-B", "2"], ["x-a", "1"],
                              ["X-Dup", "um"], ["X-Dup", "dois"],
                              ["Authorization", "Bearer t"]]
    assert get["body"] == b""
    assert header_values(get, "x-dup") == ["um", "dois"]

    assert post["method"] == "POST" and post["path"] == "/suporte/avulso/api/pedido"
    assert post["body"] == payload
    assert header_values(post, "Content-Length") == [str(len(payload))]

    assert empty["body"] == b""
    assert header_values(empty, "Content-Length") == ["0"]

    assert chunked["method"] == "PUT"
    assert header_values(chunked, "Transfer-Encoding") == ["chunked"]
    assert chunked["body"] == b"abc\x00defgh"
    # All on one kept-alive connection.
    assert len({e["conn"] for e in (get, post, empty, chunked)}) == 1


def test_control_requests_are_not_logged(server):
    f = server.fake
    assert f.ping()
    f.script("GET", "/a", 200)
    f.log()
    assert f.log() == []

    server.request("GET", "/a")
    f.clear_log()
    assert f.log() == []
    # clear_log keeps scripts; reset drops them.
    server.fake.script("GET", "/a", 201, count=None)
    assert server.request("GET", "/a")[0] == 201
    f.reset()
    assert f.log() == []
    assert server.request("GET", "/a")[0] == 404


@pytest.mark.parametrize("bad", [
    {"method": "GET"},                                     # no path
    {"method": "GET", "path": "/__fake/log"},              # reserved
    {"method": "GET", "path": "/a", "delay": 5},           # typo'd field
    {"method": "GET", "path": "/a", "body_b64": "!!"},
    {"method": "GET", "path": "/a", "count": 0},
    {"method": "GET", "path": "/a", "headers": [["X", "a\r\nY: b"]]},
    {"method": "GET", "path": "/a", "headers": {"X": "1"}},
    [],
])
def test_bad_script_is_rejected_and_changes_nothing(server, bad):
    with pytest.raises(FakeError, match="400"):
        server.fake._call("POST", "script", bad)
    assert server.request("GET", "/a")[0] == 404


def test_bad_json_is_rejected(server):
    c = server.conn()
    try:
        c.request("POST", "/__fake/script", body=b"{nao json")
        r = c.getresponse()
        assert r.status == 400
        assert "erro" in json.loads(r.read())
    finally:
        c.close()
    assert server.fake.ping()


# --- process handling ------------------------------------------------------

def test_sigterm_exits_cleanly_and_removes_pidfile(certs, tmp_path):
    proc, port, pidfile = start_server(certs, str(tmp_path))
    try:
        assert wait_for(lambda: os.path.exists(pidfile))
        with open(pidfile) as f:
            assert int(f.read()) == proc.pid
        # Hold a kept-alive connection open; it must not keep the process up.
        srv = Server(certs, port)
        c = srv.conn()
        c.request("GET", PRESENCE)
        c.getresponse().read()
        proc.send_signal(signal.SIGTERM)
        assert proc.wait(timeout=10) == 0
        assert not os.path.exists(pidfile)
        c.close()
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait(timeout=5)


def _free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.mark.skipif(shutil.which("curl") is None, reason="start.sh waits with curl")
def test_start_and_stop_scripts(certs, tmp_path):
    out = str(tmp_path)
    for name in ("ca.crt", "server.crt", "server.key"):
        shutil.copy(os.path.join(certs, name), out)
    env = dict(os.environ, HALVOREN_FAKE_PORT=str(_free_port()), HALVOREN_PROXY_PORT=str(_free_port()))
    start = [os.path.join(SERVER_DIR, "start.sh"), out]
    stop = [os.path.join(SERVER_DIR, "stop.sh"), out]
    pidfile = os.path.join(out, "fake_server.pid")
    try:
        subprocess.run(start, check=True, env=env, timeout=30)
        with open(pidfile) as f:
            first = int(f.read())
        srv = Server(out, int(env["HALVOREN_FAKE_PORT"]))
        assert srv.request("GET", PRESENCE)[0] == 200
        # Starting again replaces the old instance instead of failing on the port.
        subprocess.run(start, check=True, env=env, timeout=30)
        with open(pidfile) as f:
            second = int(f.read())
        assert second != first
        assert not os.path.exists("/proc/%d" % first) or _is_zombie(first)
        assert srv.request("GET", PRESENCE)[0] == 200
    finally:
        subprocess.run(stop, check=True, timeout=30)
    assert not os.path.exists(pidfile)
    with pytest.raises(OSError):
        srv.request("GET", PRESENCE, timeout=2)
    subprocess.run(stop, check=True, timeout=30)  # nothing running: still fine


def _is_zombie(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(")")[-1].split()[0] == "Z"
    except OSError:
        return True


# --- faults for the campaign ---------------------------------------------

def _raw_exchange(server, path, timeout=10):
    """Sends one GET on a fresh TLS connection and reads until the server ends it: (bytes, how)."""
    sock = socket.create_connection(("127.0.0.1", server.port), timeout=timeout)
    tls = server.ctx.wrap_socket(sock, server_hostname="localhost", suppress_ragged_eofs=False)
    tls.sendall(("GET %s HTTP/1.1\r\nHost: localhost\r\n\r\n" % path).encode())
    got, how = b"", "eof"
    try:
        while True:
            chunk = tls.recv(65536)
            if not chunk:
                break
            got += chunk
    except ConnectionResetError:
        how = "reset"
    except ssl.SSLError:
        how = "reset"
    finally:
        tls.close()
    return got, how


def test_trickled_answer_arrives_whole_and_slowly(server):
    server.fake.script("GET", "/t", 200, body="abcdef", count=1)
    server.fake._call("POST", "script", {"method": "GET", "path": "/t", "status": 200, "body": "abcdef",
                                         "trickle_ms": 20})
    start = time.monotonic()
    status, _, body = server.request("GET", "/t")
    first = time.monotonic() - start
    start = time.monotonic()
    status2, _, body2 = server.request("GET", "/t")
    took = time.monotonic() - start
    assert (status, body, status2, body2) == (200, b"abcdef", 200, b"abcdef")
    # The head alone is some 60 bytes, each 20 ms apart: the trickled answer takes that much longer.
    assert took > first + 0.6


@pytest.mark.parametrize("where", ["header", "body"])
def test_reset_cuts_the_answer_and_resets_the_connection(server, where):
    server.fake._call("POST", "script", {"method": "GET", "path": "/r", "status": 200, "body": "x" * 1000,
                                         "reset": where})
    got, how = _raw_exchange(server, "/r")
    # Ended without a TLS close: a reset, or an EOF the TLS layer reports as unexpected.
    assert how == "reset"
    if where == "header":
        assert got.startswith(b"HTTP/1.1 200") and b"\r\n\r\n" not in got
    else:
        head, _, body = got.partition(b"\r\n\r\n")
        assert b"Content-Length: 1000" in head and 0 < len(body) < 1000


def test_fill_and_noise_bodies(server):
    server.fake._call("POST", "script", {"method": "GET", "path": "/f", "body": "ab", "fill": 5})
    server.fake._call("POST", "script", {"method": "GET", "path": "/big", "fill": 3 * 1024 * 1024})
    server.fake._call("POST", "script", {"method": "GET", "path": "/n", "noise": 4096})
    assert server.request("GET", "/f")[2] == b"ababa"
    assert server.request("GET", "/big")[2] == b"x" * (3 * 1024 * 1024)
    one, two = server.request("GET", "/n")[2], server.request("GET", "/n")[2]
    assert len(one) == len(two) == 4096 and one != two
    for bad in ({"fill": -1}, {"noise": "x"}, {"reset": "middle"}, {"trickle_ms": -1}):
        with pytest.raises(FakeError):
            server.fake._call("POST", "script", dict({"method": "GET", "path": "/b"}, **bad))


@pytest.mark.parametrize("cert", ["wrong_host", "self_signed", "expired"])
def test_tls_fault_hits_new_handshakes_and_keeps_the_control_connection(server, cert):
    pooled = server.conn()
    pooled.request("GET", PRESENCE)
    assert pooled.getresponse().read() == b'{"online":1}'
    control = server.conn()

    def tls(name, ms=10000):
        control.request("POST", "/__fake/tls", body=json.dumps({"cert": name, "ms": ms}),
                        headers={"Content-Type": "application/json"})
        r = control.getresponse()
        return r.status, r.read()

    try:
        assert tls(cert)[0] == 200
        with pytest.raises(ssl.SSLCertVerificationError):
            server.request("GET", PRESENCE)
        # The client's pooled connection was dropped, so it cannot dodge the new handshake. Read it
        # rather than write to it: a write's broken pipe stays on the thread's OpenSSL error queue,
        # where Python 3.13 with OpenSSL 3.5 reports it on the next read of any socket, the control
        # connection's included (CPython issue 148594).
        try:
            assert pooled.sock.recv(1) == b""
        except (ConnectionError, ssl.SSLError):
            pass
        assert tls("good")[0] == 200
        assert server.request("GET", PRESENCE)[0] == 200
        # A fault lapses by itself, so a lost control connection can always come back.
        assert tls(cert, ms=300)[0] == 200

        def lapsed():
            try:
                return server.request("GET", PRESENCE)[0] == 200
            except (ssl.SSLError, ConnectionError, http.client.HTTPException, OSError):
                return False
        assert wait_for(lapsed, timeout=10)
        assert tls("nonsense")[0] == 400
    finally:
        tls("good")
        control.close()
        pooled.close()
