#!/usr/bin/env python3
"""Runs the built console server on small scripts and checks what it reports.

usage: smoke_test.py CASE [--version V] -- COMMAND...
COMMAND is how to start the server (an emulator may come first). CASE is one of CASES.
"""
import json
import os
import queue
import re
import subprocess
import sys
import tempfile
import threading

LOG_LINE = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d \[Rollmoot\]\[(info|error)\] (Rollmoot: .*)$")
EVENT_KEYS = {
    "chat": ["event", "player", "to", "sender", "text"],
    "log": ["event", "text"],
    "stats": ["event", "blocks", "bytes", "allocations", "frees"],
    "host": ["event", "text"],
    "error": ["event", "text"],
}
ROLL = re.compile(r"^(.*) rolled (\d+)d(\d+) and got: ([\d, ]+?)(?: \(Total: (\d+)\))?$")
TIMEOUT = 30


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def parse_events(stdout):
    """Every output line must be one JSON object of a known shape. Lines end at LF alone:
    JSON text may hold U+2028 and the like, which splitlines() would also split at."""
    events = []
    lines = stdout.decode("utf-8").split("\n")
    for line in lines[:-1] if lines[-1] == "" else lines:
        line = line.rstrip("\r")
        event = json.loads(line)
        check(isinstance(event, dict), f"not an object: {line!r}")
        keys = EVENT_KEYS.get(event.get("event"))
        check(keys == list(event), f"unexpected event shape: {line!r}")
        events.append(event)
    return events


def run(server, args, script=None, stdin=b""):
    """Runs the server to completion; a script is given as bytes, written to a file.

    The server's output goes to files and the wait is for its exit, not for the end of a pipe:
    under Wine, the helpers a program may start (the wineserver, its services) inherit its
    standard handles and can hold a pipe open long after the program has ended."""
    with tempfile.TemporaryDirectory() as scratch:
        if script is not None:
            path = os.path.join(scratch, "script.txt")
            with open(path, "wb") as f:
                f.write(script)
            args = args + ["--script", path]
        with open(os.path.join(scratch, "stdout"), "w+b") as out, \
                open(os.path.join(scratch, "stderr"), "w+b") as err:
            process = subprocess.Popen(server + args, stdin=subprocess.PIPE, stdout=out, stderr=err)
            try:
                process.stdin.write(stdin)  # small: a pipe's buffer holds it whole
                process.stdin.close()
            except BrokenPipeError:
                pass  # the server ended without reading its input; its exit status says why
            try:
                code = process.wait(timeout=TIMEOUT)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                code = None
            out.seek(0)
            err.seek(0)
            output, errors = out.read(), err.read()
    check(code is not None, f"{args}: still running after {TIMEOUT} s; stdout {output[-2000:]!r}, "
                            f"stderr {errors[-2000:]!r}")
    return code, output, errors


def status(code, out, err):
    """What a failed exit status check shows: the status, and what the server said."""
    return f"exit status {code}, stderr {err[-2000:]!r}, stdout ends {out[-1000:]!r}"


class Cursor:
    """Walks the events in order, so a check states what comes next and nothing else."""

    def __init__(self, events):
        self.events, self.at = events, 0

    def take(self, kind, text=None):
        check(self.at < len(self.events), f"expected a {kind} event, got the end")
        event = self.events[self.at]
        check(event["event"] == kind, f"expected {kind} ({text}), got {event}")
        if text is not None:
            matched = text.search(event["text"]) if hasattr(text, "search") else event["text"] == text
            check(matched, f"expected {kind} {text!r}, got {event['text']!r}")
        self.at += 1
        return event

    def chats(self):
        lines = []
        while self.at < len(self.events) and self.events[self.at]["event"] == "chat":
            lines.append(self.events[self.at])
            self.at += 1
        return lines

    def log(self, message):
        event = self.take("log")
        match = LOG_LINE.match(event["text"])
        check(match and match.group(2) == message, f"log line {event['text']!r} is not {message!r}")

    def end(self):
        check(self.at == len(self.events), f"unexpected events: {self.events[self.at:]}")


