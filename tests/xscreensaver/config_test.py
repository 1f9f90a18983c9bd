#!/usr/bin/env python3
"""The hack's XScreenSaver configuration against the program itself: every
option the settings tool can write is accepted, lands on the setting it
names, and the defaults and ranges are the program's own, so the tool never
writes an option for a setting the user left alone. (The settings tests hold
the page against the settings table; this holds it against the program.)

    config_test.py telkarim.xml path/to/telkarim
"""
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

xml_path, program = sys.argv[1:3]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what)


env = dict(os.environ, HOME=tempfile.mkdtemp(), XDG_CONFIG_HOME=tempfile.mkdtemp())
settings_file = os.path.join(env["HOME"], "settings.reg")


def run(args):
    p = subprocess.run([program, *args, "--show-settings", "--settings-file", settings_file],
                       capture_output=True, text=True, env=env, timeout=20)
    values = dict(line.split("=", 1) for line in p.stdout.splitlines() if "=" in line)
    return p.returncode, values, p.stderr


def as_int(text):
    v = int(text, 0)
    return v - (1 << 32) if v >= 1 << 31 else v


root = ET.parse(xml_path).getroot()
check(root.get("name") == "telkarim", "the configuration is named after the program")
command = root.find("command")
check(command is not None and command.get("arg") == "--root", "the command carries --root")

rc, defaults, err = run([])
check(rc == 0, f"--show-settings runs ({err.strip()})")

option_setting = {"-star-velocity": "StarVelocity", "-star-number": "StarNumber",
                  "-object-velocity": "ObjectVelocity", "-frame-rate": "FPS"}
numbers = root.iter("number")
seen = set()
for n in numbers:
    word = n.get("arg").split()[0]
    name = option_setting.get(word)
    check(name is not None, f"{word} is a known setting option")
    if not name:
        continue
    seen.add(name)
    # With no settings file every value is the program's default.
    default, lo, hi = as_int(defaults.get(name, "0")), int(n.get("low")), int(n.get("high"))
    check(int(n.get("default")) == default, f"{word}: default {n.get('default')} is the program's {default}")
    for value in (lo, hi):
        rc, got, err = run(n.get("arg").replace("%", str(value)).split())
        check(rc == 0 and as_int(got.get(name, "x")) == value, f"{word} {value} sets {name} ({err.strip()})")
    for value in (lo - 1, hi + 1):
        rc, _, _ = run(n.get("arg").replace("%", str(value)).split())
        check(rc == 2, f"{word} {value} is refused")
check(seen == set(option_setting.values()), f"every slider setting is offered ({sorted(seen)})")

strings = {s.get("arg").split()[0]: s for s in root.iter("string")}
for word, name in (("-star-color", "StarColor"), ("-object-color", "ObjectColor")):
    check(word in strings, f"{word} is offered")
    rc, got, err = run([word, "#102030"])
    check(rc == 0 and int(got.get(name, "0"), 0) == 0x302010, f"{word} #102030 is stored as 0x00302010 ({err.strip()})")

priorities = {}
for select in root.iter("select"):
    for o in select.iter("option"):
        priorities[o.get("id")] = o.get("arg-set")
check(priorities.get("normal") is None, "normal priority is the default and writes no option")
for pid, value in (("below-normal", -1), ("idle", -15)):
    arg = priorities.get(pid)
    check(arg is not None, f"priority {pid} is offered")
    if arg:
        rc, got, err = run(arg.split())
        check(rc == 0 and as_int(got.get("ThreadPriority", "x")) == value, f"{arg} sets ThreadPriority {value}")

kinds = [b for b in root.iter("boolean") if (b.get("arg-unset") or "").startswith("-no-")]
check(len(kinds) == 12, f"twelve object switches ({len(kinds)})")
for b in kinds:
    check(b.get("arg-set") is None, f"{b.get('id')}: on by default, so only switching it off writes an option")
for kind, b in enumerate(kinds):
    rc, got, err = run([b.get("arg-unset")])
    off = [k for k in range(12) if got.get(f"Object{k}") == "1"]
    check(rc == 0 and off == [kind], f"{b.get('arg-unset')} switches off exactly kind {kind} (got {off}, {err.strip()})")

print(f"{'FAILED' if failures else 'ok'}: {len(failures)} failures")
sys.exit(1 if failures else 0)
