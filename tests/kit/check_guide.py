#!/usr/bin/env python3
"""Checks docs/host-guide.md and include/quillbarrow.h against the code.

    check_guide.py --source-dir DIR

* Every code block after a "<!-- quoted from FILE -->" line must be a
  verbatim run of lines of FILE, and each example is quoted at least once.
* The texts a user or a server sees, as the library's sources define them
  (message lines, the Shift-JIS start-up texts, the message box call, the
  user agent, the POST header, the read size, the time-outs), must be in
  the guide, and the guide must name no error line the worker cannot show.
* The header must declare every export of the .def file, as a
  function-pointer type and as an import.
Prints every mismatch; exit status 0 when there is none.
"""
import argparse
import os
import re
import sys

QUOTE = re.compile(r"^<!-- quoted from (\S+) -->$")
EXAMPLES = ["examples/c_host.c", "examples/cpp_host.cpp"]


def read(root, path):
    with open(os.path.join(root, path), encoding="utf-8") as f:
        return f.read()


def c_string(literals):
    """The bytes of adjacent C string literals (plain escapes only)."""
    text = "".join(re.findall(r'"((?:[^"\\]|\\.)*)"', literals))
    return text.encode("latin-1").decode("unicode_escape").encode("latin-1")


def quoted_blocks(guide):
    """(line number, quoted file, block text) for each quotation."""
    lines = guide.split("\n")
    for number, line in enumerate(lines):
        match = QUOTE.match(line)
        if not match:
            continue
        if number + 1 >= len(lines) or not lines[number + 1].startswith("```"):
            yield number + 1, match.group(1), None
            continue
        end = number + 2
        while end < len(lines) and lines[end] != "```":
            end += 1
        yield number + 1, match.group(1), "\n".join(lines[number + 2:end])


def check_quotations(root, guide):
    problems, quoted = [], set()
    for number, path, block in quoted_blocks(guide):
        if block is None:
            problems.append("line %d: no code block follows the quotation mark" % number)
            continue
        if not os.path.isfile(os.path.join(root, path)):
            problems.append("line %d: quotes %s, which does not exist" % (number, path))
            continue
        quoted.add(path)
        if "\n" + block + "\n" not in "\n" + read(root, path) + "\n":
            problems.append("line %d: the block quoted from %s is not in that file" % (number, path))
    for path in EXAMPLES:
        if path not in quoted:
            problems.append("%s is never quoted" % path)
    return problems


def texts_from_code(root):
    """(what, text the guide must hold) as the sources define them."""
    worker = read(root, "src/http/Worker.cpp")
    messages = read(root, "src/transfer/Messages.cpp")
    required = []
    for step in sorted(set(re.findall(r'"(\w+) error %d\\n"', worker))):
        required.append(("error line of %s" % step, "`%s error N`" % step))
    for line in re.findall(r'AppendError\(state, "(\w+)\\n"\)', worker):
        required.append(("error line %s" % line, "`%s`" % line))
    for name, literals in re.findall(r"const char (\w+Text)\[\] =\s*((?:\"[^\"]*\"\s*)+);", messages):
        required.append((name, "`%s`" % c_string(literals).decode("cp932")))
    header = re.search(r'FormatText\("(\w[\w ]*)\\n%s"', messages).group(1)
    required.append(("report header", "`%s`" % header))
    caption = re.search(r'ShowMessageBox\(text\.c_str\(\), "(\w+)", MessageStyle\)', messages).group(1)
    style = re.search(r"MessageStyle = (0x[0-9a-fA-F]+);", messages).group(1)
    required.append(("message box call", 'MessageBoxA(NULL, text, "%s", %s)' % (caption, style)))
    agent = re.search(r'UserAgent\[\] = "([^"]+)"', worker).group(1)
    required.append(("user agent", "`%s`" % agent))
    post = re.search(r'PostHeader\[\] = "([^"]+)"', worker).group(1)
    required.append(("POST header", "`%s`" % post))
    read_size = re.search(r"ReadBufferSize = (\d+);", worker).group(1)
    required.append(("read size", "%s-byte read" % read_size))
    seconds = {name: int(re.search(r"%sTimeoutMs = (\d+);" % name, worker).group(1)) // 1000
               for name in ("Connect", "Send", "Receive")}
    required.append(("time-outs", "connect %(Connect)d s, send %(Send)d s, receive %(Receive)d s" % seconds))
    return required, set(re.findall(r'"(\w+) error %d\\n"', worker))


def check_texts(root, guide):
    required, steps = texts_from_code(root)
    problems = ["the guide lacks the %s: %s" % (what, text) for what, text in required if text not in guide]
    for step in sorted(set(re.findall(r"`(\w+) error N`", guide)) - steps):
        problems.append("the guide names `%s error N`, which the worker never reports" % step)
    return problems


def check_header(root):
    exports = re.findall(r"^\s+(\w+)\s*$", read(root, "src/platform/win32/Quillbarrow.def").split("EXPORTS", 1)[1],
                         re.MULTILINE)
    header = read(root, "include/quillbarrow.h")
    problems = []
    for name in exports:
        if not re.search(r"\(QUILLBARROW_CALL\* Quillbarrow%sFn\)\(" % name, header):
            problems.append("the header has no function-pointer type Quillbarrow%sFn" % name)
        if not re.search(r"QUILLBARROW_IMPORT \w+ QUILLBARROW_CALL %s\(" % name, header):
            problems.append("the header does not declare the import %s" % name)
    return problems


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source-dir", required=True)
    root = parser.parse_args().source_dir
    guide = read(root, "docs/host-guide.md")
    problems = check_quotations(root, guide) + check_texts(root, guide) + check_header(root)
    for problem in problems:
        print(problem)
    if not problems:
        print("the guide's quotations and texts match the code")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