def check_roll(lines, roller, sides, count, recipients, sender="[Dice]"):
    """One roll line, the same for every recipient, in join order."""
    check([e["player"] for e in lines] == recipients,
          f"roll went to {[e['player'] for e in lines]}, not {recipients}")
    texts = {e["text"] for e in lines}
    check(len(texts) == 1, f"recipients saw different lines: {texts}")
    check(all(e["sender"] == sender for e in lines), f"sender is not {sender}: {lines}")
    match = ROLL.match(texts.pop())
    check(match, f"not a roll line: {lines[0]['text']!r}")
    check(match.group(1) == roller and int(match.group(2)) == count and int(match.group(3)) == sides,
          f"wrong roll: {lines[0]['text']!r}")
    values = [int(v) for v in match.group(4).split(", ")]
    check(len(values) == count and all(1 <= v <= sides for v in values), f"bad dice: {values}")
    check(count == 1 or int(match.group(5)) == sum(values), f"bad total: {lines[0]['text']!r}")


def local_path(path):
    """A path the server printed, as this script can open it: under Wine the server prints
    Windows paths, which winepath turns back into the build machine's."""
    if not re.match(r"^[A-Za-z]:\\", path):
        return path
    code, out, err = run(["winepath", "-u"], [path])
    check(code == 0 and out.strip(), f"winepath cannot map {path!r}: {code} {err!r}")
    return out.decode("utf-8").strip()


def start_of_session(cursor, created=True, sender="Dice"):
    """Server directory notice, the configuration lines, the loaded notice. Returns the dir."""
    notice = cursor.take("host", re.compile(r"^server directory "))
    if created:
        cursor.log("Rollmoot: config.json not found, creating default configuration...")
        cursor.log("Rollmoot: Default config.json created")
    cursor.log(f"Rollmoot: Configuration loaded - SenderName: {sender}")
    cursor.take("host", re.compile(r"^loaded .*Rollmoot\.(so|dll)$"))
    return re.match(r"^server directory (.*) \(temporary, removed at exit\)$", notice["text"])


def end_of_session(cursor, unload=True):
    if unload:
        cursor.log("Rollmoot: Plugin unloaded")
        cursor.take("host", re.compile(r"^unloaded "))
    stats = cursor.take("stats")
    check(stats["blocks"] == 0 and stats["bytes"] == 0, f"host blocks outstanding: {stats}")
    check(stats["allocations"] == stats["frees"], f"allocations and frees differ: {stats}")
    cursor.end()


def case_session(server, _):
    """A whole session: joins, rolls, leaving, errors, unload and load again."""
    script = "\n".join([
        "# players 1-3 come from --players",
        "",
        "join Zoë 🎲",           # 4
        "join Bad\udcff",       # 5: ill-formed UTF-8
        "join",                 # 6: empty name
        "say #1 /d20",
        "leave Bob\r",          # the first Bob present, #2; CR line ending
        "say Bob /d6 3",        # now the second Bob, #3
        "say #2 /d4",
        "say #1 hi\tthere  you",
        "say Zed /d4",
        "frobnicate",
        "stats",
        "unload",
        "unload",
        "say #1 /d20",
        "load",
        "load",
        "say #4 /d12 2",
        "quit",
        "say #1 /d20",
    ]).encode("utf-8", "surrogateescape") + b"\n"
    code, out, err = run(server, ["--json", "--players", "Ann,Bob,Bob"], script)
    check(code == 0, status(code, out, err))
    c = Cursor(parse_events(out))
    temp = start_of_session(c)
    check(temp, "the server directory notice does not say it is temporary")
    for number, name in enumerate(["Ann", "Bob", "Bob", "Zoë 🎲", "Bad\ufffd"], start=1):
        c.take("host", f"joined #{number} {name}")
    c.take("host", "joined #6 with an empty name")
    first = c.chats()
    check_roll(first, "Ann", 20, 1, [1, 2, 3, 4, 5, 6])
    check([e["to"] for e in first] == ["Ann", "Bob", "Bob", "Zoë 🎲", "Bad\ufffd", ""],
          f"wrong names: {first}")
    c.take("host", "left #2 Bob")
    check_roll(c.chats(), "Bob", 6, 3, [1, 3, 4, 5, 6])
    c.take("error", "#2 Bob has left")
    c.take("host", "#1 Ann: not a command: hi\tthere  you")
    c.take("error", re.compile(r"Zed"))
    c.take("error", "unknown command: frobnicate")
    c.take("stats")
    c.log("Rollmoot: Plugin unloaded")
    c.take("host", re.compile(r"^unloaded "))
    c.take("error", "the plugin is not loaded")
    c.take("host", "#1 Ann: not a command: /d20")
    c.log("Rollmoot: Configuration loaded - SenderName: Dice")
    c.take("host", re.compile(r"^loaded "))
    c.take("error", "the plugin is already loaded")
    check_roll(c.chats(), "Zoë 🎲", 12, 2, [1, 3, 4, 5, 6])
    end_of_session(c)
    check(not os.path.exists(local_path(temp.group(1))),
          "the temporary server directory is still there")


