#!/usr/bin/env python3
"""Soak test: drives rollmoot-server over a pipe with a long stream of commands (players
joining, rolling, leaving) and then with many unload/load cycles of the plugin, samples the
server's resident memory after every chunk, and checks that the host allocator ends with no
block outstanding and that memory does not grow.

Usage: scripts/soak.py [--build-dir build/release] [--commands 1000000] [--cycles 1000]
       scripts/soak.py --short        (50,000 commands, 100 cycles: under a minute)
       scripts/soak.py --short --all-settings   (every setting of config.json on, private
                                       commands in the chat, a 1 s cooldown, more churn)
       scripts/soak.py --build-dir build/asan --short --no-rss-limit   (leaks by LeakSanitizer)
Exit status 0 when everything held, 1 otherwise.
"""
import argparse
import json
import pathlib
import queue
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
PLAYERS = [f"P{i:02d}" for i in range(100)]
DICE = ["/d3", "/d4", "/d6", "/d8", "/d10", "/d12", "/d20"]
TAILS = ["", " ", " 3", " 100", " 101", " 0", " -7", " abc", " 5abc", "  7", " +4", "\t5",
         " 0x10", " 2147483648", " \uff15", " \u00e9 2", " 3 4", " " + "9" * 150]
PRIVATE_DICE = ["/p" + command[1:] for command in DICE]
# Every setting on. The cooldown is short so that, at the console's pace, most rolls are
# refused and the cooldowns run out and are forgotten all the time.
ALL_SETTINGS = {"SenderName": "Dice", "CooldownSeconds": 1, "PrivateCommands": True,
                "LogRolls": True, "MaxDice": 20, "RollCommand": True}
# The lines a load logs for them; their absence means the file was not read.
SETTINGS_LINES = [b"Rollmoot: Cooldown: 1 s per player", b"Rollmoot: Private commands: ",
                  b"Rollmoot: Roll log: on", b"Rollmoot: Dice per command: at most 20"]
REFUSAL = b" s before rolling again"
# Memory may settle a little after start (allocator arenas, first-use statics); beyond
# this, growth counts as a leak.
ALLOWED_GROWTH_KB = 4096


