#!/usr/bin/env python3
"""The message boxes of zovovar.exe, answered by key presses under Xvfb.

usage: message_boxes.py EXE WORKDIR [SCREENSHOT.png]

Each box is found by its window name (the caption); the text it shows is read
from Wine's msgbox trace, which logs the text as the box lays it out.
Escape answers Cancel, Enter answers OK. With a third argument the
confirmation box is saved as a screenshot.
"""
import os
import re
import subprocess
import sys
import time

import winelab
from winelab import fail

CONFIRM = r"Are you sure you want to completely remove \nthe USB Host Driver for Picaro 2400R?"
SUCCESS = r"Uninstall succeeded!\nPlease restart Windows."
DRIVER = r"C:\windows\system32\RIRUREVE.SYS"


class Display:
    """A private X server, so the boxes never reach the user's own screen."""

    def __enter__(self):
        number = next(n for n in range(90, 200)
                      if not os.path.exists("/tmp/.X%d-lock" % n)
                      and not os.path.exists("/tmp/.X11-unix/X%d" % n))
        self.name = ":%d" % number
        self.server = subprocess.Popen(["Xvfb", self.name, "-screen", "0", "1024x768x24",
                                        "-nolisten", "tcp"], stderr=subprocess.DEVNULL)
        env = dict(os.environ, DISPLAY=self.name)
        for _ in range(100):  # ready once a client gets an answer
            if subprocess.run(["xdotool", "getmouselocation"], env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL).returncode == 0:
                return self
            time.sleep(0.1)
        fail("Xvfb did not start on " + self.name)

    def __exit__(self, *exc):
        self.server.terminate()
        self.server.wait(timeout=30)


def boxes_shown(trace_path):
    with open(trace_path, encoding="utf-8", errors="replace") as f:
        return re.findall(r'MSGBOX_OnInit L"(.*)"', f.read())


def answer_box(display, env, trace_path, number, key, screenshot=None):
    """Waits for the number-th box, checks its caption, presses key; returns its text."""
    deadline = time.time() + 60
    while len(boxes_shown(trace_path)) < number:
        if time.time() > deadline:
            fail("box %d never appeared; shown: %r" % (number, boxes_shown(trace_path)))
        time.sleep(0.2)
    xenv = dict(env, DISPLAY=display.name)
    found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^Uninstaller$"],
                           env=xenv, stdout=subprocess.PIPE, timeout=60).stdout.split()
    if not found:
        fail("no visible window with the caption Uninstaller")
    window = found[-1].decode()
    caption = subprocess.run(["xdotool", "getwindowname", window], env=xenv,
                             stdout=subprocess.PIPE).stdout.decode().strip()
    if caption != "Uninstaller":
        fail("caption %r" % caption)
    if screenshot:
        subprocess.run(["import", "-window", "root", screenshot], env=xenv, check=False)
    subprocess.run(["xdotool", "windowfocus", "--sync", window], env=xenv, check=True)
    subprocess.run(["xdotool", "key", key], env=xenv, check=True)
    return boxes_shown(trace_path)[number - 1]


def run_with_answers(lab, display, switches, keys, screenshot=None):
    """Runs the uninstaller, answers each box with its key; returns (exit code, texts)."""
    trace = os.path.join(lab.root, "trace.txt")
    env = dict(lab.env, DISPLAY=display.name, WINEDEBUG="-all,trace+msgbox,err+all")
    with open(trace, "w") as err:
        proc = subprocess.Popen(["wine", winelab.UNINSTALLER] + switches, env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
        for i, key in enumerate(keys, 1):
            answer_box(display, env, trace, i, key, screenshot if i == 1 else None)
        rc = proc.wait(timeout=120)
    lab.wait()
    return rc, boxes_shown(trace)


def main(exe, work, screenshot=None):
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
    with Display() as display:
        for switches, keys, expected, removes, script in cases:
            if lab.exists(winelab.SCRIPT):
                os.remove(lab.host_path(winelab.SCRIPT))
            lab.install(exe)
            rc, texts = run_with_answers(lab, display, switches, keys, screenshot)
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
