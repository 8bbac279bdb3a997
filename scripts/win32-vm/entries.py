#!/usr/bin/env python3
"""Lists the Wine entries of a build tree's tests for the test VM.

Reads `ctest --show-only=json-v1` on stdin. The entries are the tests that
run the integration suite, `wine-exec.sh win32 .../quillbarrow_wine_tests.exe
ARGS...`, and the Wine commands that set up the fixtures they require. Writes
one tab-separated line per entry, in the order ctest runs them (set-up
first):
    NAME  DIR  VAR=VALUE...  wine  PROGRAM  ARGS...
DIR and PROGRAM are paths in the VM: the build tree is /vm/build there.
A PROGRAM in the build tree must be a 32-bit x86 Windows program; any other
PROGRAM is a Wine built-in such as `reg`. WINEPREFIX is left out: the VM has
its own prefix.
Usage: entries.py BUILD_DIR [NAME_REGEX]
  NAME_REGEX picks entries by name; the set-up entries of the fixtures they
  require come along, as with ctest -R.
"""
import json
import os
import re
import sys

VM_BUILD = "/vm/build"
SUITE = "quillbarrow_wine_tests.exe"
I386 = 0x14C  # IMAGE_FILE_MACHINE_I386


def fail(message):
    sys.exit("entries.py: " + message)


def pe_machine(path):
    """The Machine field of a PE file's header, or None if it is not one."""
    try:
        with open(path, "rb") as image:
            head = image.read(4096)
    except OSError:
        return None
    if head[:2] != b"MZ" or len(head) < 0x40:
        return None
    at = int.from_bytes(head[0x3C:0x40], "little")
    if head[at:at + 4] != b"PE\0\0":
        return None
    return int.from_bytes(head[at + 4:at + 6], "little")


def properties(test):
    return {prop["name"]: prop["value"] for prop in test.get("properties", [])}


def in_vm(path, build_dir):
    """PATH as the VM sees it, or None when it lies outside the build tree."""
    relative = os.path.relpath(os.path.realpath(path), build_dir)
    if relative == ".":
        return VM_BUILD
    if relative.startswith(".." + os.sep) or relative == "..":
        return None
    return VM_BUILD + "/" + relative


def entry_line(test, build_dir):
    command = test["command"]
    props = properties(test)
    if len(command) < 3 or command[1] != "win32":
        fail("%s: expected `wine-exec.sh win32 PROGRAM ...`, got %r" % (test["name"], command))
    program = command[2]
    if os.path.isabs(program):
        mapped = in_vm(program, build_dir)
        if mapped is None:
            fail("%s: %s lies outside %s" % (test["name"], program, build_dir))
        machine = pe_machine(program)
        if machine is None:
            fail("%s: %s is missing or not a Windows program; build it first" % (test["name"], program))
        if machine != I386:
            fail("%s: %s is not a 32-bit x86 program (machine 0x%X)" % (test["name"], program, machine))
        program = mapped
    directory = in_vm(props.get("WORKING_DIRECTORY", build_dir), build_dir) or "/vm/run"
    variables = [item for item in props.get("ENVIRONMENT", []) if not item.startswith("WINEPREFIX=")]
    fields = [test["name"], directory] + variables + ["wine", program] + command[3:]
    if any("\t" in field or "\n" in field for field in fields):
        fail("%s: tab or newline in its command" % test["name"])
    return "\t".join(fields)


def main():
    build_dir = os.path.realpath(sys.argv[1])
    wanted = re.compile(sys.argv[2]) if len(sys.argv) > 2 and sys.argv[2] else None
    tests = [test for test in json.load(sys.stdin)["tests"]
             if os.path.basename((test.get("command") or [""])[0]) == "wine-exec.sh"]
    suite = [test for test in tests
             if len(test["command"]) > 2 and os.path.basename(test["command"][2]) == SUITE]
    chosen = [test for test in suite if wanted is None or wanted.search(test["name"])]
    required = {name for test in chosen for name in properties(test).get("FIXTURES_REQUIRED", [])}
    setups = [test for test in tests
              if required & set(properties(test).get("FIXTURES_SETUP", []))]
    cleanups = [test for test in tests
                if required & set(properties(test).get("FIXTURES_CLEANUP", []))]
    ordered = []
    for test in setups + [test for test in chosen if test not in cleanups] + cleanups:
        if test not in ordered:
            ordered.append(test)
    for test in ordered:
        print(entry_line(test, build_dir))


main()
