#!/usr/bin/env python3
"""The message boxes of zovovar.exe, answered by key presses under Xvfb.

usage: message_boxes.py EXE WORKDIR [SCREENSHOT.png]

Each box is found by its window name (the caption) and its text is read from
Wine's msgbox trace (see product.run_with_answers). Escape answers Cancel,
Enter answers OK. With a third argument the confirmation box is saved as a
screenshot.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "winelab"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixture"))
import winelab  # noqa: E402
import installed  # noqa: E402
import product  # noqa: E402
from winelab import Display, Failed  # noqa: E402
from product import run_with_answers  # noqa: E402

CONFIRM, SUCCESS = (product.traced(installed.role(product.BOXES, r).text) for r in ("confirm", "success"))
DRIVER = next(i.path for i in product.machine() if i.owner == "product" and i.kind == "file")


def main(exe, work, screenshot=None):
    print("route: %s" % winelab.enter(), flush=True)
    winelab.require_tools()
    lab = winelab.Prefix(work)
    lab.create()
    cases = [
        # switches, keys pressed, boxes expected, driver removed, script written
        ([], ["Escape"], [CONFIRM], False, False),
        ([], ["Return", "Return"], [CONFIRM, SUCCESS], True, True),
        (["/M"], [], [], True, True),
        (["/D", "/M"], [], [], True, False),
    ]
    # One start of Windows for all cases: each start is slow under emulation,
    # and its services would log into the first case's trace. Each case says
    # its own result; a failing one does not stop the others.
    failed = []
    with Display() as display:
        lab.env["DISPLAY"] = display.name  # the session's desktop is on it
        with lab.session():
            for switches, keys, expected, removes, script in cases:
                what = "%s %s" % (" ".join(switches) or "no switches", "+".join(keys) or "no keys")
                try:
                    check_case(lab, display, exe, switches, keys, expected, removes, script, screenshot)
                    print("ok: %s -> boxes %r, exit 0" % (what, expected), flush=True)
                except (winelab.LabError, OSError) as e:
                    print("FAIL: %s: %s" % (what, e), flush=True)
                    failed.append(what)
                screenshot = None
    if failed:
        raise Failed("%d of %d cases: %s" % (len(failed), len(cases), "; ".join(failed)))
    print("PASS: message boxes")


def check_case(lab, display, exe, switches, keys, expected, removes, script, screenshot):
    if lab.exists(product.SCRIPT):
        os.remove(lab.host_path(product.SCRIPT))
    product.install(lab, exe, wait=False)
    rc, texts = run_with_answers(lab, display, switches, keys, [screenshot], in_session=True)
    if rc != 0:
        raise Failed("exit code %d" % rc)
    if texts != expected:
        raise Failed("boxes %r, expected %r" % (texts, expected))
    if lab.exists(DRIVER) == removes:
        raise Failed("the driver file was %s" % ("kept" if removes else "removed"))
    if lab.exists(product.SCRIPT) != script:
        raise Failed("the script was %s" % ("not written" if script else "written"))


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    sys.exit(winelab.report(main, *sys.argv[1:]))