def case_no_log_sinks(server, _):
    code, out, err = run(server, ["--json", "--no-log-sinks", "--players", "Ann"],
                       b"say Ann /d8\nunload\nload\nsay #1 /d8 2\n")
    check(code == 0, status(code, out, err))
    events = parse_events(out)
    check(not [e for e in events if e["event"] == "log"], "log events without sinks")
    check(len([e for e in events if e["event"] == "chat"]) == 2, "rolls went missing")
    check(events[-1]["event"] == "stats" and events[-1]["blocks"] == 0, f"ends with {events[-1]}")


def tree(root):
    """Every file and folder below root, with file contents."""
    found = {}
    for folder, folders, files in os.walk(root):
        for name in folders:
            found[os.path.join(folder, name)] = None
        for name in files:
            with open(os.path.join(folder, name), "rb") as f:
                found[os.path.join(folder, name)] = f.read()
    return found


def case_server_dir(server, _):
    """--server-dir is used as it is: its configuration is read and nothing is created."""
    with tempfile.TemporaryDirectory() as root:
        folder = os.path.join(root, "ArkApi", "Plugins", "Rollmoot")
        os.makedirs(folder)
        with open(os.path.join(folder, "config.json"), "w") as f:
            f.write('{"SenderName":"GM"}')
        before = tree(root)
        code, out, err = run(server, ["--json", "--server-dir", root, "--players", "Ann,Bo"],
                             b"say Bo /d10 2\n")
        check(code == 0, status(code, out, err))
        c = Cursor(parse_events(out))
        c.take("host", f"server directory {root}")
        c.log("Rollmoot: Configuration loaded - SenderName: GM")
        loaded = c.take("host", re.compile(r"^loaded "))
        check(root not in loaded["text"], "the module was not loaded from beside the program")
        c.take("host", "joined #1 Ann")
        c.take("host", "joined #2 Bo")
        check_roll(c.chats(), "Bo", 10, 2, [1, 2], sender="[GM]")
        end_of_session(c)
        check(tree(root) == before, "the server directory changed")

    # Without the plugin's folder the plugin cannot write its file, and nothing is made for it.
    with tempfile.TemporaryDirectory() as root:
        code, out, err = run(server, ["--json", "--server-dir", root], b"")
        check(code == 0, status(code, out, err))
        logs = [e["text"] for e in parse_events(out) if e["event"] == "log"]
        check(any("Failed to create config.json" in line for line in logs), f"logs: {logs}")
        check(os.listdir(root) == [], "something was created in the server directory")


