"""What runs on this machine for the Wine layer: the processes of a prefix,
what each waits in (for a hang report), and the errors of the layer, which
a script turns into its exit code (report)."""
import os
import subprocess
import sys


class LabError(Exception):
    pass


class Hang(LabError):
    """A step of Wine's that did not end."""


class Failed(LabError):
    """A check of a test's or a script's that did not hold."""


SERVERS = ("wineserver64", "wineserver32")


def each_process():
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


def prefix_processes(prefix):
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
    for pid, state, parent, line in each_process():
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
               for _, state, _, line in each_process())


def report(main, *args):
    """Runs a script's main and gives its exit code: 1, with the failure said
    on stderr in one line or a few, when it raised LabError or could not read,
    write or run something; 0 when it returned. (No Wine process outlives the
    script: see route.enter.)"""
    try:
        main(*args)
        return 0
    except (LabError, OSError, subprocess.SubprocessError) as e:
        print("FAIL: %s" % e, file=sys.stderr)
        return 1
