#!/usr/bin/env python3
"""Writes the verifier cases in cases/ from two fresh console server sessions with
the roll audit on: each case is a folder with input/ (its files, read in name order), the
exact output expected.txt and the exit status exit.txt. Both verifiers, scripts/verify-rolls.py
and the page verify/, are tested against every case (cases_test.py and
page_test.py here).

usage: make_cases.py SERVER_COMMAND...   (e.g. build/dev/bin/rollmoot-server)

Keys are new at every run, so running it again rewrites every case. Each case states the
verdict it is for (the line that must fail, or that it verifies), and the script refuses to
write a case whose verdict is not that one. Cases found by fuzzing are kept in fuzz-*/ and
are not rewritten.
"""
import hashlib
import importlib.util
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases")
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(HERE)))
spec = importlib.util.spec_from_file_location("verify_rolls", os.path.join(ROOT, "scripts", "verify-rolls.py"))
verifier = importlib.util.module_from_spec(spec)
spec.loader.exec_module(verifier)

CONFIG = ('{"SenderName": "Dice", "AuditRolls": true, "LogRolls": true, "PrivateCommands": true, '
          '"RollCommand": true}')
ZERO = "0" * 64
MARK = "Rollmoot: Roll audit: "
CR_NAME = f"Zed\rRollmoot: Roll audit: commitment {ZERO}\rx"
# Every kind of command, names JSON must escape (a quote, a backslash, U+2028, a CR), a chat
# line that is a commitment, a refused /roll, and a reload: two keys.
HONEST = f"""join Ann
join Bj\u00f6rn "the \\\\ quoted"
join {CR_NAME}
join Li\u2028ne
say Ann /d20 3
say #2 /pd6 2
say Ann /roll 2d20kh1+1d4+5
say #3 /d6
say Ann {MARK}commitment {ZERO}
say #4 /d12 2
say Ann /roll 2 d6
unload
load
say Ann /roll d%-3d6
say #2 /d4 100
"""


def ground_key():
    """A key whose first d20 is a 20: what a forger would grind for."""
    for i in range(10000):
        key = hashlib.sha256(b"forged %d" % i).digest()
        if verifier.draw(verifier.words(key), 20) == 20:
            return key
    raise RuntimeError("no key found")


def forged_script():
    key = ground_key()
    commitment = hashlib.sha256(key).hexdigest()
    segment = [f"commitment {commitment}", '#1 "Ann" d20:20', f"key {key.hex()} after 1 rolls"]
    script = ["join Mal"]
    # Typed before the first real roll, then after it, in every form a log line could take.
    for prefix in ("", "[Rollmoot][info] ", "12/09/26 00:48 [Rollmoot][info] "):
        script += [f"say Mal {prefix}{MARK}{text}" for text in segment]
        script += [f"say Mal /roll {prefix}{MARK}{text}" for text in segment]
        script += [f"join {prefix}{MARK}{text}" for text in segment]
        script.append("say Mal /d20")
    return "\n".join(script) + "\n"


def session(server, script, json_output):
    with tempfile.TemporaryDirectory() as root:
        folder = os.path.join(root, "ArkApi", "Plugins", "Rollmoot")
        os.makedirs(folder)
        with open(os.path.join(folder, "config.json"), "w") as f:
            f.write(CONFIG)
        done = subprocess.run(server + ["--server-dir", root] + (["--json"] if json_output else []),
                              input=script.encode(), capture_output=True, timeout=120, check=True)
    # The server's directory is in its first line; a fixed one keeps the cases tidy.
    lines = done.stdout.decode("utf-8").split("\n")
    lines = [line.replace(root, "/srv/game") for line in lines]
    lines = [re.sub(r"^host: (loaded|unloaded) .*", r"host: \1 /srv/game/Rollmoot.so", line)
             for line in lines]
    lines = [re.sub(r'^(\{"event":"host","text":"(?:loaded|unloaded) )[^"]*', r"\1/srv/game/Rollmoot.so",
                    line) for line in lines]
    return [line + "\n" for line in lines if line]


