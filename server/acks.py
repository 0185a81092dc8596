"""Reading a request body without the delayed-ACK stall.

A client whose stack holds its last, short segment back until everything before it is acknowledged
(Nagle; Wine's WinHTTP sends the header and then the body in pieces) would otherwise wait for the
delayed ACK, about 40 ms on loopback, on every frame upload. Linux leaves quick-ACK mode by itself,
so it is asked for again before every read.
"""
import socket


def quick_ack(connection):
    if hasattr(socket, "TCP_QUICKACK"):
        try:
            connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
        except OSError:
            pass


def read_acked(connection, rfile, n):
    """Up to n bytes of rfile, each piece acknowledged as soon as it is read."""
    parts = []
    while n > 0:
        quick_ack(connection)
        part = rfile.read1(min(n, 65536))
        if not part:
            break
        parts.append(part)
        n -= len(part)
    return b"".join(parts)
