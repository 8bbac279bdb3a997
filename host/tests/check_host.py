#!/usr/bin/env python3
"""Runs quillbarrow-host.exe under Wine and checks what it does, one case
per invocation:

    check_host.py --wine-exec scripts/wine-exec.sh --arch win64 \
                  --exe build/.../quillbarrow-host.exe [--partial-dll DLL] CASE

Message boxes need an X display: run under xvfb-run -a. Every server here
listens on 127.0.0.1 only, answers one request and ends by itself."""

import argparse
import codecs
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading

# Must match DemoText in host/src/DemoHttp.cpp.
DEMO_TEXT = ("Quillbarrow demo worked: this body came from the host's own loopback server.\n"
             "Non-ASCII, to try --ansi: Grüße, ようこそ, 2 × 3\n")
RUN_TIMEOUT = 120
RECEIVED = re.compile(r"^received (\d+) bytes$", re.M)


class Failure(Exception):
    pass


def check(condition, what, run=None):
    if not condition:
        detail = ""
        if run is not None:
            detail = ("\n--- exit code: %d\n--- stdout: %r\n--- stderr:\n%s"
                      % (run.returncode, run.stdout[:2000], stderr_text(run)))
        raise Failure(what + detail)


class Host:
    def __init__(self, args):
        self.wine_exec = os.path.abspath(args.wine_exec)
        self.arch = args.arch
        self.exe = os.path.abspath(args.exe)
        self.partial_dll = args.partial_dll and os.path.abspath(args.partial_dll)

    def run(self, *arguments, exe=None, cwd=None, env=None):
        environment = dict(os.environ)
        environment.update(env or {})
        return subprocess.run([self.wine_exec, self.arch, exe or self.exe, *arguments],
                              cwd=cwd, env=environment, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=RUN_TIMEOUT)


def stderr_text(run):
    # stderr stays in text mode, as a console program's does: CRLF lines.
    return run.stderr.decode("utf-8", "replace").replace("\r\n", "\n")


def progress(run):
    return [int(n) for n in RECEIVED.findall(stderr_text(run))]


def check_delivered(run, expected, what, received=None):
    """Exit 0, the exact body on stdout, progress that only grows and ends
    at the count of bytes received (the body's length unless converted),
    and no message box."""
    received = len(expected) if received is None else received
    check(run.returncode == 0, what + ": exit code 0", run)
    check(run.stdout == expected, what + ": stdout is the body, byte for byte", run)
    counts = progress(run)
    check(counts and counts == sorted(counts) and counts[-1] == received,
          what + ": progress grows to %d bytes, got %r" % (received, counts), run)
    check("[message]" not in stderr_text(run), what + ": no message box", run)


class OneShotServer:
    """Answers one HTTP request with a fixed response and keeps the
    request's bytes; gives up after RUN_TIMEOUT seconds."""

    def __init__(self, response):
        self.response = response
        self.request = b""
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.listener.settimeout(RUN_TIMEOUT)
        self.port = self.listener.getsockname()[1]
        self.thread = threading.Thread(target=self._serve, daemon=True)
        self.thread.start()

    def _serve(self):
        with self.listener:
            try:
                client, _ = self.listener.accept()
            except socket.timeout:
                return
        with client:
            client.settimeout(RUN_TIMEOUT)
            while b"\r\n\r\n" not in self.request:
                chunk = client.recv(4096)
                if not chunk:
                    return
                self.request += chunk
            client.sendall(self.response)
            client.shutdown(socket.SHUT_WR)
            while client.recv(4096):
                pass

    def join(self):
        self.thread.join(RUN_TIMEOUT)


def case_demo_get(host):
    # The command line a reader of the README would type, from the build
    # directory; the host finds Quillbarrow.dll next to itself.
    run = host.run("--dismiss-messages", exe="quillbarrow-host.exe", cwd=os.path.dirname(host.exe))
    check_delivered(run, DEMO_TEXT.encode("utf-8"), "demo GET")
    check(re.search(r"^\[demo\] serving http://127\.0\.0\.1:\d+/demo$", stderr_text(run), re.M),
          "demo GET: the demo URL is shown", run)
    check("[demo] answered GET /demo" in stderr_text(run), "demo GET: the server answered", run)


def case_demo_post(host):
    cases = [
        ("form fields", "name=Quill+barrow&city=K%C3%B6ln&empty="),
        ("empty body", ""),
        ("larger than one 4096-byte read", "field=" + "0123456789abcdef" * 600),
    ]
    for what, data in cases:
        run = host.run("--dismiss-messages", "--post", data)
        check_delivered(run, data.encode("ascii"), "demo POST, " + what)
        check("[demo] answered POST /demo (request body: %d bytes)" % len(data) in stderr_text(run),
              "demo POST, %s: the server got the whole body" % what, run)


def to_code_page(text, code_page):
    # The library's conversion turns each character the code page lacks
    # into one space.
    return text.encode(code_page, errors="qb-space")


