#!/usr/bin/env python3
"""A mutation report: one-line changes of the product's sources, each built
into the host build and run against the host tests; a change that no test
notices is a survivor. A report, not a test: bench/mutants.sh runs it.

usage: mutants.py [--jobs N] [--only PATH_PART] [--timeout S]

Sources: the logic (app/, removal/) and the product's own runtime
(platform/win32/). Changes: relational and logical operators swapped, a
boundary or a constant moved by one (0 and 1 flipped), an increment
reversed, a '!' dropped, an initialiser or a statement (a call, an
assignment) left out. Each mutant is built in a copy of the committed tree,
never in the work tree; it is killed when the host tests or the fuzzers'
corpora fail on it, plainly or, for one that survives that, under
AddressSanitizer and UndefinedBehaviorSanitizer. One that does not compile
is counted apart. One that outlasts the timeout is ended and counted killed
only where the tests had already failed. A survivor must be named in
mutants_equivalent.txt (file, line as written, mutated line, why it cannot
change what the program does on any Windows), or the report fails.

The report cannot say more than is true: the unchanged tree's own tests run
first, plainly, under the sanitizers and with the corpora, and the report
refuses to go on if they fail; an entry names exactly one mutant (a line that
stands more than once in its file is named by which one, FILE#N); and an
entry whose mutant is not made today, or is now killed, fails the report
with its line.
"""
import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
SOURCES = ("app", "removal", "platform/win32")
EQUIVALENT = os.path.join(ROOT, "bench", "mutants_equivalent.txt")
TARGETS = ["host_tests", "fuzz_removal", "fuzz_command_line"]


class MutantsError(Exception):
    pass


# ---- the mutants --------------------------------------------------------------
SWAPS = [("<=", "<"), (">=", ">"), ("==", "!="), ("!=", "=="), ("&&", "||"), ("||", "&&"),
         ("++", "--"), ("--", "++"), ("+=", "-="), ("-=", "+="), ("<", "<="), (">", ">=")]
TOKEN = re.compile(r"<=|>=|==|!=|&&|\|\||\+\+|--|\+=|-=|->|<<|>>|<|>|!(?!=)|\b\d+\b")


def code_spans(line):
    """The parts of a line that are code: not in a string, a character or a comment."""
    spans, i, start = [], 0, 0
    while i < len(line):
        c = line[i]
        if line.startswith("//", i):
            break
        if c in "\"'":
            spans.append((start, i))
            i += 1
            while i < len(line) and line[i] != c:
                i += 2 if line[i] == "\\" else 1
            start = i + 1
        i += 1
    spans.append((start, min(i, len(line))))
    return spans


def mutations(line):
    """(mutated line, what) for each one-place change of the line."""
    stripped = line.strip()
    if not stripped or stripped.startswith(("#", "//", "/*", "*")):
        return []
    out = []
    for start, end in code_spans(line):
        for m in TOKEN.finditer(line, start, end):
            tok, at = m.group(0), m.start()
            if m.end() > end or tok in ("->", "<<", ">>"):
                continue
            if tok == "<" and re.search(r"_cast\s*$", line[:at]) or tok == ">" and re.search(r"_cast<[^<>]*$",
                                                                                               line[:at]):
                continue
            if tok == "!":
                out.append((line[:at] + line[at + 1:], "'!' dropped"))
            elif tok.isdigit():
                n = int(tok)
                for other in sorted({n + 1, n - 1} - {-1}) if n > 1 else [1 - n]:
                    out.append((line[:at] + str(other) + line[m.end():], "%s -> %d" % (tok, other)))
            else:
                for old, new in SWAPS:
                    if tok == old:
                        out.append((line[:at] + new + line[m.end():], "%s -> %s" % (old, new)))
    body = line.split("//")[0].rstrip()
    if re.match(r"^\s*[A-Za-z_]\w*[\s*]+[A-Za-z_]\w*(\[[^\]]*\])?\s=\s*(NULL|\{0\}|0)\s*;$", body):
        out.append((re.sub(r"\s=\s*(NULL|\{0\}|0)\s*;$", ";", body), "initialiser left out"))
    if re.match(r"^\s*([A-Za-z_]\w*(\[[^\]]*\]|\.\w+|->\w+)*\s*([-+]?=[^=]|\(.*\)\s*;$)|(\+\+|--)\w+;$|\w+(\+\+|--);$)",
                body) and not re.match(r"^\s*(return|if|for|while|else|case|switch|typedef|using)\b", body) \
            and body.endswith(";"):
        indent = line[:len(line) - len(line.lstrip())]
        out.append((indent + "; // left out: " + stripped, "statement left out"))
    return out


