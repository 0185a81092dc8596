"""Test-side client for server/fake_server.py's /__fake/ control API.

    fake = Fake()                      # https://localhost, CA from env
    fake.reset()
    fake.script("GET", "/suporte/avulso/api/presenca", 503, count=1)
    ... run the program under test ...
    [req] = fake.log()                 # req["body"] is bytes

Where things come from when not passed explicitly:
  base    HALVOREN_FAKE_URL, else https://localhost
  cafile  HALVOREN_CA, else HALVOREN_CERTS/ca.crt (the OUTDIR given to
          server/make_certs.sh), else the system store (after
          server/trust_ca.sh install OUTDIR)
"""

import base64
import json
import os
import ssl
import urllib.error
import urllib.request


def default_cafile():
    ca = os.environ.get("HALVOREN_CA")
    if ca:
        return ca
    certs = os.environ.get("HALVOREN_CERTS")
    if certs:
        return os.path.join(certs, "ca.crt")
    return None


def header_values(entry, name):
    """All values of header `name` (case-insensitive) in a log entry, in order."""
    name = name.lower()
    return [v for n, v in entry["headers"] if n.lower() == name]


class FakeError(RuntimeError):
    pass


class Fake:
    def __init__(self, base=None, cafile=None, timeout=10):
        self.base = (base or os.environ.get("HALVOREN_FAKE_URL") or "https://localhost").rstrip("/")
        self.cafile = cafile or default_cafile()
        self.timeout = timeout
        self._ctx = ssl.create_default_context(cafile=self.cafile)
        # Never go through a proxy for loopback control calls.
        self._opener = urllib.request.build_opener(
            urllib.request.ProxyHandler({}),
            urllib.request.HTTPSHandler(context=self._ctx))

    def _call(self, method, name, payload=None):
        data = None if payload is None else json.dumps(payload).encode("utf-8")
        req = urllib.request.Request(self.base + "/__fake/" + name, data=data, method=method)
        if data is not None:
            req.add_header("Content-Type", "application/json")
        try:
            with self._opener.open(req, timeout=self.timeout) as resp:
                return resp.read()
        except urllib.error.HTTPError as e:
            raise FakeError("%s /__fake/%s -> %d: %s"
                            % (method, name, e.code, e.read().decode("utf-8", "replace")))

    def ping(self):
        return self._call("GET", "ping") == b"ok"

    def reset(self):
        self._call("POST", "reset", {})

    def clear_log(self):
        self._call("POST", "clear_log", {})

    def script(self, method, path, status=200, headers=(), body=b"", delay_ms=0,
               close=False, count=None, reason=None):
        """Register an answer. headers: pairs in send order (or a dict).
        count=None keeps it for every later request; count=N uses it N times,
        queued FIFO ahead of the sticky answer for the same method+path."""
        if isinstance(headers, dict):
            headers = headers.items()
        if isinstance(body, str):
            body = body.encode("utf-8")
        payload = {
            "method": method,
            "path": path,
            "status": status,
            "headers": [[str(n), str(v)] for n, v in headers],
            "body_b64": base64.b64encode(bytes(body)).decode("ascii"),
            "delay_ms": delay_ms,
            "close": bool(close),
            "count": count,
        }
        if reason is not None:
            payload["reason"] = reason
        self._call("POST", "script", payload)

    def log(self):
        """Requests received since the last reset/clear_log, oldest first.
        Each: method, path (with query), version, headers [[name, value]],
        body (bytes), conn (connection number, equal for reused connections),
        time (epoch seconds at arrival)."""
        entries = json.loads(self._call("GET", "log"))
        for e in entries:
            e["body"] = base64.b64decode(e.pop("body_b64"))
        return entries
