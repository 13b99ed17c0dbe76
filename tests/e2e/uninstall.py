#!/usr/bin/env python3
"""zovovar.exe /M on a prefix with the whole product installed, then the next start.

usage: uninstall.py EXE WORKDIR win98|nt

win98: Windows 9x behaviour, which the product is written for. Exactly the
product's files, folders and keys go (device keys with their instance
sub-keys, as Windows 9x deletes them); the script and the RunOnce value are
written; at the next start the script deletes zovovar.exe and itself.

nt: a default prefix, as Windows NT. RegCreateKeyExA refuses the RunOnce key
path with its leading backslash, and RegDeleteKeyA keeps keys with sub-keys.
The files go as on 9x, the script is written, and no RunOnce value appears
anywhere instead.

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


MODES = {"win98": {}, "nt": {"windows": None}}


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
        rc = lab.wine(product.UNINSTALLER, "/M", check=False).returncode
    after = lab.snapshot()
    removed = sorted(before - after)
    added = sorted(after - before)

    if rc != 0:
        raise Failed("exit code %d" % rc)
    script = product.expected_script()
    got = lab.read(product.SCRIPT) if lab.exists(product.SCRIPT) else None
    if got != script:
        raise Failed("script bytes: %r, expected %r" % (got, script))

    expected_removed = sorted(line for line in before if product.is_product_item(line))
    expected_added = [r"file %s [%d]" % (product.SCRIPT, len(script))]
    # On 9x the RunOnce value as well, and nothing more: none on NT, as the
    # exact comparison of what was added holds.
    if mode != "nt":
        expected_added.append("value %s : %s = " % (product.RUNONCE_KEY, product.RUNONCE_VALUE)
                              + '"' + product.expected_command().replace("\\", "\\\\")
                              .replace('"', '\\"') + '"')
    else:
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
        lines = script.decode("latin-1").split("\r\n")
        if [line[len("run: "):] for line in ran if line.startswith("run: ")] != lines or \
                any(line.startswith("said: ") for line in ran):
            raise Failed("command.com did not run the script's lines as written: %r" % ran)
        for path in (product.UNINSTALLER, product.SCRIPT):
            if lab.exists(path):
                raise Failed("there after the next start: %s" % path)
        if expected_added[-1] in lab.registry():
            raise Failed("the RunOnce value survived the next start")
    print("PASS: uninstall on %s" % mode)


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[3] not in MODES:
        sys.exit(__doc__)
    sys.exit(winelab.report(main, *sys.argv[1:]))