def all_mutants(tree, only=None):
    mutants = []
    for folder in SOURCES:
        for name in sorted(os.listdir(os.path.join(tree, folder))):
            path = os.path.join(folder, name)
            if not name.endswith(".cpp") or (only and only not in path):
                continue
            with open(os.path.join(tree, path), encoding="utf-8") as f:
                lines = f.read().split("\n")
            for number, line in enumerate(lines, 1):
                for mutated, what in mutations(line):
                    mutants.append((path, number, line, mutated, what))
    return mutants


def read_equivalent(mutants, only=None):
    """{(file, line number, mutated stripped): (entry's line in the list, reason)}
    for the entries of the sources selected, each checked to name exactly one
    of today's mutants."""
    known, lines_of = {}, {}
    made = {(path, number, mutated.strip()) for path, number, _, mutated, _ in mutants}
    for path, number, line, _, _ in mutants:
        lines_of.setdefault((path, line.strip()), set()).add(number)
    if not os.path.exists(EQUIVALENT):
        return known
    with open(EQUIVALENT, encoding="utf-8") as f:
        for n, raw in enumerate(f, 1):
            if not raw.strip() or raw.startswith("#"):
                continue
            where = "%s:%d" % (os.path.relpath(EQUIVALENT, ROOT), n)
            parts = raw.rstrip("\n").split("\t")
            if len(parts) != 4 or not parts[3].strip():
                raise MutantsError("%s: file, line, mutated line and reason, tab-separated" % where)
            name, line, mutated = (p.strip() for p in parts[:3])
            path, _, which = name.partition("#")
            if only and only not in path:
                continue
            if not os.path.exists(os.path.join(ROOT, path)) or not path.startswith(SOURCES):
                raise MutantsError("%s: %s is none of the sources the report mutates" % (where, path))
            numbers = sorted(lines_of.get((path, line), ()))
            if not numbers:
                raise MutantsError("%s: no line of %s reads %r (or none is mutated)" % (where, path, line))
            if not which and len(numbers) > 1:
                raise MutantsError("%s: %d lines of %s read so (lines %s): it would name a mutant of each; "
                                   "name one as %s#N" % (where, len(numbers), path,
                                                         ", ".join(map(str, numbers)), path))
            if which and not (which.isdigit() and 1 <= int(which) <= len(numbers)):
                raise MutantsError("%s: %s has %d line(s) that read so; #%s names none"
                                   % (where, path, len(numbers), which))
            number = numbers[int(which or 1) - 1]
            key = (path, number, mutated)
            if key not in made:
                raise MutantsError("%s: no mutant of %s:%d reads %r" % (where, path, number, mutated))
            if key in known:
                raise MutantsError("%s: names the mutant that line %d names already"
                                   % (where, known[key][0]))
            known[key] = (n, parts[3].strip())
    return known


