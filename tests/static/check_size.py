#!/usr/bin/env python3
"""check_size.py FILE LIMIT: the program's bytes without its resource section (icons, manifest,
version information, which branding replaces) are at most LIMIT."""
import struct
import sys

path, limit = sys.argv[1], int(sys.argv[2])
data = open(path, "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
table = pe + 24 + optional_size
resources = 0
for i in range(sections):
    name, raw_size = struct.unpack_from("<8s8xI", data, table + 40 * i)
    if name.rstrip(b"\0") == b".rsrc":
        resources = raw_size
size = len(data) - resources
print(f"{path}: {size} bytes without .rsrc (at most {limit})")
sys.exit(0 if size <= limit else 1)
