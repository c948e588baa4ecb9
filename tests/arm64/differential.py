#!/usr/bin/env python3
"""differential.py ARM64_BIN X64_BIN WORK GROUP

Runs the cases of GROUP through the ARM64 build under the arm64 Wine and through the x64 build
under the host's Wine, each in a folder of its own that both prefixes know as T:, with the stand-ins
of its own machine, and compares what each run recorded: the launcher's exit code, standard output
and error, its trace log, the stand-ins' records (command line, code page, in-process arguments,
the virtual machine's calls) and the converter's images. Any difference fails; so does a case
whose exit code is not the one expected of both.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import zlib

ARM64_BIN, X64_BIN, WORK = (os.path.abspath(path) for path in sys.argv[1:4])
GROUP = sys.argv[4]
QUIET = {"WINEDEBUG": "-all", "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"}
CHILD = "jre\\bin\\javaw.exe -Xmx256m -cp app.jar;missing.jar Main first \"second arg\"\n"
INPROCESS = "inprocess\njre\\bin\\java.exe -cp app.jar Main\n"
SINGLE = "inprocess single:com.example.Main.open\njre\\bin\\javaw.exe -cp app.jar com.example.Main\n"

# name: (group, program, parameter file or None, arguments, environment, expected exit code)
CASES = {
    "gui_child": ("launch", "kelvo", CHILD, ["--open", "x y"], {}, 0),
    "console_exit_code": ("launch", "kelvoc", "jre\\bin\\java.exe\n-cp app.jar Main\n", ["a"],
                          {"STAND_IN_EXIT": "7", "STAND_IN_OUTPUT": "out"}, 7),
    "expansion": ("launch", "kelvoc", "jre\\bin\\java.exe -Dhome=%APP_HOME|@.% -Dx=%KELVO_X% -Dy=%UNSET_Y|=none% "
                  "-Dp=100%% -Djava.library.path=native;gone -cp app.jar Main \"%KELVO_X%\"\n", [],
                  {"KELVO_X": "va lue"}, 0),
    "unicode_child": ("launch", "kelvoc", "jre\\bin\\java.exe -cp app.jar Main\n", ["\u56fe\u7eb8 \u03a9.emf", "caf\u00e9"], {}, 0),
    "no_parameter_file": ("errors", "kelvoc", None, [], {}, 2),
    "no_java": ("errors", "kelvoc", "java[99.0.0]\n-cp app.jar Main\n", [], {"QUICK_KELVO": "1"}, 2),
    "empty_parameter_file": ("errors", "kelvoc", "", [], {}, 2),
    "bad_version_range": ("errors", "kelvoc", "java[11.0.0-x]\n-cp app.jar Main\n", [], {}, 2),
    "start_without_java": ("errors", "kelvoc", "start\nnowhere\\bin\\java.exe -cp app.jar Main\n", [],
                           {"QUICK_KELVO": "1"}, 2),
    "in_process": ("inprocess", "kelvoc", INPROCESS, ["\u56fe\u7eb8 \u03a9.emf", "--x=\"q\""], {"STAND_IN_EXIT": "3"}, 3),
    "in_process_gui": ("inprocess", "kelvo", "inprocess\njre\\bin\\javaw.exe -cp app.jar Main\n", ["a b"], {}, 0),
    "old_runtime_child": ("inprocess", "kelvoc", INPROCESS, ["x"], {"KELVO_RELEASE": "17.0.1"}, 0),
}


def machine_run(machine, program, arguments, environment, folder, background=False):
    """Starts a program of T:\\ under the machine's Wine; answers (exit code, stdout, stderr)."""
    env = dict(os.environ, **QUIET, **environment)
    if machine == "arm64":
        root = os.environ["KELVO_ARM64_WINE"] + "/root"
        env.update(QEMU_LD_PREFIX=root, WINEPREFIX=os.environ["KELVO_ARM64_PREFIX"],
                   WINESERVER=root + "/usr/lib/wine/wineserver64")
        wine = root + "/usr/lib/wine/wine64"
    else:
        wine = "/usr/lib/wine/wine64"
    # Files, not pipes: a process that Wine starts on the way must not hold the driver's pipes.
    out, err = tempfile.TemporaryFile(), tempfile.TemporaryFile()
    process = subprocess.Popen([wine, program] + arguments, cwd=folder, env=env, stdin=subprocess.DEVNULL,
                               stdout=out, stderr=err)
    if background:
        return process
    code = process.wait(timeout=120)
    out.seek(0)
    err.seek(0)
    return code, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")


def write(path, text):
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)


