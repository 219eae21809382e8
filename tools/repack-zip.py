#!/usr/bin/env python3
"""Rewrites a zip archive so that its bytes depend only on the names, modes and contents of its
files: entries in name order, all dated to one moment, no extra fields, one compression.

Usage: tools/repack-zip.py ARCHIVE SECONDS-SINCE-1970
"""
import os
import sys
import time
import zipfile

EARLIEST = (1980, 1, 1, 0, 0, 0)  # zip cannot date anything earlier


def repack(path, epoch):
    moment = max(tuple(time.gmtime(epoch)[:6]), EARLIEST)
    with zipfile.ZipFile(path) as z:
        entries = sorted((i.filename, i.external_attr >> 16, z.read(i)) for i in z.infolist())
    temporary = path + ".repack"
    with zipfile.ZipFile(temporary, "w") as out:
        for name, mode, data in entries:
            info = zipfile.ZipInfo(name, moment)
            info.create_system = 3  # the modes below are Unix modes
            if name.endswith("/"):
                info.external_attr = (0o40755 << 16) | 0x10
                out.writestr(info, b"")
                continue
            info.external_attr = (0o100755 if mode & 0o111 else 0o100644) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            out.writestr(info, data, compresslevel=9)
    os.replace(temporary, path)


if __name__ == "__main__":
    if len(sys.argv) != 3 or not sys.argv[2].isdigit():
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    repack(sys.argv[1], int(sys.argv[2]))
