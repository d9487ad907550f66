#!/usr/bin/env python3
"""Packs a built Rollmoot.dll into dist/Rollmoot-<version>-win64.zip, laid out as it goes onto
a server, with the README as README.txt, the changelog, what operators and players need beside
them (ARCHIVE_FILES) and SHA256SUMS.

usage: scripts/release.sh [--test-build] [--out DIR] BUILD_DIR

The version is the one the DLL carries in its version resource. The same DLL gives the same
archive bytes: fixed timestamps, sorted entries. A DLL not built with MSVC is refused unless
--test-build is given, and then the archive's name says so.
"""
import argparse
import glob
import hashlib
import io
import os
import re
import struct
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PLUGIN_PATH = "ArkApi/Plugins/Rollmoot/Rollmoot.dll"
FIXED_TIME = (1980, 1, 1, 0, 0, 0)  # the earliest a zip can say
# Repository files the archive carries at their repository paths, so the README's paths hold
# in both: the settings file to copy, the language files, the reference, and what players need
# to check the roll audit.
ARCHIVE_FILES = [
    "examples/config.example.json",
    "examples/messages-*.json",
    "docs/reference.md",
    "scripts/verify-rolls.py",
    "examples/audit-sample.log",
    "verify/*",
]
# README sections that serve only a clone of the repository.
REPOSITORY_SECTIONS = ("## Quick start", "## For developers")
LINK = re.compile(r"\[([^\]]+)\]\(([^)\s]+)\)")
# A picture's link: in plain text its description and path, as for any link.
PICTURE = re.compile(r"!(?=\[[^\]]+\]\([^)\s]+\))")


class Refused(Exception):
    pass


class PeFile:
    """Just enough of a 64-bit PE file: its machine, imported DLLs and version resource."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise Refused(f"{path} is not a Windows DLL")
        pe = self.u32(0x3C)
        if d[pe:pe + 4] != b"PE\0\0":
            raise Refused(f"{path} is not a Windows DLL")
        self.machine, sections, _, _, _, optional_size, flags = struct.unpack_from("<HHIIIHH", d, pe + 4)
        optional = pe + 24
        if self.machine != 0x8664 or self.u16(optional) != 0x20B or not flags & 0x2000:
            raise Refused(f"{path} is not a 64-bit x64 DLL")
        count = self.u32(optional + 108)
        self.directories = [struct.unpack_from("<II", d, optional + 112 + 8 * i) for i in range(count)]
        table = optional + optional_size
        self.sections = [struct.unpack_from("<IIII", d, table + 40 * i + 8) for i in range(sections)]

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for virtual_size, address, raw_size, raw in self.sections:
            if address <= rva < address + max(virtual_size, raw_size):
                return raw + rva - address
        raise Refused(f"address {rva:#x} lies in no section")

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def imported_dlls(self):
        rva, size = self.directories[1] if len(self.directories) > 1 else (0, 0)
        names, at = [], self.offset(rva) if size else None
        while at is not None:
            lookup, _, _, name, thunks = struct.unpack_from("<IIIII", self.data, at)
            if not (lookup or name or thunks):
                break
            names.append(self.text(name))
            at += 20
        return names

    def file_version(self):
        """major.minor.patch from the fixed part of the version resource, or None."""
        rva, size = self.directories[2] if len(self.directories) > 2 else (0, 0)
        if not size:
            return None
        base = self.offset(rva)

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + ids):
                yield struct.unpack_from("<II", self.data, base + directory + 16 + 8 * i)

        # Type RT_VERSION (16), then its first name and first language.
        node = next((target for key, target in entries(0) if key == 16), None)
        for _ in range(2):
            if node is None or not node & 0x80000000:
                return None
            node = next((target for _, target in entries(node & 0x7FFFFFFF)), None)
        if node is None or node & 0x80000000:
            return None
        data_rva, _ = struct.unpack_from("<II", self.data, base + node)
        info = self.offset(data_rva)
        # VS_VERSIONINFO: three words, the key "VS_VERSION_INFO" in UTF-16 with its zero,
        # padding to four bytes, then VS_FIXEDFILEINFO.
        fixed = info + (6 + 32 + 3) // 4 * 4
        signature, _, ms, ls = struct.unpack_from("<IIII", self.data, fixed)
        if signature != 0xFEEF04BD:
            return None
        return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}"


def find_dll(build_dir):
    for relative in ("bin/Release/Rollmoot.dll", "bin/Rollmoot.dll"):
        path = os.path.join(build_dir, relative)
        if os.path.isfile(path):
            return path
    raise Refused(f"no Rollmoot.dll in {build_dir}/bin/Release or {build_dir}/bin: build it first")


def archive_files():
    """Archive path -> bytes of every file of ARCHIVE_FILES that the repository holds."""
    files = {}
    for pattern in ARCHIVE_FILES:
        for path in sorted(glob.glob(os.path.join(ROOT, pattern))):
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    files[os.path.relpath(path, ROOT).replace(os.sep, "/")] = f.read()
    return files


def carried_links(name, data, carried):
    """A Markdown file of the archive with its links to files the archive lacks written out as
    text, and those to the README pointed at README.txt."""
    base = os.path.dirname(name)

    def link(match):
        label, target = match.group(1), match.group(2)
        path, hash_, fragment = target.partition("#")
        if not path or re.match(r"^https?://", target):
            return match.group(0)
        resolved = os.path.normpath(os.path.join(base, path)).replace(os.sep, "/")
        if resolved == "README.md":
            return f"[{label}]({os.path.relpath('README.txt', base or '.').replace(os.sep, '/')})"
        if resolved in carried:
            return match.group(0)
        return f"{label} ({resolved} in the source repository)"

    return LINK.sub(link, data.decode("utf-8")).encode("utf-8")


def anchor(heading):
    """The anchor a Markdown renderer gives a heading."""
    text = heading.lstrip("#").strip().lower()
    return re.sub(r"[^\w\- ]", "", text).replace(" ", "-")


def operators_readme(version, carried):
    """The README as a Windows text file for the archive: without the sections that serve only
    a clone, without the examples' test marks, and with every link written out as text: a
    section of its own by name, a file the archive carries (`carried`) by its path, anything
    else as a file of the source repository. Refused when a link names a section it lacks."""
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        lines = f.read().splitlines()
    kept, skipping = [], False
    for line in lines:
        if line.startswith("## "):
            skipping = line in REPOSITORY_SECTIONS
        if not skipping and not line.startswith("<!-- doc-test:"):
            kept.append(line)
    anchors = {anchor(line) for line in kept if line.startswith("#")}

    def text(link):
        label, target = link.group(1), link.group(2)
        path, _, fragment = target.partition("#")
        if not path:
            if fragment not in anchors:
                raise Refused(f"README.md links to #{fragment}, a section README.txt lacks")
            return label
        if re.match(r"^https?://", target):
            return f"{label} ({target})"
        if path in carried:
            return path if label == path else f"{label} ({path})"
        return f"{label} ({path} in the source repository)"

    part = [f"Rollmoot {version}", "", *(LINK.sub(text, PICTURE.sub("", line)) for line in kept)]
    while part and not part[-1].strip():
        part.pop()
    return ("\r\n".join(part) + "\r\n").encode("utf-8")


def changelog(version):
    with open(os.path.join(ROOT, "CHANGELOG.md"), encoding="utf-8") as f:
        text = f.read()
    if not re.search(rf"^## \[?{re.escape(version)}\]?(\s|$)", text, re.MULTILINE):
        raise Refused(f"CHANGELOG.md has no entry for {version}: write it before releasing")
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def archive_bytes(files):
    """A zip of name -> bytes whose bytes depend on nothing else."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as archive:
        for name in sorted(files):
            entry = zipfile.ZipInfo(name, date_time=FIXED_TIME)
            entry.create_system = 3  # the same on every platform that runs this
            entry.external_attr = 0o100644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, files[name], compresslevel=9)
    return buffer.getvalue()


