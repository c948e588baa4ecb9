#!/usr/bin/env python3
"""check_icon_script.py MAKE_ICON BUILT_ICO: the icon script draws the same bytes again."""
import os
import subprocess
import sys
import tempfile

script, built = sys.argv[1:]
with tempfile.TemporaryDirectory() as folder:
    again = os.path.join(folder, "again.ico")
    subprocess.run([sys.executable, script, again], check=True)
    with open(built, "rb") as first, open(again, "rb") as second:
        if first.read() != second.read():
            sys.exit(f"FAIL: {script} drew another icon than the build's {built}")
print(f"ok: {built} is what {script} draws")
