#!/usr/bin/env python3
"""Runs every example the documents mark for it and compares what the console server prints
with what the document shows, byte for byte, values aside: dice, totals, counts of memory
blocks, times and hashes may differ, nothing else; the console server's folder stands for a
Windows server's `C:\\server`.

usage: doc_examples_test.py REPO BIN_DIR [-- EMULATOR...]

A marked example is a fenced block right after a line of its own
`<!-- doc-test: KIND [key=value ...] -->` in README.md, DEVELOPING.md or docs/*.md:

  transcript  lines `> TEXT` are typed in chat by `player` (default Nomad); every other line
              is what that player is shown, `[SENDER]  TEXT`. Options: `config=above` (the
              nearest json block above is config.json; otherwise none is there and the
              default is written), `players=A,B` (joined first, before the player).
  load        the block is the first log lines the plugin writes as it loads, from
              `Rollmoot: ` on; `config=above` as for transcript. Its numbers are no values:
              only hashes and UTC times may differ, and a path in the server's folder is
              shown as on Windows, `C:\\server\\ArkApi\\...`.
  file        `path=P`: the block is the file P of the repository, byte for byte.
  sh          the block runs in bash, in the document's scratch folder (its sh examples run
              in order there, so one may use the files an earlier one made), holding `examples/` and `scripts/`
              and with `build/release` (in DEVELOPING.md `build/<any preset>`) standing for
              the build under test, as the Quick start builds it; the next
              fenced block shows its output. Only lines of the kinds that block shows are
              compared (chat, log, host, error, stats, JSON events, other); blank lines
              are not.
"""
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

DIRECTIVE = re.compile(r"^<!-- doc-test: (\w+)((?: [\w-]+=\S+)*) -->$")
FENCE = re.compile(r"^(`{3,})(.*)$")
# A value: a UTC time or date (the audit's, and its file's name); a number that is no part of a
# word (3d6 and d20 are notation, not values), maybe negative or in the parentheses of a
# dropped die; or a hash.
TIME = r"\b\d{4}-\d\d-\d\d(?:T\d\d:\d\d:\d\dZ)?(?![\w-])"
VALUE = re.compile(TIME + r"|(?<![\w.])-?\(?\d+\)?(?![\w])|\b[0-9a-f]{16,}\b")
HASH = re.compile(TIME + r"|\b[0-9a-f]{16,}\b")
LOG_PREFIX = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d \[Rollmoot\]\[\w+\] ")


def pattern(expected, numbers_free):
    """A regular expression for `expected` with every value free; with `numbers_free` false,
    only hashes are."""
    parts, at = [], 0
    for value in (VALUE if numbers_free else HASH).finditer(expected):
        parts.append(re.escape(expected[at:value.start()]))
        if re.fullmatch(TIME, value.group()):
            parts.append(TIME)
        elif re.fullmatch(r"-?\(?\d+\)?", value.group()):
            parts.append(r"-?\(?\d+\)?")
        else:
            parts.append(r"[0-9a-f]+")
        at = value.end()
    parts.append(re.escape(expected[at:]))
    return re.compile("".join(parts) + r"\Z")


def kind(line):
    if line.startswith('{"event":'):
        try:
            return "json-" + json.loads(line)["event"]
        except (ValueError, KeyError):
            return "other"
    if LOG_PREFIX.match(line) or line.startswith("Rollmoot: "):
        return "log"
    if re.match(r"^\[[^\]]*\] -> #\d+ ", line):
        return "chat"
    for prefix in ("host", "error", "stats"):
        if line.startswith(prefix + ": "):
            return prefix
    return "other"


def windows_paths(line, server_dir):
    """`line` with each path in `server_dir` written as the same path of a Windows server in
    `C:\\server`, so that a document shows what an operator's log shows."""
    return re.sub(re.escape(server_dir) + r"\S*",
                  lambda path: "C:\\server" + path.group()[len(server_dir):].replace("/", "\\"), line)


