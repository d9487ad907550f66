#!/usr/bin/env python3
"""scripts/release.sh on a built (mingw) Rollmoot.dll: refused without --test-build; with it,
an archive named for a test build, laid out as on a server, its checksums right, and the same
bytes from the same DLL whatever its file times.

usage: release_test.py BASH RELEASE_SH ROLLMOOT_DLL VERSION
"""
import hashlib
import io
import os
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


def main():
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
            languages = [f"examples/messages-{code}.json" for code in ("de", "es", "fr", "pt-BR", "ru")]
            page = [f"verify/{n}" for n in ("charts.js", "index.html", "page.js", "verify.css", "verify.js")]
            check(names == ["ArkApi/Plugins/Rollmoot/Rollmoot.dll", "CHANGELOG.md", "README.txt",
                            "SHA256SUMS", *languages, "verify-rolls.py", *page], f"entries: {names}")
            check(all(e.date_time == (1980, 1, 1, 0, 0, 0) for e in entries), "timestamps not fixed")
            files = {n: archive.read(n) for n in names}
    check(files["ArkApi/Plugins/Rollmoot/Rollmoot.dll"] == dll_bytes, "the packed DLL differs")

    sums = files["SHA256SUMS"].decode().splitlines()
    expected = [f"{hashlib.sha256(files[n]).hexdigest()}  {n}" for n in names if n != "SHA256SUMS"]
    check(sums == expected, f"SHA256SUMS:\n{sums}\nwanted\n{expected}")

    readme = files["README.txt"].decode()
    check(readme.startswith(f"Rollmoot {version}\r\n") and "\r\n## For server operators\r\n" in readme
          and "`config.json`" in readme, "README.txt lacks the operators' part")
    check("## For developers" not in readme and "rollmoot-server" not in readme,
          "README.txt carries more than the operators' part")
    check(f"## {version}" in files["CHANGELOG.md"].decode(), "CHANGELOG.md has no entry for the version")
    root = os.path.dirname(os.path.dirname(os.path.abspath(script)))
    for entry, source in (("verify-rolls.py", "scripts/verify-rolls.py"),
                          ("verify/verify.js", "verify/verify.js")):
        with open(os.path.join(root, source), "rb") as f:
            check(files[entry] == f.read(), f"{entry} is not the repository's {source}")
    print(f"ok: {name}, {len(archives[0])} bytes, same twice")


if __name__ == "__main__":
    main()
