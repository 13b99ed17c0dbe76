#!/usr/bin/env python3
"""Builds the release of zovovar.exe from a clean checkout into dist/.

usage: release.py [OUT]   (scripts/release.sh installs the tools first; OUT: dist)

dist/ then holds:
  zovovar-VERSION/          zovovar.exe and README.TXT (code page 1252, CR LF)
  zovovar-VERSION.zip       that folder
  zovovar-VERSION.img       a 1.44 MB FAT12 floppy image holding the two files
  zovovar-VERSION.iso       a CD image (ISO 9660 with Joliet) holding them
  BUILDINFO                 what built zovovar.exe: the commit, SOURCE_DATE_EPOCH,
                            the Debian packages that built it, the build type
                            and flags, and the SHA-256 of every file above
  SHA256SUMS                over every file above, BUILDINFO included

VERSION is the ProductVersion of the version block in resources/zovovar.rc.
Every date inside is the last commit's, entries are sorted, and nothing of
the machine (host, user, path, time zone) goes in: two runs from two clones
of one commit give the same bytes. A dirty work tree or a failed build stops
the release before anything is written; dist/ is replaced only when whole.
"""
import hashlib
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import time
import zipfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
README_WIDTH = 78


class ReleaseError(Exception):
    pass


def git(*args):
    return subprocess.run(["git", "-C", ROOT] + list(args), check=True, stdout=subprocess.PIPE,
                          universal_newlines=True).stdout


def version():
    rc = open(os.path.join(ROOT, "resources", "zovovar.rc"), encoding="ascii").read()
    m = re.search(r'VALUE "ProductVersion", "([0-9][0-9A-Za-z.]*)"', rc)
    if not m:
        raise ReleaseError("no ProductVersion in resources/zovovar.rc")
    return m.group(1)


def readme(text, version):
    """README.TXT for a Windows 9x machine: code page 1252, CR LF, short lines."""
    text = text.replace("@VERSION@", version)
    for number, line in enumerate(text.split("\n"), 1):
        if len(line) > README_WIDTH:
            raise ReleaseError("resources/README.TXT line %d is longer than %d characters"
                               % (number, README_WIDTH))
    try:
        return text.replace("\n", "\r\n").encode("cp1252")
    except UnicodeEncodeError as e:
        raise ReleaseError("resources/README.TXT has a character outside code page 1252: %s" % e)


def build(work, env):
    """zovovar.exe built afresh from this checkout in a folder of its own, traced
    for the files it used (in the C locale: no tool reads a message catalogue)."""
    shutil.rmtree(work, ignore_errors=True)
    trace = work + ".trace"
    for step in (["cmake", "--preset", "windows", "-B", work],
                 ["strace", "-f", "-qq", "-o", trace, "-e", "trace=execve,open,openat", "-e", "status=successful",
                  "cmake", "--build", work, "--target", "zovovar"]):
        if subprocess.run(step, cwd=ROOT, env=env, stdout=subprocess.DEVNULL).returncode != 0:
            raise ReleaseError("the build failed (%s)" % " ".join(step))
    return os.path.join(work, "zovovar.exe"), trace


def build_packages(trace):
    """The Debian packages whose files built the exe, 'name (= version)': each
    toolchain program the traced build ran (windres's preprocessor too) with the
    libraries it links against, the other files they read (headers, import
    libraries), and CMake. Shared objects they open of themselves are not
    counted: binutils opens every linker plugin installed."""
    programs, used = {}, set()
    with open(trace) as f:
        for line in f:
            m = re.match(r'(\d+) +(execve|open|openat)\((?:AT_FDCWD, )?"([^"]*)"', line)
            if not m:
                continue
            pid, call, path = m.groups()
            if call == "execve":
                programs[pid] = path
            if "mingw32" in programs.get(pid, "") and os.path.isfile(path) and ".so" not in os.path.basename(path):
                used.add(path)
    cmake = shutil.which("cmake")
    if not used or not cmake:
        raise ReleaseError("the build's trace names no tool: run scripts/release.sh, which installs them")
    for program in {p for p in programs.values() if "mingw32" in p}:
        used.update(re.findall(r"=> (/\S+)", run(["ldd", program])))
    # dpkg knows a file by its path as installed: with /usr merged, as used or real.
    paths = sorted(used | {os.path.realpath(p) for p in used} | {cmake})
    found = subprocess.run(["dpkg-query", "-S"] + paths, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                           universal_newlines=True).stdout
    owners = {p.strip() for line in found.splitlines() for p in line.rsplit(": ", 1)[0].split(",")}
    return ["%s (= %s)" % (p, run(["dpkg-query", "-W", "-f", "${Version}", p])) for p in sorted(owners)]


def build_flags(work):
    """The compiler's flags for the exe's sources (one target: one set) and
    the linker's, as CMake gave them, with nothing of the checkout's path."""
    entry = next(e for e in json.load(open(os.path.join(work, "compile_commands.json")))
                 if "CMakeFiles/zovovar.dir/" in e["command"])
    compiled = [w for w in shlex.split(entry["command"])[1:-4] if not w.startswith("@")]  # less -o X -c FILE
    with open(os.path.join(work, "CMakeFiles", "zovovar.dir", "link.txt")) as f:
        linked = [w for w in shlex.split(f.read().splitlines()[-1])[1:] if not w.startswith("@")]
    with open(os.path.join(work, "CMakeFiles", "zovovar.dir", "linkLibs.rsp")) as f:
        return " ".join(compiled), " ".join(linked + f.read().split())


