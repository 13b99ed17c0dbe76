#!/usr/bin/env python3
"""Checks that zovovar.exe is a program Windows 98 loads, read with pefile.

usage: pe_check.py EXE [HOST_CALLS]

Machine, subsystem and versions in the headers; the icon group MAINDLG and
its one 32x32 16-colour image; every field of the version block; imports
only from KERNEL32, USER32 and ADVAPI32, each a function that Windows 98
exports (win98-exports.txt beside this file lists them, with where the list
comes from); and code that a 486 runs: no instruction of the Pentium or
later, read from objdump's disassembly. With HOST_CALLS, a program that
prints the name of every call a whole run of the host build records: those
names and the exe's imports must be the same set (but for the questions the
simulator does not record), so that what the host tests see is what the exe
does.
"""
import os
import re
import struct
import subprocess
import sys

import pefile

HERE = os.path.dirname(os.path.abspath(__file__))
RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
STRINGS = {
    "CompanyName": "KOVRA",
    "FileDescription": "KOVRA RAZIZIVU Driver Uninstaller",
    "FileVersion": "2.01",
    "InternalName": "ZOVOVAR",
    "LegalCopyright": "Copyright (C) KOVRA",
    "OriginalFilename": "ZOVOVAR.EXE",
    "ProductName": "RAZIZIVU Driver Uninstaller",
    "ProductVersion": "2.01",
}
problems = []
# Imports that ask and change nothing; the simulator answers them unrecorded.
UNRECORDED = {"IsDBCSLeadByte", "GetACP", "GetOEMCP"}
# Pentium (cpuid, rdtsc, cmpxchg8b, rdmsr, wrmsr), Pentium Pro (cmov, fcmov,
# fcomi, fucomi, sysenter, rdpmc, ud2), MMX and SSE (any mm or xmm register).
BEYOND_486 = re.compile(r"\t(cpuid|rdtsc|cmpxchg8b|rdmsr|wrmsr|cmov\w*|fcmov\w*|fu?comip?"
                        r"|sysenter|sysexit|rdpmc|ud2)\b|%x?mm\d")


def check(what, got, want):
    if got != want:
        problems.append("%s: %r, expected %r" % (what, got, want))


def win98_exports():
    allowed = set()
    for line in open(os.path.join(HERE, "win98-exports.txt"), encoding="utf-8"):
        if line.strip() and not line.startswith("#"):
            dll, name = line.split()
            allowed.add((dll.upper(), name))
    return allowed


def resource(pe, kind, name=None):
    for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if entry.id == kind:
            for item in entry.directory.entries:
                if name is None or (item.name and str(item.name) == name):
                    lang = item.directory.entries[0]
                    return item, pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)
    return None, None


def main(exe, host_calls=None):
    pe = pefile.PE(exe)
    check("machine", pe.FILE_HEADER.Machine, 0x14C)
    check("optional header magic (PE32)", pe.OPTIONAL_HEADER.Magic, 0x10B)
    check("subsystem (Windows GUI)", pe.OPTIONAL_HEADER.Subsystem, 2)
    check("subsystem version", (pe.OPTIONAL_HEADER.MajorSubsystemVersion,
                                pe.OPTIONAL_HEADER.MinorSubsystemVersion), (4, 0))
    check("OS version", (pe.OPTIONAL_HEADER.MajorOperatingSystemVersion,
                         pe.OPTIONAL_HEADER.MinorOperatingSystemVersion), (4, 0))
    check("link timestamp", pe.FILE_HEADER.TimeDateStamp, 0)

    item, group = resource(pe, RT_GROUP_ICON, "MAINDLG")
    if group is None:
        problems.append("no icon group MAINDLG")
    else:
        _, kind, count = struct.unpack_from("<HHH", group)
        check("icon group images", (kind, count), (1, 1))
        w, h, colours, _, planes, bits, size, icon_id = struct.unpack_from("<BBBBHHIH", group, 6)
        check("icon group entry", (w, h, colours, bits), (32, 32, 16, 4))
        icons = [e for e in pe.DIRECTORY_ENTRY_RESOURCE.entries if e.id == RT_ICON][0]
        image = [i for i in icons.directory.entries if i.id == icon_id][0].directory.entries[0]
        header = pe.get_data(image.data.struct.OffsetToData, 40)
        _, iw, ih, _, ibits = struct.unpack_from("<IiiHH", header)
        check("icon image", (iw, ih, ibits), (32, 64, 4))  # height counts the mask too

    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    fixed = pe.VS_FIXEDFILEINFO[0]
    check("fixed file version", (fixed.FileVersionMS, fixed.FileVersionLS), (0, 2))
    check("fixed product version", (fixed.ProductVersionMS, fixed.ProductVersionLS), (0, 2))
    check("file flags", (fixed.FileFlags, fixed.FileFlagsMask), (0x20, 0x3F))
    check("file OS", fixed.FileOS, 0x40004)
    check("file type", (fixed.FileType, fixed.FileSubtype), (1, 0))
    strings, translations = {}, []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                check("string table", table.LangID, b"040904b0")
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        if info.Key == b"VarFileInfo":
            for var in info.Var:
                translations.append(var.entry.get(b"Translation"))
    check("version strings", strings, STRINGS)
    check("translation", translations, ["0x0409 0x04b0"])

    allowed = win98_exports()
    dlls, imported = set(), set()
    for dll in pe.DIRECTORY_ENTRY_IMPORT:
        name = dll.dll.decode().upper()
        dlls.add(name.replace(".DLL", ""))
        for imp in dll.imports:
            func = imp.name.decode() if imp.name else "#%d" % imp.ordinal
            imported.add(func)
            if (name.replace(".DLL", ""), func) not in allowed:
                problems.append("import %s!%s is not exported by Windows 98" % (name, func))
            if func.endswith("W"):
                problems.append("import %s!%s is a stub that fails on Windows 9x" % (name, func))
    if not dlls <= {"KERNEL32", "USER32", "ADVAPI32"}:
        problems.append("imports from %s" % sorted(dlls))

    if host_calls:
        recorded = set(subprocess.run([host_calls], stdout=subprocess.PIPE, check=True)
                       .stdout.decode().split())
        for name in sorted(recorded - imported):
            problems.append("the host build records %s, which the exe does not import" % name)
        for name in sorted(imported - recorded - UNRECORDED):
            problems.append("the exe imports %s, which no host run records" % name)

    code = subprocess.run(["i686-w64-mingw32-objdump", "-d", "-j", ".text", "--no-show-raw-insn", exe],
                          stdout=subprocess.PIPE, check=True).stdout.decode()
    for line in code.splitlines():
        if BEYOND_486.search(line):
            problems.append("not for a 486: " + line.strip())

    for p in problems:
        print("FAIL: " + p)
    print("%d problems in %s" % (len(problems), exe))
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
