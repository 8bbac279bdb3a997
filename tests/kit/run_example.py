#!/usr/bin/env python3
"""Runs one of the host guide's examples under Wine against a loopback server.

    run_example.py --wine-exec SCRIPT --arch win64 --exe EXAMPLE.exe CASE

The server takes one connection on 127.0.0.1 (a free port), records the
request's bytes and answers with the case's body. The case then checks what
the server received and what the example wrote: the body on stdout, the
byte count on stderr.
"""
import argparse
import os
import socket
import subprocess
import sys
import threading

SERVER_DEADLINE_S = 90  # the server gives up on its own after this
EXAMPLE_DEADLINE_S = 180

# Bodies that cross the library's 4096-byte reads and hold no zero byte.
LONG_BODY = b"".join(b"line %05d of a body longer than one read\n" % i for i in range(250))

# name: example, request (path, post data or None), response body,
#       expected stdout, expected byte count; optional: the path the server
#       sees when it differs, environment additions
CASES = {
    # Several 4096-byte reads arrive whole; the query reaches the server.
    "c_get_long": dict(example="c_host", path="/kit/long?part=1&of=1", data=None,
                       body=LONG_BODY, stdout=LONG_BODY, size=len(LONG_BODY)),
    # A URL without a path asks for "/".
    "c_get_no_path": dict(example="c_host", path="", sent_path="/", data=None,
                          body=b"root", stdout=b"root", size=4),
    # The text ends at the first zero byte; the count still has all bytes.
    "c_get_zero_byte": dict(example="c_host", path="/kit/zero", data=None,
                            body=b"before\0after", stdout=b"before", size=12),
    # A POST's data goes out unchanged; the UTF-8 body comes back in the
    # ANSI code page (1252 here), U+2713 as one space.
    "cpp_post_ansi": dict(example="cpp_host", path="/kit/form", data="name=Quill%20barrow&x=1+2",
                          body="café ✓ ok".encode("utf-8"), stdout=b"caf\xe9   ok",
                          size=len("café ✓ ok".encode("utf-8"))),
    # Bytes that are not UTF-8 are replaced before the conversion and so
    # arrive as spaces, one per bad byte.
    "cpp_get_invalid_utf8": dict(example="cpp_host", path="/kit/bad", data=None,
                                 body=b"ok\xff\xfeend", stdout=b"ok  end", size=7),
    # With a Japanese locale the ANSI code page is 932: the text arrives as
    # Shift-JIS, and a character 932 lacks (U+2713) still becomes one space.
    "cpp_get_cp932": dict(example="cpp_host", path="/kit/ja", data=None,
                          body="日本語のテキスト ✓".encode("utf-8"),
                          stdout="日本語のテキスト ".encode("cp932") + b" ",
                          size=len("日本語のテキスト ✓".encode("utf-8")),
                          env={"LC_ALL": "ja_JP.UTF-8"}),
    # A GET through the import library, several reads converted at once.
    "cpp_get_long": dict(example="cpp_host", path="/kit/long", data=None,
                         body=LONG_BODY, stdout=LONG_BODY, size=len(LONG_BODY)),
}


class OneShotServer:
    """Accepts one connection, keeps the request's bytes, sends one response."""

    def __init__(self, body):
        self.body = body
        self.request = b""
        self.error = None
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(1)
        self.sock.settimeout(SERVER_DEADLINE_S)
        self.port = self.sock.getsockname()[1]
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        try:
            conn, _ = self.sock.accept()
            with conn:
                conn.settimeout(SERVER_DEADLINE_S)
                self.request = self._read_request(conn)
                head = b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: %d\r\n" \
                       b"Connection: close\r\n\r\n" % len(self.body)
                conn.sendall(head + self.body)
        except OSError as error:
            self.error = error
        finally:
            self.sock.close()

    @staticmethod
    def _read_request(conn):
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = conn.recv(65536)
            if not chunk:
                return data
            data += chunk
        head, _, rest = data.partition(b"\r\n\r\n")
        length = 0
        for line in head.split(b"\r\n")[1:]:
            name, _, value = line.partition(b":")
            if name.strip().lower() == b"content-length":
                length = int(value.strip())
        while len(rest) < length:
            chunk = conn.recv(65536)
            if not chunk:
                break
            rest += chunk
        return head + b"\r\n\r\n" + rest


def parse_request(raw):
    head, _, body = raw.partition(b"\r\n\r\n")
    lines = head.split(b"\r\n")
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(b":")
        headers.setdefault(name.strip().lower().decode("latin-1"), []).append(value.strip())
    return lines[0], headers, body


def check_request(case, raw, port):
    problems = []
    request_line, headers, body = parse_request(raw)
    verb = b"POST" if case["data"] is not None else b"GET"
    expected_line = verb + b" " + case.get("sent_path", case["path"]).encode() + b" HTTP/1.1"
    if request_line != expected_line:
        problems.append("request line %r, expected %r" % (request_line, expected_line))
    server_part = ("127.0.0.1:%d" % port).encode()
    for name, value in (("user-agent", b"Ferrywright"), ("referer", server_part)):
        if headers.get(name) != [value]:
            problems.append("%s header %r, expected [%r]" % (name, headers.get(name), value))
    if case["data"] is not None:
        content_type = headers.get("content-type")
        if content_type != [b"application/x-www-form-urlencoded"]:
            problems.append("content-type %r" % content_type)
        if body != case["data"].encode():
            problems.append("posted body %r, expected %r" % (body, case["data"].encode()))
    elif body:
        problems.append("a GET carried a body %r" % body)
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-exec", required=True)
    parser.add_argument("--arch", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()
    case = CASES[args.case]
    if os.path.splitext(os.path.basename(args.exe))[0] != case["example"]:
        print("case %s is for %s.exe, not %s" % (args.case, case["example"], args.exe))
        return 2

    server = OneShotServer(case["body"])
    url = "http://127.0.0.1:%d%s" % (server.port, case["path"])
    command = [args.wine_exec, args.arch, args.exe, url]
    if case["data"] is not None:
        command.append(case["data"])
    environment = dict(os.environ, **case.get("env", {}))
    try:
        result = subprocess.run(command, capture_output=True, timeout=EXAMPLE_DEADLINE_S,
                                env=environment)
    except subprocess.TimeoutExpired:
        print("the example did not end within %d s" % EXAMPLE_DEADLINE_S)
        return 1
    server.thread.join(SERVER_DEADLINE_S)

    problems = []
    if result.returncode != 0:
        problems.append("exit status %d" % result.returncode)
    if server.error is not None:
        problems.append("server: %s" % server.error)
    problems += check_request(case, server.request, server.port)
    if result.stdout != case["stdout"]:
        problems.append("stdout %r..., expected %r..." % (result.stdout[:80], case["stdout"][:80]))
    received = "%s: %d bytes received" % (case["example"], case["size"])
    if received not in result.stderr.decode("latin-1").splitlines():
        problems.append("stderr lacks %r" % received)

    for problem in problems:
        print(problem)
    if problems:
        print("stderr was:\n" + result.stderr.decode("latin-1"))
        return 1
    print("%s: request and output as expected" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