def case_hostile_names(server, _):
    """Names and chat text that would start log lines of their own: every log line the
    plugin writes stays one line, control characters shown as U+FFFD; the audit record
    escapes the name as JSON instead."""
    forged = "Rollmoot: Roll audit: commitment " + "0" * 64
    names = [f"Zed\r{forged}\rx", "Li\u2028ne", "Pa\u2029ra", "Ne\u0085l", "De\x7fl", "Es\x1b[2Jc"]
    shown = [re.sub("[\x00-\x1f\x7f\x85\u2028\u2029]", "\ufffd", name) for name in names]
    script = [f"join {name}" for name in names]
    for number in range(1, len(names) + 1):
        script += [f"say #{number} /d6 2\r{forged}", f"say #{number} /pd4",
                   f"say #{number} /roll 1d8+1", f"say #{number} /roll 1d8\r{forged}"]
    with tempfile.TemporaryDirectory() as root:
        folder = os.path.join(root, "ArkApi", "Plugins", "Rollmoot")
        os.makedirs(folder)
        with open(os.path.join(folder, "config.json"), "w") as f:
            f.write('{"SenderName": "Dice", "LogRolls": true, "PrivateCommands": true, '
                    '"RollCommand": true, "AuditRolls": true}')
        code, out, err = run(server, ["--json", "--server-dir", root],
                             ("\n".join(script) + "\n").encode("utf-8"))
    check(code == 0, status(code, out, err))
    logs = [e["text"] for e in parse_events(out) if e["event"] == "log"]
    # The audit record writes the name as JSON, which leaves U+0085, U+2028, U+2029 and DEL
    # as they are: a reader of records splits lines at LF alone.
    for line in logs:
        check(LOG_LINE.match(line) and "\r" not in line and "\n" not in line and
              (" Rollmoot: Roll audit: #" in line or len(line.splitlines()) == 1),
              f"not one log line: {line!r}")
    messages = [LOG_LINE.match(line).group(2) for line in logs]
    rolls = [m for m in messages if m.startswith(("Rollmoot: Roll: ", "Rollmoot: Private roll: "))]
    expected = [(prefix, name) for name in shown for prefix in ("Roll", "Private roll", "Roll")]
    check(len(rolls) == len(expected), f"{len(rolls)} roll log lines: {rolls}")
    for line, (prefix, name) in zip(rolls, expected):
        check(line.startswith(f"Rollmoot: {prefix}: {name} rolled "), f"roll log line {line!r}")
    records = [m for m in messages if m.startswith("Rollmoot: Roll audit: #")]
    check(len(records) == len(expected) and
          records[0].startswith('Rollmoot: Roll audit: #1 "Zed\\r' + forged + '\\rx" d6:'),
          f"audit records: {records}")


def case_bad_arguments(server, version):
    with tempfile.TemporaryDirectory() as folder:
        for args in (["--bogus"], ["--plugin"], ["--json=yes"], ["--players"],
                     ["--script", os.path.join(folder, "missing.txt")], ["--script", folder]):
            code, out, err = run(server, args)
            check(code == 2, f"{args}: exit status {code}, not 2")
            check(out == b"" and err, f"{args}: stdout {out!r}, stderr {err!r}")
    code, out, err = run(server, ["--help"])
    check(code == 0 and out.startswith(b"usage: rollmoot-server"), f"--help: {code} {out[:40]!r}")
    code, out, err = run(server, ["--version"])
    check(code == 0 and out.decode().rstrip("\r\n") == f"rollmoot-server {version}",
          f"--version: {code} {out!r}")


def case_bad_plugin(server, _):
    """A module that cannot be loaded at start: an error event and status 1."""
    with tempfile.TemporaryDirectory() as folder:
        fake = os.path.join(folder, "Rollmoot.so")
        with open(fake, "w") as f:
            f.write("not a module\n")
        for args in (["--plugin", fake], ["--plugin", os.path.join(folder, "missing.so")],
                     ["--plugin", fake, "--server-dir", folder]):
            code, out, err = run(server, ["--json"] + args, b"stats\n")
            check(code == 1, f"{args}: exit status {code}, not 1")
            events = parse_events(out)
            check(events[-1]["event"] == "error" and "cannot load the plugin" in events[-1]["text"],
                  f"{args}: {events}")


