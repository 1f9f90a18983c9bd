#!/usr/bin/env python3
"""Checks the import tables of the Windows screen savers against the
allow-list next to this script:

    tests/windows/check_imports.py build/win32/telkarim.scr build/win64/telkarim.scr

A 32-bit file may import only what Windows 98 SE and NT 4.0 export, and must
say Windows 4.0 as its subsystem version; a 64-bit file only what Windows XP
x64 / Server 2003 export. Every import that is not listed, or is listed as too
new, is named. Exits 1 when anything fails."""
import os
import re
import struct
import subprocess
import sys

NINE_X = ["95", "98", "98SE", "ME"]
NT = ["NT3.1", "NT3.5", "NT3.51", "NT4", "2000", "XP", "2003", "VISTA", "7", "8", "10"]
# The newest release of each family a file must still load on; None: the
# family has no such file.
LIMITS = {32: ("98SE", "NT4"), 64: (None, "2003")}


def load_allow_list(path):
    allowed = {}
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.split("#", 1)[0].split()
        if not line:
            continue
        if len(line) != 4 or (line[2] != "-" and line[2] not in NINE_X) or line[3] not in NT:
            raise SystemExit(f"{path}:{number}: expected 'DLL function 95/98-release NT-release'")
        allowed[(line[0].lower(), line[1])] = (line[2], line[3])
    return allowed


def pe_bits(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    if data[:2] != b"MZ":
        raise SystemExit(f"{path}: not a Windows program")
    (pe,) = struct.unpack_from("<I", data, 0x3C)
    if data[pe:pe + 4] != b"PE\0\0":
        raise SystemExit(f"{path}: not a PE file")
    (magic,) = struct.unpack_from("<H", data, pe + 24)
    return {0x10B: 32, 0x20B: 64}[magic]


def objdump(path, bits):
    tool = "i686-w64-mingw32-objdump" if bits == 32 else "x86_64-w64-mingw32-objdump"
    return subprocess.run([tool, "-p", path], check=True, capture_output=True, text=True).stdout


def imports(dump):
    """(dll, name) pairs of the import tables; an ordinal import as '#N'."""
    found = []
    dll = None
    in_table = False
    for line in dump.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1)
            in_table = False
            continue
        if dll and re.match(r"\s*vma:\s+Hint/Ord\s+Member-Name", line):
            in_table = True
            continue
        if not in_table:
            continue
        if not line.strip():
            dll, in_table = None, False
            continue
        m = re.match(r"\s*[0-9a-f]+\s+(\d+)\s+(\S+)", line)
        if m:
            found.append((dll, m.group(2)))
            continue
        m = re.match(r"\s*[0-9a-f]+\s+<none>\s+([0-9a-f]+)", line)
        if m:
            found.append((dll, "#" + str(int(m.group(1), 16))))
    return found


def check(path, allowed):
    bits = pe_bits(path)
    dump = objdump(path, bits)
    newest_9x, newest_nt = LIMITS[bits]
    problems = []
    found = imports(dump)
    if not found:
        problems.append("no imports found (objdump's output not understood)")
    for dll, name in found:
        entry = allowed.get((dll.lower(), name))
        if entry is None:
            problems.append(f"{dll} {name}: not in the allow-list")
            continue
        nine_x, nt = entry
        if newest_9x and (nine_x == "-" or NINE_X.index(nine_x) > NINE_X.index(newest_9x)):
            problems.append(f"{dll} {name}: the 95/98 family has it from {nine_x}, this file must run on {newest_9x}")
        if NT.index(nt) > NT.index(newest_nt):
            problems.append(f"{dll} {name}: the NT family has it from {nt}, this file must run on {newest_nt}")
    if bits == 32:
        version = re.search(r"MajorSubsystemVersion\s+(\d+).*?MinorSubsystemVersion\s+(\d+)", dump, re.S)
        if not version or version.groups() != ("4", "0"):
            problems.append(f"subsystem version {'.'.join(version.groups()) if version else '?'}, want 4.0")
    for p in problems:
        print(f"FAIL: {path}: {p}")
    dlls = sorted({d for d, _ in found}, key=str.lower)
    if not problems:
        print(f"PASS: {path} ({bits}-bit): {len(found)} imports from {', '.join(dlls)} all run on "
              f"{' and '.join(x for x in (newest_9x, newest_nt) if x)}")
    return not problems


def main():
    if len(sys.argv) < 2:
        raise SystemExit(__doc__)
    allowed = load_allow_list(os.path.join(os.path.dirname(os.path.abspath(__file__)), "imports.txt"))
    results = [check(path, allowed) for path in sys.argv[1:]]
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