def same(expected, actual, numbers_free=True):
    """Compares line lists, values aside; a list of differences, empty when they agree."""
    problems = []
    for i in range(max(len(expected), len(actual))):
        want = expected[i] if i < len(expected) else None
        got = actual[i] if i < len(actual) else None
        if want is None or got is None or not pattern(want, numbers_free).match(got):
            problems.append(f"  line {i + 1}: shown  {want!r}\n          printed {got!r}")
    return problems


class Example:
    def __init__(self, document, line, kind_, options, text, above_json, output=None):
        self.document = document
        self.where = f"{document}:{line}"
        self.kind = kind_
        self.options = options
        self.text = text
        self.above_json = above_json
        self.output = output


def blocks(path):
    """(line number, info string, text) of each fenced block, and the directives before them."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    found, i = [], 0
    directive = None
    while i < len(lines):
        match = DIRECTIVE.match(lines[i])
        if match:
            directive = (match.group(1), dict(o.split("=", 1) for o in match.group(2).split()), i + 1)
            i += 1
            continue
        fence = FENCE.match(lines[i])
        if not fence:
            if lines[i].strip():
                directive = None  # a directive marks the fenced block right below it
            i += 1
            continue
        end = next((j for j in range(i + 1, len(lines)) if lines[j] == fence.group(1)), None)
        if end is None:
            raise SystemExit(f"{path}:{i + 1}: a fence that never closes")
        found.append((i + 1, fence.group(2).strip(), "\n".join(lines[i + 1:end]) + "\n", directive))
        directive = None
        i = end + 1
    return found


def examples(repo):
    documents = ["README.md", "DEVELOPING.md", *sorted(
        os.path.relpath(p, repo) for p in glob.glob(os.path.join(repo, "docs", "*.md")))]
    found = []
    for document in documents:
        path = os.path.join(repo, document)
        if not os.path.isfile(path):
            continue
        fenced = blocks(path)
        above_json = None
        for index, (line, info, text, directive) in enumerate(fenced):
            if directive:
                name, options, _ = directive
                output = None
                if name == "sh":
                    if index + 1 >= len(fenced):
                        raise SystemExit(f"{document}:{line}: an sh example without its output")
                    output = fenced[index + 1][2]
                found.append(Example(document, line, name, options, text, above_json, output))
            if info.split()[:1] == ["json"]:
                above_json = text
    return found


class Runner:
    def __init__(self, repo, bin_dir, emulator):
        self.repo = repo
        self.bin_dir = bin_dir
        self.emulator = emulator
        modules = [n for n in ("Rollmoot.so", "Rollmoot.dll") if os.path.exists(os.path.join(bin_dir, n))]
        self.module = modules[0]
        self.server = os.path.join(bin_dir, "rollmoot-server")

    def session(self, scratch, config, script):
        """Runs the console server on a server directory holding `config` (None: no file)."""
        server_dir = os.path.join(scratch, "doc-test-server")
        folder = os.path.join(server_dir, "ArkApi", "Plugins", "Rollmoot")
        shutil.rmtree(server_dir, ignore_errors=True)
        os.makedirs(folder)
        plugin = os.path.join(folder, self.module)
        shutil.copyfile(os.path.join(self.bin_dir, self.module), plugin)
        if config is not None:
            with open(os.path.join(folder, "config.json"), "w", encoding="utf-8") as f:
                f.write(config)
        done = subprocess.run(
            [*self.emulator, self.server, "--server-dir", server_dir,
             "--plugin", plugin], input=script, capture_output=True, text=True, timeout=120)
        if done.returncode != 0:
            raise RuntimeError(f"the console server exited {done.returncode}: {done.stderr}")
        return done.stdout.splitlines()

    def config(self, example):
        if example.options.get("config") == "above":
            if example.above_json is None:
                raise RuntimeError("config=above, but no json block above")
            return example.above_json
        return None

    def transcript(self, example, scratch):
        player = example.options.get("player", "Nomad")
        others = [p for p in example.options.get("players", "").split(",") if p]
        script = [f"join {p}" for p in others] + [f"join {player}"]
        expected = []
        for line in example.text.splitlines():
            if line.startswith("> "):
                script.append(f"say #{len(others) + 1} {line[2:]}")
            elif line.strip():
                expected.append(line)
        output = self.session(scratch, self.config(example), "\n".join(script) + "\n")
        me = f"#{len(others) + 1} {player}: "
        shown = []
        for line in output:
            chat = re.match(r"^(\[[^\]]*\]) -> (#\d+ .*)$", line)
            if chat and chat.group(2).startswith(me):
                shown.append(f"{chat.group(1)}  {chat.group(2)[len(me):]}")
        return same(expected, shown)

    def load(self, example, scratch):
        expected = [line for line in example.text.splitlines() if line.strip()]
        output = self.session(scratch, self.config(example), "")
        logged = [windows_paths(LOG_PREFIX.sub("", line), os.path.join(scratch, "doc-test-server"))
                  for line in output if kind(line) == "log"]
        # Load lines hold no dice: their numbers are the settings', and must match.
        return same(expected, logged[:len(expected)], numbers_free=False)

    def file(self, example, scratch):
        with open(os.path.join(self.repo, example.options["path"]), encoding="utf-8") as f:
            content = f.read()
        return [] if content == example.text else [f"  differs from {example.options['path']}"]

    def sh(self, example, scratch):
        if not os.path.exists(os.path.join(scratch, "build")):
            for name in ("examples", "scripts"):
                os.symlink(os.path.join(self.repo, name), os.path.join(scratch, name))
            # What the Quick start builds; developers build the other presets too.
            presets = ("release",) if example.document != "DEVELOPING.md" else (
                "release", "dev", "asan", "clang", "bench")
            for preset in presets:
                os.makedirs(os.path.join(scratch, "build", preset))
                os.symlink(self.bin_dir, os.path.join(scratch, "build", preset, "bin"))
        done = subprocess.run(["bash", "-euo", "pipefail", "-c", example.text], cwd=scratch,
                              capture_output=True, text=True, timeout=120)
        if done.returncode != 0:
            return [f"  exited {done.returncode}: {done.stderr.strip()}"]
        expected = [line for line in example.output.splitlines() if line.strip()]
        kinds = {kind(line) for line in expected}
        strip = "log" in kinds and not any(LOG_PREFIX.match(line) for line in expected)
        printed = [LOG_PREFIX.sub("", line) if strip else line
                   for line in done.stdout.splitlines() if line.strip() and kind(line) in kinds]
        return same(expected, printed)


def main():
    args = sys.argv[1:]
    emulator = args[args.index("--") + 1:] if "--" in args else []
    repo, bin_dir = (os.path.abspath(a) for a in args[:2])
    runner = Runner(repo, bin_dir, emulator)
    found = examples(repo)
    failures = 0
    scratches = {}  # a document's examples run in order, in one folder of its own
    for example in found:
        if example.document not in scratches:
            scratches[example.document] = tempfile.mkdtemp(prefix="rollmoot-doc-")
        scratch = scratches[example.document]
        try:
            if example.kind not in ("transcript", "load", "file", "sh"):
                raise KeyError(f"no such kind of example: {example.kind}")
            problems = getattr(runner, example.kind)(example, scratch)
        except (RuntimeError, KeyError, OSError, subprocess.TimeoutExpired) as error:
            problems = [f"  {type(error).__name__}: {error}"]
        if problems:
            failures += 1
            print(f"FAIL {example.where} ({example.kind})")
            print("\n".join(problems))
        else:
            print(f"ok   {example.where} ({example.kind})")
    for scratch in scratches.values():
        shutil.rmtree(scratch, ignore_errors=True)
    if not found:
        print("FAIL: no marked example in any document")
        return 1
    print(f"{len(found) - failures} of {len(found)} examples agree with the documents")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
