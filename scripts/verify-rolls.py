#!/usr/bin/env python3
"""Checks a Rollmoot roll audit: that every key matches the commitment written before its
first roll, and that every recorded die is the one the key gives.

usage: verify-rolls.py [FILE...]     (standard input when no file is named)

Files are read in the order given, as one record (audit/rolls-*.txt sorts by day). It reads
only lines the plugin wrote:
- An audit file (audit/rolls-YYYY-MM-DD.txt) is a file whose first line starts with a UTC time
  "2026-12-08T22:41:07Z ". Every line of it must then be one the plugin writes there.
- Any other file is read as a log: a line counts when "Rollmoot: Roll audit: " directly
  follows the plugin logger's name and level, "[Rollmoot][info] ", at the first "[Rollmoot]["
  of the line, and the line is not one of the console server's own events (host:, error:,
  stats:, chat). Of the console server's --json output only "log" events count.
Prints "verified: R rolls, D dice, K keys" and exits 0; a key not yet revealed at the end is
listed as awaiting its reveal and is no failure. Otherwise prints one line, the first failure
in reading order ("FAILED: FILE:LINE: why", or "no roll audit found"), and exits 1.

The stream, for each key: block j (j = 0, 1, ...) is HMAC-SHA256(key, j as 8 bytes, unsigned,
big-endian); word k of a block is its bytes 4k..4k+3 as an unsigned big-endian number; words
are used in order across the key's rolls. A die of S sides takes a word w: with
p = w * S, it is p >> 32, plus 1, unless p mod 2^32 is below (2^32 - S) mod S, when the word
is used up and the next one tried. Standard library only. verify/verify.js is the same
verifier for the browser: keep the two in step.
"""
import hashlib
import hmac
import json
import re
import sys

MARKER = "Rollmoot: Roll audit: "
LOGGER = "[Rollmoot]["
AUDIT_LINE = "info] " + MARKER
UNLOADED = "info] Rollmoot: Plugin unloaded"
# The console server's own events, which quote what players typed and their names.
CONSOLE_EVENT = re.compile(r"(?:host|error|stats): |\[[\s\S]*\] -> #[0-9]+ ")
# The console server's --json log event, exactly as it writes one.
JSON_LOG_HEAD, JSON_LOG_TAIL = '{"event":"log","text":', "}"
STAMP = re.compile(r"[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z ")
STAMP_SIZE = 21
LOG_STAMP = re.compile(r"[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}")
COMMITMENT = re.compile(r"commitment ([0-9a-f]{64})")
REVEAL = re.compile(r"key ([0-9a-f]{64}) after (0|[1-9][0-9]{0,8}) rolls")
HEX4 = re.compile(r"[0-9a-fA-F]{4}")
# What one roll can hold: sides as /roll allows them; values and groups with room for the
# rerolled and exploded dice of a roll.
MIN_SIDES, MAX_SIDES = 2, 1000
MAX_VALUES, MAX_GROUPS = 200, 20


class Malformed(Exception):
    pass


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


def digits(text, at, most):
    """(value, end) of the decimal number at `at`: no leading zero, at most `most` digits;
    (None, end) when longer. Malformed when there is none."""
    end = at
    while end < len(text) and "0" <= text[end] <= "9":
        end += 1
    if end == at or (text[at] == "0" and end - at > 1):
        raise Malformed("not a record the plugin writes")
    return (int(text[at:end]) if end - at <= most else None), end


def json_string(text, at):
    """(string, end) of the JSON string starting at `at`, scanned by hand so that no input,
    however long or nested, costs more than one pass."""
    end = at + 1
    while True:
        if end >= len(text):
            raise Malformed("not a record the plugin writes")
        c = text[end]
        if c == '"':
            break
        if c == "\\":
            escape = text[end + 1:end + 2]
            if escape and escape in '"\\/bfnrt':
                end += 2
            elif escape == "u" and HEX4.fullmatch(text[end + 2:end + 6]):
                end += 6
            else:
                raise Malformed("not a record the plugin writes")
        elif ord(c) < 0x20:
            raise Malformed("not a record the plugin writes")
        else:
            end += 1
    return json.loads(text[at:end + 1]), end + 1


