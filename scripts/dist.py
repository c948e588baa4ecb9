#!/usr/bin/env python3
"""Packs the distribution archive.

    dist.py OUTPUT.zip X86_BIN_DIR X64_BIN_DIR ARM64_BIN_DIR DOCS_DIR LINUX_BIN_DIR

The 32-bit deliverables, kelvo-brand.exe and kelvo-pack.exe go to the top folder, the 64-bit
builds of the deliverables to x64\\ and arm64\\, the Linux builds of the tools to linux/, INSTALL.txt and sample.kelvo from DOCS_DIR beside them with Windows
line ends. The archive depends on the files' contents only: fixed order, fixed time stamps
(SOURCE_DATE_EPOCH when set) and modes.
"""
import os
import sys
import time
import zipfile

VERSION = "2.2.0"
BINARIES = ("kelvo.exe", "kelvoc.exe", "vecraster-32.dll", "vecraster.exe")
TOOLS = ("kelvo-brand.exe", "kelvo-pack.exe")  # 32-bit only: they run on every Windows
LINUX_TOOLS = ("kelvo-brand", "kelvo-pack")  # x86-64, linked statically
DOCS = ("INSTALL.txt", "sample.kelvo")
DEFAULT_DATE = (2026, 12, 1, 0, 0, 0)


def archive_date():
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if not epoch:
        return DEFAULT_DATE
    # The zip format holds no dates before 1980.
    return max(time.gmtime(int(epoch))[:6], (1980, 1, 1, 0, 0, 0))


def entries(x86, x64, arm64, docs, linux):
    """(name in the archive, contents, mode), in archive order."""
    top = f"kelvo-{VERSION}/"
    for name in DOCS:
        with open(os.path.join(docs, name), "rb") as text:
            contents = text.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        yield top + name, contents, 0o644
    for folder, prefix, names in ((x86, top, BINARIES + TOOLS), (x64, top + "x64/", BINARIES),
                                  (arm64, top + "arm64/", BINARIES),
                                  (linux, top + "linux/", LINUX_TOOLS)):
        for name in names:
            with open(os.path.join(folder, name), "rb") as binary:
                yield prefix + name, binary.read(), 0o755


def main():
    if len(sys.argv) != 7:
        sys.exit("usage: dist.py OUTPUT.zip X86_BIN_DIR X64_BIN_DIR ARM64_BIN_DIR DOCS_DIR LINUX_BIN_DIR")
    output, x86, x64, arm64, docs, linux = sys.argv[1:]
    date = archive_date()
    partial = output + ".part"
    with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name, contents, mode in entries(x86, x64, arm64, docs, linux):
            info = zipfile.ZipInfo(name, date)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = (0o100000 | mode) << 16
            archive.writestr(info, contents, compresslevel=9)
    os.replace(partial, output)


if __name__ == "__main__":
    main()
