"""Throwaway 32-bit Wine prefixes: making one from a template, placing files
in it, and looking inside a finished one. A prefix lives under the folder it
is given, never in ~/.wine. Its sessions are session.py's.

Wine facts this relies on, each checked where it matters:
- `winecfg -v win98` makes Wine follow Windows 9x where the uninstaller needs
  it: RegCreateKeyExA takes a key path with a leading backslash, and
  RegDeleteKeyA takes a key's sub-keys with it. A default prefix acts as NT.
  AppDefaults set the version for one program alone (set_version).
"""
import fcntl
import os
import re
import shutil
import time

import route
from processes import LabError
from session import Sessions

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATES = os.path.join(HERE, "..", "build", "wine-templates")
TOOLS = ["wine", "wineboot", "wineserver", "Xvfb", "xdotool"]


# Keys that Wine itself rewrites at every start of a session, or not, as its
# services get on: a slower machine shows more of them. Wine's display driver
# writes the display class's DriverDate and DriverDateData anew at every
# start (Wine 10 saves them under ControlSet001, read as CurrentControlSet).
WINE_SESSION_KEYS = (
    "system\\currentcontrolset\\control\\class\\{4d36e968-e325-11ce-bfc1-08002be10318}",  # display
    "system\\currentcontrolset\\control\\class\\{4d36e96e-e325-11ce-bfc1-08002be10318}",  # monitor
    "software\\microsoft\\windows nt\\currentversion\\networkcards",
    "software\\wine\\ports",
)


def enter():
    """Goes on in a private namespace on this machine's route (see route.py)."""
    try:
        return route.enter()
    except route.RouteError as e:
        raise LabError(str(e))


def require_tools(tools=TOOLS):
    missing = [t for t in tools if shutil.which(t) is None]
    if missing:
        raise LabError("missing %s: run scripts/setup.sh (it installs them from Debian's packages)"
                       % ", ".join(missing))