def parse_record(text):
    """(N, name or None, [(sides, [values])]) of "#N NAME d<S>:<v>,... ..."."""
    n, at = digits(text, 1, 9)
    if n is None or text[at:at + 1] != " ":
        raise Malformed("not a record the plugin writes")
    at += 1
    if text.startswith("null", at):
        name, at = None, at + 4
    elif text.startswith('"', at):
        name, at = json_string(text, at)
    else:
        raise Malformed(f"record #{n}: the name is neither a JSON string nor null")
    groups, values = [], 0
    while at < len(text):
        if not text.startswith(" d", at):
            raise Malformed(f"record #{n}: not a record the plugin writes")
        if len(groups) == MAX_GROUPS:
            raise Malformed(f"record #{n}: more than {MAX_GROUPS} groups, more than one roll has")
        sides, at = digits(text, at + 2, 4)
        if sides is None or not MIN_SIDES <= sides <= MAX_SIDES:
            raise Malformed(f"record #{n}: a die the plugin cannot roll "
                            f"(sides must be {MIN_SIDES} to {MAX_SIDES})")
        dice = []
        separator = ":"
        while text[at:at + 1] == separator:
            if values == MAX_VALUES:
                raise Malformed(f"record #{n}: more than {MAX_VALUES} dice, more than one roll "
                                "draws")
            value, at = digits(text, at + 1, 4)
            if value is None or not 1 <= value <= sides:
                raise Malformed(f"record #{n}: die {len(dice) + 1} of d{sides} is outside 1 to "
                                f"{sides}")
            dice.append(value)
            values += 1
            separator = ","
        if not dice:
            raise Malformed(f"record #{n}: not a record the plugin writes")
        groups.append((sides, dice))
    if not groups:
        raise Malformed(f"record #{n}: no dice")
    return n, name, groups


def parse_audit(text):
    """The audit text after the marker (a log) or the time (an audit file), as
    ("commitment", hex) | ("record", n, name, groups) | ("reveal", hex, n) | None (another
    line of the audit, such as its "on")."""
    if text.startswith("commitment"):
        found = COMMITMENT.fullmatch(text)
        if not found:
            raise Malformed("not a commitment the plugin writes")
        return ("commitment", found.group(1))
    if text.startswith("key"):
        found = REVEAL.fullmatch(text)
        if not found:
            raise Malformed("not a key reveal the plugin writes")
        return ("reveal", found.group(1), int(found.group(2)))
    if text.startswith("#"):
        return ("record", *parse_record(text))
    return None


def log_text(line):
    """(what a log line says for the audit, its time): "unloaded" or the text after the
    marker, or None when the plugin's logger did not write it."""
    if line.startswith("{"):
        if not line.startswith(JSON_LOG_HEAD + '"'):
            return None, ""
        try:
            text, end = json_string(line, len(JSON_LOG_HEAD))
        except Malformed:
            return None, ""
        if line[end:] != JSON_LOG_TAIL:
            return None, ""
        line = text
    at = line.find(LOGGER)
    if at < 0 or CONSOLE_EVENT.match(line[:at]):
        return None, ""
    rest = line[at + len(LOGGER):]
    stamp = LOG_STAMP.match(line)
    time = stamp.group(0) if stamp else ""
    if rest == UNLOADED:
        return "unloaded", time
    if rest.startswith(AUDIT_LINE):
        return rest[len(AUDIT_LINE):], time
    return None, ""


class Key:
    def __init__(self, commitment, order, where):
        self.commitment = commitment
        self.order = order
        self.where = where
        self.records = []  # (order, where, time, N, name, groups)


def split_lines(data):
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    return lines


def decode(sources):
    """[(name, [str])], or raises Malformed with "FILE:LINE: not UTF-8" for the first line
    that is not."""
    decoded = []
    for name, data in sources:
        lines = []
        for number, raw in enumerate(split_lines(data), 1):
            try:
                lines.append(raw.decode("utf-8"))
            except UnicodeDecodeError:
                hint = " (a UTF-16 copy?)" if data[:2] in (b"\xff\xfe", b"\xfe\xff") else ""
                raise Malformed(f"{name}:{number}: not UTF-8{hint}") from None
        decoded.append((name, lines))
    return decoded