def prepare(machine, case, release="21.0.1"):
    """The case's folder, T: of the machine's prefix, with the stand-in runtime in app\\jre."""
    prefix = os.environ["KELVO_ARM64_PREFIX"] if machine == "arm64" else os.environ["WINEPREFIX"]
    folder = os.path.join(WORK, machine, case)
    shutil.rmtree(folder, ignore_errors=True)
    app = os.path.join(folder, "app")
    bins = {"arm64": ARM64_BIN, "x64": X64_BIN}[machine]
    for sub in ("jre/bin/server", "jre/lib", "native"):
        os.makedirs(os.path.join(app, sub))
    for name, source in (("jre/bin/java.exe", "stand_in_java.exe"), ("jre/bin/javaw.exe", "stand_in_java.exe"),
                         ("jre/bin/jli.dll", "stand_in_jli.dll"), ("jre/bin/java.dll", "stand_in_jvm.dll"),
                         ("jre/bin/server/jvm.dll", "stand_in_jvm.dll"), ("vecraster.exe", "vecraster.exe"),
                         ("vecraster-32.dll", "vecraster-32.dll")):
        shutil.copy(os.path.join(bins, source), os.path.join(app, name))
    write(os.path.join(app, "jre/lib/jvm.cfg"), "-server KNOWN\r\n")
    write(os.path.join(app, "jre/release"), 'JAVA_VERSION="%s"\n' % release)
    write(os.path.join(app, "app.jar"), "")
    drive = os.path.join(prefix, "dosdevices", "t:")
    if os.path.lexists(drive):
        os.remove(drive)
    os.symlink(folder, drive)
    return folder, app, bins


def run_case(machine, case):
    group, program, parameters, arguments, environment, expected = CASES[case]
    folder, app, bins = prepare(machine, case, environment.get("KELVO_RELEASE", "21.0.1"))
    shutil.copy(os.path.join(bins, program + ".exe"), os.path.join(app, case + ".exe"))
    if parameters is not None:
        write(os.path.join(app, case + ".kelvo"), parameters)
    env = dict(environment, VERBOSE_KELVO="1", STAND_IN_RECORD="T:\\record.txt")
    code, out, err = machine_run(machine, "T:\\app\\%s.exe" % case, arguments, env, folder)
    return code == expected, {"exit code": str(code), "output": out, "errors": err,
                              "record": read(folder, "record.txt"), "log": read(app, case + ".kelvo_log")}


def run_single(machine):
    """A first start hosts the stand-in virtual machine and holds; a second hands over."""
    folder, app, bins = prepare(machine, "single")
    shutil.copy(os.path.join(bins, "kelvo.exe"), os.path.join(app, "single.exe"))
    write(os.path.join(app, "single.kelvo"), SINGLE)
    env = {"STAND_IN_RECORD": "T:\\record.txt", "STAND_IN_JVM": "1", "STAND_IN_HOLD": "T:\\hold"}
    first = machine_run(machine, "T:\\app\\single.exe", ["first"], env, folder, background=True)
    deadline = time.time() + 60
    while "jli:" not in read(folder, "record.txt") and time.time() < deadline:
        time.sleep(0.1)
    second = machine_run(machine, "T:\\app\\single.exe", ["--open", "\u56fe\u7eb8 \u03a9.emf"],
                         {"STAND_IN_RECORD": "T:\\record.txt"}, os.path.join(app, "native"))
    write(os.path.join(folder, "hold"), "")
    first_code = first.wait(timeout=120)
    record = read(folder, "record.txt")
    return (first_code, second[0]) == (0, 0) and "\ncall\t" in record, {
        "exit codes": "%d %d" % (first_code, second[0]), "record": record}


def run_preference(machine):
    """A search with two runtimes: JAVA_HOME's virtual machine is the other machine's, the one
    on PATH of this machine. The ARM64 launcher takes the one it can host, the x64 one the first
    found, as always: the records differ by design, each is checked against its own choice."""
    folder, app, bins = prepare(machine, "preference")
    other = os.path.join(folder, "other")
    os.makedirs(os.path.join(other, "bin", "server"))
    os.makedirs(os.path.join(other, "lib"))
    shutil.copy(os.path.join(bins, "stand_in_java.exe"), os.path.join(other, "bin", "java.exe"))
    shutil.copy(os.path.join(X64_BIN if machine == "arm64" else ARM64_BIN, "stand_in_jvm.dll"),
                os.path.join(other, "bin", "server", "jvm.dll"))
    write(os.path.join(other, "lib", "jvm.cfg"), "-server KNOWN\r\n")
    shutil.copy(os.path.join(bins, "kelvoc.exe"), os.path.join(app, "preference.exe"))
    write(os.path.join(app, "preference.kelvo"), "java\n-cp app.jar Main\n")
    env = {"STAND_IN_RECORD": "T:\\record.txt", "QUICK_KELVO": "1", "JAVA_HOME": "T:\\other",
           "WINEPATH": "T:\\app\\jre\\bin"}
    code, out, err = machine_run(machine, "T:\\app\\preference.exe", [], env, folder)
    chosen = "T:\\app\\jre\\bin\\java.exe" if machine == "arm64" else "T:\\other\\bin\\java.exe"
    return code == 0 and "command: %s " % chosen in read(folder, "record.txt"), {"exit code": str(code), "errors": err}


