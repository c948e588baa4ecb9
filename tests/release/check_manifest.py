#!/usr/bin/env python3
"""check_manifest.py MANIFEST: the launcher's manifest is well-formed XML with what it must say."""
import sys
import xml.etree.ElementTree as ElementTree

V1 = "{urn:schemas-microsoft-com:asm.v1}"
V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
WINDOWS_7 = "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}"
WINDOWS_10_AND_11 = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"

failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def main():
    root = ElementTree.parse(sys.argv[1]).getroot()
    expect(root.tag == V1 + "assembly" and root.get("manifestVersion") == "1.0", "root is an assembly of version 1.0")

    levels = root.findall(f"{V3}trustInfo/{V3}security/{V3}requestedPrivileges/{V3}requestedExecutionLevel")
    expect([(e.get("level"), e.get("uiAccess")) for e in levels] == [("asInvoker", "false")],
           "exactly one execution level: asInvoker without UI access")

    systems = {e.get("Id") for e in root.findall(f"{COMPATIBILITY}compatibility/{COMPATIBILITY}application/{COMPATIBILITY}supportedOS")}
    expect(WINDOWS_7 in systems and WINDOWS_10_AND_11 in systems, "supported systems from Windows 7 to 10 and 11")

    settings = root.find(f"{V3}application/{V3}windowsSettings")
    expect(settings is not None, "windowsSettings present")
    if settings is not None:
        awareness = settings.findtext(SETTINGS_2016 + "dpiAwareness", "")
        expect(awareness.split(",")[0].strip() == "PerMonitorV2", "per-monitor (v2) DPI awareness first")
        expect(settings.findtext(SETTINGS_2005 + "dpiAware", "").strip() == "true/pm",
               "per-monitor DPI awareness for systems before Windows 10 1607")
        expect(settings.findtext(SETTINGS_2016 + "longPathAware", "").strip() == "true", "long path awareness")

    controls = [e.attrib for e in root.findall(f"{V1}dependency/{V1}dependentAssembly/{V1}assemblyIdentity")]
    expect(any(a.get("name") == "Microsoft.Windows.Common-Controls" and a.get("version") == "6.0.0.0"
               and a.get("publicKeyToken") == "6595b64144ccf1df" and a.get("type") == "win32" for a in controls),
           "common controls version 6")

    for failure in failures:
        print(f"FAIL: {sys.argv[1]}: expected {failure}")
    if not failures:
        print(f"ok: {sys.argv[1]}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