def verify(sources):
    """sources: [(name, bytes)]. Returns (exit status, report lines, verified rolls), the
    rolls as (where, time, N, name, [(sides, [values])])."""
    try:
        sources = decode(sources)
    except Malformed as failure:
        return 1, [f"FAILED: {failure}"], []
    failures = []  # (order, where, why); the first one given wins among equal orders
    open_key = None
    closed = None  # how the last key ended: "revealed" or "superseded"
    unrevealed = []
    verified = []
    found = False
    rolls = dice = keys = 0
    order = 0

    def supersede():
        failures.append((open_key.order, open_key.where,
                         f"key committed here was never revealed ({len(open_key.records)} rolls "
                         "cannot be checked)"))

    for source, lines in sources:
        audit_file = bool(lines) and STAMP.match(lines[0]) is not None
        for number, line in enumerate(lines, 1):
            order += 1
            where = f"{source}:{number}"
            if line.endswith("\r"):
                line = line[:-1]
            time = ""
            if audit_file:
                if line == "":
                    continue
                if not STAMP.match(line):
                    failures.append((order, where, "not a line of a roll audit file"))
                    continue
                time, text = line[:STAMP_SIZE - 1], line[STAMP_SIZE:]
            else:
                text, time = log_text(line)
                if text is None:
                    continue
                if text == "unloaded":
                    if open_key is not None:
                        supersede()
                        open_key, closed = None, "superseded"
                    continue
            try:
                entry = parse_audit(text)
                if entry is None and audit_file:
                    raise Malformed("not a line of a roll audit file")
            except Malformed as failure:
                failures.append((order, where, str(failure)))
                found = True
                continue
            if entry is None:
                continue
            found = True
            if entry[0] == "commitment":
                if open_key is not None:
                    supersede()
                open_key = Key(entry[1], order, where)
            elif entry[0] == "record":
                _, n, name, groups = entry
                if open_key is None:
                    why = ("after its key was revealed: anyone can compute it once the key is out"
                           if closed == "revealed" else "with no commitment before it")
                    failures.append((order, where, f"record #{n} {why}"))
                    continue
                due = len(open_key.records) + 1
                if n != due:
                    failures.append((order, where, f"record #{n} where #{due} was due: a record "
                                                   "line is missing or extra"))
                open_key.records.append((order, where, time, n, name, groups))
            else:
                _, key_hex, served = entry
                if open_key is None:
                    failures.append((order, where, "a key revealed with no commitment before it"))
                    continue
                key = bytes.fromhex(key_hex)
                if hashlib.sha256(key).hexdigest() != open_key.commitment:
                    failures.append((order, where, "the key does not match its commitment "
                                                   f"{open_key.commitment} ({open_key.where})"))
                else:
                    if served != len(open_key.records):
                        failures.append((order, where, f"the key served {served} rolls but "
                                                       f"{len(open_key.records)} are recorded: a "
                                                       "record line is missing or extra"))
                    stream = words(key)
                    for at, record_where, record_time, n, name, groups in open_key.records:
                        for sides, values in groups:
                            for index, value in enumerate(values, 1):
                                given = draw(stream, sides)
                                if value != given:
                                    failures.append((at, record_where,
                                                     f"record #{n}: die {index} of d{sides} is "
                                                     f"{value}, the key gives {given}"))
                        verified.append((record_where, record_time, n, name, groups))
                    rolls += len(open_key.records)
                    dice += sum(len(v) for r in open_key.records for _, v in r[5])
                    keys += 1
                open_key, closed = None, "revealed"
    if open_key is not None:
        unrevealed.append(open_key)
    if failures:
        _, where, why = min(failures, key=lambda failure: failure[0])
        return 1, [f"FAILED: {where}: {why}"], []
    if not found:
        return 1, ["no roll audit found"], []
    report = [f"verified: {rolls} rolls, {dice} dice, {keys} keys"]
    report += [f"not yet verifiable: {len(k.records)} rolls under commitment {k.commitment}, "
               "awaiting its reveal" for k in unrevealed]
    return 0, report, verified


def main(argv):
    if any(a in ("-h", "--help") for a in argv):
        print(__doc__.strip())
        return 0
    try:
        if argv:
            sources = []
            for path in argv:
                with open(path, "rb") as f:
                    sources.append((path, f.read()))
        else:
            sources = [("<stdin>", sys.stdin.buffer.read())]
    except OSError as error:
        print(f"verify-rolls: {error}", file=sys.stderr)
        return 2
    status, report, _ = verify(sources)
    print("\n".join(report))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
