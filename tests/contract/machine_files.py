#!/usr/bin/env python3
"""Writes machine_files.h for the whole runs (stage.h): MACHINE_FILES, the
described machine's files in the system folders, the product's and the
neighbours', as Wine places them. The rest of a drawn machine lies below
MACHINE_FOLDER.

usage: machine_files.py OUT
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "winelab"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixture"))
import installed  # noqa: E402
import product  # noqa: E402


def system_files(items):
    folders = {f: product.FOLDERS[f] for f in ("%SYSTEM%", "%WINDOWS%")}
    return [i.path for i in installed.placed(items, folders)
            if i.kind == "file" and "\\start menu\\" not in i.path.lower()]


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    try:
        files = system_files(installed.read())
    except (OSError, installed.DescriptionError) as e:
        print("machine_files.py: %s" % e, file=sys.stderr)
        return 1
    quoted = ['"%s"' % f.replace("\\", "\\\\") for f in files]
    with open(argv[1], "w", encoding="ascii") as f:
        f.write("// Made from installed_machine.txt by machine_files.py: edit that, not this.\n"
                "#define MACHINE_FILES %s\n" % ", ".join(quoted))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
