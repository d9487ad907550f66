#!/usr/bin/env python3
"""A console server session with the roll audit on, checked by scripts/verify-rolls.py: the
log as the server wrote it verifies, and copies with one value changed, one record removed
or the key replaced each fail at the line that was touched.

usage: verify_rolls_test.py VERIFY_ROLLS_PY -- COMMAND...
COMMAND is how to start the console server (an emulator may come first).
"""
import os
import re
import subprocess
import sys
import tempfile

CONFIG = '{"SenderName": "Dice", "AuditRolls": true, "PrivateCommands": true, "RollCommand": true}'
# Every kind of command, a name JSON must escape, a reload (a second key), and the end of
# input, which unloads and so reveals the second key.
SCRIPT = """join Ann
join Bj\u00f6rn "the \\\\ quoted"
say Ann /d20 3
say #2 /pd6 2
say Ann /roll 2d20kh1+1d4+5
say Ann /roll 2 d6
say #2 /d3
say Ann /d4 100
unload
load
say Ann /roll d%-3d6
say #2 /d12
"""
ROLLS_PER_KEY = (5, 2)  # the refused "/roll 2 d6" draws nothing and is not recorded
RECORD = re.compile(r"Rollmoot: Roll audit: #(\d+) (.*)$")
CHAT = re.compile(r"rolled (\d+)d(\d+) and got: ([\d, ]+?)(?: \(Total: -?\d+\))?$")


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def verify(script, log_path):
    done = subprocess.run([sys.executable, script, log_path], capture_output=True, text=True,
                          timeout=60)
    return done.returncode, done.stdout + done.stderr


def main(argv):
    split = argv.index("--")
    verifier, server = argv[1], argv[split + 1:]
    with tempfile.TemporaryDirectory() as root:
        folder = os.path.join(root, "ArkApi", "Plugins", "Rollmoot")
        os.makedirs(folder)
        with open(os.path.join(folder, "config.json"), "w") as f:
            f.write(CONFIG)
        done = subprocess.run(server + ["--server-dir", root], input=SCRIPT.encode(),
                              capture_output=True, timeout=60)
        check(done.returncode == 0, f"server exit status {done.returncode}: {done.stderr!r}")
        lines = done.stdout.decode("utf-8").splitlines(keepends=True)

        # Each load commits right after the configuration's lines; each unload reveals right
        # before its last line.
        log = [line.split("] ", 1)[1].rstrip("\n") for line in lines if "[Rollmoot][" in line]
        loads = [i for i, line in enumerate(log) if line == "Rollmoot: Roll audit: on"]
        unloads = [i for i, line in enumerate(log) if line == "Rollmoot: Plugin unloaded"]
        check(len(loads) == 2 and len(unloads) == 2, f"two loads and unloads: {log}")
        for i in loads:
            check(re.fullmatch(r"Rollmoot: Roll audit: commitment [0-9a-f]{64}", log[i + 1]),
                  f"after the configuration: {log[i + 1]!r}")
        for i in unloads:
            check(re.fullmatch(r"Rollmoot: Roll audit: key [0-9a-f]{64} after \d+ rolls",
                               log[i - 1]), f"before the unload line: {log[i - 1]!r}")

        # The record holds the dice players were shown: each fixed command's line against its
        # record, in order.
        records = [m.group(2) for m in map(RECORD.search, lines) if m]
        check(len(records) == sum(ROLLS_PER_KEY), f"{len(records)} records: {records}")
        shown = [m for m in map(CHAT.search, lines) if m and "-> #1" in m.string]
        for line in shown:
            count, sides, values = line.group(1), line.group(2), line.group(3).replace(" ", "")
            check(any(r.endswith(f" d{sides}:{values}") for r in records),
                  f"no record of the dice shown: {line.string!r}")
        check(any(r.startswith('"Bj\u00f6rn \\"the \\\\\\\\ quoted\\"" d6:') for r in records),
              f"the private roll's record: {records}")
        check(any(re.fullmatch(r'"Ann" d20:\d+,\d+ d4:\d+', r) for r in records),
              f"/roll records one group per dice term: {records}")

        log = os.path.join(root, "server.log")
        with open(log, "w", encoding="utf-8") as f:
            f.writelines(lines)
        code, out = verify(verifier, log)
        dice = 3 + 2 + 3 + 1 + 100 + 4 + 1
        check(code == 0 and out.strip() == f"verified: {sum(ROLLS_PER_KEY)} rolls, {dice} dice, 2 keys",
              f"the session's own log: {code} {out}")

        def tampered(name, change):
            copy = list(lines)
            at = change(copy)
            path = os.path.join(root, name + ".log")
            with open(path, "w", encoding="utf-8") as f:
                f.writelines(copy)
            code, out = verify(verifier, path)
            check(code == 1 and f"{path}:{at + 1}:" in out,
                  f"{name}: exit {code}, expected a failure at line {at + 1}: {out}")

        def at_record(copy, n):
            return [i for i, line in enumerate(copy) if RECORD.search(line)][n]

        def change_value(copy):
            i = at_record(copy, 2)  # the /roll record: d20:a,b d4:c
            copy[i] = re.sub(r"d4:(\d)", lambda m: f"d4:{int(m.group(1)) % 4 + 1}", copy[i])
            return i

        def remove_record(copy):
            del copy[at_record(copy, 1)]
            return at_record(copy, 1)  # the next record, whose number is now wrong

        def replace_key(copy):
            i = next(i for i, line in enumerate(copy) if "Rollmoot: Roll audit: key " in line)
            copy[i] = re.sub(r"key [0-9a-f]{64}", "key " + "ab" * 32, copy[i])
            return i

        tampered("value-changed", change_value)
        tampered("record-removed", remove_record)
        tampered("key-replaced", replace_key)

        # Cut before the last reveal: that key's rolls are reported, not failed.
        last = max(i for i, line in enumerate(lines) if "Rollmoot: Roll audit: key " in line)
        with open(log, "w", encoding="utf-8") as f:
            f.writelines(lines[:last])
        code, out = verify(verifier, log)
        check(code == 0 and re.search(rf"not yet verifiable: {ROLLS_PER_KEY[1]} rolls under "
                                      r"commitment [0-9a-f]{64}", out)
              and f"verified: {ROLLS_PER_KEY[0]} rolls" in out, f"an unrevealed key: {code} {out}")
    print("verify_rolls: ok")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except Failure as failure:
        print(f"FAIL: {failure}")
        sys.exit(1)
