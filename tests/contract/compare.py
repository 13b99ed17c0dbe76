#!/usr/bin/env python3
"""The platform contract: its cases run over the simulator (the host build's
contract program) and over Windows itself (contract.exe under Wine), mode by
mode, and compared line by line, and each against what Windows does on
record (windows.txt). Any difference where windows.txt does not say Wine
departs fails, and so does a departure listed there that no longer differs.

usage: compare.py HOST_CONTRACT CONTRACT_EXE WORKDIR [MODE ...]
       compare.py HOST_CONTRACT --record      (the simulator against the record alone, no Wine)

The modes (MODES, which --record holds to every edition the record speaks of
and every double-byte code page the simulator reads) run in one Wine session:
each a copy of contract.exe whose version Wine's AppDefaults set, started
with the locale of its code page.
"""
import fnmatch
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "winelab"))
import winelab  # noqa: E402
import next_start  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
LOCALES = {1252: "C.UTF-8", 932: "ja_JP.UTF-8", 936: "zh_CN.UTF-8", 949: "ko_KR.UTF-8",
           950: "zh_TW.UTF-8"}
# Mode: (Wine's version, the simulator's switches, code page).
MODES = {
    "win95": ("win95", [], 1252),
    "win98": ("win98", [], 1252),
    "winme": ("winme", [], 1252),
    "nt": ("win2k", ["--nt"], 1252),
    "win98-932": ("win98", [], 932),
    "win98-936": ("win98", [], 936),
    "win98-949": ("win98", [], 949),
    "win98-950": ("win98", [], 950),
}


def parse(text):
    """{case: (results in order, what was left behind, sorted)} and the header lines."""
    cases, header = {}, []
    for line in text.splitlines():
        case, sep, rest = line.partition(": ")
        if not sep:
            header.append(line)
            continue
        results, after = cases.setdefault(case, ([], []))
        (after if rest.startswith("after ") else results).append(rest)
    return {c: (r, sorted(a)) for c, (r, a) in cases.items()}, header


DEPARTS = "Wine departs"
FIELDS = "cases | modes | expected, silent or %s: OUTPUT | source" % DEPARTS
BARE = "%s with no output it holds instead" % DEPARTS
FAMILIES = {"9x": "win95,win98,winme,win98-*", "nt": "nt", "*": "*"}


def windows(path=os.path.join(HERE, "windows.txt")):
    """What windows.txt says: the record, [(case patterns, family, expected or
    None for silent, source)], and where Wine departs from it, [(case patterns,
    mode patterns, [what Wine's output holds instead, each a choice], why)]."""
    with open(path, encoding="utf-8") as f:
        return read_record(f.read().splitlines())


def read_record(text):
    lines = []
    for number, line in enumerate(text, 1):
        if line.startswith(" ") and lines:
            lines[-1][1] += " " + line.strip()
        elif line.strip() and not line.startswith("#"):
            lines.append([number, line.strip()])
    record, departures = [], []
    for number, line in lines:
        parts = [p.strip() for p in line.split(" | ")]
        if len(parts) != 4 or not all(parts):
            raise winelab.Failed("windows.txt:%d: %s: %r" % (number, FIELDS, line))
        cases, modes, what, source = parts
        if what == DEPARTS:
            raise winelab.Failed("windows.txt:%d: %s: %r" % (number, BARE, line))
        if what.startswith(DEPARTS + ": "):
            departures.append((cases, ",".join(FAMILIES.get(m, m) for m in modes.split(",")),
                               what[len(DEPARTS) + 2:].split(" or "), source))
        elif modes in FAMILIES:
            record.append((cases, modes, None if what == "silent" else what, source))
        else:
            raise winelab.Failed("windows.txt:%d: the record speaks of 9x, nt or *, not %r" % (number, modes))
    return record, departures


def family(mode):
    return "nt" if mode == "nt" else "9x"