class Piped:
    """A server driven over pipes; lines are read as they come, with a time limit."""

    def __init__(self, server, args):
        # Standard error to a file: a helper Wine starts would hold our own stderr open.
        self.errors = tempfile.TemporaryFile()
        self.process = subprocess.Popen(server + args, stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, stderr=self.errors, bufsize=0)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.process.stdout:
            self.lines.put(line.decode("utf-8").rstrip("\r\n"))
        self.lines.put(None)

    def send(self, line):
        self.process.stdin.write(line.encode("utf-8") + b"\n")
        self.process.stdin.flush()

    def read(self):
        try:
            line = self.lines.get(timeout=TIMEOUT)
        except queue.Empty:
            self.process.kill()
            raise Failure("no answer in time: is the server waiting for more input?")
        check(line is not None, "the server closed its output early")
        return line

    def event(self):
        return parse_events(self.read().encode("utf-8"))[0]

    def close(self):
        """Ends the input; returns the exit status and the lines up to the closing stats
        line. It waits for the exit, then for that last line, not for the end of the pipe,
        which a helper Wine started may keep open."""
        self.process.stdin.close()
        try:
            code = self.process.wait(timeout=TIMEOUT)
        except subprocess.TimeoutExpired:
            self.process.kill()
            raise Failure("the server did not exit at the end of its input")
        rest = []
        while (line := self.lines.get(timeout=TIMEOUT)) is not None:
            rest.append(line)
            if line.startswith('{"event":"stats"'):
                break
        return code, rest


def case_pipe(server, _):
    """Line by line: each command's events arrive before the next command is written."""
    session = Piped(server, ["--json"])
    notice = session.event()
    directory = local_path(re.match(r"^server directory (.*) \(temporary", notice["text"]).group(1))
    while session.event()["event"] != "host":  # the configuration lines, then "loaded"
        pass
    check(os.path.isfile(os.path.join(directory, "ArkApi", "Plugins", "Rollmoot", "config.json")),
          "no config.json in the temporary server directory")
    # A pipe is no terminal: no sample players, so the first to join is #1.
    session.send("join Cy")
    check(session.event() == {"event": "host", "text": "joined #1 Cy"}, "join")
    session.send("join Di")
    session.event()
    session.send("say Di /d20 3")
    lines = [session.event(), session.event()]
    check_roll(lines, "Di", 20, 3, [1, 2])
    session.send("stats")
    check(session.event()["event"] == "stats", "stats")
    code, rest = session.close()
    check(code == 0, f"exit status {code}: {rest}")
    end_of_session(Cursor(parse_events("\n".join(rest).encode("utf-8"))))
    check(not os.path.exists(directory), "the temporary server directory is still there")


def case_pipe_not_interactive(server, _):
    """Readable text on a pipe: no prompt, no sample players, no greeting."""
    code, out, err = run(server, [], stdin=b"stats\njoin Ed\nsay Ed /d4\n")
    check(code == 0, status(code, out, err))
    text = out.decode("utf-8")
    check("rollmoot>" not in text and "help" not in text, f"interactive output: {text}")
    check("host: joined #1 Ed\n" in text, f"Ed is not the first player: {text}")
    check(re.search(r"^\[Dice\] -> #1 Ed: Ed rolled 1d4 and got: [1-4]$", text, re.M), text)
    check(re.search(r"^stats: 0 blocks, 0 bytes outstanding", text.splitlines()[-1]), text)


def case_demo(server, _):
    """The example script in the repository runs cleanly."""
    demo = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples",
                        "demo.txt")
    code, out, err = run(server, ["--json", "--players", "Ann,Nomad", "--script", demo])
    check(code == 0, status(code, out, err))
    events = parse_events(out)
    errors = [e for e in events if e["event"] == "error"]
    check(not errors, f"errors: {errors}")
    check(len([e for e in events if e["event"] == "chat"]) > 0, "no rolls")


CASES = {name[len("case_"):]: f for name, f in globals().items() if name.startswith("case_")}


def main(argv):
    split = argv.index("--")
    options, server = argv[1:split], argv[split + 1:]
    case, version = options[0], options[options.index("--version") + 1] if "--version" in options else None
    try:
        CASES[case](server, version)
    except Failure as failure:
        print(f"FAIL {case}: {failure}")
        return 1
    print(f"ok {case}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
