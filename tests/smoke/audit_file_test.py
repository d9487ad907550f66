#!/usr/bin/env python3
"""A console server session with the roll audit and its file on: the day's file holds the
log's audit lines, after their UTC times, without the log's marker, with the platform's line
ends and no BOM; /dicekey told the player the commitment and time the file shows; the file
verifies with scripts/verify-rolls.py.

usage: audit_file_test.py VERIFY_ROLLS_PY -- COMMAND...
COMMAND is how to start the console server (an emulator may come first).
"""
import datetime
import os
import re
import subprocess
import sys
import tempfile

CONFIG = ('{"SenderName": "Dice", "AuditRolls": true, "AuditFile": true, '
          '"PrivateCommands": true, "RollCommand": true}')
SCRIPT = """join Ann
join Bj\u00f6rn "the \\\\ quoted"
say Ann /dicekey
say Ann /d20 3
say #2 /pd6 2
say Ann /roll 2d20kh1+1d4+5
say Ann /roll 2 d6
say #2 /dicekey
unload
load
say Ann /roll d%-3d6
say #2 /d12
"""
MARKER = "Rollmoot: Roll audit: "
TIME = re.compile(r"(\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}Z) (.*)$")
DICEKEY = re.compile(r"-> #\d+ [^:]*: Roll audit key ([0-9a-f]{64}), committed (\S+), (\d+) rolls "
                     r"so far$")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def utc_now():
    return datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)


def main(argv):
    split = argv.index("--")
    verifier, server = argv[1], argv[split + 1:]
    # A session that runs across midnight UTC rotates its key there; the next one cannot.
    for _ in range(2):
        if session(verifier, server):
            print("audit_file: ok")
            return 0
    raise Failure("both sessions ran across midnight UTC")


def session(verifier, server):
    """Checks one session; False when it ran across midnight UTC and proves nothing."""
    windows = any(part.lower().endswith(".exe") or "wine" in os.path.basename(part)
                  for part in server)
    eol = b"\r\n" if windows else b"\n"
    with tempfile.TemporaryDirectory() as root:
        folder = os.path.join(root, "ArkApi", "Plugins", "Rollmoot")
        os.makedirs(folder)
        with open(os.path.join(folder, "config.json"), "w") as f:
            f.write(CONFIG)
        start = utc_now()
        done = subprocess.run(server + ["--server-dir", root], input=SCRIPT.encode(),
                              capture_output=True, timeout=60)
        end = utc_now()
        if start.date() != end.date():
            return False
        check(done.returncode == 0, f"server exit status {done.returncode}: {done.stderr!r}")
        output = done.stdout.decode("utf-8").splitlines()

        audit = os.path.join(folder, "audit")
        names = sorted(os.listdir(audit))
        check(len(names) == 1 and all(re.fullmatch(r"rolls-\d{4}-\d{2}-\d{2}\.txt", n)
                                           for n in names), f"files: {names}")
        announced = [line.split("Rollmoot: Roll audit file: ", 1)[1] for line in output
                     if "Rollmoot: Roll audit file: " in line]
        # The plugin's own separators: backslashes on Windows.
        check(len(announced) == 2 and all(re.split(r"[\\/]", p)[-1] == names[0]
                                          for p in announced),
              f"the file's line at each load: {announced}")

        raw = b""
        for name in names:
            with open(os.path.join(audit, name), "rb") as f:
                content = f.read()
            check(not content.startswith(b"\xef\xbb\xbf"), f"{name}: a BOM")
            check(content.endswith(eol) and content.count(b"\n") == content.count(eol),
                  f"{name}: line ends other than {eol!r}")
            raw += content
        lines = raw.decode("utf-8").split(eol.decode())[:-1]

        # The three kinds of audit line; "Roll audit: on" and the errors stay in the log.
        logged = [line.split(MARKER, 1)[1] for line in output if MARKER in line]
        logged = [text for text in logged if re.match(r"(commitment|#\d+|key) ", text)]
        check(len(lines) == len(logged), f"{len(lines)} file lines, {len(logged)} logged")
        times = []
        for line, text in zip(lines, logged):
            match = TIME.fullmatch(line)
            check(match and match.group(2) == text, f"file {line!r} against log {text!r}")
            times.append(match.group(1))
            moment = datetime.datetime.strptime(match.group(1), "%Y-%m-%dT%H:%M:%SZ").replace(
                tzinfo=datetime.timezone.utc)
            check(start <= moment <= end, f"{line!r}: not between {start} and {end}")
        kinds = [re.sub(r" .*", "", text) for text in logged]
        check(kinds == ["commitment", "#1", "#2", "#3", "key", "commitment", "#1", "#2", "key"],
              f"the session's audit lines: {kinds}")

        # What the players were told to note is what the file shows.
        told = [m for m in map(DICEKEY.search, output) if m]
        check(len(told) == 2, f"/dicekey lines: {told}")
        check([m.group(1) for m in told] == [logged[0].split()[1]] * 2 and
              [m.group(2) for m in told] == [times[0]] * 2 and
              [m.group(3) for m in told] == ["0", "3"], f"/dicekey against the file: {told}")

        # The verifier reads the file as it is.
        file = os.path.join(audit, names[0])
        expected = "verified: 5 rolls, 13 dice, 2 keys"
        run = subprocess.run([sys.executable, verifier, file], capture_output=True, text=True,
                             timeout=60)
        said = (run.stdout + run.stderr).strip()
        check(run.returncode == 0 and said == expected, f"{file}: {run.returncode} {said}")
    return True


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except Failure as failure:
        print(f"FAIL: {failure}")
        sys.exit(1)