def holds(expected, seen):
    """Whether expected stands in seen as whole words, one after the other:
    "= 2" holds in "= 2 handle written", never in "= 234" or "= 20". The "|"
    between output lines is no word; " ... " lets words stand further on, and
    a last "$" is the output's end."""
    words, at = [w for w in seen.split() if w != "|"] + ["$"], 0
    for phrase in expected.split(" ... "):
        want = phrase.split()
        at = next((i + len(want) for i in range(at, len(words) - len(want) + 1) if words[i:i + len(want)] == want),
                  None)
        if at is None:
            return False
    return True


# The matching itself, held to what it must do on every run of --record:
# (expected, seen, holds); then (case pattern, mode pattern, case, mode, matches).
HOLDS = [("= 2", "= 2", True), ("= 2", "= 2 handle written", True), ("handle written", "= 2 handle written", True),
         ("= 2", "= 234", False), ("= 2", "= 20 handle written", False), ("= 16", "= 161 handle written", False),
         ("andle written", "= 2 handle written", False), ("= 2 written", "= 2 handle written", False),
         ("= 1 after folder C:\\ZC", "= 1 | after folder C:\\ZC", True), ("= 2 ... written", "= 2 handle written", True),
         ("written ... = 2", "= 2 handle written", False), ("= 2 $", "= 2", True), ("= 2 $", "= 2 handle", False)]
PATTERNS = [("open.*,query.one", "9x", "query.one", "win98-932", True), ("open.*", "9x", "open.x", "nt", False),
            ("open.*", "*", "open.x", "nt", True), ("open.*", "9x", "opener", "win98", False),
            ("query.one", "9x", "query.one_short", "win98", False),
            ("create.*", "win98-9*", "create.a", "win98-949", True), ("create.*", "win98-9*", "create.a", "win98", False)]
# windows.txt's reading: (a line, what it must be refused with, or None).
LINES = [("a | 9x | = 2", FIELDS), ("a |  | = 2 | s", FIELDS), ("a | 9x | Wine departs | s", BARE),
         ("a | 9x | = 2 | s", None)]
# next_start.txt's reading: (its lines, what they are refused with, or None).
NEXT_START = [(["a | 1"], "n:1: not 'fact | figure, or - | source'"), (["a | - | s", "a | - | t"], "n:2: a stands twice"),
              (["a | x | s"], "n:1: 'x' is no figure"), (["# c", "a | 127 | s", "b | - | t"], None)]
# A side's output against record lines for x and a departure: (side, mode, output, problems).
DEPARTED = [("x", "9x", "= 2", "src"), ("x", "nt", "= 2", "src")], [("x", "win98", ["= 161"], "why")]
DEPARTS_FROM = "win98 x: %s departs from the record\n  expected: = 2\n  seen:     %s\n  source:   src"
SIDES = [("Wine", "win98", "x: = 161 handle", []), ("Wine", "win98", "x: = 5", [DEPARTS_FROM % ("Wine", "= 5")]),
         ("the simulator", "win98", "x: = 161 handle", [DEPARTS_FROM % ("the simulator", "= 161 handle")]),
         ("the simulator", "win98", "x: = 2", []),
         ("Wine", "win98", "x: = 2 \xe9", ["win98: Wine's output holds the byte 0xE9 outside its escaping"]),
         ("the simulator", "nt", "x: = 2",
          ["nt: the simulator ran another mode: ['platform 9x cp 1252'], not 'platform nt cp 1252'"])]


def refusal(read, lines):
    """What a record's reader says of lines it refuses (or fails on), or None."""
    try:
        read(lines)
    except (winelab.Failed, next_start.RecordError, ValueError) as e:
        return str(e)
    return None


