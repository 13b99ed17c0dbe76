#!/usr/bin/env python3
"""Whole runs compared: installed machines drawn from a seed, each uninstalled
once by the host build over the simulator and once by the real zovovar.exe
under Wine (Windows 98 mode). What each leaves, every file with its bytes
(read-only or not), every key and value of the product's and its neighbours'
branches, the script and the RunOnce value, must be the same; an item drawn
where neither side looks fails the run.

usage: whole_runs.py HOST_CONTRACT CONTRACT_EXE ZOVOVAR_EXE WORKDIR [--machines N] [--seed S]

A machine draws "Path", "Folder Name" and the ID (text of the shapes NAMES
and IDS hold, now and then another type or none), which of the product's
files are there, read-only or gone, and the ANSI code page. The first
machines of a run hold the install folders of SHAPES, one each, by
construction: a run that lacks one, or ends one otherwise than it says,
fails, naming it. Both sides set it up through the same calls
(tests/contract/stage_*.cpp); all machines run in one Wine session, one
process per code page.
"""
import argparse
import os
import random
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "winelab"))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fixture"))
import installed  # noqa: E402
import winelab  # noqa: E402
import product  # noqa: E402
import compare  # noqa: E402
import next_start  # noqa: E402

REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD = 1, 2, 3, 4
# The values a machine draws, as the description names them (key, value name);
# the rest of the installed machine is as described.
INSTALL, START_MENU, ESDI = ((i.path.encode("latin-1"), i.name.encode("latin-1"))
                             for i in (installed.role(installed.read(), r)
                                       for r in ("install folder", "start menu folder", "esdi entry")))
DRAWN = {INSTALL, START_MENU, ESDI}
# What both sides dump of a machine, each with all below it: its folder
# (stage.h's MACHINE_FOLDER), the files, and the keys of installed.dumped.
MACHINE = b"C:\\ZM"
SYSTEM_FILES, KEY_ROOTS = installed.dumped(installed.read(sections=installed.SECTIONS + (installed.LEFT,)))
FILE_ROOTS = [MACHINE.decode()] + SYSTEM_FILES
# No name ends in a space here: Wine makes such a name on its disk (say for
# CreateDirectoryA("C:\\ZM\\X \\")) where Windows drops the space, and then
# cannot remove it; the contract's cases hold those paths.
NAMES = [b"Prog", b"Picaro 2400R", b"a.b", b"X.", b"..\\Prog", b".", b"/Y", b"100%",
         b"\xc9t\xe9s", b"\xe9T\xc9S", b"Q"]
DOUBLE_BYTE = {1252: [], 932: [b"\x95\x5c", b"\x83\x7c", b"\x82\x60", b"\x82\x81"],
               936: [b"\x81\x5c", b"\xa5\x5c", b"\xa3\xc1", b"\xa3\xe1"], 950: [b"\xa5\x5c", b"\xa2\x7c"]}
IDS = [b"KOVRA___PICARO_2400R", b"kovra___picaro_2400r", b"OTHER_DISK", b"KOVRA___PICARO_2400R\\0000",
       b"\\KOVRA___PICARO_2400R", b"KOVRA___PICARO_2400R\\", b"", b"\\", b"X\\\\Y", b"\xc9s"]
CODE_PAGES = [1252, 932, 936, 950]
SCRIPT_NAME = product.SCRIPT.rpartition("\\")[2]
# The install folders every run holds, its first machines: (what, what its end
# holds, code pages, a name below MACHINE from a Random and a code page, what
# "Path" adds to it).
LONGEST = min(next_start.longest_folders())
ENDS_5C = lambda cp: [c for c in DOUBLE_BYTE[cp] if c.endswith(b"\\")]
PLAIN = lambda n: lambda r, cp: b"P" * (n - len(MACHINE) - 1)
SHAPES = [("a folder of %d bytes, the longest still scheduled" % LONGEST, "scheduled", CODE_PAGES, PLAIN(LONGEST),
           [b"", b"\\"]),
          ("a plain folder of %d bytes, one more" % (LONGEST + 1), "not scheduled", CODE_PAGES, PLAIN(LONGEST + 1),
           [b"", b"\\"]),
          # "Path" ends in the character, whose 0x5C a cut by bytes would take.
          ("a double-byte folder whose last character's second byte is 0x5C", "scheduled",
           [cp for cp in CODE_PAGES if ENDS_5C(cp)], lambda r, cp: b"Prog" + r.choice(ENDS_5C(cp)), [b""]),
          ("an accented folder under code page 1252", "not scheduled", [1252],
           lambda r, cp: r.choice([n for n in NAMES if max(n) >= 0x80]), [b"", b"\\"])]


