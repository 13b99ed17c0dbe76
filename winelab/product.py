"""What the camera's driver package is on a Wine prefix: how it is installed
(from the one description of the installed machine, installed.py), which of
the prefix's items are the product's, the script and the RunOnce command the
uninstaller is to leave, running the uninstaller with its boxes answered, and
the next start of Windows that runs what it left."""
import contextlib
import functools
import os
import re
import shutil
import subprocess
import time

import installed
from desktop import answer_box, boxes_shown
from processes import LabError, running

HERE = os.path.dirname(os.path.abspath(__file__))
# Windows 9x's COMMAND.COM as the record has it (command_com.cpp), built with the product.
COMMAND_COM = os.path.join(HERE, "..", "build", "windows", "command_com.exe")
COMMAND_LOG = r"C:\windows\command_com.log"
INSTALL_FOLDER = r"C:\Program Files\KOVRA\Picaro 2400R"
UNINSTALLER = INSTALL_FOLDER + r"\zovovar.exe"
SCRIPT = INSTALL_FOLDER + r"\delfile.bat"
RUNONCE_KEY = r"Software\Microsoft\Windows\CurrentVersion\RunOnce"
RUNONCE = "HKLM\\" + RUNONCE_KEY
# Wine's system folder is C:\windows\system32, also when the prefix plays Windows 98.
FOLDERS = {"%SYSTEM%": r"C:\windows\system32", "%WINDOWS%": r"C:\windows",
           "%INSTALL%": INSTALL_FOLDER, "%CURRENT%": r"C:\WORK"}


@functools.lru_cache(maxsize=None)
def machine():
    """The installed machine on a prefix. Every start of Windows runs the RunOnce
    commands and deletes them, so a neighbour's cannot stay from the install
    to the uninstall: those values are left out."""
    return tuple(item for item in installed.placed(installed.read(), FOLDERS)
                 if not installed.is_below(item.path, RUNONCE_KEY))


@functools.lru_cache(maxsize=None)
def product_roots():
    return installed.product_roots(machine())


def install(prefix, exe, wait=True):
    """Installs the package and its neighbours: files, then the registry.
    With wait, the session ends after it, so system.reg holds the result."""
    items = machine()
    with open(exe, "rb") as f:
        uninstaller = f.read()
    for item in items:
        if item.kind == "file":
            prefix.write(item.path, uninstaller if item.owner == "uninstaller" else item.text.encode())
    reg = installed.regedit4(items)
    for fixture, here in prefix.moves.items():  # a moved "Path" has no trailing backslash
        reg = reg.replace(fixture.replace("\\", "\\\\") + "\\\\\"", here.replace("\\", "\\\\") + "\"")
        reg = reg.replace(fixture.replace("\\", "\\\\"), here.replace("\\", "\\\\"))
    moved = os.path.join(prefix.root, "installed.reg")
    with open(moved, "w", encoding=prefix.codec, newline="\r\n") as f:  # REGEDIT4 is ANSI
        f.write(reg)
    if not wait:
        prefix.wine("regedit", moved)
        return

    def import_registry():  # in a session of its own, so made once more whole if it hangs
        with prefix.session(again=False, desktop=False):
            prefix.wine("regedit", moved)
    prefix.once_more("installing the product", import_registry)


def is_product_item(line):
    """Whether a snapshot line names one of the product's items, or something below one."""
    kind, _, rest = line.partition(" ")
    path = rest.partition(" : ")[0] if kind == "value" else rest.partition(" [")[0]
    kinds = ("key",) if kind in ("key", "value") else ("file", "folder")
    return any(k in kinds and installed.is_below(path, root) for k, root in product_roots())


def expected_script(folder=INSTALL_FOLDER, codec="latin-1"):
    return ("@echo off\r\ndel \"%s\\zovovar.exe\">nul\r\ndel \"%s\\delfile.bat\">nul"
            % (folder, folder)).encode(codec)


def expected_command(folder=INSTALL_FOLDER):
    return "command.com /c \"%s\\delfile.bat\"" % folder


def query_runonce(prefix):
    """The RunOnce value's text as `reg query` shows it, or None. Needs a session."""
    out = prefix.wine("reg", "query", RUNONCE, "/v", "kvudel", check=False)
    m = re.search(r"kvudel\s+REG_SZ\s+(.*)", out.stdout.decode(prefix.codec, errors="replace"))
    return m.group(1).rstrip("\r") if m else None


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
            raise LabError("the uninstaller had to start the desktop's explorer.exe itself")
    return rc, boxes_shown(trace)


def next_start(prefix):
    """Starts Windows again, which runs the RunOnce commands. Their command.com
    is Windows 9x's as the record has it (command_com.cpp), not Wine's NT
    cmd.exe: it cuts lines and tails, reads them in the OEM code page, and
    opens the batch file again after each line. Returns what it logged of
    each command: its tail, each line it ran, what it cut off, what it said."""
    if not os.path.isfile(COMMAND_COM):
        raise LabError("no %s: build the windows preset first" % COMMAND_COM)
    shutil.copyfile(COMMAND_COM, prefix.host_path(r"C:\windows\system32") + "/command.com")
    if prefix.exists(COMMAND_LOG):
        os.remove(prefix.host_path(COMMAND_LOG))
    def start():
        with prefix.session(again=False, desktop=False):
            # The start waits for the RunOnce commands, but gives up on them
            # after two minutes.
            deadline = time.time() + 120
            while time.time() < deadline and running("command.com"):
                time.sleep(0.2)
    # This start runs the product's script, so it is made once more only if
    # it hung before the script had deleted anything: wineserver has crashed
    # so (it saves the registry only when it ends, so the RunOnce value is
    # still there to run).
    prefix.once_more("the next start of Windows", start,
                     lambda: prefix.exists(UNINSTALLER) and prefix.exists(SCRIPT))
    if not prefix.exists(COMMAND_LOG):
        return []
    return prefix.read(COMMAND_LOG).decode("utf-8").splitlines()
