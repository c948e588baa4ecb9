#!/usr/bin/env python3
"""installer_e2e.py ARCHIVE X86_BIN X64_BIN PREFIX

kelvo-pack --type msi end to end: each row of the table builds a package with the archive's
Linux kelvo-pack and a stand-in runtime, then Wine's msiexec (with a log) installs or removes a
package, and what the step left is checked: the files, the shortcuts, the uninstall entry and
the association; starts through the Start menu and through a document; an upgrade, a changed
rebuild of one version, a refused downgrade, uninstalls that leave nothing, a per-user and a
32-bit package. Two builds of the same inputs are byte-identical, and a signed one verifies."""
import glob
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile

archive, x86_bin, x64_bin, prefix = sys.argv[1:5]
work = tempfile.mkdtemp(prefix="kelvo-installer-")
failures = []
wine = "/usr/lib/wine/wine64"
wine_env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEARCH="win64",
                WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d")


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)
    return condition


def windows(path):
    # What lies in the prefix by its drive C: Wine finds no shortcut there by its drive Z: path.
    drive_c = os.path.join(prefix, "drive_c")
    if path.startswith(drive_c + "/"):
        return "C:\\" + os.path.relpath(path, drive_c).replace("/", "\\")
    return "Z:" + path.replace("/", "\\")


def run_wine(*arguments, env=None):
    # Output through a file: a service that Wine starts on the way keeps no pipe of ours open.
    with open(os.path.join(work, "wine-output"), "w+b") as output:
        status = subprocess.call([wine, *arguments], env=env or wine_env, stdin=subprocess.DEVNULL,
                                 stdout=output, stderr=output)
        output.seek(0)
        return status, output.read().decode("utf-8", "replace")


def registry(key, view=64):
    """The values of key (name -> data), or None when there is no such key."""
    status, text = run_wine("reg", "query", key, "/reg:%d" % view)
    if status != 0:
        return None
    values = {}
    for line in text.splitlines():
        parts = line.strip().split("    ")
        if len(parts) == 3 and parts[1].startswith("REG_"):
            values[parts[0]] = parts[2]
        elif len(parts) == 2 and parts[1].startswith("REG_"):
            values[parts[0]] = ""
    return values


def uninstall_entries():
    """DisplayName and DisplayVersion of every product whose name is Viewer, in any view."""
    entries = []
    for root, view in (("HKLM", 64), ("HKLM", 32), ("HKCU", 64)):
        base = root + "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
        status, text = run_wine("reg", "query", base, "/reg:%d" % view)
        for key in {line.strip() for line in text.splitlines() if line.strip().startswith("HKEY_") and "{" in line}:
            values = registry(key, view) or {}
            if values.get("DisplayName") == "Viewer":
                entries.append(dict(values, code=key.split("\\")[-1]))
    return entries


# The distribution: its Linux kelvo-pack takes the launchers from beside itself.
with zipfile.ZipFile(archive) as zipped:
    zipped.extractall(work)