def text_value(key, name, text, r, plain=False):
    """A value drawn around text: mostly text with its zero, now and then
    bytes after the zero, another type, or no value at all; or plain text."""
    kind = 1 if plain else r.random()
    if kind < 0.05:
        return []
    data, type_ = text + b"\0", REG_SZ
    if kind < 0.15:
        data += b"junk\\\0"
    elif kind < 0.22:
        type_ = REG_EXPAND_SZ
    elif kind < 0.27:
        type_ = REG_BINARY
    elif kind < 0.30:
        data, type_ = data[:4].ljust(4, b"\0"), REG_DWORD
    return [b"v %s\t%s\t%d\t%s" % (key, name, type_, data.hex().encode())]


def folder_name(r, code_page, count):
    names = NAMES + DOUBLE_BYTE[code_page]
    return b"\\".join(r.choice(names) for _ in range(count))


def described(folder):
    """The installed machine with its install folder at folder, split for the
    draw: the items it keeps as they are (the neighbours and the product's
    keys, as lines), the product's files in the system folders, the install
    folder's files and the Start-menu shortcuts ((name, content) each). The
    RunOnce key is read alone, and the rest of the Start menu and the current
    folder lie outside the machine's folders."""
    text = lambda s: s.encode("latin-1")
    folders = dict(installed.WINE_FOLDERS)
    folders["%INSTALL%"] = folder.decode("latin-1")
    items = installed.placed(installed.read(), folders)
    start = installed.role(items, "start menu folder").text
    kept, system, install, shortcuts = [], [], [], []
    for i in items:
        if i.kind == "file":
            name = (text(i.path.rsplit("\\", 1)[1]), text(i.text))
            if installed.is_below(i.path, folder.decode("latin-1")):
                install.append(name)
            elif installed.is_below(i.path, start):
                shortcuts.append(name)
            elif i.owner == "product":
                system.append((text(i.path), text(i.text)))
            elif "\\start menu\\" not in i.path.lower():
                kept.append(b"f %s\t%s" % (text(i.path), text(i.text)))
        elif i.kind == "key":
            kept.append(b"k " + text(i.path))
        elif i.kind == "value" and (text(i.path), text(i.name)) not in DRAWN \
                and not installed.is_below(i.path, product.RUNONCE_KEY):
            kept.append(b"v %s\t%s\t%d\t%s" % (text(i.path), text(i.name), REG_SZ,
                                                (text(i.text) + b"\0").hex().encode()))
    return kept, system, install, shortcuts


def draw(seed, shape=None):
    """One installed machine: (code page, its items as the contract reads
    them); with a shape, its install folder of that shape, all its files there."""
    r = random.Random(seed)
    cp = r.choice(shape[2] if shape else CODE_PAGES)
    folder = MACHINE + b"\\" + (shape[3](r, cp) if shape else folder_name(r, cp, r.randint(1, 3)))
    items, system, install, shortcuts = described(folder)

    def file(path, text, odds=(0.75, 0.9)):  # there, read-only, or gone
        x = r.random()
        if x < odds[1]:
            items.append(b"%s %s\t%s" % (b"f" if x < odds[0] else b"r", path, text))

    for path, text in system:
        file(path, text)
    for name, text in install:
        file(folder + b"\\" + name, text, (0.75, 1 if shape else 0.9))
    items += text_value(*INSTALL, folder + r.choice(shape[4] if shape else [b"\\", b"\\", b"", b"\\\\"]), r, bool(shape))
    parent = MACHINE + b"\\Start\\" + r.choice([b"KOVRA Camera", b"kovra camera", b"KOVRA Camera.", b"Other"])
    start = parent + b"\\" + folder_name(r, cp, 1)
    for name, text in shortcuts:
        file(start + b"\\" + name, text)
    if r.random() < 0.3:
        items.append(b"f %s\\Notepad.lnk\tshortcut" % parent)
    items += text_value(*START_MENU, start + r.choice([b"", b"", b"\\"]), r)
    id_ = r.choice(IDS + DOUBLE_BYTE[cp])
    items += text_value(*ESDI, id_, r)
    if id_.strip(b"\\"):
        items.append(b"k Enum\\ESDI\\" + id_ + b"\\0000")
    return cp, items


def uncompared(items):
    """The items of a drawn machine that lie under nothing both sides dump."""
    path = lambda item: item[2:].split(b"\t")[0].decode("latin-1")  # a file's, a key's or a value's key
    return [i.decode("latin-1") for i in items
            if not any(installed.is_below(path(i), r) for r in (FILE_ROOTS if i[:1] in b"fr" else KEY_ROOTS))]