def case_ansi(host):
    # Wine takes the ANSI code page from the locale of the run.
    utf8_length = len(DEMO_TEXT.encode("utf-8"))
    run = host.run("--dismiss-messages", "--ansi", env={"LC_ALL": "C.UTF-8"})
    check_delivered(run, to_code_page(DEMO_TEXT, "cp1252"), "--ansi, code page 1252",
                    received=utf8_length)

    run = host.run("--dismiss-messages", "--ansi", env={"LC_ALL": "ja_JP.UTF-8"})
    check(run.returncode == 0, "--ansi, code page 932: exit code 0", run)
    # Latin letters missing from 932 may be replaced by look-alikes: only
    # the parts with one right answer are compared.
    first_line = DEMO_TEXT.split("\n")[0] + "\n"
    tail = "ようこそ, 2 × 3\n"
    check(run.stdout.startswith(first_line.encode("ascii")) and
          run.stdout.endswith(tail.encode("cp932")),
          "--ansi, code page 932: Japanese text in Shift-JIS", run)
    check(progress(run)[-1:] == [utf8_length],
          "--ansi, code page 932: progress counts the UTF-8 bytes", run)

    run = host.run("--dismiss-messages", env={"LC_ALL": "ja_JP.UTF-8"})
    check_delivered(run, DEMO_TEXT.encode("utf-8"), "without --ansi the body stays UTF-8")


def case_out_file(host):
    with tempfile.TemporaryDirectory() as directory:
        run = host.run("--dismiss-messages", "--quiet", "--out", "body.txt", cwd=directory)
        check(run.returncode == 0, "--out: exit code 0", run)
        check(run.stdout == b"", "--out: nothing on stdout", run)
        check(b"received" not in run.stderr and b"[demo]" not in run.stderr,
              "--quiet: no progress and no demo lines", run)
        with open(os.path.join(directory, "body.txt"), "rb") as body:
            check(body.read() == DEMO_TEXT.encode("utf-8"), "--out: the file holds the body", run)

        run = host.run("--dismiss-messages", "--out", os.path.join("no-such-dir", "body.txt"), cwd=directory)
        check(run.returncode == 4, "--out into a missing directory: exit code 4", run)
        check("cannot write the body to no-such-dir" in stderr_text(run),
              "--out into a missing directory: says so", run)


def case_url(host):
    # A body of many 4096-byte reads, with line ends that must not turn
    # into CRLF on the way to stdout.
    body = b"".join(b"line %06d of the fixture body\n" % i for i in range(8000))
    server = OneShotServer(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n"
                           % len(body) + body)
    run = host.run("--dismiss-messages", "http://127.0.0.1:%d/big/body.txt?part=1" % server.port)
    server.join()
    check(server.request.startswith(b"GET /big/body.txt?part=1 HTTP/1.1\r\n"),
          "URL: the request asks for the URL's path, got %r" % server.request[:200], run)
    check_delivered(run, body, "URL")


def case_transfer_error(host):
    # Bound but not listening: the connection is refused at once.
    with socket.socket() as closed:
        closed.bind(("127.0.0.1", 0))
        url = "http://127.0.0.1:%d/nothing" % closed.getsockname()[1]
        run = host.run("--dismiss-messages", url)
    check(run.returncode == 1, "refused connection: exit code 1", run)
    check(run.stdout == b"", "refused connection: no body written", run)
    messages = re.findall(r"^\[message\] .*$", stderr_text(run), re.M)
    check(messages == ["[message] Quillbarrow: Quillbarrow error / HttpSendRequest error 12029"],
          "refused connection: the library's box, once, got %r" % messages, run)
    check("the transfer failed" in stderr_text(run), "refused connection: says it failed", run)


def case_missing_library(host):
    with tempfile.TemporaryDirectory() as directory:
        lonely = os.path.join(directory, "quillbarrow-host.exe")
        shutil.copy(host.exe, lonely)
        run = host.run("--dismiss-messages", exe=lonely)
        check(run.returncode == 3, "no DLL: exit code 3", run)
        check(re.search(r"cannot load .*\\Quillbarrow\.dll \(error 126\)", stderr_text(run)),
              "no DLL: names the DLL it looked for next to itself", run)

        check(host.partial_dll, "--partial-dll is needed for this case")
        shutil.copy(host.partial_dll, os.path.join(directory, "Quillbarrow.dll"))
        run = host.run("--dismiss-messages", exe=lonely)
        check(run.returncode == 3, "DLL without all exports: exit code 3", run)
        check("Quillbarrow.dll has no export Stop" in stderr_text(run),
              "DLL without all exports: names the first one missing", run)


def case_usage(host):
    cases = [
        (["--bogus"], "unknown option --bogus"),
        (["--post"], "--post needs a value"),
        (["--out"], "--out needs a value"),
        (["http://127.0.0.1:1/a", "http://127.0.0.1:1/b"], "more than one URL given"),
        ([""], "the URL is empty"),
    ]
    for arguments, complaint in cases:
        run = host.run(*arguments)
        check(run.returncode == 2, "%r: exit code 2" % arguments, run)
        check("quillbarrow-host: " + complaint in stderr_text(run) and "usage:" in stderr_text(run),
              "%r: says %r and shows the usage" % (arguments, complaint), run)
        check(run.stdout == b"", "%r: nothing on stdout" % arguments, run)
    run = host.run("--help")
    check(run.returncode == 0 and run.stdout.startswith(b"usage: quillbarrow-host"),
          "--help: usage on stdout, exit code 0", run)


CASES = {name[len("case_"):]: function for name, function in globals().items()
         if name.startswith("case_")}


def main():
    # Handlers get a whole run of unencodable characters: a space for each.
    codecs.register_error("qb-space", lambda error: (" " * (error.end - error.start), error.end))
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--wine-exec", required=True)
    parser.add_argument("--arch", required=True, choices=["win32", "win64"])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--partial-dll")
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("check_host.py: no DISPLAY; run under xvfb-run -a", file=sys.stderr)
        return 1
    try:
        CASES[args.case](Host(args))
    except Failure as failure:
        print("FAIL: %s" % failure, file=sys.stderr)
        return 1
    print("PASS: %s" % args.case)
    return 0


if __name__ == "__main__":
    sys.exit(main())
