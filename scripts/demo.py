#!/usr/bin/env python3
"""Shows what zovovar.exe does, on a throwaway Wine prefix set to Windows 98.

usage: demo.py EXE WORKDIR [--silent] [--screenshot FILE.png | --pictures DIR]

Installs the camera's driver package (the end-to-end tests' fixture), lists
it, runs the uninstaller, and reports every file, folder, registry key and
value of the package and its neighbours as removed or kept; then shows the
self-deletion script, plays the next start of Windows and reports that the
uninstaller and its script are gone.

With a display (DISPLAY set and reachable) the real confirmation box appears
there and waits for you; without one, or with --silent, the uninstaller runs
with /M. --screenshot runs it on a private Xvfb display instead, saves the
confirmation box, framed and captioned as Windows draws it, to FILE.png and
answers OK itself; --pictures saves both boxes so (docs/ holds them).
"""
import argparse
import os
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "winelab"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixture"))
import winelab  # noqa: E402
import product  # noqa: E402


def heading(text):
    print("\n== %s ==" % text)


def fixture_roots():
    """The paths and keys the installed machine holds, each naming itself and what lies below."""
    roots = [product.INSTALL_FOLDER]
    for item in product.machine():
        roots.append(item.path)
        if item.path.lower().endswith(".lnk"):  # the Start-menu folders too
            roots.append(item.path.rsplit("\\", 1)[0])
    return [r.lower() for r in roots]


def fixture_lines(snapshot):
    roots = fixture_roots()
    keep = []
    for line in snapshot:
        kind, _, rest = line.partition(" ")
        path = rest.split(" : ")[0] if kind == "value" else rest.rsplit(" [", 1)[0]
        if any(path.lower() == r or path.lower().startswith(r + "\\") for r in roots):
            keep.append(line)
    return sorted(keep, key=lambda l: (l.split(" ", 1)[1].lower(), l))


def has_display():
    if not os.environ.get("DISPLAY"):
        return False
    return subprocess.run(["xdotool", "getmouselocation"], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL).returncode == 0


def run_uninstaller(lab, args):
    """Runs it the way that fits; returns a sentence saying how, and the exit code."""
    if args.screenshot or args.pictures:
        pictures = ([os.path.abspath(args.screenshot)] if args.screenshot else
                    [os.path.abspath(os.path.join(args.pictures, n + ".png"))
                     for n in ("confirm", "success")])
        if args.pictures:
            os.makedirs(args.pictures, exist_ok=True)
        with winelab.Display() as display:
            rc, _ = product.run_with_answers(lab, display, [], ["Return", "Return"], pictures)
        return ("with its boxes on a private Xvfb display, answered OK (saved: %s)"
                % ", ".join(pictures)), rc
    if not args.silent and has_display():
        print("The confirmation box is on your display (%s): answer it there."
              % os.environ["DISPLAY"])
        env = dict(lab.env, DISPLAY=os.environ["DISPLAY"])
        with lab.session():
            rc = subprocess.run(["wine", product.UNINSTALLER], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
        return "with its confirmation box on your display", rc
    reason = "as asked" if args.silent else "no display is available"
    with lab.session():
        rc = lab.wine(product.UNINSTALLER, "/M", check=False).returncode
        print("RunOnce value, read while this start of Windows is still up:")
        print("  %s = %s" % (product.RUNONCE_VALUE, product.query_runonce(lab)))
    return "silently with /M (%s)" % reason, rc


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("exe")
    parser.add_argument("workdir")
    parser.add_argument("--silent", action="store_true", help="run with /M even with a display")
    parser.add_argument("--screenshot", metavar="FILE", help="show the box under Xvfb, save it")
    parser.add_argument("--pictures", metavar="DIR",
                        help="as --screenshot, both boxes: DIR/confirm.png, DIR/success.png")
    args = parser.parse_args()
    if not os.path.isfile(args.exe):
        sys.exit("demo: %s is missing: build it with 'cmake --preset windows && "
                 "cmake --build --preset windows'" % args.exe)
    try:
        demonstrate(args)
    except (winelab.LabError, OSError, subprocess.SubprocessError) as e:
        sys.exit("demo: %s" % e)


def demonstrate(args):
    print("Wine route: %s" % winelab.enter())
    winelab.require_tools()
    lab = winelab.Prefix(args.workdir)
    print("Creating a Windows 98 prefix in %s ..." % lab.path)
    lab.create()
    product.install(lab, args.exe)
    before = lab.snapshot()
    heading("Installed: the driver package and its neighbours")
    for line in fixture_lines(before):
        if product.is_product_item(line):
            mark = "product"
        elif line.lower().startswith("file " + product.UNINSTALLER.lower()):
            mark = "itself"  # goes at the next start of Windows
        else:
            mark = "other"
        print("  %-7s  %s" % (mark, line))

    heading("Running zovovar.exe")
    how, rc = run_uninstaller(lab, args)
    print("Ran %s; exit code %d." % (how, rc))
    after = lab.snapshot()

    heading("Before and after")
    removed = kept = 0
    for line in fixture_lines(before):
        gone = line not in after
        removed += gone
        kept += not gone
        print("  %-7s  %s" % ("removed" if gone else "kept", line))
    for line in fixture_lines(after):
        if line not in before:
            print("  %-7s  %s" % ("added", line))
    for line in sorted(after - before):
        if product.RUNONCE_VALUE in line:
            print("  %-7s  %s" % ("added", line))
    print("%d removed, %d kept." % (removed, kept))

    if not lab.exists(product.SCRIPT):
        heading("No self-deletion script was written")
        return
    heading("Self-deletion script %s" % product.SCRIPT)
    script = lab.read(product.SCRIPT)
    print("  " + script.decode("latin-1").replace("\r\n", "\n  "))
    print("  (%d bytes, CR LF line ends, none after the last line)" % len(script))

    heading("Next start of Windows")
    for line in product.next_start(lab):  # COMMAND.COM as Windows 9x has it
        print("  command.com  %s" % line)
    for path in (product.UNINSTALLER, product.SCRIPT):
        print("  %-7s  %s" % ("kept" if lab.exists(path) else "removed", path))
    left = any(product.RUNONCE_VALUE in line for line in lab.registry())
    print("  %-7s  RunOnce value %s" % ("kept" if left else "removed", product.RUNONCE_VALUE))
    print("  %-7s  %s\\Photos.txt (the user's own file)"
          % ("kept" if lab.exists(product.INSTALL_FOLDER + r"\Photos.txt") else "removed",
             product.INSTALL_FOLDER))
    if rc != 0 or left or any(lab.exists(p) for p in (product.UNINSTALLER, product.SCRIPT)):
        raise winelab.LabError("the uninstall did not end as it should: see above")


if __name__ == "__main__":
    main()