def matching_problems():
    """Report lines for each row above that the matching or the reading gets wrong."""
    report = ["holds(%r, %r) is not %s" % row for row in HOLDS if holds(row[0], row[1]) != row[2]]
    for cases, modes, case, mode, want in PATTERNS:  # a record line's family, or a departure's modes
        found = (record_for([(cases, modes, "x", "source")], case, mode) is not None if modes in FAMILIES
                 else matches((cases, modes), case, mode))
        if found != want:
            report.append("%s | %s does not %s %s in %s" % (cases, modes, "match" if want else "miss", case, mode))
    for line, refused in LINES:
        said = refusal(read_record, [line])
        if said != (refused and "windows.txt:1: %s: %r" % (refused, line)):
            report.append("windows.txt's line %r: %r, not %r" % (line, said, refused))
    for lines, refused in NEXT_START:
        said = refusal(lambda text: next_start.read(text, "n"), lines)
        if said != refused:
            report.append("next_start.txt's lines %r: %r, not %r" % (lines, said, refused))
    for side, mode, output, wanted in SIDES:
        found = side_problems(mode, side, "platform 9x cp 1252\n%s\nend: done\n" % output, *DEPARTED, set())
        if found != wanted:
            report.append("%s showing %r: %r, not %r" % (side, output, found, wanted))
    return report


def unrun_modes(header):
    """What MODES lacks: each edition the record's families name, and Windows
    98 in each code page the simulator reads as double-byte (its header's
    second line names them: "double-byte 932 ...")."""
    named = header[1].split() if header[1:] else []
    if named[:1] != ["double-byte"]:
        return ["the simulator names no double-byte code page: %r" % header]
    wanted = [(m, None, "an edition the record speaks of") for f in FAMILIES.values() for m in f.split(",")
              if "*" not in m] + [("win98-" + p, int(p), "a code page the simulator reads as double-byte")
                                  for p in named[1:]]
    return ["%s: the contract does not run this mode, %s" % (m, why) for m, page, why in wanted
            if m not in MODES or page not in (None, MODES[m][2])]


def record_for(entries, case, mode):
    return next((e for e in entries if e[1] in (family(mode), "*")
                 and any(fnmatch.fnmatchcase(case, c) for c in e[0].split(","))), None)


def on_record(entries, case, mode):
    """Whether the record says what Windows does in the case, in the mode's family."""
    entry = record_for(entries, case, mode)
    return entry is not None and entry[2] is not None


def matches(entry, case, mode):
    return any(fnmatch.fnmatchcase(case, c) for c in entry[0].split(",")) and any(
        fnmatch.fnmatchcase(mode, m) for m in entry[1].split(","))


def departs(departures, case, mode, result, used):
    """Whether the first departure naming the case and mode states Wine's result there."""
    entry = next((e for e in departures if matches(e, case, mode)), None)
    if entry is None or not any(holds(out, seen(result)) for out in entry[2]):
        return False
    used.add(entry[:2])
    return True


def seen(result):
    return " | ".join(result[0] + result[1]) if result else ""


def side_problems(mode, side, text, record, departures, used):
    """One side's output against the record and its mode: report lines. Wine,
    and only Wine, may depart where windows.txt says so, as it states."""
    cases, header = parse(text)
    report = unescaped(mode, side, text)
    expected = "platform %s cp %d" % (family(mode), MODES[mode][2])
    if header[:1] != [expected]:
        report.append("%s: %s ran another mode: %r, not %r" % (mode, side, header[:1], expected))
    if cases.get("end") != (["done"], []):
        report.append("%s: %s's output stops before its end" % (mode, side))
    for case, result in sorted(cases.items()):
        entry = record_for(record, case, mode)
        if case == "end" or entry is not None and (entry[2] is None or holds(entry[2], seen(result))):
            continue
        if entry is None:
            report.append("%s %s: no line in windows.txt for %s (what Windows does, and its source)"
                          % (mode, case, family(mode)))
        elif side != "Wine" or not departs(departures, case, mode, result, used):
            report.append("%s %s: %s departs from the record\n  expected: %s\n  seen:     %s\n  source:   %s"
                          % (mode, case, side, entry[2], seen(result), entry[3]))
    return report


def unescaped(what, side, text):
    """Output read as its bytes (latin-1): one outside printable ASCII escaped its escaping."""
    return ["%s: %s's output holds the byte 0x%02X outside its escaping" % (what, side, ord(c))
            for c in sorted(set(text) - set(map(chr, range(0x20, 0x7F))) - set("\r\n"))]


