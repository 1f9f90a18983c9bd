#!/usr/bin/env python3
"""The XScreenSaver settings page against the program itself.

Every control is tried on the real command line (telkarim --show-settings with
the control's arguments), so the page cannot offer a switch the program
refuses, a range wider or narrower than the settings table, or a default that
differs from the table's: the settings tool leaves a control at its default
off the command line, so a wrong default would silently change the setting.

usage: options_test.py telkarim.xml path/to/telkarim
"""
import os
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL: " + what)


def main(xml_path, program):
    tmp = tempfile.TemporaryDirectory(prefix="tk-xss-config.")
    settings_file = os.path.join(tmp.name, "settings.reg")  # missing: every value takes its default

    def run(args):
        r = subprocess.run([program, "--show-settings", "--settings-file", settings_file] + args,
                           capture_output=True, text=True, timeout=30)
        values = {}
        for line in r.stdout.splitlines():
            name, _, value = line.partition("=")
            values[name] = int(value, 0)
        return r.returncode, values

    code, defaults = run([])
    check(code == 0 and len(defaults) == 19, "telkarim --show-settings prints the 19 values")

    def changed(args):
        code, values = run(args)
        return code, {k: v for k, v in values.items() if defaults.get(k) != v}

    root = ET.parse(xml_path).getroot()
    base = os.path.splitext(os.path.basename(xml_path))[0]
    # The settings tool finds the page by the program's name in lower case.
    check(root.tag == "screensaver" and root.get("name") == base == "telkarim",
          "<screensaver name> is the file's and the program's name")
    check(bool(root.get("_label")), "the page has a label")
    commands = [c.get("arg") for c in root.iter("command")]
    check(commands == ["--root"], "the one fixed argument is --root, got %r" % commands)
    check(root.find("_description") is not None and root.find("_description").text.strip(),
          "the page has a description")

    switches = []
    covered = set()

    def note_switch(arg):
        word = arg.split()[0]
        check(word.startswith("-"), "switch %r begins with a hyphen" % arg)
        check(word not in switches, "switch %s is used by one control only" % word)
        switches.append(word)

    for n in root.iter("number"):
        arg, ident = n.get("arg"), n.get("id")
        low, high, default = int(n.get("low")), int(n.get("high")), int(n.get("default"))
        note_switch(arg)
        # The settings tool reads a token beginning with '-' as a switch, so a
        # negative value could never reach the program.
        check(low >= 0, "%s: no negative values" % ident)
        check(low <= default <= high, "%s: default inside the range" % ident)
        code, diff = changed(arg.replace("%", str(default)).split())
        check(code == 0 and diff == {}, "%s: the page's default %d is the program's" % (ident, default))
        names = set()
        for value in (low, high):
            code, diff = changed(arg.replace("%", str(value)).split())
            check(code == 0, "%s: %d accepted" % (ident, value))
            names |= set(diff)
            check(all(v == value for v in diff.values()), "%s %d sets the value %d" % (ident, value, value))
        check(len(names) == 1, "%s moves exactly one setting, moved %s" % (ident, sorted(names)))
        covered |= names
        for value in (low - 1, high + 1):
            code, _ = run(arg.replace("%", str(value)).split())
            check(code == 2, "%s: %d refused, as the settings table's range ends at %d..%d"
                  % (ident, value, low, high))

    for s in root.iter("string"):
        arg, ident = s.get("arg"), s.get("id")
        note_switch(arg)
        # An empty field writes nothing; a colour the user types is #RRGGBB.
        code, diff = changed(arg.replace("%", "#010203").split())
        check(code == 0 and len(diff) == 1, "%s #010203 sets one setting, set %s" % (ident, diff))
        check(list(diff.values()) == [0x030201], "%s #010203 stores 0x00030201" % ident)
        covered |= set(diff)
        code, _ = run(arg.replace("%", "blue").split())
        check(code == 2, "%s: a word that is no colour is refused" % ident)

    for sel in root.iter("select"):
        options = sel.findall("option")
        plain = [o for o in options if o.get("arg-set") is None]
        check(len(plain) == 1, "select %s: exactly one option (the default) writes nothing" % sel.get("id"))
        words = {o.get("arg-set").split()[0] for o in options if o.get("arg-set")}
        check(len(words) == 1, "select %s: every option uses one switch" % sel.get("id"))
        for w in words:
            note_switch(w)
        seen = {tuple(sorted(defaults.items()))}
        for o in options:
            if o.get("arg-set") is None:
                continue
            arg = o.get("arg-set")
            check(not any(t.startswith("-") for t in arg.split()[1:]),
                  "%s: the value does not look like a switch" % arg)
            code, diff = changed(arg.split())
            check(code == 0 and len(diff) == 1, "%s sets one setting, set %s" % (arg, diff))
            covered |= set(diff)
            _, values = run(arg.split())
            state = tuple(sorted(values.items()))
            check(state not in seen, "%s differs from the other options" % arg)
            seen.add(state)

    for b in root.iter("boolean"):
        ident, unset, setarg = b.get("id"), b.get("arg-unset"), b.get("arg-set")
        # The objects are all shown by default: the box starts ticked, and only
        # unticking writes a switch.
        check(unset is not None and setarg is None, "%s: only arg-unset, the box ticked by default" % ident)
        if unset is None:
            continue
        note_switch(unset)
        check(unset == "-no-" + ident, "%s: switch is -no-%s" % (ident, ident))
        code, diff = changed(unset.split())
        check(code == 0 and len(diff) == 1 and list(diff.values()) == [1],
              "%s switches exactly one object off, got %s" % (unset, diff))
        covered |= set(diff)
        code, diff = changed([unset, "-" + ident])
        check(code == 0 and diff == {}, "-%s switches it back on" % ident)

    missing = sorted(set(defaults) - covered)
    check(not missing, "every setting has a control; missing %s" % missing)

    # Every control moved off its default at once: one line the settings tool
    # could write, and the program takes it whole.
    line = ["--root"]
    for n in root.iter("number"):
        line += n.get("arg").replace("%", n.get("low")).split()
    for s in root.iter("string"):
        line += s.get("arg").replace("%", "#000000").split()
    for o in root.iter("option"):
        if o.get("arg-set"):
            line += o.get("arg-set").split()
            break
    for b in root.iter("boolean"):
        line += b.get("arg-unset").split()
    code, diff = changed(line)
    check(code == 0 and set(diff) == covered, "the whole line is accepted and moves every setting")
    print("%d switches checked" % len(switches))
    if failures:
        print("%d failures" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