class Prefix(Sessions):
    """One Wine prefix: create it, install the product, run, look inside."""

    def __init__(self, root, windows="win98"):
        self.root = os.path.abspath(root)
        self.path = os.path.join(self.root, "prefix")
        self.windows = windows
        self.env = dict(os.environ, WINEPREFIX=self.path, WINEARCH="win32", WINEDEBUG="-all",
                        # No Mono or Gecko prompts, no menu entries, no debugger holding
                        # a session up, and no USB or HID bus driver: under emulation
                        # winebus.sys can fail an assertion and show it in a box.
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe,winedbg.exe,"
                                         "winebus.sys,wineusb.sys=d")
        # wineserver itself, not Debian's wrapper script, which starts it with
        # -p0: no grace at all once the last program has gone. Under emulation
        # a new program may then find the server leaving mid-handshake, and
        # wait for it for ever. Wine's own default is 3 seconds.
        server = "/usr/lib/wine/wineserver64"
        if os.access(server, os.X_OK):
            self.env["WINESERVER"] = server
        else:
            self.env.pop("WINESERVER", None)

    # ---- setting up -------------------------------------------------------------
    def create(self):
        """A fresh prefix: a copy of the template of its Windows version, made
        once by `wineboot -i`, the slowest start of Windows and, under emulation,
        the least steady one."""
        if os.path.isdir(self.path):
            self.wait()
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.root)
        os.makedirs(TEMPLATES, exist_ok=True)
        # The recipe's number is in the name: a changed recipe makes new templates.
        template = os.path.join(TEMPLATES, "%s.2" % (self.windows or "nt"))
        with open(template + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not os.path.isdir(template):
                maker = Prefix(template + ".new", self.windows)

                def make():
                    shutil.rmtree(maker.root, ignore_errors=True)
                    os.makedirs(maker.path)
                    # No prefix to start yet, and no start to make once more
                    # within the making, which is made once more whole.
                    with maker.session(hold=False, again=False):
                        maker.run("wineboot", "-i", server=True, timeout=240)
                        if self.windows:
                            maker.wine("winecfg", "-v", self.windows)
                maker.once_more("making the %s template" % (self.windows or "nt"), make)
                _start_services_on_demand(os.path.join(maker.path, "system.reg"))
                os.rename(maker.path, template)  # only a whole prefix becomes the template
                shutil.rmtree(maker.root)
        self.run("cp", "-a", template, self.path)

    def set_version(self, program, version):
        """Makes Wine report the given Windows version (win95, win98, winme,
        win2k ...) to one program, named by its file name, whatever the
        prefix's own. Written into user.reg while no session runs."""
        with open(os.path.join(self.path, "user.reg"), "a", encoding="utf-8") as f:
            f.write('\n[Software\\\\Wine\\\\AppDefaults\\\\%s] %d\n"Version"="%s"\n'
                    % (program, int(time.time()), version))

    def host_path(self, windows_path):
        """The Linux path of C:\\..., matching existing names without regard to case."""
        assert windows_path[:3].upper() == "C:\\", windows_path
        here = os.path.join(self.path, "drive_c")
        for part in windows_path[3:].split("\\"):
            match = part
            if os.path.isdir(here):
                for name in os.listdir(here):
                    if name.lower() == part.lower():
                        match = name
                        break
            here = os.path.join(here, match)
        return here

    def write(self, windows_path, data):
        target = self.host_path(windows_path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "wb") as f:
            f.write(data)

    def read(self, windows_path):
        with open(self.host_path(windows_path), "rb") as f:
            return f.read()

    def exists(self, windows_path):
        return os.path.exists(self.host_path(windows_path))

    # ---- looking inside ---------------------------------------------------------
    def registry(self):
        """HKLM as saved in system.reg: 'key K' and 'value K : N = DATA' lines,
        each key under the name a program uses: below a link (Wine 10 saves
        CurrentControlSet as a link to ControlSet001), under the link's."""
        keys = _saved_keys(os.path.join(self.path, "system.reg"))
        targets = {key: _link_target(values) for key, values in keys.items()}
        links = {target.lower(): key for key, target in targets.items() if target}
        lines = set()
        for key, values in keys.items():
            is_link = targets[key] is not None
            for target, link in links.items():
                if key.lower() == target or key.lower().startswith(target + "\\"):
                    key = link + key[len(target):]
            if key.lower().startswith(WINE_SESSION_KEYS):
                continue
            # system.reg leaves out keys that hold only sub-keys; name them all.
            parts = key.split("\\")
            lines.update("key " + "\\".join(parts[:i]) for i in range(1, len(parts) + 1))
            if not is_link:  # a link's one value is where it leads
                lines.update("value %s : %s = %s" % (key, name, data) for name, data in values)
        return lines

    def files(self):
        """Every folder and file below C:\\, with each file's size."""
        lines = set()
        drive = os.path.join(self.path, "drive_c")
        for top, dirs, names in os.walk(drive):
            rel = os.path.relpath(top, drive)
            if rel != ".":
                lines.add("folder C:\\" + rel.replace("/", "\\"))
            for n in names:
                full = os.path.join(top, n)
                if os.path.islink(full):
                    continue
                path = "C:\\" + os.path.relpath(full, drive).replace("/", "\\")
                lines.add("file %s [%d]" % (path, os.path.getsize(full)))
        return lines

    def snapshot(self):
        return self.registry() | self.files()


def _start_services_on_demand(system_reg):
    """Makes Wine's services start when asked, not at every start of Windows,
    in a prefix whose wineserver has ended. Nothing here needs them, and under
    qemu 7.2 a program that services.exe starts now and then deadlocks in the
    fork that starts it (a lock held by another thread of services.exe), and
    with it the start of Windows; the services also crash and cost 10 s each."""
    with open(system_reg, encoding="utf-8") as f:
        text = f.read()
    # Wine 8 saves the services under CurrentControlSet, Wine 10 under
    # ControlSet001, which CurrentControlSet links to.
    text = re.sub(r'(\[System\\\\(?:CurrentControlSet|ControlSet\d{3})\\\\Services\\\\[^\]\\]+\] \d+\n'
                  r'(?:[^\[\n].*\n|\n)*?"Start"=dword:)0000000[012]', r"\g<1>00000003", text)
    with open(system_reg, "w", encoding="utf-8") as f:
        f.write(text)


def _split_value(raw):
    """Splits a system.reg line "name"=data at the '=' after the quoted name."""
    i = 1
    while raw[i] != "\"":
        i += 2 if raw[i] == "\\" else 1
    return raw[1:i], "=", raw[i + 2:]


def _saved_keys(system_reg):
    """{key: [(value name, data as saved)]}, a value's continued lines joined."""
    keys, key, text = {}, None, []
    with open(system_reg, encoding="utf-8", errors="replace") as f:
        for raw in f:
            raw = raw.rstrip("\n")
            if text and text[-1].endswith("\\") and raw.startswith("  "):
                text[-1] = text[-1][:-1] + raw.strip()
            else:
                text.append(raw)
    for raw in text:
        m = re.match(r"^\[(.*)\] \d+$", raw)
        if m:
            key = m.group(1).replace("\\\\", "\\")
            keys[key] = []
        elif key and raw.startswith(("\"", "@")) and "=" in raw:
            name, _, data = raw.partition("=") if raw.startswith("@") else _split_value(raw)
            keys[key].append((name, data))
    return keys


def _link_target(values):
    """The key below HKLM that a link key's SymbolicLinkValue names, or None."""
    for name, data in values:
        if name == "SymbolicLinkValue" and data.startswith("hex(6):"):
            path = bytes.fromhex(data[7:].replace(",", "")).decode("utf-16-le")
            prefix = "\\registry\\machine\\"
            if path.lower().startswith(prefix):
                return path[len(prefix):]
    return None
