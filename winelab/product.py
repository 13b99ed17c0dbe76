"""What the camera's driver package is on a Wine prefix: how it is installed
(fixture/), which of the prefix's items are the product's, the script and the
RunOnce command the uninstaller is to leave, and the next start of Windows
that runs them."""
import os
import re
import shutil
import time

from prefix import HERE, _running

FIXTURE = os.path.join(HERE, "fixture")
INSTALL_FOLDER = r"C:\Program Files\KOVRA\Picaro 2400R"
UNINSTALLER = INSTALL_FOLDER + r"\zovovar.exe"
SCRIPT = INSTALL_FOLDER + r"\delfile.bat"
RUNONCE = r"HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce"


def install(prefix, exe, wait=True):
    """Installs the package and its neighbours: files, then the registry.
    With wait, the session ends after it, so system.reg holds the result."""
    for line in open(os.path.join(FIXTURE, "files.txt"), encoding="utf-8"):
        if line.startswith("#") or not line.strip():
            continue
        path, content = line.rstrip("\n").split("\t", 1)
        prefix.write(path, content.encode())
    prefix.write(UNINSTALLER, open(exe, "rb").read())
    reg = open(os.path.join(FIXTURE, "installed.reg"), encoding="ascii").read()
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



PRODUCT_ITEMS = [
    r"file C:\windows\system32\RIRUREVE.SYS",
    r"file C:\windows\system32\iosubsys\RIROZEZA.PDR",
    r"file C:\windows\inf\RIRUREVE.INF",
    r"file C:\windows\inf\RIROZEZA.INF",
    r"file C:\windows\inf\OTHER\KOVRARIRUREVE.INF",
    r"file C:\windows\inf\OTHER\KOVRARIROZEZA.INF",
    r"file C:\Program Files\KOVRA\Picaro 2400R\uninst.isu",
    r"file C:\Program Files\KOVRA\Picaro 2400R\Readme.txt",
    r"file C:\windows\Start Menu\Programs\KOVRA Camera\Picaro 2400R\UnInstall.lnk",
    r"file C:\windows\Start Menu\Programs\KOVRA Camera\Picaro 2400R\Readme.lnk",
    r"folder C:\windows\Start Menu\Programs\KOVRA Camera",
    r"key Software\Microsoft\Windows\CurrentVersion\App Paths\zovovar.exe",
    r"value Software\Microsoft\Windows\CurrentVersion\App Paths\zovovar.exe :",
    r"key Enum\USB\Vid_1D9A&Pid_2C41",
    r"value Enum\USB\Vid_1D9A&Pid_2C41\5&2F3A1B&0&1 :",
    r"key Enum\USB\*RIRUREVE",
    r"value Enum\USB\*RIRUREVE\0000 :",
    r"key System\CurrentControlSet\Services\KOVRA\USB\Storage\RIRUREVE",
    r"value System\CurrentControlSet\Services\KOVRA\USB\Storage\RIRUREVE :",
    r"key Enum\ESDI\KOVRA___PICARO_2400R",
    r"value Enum\ESDI\KOVRA___PICARO_2400R\0000 :",
    r"key Software\KOVRA\Picaro 2400R Storage Driver",
    r"value Software\KOVRA\Picaro 2400R Storage Driver",
    r"key Software\Microsoft\Windows\CurrentVersion\Uninstall\Picaro 2400R Storage Driver",
    r"value Software\Microsoft\Windows\CurrentVersion\Uninstall\Picaro 2400R Storage Driver :",
]


def is_product_item(line):
    return any(line.lower().startswith(p.lower()) for p in PRODUCT_ITEMS)


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


def next_start(prefix):
    """Starts Windows again, with a command interpreter called command.com."""
    system32 = prefix.host_path(r"C:\windows\system32")
    # Wine has no command.com; its own cmd.exe runs the same batch syntax.
    shutil.copyfile(os.path.join(system32, "cmd.exe"), os.path.join(system32, "command.com"))
    def start():
        with prefix.session(again=False, desktop=False):
            # The start waits for the RunOnce commands, but gives up on them
            # after two minutes.
            deadline = time.time() + 120
            while time.time() < deadline and _running("command.com"):
                time.sleep(0.2)
    # This start runs the product's script, so it is made once more only if
    # it hung before the script had deleted anything: wineserver has crashed
    # so (it saves the registry only when it ends, so the RunOnce value is
    # still there to run).
    prefix.once_more("the next start of Windows", start,
                     lambda: prefix.exists(UNINSTALLER) and prefix.exists(SCRIPT))
