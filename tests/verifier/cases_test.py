#!/usr/bin/env python3
"""Runs scripts/verify-rolls.py on every case in cases/ as a user would (from the case's input
folder, its files named in name order) and compares its output and exit status with the
case's.

usage: cases_test.py VERIFY_ROLLS_PY
"""
import os
import subprocess
import sys

CASES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "cases")


def main(argv):
    verifier = os.path.abspath(argv[1])
    failed = []
    names = sorted(os.listdir(CASES))
    for name in names:
        folder = os.path.join(CASES, name)
        with open(os.path.join(folder, "expected.txt"), encoding="utf-8") as f:
            expected = f.read()
        with open(os.path.join(folder, "exit.txt")) as f:
            status = int(f.read())
        inputs = os.path.join(folder, "input")
        done = subprocess.run([sys.executable, verifier, *sorted(os.listdir(inputs))], cwd=inputs,
                              capture_output=True, timeout=60)
        out = done.stdout.decode("utf-8", "replace")
        if done.returncode != status or out != expected or done.stderr:
            failed.append(f"{name}: exit {done.returncode} (want {status})\n  got:  {out!r}\n"
                          f"  want: {expected!r}\n  stderr: {done.stderr[-500:]!r}")
    if not names:
        failed.append("no cases")
    for failure in failed:
        print(f"FAIL: {failure}")
    print(f"verifier cases: {len(names) - len(failed)} of {len(names)} pass")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
