"""The installed machine, described once: fixture/installed_machine.txt holds
the camera's driver package as its installer leaves it and the neighbours
that must stay. This module reads it, refusing what no Windows 98 machine
could hold, and gives it to each machine that is made from it: a Wine prefix
(a REGEDIT4 file and files), the host tests' simulator (a C++ table made at
build time: --cpp OUT) and the whole runs.

It needs nothing of Wine: the host build runs it too.
"""
import collections
import os
import sys

DESCRIPTION = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixture", "installed_machine.txt")
SECTIONS = ("product", "uninstaller", "neighbours")
FOLDERS = ("%SYSTEM%", "%WINDOWS%", "%INSTALL%", "%CURRENT%")
# Windows 95/98/ME's registry limits (the SDK's "Registry Element Size
# Limits"): a key name or a value name of 255 characters, a value of 16,300
# bytes, and 65,535 bytes for all the values of one key.
MAX_NAME, MAX_VALUE, MAX_VALUES_OF_KEY = 255, 16300, 65535

# owner: a section; kind: file, folder, key or value; path: a file's or
# folder's path, or a key; name and text: a value's, or a file's content.
Item = collections.namedtuple("Item", "owner kind path name text")


class DescriptionError(ValueError):
    """A line of the description that no machine can be made from."""

    def __init__(self, path, number, reason):
        super().__init__("%s:%d: %s" % (path, number, reason))


def read(path=DESCRIPTION):
    """Every item of the description, in its order."""
    items, seen, sizes = [], {}, collections.Counter()
    owner = None
    with open(path, encoding="utf-8") as f:
        lines = list(f)
    for number, raw in enumerate(lines, 1):
        line = raw.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        if line.startswith("["):
            owner = line.strip("[]")
            if owner not in SECTIONS:
                raise DescriptionError(path, number, "no such section %r (%s)" % (owner, ", ".join(SECTIONS)))
            continue
        if owner is None:
            raise DescriptionError(path, number, "an item before the first section")
        item = _parse(line, owner, path, number)
        where = (item.kind == "value", item.path.lower(), (item.name or "").lower())
        if where in seen:
            raise DescriptionError(path, number, "named twice (first on line %d)" % seen[where])
        seen[where] = number
        if item.kind == "value":
            sizes[item.path.lower()] += len(item.name) + len(item.text) + 1
            if sizes[item.path.lower()] > MAX_VALUES_OF_KEY:
                raise DescriptionError(path, number, "the values of %s pass Windows 98's %d bytes a key"
                                       % (item.path, MAX_VALUES_OF_KEY))
        items.append(item)
    return items


def _parse(line, owner, path, number):
    kind, _, rest = line.partition(" ")
    name = text = None
    if kind == "file":
        where, sep, text = rest.partition(" = ")
    elif kind in ("folder", "key"):
        where, sep = rest, "="
    elif kind == "value":
        where, sep, rest = rest.partition(" : ")
        name, sep2, text = rest.partition(" = ")
        sep = sep and sep2
        name = "" if name == "@" else name
    else:
        raise DescriptionError(path, number, "no such item %r (file, folder, key, value)" % kind)
    if not sep or not where:
        raise DescriptionError(path, number, "not of the form of a %s line" % kind)
    if kind in ("file", "folder") and not where.startswith(FOLDERS):
        raise DescriptionError(path, number, "a path begins with one of %s" % ", ".join(FOLDERS))
    if kind in ("key", "value"):
        parts = where.split("\\")
        if "" in parts:
            raise DescriptionError(path, number, "a key path with an empty name: %s" % where)
        if any(len(p) > MAX_NAME for p in parts):
            raise DescriptionError(path, number, "a key name over Windows 98's %d characters" % MAX_NAME)
    if kind == "value":
        if len(name) > MAX_NAME:
            raise DescriptionError(path, number, "a value name over Windows 98's %d characters" % MAX_NAME)
        if len(text) + 1 > MAX_VALUE:
            raise DescriptionError(path, number, "a value over Windows 98's %d bytes" % MAX_VALUE)
    if any(ord(c) < 0x20 for c in where + (name or "") + (text or "")):
        raise DescriptionError(path, number, "a control character")
    return Item(owner, kind, where, name, text)


def placed(items, folders):
    """The items with their folders placed: folders maps each of FOLDERS to
    a path without a trailing backslash (a folder left out leaves its items
    out)."""
    def place(text):
        for folder, here in folders.items():
            text = text.replace(folder, here)
        return text

    out = []
    for item in items:
        if item.kind in ("file", "folder") and not any(item.path.startswith(f) for f in folders):
            continue
        out.append(item._replace(path=place(item.path), text=place(item.text) if item.text else item.text))
    return out


def product_roots(items):
    """The paths of the product's items, each with everything below it:
    ('file'|'folder'|'key', lower-case path)."""
    roots = set()
    for item in items:
        if item.owner == "product":
            roots.add(("key" if item.kind == "value" else item.kind, item.path.lower()))
    return roots


def is_below(path, root):
    path, root = path.lower(), root.lower()
    return path == root or path.startswith(root + "\\")


def regedit4(items):
    """The keys and values as a REGEDIT4 file, for regedit."""
    keys = collections.OrderedDict()
    for item in items:
        if item.kind == "key":
            keys.setdefault(item.path, [])
        elif item.kind == "value":
            keys.setdefault(item.path, []).append(item)
    out = ["REGEDIT4", ""]
    for key, values in keys.items():
        out.append("[HKEY_LOCAL_MACHINE\\%s]" % key)
        for v in values:
            text = '"%s"' % v.text.replace("\\", "\\\\").replace('"', '\\"')
            out.append("%s=%s" % ('"%s"' % v.name if v.name else "@", text))
        out.append("")
    return "\n".join(out)


def _c(text):
    return '"%s"' % "".join(c if 0x20 <= ord(c) < 0x7F and c not in '"\\?' else "\\%03o" % ord(c)
                            for c in text)


def cpp_table(items):
    """One initialiser a line: {owner, kind, path, name, text}."""
    lines = ["// Made from %s by installed.py: edit that, not this." % os.path.basename(DESCRIPTION)]
    for item in items:
        lines.append("{%s, %s, %s, %s, %s}," % (_c(item.owner), _c(item.kind), _c(item.path),
                                                 _c(item.name or ""), _c(item.text or "")))
    return "\n".join(lines) + "\n"


def main(argv):
    if len(argv) != 3 or argv[1] != "--cpp":
        print("usage: installed.py --cpp OUT", file=sys.stderr)
        return 2
    try:
        table = cpp_table(read())
    except (OSError, DescriptionError) as e:
        print("installed.py: %s" % e, file=sys.stderr)
        return 1
    with open(argv[2], "w", encoding="ascii") as f:
        f.write(table)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
