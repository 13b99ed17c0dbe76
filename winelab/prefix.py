"""Throwaway 32-bit Wine prefixes and their sessions: making a prefix from a
template, one start of Windows held for a session, running Windows programs
in it with hangs found and, before the program under test, made once more,
and looking inside a finished prefix. A prefix lives under the folder it is
given, never in ~/.wine.

Wine facts this relies on, each checked where it matters:
- `winecfg -v win98` makes Wine follow Windows 9x where the uninstaller needs
  it: RegCreateKeyExA takes a key path with a leading backslash, and
  RegDeleteKeyA takes a key's sub-keys with it. A default prefix acts as NT.
  AppDefaults set the version for one program alone (set_version).
- Every new wineserver session is a new start of Windows: it runs the RunOnce
  commands. So the RunOnce value is read while the uninstaller's session is
  still up, and a new session plays the next start. Within a session, Windows
  is started again by any program once services.exe and its children are
  gone (they crash now and then under emulation), unless a process holds the
  mark of the finished start: a session's boot_holder.exe does.
- wineserver writes the registry to system.reg when it ends, so the state of a
  finished session can be read there without starting Windows again.
"""
import contextlib
import fcntl
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import route

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATES = os.path.join(HERE, "..", "build", "wine-templates")
BOOT_HOLDER = os.path.join(HERE, "..", "build", "windows", "boot_holder.exe")
TOOLS = ["wine", "wineboot", "wineserver", "Xvfb", "xdotool"]


# Keys that Wine itself rewrites at every start of a session, or not, as its
# services get on: a slower machine shows more of them.
WINE_SESSION_KEYS = (
    "system\\currentcontrolset\\control\\class\\{4d36e968-e325-11ce-bfc1-08002be10318}",  # display
    "system\\currentcontrolset\\control\\class\\{4d36e96e-e325-11ce-bfc1-08002be10318}",  # monitor
    "software\\microsoft\\windows nt\\currentversion\\networkcards",
    "software\\wine\\ports",
)


class LabError(Exception):
    pass


class Hang(LabError):
    """A step of Wine's that did not end."""


class Failed(LabError):
    """A check of a test's or a script's that did not hold."""


SERVERS = ("wineserver64", "wineserver32")


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


def reg_form(text):
    """A text as system.reg writes it: backslashes and quotes escaped, and every
    character beyond ASCII as \\x and its UTF-16 code in hex."""
    text = text.replace("\\", "\\\\").replace('"', '\\"')
    return "".join(c if ord(c) < 0x80 else "\\x%04x" % ord(c) for c in text)