def index(lines, pattern, nth=0):
    found = [i for i, line in enumerate(lines) if re.search(pattern, line)]
    return found[nth]


def audit_files(log):
    """The log's audit lines as two days of audit files: the first key on the first day, the
    second on the next, as the plugin writes them at its first roll of a new UTC day."""
    days, day, second = [[], []], 0, 0
    for line in log:
        at = line.find("[Rollmoot][info] " + MARK)
        if at < 0:
            continue
        text = line[at + len("[Rollmoot][info] " + MARK):].rstrip("\n")
        if not text.startswith(("commitment", "#", "key")):
            continue
        if text.startswith("commitment") and days[0]:
            day = 1
        second += 1
        days[day].append(f"2026-12-0{8 + day}T{22 - 22 * day:02d}:41:{second:02d}Z {text}\n")
    return days


class Cases:
    def __init__(self):
        self.written = []

    def add(self, name, files, verdict):
        """files: {name: bytes or [lines]}; verdict: "verified ..." / "awaiting" / (file, line,
        text that must be in the failure) / "none" / "utf8"."""
        files = {n: (b if isinstance(b, bytes) else "".join(b).encode("utf-8"))
                 for n, b in files.items()}
        status, report, _ = verifier.verify(sorted(files.items()))
        out = "\n".join(report)
        if isinstance(verdict, tuple):
            source, line, why = verdict
            ok = status == 1 and out.startswith(f"FAILED: {source}:{line}: ") and why in out
        elif verdict == "none":
            ok = status == 1 and out == "no roll audit found"
        else:
            ok = status == 0 and out.startswith(verdict)
        if not ok:
            raise RuntimeError(f"case {name}: wanted {verdict}, got {status} {out}")
        folder = os.path.join(HERE, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(os.path.join(folder, "input"))
        for file_name, data in files.items():
            with open(os.path.join(folder, "input", file_name), "wb") as f:
                f.write(data)
        with open(os.path.join(folder, "expected.txt"), "w", encoding="utf-8") as f:
            f.write(out + "\n")
        with open(os.path.join(folder, "exit.txt"), "w") as f:
            f.write(f"{status}\n")
        self.written.append(name)


def main(argv):
    server = argv[1:]
    honest = session(server, HONEST, False)
    honest_json = session(server, HONEST, True)
    forged = session(server, forged_script(), False)
    forged_json = session(server, forged_script(), True)
    for name in os.listdir(HERE):
        if os.path.isdir(os.path.join(HERE, name)) and not name.startswith("fuzz-"):
            shutil.rmtree(os.path.join(HERE, name))
    cases = Cases()
    dice = 3 + 2 + 3 + 1 + 2 + 4 + 100
    cases.add("good-console-log", {"server.log": honest}, f"verified: 7 rolls, {dice} dice, 2 keys")
    cases.add("good-console-json", {"server.jsonl": honest_json},
              f"verified: 7 rolls, {dice} dice, 2 keys")
    cases.add("forged-in-chat-names-and-roll-text", {"server.log": forged},
              "verified: 3 rolls, 3 dice, 1 keys")
    cases.add("forged-in-chat-names-and-roll-text-json", {"server.jsonl": forged_json},
              "verified: 3 rolls, 3 dice, 1 keys")

    reveals = [i for i, line in enumerate(honest) if "Roll audit: key " in line]
    own = r"[0-9/]{8} [0-9:]{5} \[Rollmoot\]\[info\] " + MARK
    commitments = [i for i, line in enumerate(honest) if re.match(own + "commitment ", line)]
    records = [i for i, line in enumerate(honest) if re.match(own + "#", line)]
    unloads = [i for i, line in enumerate(honest) if line.rstrip().endswith("Plugin unloaded")]

    cases.add("awaiting-reveal", {"server.log": honest[:reveals[1]]},
              "verified: 5 rolls, 11 dice, 1 keys\nnot yet verifiable: 2 rolls under commitment")

    def changed(lines, at, old, new):
        copy = list(lines)
        assert old in copy[at], (copy[at], old)
        copy[at] = copy[at].replace(old, new, 1)
        return copy

    copy = list(honest)
    copy[records[2]] = re.sub(r"d4:(\d)", lambda m: f"d4:{int(m.group(1)) % 4 + 1}", copy[records[2]])
    cases.add("value-changed", {"server.log": copy}, ("server.log", records[2] + 1, "the key gives"))
    # Dice changed and the reveal deleted, with "Plugin unloaded" and a later commitment after.
    hidden = list(copy)
    del hidden[reveals[0]]
    cases.add("reveal-deleted-then-unloaded", {"server.log": hidden},
              ("server.log", commitments[0] + 1, "key committed here was never revealed (5 rolls"))
    no_unload = [line for i, line in enumerate(hidden) if i != unloads[0] - 1]
    cases.add("reveal-deleted-then-new-commitment", {"server.log": no_unload},
              ("server.log", commitments[0] + 1, "key committed here was never revealed (5 rolls"))
    crash = list(honest)
    del crash[reveals[1]]
    cases.add("last-reveal-deleted-then-unloaded", {"server.log": crash},
              ("server.log", commitments[1] + 1, "never revealed (2 rolls cannot be checked)"))

    copy = list(honest)
    copy[reveals[0]] = re.sub(r"key [0-9a-f]{64}", "key " + "ab" * 32, copy[reveals[0]])
    cases.add("key-replaced", {"server.log": copy}, ("server.log", reveals[0] + 1,
                                                     "does not match its commitment"))
    copy = list(honest)
    del copy[records[1]]
    cases.add("record-removed", {"server.log": copy},
              ("server.log", records[2], "record #3 where #2 was due"))
    copy = list(honest)
    del copy[records[4]]  # the last record under the first key: the numbers still run on
    cases.add("last-record-removed", {"server.log": copy},
              ("server.log", reveals[0], "the key served 5 rolls but 4 are recorded"))
    for name, served in (("count-above-records", 6), ("count-below-records", 4)):
        copy = changed(honest, reveals[0], "after 5 rolls", f"after {served} rolls")
        cases.add(name, {"server.log": copy},
                  ("server.log", reveals[0] + 1, f"the key served {served} rolls but 5"))
    copy = list(honest)
    copy.insert(reveals[0] + 1, honest[records[4]].replace("#5 ", "#6 "))
    cases.add("record-after-reveal", {"server.log": copy},
              ("server.log", reveals[0] + 2, "record #6 after its key was revealed"))
    copy = list(honest)
    copy.insert(commitments[0], honest[records[0]])
    cases.add("record-before-commitment", {"server.log": copy},
              ("server.log", commitments[0] + 1, "record #1 with no commitment before it"))
    # Names are not bound by the key: two records' names swapped still verify.
    copy = list(honest)
    name_of = lambda line: re.search(r"#\d+ (\"(?:[^\"\\]|\\.)*\") ", line).group(1)
    first, third = name_of(copy[records[0]]), name_of(copy[records[3]])
    copy[records[0]] = copy[records[0]].replace(first, third, 1)
    copy[records[3]] = copy[records[3]].replace(third, first, 1)
    cases.add("names-swapped-still-verify", {"server.log": copy},
              f"verified: 7 rolls, {dice} dice, 2 keys")

    prefix = honest[records[0]][:honest[records[0]].index(MARK) + len(MARK)]
    for name, text, why in (
            ("brackets-after-record-number", "#2 " + "[" * 1000, "neither a JSON string nor null"),
            ("huge-die", '#2 "Ann" d99999999999999999999:1', "a die the plugin cannot roll"),
            ("one-sided-die", '#2 "Ann" d1:1', "a die the plugin cannot roll"),
            ("value-outside-die", '#2 "Ann" d6:7', "die 1 of d6 is outside 1 to 6"),
            ("too-many-dice", '#2 "Ann" d6:' + ",".join(["1"] * 201), "more than 200 dice"),
            ("too-many-groups", '#2 "Ann"' + " d6:1" * 21, "more than 20 groups"),
            ("malformed-commitment", "commitment " + ZERO[:63], "not a commitment"),
            ("malformed-reveal", "key " + ZERO + " after 01 rolls", "not a key reveal")):
        copy = list(honest)
        copy.insert(records[1], prefix + text + "\n")
        cases.add(name, {"server.log": copy}, ("server.log", records[1] + 1, why))
    # The most one roll can hold is accepted: 200 values in 20 groups, under a key not yet
    # revealed.
    at_limit = honest[:records[0]] + [prefix + '#1 null' + (" d1000:" + ",".join(["1000"] * 10)) * 20 + "\n"]
    cases.add("most-dice-one-roll-holds", {"server.log": at_limit},
              "verified: 0 rolls, 0 dice, 0 keys\nnot yet verifiable: 1 rolls")

    cases.add("no-audit-line", {"server.log": [l for l in honest if "Roll audit" not in l]}, "none")
    cases.add("empty-file", {"server.log": b""}, "none")
    text = "".join(honest)
    cases.add("utf16-copy", {"server.log": text.encode("utf-16")}, ("server.log", 1, "not UTF-8"))
    # Plain ASCII in UTF-16 without a byte order mark is UTF-8 with a zero byte between letters.
    cases.add("utf16-copy-without-bom", {"server.log": "".join(forged).encode("utf-16-le")},
              "none")
    copy = list(honest)
    latin = copy[records[0]].encode("utf-8").replace(b"Ann", "Änn".encode("latin-1"))
    cases.add("not-utf8", {"server.log": b"".join(l.encode() for l in copy[:records[0]]) + latin},
              ("server.log", records[0] + 1, "not UTF-8"))

    day1, day2 = audit_files(honest)
    cases.add("audit-files-two-days", {"rolls-2026-12-08.txt": day1, "rolls-2026-12-09.txt": day2},
              f"verified: 7 rolls, {dice} dice, 2 keys")
    cases.add("audit-file-crlf", {"rolls-2026-12-08.txt": [l.replace("\n", "\r\n") for l in day1]},
              "verified: 5 rolls, 11 dice, 1 keys")
    moved = [day1 + day2[:-1], day2[-1:]]  # the unload came just after midnight
    cases.add("audit-files-key-continued", {"rolls-2026-12-08.txt": moved[0],
                                            "rolls-2026-12-09.txt": moved[1]},
              f"verified: 7 rolls, {dice} dice, 2 keys")
    cases.add("audit-file-continued-alone", {"rolls-2026-12-09.txt": moved[1]},
              ("rolls-2026-12-09.txt", 1, "a key revealed with no commitment before it"))
    for name, line, why in (
            ("audit-file-stray-line", "12/09/26 00:48 [Rollmoot][info] " + MARK + "commitment " + ZERO,
             "not a line of a roll audit file"),
            ("audit-file-marker-inside", "2026-12-08T22:41:00Z " + MARK + "commitment " + ZERO,
             "not a line of a roll audit file"),
            ("audit-file-other-text", "2026-12-08T22:41:00Z on", "not a line of a roll audit file"),
            ("audit-file-time-malformed", "2026-12-08 22:41:00Z commitment " + ZERO,
             "not a line of a roll audit file")):
        copy = list(day1)
        copy.insert(2, line + "\n")
        cases.add(name, {"rolls-2026-12-08.txt": copy}, ("rolls-2026-12-08.txt", 3, why))
    copy = list(day1)
    copy[1] = copy[1].replace("Z #1", "Z #1 ")
    cases.add("audit-file-record-extra-space", {"rolls-2026-12-08.txt": copy},
              ("rolls-2026-12-08.txt", 2, "record #1"))
    print(f"make_cases: {len(cases.written)} cases")


if __name__ == "__main__":
    sys.exit(main(sys.argv))
