#!/usr/bin/env python3
"""Checks a release archive talvik-<version>-<width>.zip: the files a user needs are in it, in
name order and all dated alike (reproducible), and every program in it is built for the
archive's width and carries the version resource of <version> (file version, product name,
description).

Usage: tools/check-package.py ZIP...
       tools/check-package.py --programs WIDTH VERSION FILE...   (built programs, not archived)
Exit status 0 when everything checked is fit, 1 otherwise.
"""
import re
import struct
import sys
import zipfile

REQUIRED = ["talvik.dll", "signal_pattern.nut", "talvik-dbgview.exe", "talvik-sim.exe",
            "authors-guide.md"]
MACHINE = {"win32": 0x014C, "win64": 0x8664}
RT_VERSION = 16
FIXED_SIGNATURE = 0xFEEF04BD


def sections(pe):
    """(name, virtual address, virtual size, raw offset, raw size) of each section."""
    header = struct.unpack_from("<I", pe, 0x3C)[0]
    if pe[header:header + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    machine, count = struct.unpack_from("<HH", pe, header + 4)
    optional_size = struct.unpack_from("<H", pe, header + 20)[0]
    table = header + 24 + optional_size
    out = []
    for i in range(count):
        name, vsize, vaddr, rsize, roff = struct.unpack_from("<8sIIII", pe, table + 40 * i)
        out.append((name.rstrip(b"\0").decode(), vaddr, vsize, roff, rsize))
    return machine, out


def version_resource(pe):
    """The VS_VERSION_INFO block of the PE image's resources, or None."""
    _, secs = sections(pe)
    rsrc = next((s for s in secs if s[0] == ".rsrc"), None)
    if rsrc is None:
        return None
    _, vaddr, _, roff, rsize = rsrc
    data = pe[roff:roff + rsize]

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, offset + 12)
        for i in range(named + ids):
            yield struct.unpack_from("<II", data, offset + 16 + 8 * i)

    for ident, target in entries(0):
        if ident != RT_VERSION or not target & 0x80000000:
            continue
        # type -> name -> language -> data entry
        _, by_name = next(entries(target & 0x7FFFFFFF))
        _, by_lang = next(entries(by_name & 0x7FFFFFFF))
        rva, size = struct.unpack_from("<II", data, by_lang)
        return data[rva - vaddr:rva - vaddr + size]
    return None


def version_strings(block):
    """Fixed file version (a, b, c, d) and the StringFileInfo values of a VS_VERSION_INFO."""
    at = block.find(struct.pack("<I", FIXED_SIGNATURE))
    if at < 0:
        raise ValueError("no fixed file information")
    ms, ls = struct.unpack_from("<II", block, at + 8)
    fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    text = block.decode("utf-16-le", errors="replace")
    values = {}
    for key in ("FileDescription", "FileVersion", "ProductName", "ProductVersion",
                "OriginalFilename"):
        m = re.search(key + r"\x00+([^\x00]*)\x00", text)
        if m:
            values[key] = m.group(1)
    return fixed, values


def check_program(short, pe, width, version):
    """Problems of one program: its width and its version resource."""
    problems = []
    machine, _ = sections(pe)
    if machine != MACHINE[width]:
        problems.append("%s is not a %s program (machine 0x%04x)" % (short, width, machine))
    block = version_resource(pe)
    if block is None:
        return problems + ["%s has no version resource" % short]
    fixed, values = version_strings(block)
    expected = tuple(int(x) for x in version.split(".")) + (0,)
    if fixed != expected:
        problems.append("%s: file version %s, not %s" % (short, fixed, expected))
    for key, want in (("FileVersion", version), ("ProductVersion", version),
                      ("ProductName", "talvik"), ("OriginalFilename", short)):
        if values.get(key) != want:
            problems.append("%s: %s is %r, not %r" % (short, key, values.get(key), want))
    bits = "32-bit" if width == "win32" else "64-bit"
    if bits not in values.get("FileDescription", ""):
        problems.append("%s: description %r does not say %s"
                        % (short, values.get("FileDescription"), bits))
    return problems


def check(path):
    m = re.search(r"talvik-(\d+)\.(\d+)\.(\d+)-(win32|win64)\.zip$", path)
    if not m:
        return ["the name is not talvik-<version>-<win32|win64>.zip"]
    version = ".".join(m.group(1, 2, 3))
    width = m.group(4)
    top = "talvik-%s-%s/" % (version, width)
    problems = []
    with zipfile.ZipFile(path) as z:
        names = set(z.namelist())
        # A file's own time would make the archive differ from build to build.
        if z.namelist() != sorted(z.namelist()):
            problems.append("the entries are not in name order: not reproducible")
        if len({i.date_time for i in z.infolist()}) > 1:
            problems.append("the entries carry their files' own times: not reproducible")
        for name in REQUIRED:
            if top + name not in names:
                problems.append("%s is missing" % name)
        for name in sorted(names):
            if name.lower().endswith((".dll", ".exe")):
                problems += check_program(name[len(top):], z.read(name), width, version)
    return problems


def main(paths, checker=check):
    status = 0
    for path in paths:
        try:
            problems = checker(path)
        except (OSError, ValueError, struct.error, zipfile.BadZipFile, StopIteration) as e:
            problems = [str(e) or type(e).__name__]
        for p in problems:
            print("%s: %s" % (path, p), file=sys.stderr)
        if problems:
            status = 1
        else:
            print("%s: fit, version resource present" % path)
    return status


if __name__ == "__main__":
    args = sys.argv[1:]
    if args[:1] == ["--programs"] and len(args) >= 4 and args[1] in MACHINE:
        width, version = args[1], args[2]

        def program(path):
            with open(path, "rb") as f:
                return check_program(path.replace("\\", "/").split("/")[-1], f.read(),
                                     width, version)

        sys.exit(main(args[3:], program))
    if not args or args[0].startswith("-"):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(main(args))
