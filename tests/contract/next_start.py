#!/usr/bin/env python3
"""Makes next_start.h, the figures of next_start.txt beside this file, and
the longest install folders they let through, for the host build's harm
checker.

usage: next_start.py OUT.h
"""
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixture"))
import installed  # noqa: E402

RECORD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "next_start.txt")


class RecordError(Exception):
    pass


def figures(path=RECORD):
    """{fact: figure} for the rows that give a figure."""
    with open(path, encoding="utf-8") as f:
        return {fact: figure for fact, figure in read(f.read().splitlines(), path).items() if figure is not None}


def read(lines, path):
    """{fact: figure, or None for '-'} of each row."""
    out = {}
    for number, line in enumerate(lines, 1):
        if not line.strip() or line.startswith("#"):
            continue
        fields = [field.strip() for field in line.split("|", 2)]
        if len(fields) != 3 or not fields[2]:
            raise RecordError("%s:%d: not 'fact | figure, or - | source'" % (path, number))
        fact, figure, _ = fields
        if fact in out:
            raise RecordError("%s:%d: %s stands twice" % (path, number, fact))
        if figure != "-" and not figure.isdigit():
            raise RecordError("%s:%d: %r is no figure" % (path, number, figure))
        out[fact] = None if figure == "-" else int(figure)
    return out


def longest_folders():
    """The longest install folder, in bytes, whose script lines COMMAND.COM
    reads whole, and the longest whose RunOnce command's tail it reads whole:
    the record's figures less what the described script's longest line and
    the command's tail (all after its first word) add to the folder."""
    limits, left = figures(), installed.left_behind()
    script, command = (installed.fill_script_folder(installed.role(left, r).text, "") for r in ("script", "runonce"))
    return (limits["batch_line_bytes"] - max(len(line) for line in script.split("\r\n")),
            limits["command_tail_bytes"] - len(command[command.index(" "):]))


def main(out):
    lines = ["// Made by tests/contract/next_start.py from next_start.txt and the description: do not edit.",
             "#ifndef ZOVOVAR_NEXT_START_H", "#define ZOVOVAR_NEXT_START_H"]
    lines += ["#define NEXT_START_%s %du" % (fact.upper(), figure) for fact, figure in figures().items()]
    lines += ["#define NEXT_START_LONGEST_FOLDER_FOR_%s %du" % f for f in zip(("LINES", "TAIL"), longest_folders())]
    lines += ["#endif", ""]
    with open(out, "w", encoding="ascii") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    try:
        main(sys.argv[1])
    except (RecordError, installed.DescriptionError) as e:
        sys.exit("next_start.py: %s" % e)