def run_branded(machine):
    """A launcher branded by the Linux kelvo-brand (icon, version, texts) runs as before."""
    folder, app, bins = prepare(machine, "branded")
    source = os.path.dirname(os.path.abspath(__file__))
    icon = os.path.join(folder, "app.ico")
    subprocess.run([sys.executable, os.path.join(source, "..", "brand", "test_icon.py"), icon], check=True)
    brand = subprocess.run([os.path.join(X64_BIN, "..", "linux", "bin", "kelvo-brand"), os.path.join(bins, "kelvoc.exe"),
                            os.path.join(app, "branded.exe"), "--icon", icon, "--version", "1.4.2", "--product", "Brand"],
                           capture_output=True, text=True)
    write(os.path.join(app, "branded.kelvo"), "jre\\bin\\java.exe -cp app.jar Main\n")
    code, out, err = machine_run(machine, "T:\\app\\branded.exe", ["x"], {"STAND_IN_RECORD": "T:\\record.txt",
                                                                        "STAND_IN_EXIT": "5"}, folder)
    return brand.returncode == 0 and code == 5, {"branding": brand.stdout + brand.stderr, "exit code": str(code),
                                                 "errors": err, "record": read(folder, "record.txt")}


def png_digest(path):
    """Both Wines encode with the same code: the images are compared byte for byte."""
    data = open(path, "rb").read()
    return "%d bytes, crc %08x" % (len(data), zlib.crc32(data))


def run_converter(machine):
    folder, app, bins = prepare(machine, "converter")
    # The metafile is drawn by the x64 build's sample program under the host's Wine.
    subprocess.run(["/usr/lib/wine/wine64", os.path.join(X64_BIN, "sample_metafile.exe"),
                    "Z:" + os.path.join(folder, "shapes.emf").replace("/", "\\")],
                   env=dict(os.environ, **QUIET), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
    results, expected = {}, True
    for name, arguments in (("96", ["T:\\shapes.emf", "T:\\shapes-96.png"]),
                            ("300", ["T:\\shapes.emf", "T:\\shapes-300.png", "300"]),
                            ("missing", ["T:\\missing.emf", "T:\\missing.png"]),
                            ("bad dpi", ["T:\\shapes.emf", "T:\\bad.png", "-3x"])):
        code, out, err = machine_run(machine, "T:\\app\\vecraster.exe", arguments, {}, folder)
        png = os.path.join(folder, os.path.basename(arguments[1][3:]))
        results[name] = "exit %d, %s%s" % (code, out + err, png_digest(png) if os.path.exists(png) else "no image")
        expected = expected and (code == 0) == name.isdigit()
    return expected, results


def read(folder, name):
    """The file's text, process ids left out (each Wine numbers its processes its own way), and
    the ARM64 launcher's two search passes, which the x64 one has not (checked by preference)."""
    path = os.path.join(folder, name)
    if not os.path.exists(path):
        return "(none)"
    text = open(path, encoding="utf-8", errors="replace").read()
    text = re.sub(r"Searching a runtime of (ARM64 first|any machine)\n\n", "", text)
    return re.sub(r"([Pp]rocess) \d+", r"\1 N", text)


def main():
    os.makedirs(WORK, exist_ok=True)
    special = {"single": run_single, "preference": run_preference, "branded": run_branded, "converter": run_converter}
    runs = {GROUP: special[GROUP]} if GROUP in special else {
        case: (lambda machine, case=case: run_case(machine, case)) for case, row in CASES.items() if row[0] == GROUP}
    failed = 0
    for case, run in runs.items():
        start = time.time()
        arm64_ok, arm64 = run("arm64")
        arm64_seconds = time.time() - start
        codes_ok, x64 = run("x64")
        codes_ok = codes_ok and arm64_ok
        same = arm64 == x64
        print("%s %s (ARM64 run %.1f s)" % ("same:" if same and codes_ok else "FAIL:", case, arm64_seconds))
        if not same or not codes_ok:
            failed += 1
            for key in x64:
                if arm64.get(key) != x64[key] or not codes_ok:
                    print("  %s, x64:\n    %s\n  %s, ARM64:\n    %s" % (key, x64[key].replace("\n", "\n    "),
                                                                       key, arm64.get(key, "").replace("\n", "\n    ")))
        else:
            print("  " + "\n  ".join("%s: %s" % (k, v.strip().replace("\n", " | ")[:400]) for k, v in x64.items()))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