def scheduled(result):
    """What a machine's end holds of the uninstaller's deletion."""
    after = result[1] if result else []
    files = [line.partition(" [")[0].rpartition("\\")[2] for line in after if line.split()[1] == "file"]
    held = (SCRIPT_NAME in files, any(line.split()[1] == "runonce" for line in after))
    return {(True, True): "scheduled", (False, False): "not scheduled"}.get(held, "a script or a RunOnce value alone")


def machines_file(machines):
    return b"".join(b"m %s\n%s\n" % (name.encode(), b"\n".join(items)) for name, items in machines)


def run(host, exe, product, work, count, seed):
    names = ["machine%d" % (seed + i) for i in range(count)]
    shaped = dict(zip(names, SHAPES))  # the first machines, one shape each
    drawn = [(n, draw(seed + i, shaped.get(n))) for i, n in enumerate(names)]
    report = ["%s: %s lies under nothing both sides dump" % (name, item)
              for name, (_, items) in drawn for item in uncompared(items)]
    by_page = {cp: [(n, items) for n, (c, items) in drawn if c == cp] for cp in CODE_PAGES}
    os.makedirs(work, exist_ok=True)
    sim, wine = {}, {}
    started = time.time()
    for cp, machines in by_page.items():
        path = os.path.join(work, "cp%d.txt" % cp)
        with open(path, "wb") as f:
            f.write(machines_file(machines))
        out = compare.subprocess.run([host, "--cp", str(cp), "--machines", path], check=True,
                                     stdout=compare.subprocess.PIPE, timeout=300).stdout
        sim.update(compare.parse(out.decode("latin-1"))[0])
        report += compare.unescaped("whole runs", "the simulator", out.decode("latin-1"))
    host_time = time.time() - started

    lab = winelab.Prefix(os.path.join(work, "wine"), "win98")
    lab.create()
    lab.write(r"C:\contract\machines.exe", open(exe, "rb").read())
    lab.write(r"C:\contract\zovovar.exe", open(product, "rb").read())
    for cp, machines in by_page.items():
        lab.write(r"C:\contract\cp%d.txt" % cp, machines_file(machines))
    started = time.time()
    with lab.session():
        for cp, machines in by_page.items():
            if not machines:
                continue
            locale = compare.LOCALES[cp]
            env = dict(lab.env, LANG=locale, LC_ALL=locale)
            done = lab.wine(r"C:\contract\machines.exe", "--machines", r"C:\contract\cp%d.txt" % cp,
                            env=env, timeout=60 + 10 * len(machines))
            wine.update(compare.parse(done.stdout.decode("latin-1"))[0])
            report += compare.unescaped("whole runs", "Wine", done.stdout.decode("latin-1"))
    wine_time = time.time() - started

    for name, (cp, items) in drawn:
        if sim.get(name) != wine.get(name):
            report.append("%s (code page %d) ends differently\n  machine:   %s\n  simulator: %s\n  Wine:      %s"
                          % (name, cp, b"\n             ".join(items).decode("latin-1"),
                             compare.describe(sim.get(name)), compare.describe(wine.get(name))))
    for side, out in (("simulator", sim), ("Wine", wine)):
        if out.get("end") != (["done"], []):
            report.append("whole runs: the %s's output stops before its end" % side)
    report += ["whole runs: no machine holds %s" % s[0] for s in SHAPES if s not in shaped.values()]
    report += ["%s (%s) ended %s, its shape %s" % (n, s[0], scheduled(sim.get(n)), s[1])
               for n, s in shaped.items() if scheduled(sim.get(n)) != s[1]]
    print("whole runs: %d machines from seed %d, %d differ; simulator %.1f s, Wine session %.1f s "
          "(%.2f s a machine)" % (count, seed, len([x for x in report if "ends differently" in x]),
                                  host_time, wine_time, wine_time / max(count, 1)))
    print("".join("  %s: %s, %s\n" % (n, s[0], s[1]) for n, s in shaped.items()), end="")
    return report


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for arg in ("host", "exe", "product", "work"):
        parser.add_argument(arg)
    parser.add_argument("--machines", type=int, default=25)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    print("route: %s" % winelab.enter(), flush=True)
    winelab.require_tools(["wine", "wineboot", "wineserver"])
    report = run(args.host, args.exe, args.product, args.work, args.machines, args.seed)
    if report:
        raise winelab.Failed("\n".join(report))


if __name__ == "__main__":
    sys.exit(winelab.report(main))
