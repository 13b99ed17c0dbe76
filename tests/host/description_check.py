#!/usr/bin/env python3
"""The one description of the installed machine: it reads, it holds the
product and its neighbours, and its reader refuses a line that names an item
twice or holds what no Windows 98 registry can, saying the line and why.

usage: description_check.py
"""
import os
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "winelab"))
import installed  # noqa: E402

KEY = "value Software\\KOVRA\\X : "
REFUSED = [
    # (lines after "[product]", the line refused, a word of the reason)
    (["file %SYSTEM%\\A.SYS = a", "file %SYSTEM%\\a.sys = b"], 3, "named twice"),
    (["key Enum\\USB\\X", "key ENUM\\usb\\x"], 3, "named twice"),
    ([KEY + "N = a", KEY + "n = b"], 3, "named twice"),
    ([KEY + "%s = a" % ("n" * 256)], 2, "value name over"),
    (["key Software\\%s" % ("k" * 256)], 2, "key name over"),
    ([KEY + "N = %s" % ("t" * 16300)], 2, "value over"),
    ([KEY + "N%d = %s" % (i, "t" * 16000) for i in range(5)], 6, "bytes a key"),
    (["key Software\\\\X"], 2, "empty name"),
    (["file C:\\A.SYS = a"], 2, "a path begins with"),
    (["link %SYSTEM%\\A = b"], 2, "no such item"),
    ([KEY + "N"], 2, "form of a value"),
]


def main():
    problems = []
    items = installed.read()
    owners = {i.owner for i in items}
    if owners != set(installed.SECTIONS) or len(items) < 40:
        problems.append("the description holds %d items of %s" % (len(items), sorted(owners)))
    for lines, number, reason in REFUSED:
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("\n".join(["[product]"] + lines) + "\n")
        try:
            installed.read(f.name)
            problems.append("accepted: %r" % lines[-1][:60])
        except installed.DescriptionError as e:
            if not str(e).startswith("%s:%d: " % (f.name, number)) or reason not in str(e):
                problems.append("refused as %r, expected line %d and %r" % (str(e), number, reason))
        finally:
            os.remove(f.name)
    for p in problems:
        print("FAIL: " + p)
    print("%d passed, %d failed" % (len(REFUSED) + 1 - len(problems), len(problems)))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
