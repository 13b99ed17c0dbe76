"""How this machine runs Wine's 32-bit programs, and a private place to run them.

Two routes, one per kind of machine:
- native: the kernel runs i386 code, and Wine runs as it is.
- emulated: the kernel runs 64-bit code only. Every i386 program (Wine's
  loader, and through it every Windows program of a win32 prefix) runs under
  qemu-i386-static, user-mode emulation from Debian's qemu-user-static.
  wineserver stays native (wineserver64 from wine64): one server that every
  Windows process talks to all the time is the one worth not emulating.
  ZOVOVAR_WINE_EMULATED=1 forces this route on a machine that runs i386 code.

`enter()` runs the calling script again inside its own user, mount and PID
namespaces. There qemu is registered for i386 programs in a binfmt_misc of
the script's own (Linux 6.7 and later), which changes nothing for the rest of
the machine; on an older kernel scripts/setup.sh registers it for the whole
machine instead. And when the script ends, or is killed, the kernel ends
every process of its PID namespace: no wineserver or Windows program of a
test outlives it.
"""
import os
import subprocess
import sys

FORCE = "ZOVOVAR_WINE_EMULATED"
INSIDE = "ZOVOVAR_WINE_ROUTE"  # set inside the namespaces: the route taken
QEMU = "/usr/bin/qemu-i386-static"
HANDLER = "zovovar-i386"
# binfmt_misc: an i386 ELF executable or shared object, as qemu's own
# qemu-binfmt-conf.sh registers it; F opens qemu now, so it works in any mount.
REGISTRATION = (":%s:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00"
                "\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff"
                "\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:%s:F" % (HANDLER, QEMU))
BINFMT = "/proc/sys/fs/binfmt_misc"
UNSHARE = ["unshare", "--user", "--map-root-user", "--mount", "--pid", "--fork",
           "--mount-proc", "--kill-child"]


class RouteError(Exception):
    pass


def runs_i386():
    """True where an i386 program runs here, natively or through a registered emulator."""
    try:
        return subprocess.run(["/lib/i386-linux-gnu/ld-linux.so.2", "--version"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0
    except OSError:
        return False


def chosen():
    """The route for this machine: 'native' or 'emulated'."""
    if os.environ.get(FORCE) == "1":
        return "emulated"
    registered = os.path.exists(os.path.join(BINFMT, HANDLER))
    return "native" if runs_i386() and not registered else "emulated"


def register():
    """Registers qemu for i386 programs in the binfmt_misc mounted here."""
    if not os.path.exists(os.path.join(BINFMT, HANDLER)):
        with open(os.path.join(BINFMT, "register"), "wb") as f:
            f.write(REGISTRATION.encode().decode("unicode_escape").encode("latin-1"))


def private_binfmt():
    """Mounts a binfmt_misc of this user namespace's own and registers qemu there.
    False where the kernel has none to give (before Linux 6.7)."""
    if subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", BINFMT],
                      stderr=subprocess.DEVNULL).returncode != 0:
        return False
    register()
    return True


def reap_orphans():
    """As PID 1 of the namespace: goes on as a child, and stays behind to reap
    the processes that Wine leaves to PID 1, ending with the child's status
    (the kernel then ends whatever else is left)."""
    child = os.fork()
    if child == 0:
        return
    while True:
        pid, status = os.wait()
        if pid == child:
            code = os.waitstatus_to_exitcode(status)
            os._exit(code if code >= 0 else 128 - code)


def enter():
    """Runs this script again in its own namespaces on the chosen route; returns
    there. Call it first thing: what ran before it runs twice."""
    route = os.environ.get(INSIDE)
    if route and os.getpid() == 1:
        reap_orphans()
    if route:
        if route == "emulated" and not private_binfmt() and not runs_i386():
            raise RouteError("no binfmt_misc of our own (Linux 6.7 or later) and no i386 "
                             "emulation registered for the machine: run scripts/setup.sh")
        if not runs_i386():
            raise RouteError("i386 programs do not run even through %s" % QEMU)
        return route
    route = chosen()
    if route == "emulated" and not os.access(QEMU, os.X_OK):
        raise RouteError("%s is missing: run scripts/setup.sh" % QEMU)
    if subprocess.run(UNSHARE + ["true"], stderr=subprocess.DEVNULL).returncode != 0:
        if route == "native":
            return route  # uncontained: Prefix.close() still ends its own wineserver
        raise RouteError("cannot make a user, mount and PID namespace here (%s): the "
                         "emulated route needs one" % " ".join(UNSHARE))
    env = dict(os.environ, **{INSIDE: route})
    try:
        os.execvpe(UNSHARE[0], UNSHARE + [sys.executable] + sys.argv, env)
    except OSError as e:
        raise RouteError("cannot start %s: %s" % (UNSHARE[0], e))


def prepare():
    """For scripts/setup.sh: makes the chosen route work and says which it is.
    Where a binfmt_misc of our own cannot be had, registers qemu for the machine."""
    route = chosen()
    if route == "native":
        return "native: this kernel runs i386 code, and Wine runs as it is"
    how = "qemu-i386 user-mode emulation (%s)" % ("forced by %s=1" % FORCE
                                                 if os.environ.get(FORCE) == "1" else
                                                 "this kernel runs 64-bit code only")
    if subprocess.run(UNSHARE + ["mount", "-t", "binfmt_misc", "binfmt_misc", BINFMT],
                      stderr=subprocess.DEVNULL).returncode == 0:
        return "emulated: %s, registered afresh in each run's own binfmt_misc" % how
    if not os.path.exists(os.path.join(BINFMT, "register")):
        subprocess.run(["mount", "-t", "binfmt_misc", "binfmt_misc", BINFMT], check=True)
    register()
    if not runs_i386():
        raise RouteError("i386 programs do not run even through %s" % QEMU)
    return ("emulated: %s, registered for the whole machine as %s/%s (this kernel gives "
            "no binfmt_misc of a namespace's own)" % (how, BINFMT, HANDLER))


if __name__ == "__main__":
    try:
        print("setup: Wine route: " + prepare())
    except (RouteError, OSError, subprocess.CalledProcessError) as e:
        sys.exit("setup: no way to run Wine's 32-bit programs here: %s" % e)

