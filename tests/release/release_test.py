#!/usr/bin/env python3
"""scripts/release.sh on a built (mingw) Rollmoot.dll: refused without --test-build; with it,
an archive named for a test build, laid out as on a server, its checksums right, the same bytes
from the same DLL whatever its file times, and standing alone: README.txt says what the plugin
is and links to nothing the archive lacks, and the files the README names are there.

usage: release_test.py BASH RELEASE_SH ROLLMOOT_DLL VERSION
       release_test.py --readme RELEASE_PY VERSION   (README.txt alone, without a DLL)
"""
import hashlib
import importlib.util
import io
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile


def check(condition, message):
    if not condition:
        print(f"FAIL: {message}")
        sys.exit(1)


def release(bash, script, build_dir, out_dir, *options):
    return subprocess.run([bash, script, *options, "--out", out_dir, build_dir],
                          capture_output=True, text=True, timeout=120)


def build_dir_with(dll, root, name, mtime):
    """A build directory holding only a copy of the DLL, with the given file time."""
    target = os.path.join(root, name, "bin")
    os.makedirs(target)
    copy = os.path.join(target, "Rollmoot.dll")
    shutil.copyfile(dll, copy)
    os.utime(copy, (mtime, mtime))
    return os.path.join(root, name)


# Besides the DLL, README.txt, CHANGELOG.md and SHA256SUMS: what operators and players need.
CARRIED = ["docs/reference.md", "examples/audit-sample.log", "examples/config.example.json",
           *(f"examples/messages-{code}.json" for code in ("de", "es", "fr", "pt-BR", "ru")),
           "scripts/verify-rolls.py",
           *(f"verify/{n}" for n in ("charts.js", "index.html", "page.js", "verify.css", "verify.js"))]


def check_readme(readme, names, version):
    """README.txt stands alone: what the plugin is first, no section of the repository's own,
    no link left, and every file it names in the archive or said to be in the repository."""
    check(readme.startswith(f"Rollmoot {version}\r\n\r\n# Rollmoot\r\n\r\nDice rolls for a "),
          "README.txt does not start with what the plugin is")
    check("Nomad rolled 2d20 and got: " in readme, "README.txt lacks the sample line")
    for gone in ("## Quick start", "## For developers", "<!--", "]("):
        check(gone not in readme, f"README.txt carries {gone!r}")
    for heading in ("## Install", "## Configure", "## Troubleshooting", "## Fair dice"):
        check(f"\r\n{heading}\r\n" in readme, f"README.txt lacks {heading}")
    for path in re.findall(r"(?<![\w/.])((?:docs|examples|scripts|verify)/[\w.*-]+)", readme):
        named = [n for n in names if n == path or re.fullmatch(re.escape(path).replace(r"\*", ".*"), n)]
        check(named or f"{path} in the source repository" in readme,
              f"README.txt names {path}, which the archive lacks")
    check("rollmoot-server" not in readme and "build/" not in readme,
          "README.txt tells the reader to run what only a build of the repository has")
    for path in ("examples/config.example.json", "scripts/verify-rolls.py"):
        check(path in readme, f"README.txt never names {path}")


def check_markdown_links(files):
    """The Markdown files beside README.txt link only to what the archive holds."""
    for name in (n for n in files if n.endswith(".md")):
        for target in re.findall(r"\]\(([^)#\s]+)[^)]*\)", files[name].decode()):
            if not re.match(r"^https?://", target):
                linked = os.path.normpath(os.path.join(os.path.dirname(name), target)).replace(os.sep, "/")
                check(linked in files, f"{name} links to {target}, which the archive lacks")


def readme_only(release_py, version):
    spec = importlib.util.spec_from_file_location("release", release_py)
    release = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(release)
    names = {*release.archive_files(), "CHANGELOG.md"}
    for path in CARRIED:
        check(path in names, f"the archive would lack {path}")
    readme = release.operators_readme(version, names).decode()
    check_readme(readme, names, version)
    files = {n: release.carried_links(n, data, names | {"README.txt"})
             for n, data in release.archive_files().items()}
    files["README.txt"] = readme.encode()
    check_markdown_links(files)
    print(f"ok: README.txt of {len(readme.splitlines())} lines, {len(names)} files beside it")


def main():
    if sys.argv[1] == "--readme":
        readme_only(*sys.argv[2:4])
        return
    bash, script, dll, version = sys.argv[1:5]
    with open(dll, "rb") as f:
        dll_bytes = f.read()
    with tempfile.TemporaryDirectory() as root:
        first = build_dir_with(dll, root, "first", 1_000_000_000)
        second = build_dir_with(dll, root, "second", 1_700_000_000)
        out = os.path.join(root, "dist")

        refused = release(bash, script, first, out)
        check(refused.returncode == 1 and "not built with MSVC" in refused.stderr
              and "--test-build" in refused.stderr, f"a mingw DLL was not refused: {refused}")
        check(not os.path.exists(out) or not os.listdir(out), "a refused DLL left an archive")

        name = f"Rollmoot-{version}-win64-test-build.zip"
        archives = []
        for build in (first, second):
            done = release(bash, script, build, out, "--test-build")
            check(done.returncode == 0, f"release failed: {done}")
            with open(os.path.join(out, name), "rb") as f:
                archives.append(f.read())
        check(os.listdir(out) == [name], f"archives written: {os.listdir(out)}")
        check(archives[0] == archives[1], "the same DLL gave different archive bytes")

        with zipfile.ZipFile(io.BytesIO(archives[0])) as archive:
            entries = archive.infolist()
            names = [e.filename for e in entries]
            check(names == sorted(["ArkApi/Plugins/Rollmoot/Rollmoot.dll", "CHANGELOG.md",
                                   "README.txt", "SHA256SUMS", *CARRIED]),
                  f"entries: {names}")
            check(all(e.date_time == (1980, 1, 1, 0, 0, 0) for e in entries), "timestamps not fixed")
            files = {n: archive.read(n) for n in names}
    check(files["ArkApi/Plugins/Rollmoot/Rollmoot.dll"] == dll_bytes, "the packed DLL differs")

    sums = files["SHA256SUMS"].decode().splitlines()
    expected = [f"{hashlib.sha256(files[n]).hexdigest()}  {n}" for n in names if n != "SHA256SUMS"]
    check(sums == expected, f"SHA256SUMS:\n{sums}\nwanted\n{expected}")

    readme = files["README.txt"].decode()
    check_readme(readme, names, version)
    check_markdown_links(files)
    with open(os.path.join(os.path.dirname(script), "..", "examples", "config.example.json"), "rb") as f:
        check(files["examples/config.example.json"] == f.read(), "config.example.json differs")
    check(f"## {version}" in files["CHANGELOG.md"].decode(), "CHANGELOG.md has no entry for the version")
    root = os.path.dirname(os.path.dirname(os.path.abspath(script)))
    for entry in ("scripts/verify-rolls.py", "verify/verify.js"):
        with open(os.path.join(root, entry), "rb") as f:
            check(files[entry] == f.read(), f"{entry} is not the repository's")
    print(f"ok: {name}, {len(archives[0])} bytes, same twice")


if __name__ == "__main__":
    main()
