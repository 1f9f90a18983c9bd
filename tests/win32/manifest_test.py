#!/usr/bin/env python3
"""Checks the application manifest built into the Windows savers.

manifest_test.py build/win64/telkarim.scr build/win32/telkarim.scr

Wine treats every program as DPI-aware, so running the saver cannot show
whether Windows would scale it; the manifest in the file is what decides.
This reads the RT_MANIFEST resource straight from the PE file (no Windows
tools) and checks that the loader finds exactly one, that it parses, and
that it asks for what the saver needs: per-monitor awareness (v2 first) with
the system-aware fallback, the supported systems, and no elevation.
Prints one line per check; exits non-zero when any fails.
"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_MANIFEST = 24
ASM_V1 = "urn:schemas-microsoft-com:asm.v1"
ASM_V2 = "urn:schemas-microsoft-com:asm.v2"
ASM_V3 = "urn:schemas-microsoft-com:asm.v3"
COMPAT = "urn:schemas-microsoft-com:compatibility.v1"
WS2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
WS2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
# Vista, 7, 8, 8.1, 10/11.
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",
}
MACHINES = {0x8664: "x86-64", 0x14C: "i386"}


class PeFile:
    """Just enough of the PE format to walk the resource directory."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe : pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)  # PE32+ or PE32
        self.resource_rva, self.resource_size = struct.unpack_from("<II", data, directories + 2 * 8)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, vsize, rva, raw_size, raw_ptr = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((rva, max(vsize, raw_size), raw_ptr))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} is in no section")

    def directory(self, rva):
        """Entries of one resource directory: (name or id, is_directory, rva)."""
        base = self.offset(self.resource_rva)
        at = base + rva
        named, ids = struct.unpack_from("<HH", self.data, at + 12)
        entries = []
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", self.data, at + 16 + 8 * i)
            key = name & 0x7FFFFFFF
            if name & 0x80000000:
                length = struct.unpack_from("<H", self.data, base + key)[0]
                key = self.data[base + key + 2 : base + key + 2 + 2 * length].decode("utf-16-le")
            entries.append((key, bool(target & 0x80000000), target & 0x7FFFFFFF))
        return entries

    def resources(self, type_id):
        """Every (name, language, bytes) of one resource type."""
        if not self.resource_rva:
            return []
        found = []
        base = self.offset(self.resource_rva)
        for key, is_dir, rva in self.directory(0):
            if key != type_id or not is_dir:
                continue
            for name, name_dir, name_rva in self.directory(rva):
                for language, _, leaf in self.directory(name_rva) if name_dir else []:
                    data_rva, size = struct.unpack_from("<II", self.data, base + leaf)
                    start = self.offset(data_rva)
                    found.append((name, language, self.data[start : start + size]))
        return found


def check_file(path, report):
    with open(path, "rb") as f:
        pe = PeFile(f.read())
    arch = MACHINES.get(pe.machine, hex(pe.machine))
    label = f"{path} ({arch})"
    manifests = pe.resources(RT_MANIFEST)
    # The loader takes the process manifest from id 1; a second manifest
    # (one the toolchain adds on its own, say) would leave it unclear which
    # one Windows applies.
    report(f"{label}: exactly one manifest, id 1 ({[(n, l) for n, l, _ in manifests]})",
           len(manifests) == 1 and manifests[0][0] == 1)
    if not manifests:
        return
    text = manifests[0][2]
    try:
        root = ET.fromstring(text)
    except ET.ParseError as e:
        report(f"{label}: the manifest parses as XML ({e})", False)
        return
    report(f"{label}: the manifest parses; root is an asm.v1 assembly, version 1.0",
           root.tag == f"{{{ASM_V1}}}assembly" and root.get("manifestVersion") == "1.0")

    settings = root.find(f"{{{ASM_V3}}}application/{{{ASM_V3}}}windowsSettings")
    aware = settings.find(f"{{{WS2005}}}dpiAware") if settings is not None else None
    awareness = settings.find(f"{{{WS2016}}}dpiAwareness") if settings is not None else None
    aware_text = (aware.text or "").strip().lower() if aware is not None else None
    # "true/pm": system-aware on Vista to 8, per-monitor on 8.1.
    report(f"{label}: dpiAware is true/pm, in the 2005 settings namespace ({aware_text})", aware_text == "true/pm")
    modes = [m.strip().lower() for m in (awareness.text or "").split(",")] if awareness is not None else []
    # Windows 10 takes the first mode it knows: v2 from 1703, v1 on 1607.
    report(f"{label}: dpiAwareness lists PerMonitorV2 then PerMonitor ({modes})", modes == ["permonitorv2", "permonitor"])
    # An element in another namespace is silently ignored by the loader:
    # the classic slip that leaves a program DPI-unaware.
    stray = [e.tag for e in root.iter() if e.tag.endswith(("}dpiAware", "}dpiAwareness")) and e not in (aware, awareness)]
    report(f"{label}: no DPI element in a namespace the loader ignores ({stray})", not stray)

    ids = {e.get("Id", "").lower() for e in root.iter(f"{{{COMPAT}}}supportedOS")}
    report(f"{label}: supportedOS names Vista to 10/11 ({len(ids)} entries)", ids == SUPPORTED_OS)

    levels = [e.get("level") for e in root.iter() if e.tag.endswith("}requestedExecutionLevel")]
    in_v2 = root.find(f"{{{ASM_V2}}}trustInfo") is not None
    report(f"{label}: runs as the invoker, never asking for elevation ({levels})", levels == ["asInvoker"] and in_v2)


def main():
    if len(sys.argv) < 2:
        print(__doc__.strip().splitlines()[2])
        return 2
    passed = failed = 0

    def report(what, ok):
        nonlocal passed, failed
        print(("PASS: " if ok else "FAIL: ") + what)
        if ok:
            passed += 1
        else:
            failed += 1

    for path in sys.argv[1:]:
        try:
            check_file(path, report)
        except (OSError, ValueError, struct.error) as e:
            report(f"{path}: readable as a PE file ({e})", False)
    print(f"{passed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