def run_wine(exe, work, modes):
    """Every mode's output from one Wine session: {mode: text}."""
    lab = winelab.Prefix(work, "win98")
    lab.create()
    for mode in modes:
        lab.write(r"C:\contract\%s.exe" % mode, open(exe, "rb").read())
        lab.set_version(mode + ".exe", MODES[mode][0])
    outputs = {}
    with lab.session():
        for mode in modes:
            locale = LOCALES[MODES[mode][2]]
            env = dict(lab.env, LANG=locale, LC_ALL=locale)
            done = lab.wine(r"C:\contract\%s.exe" % mode, env=env, timeout=120)
            outputs[mode] = done.stdout.decode("latin-1")
    return outputs


def run_host(program, mode):
    _, switches, code_page = MODES[mode]
    return subprocess.run([program] + switches + ["--cp", str(code_page)], check=True,
                          stdout=subprocess.PIPE, timeout=60).stdout.decode("latin-1")


def compare(mode, sim_text, wine_text, departures, used, record):
    """The differences of one mode that no departure accepts, and every
    departure from the record, as report lines."""
    report = side_problems(mode, "the simulator", sim_text, record, departures, used)
    report += side_problems(mode, "Wine", wine_text, record, departures, used)
    sim, wine = parse(sim_text)[0], parse(wine_text)[0]
    for case in sorted(set(sim) | set(wine)):
        if sim.get(case) != wine.get(case) and not departs(departures, case, mode, wine.get(case), used):
            report.append("%s %s differs\n  simulator: %s\n  Wine:      %s" % (
                mode, case, describe(sim.get(case)), describe(wine.get(case))))
    return report


def describe(result):
    if result is None:
        return "(no such case)"
    results, after = result
    return "\n             ".join(results + after)


def main(host_program, exe, work, modes):
    modes = modes or list(MODES)
    print("route: %s" % winelab.enter(), flush=True)
    winelab.require_tools(["wine", "wineboot", "wineserver"])
    started = time.time()
    wine = run_wine(exe, work, modes)
    wine_time = time.time() - started
    windows_record, departures = windows()
    used, report = set(), []
    for mode in modes:
        report += compare(mode, run_host(host_program, mode), wine[mode], departures, used, windows_record)
    if set(modes) == set(MODES):
        report += ["windows.txt: Wine departs in %s %s no longer" % e[:2]
                   for e in departures if e[:2] not in used]
    names = [c for c in parse(wine[modes[0]])[0] if c != "end"]
    counts = [sum(1 for c in names if on_record(windows_record, c, m)) for m in ("win98", "nt")]
    neither = sum(1 for c in names if not on_record(windows_record, c, "win98")
                  and not on_record(windows_record, c, "nt"))
    print("contract: %d cases in %d modes; on record: %d for 9x, %d for NT, %d for neither; "
          "%d departures of Wine listed; Wine session %.1f s"
          % (len(names), len(modes), counts[0], counts[1], neither, len(departures), wine_time))
    if report:
        raise winelab.Failed("\n".join(report))


def record_only(host_program):
    """MODES against what it must hold, then the simulator in every mode against
    windows.txt, without Wine."""
    texts = {mode: run_host(host_program, mode) for mode in MODES}
    report = unrun_modes(parse(next(iter(texts.values())))[1])  # the rows below name modes
    if not report:
        record, report = windows()[0], matching_problems()
        report += [p for m, text in texts.items() for p in side_problems(m, "the simulator", text, record, [], set())]
    print("contract: the simulator against the record in %d modes: %d departures" % (len(MODES), len(report)))
    if report:
        raise winelab.Failed("\n".join(report))


if __name__ == "__main__":
    if sys.argv[2:] == ["--record"]:
        sys.exit(winelab.report(record_only, sys.argv[1]))
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    sys.exit(winelab.report(main, sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]))