class Prefix:
    """One Wine prefix: create it, install the product, run, look inside.

    With a locale (such as ja_JP.UTF-8, whose ANSI code page is 932) Wine takes
    its code page from it, and `moves` installs the product to other folders:
    {fixture folder: folder here}. Paths given to the prefix name the fixture's
    folders and are moved; snapshots name them too, moved back, so a test
    asserts the same lines wherever the product was installed."""

    def __init__(self, root, windows="win98", locale=None, moves=None):
        self.root = os.path.abspath(root)
        self.path = os.path.join(self.root, "prefix")
        self.windows = windows
        self.moves = moves or {}
        self.codec = "cp932" if locale and locale.startswith("ja_JP") else "latin-1"
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
        if locale:
            self.env.update(LANG=locale, LC_ALL=locale)

    def local(self, windows_path):
        """Where a path of the fixture is in this prefix."""
        for fixture, here in self.moves.items():
            if windows_path.lower().startswith(fixture.lower()):
                return here + windows_path[len(fixture):]
        return windows_path

    # ---- running things ---------------------------------------------------------
    def run(self, *args, check=True, env=None, timeout=300, server=False):
        """Runs a command to its end. With server, it is a Windows program of
        the session: once the session's wineserver has gone it can only wait
        for ever, so that is a hang too, found in seconds."""
        # Output goes to files, not pipes: Wine's background programs inherit
        # them and would hold a pipe open for the whole session.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            proc = subprocess.Popen(list(args), env=env or self.env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err)
            self._watch(proc, " ".join(args), timeout, server)
            out.seek(0)
            err.seek(0)
            done = subprocess.CompletedProcess(args, proc.returncode, out.read(), err.read())
        if check and done.returncode != 0:
            raise LabError("%s exited %d: %s" % (" ".join(args), done.returncode,
                                                 done.stderr.decode(errors="replace")[-2000:]))
        return done

    def wine(self, *args, **kw):
        return self.run("wine", *args, server=True, **kw)

    def _watch(self, proc, what, timeout, server, ready=lambda: False):
        """Waits until proc ends or ready() is true; raises Hang when that
        takes longer than timeout, or when the server has been gone 5 s."""
        deadline = time.time() + timeout
        gone = None
        while proc.poll() is None and not ready():
            now = time.time()
            gone = (gone or now) if server and not running(*SERVERS) else None
            if now > deadline or (gone and now - gone > 5):
                report = process_report()
                proc.kill()
                proc.wait()
                why = ("went on after the session's wineserver had ended" if gone
                       else "was not done within %d s" % timeout)
                raise Hang("%s %s; processes:\n%s%s" % (what, why, report, self._server_said()))
            time.sleep(0.2)

    def _server_said(self):
        try:
            with open(os.path.join(self.root, "wineserver.log"), "rb") as f:
                said = f.read()[-2000:].decode(errors="replace").strip()
        except OSError:
            return ""
        return "\nwineserver said: " + said if said else ""

    def wait(self):
        """Ends the session's programs and waits for wineserver to save the registry."""
        self.run("wineserver", "-k", check=False)
        self.run("wineserver", "-w", check=False)
        # -w returns once the server stops listening, which is before it has
        # written the registry out: wait for the process itself to end.
        deadline = time.time() + 60
        while time.time() < deadline and running(*SERVERS):
            time.sleep(0.05)
        # What wineserver does not know of: a child forked by one of its
        # programs and stuck in qemu before it could run.
        self.discard()

    def discard(self):
        """Ends every process of the prefix at once, wineserver too, which then
        saves nothing: what a hung step did is gone, as after a power cut."""
        for _ in range(100):
            pids = list(_prefix_processes(self.path))
            if not pids:
                return
            for pid in pids:
                with contextlib.suppress(OSError):
                    os.kill(int(pid), signal.SIGKILL)
            time.sleep(0.1)

    def once_more(self, what, step, untouched=lambda: True):
        """Runs step, a step before the program under test. If Wine hangs in
        it, ends what is left of it, says so and runs it once more; a second
        hang in a row is a failure like any other, and so is a hang after
        which untouched() says the product's own work had begun."""
        try:
            return step()
        except Hang as e:
            if not untouched():
                raise
            print("winelab: %s hung; ending it and starting it once more. What hung: %s"
                  % (what, e), flush=True)
            self.discard()
        try:
            return step()
        except Hang as e:
            raise LabError("%s hung twice in a row: %s" % (what, e))

    @contextlib.contextmanager
    def session(self, hold=True, again=True, desktop=True):
        """One start of Windows, kept up between commands until the block ends.
        Every step runs in one: a server that a program starts by itself
        leaves when the programs are gone, and under emulation it has left
        while a slow program was still connecting, which then waited for ever.
        `wineserver -p` returns once the server listens; a program started
        before that would start a server of its own. With hold, the block
        begins once Windows has started (RunOnce commands run), and no later
        program starts it again (boot_holder.cpp). With again, a start that
        hangs is made once more (once_more); not where the start of Windows is
        itself under test. With desktop, the start includes the desktop's
        explorer.exe, on the display of self.env, so that the program under
        test starts no process of its own (boot_holder.cpp)."""
        def start():
            with open(os.path.join(self.root, "wineserver.log"), "ab") as log:
                # The server keeps the log as its output: what it says when it ends.
                subprocess.run(["wineserver", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                               stdout=log, stderr=log, check=True)
            return self._hold_start(desktop) if hold else None
        holder = None
        try:
            holder = self.once_more("the start of Windows", start) if again else start()
            yield
        except Hang:
            self.discard()  # a session that hung saves nothing of itself
            raise
        finally:
            self.wait()
            if holder:
                holder.wait()

    def _hold_start(self, desktop, timeout=120):
        if not os.path.isfile(BOOT_HOLDER):
            raise LabError("missing %s: build the windows preset first" % BOOT_HOLDER)
        said = os.path.join(self.root, "boot_holder.out")
        with open(said, "wb") as out:
            holder = subprocess.Popen(["wine", BOOT_HOLDER] + ["desktop"] * desktop,
                                      env=self.env, stdin=subprocess.DEVNULL,
                                      stdout=out, stderr=subprocess.DEVNULL)

        def held():
            with open(said, "rb") as out:
                return out.read().startswith(b"held")
        # A start takes 2-12 s under emulation.
        self._watch(holder, "the start of Windows (boot_holder.exe)", timeout, True, held)
        if not held():
            code = holder.poll()
            why = " (no desktop, or its explorer.exe did not answer)" if code == 2 else ""
            raise Hang("boot_holder.exe exited %s before Windows had started%s" % (code, why))
        return holder

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
        windows_path = self.local(windows_path)
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
        """HKLM as saved in system.reg: 'key K' and 'value K : N = DATA' lines."""
        lines = set()
        key = None
        for raw in open(os.path.join(self.path, "system.reg"), encoding="utf-8",
                        errors="replace"):
            raw = raw.rstrip("\n")
            m = re.match(r"^\[(.*)\] \d+$", raw)
            if m:
                key = m.group(1).replace("\\\\", "\\")
                if key.lower().startswith(WINE_SESSION_KEYS):
                    key = None
                    continue
                # system.reg leaves out keys that hold only sub-keys; name them all.
                parts = key.split("\\")
                lines.update("key " + "\\".join(parts[:i]) for i in range(1, len(parts) + 1))
            elif key and raw.startswith(("\"", "@")) and "=" in raw:
                name, _, data = raw.partition("=") if raw.startswith("@") else \
                    _split_value(raw)
                lines.add("value %s : %s = %s" % (key, name, data))
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
        lines = self.registry() | self.files()
        for fixture, here in self.moves.items():
            lines = {line.replace(reg_form(here), reg_form(fixture)).replace(here, fixture)
                     for line in lines}
        return lines


def _start_services_on_demand(system_reg):
    """Makes Wine's services start when asked, not at every start of Windows,
    in a prefix whose wineserver has ended. Nothing here needs them, and under
    qemu 7.2 a program that services.exe starts now and then deadlocks in the
    fork that starts it (a lock held by another thread of services.exe), and
    with it the start of Windows; the services also crash and cost 10 s each."""
    with open(system_reg, encoding="utf-8") as f:
        text = f.read()
    text = re.sub(r'(\[System\\\\CurrentControlSet\\\\Services\\\\[^\]\\]+\] \d+\n'
                  r'(?:[^\[\n].*\n|\n)*?"Start"=dword:)0000000[012]', r"\g<1>00000003", text)
    with open(system_reg, "w", encoding="utf-8") as f:
        f.write(text)


def _each_process():
    """(pid, state, parent pid, command line) of every process that can be seen:
    in a script's own PID namespace, only its own."""
    for pid in sorted((p for p in os.listdir("/proc") if p.isdigit()), key=int):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                line = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
            with open("/proc/%s/stat" % pid) as f:
                state, parent = f.read().rpartition(") ")[2].split()[:2]
        except OSError:
            continue
        if line:
            yield pid, state, parent, line


def _prefix_processes(prefix):
    """The processes, but this one, that run for the given prefix."""
    for pid in os.listdir("/proc"):
        if pid.isdigit() and int(pid) != os.getpid():
            try:
                with open("/proc/%s/environ" % pid, "rb") as f:
                    if ("WINEPREFIX=%s" % prefix).encode() in f.read().split(b"\0"):
                        yield pid
            except OSError:
                continue


def process_report():
    """Every process, with what each of its threads waits in: what a hang
    report needs."""
    lines = []
    for pid, state, parent, line in _each_process():
        waits = []
        try:
            for task in sorted(os.listdir("/proc/%s/task" % pid), key=int):
                with open("/proc/%s/task/%s/wchan" % (pid, task)) as f:
                    waits.append(f.read() or "-")
        except OSError:
            pass  # gone meanwhile
        lines.append("  %s (of %s) %s %s [%s]" % (pid, parent, state, line[:160], " ".join(waits)))
    return "\n".join(lines)


def running(*names):
    """Whether a program whose command line holds one of names is running."""
    return any(state != "Z" and any(name in line for name in names)
               for _, state, _, line in _each_process())


def _split_value(raw):
    """Splits a system.reg line "name"=data at the '=' after the quoted name."""
    i = 1
    while raw[i] != "\"":
        i += 2 if raw[i] == "\\" else 1
    return raw[1:i], "=", raw[i + 2:]


def report(main, *args):
    """Runs a script's main and gives its exit code: 1, with the failure said
    on stderr, when it raised LabError; 0 when it returned. (No Wine process
    outlives the script: see route.enter.)"""
    try:
        main(*args)
        return 0
    except LabError as e:
        print("FAIL: %s" % e, file=sys.stderr)
        return 1
