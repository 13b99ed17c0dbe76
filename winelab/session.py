"""Sessions of a Wine prefix: one start of Windows held for a session,
running Windows programs in it, and the hang policy: a step of Wine's own
that hangs before the program under test has run is ended with every process
of its prefix and made once more, once; a second hang in a row fails, and so
does any hang once the program under test has started.

Wine facts this relies on, each checked where it matters:
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
import os
import signal
import subprocess
import tempfile
import time

from processes import SERVERS, Hang, LabError, prefix_processes, process_report, running

HERE = os.path.dirname(os.path.abspath(__file__))
BOOT_HOLDER = os.path.join(HERE, "..", "build", "windows", "boot_holder.exe")


class Sessions:
    """What a prefix (prefix.Prefix) does in its sessions: it gives self.env,
    self.root and self.path."""

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
            pids = list(prefix_processes(self.path))
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