def release(build_dir, out_dir, test_build):
    dll_path = find_dll(build_dir)
    dll = PeFile(dll_path)
    version = dll.file_version()
    if version is None:
        raise Refused(f"{dll_path} carries no version resource: is it a Rollmoot build?")
    # The host is built with MSVC and exchanges standard-library strings, vectors and
    # function objects with its plugins: only a plugin on Microsoft's C++ library fits it.
    msvc = any(re.fullmatch(r"msvcp140(_\w+)?\.dll", name.lower()) for name in dll.imported_dlls())
    if not msvc and not test_build:
        raise Refused(
            f"{dll_path} was not built with MSVC (it does not import Microsoft's C++ library, "
            "MSVCP140.dll); a host built with MSVC cannot load it, since they exchange "
            "standard-library objects. Build with the msvc-plugin preset, or pass --test-build "
            "to pack it for testing only.")

    with open(dll_path, "rb") as f:
        files = {PLUGIN_PATH: f.read()}
    files.update(archive_files())
    files["CHANGELOG.md"] = changelog(version)
    for name in [n for n in files if n.endswith(".md")]:
        files[name] = carried_links(name, files[name], set(files) | {"README.txt"})
    files["README.txt"] = operators_readme(version, set(files))
    files["SHA256SUMS"] = "".join(
        f"{hashlib.sha256(files[name]).hexdigest()}  {name}\n" for name in sorted(files)).encode()

    name = f"Rollmoot-{version}-win64{'-test-build' if test_build else ''}.zip"
    os.makedirs(out_dir, exist_ok=True)
    path = os.path.join(out_dir, name)
    data = archive_bytes(files)
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.replace(path + ".part", path)
    print(f"release: {path}")
    print(f"release: sha256 {hashlib.sha256(data).hexdigest()}")


def main():
    parser = argparse.ArgumentParser(prog="scripts/release.sh", description=__doc__.split("\n\n")[0])
    parser.add_argument("build_dir", metavar="BUILD_DIR")
    parser.add_argument("--test-build", action="store_true",
                        help="pack a DLL not built with MSVC; the archive's name says so")
    parser.add_argument("--out", default=os.path.join(ROOT, "dist"), help="where the archive goes (dist/)")
    options = parser.parse_args()
    try:
        release(options.build_dir, options.out, options.test_build)
    except Refused as reason:
        print(f"release: refused: {reason}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
