#!/usr/bin/env python3
"""Compares two registry exports (regedit /E, UTF-16) key by key and value
by value, for the installer test: prints what the second has that the first
has not and the other way round, one line each, and exits 1 when they differ.

regdiff.py BEFORE.reg AFTER.reg [--ignore KEY_PREFIX]... [--container KEY]...

--ignore leaves out a key with everything under it; --container leaves out
only the key itself (an empty folder that may come or go), not its values
or the keys under it.

Wine itself rewrites a few things on every start (a display adapter key
per X server, driver timestamps, the count of service starts); those are
always ignored.
"""
import re
import sys

ALWAYS_IGNORED_KEYS = [
    r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\Video",
    # Counts service starts (Windows Installer's among them).
    r"HKEY_LOCAL_MACHINE\System\CurrentControlSet\Control\ServiceCurrent",
]
ALWAYS_IGNORED_VALUES = ['"DriverDateData"=']


def entries(path, ignored, containers):
    text = open(path, "rb").read().decode("utf-16")
    # Long values are continued on the next line after a backslash.
    text = re.sub(r"\\\r?\n\s*", "", text)
    out, key = set(), None
    for line in text.splitlines():
        if line.startswith("["):
            key = line[1:-1]
            skip = any(key.lower().startswith(p.lower()) for p in ignored)
            if not skip and key.lower() not in containers:
                out.add(f"[{key}]")
        elif line and key and not skip and not any(line.startswith(v) for v in ALWAYS_IGNORED_VALUES):
            out.add(f"[{key}] {line}")
    return out


def main():
    args = sys.argv[1:]
    ignored, containers = list(ALWAYS_IGNORED_KEYS), set()
    for option in ("--ignore", "--container"):
        while option in args:
            i = args.index(option)
            (ignored.append if option == "--ignore" else containers.add)(args[i + 1] if option == "--ignore" else args[i + 1].lower())
            del args[i:i + 2]
    before, after = (entries(p, ignored, containers) for p in args[:2])
    for e in sorted(after - before):
        print("left behind:", e)
    for e in sorted(before - after):
        print("lost:", e)
    sys.exit(1 if before != after else 0)


if __name__ == "__main__":
    main()
