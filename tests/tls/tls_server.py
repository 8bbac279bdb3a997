#!/usr/bin/env python3
"""Loopback TLS server with a self-signed certificate, for the https tests.

Listens on ADDRESS:443 with TLS and on ADDRESS:80 in plain TCP, and writes
one line per event to LOG: what the first bytes of each connection were,
whether the TLS handshake succeeded, and any request line read after it.
It writes READY once listening and stops by itself after SECONDS.
"""
import socket
import ssl
import sys
import threading
import time

address, cert, key, log_path, ready_path, seconds = sys.argv[1:7]
deadline = time.time() + float(seconds)
lock = threading.Lock()


def log(line):
    with lock, open(log_path, "a") as out:
        out.write(line + "\n")


def listener(port):
    sock = socket.socket()
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    sock.bind((address, port))
    sock.listen(8)
    sock.settimeout(0.2)
    return sock


def serve_tls(conn, context):
    conn.settimeout(10)
    first = conn.recv(8, socket.MSG_PEEK)
    log("tls-port first-bytes %s" % first[:3].hex())
    if first[:1] != b"\x16":
        log("tls-port plaintext %r" % conn.recv(4096)[:200])
        return
    try:
        tls = context.wrap_socket(conn, server_side=True)
    except (ssl.SSLError, OSError) as error:
        log("tls-port handshake-failed %s" % type(error).__name__)
        return
    log("tls-port handshake-ok")
    request = tls.recv(65536)
    log("tls-port request %r" % request.split(b"\r\n", 1)[0])
    tls.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 6\r\nConnection: close\r\n\r\nsecret")
    tls.close()


def serve_plain(conn):
    conn.settimeout(10)
    log("plain-port connection %r" % conn.recv(4096)[:200])


def main():
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    tls_sock, plain_sock = listener(443), listener(80)
    open(ready_path, "w").close()
    while time.time() < deadline:
        for sock, handler in ((tls_sock, lambda c: serve_tls(c, context)), (plain_sock, serve_plain)):
            try:
                conn, _ = sock.accept()
            except socket.timeout:
                continue
            threading.Thread(target=lambda: (handler(conn), conn.close()), daemon=True).start()


main()
