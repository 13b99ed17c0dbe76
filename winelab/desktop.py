"""A private X display, and the uninstaller's message boxes on it: waiting
for each, answering it with a key, and saving a picture of it."""
import contextlib
import os
import re
import shutil
import subprocess
import time

from prefix import fail, process_report
from product import UNINSTALLER

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


def answer_box(display, env, trace_path, number, key, picture=None):
    """Waits for the number-th box, checks its caption, presses key; returns
    its text. With picture, saves the box as a PNG file first."""
    deadline = time.time() + 60
    while len(boxes_shown(trace_path)) < number:
        if time.time() > deadline:
            with open(trace_path, encoding="utf-8", errors="replace") as f:
                said = "".join(f.readlines()[-30:])
            fail("box %d never appeared; shown: %r\nthe uninstaller said:\n%s\nprocesses:\n%s"
                 % (number, boxes_shown(trace_path), said, process_report()))
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
    subprocess.run(["xdotool", "windowfocus", "--sync", window], env=xenv, check=True)
    if picture:
        time.sleep(1)  # painted whole
        # 16 colours are all a Windows 9x box has: a PNG of a few KiB.
        subprocess.run(["import", "-window", window, "+dither", "-colors", "16",
                        "PNG8:" + picture], env=xenv, check=True)
    subprocess.run(["xdotool", "key", key], env=xenv, check=True)
    return boxes_shown(trace_path)[number - 1]


def run_with_answers(lab, display, switches, keys, pictures=(), in_session=False):
    """Runs the uninstaller on display and answers each box with its key in turn,
    saving box i first where pictures[i] names a file. Returns the exit code
    and the texts of the boxes shown, read from Wine's msgbox trace, which logs
    each text as the box lays it out. It is one start of Windows, unless
    in_session says the caller holds one (Prefix.session), begun after
    lab.env named the display: the session's desktop is on it."""
    trace = os.path.join(lab.root, "trace.txt")
    if in_session and lab.env.get("DISPLAY") != display.name:
        raise ValueError("the session was begun on another display")
    lab.env["DISPLAY"] = display.name
    env = dict(lab.env, WINEDEBUG="-all,trace+msgbox,trace+winstation,err+all")
    pictures = list(pictures) + [None] * len(keys)
    with contextlib.nullcontext() if in_session else lab.session():
        if any(pictures):
            # No window manager runs on the display: Wine draws the frame and
            # the caption itself, as Windows does.
            lab.wine("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Decorated",
                     "/d", "N", "/f", env=env)
            # Its caption buttons are glyphs of Marlett (fonts-wine), which this
            # Wine finds only among the prefix's own fonts.
            shutil.copyfile("/usr/share/wine/fonts/marlett.ttf",
                            lab.host_path(r"C:\windows\Fonts\marlett.ttf"))
        with open(trace, "w") as err:
            proc = subprocess.Popen(["wine", UNINSTALLER] + switches, env=env,
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err)
            for i, key in enumerate(keys):
                answer_box(display, env, trace, i + 1, key, pictures[i])
            rc = proc.wait(timeout=120)
    with open(trace, encoding="utf-8", errors="replace") as f:
        if "starting explorer" in f.read():  # a process of its own: see boot_holder.cpp
            fail("the uninstaller had to start the desktop's explorer.exe itself")
    return rc, boxes_shown(trace)
