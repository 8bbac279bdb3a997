#!/usr/bin/env python3
"""Makes the release ZIP with cpack from this build tree and checks it.

    check_package.py --build-dir DIR --source-dir DIR --version X.Y.Z
                     --cmake CMAKE --cpack CPACK --this-arch x86|x64
                     [--other-arch-dir DIR | --other-toolchain FILE] [--with-host]

The other architecture's files come from --other-arch-dir, a built tree;
without one, a tree of this tree's sources for the other architecture is
configured and built under the build directory (only what the package
takes). The check compares the ZIP's list of files with the expected one,
the shared files with the sources, and reads each binary's machine type,
the DLLs' version strings and the import libraries' symbols.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import zipfile

EXPORTS = ["Get", "Post", "IsRun", "Stop", "GetReadSize", "ReadString", "ReadStringUTF8ToSJIS"]
MACHINES = {"x86": 0x14C, "x64": 0x8664}
SHARED = {  # path in the package: path in the sources
    "LICENSE": "LICENSE",
    "Quillbarrow.def": "src/platform/win32/Quillbarrow.def",
    "include/quillbarrow.h": "include/quillbarrow.h",
    "docs/host-guide.md": "docs/host-guide.md",
    "examples/c_host.c": "examples/c_host.c",
    "examples/cpp_host.cpp": "examples/cpp_host.cpp",
}


def run(command, log):
    with open(log, "ab") as out:
        out.write(("$ " + " ".join(command) + "\n").encode())
        out.flush()
        return subprocess.run(command, stdout=out, stderr=subprocess.STDOUT).returncode == 0


def pe_machine(data):
    if data[:2] != b"MZ":
        return None
    offset = struct.unpack_from("<I", data, 0x3C)[0]
    if data[offset:offset + 4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", data, offset + 4)[0]


def ar_members(data):
    """(name, bytes) of each member of a Unix ar archive."""
    if not data.startswith(b"!<arch>\n"):
        return None
    members, pos = [], 8
    while pos + 60 <= len(data):
        header = data[pos:pos + 60]
        size = int(header[48:58].decode().strip())
        members.append((header[:16].decode().strip(), data[pos + 60:pos + 60 + size]))
        pos += 60 + size + (size & 1)
    return members


def import_library_problems(data, arch):
    members = ar_members(data)
    if members is None:
        return ["not an ar archive"]
    problems = []
    symbols = set()
    if members and members[0][0] == "/":  # first linker member: count, offsets, names
        table = members[0][1]
        count = struct.unpack_from(">I", table, 0)[0]
        names = table[4 + 4 * count:].split(b"\0")
        symbols = {name.decode() for name in names[:count]}
    prefix = "__imp__" if arch == "x86" else "__imp_"
    missing = [name for name in EXPORTS if prefix + name not in symbols]
    if missing:
        problems.append("no import symbols for %s" % ", ".join(missing))
    objects = [body for name, body in members if name not in ("/", "//")]
    machines = {struct.unpack_from("<H", body, 0)[0] for body in objects if len(body) >= 2}
    if machines != {MACHINES[arch]}:
        problems.append("object machines %s, expected 0x%x" % (sorted(map(hex, machines)), MACHINES[arch]))
    return problems


def binary_problems(name, data, arch, version):
    problems = []
    if name.endswith(".dll.a"):
        return import_library_problems(data, arch)
    machine = pe_machine(data)
    if machine != MACHINES[arch]:
        problems.append("machine %s, expected 0x%x" % (hex(machine) if machine else "none", MACHINES[arch]))
    if name.endswith("Quillbarrow.dll"):
        for field in ("FileVersion", "ProductVersion"):
            entry = (field + "\0").encode("utf-16-le")
            value = (version + "\0").encode("utf-16-le")
            at = data.find(entry)
            # the value follows the key, aligned to four bytes
            if at < 0 or value not in data[at + len(entry):at + len(entry) + 8 + len(value)]:
                problems.append("no %s %s in the version resource" % (field, version))
    return problems


def other_tree(args, log):
    if args.other_arch_dir:
        return args.other_arch_dir
    tree = os.path.join(args.build_dir, "tests", "kit", "other-arch")
    configured = run([args.cmake, "-S", args.source_dir, "-B", tree,
                      "-DCMAKE_TOOLCHAIN_FILE=" + args.other_toolchain,
                      "-DCMAKE_BUILD_TYPE=Release"], log)
    if not configured or not run([args.cmake, "--build", tree, "--target", "quillbarrow-package-files",
                                  "-j", str(os.cpu_count() or 2)], log):
        return None
    return tree


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build-dir", "--source-dir", "--version", "--cmake", "--cpack", "--this-arch"):
        parser.add_argument(option, required=True)
    parser.add_argument("--other-arch-dir", default="")
    parser.add_argument("--other-toolchain", default="")
    parser.add_argument("--with-host", action="store_true")
    args = parser.parse_args()

    work = os.path.join(args.build_dir, "tests", "kit", "package")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    log = os.path.join(work, "build.log")

    other = other_tree(args, log)
    if other is None:
        print("the other architecture's tree could not be built; see " + log)
        return 1
    projects = ";".join([args.build_dir, "Quillbarrow", "ALL", "/", other, "Quillbarrow", "ALL", "/"])
    if not run([args.cpack, "--config", os.path.join(args.build_dir, "CPackConfig.cmake"), "-G", "ZIP",
                "-B", work, "-D", "CPACK_INSTALL_CMAKE_PROJECTS=" + projects], log):
        print("cpack failed; see " + log)
        return 1

    top = "Quillbarrow-%s-win" % args.version
    package = os.path.join(work, top + ".zip")
    if not os.path.isfile(package):
        print("cpack made no %s" % package)
        return 1

    binaries = ["Quillbarrow.dll", "libQuillbarrow.dll.a"] + (["quillbarrow-host.exe"] if args.with_host else [])
    expected = set(SHARED) | {"%s/%s" % (arch, name) for arch in MACHINES for name in binaries}
    problems = []
    with zipfile.ZipFile(package) as archive:
        names = [info.filename for info in archive.infolist() if not info.is_dir()]
        outside = [name for name in names if not name.startswith(top + "/")]
        if outside:
            problems.append("outside %s/: %s" % (top, outside))
        listed = {name[len(top) + 1:] for name in names if name.startswith(top + "/")}
        if expected - listed:
            problems.append("missing: %s" % sorted(expected - listed))
        if listed - expected:
            problems.append("unexpected: %s" % sorted(listed - expected))
        for name in sorted(listed & expected):
            data = archive.read(top + "/" + name)
            if name in SHARED:
                with open(os.path.join(args.source_dir, SHARED[name]), "rb") as source:
                    if data != source.read():
                        problems.append("%s differs from %s" % (name, SHARED[name]))
            else:
                arch = name.split("/")[0]
                problems += ["%s: %s" % (name, p) for p in binary_problems(name, data, arch, args.version)]
        # This tree's own DLL must be the one packaged for its architecture.
        own = "%s/Quillbarrow.dll" % args.this_arch
        with open(os.path.join(args.build_dir, "src", "Quillbarrow.dll"), "rb") as built:
            if own in listed and archive.read(top + "/" + own) != built.read():
                problems.append("%s is not this tree's DLL" % own)

    for problem in problems:
        print(problem)
    if problems:
        return 1
    print("%s: %d files as expected" % (os.path.basename(package), len(expected)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