def write_buildinfo(path, staging, version, epoch, work, trace):
    """What built the release, in the manner of Reproducible Builds' .buildinfo."""
    compiled, linked = build_flags(work)
    lines = ["Format: 1.0", "Source: zovovar", "Version: " + version,
             "Git-Commit: " + git("rev-parse", "HEAD").strip(), "Git-Tree: clean",
             "Source-Date-Epoch: %d" % epoch, "Build-Type: Release", "Build-Flags-CXX: " + compiled,
             "Build-Flags-Link: " + linked, "Installed-Build-Depends:"] + [" " + p for p in build_packages(trace)]
    lines += ["Checksums-Sha256:"] + [" %s %d %s" % (digest, size, name) for name, digest, size in listed(staging)]
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def listed(staging):
    """Every file of the release so far, sorted: (name, SHA-256, size)."""
    out = []
    for name in sorted(os.path.relpath(os.path.join(top, n), staging) for top, _, found in os.walk(staging)
                       for n in found):
        with open(os.path.join(staging, name), "rb") as f:
            data = f.read()
        out.append((name, hashlib.sha256(data).hexdigest(), len(data)))
    return out


def write_zip(path, folder, names, epoch):
    """The folder as a zip: MS-DOS attributes, the commit's date, sorted entries."""
    date = time.gmtime(epoch)[:6]
    base = os.path.basename(folder)
    with zipfile.ZipFile(path, "w") as z:
        entry = zipfile.ZipInfo(base + "/", date)
        entry.create_system, entry.external_attr = 0, 0x10  # a directory
        z.writestr(entry, b"")
        for name in names:
            entry = zipfile.ZipInfo(base + "/" + name, date)
            entry.create_system, entry.external_attr = 0, 0x20  # archive bit, as DOS sets it
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(os.path.join(folder, name), "rb") as f:
                z.writestr(entry, f.read(), compresslevel=9)


def run(args, env=None):
    done = subprocess.run(args, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if done.returncode != 0:
        raise ReleaseError("%s failed: %s" % (args[0], done.stdout.decode(errors="replace")))
    return done.stdout.decode(errors="replace").strip()


def write_floppy(path, folder, names, env):
    """A 1.44 MB floppy: mkfs.fat's standard 3.5" layout (FAT12, 224 root
    entries, media F0), a fixed serial number, the files in the root."""
    run(["/usr/sbin/mkfs.fat", "-C", "--invariant", "-F", "12", "-i", "20010000", "-n", "ZOVOVAR",
         path, "1440"], env)
    for name in names:
        run(["mcopy", "-m", "-i", path, os.path.join(folder, name), "::" + name], env)


def write_cd(path, folder, names, version, env):
    """A CD image: ISO 9660 level 1 names (what DOS reads), Joliet names (what
    Windows reads), and Rock Ridge with owner and modes made uniform (-r), so
    that who builds it does not show. xorriso takes every date from
    SOURCE_DATE_EPOCH."""
    run(["xorriso", "-as", "mkisofs", "-quiet", "-iso-level", "1", "-J", "-r",
         "-V", "ZOVOVAR_" + version.replace(".", "_"), "-o", path] +
        [os.path.join(folder, n) for n in names], env)


def release(out):
    dirty = git("status", "--porcelain")
    if dirty:
        raise ReleaseError("the work tree has changes that are not committed:\n%s"
                           "commit or stash them first; nothing was written" % dirty)
    ver = version()
    epoch = int(git("log", "-1", "--format=%ct"))
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(epoch), TZ="UTC", LC_ALL="C",
               MTOOLS_SKIP_CHECK="1", MTOOLSRC="/dev/null")
    work = os.path.join(ROOT, "build", "release")
    exe, trace = build(work, env)

    staging = out + ".new"
    shutil.rmtree(staging, ignore_errors=True)
    try:
        base = "zovovar-" + ver
        folder = os.path.join(staging, base)
        os.makedirs(folder)
        names = ["README.TXT", "zovovar.exe"]
        shutil.copyfile(exe, os.path.join(folder, "zovovar.exe"))
        with open(os.path.join(ROOT, "resources", "README.TXT"), encoding="utf-8") as f:
            text = f.read()
        with open(os.path.join(folder, "README.TXT"), "wb") as f:
            f.write(readme(text, ver))
        for name in names:
            os.chmod(os.path.join(folder, name), 0o644)
            os.utime(os.path.join(folder, name), (epoch, epoch))
        write_zip(os.path.join(staging, base + ".zip"), folder, names, epoch)
        write_floppy(os.path.join(staging, base + ".img"), folder, names, env)
        write_cd(os.path.join(staging, base + ".iso"), folder, names, ver, env)
        write_buildinfo(os.path.join(staging, "BUILDINFO"), staging, ver, epoch, work, trace)
        sums = "".join("%s  %s\n" % (digest, name) for name, digest, _ in listed(staging))
        with open(os.path.join(staging, "SHA256SUMS"), "w", newline="\n") as f:
            f.write(sums)
        # Only a whole release replaces the last one.
        old = out + ".old"
        shutil.rmtree(old, ignore_errors=True)
        if os.path.exists(out):
            os.rename(out, old)
        os.rename(staging, out)
        shutil.rmtree(old, ignore_errors=True)
    finally:
        shutil.rmtree(staging, ignore_errors=True)
    return sorted(os.listdir(out))


def main():
    if len(sys.argv) > 2:
        sys.exit(__doc__)
    out = os.path.abspath(sys.argv[1] if len(sys.argv) == 2 else os.path.join(ROOT, "dist"))
    try:
        made = release(out)
    except ReleaseError as e:
        sys.exit("release: %s" % e)
    print("release: %s: %s" % (out, ", ".join(made)))


if __name__ == "__main__":
    main()
