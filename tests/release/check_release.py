#!/usr/bin/env python3
"""The release, built twice from two clones of the work tree as it stands.

usage: check_release.py SOURCE_DIR WORK_DIR EXE

Both runs give the same bytes, and their zovovar.exe is EXE, the one under
test, built elsewhere; BUILDINFO names the commit and the exe's checksum; the
zip and the two images hold exactly the folder's two files, read back with
other tools than those that wrote them; a dirty tree or a failed build writes
nothing.
"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys


def fail(message):
    sys.exit("FAIL: " + message)


def sh(*args, cwd=None, env=None, check=True):
    done = subprocess.run(list(args), cwd=cwd, env=env, stdout=subprocess.PIPE,
                          stderr=subprocess.STDOUT)
    if check and done.returncode != 0:
        fail("%s exited %d: %s" % (" ".join(args), done.returncode, done.stdout.decode()))
    return done


def snapshot_clone(source, target):
    """A clone whose last commit holds the work tree as it is, changes included."""
    shutil.rmtree(target, ignore_errors=True)
    sh("git", "clone", "-q", source, target)
    listed = sh("git", "-C", source, "ls-files", "-z", "-co", "--exclude-standard").stdout
    for name in filter(None, listed.decode().split("\0")):
        here = os.path.join(source, name)
        if os.path.isfile(here):
            os.makedirs(os.path.dirname(os.path.join(target, name)), exist_ok=True)
            shutil.copy2(here, os.path.join(target, name))
        elif os.path.lexists(os.path.join(target, name)):
            os.remove(os.path.join(target, name))  # deleted in the work tree
    commit(target, "the work tree")


def commit(repo, message):
    sh("git", "-C", repo, "add", "-A")
    sh("git", "-C", repo, "-c", "user.name=release test", "-c", "user.email=test@invalid",
       "commit", "-q", "--allow-empty", "-m", message)


def release(repo, **env):
    return sh("/usr/bin/python3", os.path.join(repo, "scripts", "release.py"), check=False,
              env=dict(os.environ, **env))


def tree(folder):
    files = {}
    for top, _, names in os.walk(folder):
        for n in names:
            with open(os.path.join(top, n), "rb") as f:
                files[os.path.relpath(os.path.join(top, n), folder)] = f.read()
    return files


def differing(made, again):
    """The names of the files that two releases do not hold as the same bytes."""
    return sorted(n for n in set(made) | set(again) if made.get(n) != again.get(n))


# The comparison held to what it must see: (a release, another, what differs).
DIFFERING = [({"a": b"x"}, {"a": b"x"}, []), ({"a": b"x"}, {"a": b"y"}, ["a"]),
             ({"a": b"x"}, {"a": b"x\0"}, ["a"]), ({"a": b"x"}, {"a": b"x", "b": b""}, ["b"])]


def buildinfo_fields(buildinfo):
    """BUILDINFO's fields: {name: [its value's lines]}."""
    out, name = {}, None
    for line in buildinfo.decode("ascii").splitlines():
        if line.startswith(" "):
            out[name].append(line[1:])
        else:
            name, _, value = line.rstrip(":").partition(": ")
            out[name] = [value] if value else []
    return out


def main(source, work, exe_under_test):
    wrong = [row for row in DIFFERING if differing(row[0], row[1]) != row[2]]
    if wrong:
        fail("the comparison of two releases: %r" % wrong)
    a, b = os.path.join(work, "a"), os.path.join(work, "b")
    snapshot_clone(source, a)
    shutil.rmtree(b, ignore_errors=True)
    sh("git", "clone", "-q", a, b)
    for repo, env in ((a, {}), (b, {"TZ": "Asia/Tokyo", "LANG": "ja_JP.UTF-8"})):
        done = release(repo, **env)
        if done.returncode != 0:
            fail("release in %s: %s" % (repo, done.stdout.decode()))
    dist = os.path.join(a, "dist")
    made, again = tree(dist), tree(os.path.join(b, "dist"))
    if differing(made, again):
        fail("two releases differ in: %s" % differing(made, again))
    sh("sha256sum", "--quiet", "-c", "SHA256SUMS", cwd=dist)

    folders = [n for n in os.listdir(dist) if os.path.isdir(os.path.join(dist, n))]
    if len(folders) != 1 or not folders[0].startswith("zovovar-"):
        fail("dist holds %s" % sorted(os.listdir(dist)))
    base = folders[0]
    exe, readme = made[base + "/zovovar.exe"], made[base + "/README.TXT"]
    expected = {"SHA256SUMS", "BUILDINFO", base + "/zovovar.exe", base + "/README.TXT",
                base + ".zip", base + ".img", base + ".iso"}
    if set(made) != expected:
        fail("dist files %s" % sorted(made))
    with open(exe_under_test, "rb") as f:
        if exe != f.read():
            fail("the release's zovovar.exe differs from %s" % exe_under_test)
    info = buildinfo_fields(made["BUILDINFO"])
    head = sh("git", "-C", a, "rev-parse", "HEAD").stdout.decode().strip()
    if info.get("Git-Commit") != [head]:
        fail("BUILDINFO names the commit %r, built from %s" % (info.get("Git-Commit"), head))
    listed = {line.split(" ")[2]: line for line in info.get("Checksums-Sha256", [])}
    exe_line = "%s %d %s" % (hashlib.sha256(exe).hexdigest(), len(exe), base + "/zovovar.exe")
    if set(listed) != expected - {"SHA256SUMS", "BUILDINFO"} or listed[base + "/zovovar.exe"] != exe_line:
        fail("BUILDINFO's checksums: %r, expected the exe as %r" % (sorted(listed.values()), exe_line))
    text = readme.decode("cp1252")
    lines = text.split("\r\n")
    if "\n" in text.replace("\r\n", "") or "\r" in text.replace("\r\n", ""):
        fail("README.TXT has a line end other than CR LF")
    if max(map(len, lines)) > 78 or not {"/M", "/D", "restart"} <= set(text.split()):
        fail("README.TXT: lines over 78 characters, or no word of /M, /D or the restart")

    def holds(what, listing, extract):
        names = sorted(listing)
        if names != sorted(extract):
            fail("%s holds %s" % (what, names))
        for name, want in extract.items():
            if want() != (exe if os.path.basename(name).lower().startswith("zovovar") else readme):
                fail("%s: %s differs from the release folder's" % (what, name))

    img = os.path.join(dist, base + ".img")
    iso = os.path.join(dist, base + ".iso")
    zip_ = os.path.join(dist, base + ".zip")
    listing = sh("unzip", "-Z1", zip_).stdout.decode().split()
    holds("the zip", [n for n in listing if not n.endswith("/")],
          {n: (lambda n=n: sh("unzip", "-p", zip_, n).stdout)
           for n in (base + "/README.TXT", base + "/zovovar.exe")})
    if base + "/" not in listing:
        fail("the zip has no folder %s/" % base)

    # The floppy: a 3.5" 1.44 MB FAT12 boot sector, a clean file system.
    boot = made[base + ".img"]
    fields = struct.unpack_from("<HBHBHHBHHH", boot, 11)
    if len(boot) != 1474560 or fields != (512, 1, 1, 2, 224, 2880, 0xF0, 9, 18, 2) or \
            boot[54:62] != b"FAT12   " or boot[510:512] != b"\x55\xaa":
        fail("floppy: %d bytes, boot sector fields %r %r" % (len(boot), fields, boot[54:62]))
    sh("/usr/sbin/fsck.fat", "-n", img)
    listing = sh("7z", "l", "-ba", "-slt", img).stdout.decode()
    holds("the floppy", [l[7:] for l in listing.splitlines() if l.startswith("Path = ")],
          {n: (lambda n=n: sh("7z", "x", "-so", img, n).stdout) for n in ("README.TXT", "zovovar.exe")})

    # The CD: the same two files under ISO 9660 names and under Joliet names.
    for what, flag, names in (("ISO 9660", [], ("/README.TXT;1", "/ZOVOVAR.EXE;1")),
                              ("Joliet", ["-J"], ("/README.TXT", "/zovovar.exe"))):
        listing = sh("isoinfo", "-i", iso, "-f", *flag).stdout.decode().split()
        holds("the CD under " + what, listing,
              {n: (lambda n=n: sh("isoinfo", "-i", iso, *flag, "-x", n).stdout) for n in names})

    # A dirty tree, then a failed build: a message, and dist/ as it was or none.
    with open(os.path.join(b, "stray.txt"), "w") as f:
        f.write("not committed\n")
    done = release(b)
    if done.returncode == 0 or b"not committed" not in done.stdout or \
            tree(os.path.join(b, "dist")) != made:
        fail("a dirty tree: exit %d, %s" % (done.returncode, done.stdout.decode()))
    os.remove(os.path.join(b, "stray.txt"))
    with open(os.path.join(b, "app", "main.cpp"), "a") as f:
        f.write("\nthis does not compile\n")
    commit(b, "a broken build")
    shutil.rmtree(os.path.join(b, "dist"))
    done = release(b)
    left = [n for n in os.listdir(b) if n.startswith("dist")]
    if done.returncode == 0 or b"build failed" not in done.stdout or left:
        fail("a failed build: exit %d, left %s, %s" % (done.returncode, left, done.stdout.decode()))
    print("PASS: %s, %d bytes of images, the same twice" % (
        base, sum(len(made[n]) for n in made if n.endswith((".img", ".iso", ".zip")))))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
