"""A small HTTP CONNECT proxy for the tests, run inside the fake server's process.

It stands for the office proxy a customer's browser is set to use: every CONNECT host:port is
logged and tunnelled to that address, so the support server sees the client's requests as if they
came directly. In "auth" mode it answers 407 asking for a password (Basic), as a proxy that wants
credentials does. In "windows" mode it asks for the Windows sign-in instead (Negotiate or NTLM) and
tunnels a CONNECT that carries one, taking any: a real office proxy checks it with the domain. Each
CONNECT is logged with the scheme of the credentials it carried, if any. Anything but CONNECT is
refused with 405: the client only speaks HTTPS.
"""

import select
import socket
import socketserver
import threading

MAX_HEAD = 16384
IDLE_TIMEOUT = 120


class ProxyHandler(socketserver.BaseRequestHandler):
    def handle(self):
        client = self.request
        client.settimeout(IDLE_TIMEOUT)
        head = b""
        while b"\r\n\r\n" not in head:
            chunk = client.recv(4096)
            if not chunk or len(head) > MAX_HEAD:
                return
            head += chunk
        head, _, early = head.partition(b"\r\n\r\n")
        parts = head.split(b"\r\n", 1)[0].decode("latin-1").split()
        if len(parts) != 3 or parts[0] != "CONNECT":
            client.sendall(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            return
        target = parts[1]
        scheme = credentials(head)
        self.server.record("CONNECT " + target + (" " + scheme if scheme else ""))
        mode = self.server.mode
        if mode == "auth" or (mode == "windows" and scheme not in ("Negotiate", "NTLM")):
            offered = (b"Proxy-Authenticate: Basic realm=\"proxy\"\r\n" if mode == "auth" else
                       b"Proxy-Authenticate: Negotiate\r\nProxy-Authenticate: NTLM\r\n")
            client.sendall(b"HTTP/1.1 407 Proxy Authentication Required\r\n" + offered + b"Content-Length: 0\r\n\r\n")
            return
        host, _, port = target.rpartition(":")
        try:
            upstream = socket.create_connection((host.strip("[]"), int(port)), timeout=10)
        except (OSError, ValueError):
            client.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
            return
        with upstream:
            client.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            if early:
                upstream.sendall(early)
            pump(client, upstream)


def credentials(head):
    """The scheme of the request's Proxy-Authorization header, or None."""
    for line in head.split(b"\r\n")[1:]:
        name, _, value = line.partition(b":")
        if name.strip().lower() == b"proxy-authorization":
            return (value.split() or [b""])[0].decode("latin-1")
    return None


def pump(a, b):
    peers = {a: b, b: a}
    while True:
        ready, _, _ = select.select(list(peers), [], [], IDLE_TIMEOUT)
        if not ready:
            return
        for s in ready:
            try:
                data = s.recv(65536)
            except OSError:
                return
            if not data:
                return
            try:
                peers[s].sendall(data)
            except OSError:
                return


class ConnectProxy(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address):
        self.lock = threading.Lock()
        self.lines = []
        self.mode = "tunnel"
        super().__init__(address, ProxyHandler)

    def record(self, line):
        with self.lock:
            self.lines.append(line)

    def log(self):
        with self.lock:
            return list(self.lines)

    def reset(self):
        with self.lock:
            self.lines = []
            self.mode = "tunnel"

    def set_mode(self, mode):
        if mode not in ("tunnel", "auth", "windows"):
            raise ValueError("unknown proxy mode %r" % mode)
        self.mode = mode

    def handle_error(self, request, client_address):
        pass  # a client that went away mid-tunnel is no news


def start(host, port):
    """Starts the proxy on a daemon thread; returns it."""
    proxy = ConnectProxy((host, port))
    threading.Thread(target=proxy.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    return proxy