# ---- building and running -----------------------------------------------------
class Worker:
    """A copy of the committed tree with a plain and a sanitizer host build."""

    def __init__(self, base, n, jobs):
        self.tree = os.path.join(base, "w%d" % n)
        os.makedirs(self.tree)
        archive = subprocess.run(["git", "-C", ROOT, "archive", "HEAD"], stdout=subprocess.PIPE, check=True)
        subprocess.run(["tar", "-x", "-C", self.tree], input=archive.stdout, check=True)
        self.builds = {}
        for kind, sanitize in (("plain", "OFF"), ("sanitized", "ON")):
            out = os.path.join(self.tree, "build", kind)
            subprocess.run(["cmake", "-S", self.tree, "-B", out, "-DCMAKE_BUILD_TYPE=Debug",
                            "-DZOVOVAR_E2E=OFF", "-DZOVOVAR_SANITIZE=" + sanitize],
                           stdout=subprocess.DEVNULL, check=True)
            self.builds[kind] = out
            self.build(kind, jobs, check=True)

    def build(self, kind, jobs=1, check=False):
        done = subprocess.run(["cmake", "--build", self.builds[kind], "-j%d" % jobs, "--target"] + TARGETS,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if check and done.returncode:
            raise MutantsError("the unchanged tree does not build:\n" + done.stdout.decode()[-3000:])
        return done.returncode == 0

    def tests(self, kind, timeout):
        """'passed', 'failed', 'hung-failed' or 'hung', and the last lines of
        the run that did not pass."""
        # The host cases and the corpora, each under its own CTest timeout: a
        # case that hangs fails by itself.
        runs = [["ctest", "--test-dir", self.builds[kind], "-L", "host", "--stop-on-failure",
                 "--output-on-failure"]]
        deadline = time.time() + timeout
        for cmd in runs:
            with tempfile.TemporaryFile() as out:
                proc = subprocess.Popen(cmd, stdout=out, stderr=subprocess.STDOUT, cwd=self.tree)
                try:
                    code = proc.wait(timeout=max(1, deadline - time.time()))
                except subprocess.TimeoutExpired:
                    proc.kill()
                    proc.wait()
                    code = None
                out.seek(0)
                text = out.read()
            detail = text.decode(errors="replace")[-2000:]
            if code is None:
                return ("hung-failed" if re.search(rb"Failure|FAILED|ERROR|runtime error", text) else "hung"), detail
            if code != 0:
                return "failed", detail
        return "passed", ""

    def run(self, mutant, timeout):
        path, number, line, mutated, _ = mutant
        source = os.path.join(self.tree, path)
        with open(source, encoding="utf-8") as f:
            original = f.read()
        lines = original.split("\n")
        lines[number - 1] = mutated
        try:
            with open(source, "w", encoding="utf-8") as f:
                f.write("\n".join(lines))
            if not self.build("plain"):
                return "not compiled"
            result, _ = self.tests("plain", timeout)
            if result == "passed" or result == "hung":
                if self.build("sanitized"):
                    again, _ = self.tests("sanitized", timeout * 3)
                    result = again if again != "passed" or result == "passed" else result
            return {"failed": "killed", "hung-failed": "killed", "hung": "hung", "passed": "survived"}[result]
        finally:
            with open(source, "w", encoding="utf-8") as f:
                f.write(original)


def dirty_sources():
    done = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--"] + list(SOURCES),
                          stdout=subprocess.PIPE, check=True)
    return done.stdout.decode().strip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--only", help="only sources whose path holds this")
    parser.add_argument("--timeout", type=int, default=60, help="seconds for the tests of one mutant")
    args = parser.parse_args()
    if dirty_sources():
        raise MutantsError("the product's sources have uncommitted changes; the report is of the "
                           "committed tree: commit or stash them first\n" + dirty_sources())
    # The work tree's sources are the committed ones: the entries are checked
    # before anything is built.
    mutants = all_mutants(ROOT, args.only)
    equivalent = read_equivalent(mutants, args.only)
    started = time.time()
    base = tempfile.mkdtemp(prefix="mutants-", dir=os.path.join(ROOT, "build") if os.path.isdir(
        os.path.join(ROOT, "build")) else None)
    try:
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            workers = list(pool.map(lambda n: Worker(base, n, 1), range(args.jobs)))
        # A mutant is killed when the tests fail: they must pass without one.
        for kind, timeout in (("plain", args.timeout), ("sanitized", args.timeout * 3)):
            result, detail = workers[0].tests(kind, timeout)
            if result != "passed":
                raise MutantsError("the unchanged tree does not pass its own tests (%s build: %s), so no "
                                   "mutant could be judged; no report. %s" % (kind, result, detail))
        print("mutants: the unchanged tree passes its tests, plainly and under the sanitizers", flush=True)
        print("mutants: %d one-line changes of %s, %d at a time" % (len(mutants), ", ".join(SOURCES), args.jobs),
              flush=True)
        free = list(workers)

        def run(mutant):
            worker = free.pop()  # a pool of len(workers) threads: one is always free
            try:
                return worker.run(mutant, args.timeout)
            finally:
                free.append(worker)

        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            results = list(pool.map(run, mutants))
    finally:
        shutil.rmtree(base, ignore_errors=True)

    counts = {}
    survivors, stale = [], []
    for mutant, result in zip(mutants, results):
        path, number, line, mutated, what = mutant
        entry = equivalent.get((path, number, mutated.strip()))
        if entry and result in ("survived", "hung"):
            result = "equivalent"
        elif entry:
            stale.append("%s:%d: the mutant of %s:%d is %s now: drop the entry"
                         % (os.path.relpath(EQUIVALENT, ROOT), entry[0], path, number, result))
        elif result in ("survived", "hung"):
            survivors.append("%s:%d: %s (%s)\n    %s\n    %s" % (path, number, what, result, line.strip(),
                                                               mutated.strip()))
        counts[result] = counts.get(result, 0) + 1
    for s in survivors:
        print("SURVIVOR " + s)
    for s in stale:
        print("STALE " + s)
    print("mutants: %d tried, %d killed, %d equivalent, %d survived, %d hung, %d did not compile; %.0f s on %d cores"
          % (len(mutants), counts.get("killed", 0), counts.get("equivalent", 0), counts.get("survived", 0),
             counts.get("hung", 0), counts.get("not compiled", 0), time.time() - started, os.cpu_count() or 1))
    return 1 if survivors or stale else 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except (MutantsError, OSError, subprocess.CalledProcessError) as e:
        sys.exit("mutants: %s" % e)
