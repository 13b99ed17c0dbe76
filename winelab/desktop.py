"""A private X display, and message boxes on it: waiting for each, answering
it with a key, and saving a picture of it."""
import os
import re
import subprocess
import time

from processes import LabError, process_report


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
        self.server.kill()
        self.server.wait()
        raise LabError("Xvfb did not start on " + self.name)

    def __exit__(self, *exc):
        self.server.terminate()
        self.server.wait(timeout=30)


def boxes_shown(trace_path):
    with open(trace_path, encoding="utf-8", errors="replace") as f:
        return re.findall(r'MSGBOX_OnInit L"(.*)"', f.read())


def answer_box(display, env, trace_path, number, key, caption, picture=None):
    """Waits for the number-th box, checks its caption, presses key; returns
    its text. With picture, saves the box as a PNG file first."""
    deadline = time.time() + 60
    while len(boxes_shown(trace_path)) < number:
        if time.time() > deadline:
            with open(trace_path, encoding="utf-8", errors="replace") as f:
                said = "".join(f.readlines()[-30:])
            raise LabError("box %d never appeared; shown: %r\nthe uninstaller said:\n%s\nprocesses:\n%s"
                 % (number, boxes_shown(trace_path), said, process_report()))
        time.sleep(0.2)
    xenv = dict(env, DISPLAY=display.name)
    found = subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "^%s$" % re.escape(caption)],
                           env=xenv, stdout=subprocess.PIPE, timeout=60).stdout.split()
    if not found:
        raise LabError("no visible window with the caption %s" % caption)
    window = found[-1].decode()
    shown = subprocess.run(["xdotool", "getwindowname", window], env=xenv,
                           stdout=subprocess.PIPE).stdout.decode().strip()
    if shown != caption:
        raise LabError("caption %r, expected %r" % (shown, caption))
    subprocess.run(["xdotool", "windowfocus", "--sync", window], env=xenv, check=True)
    if picture:
        time.sleep(1)  # painted whole
        # 16 colours are all a Windows 9x box has: a PNG of a few KiB.
        subprocess.run(["import", "-window", window, "+dither", "-colors", "16",
                        "PNG8:" + picture], env=xenv, check=True)
    subprocess.run(["xdotool", "key", key], env=xenv, check=True)
    return boxes_shown(trace_path)[number - 1]
