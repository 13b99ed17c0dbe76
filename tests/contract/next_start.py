#!/usr/bin/env python3
"""Makes next_start.h, the figures of next_start.txt beside this file, for the
host build's harm checker.

usage: next_start.py OUT.h
"""
import os
import sys

RECORD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "next_start.txt")


class RecordError(Exception):
    pass


def figures(path=RECORD):
    """{fact: figure} for the rows that give a figure."""
    out = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if not line.strip() or line.startswith("#"):
                continue
            fields = [field.strip() for field in line.split("|", 2)]
            if len(fields) != 3 or not fields[2]:
                raise RecordError("%s:%d: not 'fact | figure, or - | source'" % (path, number))
            fact, figure, _ = fields
            if fact in out:
                raise RecordError("%s:%d: %s stands twice" % (path, number, fact))
            if figure != "-":
                if not figure.isdigit():
                    raise RecordError("%s:%d: %r is no figure" % (path, number, figure))
                out[fact] = int(figure)
    return out


def main(out):
    lines = ["// Made by tests/contract/next_start.py from next_start.txt: do not edit.",
             "#ifndef ZOVOVAR_NEXT_START_H", "#define ZOVOVAR_NEXT_START_H"]
    lines += ["#define NEXT_START_%s %du" % (fact.upper(), figure) for fact, figure in figures().items()]
    lines += ["#endif", ""]
    with open(out, "w", encoding="ascii") as f:
        f.write("\n".join(lines))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    try:
        main(sys.argv[1])
    except RecordError as e:
        sys.exit("next_start.py: %s" % e)