class Server:
    """rollmoot-server on a pipe; a reader thread drains its output and hands back stats."""

    def __init__(self, binary, log_sinks, extra_args=()):
        command = [str(binary), *extra_args]
        if not log_sinks:
            command.append("--no-log-sinks")
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self.stats = queue.Queue()
        self.errors = []
        self.chat_lines = 0
        # With every setting on: refusals among the chat lines, roll log lines, settings
        # lines of the loads.
        self.refusals = 0
        self.logged_rolls = 0
        self.logged_private_rolls = 0
        self.settings_lines = set()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            if raw.startswith(b"stats: "):
                self.stats.put(raw.decode().strip())
            elif raw.startswith(b"error: "):
                self.errors.append(raw.decode(errors="replace").strip())
            elif raw.startswith(b"["):
                self.chat_lines += 1
                self.refusals += REFUSAL in raw
            elif b"] Rollmoot: Roll: " in raw:
                self.logged_rolls += 1
            elif b"] Rollmoot: Private roll: " in raw:
                self.logged_private_rolls += 1
            else:
                self.settings_lines.update(line for line in SETTINGS_LINES if line in raw)
        self.stats.put(None)

    def send(self, lines):
        self.process.stdin.write(("\n".join(lines) + "\nstats\n").encode())
        self.process.stdin.flush()
        return self.stats.get()

    def rss_kb(self):
        with open(f"/proc/{self.process.pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def finish(self):
        self.process.stdin.write(b"quit\n")
        self.process.stdin.close()
        final = None
        while (line := self.stats.get()) is not None:
            final = line
        return self.process.wait(), final


def chat_commands(count, rng, dice=DICE, churn_rate=0.002, pauses=0):
    """Rolls from present players, with joins and leaves now and then; names are unique
    among present players, so a name always means the player who holds it now. With
    pauses, the console sleeps that many times, evenly spread, long enough for every
    cooldown to run out."""
    present, absent = [], list(PLAYERS)
    for i in range(count):
        if pauses and i % -(-count // pauses) == 0 and i > 0:
            yield f"sleep {ALL_SETTINGS['CooldownSeconds'] + 0.1}"
        churn = rng.random() < churn_rate or not present
        if churn and absent and (not present or rng.random() < 0.5 or len(present) < 20):
            name = absent.pop(rng.randrange(len(absent)))
            present.append(name)
            yield f"join {name}"
        elif churn:
            name = present.pop(rng.randrange(len(present)))
            absent.append(name)
            yield f"leave {name}"
        else:
            text = rng.choice(dice) + rng.choice(TAILS) if rng.random() < 0.98 else "hello all"
            yield f"say {rng.choice(present)} {text}"


def cycle_commands(count, all_settings=False):
    for i in range(count):
        yield "unload"
        yield "load"
        if all_settings:
            # Rolled only if the load forgot the cooldown of the roll just before.
            yield f"say #1 /pd20 {i % 101}"
        yield f"say #1 /d20 {i % 101}"


def server_dir_with_all_settings(build_dir, into):
    """A server directory with the plugin module and a config.json with every setting on;
    returns the arguments that make rollmoot-server use it."""
    module = next((build_dir / "bin" / name for name in ("Rollmoot.so", "Rollmoot.dll")
                   if (build_dir / "bin" / name).exists()), None)
    if module is None:
        sys.exit(f"soak: no Rollmoot module in {build_dir / 'bin'}; build first")
    folder = pathlib.Path(into) / "ArkApi" / "Plugins" / "Rollmoot"
    folder.mkdir(parents=True)
    shutil.copy2(module, folder / module.name)
    (folder / "config.json").write_text(json.dumps(ALL_SETTINGS, indent=2))
    return ["--server-dir", str(into), "--plugin", str(folder / module.name)]


def soak(title, server, commands, chunks):
    lines = list(commands)
    size = max(1, -(-len(lines) // chunks))
    samples, started = [], time.time()
    for at in range(0, len(lines), size):
        stats = server.send(lines[at:at + size])
        samples.append(server.rss_kb())
        print(f"  {title}: {min(at + size, len(lines))} commands, RSS {samples[-1]} kB, {stats}",
              flush=True)
        if stats is None:
            break
    growth = samples[-1] - samples[0]
    print(f"{title}: {len(lines)} commands in {time.time() - started:.0f} s, "
          f"{server.chat_lines} chat lines; RSS after first chunk {samples[0]} kB, "
          f"after last {samples[-1]} kB (min {min(samples)}, max {max(samples)}, "
          f"growth {growth:+d} kB); {stats}", flush=True)
    return growth <= ALLOWED_GROWTH_KB


def settings_held_in(title, server, cycles):
    """Prints what the settings did in a run; False when they did not do their part."""
    print(f"{title}: {server.refusals} refusals among the chat lines; roll log: "
          f"{server.logged_rolls} public, {server.logged_private_rolls} private", flush=True)
    held = True
    if len(server.settings_lines) != len(SETTINGS_LINES):
        print(f"{title}: the settings were not loaded (missing their log lines)")
        held = False
    if server.refusals == 0 or server.logged_rolls + server.logged_private_rolls == 0:
        print(f"{title}: no refusal or no roll log line: the settings had no effect")
        held = False
    if title.startswith("load/unload") and server.logged_private_rolls != cycles:
        print(f"{title}: {server.logged_private_rolls} private rolls logged after {cycles} "
              f"loads: the roll right after a load must roll (no cooldown outlives a reload) "
              f"and be logged")
        held = False
    return held


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=str(ROOT / "build" / "release"))
    parser.add_argument("--commands", type=int, default=1000000)
    parser.add_argument("--cycles", type=int, default=1000)
    parser.add_argument("--short", action="store_true", help="50,000 commands and 100 cycles")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--all-settings", action="store_true",
                        help="every setting of config.json on (1 s cooldown, private "
                             "commands mixed into the chat, roll log, MaxDice 20), ten "
                             "times the joins and leaves, and the roll log to the sinks")
    parser.add_argument("--no-rss-limit", action="store_true",
                        help="report memory but do not judge it (sanitizer builds, whose own "
                             "books grow; LeakSanitizer judges leaks there, by the exit status)")
    args = parser.parse_args()
    if args.short:
        args.commands, args.cycles = 50000, 100
    binary = pathlib.Path(args.build_dir) / "bin" / "rollmoot-server"
    if not binary.exists():
        sys.exit(f"soak: {binary} not found; build first")

    ok = True
    extra_args, server_dir = [], None
    if args.all_settings:
        server_dir = tempfile.TemporaryDirectory(prefix="rollmoot-soak-")
        extra_args = server_dir_with_all_settings(binary.parent.parent, server_dir.name)
        chat = chat_commands(args.commands, random.Random(args.seed), DICE + PRIVATE_DICE + ["/roll"],
                             0.02, 10)
        runs = [("chat, all settings", True, chat, 20),
                ("load/unload, all settings", True,
                 ["join Roller"] + list(cycle_commands(args.cycles, True)), 10)]
    else:
        runs = [("chat", False, chat_commands(args.commands, random.Random(args.seed)), 20),
                ("load/unload", True, ["join Roller"] + list(cycle_commands(args.cycles)), 10)]
    for title, log_sinks, commands, chunks in runs:
        server = Server(binary, log_sinks, extra_args)
        steady = soak(title, server, commands, chunks)
        status, final = server.finish()
        clean = status == 0 and final is not None and final.startswith("stats: 0 blocks")
        print(f"{title}: exit {status}, at exit {final}; errors {len(server.errors)}")
        for error in server.errors[:5]:
            print(f"  {error}")
        steady = steady or args.no_rss_limit
        settings_held = True
        if args.all_settings:
            settings_held = settings_held_in(title, server, args.cycles)
        if not (steady and clean and not server.errors and settings_held):
            print(f"{title}: FAILED" + ("" if steady else " (memory grew)"))
            ok = False
    if server_dir is not None:
        server_dir.cleanup()
    print("soak: passed" if ok else "soak: FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
