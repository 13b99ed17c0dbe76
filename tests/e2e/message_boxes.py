#!/usr/bin/env python3
"""The message boxes of zovovar.exe, answered by key presses under Xvfb.

usage: message_boxes.py EXE WORKDIR [SCREENSHOT.png]

Each box is found by its window name (the caption) and its text is read from
Wine's msgbox trace (see winelab.run_with_answers). Escape answers Cancel,
Enter answers OK. With a third argument the confirmation box is saved as a
screenshot.
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "winelab"))
import winelab  # noqa: E402
from winelab import Display, fail, run_with_answers  # noqa: E402

CONFIRM = r"Are you sure you want to completely remove \nthe USB Host Driver for Picaro 2400R?"
SUCCESS = r"Uninstall succeeded!\nPlease restart Windows."
DRIVER = r"C:\windows\system32\RIRUREVE.SYS"


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
    # and its services would log into the first case's trace.
    with Display() as display:
        lab.env["DISPLAY"] = display.name  # the session's desktop is on it
        with lab.session():
            for switches, keys, expected, removes, script in cases:
                if lab.exists(winelab.SCRIPT):
                    os.remove(lab.host_path(winelab.SCRIPT))
                lab.install(exe, wait=False)
                rc, texts = run_with_answers(lab, display, switches, keys, [screenshot],
                                             in_session=True)
                what = "%s %s" % (" ".join(switches) or "no switches", "+".join(keys) or "no keys")
                if rc != 0:
                    fail("%s: exit code %d" % (what, rc))
                if texts != expected:
                    fail("%s: boxes %r, expected %r" % (what, texts, expected))
                if lab.exists(DRIVER) == removes:
                    fail("%s: the driver file was %s" % (what, "kept" if removes else "removed"))
                if lab.exists(winelab.SCRIPT) != script:
                    fail("%s: the script was %s" % (what, "not written" if script else "written"))
                print("ok: %s -> boxes %r, exit 0" % (what, texts))
                screenshot = None
    print("PASS: message boxes")


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4):
        sys.exit(__doc__)
    main(*sys.argv[1:])
