#!/usr/bin/env python3
"""installer_bench.py ARCHIVE X64_BIN PREFIX

The time of kelvo-pack --type msi for a stand-in runtime of 3,000 files and 55 MB, against wixl
alone on the same WiX source (which a wixl of our own on PATH keeps on its way to the real one),
and the times of Wine's msiexec installing and removing the package. Prints figures, asserts
nothing."""
import glob
import os
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import time
import zipfile

archive, x64_bin, prefix = sys.argv[1:4]
runs = 5
work = tempfile.mkdtemp(prefix="kelvo-installer-bench-")
with zipfile.ZipFile(archive) as zipped:
    zipped.extractall(work)
kelvo_pack = glob.glob(os.path.join(work, "kelvo-*", "linux", "kelvo-pack"))[0]
os.chmod(kelvo_pack, 0o755)

# The runtime: class files and libraries, as compressible as a real one (about 3/4 of their size
# in a cabinet), in folders as deep as a jlink image's.
generator = random.Random(7)
runtime = os.path.join(work, "jre")
os.makedirs(os.path.join(runtime, "bin", "server"))
os.makedirs(os.path.join(runtime, "lib"))
shutil.copy(os.path.join(x64_bin, "fake_jvm.dll"), os.path.join(runtime, "bin", "server", "jvm.dll"))
with open(os.path.join(runtime, "lib", "jvm.cfg"), "w") as cfg:
    cfg.write("-server KNOWN\n")
words = [bytes(generator.getrandbits(8) for _ in range(generator.randint(3, 12))) for _ in range(4000)]
total = 0
for index in range(3000):
    folder = os.path.join(runtime, "lib", "module%02d" % (index % 40), "package%d" % (index % 7))
    os.makedirs(folder, exist_ok=True)
    size = 18 * 1024 + generator.randint(-8 * 1024, 8 * 1024)
    chunk = bytearray()
    while len(chunk) < size:
        chunk += words[generator.randrange(len(words))] if generator.random() < 0.75 else os.urandom(16)
    with open(os.path.join(folder, "File%04d.class" % index), "wb") as file:
        file.write(chunk[:size])
    total += size
os.makedirs(os.path.join(work, "in"))
with zipfile.ZipFile(os.path.join(work, "in", "app.jar"), "w") as jar:
    jar.writestr("META-INF/MANIFEST.MF", "Manifest-Version: 1.0\r\nMain-Class: com.example.Main\r\n\r\n")

# A wixl first on PATH that keeps its source and arguments, then runs the real one.
shim = os.path.join(work, "shim")
os.makedirs(shim)
real_wixl = shutil.which("wixl")
with open(os.path.join(shim, "wixl"), "w") as script:
    script.write('#!/bin/sh\nfor last; do :; done\ncp "$last" "%s/package.wxs"\nprintf "%%s\\n" "$PWD" "$@" > "%s/arguments"\n'
                 'exec "%s" "$@"\n' % (work, work, real_wixl))
os.chmod(os.path.join(shim, "wixl"), 0o755)
env = dict(os.environ, PATH=shim + os.pathsep + os.environ["PATH"], SOURCE_DATE_EPOCH="1700000000")


def timed(command, **options):
    started = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, **options)
    return time.perf_counter() - started


pack_times, wixl_times = [], []
for run in range(runs):
    dest = os.path.join(work, "out%d" % run)
    pack_times.append(timed([kelvo_pack, "--type", "msi", "--name", "Big", "--input", os.path.join(work, "in"),
                             "--main-jar", "app.jar", "--runtime-image", runtime, "--win-menu", "--dest", dest], env=env))
    lines = open(os.path.join(work, "arguments")).read().splitlines()
    # The same source, on the folder as it now lies, as wixl's working folder.
    arguments = lines[1:-1]
    arguments[arguments.index("-o") + 1] = os.path.join(work, "wixl-alone.msi")
    wixl_times.append(timed(["faketime", "-f", "2023-11-14 22:13:20", real_wixl, *arguments,
                             os.path.join(work, "package.wxs")], cwd=os.path.join(dest, "Big"), env=dict(env, TZ="UTC")))
package = os.path.join(work, "out0", "Big-1.0.msi")
print("stand-in runtime: %d files, %.1f MB; package %.1f MB" % (3000, total / 1e6, os.path.getsize(package) / 1e6))
pack_median, wixl_median = statistics.median(pack_times), statistics.median(wixl_times)
print("kelvo-pack --type msi: median %.2f s (min %.2f) over %d runs" % (pack_median, min(pack_times), runs))
print("wixl alone, same source: median %.2f s (min %.2f)" % (wixl_median, min(wixl_times)))
print("ratio: %.2f (target: at most 2)" % (pack_median / wixl_median))

wine_env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEARCH="win64",
                WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d")
msi = "Z:" + package.replace("/", "\\")
for action in ("/i", "/x"):
    seconds = timed(["/usr/lib/wine/wine64", "msiexec", action, msi, "/qn"], env=wine_env, stderr=subprocess.DEVNULL)
    print("msiexec %s under Wine: %.1f s" % (action, seconds))
shutil.rmtree(work)
