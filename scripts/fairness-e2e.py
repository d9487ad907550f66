#!/usr/bin/env python3
"""Are the dice rigged, end to end: a player types "/dS 100" into the console server many
times; the values are read back from the chat lines the players received and handed to
rollmoot-fairness, which runs the same tests as on its own draws.

Usage: scripts/fairness-e2e.py [--build-dir build/dev] [--dice 200000] [--sides 20] [--csv FILE]
Exit status: that of rollmoot-fairness (0 fair, 1 suspicious), 2 when the server misbehaved.
With --smoke only the pipeline is judged (a fair die is called suspicious once in a while,
which must not fail a test run): exit 0 whatever the verdict, 2 on a broken line or leak.
"""
import argparse
import json
import pathlib
import re
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
LINE = re.compile(r"^Roller rolled (\d+)d(\d+) and got: ([\d, ]+?)(?: \(Total: (\d+)\))?$")


def fail(message):
    print(f"fairness-e2e: {message}", file=sys.stderr)
    sys.exit(2)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=str(ROOT / "build" / "dev"))
    parser.add_argument("--dice", type=int, default=200000, help="dice to roll in all")
    parser.add_argument("--sides", type=int, default=20, choices=[3, 4, 6, 8, 10, 12, 20])
    parser.add_argument("--csv", help="also write size,face,count,expected rows")
    parser.add_argument("--smoke", action="store_true", help="judge the pipeline, not the dice")
    args = parser.parse_args()
    binaries = pathlib.Path(args.build_dir) / "bin"
    server, report = binaries / "rollmoot-server", binaries / "rollmoot-fairness"
    for program in (server, report):
        if not program.exists():
            fail(f"{program} not found; build first (cmake --build --preset dev)")

    commands = -(-args.dice // 100)
    with tempfile.TemporaryDirectory() as work:
        script = pathlib.Path(work) / "rolls.txt"
        script.write_text(f"say #1 /d{args.sides} 100\n" * commands + "quit\n")
        run = subprocess.run(
            [server, "--players", "Roller", "--no-log-sinks", "--json", "--script", script],
            capture_output=True, text=True, check=False)

        values, lines, stats = [], 0, None
        for raw in run.stdout.splitlines():
            event = json.loads(raw)
            if event["event"] == "stats":
                stats = event
            elif event["event"] == "error":
                fail(f"server error: {event['text']}")
            elif event["event"] == "chat":
                match = LINE.match(event["text"])
                if not match or int(match.group(2)) != args.sides:
                    fail(f"unexpected chat line: {event['text']}")
                rolled = [int(v) for v in match.group(3).split(", ")]
                total = int(match.group(4) or rolled[0])
                if len(rolled) != int(match.group(1)) or sum(rolled) != total:
                    fail(f"line does not add up: {event['text']}")
                values.extend(rolled)
                lines += 1
        if run.returncode != 0 or stats is None or stats["blocks"] != 0:
            fail(f"server exit {run.returncode}, final stats {stats}; stderr: {run.stderr[-500:]}")
        if lines != commands:
            fail(f"{commands} rolls typed but {lines} lines received")
        print(f"{lines} chat lines read, {len(values)} dice; host blocks outstanding at exit: 0")
        sys.stdout.flush()

        tally = pathlib.Path(work) / "values.txt"
        tally.write_text("\n".join(map(str, values)) + "\n")
        command = [report, "--values", tally, "--sides", str(args.sides)]
        if args.csv:
            command += ["--csv", args.csv]
        status = subprocess.run(command, check=False).returncode
        return 0 if args.smoke and status in (0, 1) else status


if __name__ == "__main__":
    sys.exit(main())