kelvo = glob.glob(os.path.join(work, "kelvo-*"))[0]
kelvo_pack = os.path.join(kelvo, "linux", "kelvo-pack")
os.chmod(kelvo_pack, 0o755)
users = [u for u in glob.glob(os.path.join(prefix, "drive_c", "users", "*")) if os.path.isdir(os.path.join(u, "AppData"))]
user = users[0]
menu = os.path.join(user, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu", "Programs")
desktop = os.path.realpath(os.path.join(user, "Desktop"))
program_files = {64: os.path.join(prefix, "drive_c", "Program Files"), 32: os.path.join(prefix, "drive_c", "Program Files (x86)")}
per_user_programs = os.path.join(user, "AppData", "Local", "Programs")


def stand_in_runtime(folder, bin_dir):
    os.makedirs(os.path.join(folder, "bin", "server"))
    os.makedirs(os.path.join(folder, "lib"))
    for source, target in (("fake_java.exe", "bin/javaw.exe"), ("fake_jli.dll", "bin/jli.dll"),
                           ("fake_jli.dll", "bin/java.dll"), ("fake_jvm.dll", "bin/server/jvm.dll")):
        shutil.copy(os.path.join(bin_dir, source), os.path.join(folder, target))
    with open(os.path.join(folder, "lib", "jvm.cfg"), "w") as cfg:
        cfg.write("-server KNOWN\n")
    with open(os.path.join(folder, "release"), "w") as release:
        release.write('JAVA_VERSION="21.0.1"\n')


stand_in_runtime(os.path.join(work, "jre64"), x64_bin)
stand_in_runtime(os.path.join(work, "jre32"), x86_bin)
with open(os.path.join(work, "emf.properties"), "w") as properties:
    properties.write("# drawings\nextension=emf\nmime-type=image/emf\ndescription=Viewer drawing\n")
subprocess.check_call(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-keyout", "key.pem", "-out", "cert.pem",
                       "-days", "2", "-subj", "/CN=kelvo-pack test", "-passout", "pass:secret"], cwd=work,
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
subprocess.check_call(["openssl", "pkcs12", "-export", "-inkey", "key.pem", "-in", "cert.pem", "-out", "cert.p12",
                       "-passin", "pass:secret", "-passout", "pass:secret"], cwd=work)
with open(os.path.join(work, "password"), "w") as password:
    password.write("secret\n")

builds = 0


def build(version, runtime="jre64", files=("viewer.jar",), options=(), epoch="1700000000"):
    """A package of the viewer: its input folder holds the files named (each a jar whose
    manifest names the version), built with the base options and those given."""
    global builds
    builds += 1
    folder = os.path.join(work, "build%d" % builds)
    for name in files:
        os.makedirs(os.path.dirname(os.path.join(folder, "in", name)), exist_ok=True)
        with zipfile.ZipFile(os.path.join(folder, "in", name), "w") as jar:
            jar.writestr(zipfile.ZipInfo("META-INF/MANIFEST.MF", (2023, 1, 1, 0, 0, 0)),
                         "Manifest-Version: 1.0\r\nMain-Class: com.example.Main\r\nVersion: %s\r\n\r\n" % version)
    arguments = [kelvo_pack, "--type", "msi", "--name", "Viewer", "--vendor", "Example Ltd", "--input", "in",
                 "--main-jar", "viewer.jar", "--runtime-image", os.path.join(work, runtime), "--app-version", version,
                 "--dest", "out", *options]
    result = subprocess.run(arguments, cwd=folder, env=dict(os.environ, SOURCE_DATE_EPOCH=epoch),
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    check(result.returncode == 0, "kelvo-pack %s: %s" % (version, result.stdout))
    return os.path.join(folder, "out", "Viewer-%s.msi" % version)


# Wine 8's shell opens a Start menu shortcut only while a desktop one exists too: both are made.
full = ["--install-dir", "Example\\Viewer", "--win-menu", "--win-shortcut", "--file-associations",
        os.path.join(work, "emf.properties"), "--about-url", "https://example.com/viewer",
        "--single-instance", "com.example.Main.open"]


def msiexec(action, package, refused=None):
    log = package + ".log"
    status, output = run_wine("msiexec", action, windows(package), "/qn", "/l*v", windows(log))
    text = open(log, "rb").read().decode("utf-16" if open(log, "rb").read(2) == b"\xff\xfe" else "latin-1") \
        if os.path.exists(log) else ""
    if refused:
        # Wine's msiexec logs no launch condition's message: the condition's property shows.
        check(status != 0 and refused + " = {" in text, "%s %s: refused, %s (exit %d)" % (action, package, refused, status))
    else:
        check(status == 0, "msiexec %s %s: exit %d\n%s" % (action, package, status, text[-2000:]))


def wait_for(path, seconds=30):
    end = time.time() + seconds
    while time.time() < end and not os.path.exists(path):
        time.sleep(0.1)
    return os.path.exists(path)


def starts_through_shortcut_and_document():
    """The Start menu's shortcut starts the application, which runs Java in its own process;
    a document opened then reaches that instance through the association."""
    record, vm, hold = (os.path.join(work, name) for name in ("jli-record", "vm-record", "hold"))
    for path in (record, vm, hold):
        if os.path.exists(path):
            os.remove(path)
    env = dict(wine_env, KIT_JLI_RECORD=windows(record), KIT_JVM_RECORD=windows(vm), KIT_JLI_HOLD=windows(hold))
    run_wine("start", windows(os.path.join(menu, "Example Ltd", "Viewer.lnk")), env=env)
    if check(wait_for(record), "the Start menu's shortcut started the application"):
        fields = open(record, "rb").read().split(b"\0")
        check(fields[1].decode().lower() == ("C:\\Program Files\\Example\\Viewer\\Viewer.exe").lower(),
              "Java runs in the installed program's process: %r" % fields[1])
    document = os.path.join(work, "My Drawing.emf")
    open(document, "w").close()
    run_wine("start", windows(document))
    delivered = ""
    for _ in range(300):
        delivered = open(vm, encoding="utf-8").read() if os.path.exists(vm) else ""
        if "call open" in delivered:
            break
        time.sleep(0.1)
    check("\t" + windows(document) in delivered, "the document reached the running instance: %r" % delivered)
    open(hold, "w").close()
    time.sleep(1)


def installed(version, bits=64, per_user=False, present=("app/viewer.jar",), absent=()):
    def verify():
        root = os.path.join(per_user_programs if per_user else program_files[bits], "Example", "Viewer")
        entries = uninstall_entries()
        versions = [e.get("DisplayVersion") for e in entries]
        check(versions == [version], "one uninstall entry, %s: %s" % (version, versions))
        if entries:
            check(entries[0].get("Publisher") == "Example Ltd", "the entry's publisher")
        for name in ("Viewer.exe", "Viewer.kelvo", "runtime/bin/server/jvm.dll") + tuple(present):
            check(os.path.isfile(os.path.join(root, name)), "installed: " + name)
        for name in absent:
            check(not os.path.exists(os.path.join(root, name)), "removed: " + name)
        check(os.path.isfile(os.path.join(menu, "Example Ltd", "Viewer.lnk")), "the Start menu's shortcut")
        check(os.path.isfile(os.path.join(desktop, "Viewer.lnk")), "the desktop shortcut")
        if not per_user:
            # Wine reads no per-user association (HKCU\Software\Classes).
            prog_id = (registry("HKCR\\.emf", bits) or {}).get("(Default)")
            command = registry("HKCR\\%s\\shell\\open\\command" % prog_id, bits) or {}
            check(command.get("(Default)", "").endswith("\\Viewer\\Viewer.exe\" \"%1\""), "the association: %s" % command)
    return verify


def nothing_left():
    check(uninstall_entries() == [], "no uninstall entry")
    for folder in (program_files[64], program_files[32], per_user_programs, menu):
        check(not os.path.exists(os.path.join(folder, "Example")) and not os.path.exists(os.path.join(folder, "Example Ltd")),
              "no folder left in " + folder)
    check(not os.path.exists(os.path.join(desktop, "Viewer.lnk")), "no desktop shortcut")
    for view in (64, 32):
        check(registry("HKCR\\.emf", view) is None, "no association left (%d-bit view)" % view)
        check(registry("HKLM\\Software\\Example Ltd", view) is None, "no registry key left (%d-bit view)" % view)
    check(registry("HKCU\\Software\\Example Ltd") is None, "no user registry key left")


# What an earlier run that stopped half-way left installed.
for entry in uninstall_entries():
    run_wine("msiexec", "/x", entry["code"], "/qn")
first = build("1.0.0", files=("viewer.jar", "lib/old.jar"), options=full)
again = build("1.0.0", files=("viewer.jar", "lib/old.jar"), options=full)
check(os.path.basename(first) == "Viewer-1.0.0.msi", "named NAME-VERSION.msi")
newer = build("1.1.0", options=full + ["--sign-pkcs12", os.path.join(work, "cert.p12"),
                                       "--sign-password-file", os.path.join(work, "password")])
rebuilt = build("1.1.0", files=("viewer.jar", "lib/extra.jar"), options=full)
per_user = build("2.0.0", options=full + ["--win-per-user-install"])
rows = [
    # (what, msiexec action, package, refusal text, check of what it left)
    ("install", "/i", first, None, installed("1.0.0", present=("app/lib/old.jar",))),
    ("start", None, None, None, starts_through_shortcut_and_document),
    ("upgrade", "/i", newer, None, installed("1.1.0", absent=("app/lib/old.jar",))),
    ("rebuild of the same version", "/i", rebuilt, None, installed("1.1.0", present=("app/lib/extra.jar",))),
    ("downgrade", "/i", first, "WIX_DOWNGRADE_DETECTED", installed("1.1.0")),
    ("uninstall", "/x", rebuilt, None, nothing_left),
    ("per-user install", "/i", per_user, None, installed("2.0.0", per_user=True)),
    ("per-user uninstall", "/x", per_user, None, nothing_left),
]
runs_32bit = b"Exec format error" not in subprocess.run(["/usr/lib/wine/wine", "--version"], stdout=subprocess.PIPE,
                                                        stderr=subprocess.STDOUT).stdout
if runs_32bit:
    thirty_two = build("3.0.0", runtime="jre32", options=full)
    rows += [("32-bit install", "/i", thirty_two, None, installed("3.0.0", bits=32)),
             ("32-bit uninstall", "/x", thirty_two, None, nothing_left)]
else:
    print("NOT TESTED: the 32-bit package; this machine runs no 32-bit programs")

check(open(first, "rb").read() == open(again, "rb").read(), "two builds of the same inputs: the same bytes")
conditions = subprocess.run(["msiinfo", "export", first, "LaunchCondition"], stdout=subprocess.PIPE, text=True).stdout
check("A newer version of [ProductName] is already installed." in conditions, "the downgrade's message: " + conditions)
for name in (newer, os.path.join(os.path.dirname(newer), "Viewer", "Viewer.exe")):
    verified = subprocess.run(["osslsigncode", "verify", "-CAfile", os.path.join(work, "cert.pem"), "-in", name],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    check(verified.returncode == 0, "signed and verified: %s\n%s" % (name, verified.stdout[-500:]))

for what, action, package, refused, verify in rows:
    started = time.time()
    before = len(failures)
    if action:
        msiexec(action, package, refused)
    verify()
    print("%-28s %s (%.1f s)" % (what, "ok" if len(failures) == before else "FAILED", time.time() - started))
if failures:
    print("%d checks failed; the packages and logs are in %s" % (len(failures), work))
    sys.exit(1)
shutil.rmtree(work)
