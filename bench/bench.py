#!/usr/bin/env python3
"""Prints two figures of zovovar.exe against its targets.

usage: bench.py EXE MINIMAL_EXE MINIMAL_IMPORTS_EXE [RUNS]

1. The executable's size (target: at most 20 KiB).
2. The wall time of a full silent uninstall under Wine, against a program that
   only returns 0, each started the same way in the same Windows 98 prefix
   with Windows kept up between runs; the ratio of the medians over RUNS
   alternating runs (target: at most 1.05). The product is installed again
   before each uninstall, outside the timing. A third program, which only
   returns 0 but imports from the same DLLs, shows how much of the difference
   is the loading of USER32 and ADVAPI32.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "winelab"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "fixture"))
import winelab  # noqa: E402
import product  # noqa: E402


def timed(lab, path):
    start = time.perf_counter()
    rc = lab.wine(path, "/M", check=False).returncode
    elapsed = time.perf_counter() - start
    if rc != 0:
        sys.exit("bench: %s exited %d" % (path, rc))
    return elapsed


def main(exe, minimal, minimal_imports, runs=15):
    print("Wine route: %s, %s" % (winelab.enter(), subprocess.run(
        ["wine", "--version"], stdout=subprocess.PIPE).stdout.decode().strip()))
    size = os.path.getsize(exe)
    print("size: %d bytes (%.1f KiB; target at most 20 KiB)" % (size, size / 1024))

    winelab.require_tools(["wine", "wineboot", "wineserver"])
    with tempfile.TemporaryDirectory() as work:
        lab = winelab.Prefix(work)
        lab.create()
        lab.write(r"C:\minimal.exe", open(minimal, "rb").read())
        lab.write(r"C:\imports.exe", open(minimal_imports, "rb").read())
        uninstall, baseline, imports = [], [], []
        with lab.session():
            # One start of Windows for all runs; a first run of each warms it up.
            product.install(lab, exe, wait=False)
            for warm_up in (r"C:\minimal.exe", r"C:\imports.exe", product.UNINSTALLER):
                timed(lab, warm_up)
            for _ in range(int(runs)):
                product.install(lab, exe, wait=False)
                baseline.append(timed(lab, r"C:\minimal.exe"))
                imports.append(timed(lab, r"C:\imports.exe"))
                uninstall.append(timed(lab, product.UNINSTALLER))
                if lab.exists(r"C:\windows\system32\RIRUREVE.SYS"):
                    sys.exit("bench: the uninstall did not run")
    u, b, i = (statistics.median(t) for t in (uninstall, baseline, imports))
    print("wall time under Wine: uninstall %.1f ms, minimal program %.1f ms, ratio %.3f "
          "(median of %d; target at most 1.05)" % (u * 1000, b * 1000, u / b, len(uninstall)))
    print("  of which loading USER32 and ADVAPI32: minimal program with the same "
          "imports %.1f ms, ratio %.3f" % (i * 1000, i / b))


if __name__ == "__main__":
    if len(sys.argv) not in (4, 5):
        sys.exit(__doc__)
    main(*sys.argv[1:])
