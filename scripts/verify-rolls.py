#!/usr/bin/env python3
"""Checks the roll audit in a Rollmoot server log: that every key matches the commitment
logged before its first roll, and that every recorded die is the one the key gives.

usage: verify-rolls.py [LOG...]     (standard input when no file is named)

Any text before "Rollmoot: Roll audit: " on a line is ignored, so the server's own log and
the console server's output (plain or --json) both serve; files are read in the order given,
as one log. Prints "verified: R rolls, D dice, K keys" and exits 0, or names the first line
that fails and why and exits 1. Records under a key not yet revealed are reported as
"not yet verifiable: N rolls under commitment C" and are no failure.

The stream, for each key: block j (j = 0, 1, ...) is HMAC-SHA256(key, j as 8 bytes, unsigned,
big-endian); word k of a block is its bytes 4k..4k+3 as an unsigned big-endian number; words
are used in order across the key's rolls. A die of S sides takes a word w: with
p = w * S, it is p >> 32, plus 1, unless p mod 2^32 is below (2^32 - S) mod S, when the word
is used up and the next one tried. Standard library only.
"""
import hashlib
import hmac
import json
import re
import sys

MARKER = "Rollmoot: Roll audit: "
COMMITMENT = re.compile(r"commitment ([0-9a-f]{64})")
REVEAL = re.compile(r"key ([0-9a-f]{64}) after (0|[1-9][0-9]*) rolls")
RECORD = re.compile(r"#([1-9][0-9]*) ")
NUMBER = r"(?:0|[1-9][0-9]*)"
GROUP = rf"d([1-9][0-9]*):({NUMBER}(?:,{NUMBER})*)"
GROUPS = re.compile(rf"(?: {GROUP})+")


def words(key):
    block_index = 0
    while True:
        block = hmac.new(key, block_index.to_bytes(8, "big"), hashlib.sha256).digest()
        for k in range(8):
            yield int.from_bytes(block[4 * k:4 * k + 4], "big")
        block_index += 1


def draw(stream, sides):
    product = next(stream) * sides
    low = product & 0xFFFFFFFF
    if low < sides:
        threshold = (2**32 - sides) % sides
        while low < threshold:
            product = next(stream) * sides
            low = product & 0xFFFFFFFF
    return (product >> 32) + 1


def audit_text(line):
    """The text after the marker, or None for a line that is no audit line."""
    stripped = line.strip()
    if stripped.startswith("{"):  # the console server's --json events
        try:
            event = json.loads(stripped)
        except ValueError:
            event = None
        if isinstance(event, dict) and isinstance(event.get("text"), str):
            line = event["text"]
    at = line.find(MARKER)
    return None if at < 0 else line[at + len(MARKER):].rstrip("\r\n")


def parse_record(text):
    """(N, name or None, [(sides, [values])]) for a record line, else None."""
    head = RECORD.match(text)
    if not head:
        return None
    at = head.end()
    if text.startswith("null", at):
        name, at = None, at + 4
    else:
        try:
            name, at = json.JSONDecoder().raw_decode(text, at)
        except ValueError:
            return None
        if not isinstance(name, str):
            return None
    rest = text[at:]
    if not GROUPS.fullmatch(rest):
        return None
    groups = [(int(sides), [int(v) for v in values.split(",")])
              for sides, values in re.findall(GROUP, rest)]
    return int(head.group(1)), name, groups


class Key:
    def __init__(self, commitment, where):
        self.commitment = commitment
        self.where = where
        self.records = []  # (where, N, groups)


def verify(sources):
    """sources: (name, iterable of lines). Returns (failures, report lines)."""
    failures = []  # (order, where, why)
    open_key = None
    unrevealed = []
    rolls = dice = keys = 0
    order = 0

    def fail(at, where, why):
        failures.append((at, where, why))

    for source, lines in sources:
        for number, line in enumerate(lines, 1):
            order += 1
            here = (order, f"{source}:{number}")
            text = audit_text(line)
            if text is None:
                continue
            commitment = COMMITMENT.fullmatch(text)
            reveal = REVEAL.fullmatch(text)
            record = None if commitment or reveal else parse_record(text)
            if commitment:
                if open_key is not None:
                    unrevealed.append(open_key)
                open_key = Key(commitment.group(1), here)
            elif record:
                n, _, groups = record
                if open_key is None:
                    fail(*here, f"record #{n} with no commitment before it")
                    continue
                due = len(open_key.records) + 1
                if n != due:
                    fail(*here, f"record #{n} where #{due} was due: a record line is missing "
                                "or extra")
                open_key.records.append((here, n, groups))
            elif reveal:
                key_hex, served = reveal.group(1), int(reveal.group(2))
                if open_key is None:
                    fail(*here, "a key revealed with no commitment before it")
                    continue
                key = bytes.fromhex(key_hex)
                if hashlib.sha256(key).hexdigest() != open_key.commitment:
                    fail(*here, f"the key does not match its commitment "
                                f"{open_key.commitment} ({open_key.where[1]})")
                else:
                    if served != len(open_key.records):
                        fail(*here, f"the key served {served} rolls but {len(open_key.records)} "
                                    "are recorded: a record line is missing or extra")
                    stream = words(key)
                    for (at, where), n, groups in open_key.records:
                        for sides, values in groups:
                            for index, value in enumerate(values, 1):
                                given = draw(stream, sides)
                                if value != given:
                                    fail(at, where, f"record #{n}: die {index} of d{sides} is "
                                                    f"{value}, the key gives {given}")
                    rolls += len(open_key.records)
                    dice += sum(len(v) for r in open_key.records for _, v in r[2])
                    keys += 1
                open_key = None
            # Anything else after the marker (the setting's line, the error line, or text
            # that merely contains the marker) is no part of the record.
    if open_key is not None:
        unrevealed.append(open_key)
    report = [f"verified: {rolls} rolls, {dice} dice, {keys} keys"]
    report += [f"not yet verifiable: {len(k.records)} rolls under commitment {k.commitment}"
               for k in unrevealed]
    return sorted(failures), report


def main(argv):
    if any(a in ("-h", "--help") for a in argv):
        print(__doc__.strip())
        return 0
    try:
        if argv:
            sources = []
            for path in argv:
                with open(path, encoding="utf-8", errors="replace") as f:
                    sources.append((path, f.readlines()))
        else:
            stdin = open(sys.stdin.fileno(), encoding="utf-8", errors="replace", closefd=False)
            sources = [("<stdin>", stdin.readlines())]
    except OSError as error:
        print(f"verify-rolls: {error}", file=sys.stderr)
        return 2
    failures, report = verify(sources)
    if failures:
        _, where, why = failures[0]
        print(f"FAILED: {where}: {why}")
        return 1
    print("\n".join(report))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
