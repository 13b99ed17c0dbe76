#!/usr/bin/env python3
"""zovovar.exe /M on a prefix with the whole product installed, then the next start.

usage: uninstall.py EXE WORKDIR win98|win98-cp932|nt

win98: Windows 9x behaviour, which the product is written for. Exactly the
product's files, folders and keys go (device keys with their instance
sub-keys, as Windows 9x deletes them); the script and the RunOnce value are
written; at the next start the script deletes zovovar.exe and itself.

nt: a default prefix, as Windows NT. RegCreateKeyExA refuses the RunOnce key
path with its leading backslash, and RegDeleteKeyA keeps keys with sub-keys.
The files go as on 9x, the script is written, and no RunOnce value appears
anywhere instead.

win98-cp932: as win98, on Japanese Windows: the ANSI code page 932 (Wine takes
it from the locale ja_JP.UTF-8), the product installed to C:\\Prog\\表 ("Path"
without a trailing backslash) and its Start-menu folder KOVRA Camera\\表. The
second byte of 表 is 0x5C: exactly the same items go, the script and the value
name that folder in code page 932, and nothing appears in C:\\Prog.

The next start runs the RunOnce command through command.com as Windows 9x has
it (winelab/command_com.cpp): the script's three lines are run as written,
and nothing said.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "winelab"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixture"))
import winelab  # noqa: E402
import installed  # noqa: E402
import product  # noqa: E402
from winelab import Failed  # noqa: E402

# The device keys the description names by a key line: their instance
# sub-keys keep them on NT, whose RegDeleteKeyA deletes no key that has any.
KEYS_WITH_SUBKEYS = [i.path for i in product.machine() if i.owner == "product" and i.kind == "key"]


MODES = {
    "win98": {},
    "nt": {"windows": None},
    "win98-cp932": {"locale": "ja_JP.UTF-8", "moves": {
        product.INSTALL_FOLDER: "C:\\Prog\\\u8868",
        r"C:\windows\Start Menu\Programs\KOVRA Camera\Picaro 2400R":
            "C:\\windows\\Start Menu\\Programs\\KOVRA Camera\\\u8868"}},
}


def main(exe, work, mode):
    print("route: %s" % winelab.enter(), flush=True)
    winelab.require_tools(["wine", "wineboot", "wineserver"])
    lab = winelab.Prefix(work, **MODES[mode])
    lab.create()
    product.install(lab, exe)
    before = lab.snapshot()
    if not any(product.is_product_item(line) for line in before):
        raise Failed("the fixture installed nothing")

    with lab.session():
        rc = lab.wine(lab.local(product.UNINSTALLER), "/M", check=False).returncode
        runonce = product.query_runonce(lab)
    after = lab.snapshot()
    removed = sorted(before - after)
    added = sorted(after - before)
    print("removed:\n  " + "\n  ".join(removed))
    print("added:\n  " + "\n  ".join(added))

    if rc != 0:
        raise Failed("exit code %d" % rc)
    folder = lab.local(product.INSTALL_FOLDER)
    script = product.expected_script(folder, lab.codec)
    got = lab.read(product.SCRIPT) if lab.exists(product.SCRIPT) else None
    if got != script:
        raise Failed("script bytes: %r, expected %r" % (got, script))

    expected_removed = sorted(line for line in before if product.is_product_item(line))
    expected_added = [r"file %s [%d]" % (product.SCRIPT, len(script))]
    if mode != "nt":
        if runonce != product.expected_command(folder):
            raise Failed("RunOnce value while Windows is up: %r" % runonce)
        expected_added.append("value %s : %s = " % (product.RUNONCE_KEY, product.RUNONCE_VALUE)
                              + '"' + product.expected_command().replace("\\", "\\\\")
                              .replace('"', '\\"') + '"')
    else:
        if runonce is not None or any(product.RUNONCE_VALUE in line for line in after):
            raise Failed("a RunOnce value was written on NT: %r" % runonce)
        kept = lambda line: any(installed.is_below(line.partition(" ")[2].partition(" : ")[0], k)
                                for k in KEYS_WITH_SUBKEYS)
        expected_removed = [line for line in expected_removed if not kept(line)]
    if removed != expected_removed:
        raise Failed("removed differs from the product's items:\n  missing: %s\n  extra: %s" % (
            sorted(set(expected_removed) - set(removed)), sorted(set(removed) - set(expected_removed))))
    if sorted(added) != sorted(expected_added):
        raise Failed("added differs: %s" % sorted(set(added) ^ set(expected_added)))

    if mode != "nt":
        ran = product.next_start(lab)
        print("command.com:\n  " + "\n  ".join(ran))
        lines = script.decode(lab.codec).split("\r\n")
        if [line[len("run: "):] for line in ran if line.startswith("run: ")] != lines or \
                any(line.startswith("said: ") for line in ran):
            raise Failed("command.com did not run the script's lines as written")
        for path in (product.UNINSTALLER, product.SCRIPT):
            if lab.exists(path):
                raise Failed("there after the next start: %s" % path)
        if any(product.RUNONCE_VALUE in line for line in lab.registry()):
            raise Failed("the RunOnce value survived the next start")
        if not lab.exists(product.INSTALL_FOLDER + r"\Photos.txt"):
            raise Failed("the user's own file went")
    print("PASS: uninstall on %s" % mode)


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[3] not in MODES:
        sys.exit(__doc__)
    sys.exit(winelab.report(main, *sys.argv[1:]))
