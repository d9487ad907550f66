#!/usr/bin/env python3
"""Feeds scripts/verify-rolls.py hostile input from a seeded generator: lines of the cases'
logs and audit files cut, spliced, repeated and sprinkled with what a forger or a broken copy
would hold (brackets, quotes, escapes, line breaks, huge numbers, bytes that are not UTF-8).
Every input must end in a verdict of the verifier's own forms, never an exception, and within
the time ctest allows. An input that fails is written to cases/fuzz-SEED-N/input/: mend the
fault, then keep it as a case with its expected verdict.

usage: fuzz_test.py VERIFY_ROLLS_PY [--seed S] [--inputs N]
"""
import argparse
import importlib.util
import os
import random
import re
import sys
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
CASES = os.path.join(HERE, "cases")
VERDICT = re.compile(r"FAILED: [^\n]+:[0-9]+: [^\n]+|no roll audit found|"
                     r"verified: [0-9]+ rolls, [0-9]+ dice, [0-9]+ keys"
                     r"(?:\nnot yet verifiable: [0-9]+ rolls under commitment [0-9a-f]{64}, "
                     r"awaiting its reveal)*")
PIECES = ["[", "{", "}", '"', "\\", "\\u", "\\u12", "\\ud800", "\r", "\n", "\u2028", "\0", "#",
          "#0", "#1 ", "#99999999999 ", " d", "d", ":", ",", "null", "nul", " d6:", " d1000:1000",
          "d99999999999999999999:1", "0", "1", "7", "after ", " rolls", "key ", "commitment ",
          "[Rollmoot][", "[Rollmoot][info] ", "info] ", "Rollmoot: Roll audit: ",
          "Rollmoot: Plugin unloaded", "host: ", "[Dice] -> #1 ", '{"event":"log","text":"',
          '"}', "2026-12-08T22:41:07Z ", "12/09/26 00:48 ", "0" * 64, "f" * 64, "é", "\U0001F3B2"]
BYTES = [b"\xff", b"\xfe\xff", b"\xc3", b"\xed\xa0\x80", b"\xf4\x90\x80\x80", b"\xef\xbb\xbf"]


def load_verifier(path):
    spec = importlib.util.spec_from_file_location("verify_rolls", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def seeds():
    """Every case's input files, as lists of lines."""
    found = []
    for name in sorted(os.listdir(CASES)):
        inputs = os.path.join(CASES, name, "input")
        for file_name in sorted(os.listdir(inputs)):
            with open(os.path.join(inputs, file_name), "rb") as f:
                data = f.read()
            if len(data) < 200_000:
                found.append((file_name, data.split(b"\n")))
    return found


def mutate(rng, lines):
    lines = list(lines)
    for _ in range(rng.randint(1, 8)):
        if not lines:
            lines.append(b"")
        at = rng.randrange(len(lines))
        line = lines[at]
        choice = rng.randrange(9)
        if choice == 0:  # a piece put in
            cut = rng.randint(0, len(line))
            piece = rng.choice(PIECES).encode() * (1000 if rng.random() < 0.1 else 1)
            lines[at] = line[:cut] + piece + line[cut:]
        elif choice == 1:  # a bad byte
            cut = rng.randint(0, len(line))
            lines[at] = line[:cut] + rng.choice(BYTES) + line[cut:]
        elif choice == 2:  # cut short
            lines[at] = line[:rng.randint(0, len(line))]
        elif choice == 3:
            del lines[at]
        elif choice == 4:  # a line repeated elsewhere
            lines.insert(rng.randint(0, len(lines)), line)
        elif choice == 5:  # two lines swapped
            other = rng.randrange(len(lines))
            lines[at], lines[other] = lines[other], line
        elif choice == 6:  # a digit changed
            digits = [i for i, c in enumerate(line) if 48 <= c <= 57]
            if digits:
                i = rng.choice(digits)
                lines[at] = line[:i] + str(rng.randrange(10)).encode() + line[i + 1:]
        elif choice == 7:  # a run of one piece
            lines.insert(at, rng.choice(PIECES).encode() * rng.choice((1, 10, 1000, 20000)))
        else:  # the tail of one line on another
            other = rng.choice(lines)
            lines[at] = line[:rng.randint(0, len(line))] + other[rng.randint(0, len(other)):]
    return b"\n".join(lines)


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("verifier")
    parser.add_argument("--seed", type=int, default=24)
    parser.add_argument("--inputs", type=int, default=1500)
    options = parser.parse_args(argv[1:])
    verifier = load_verifier(options.verifier)
    rng = random.Random(options.seed)
    pool = seeds()
    failures = 0
    for index in range(options.inputs):
        sources = [(name, mutate(rng, lines)) for name, lines in rng.sample(pool, rng.randint(1, 2))]
        try:
            status, report, _ = verifier.verify(sources)
            out = "\n".join(report)
            problem = None
            if not VERDICT.fullmatch(out) or status != (0 if out.startswith("verified") else 1):
                problem = f"verdict of no known form: {status} {out[:300]!r}"
        except Exception:  # noqa: BLE001 - any exception is the finding
            problem = traceback.format_exc()
        if problem:
            failures += 1
            folder = os.path.join(CASES, f"fuzz-{options.seed}-{index}", "input")
            os.makedirs(folder, exist_ok=True)
            for name, data in sources:
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(data)
            print(f"FAIL: input {index} (seed {options.seed}), kept in {folder}:\n{problem}")
            if failures >= 5:
                break
    print(f"verifier fuzz: {options.inputs} inputs from seed {options.seed}, {failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
