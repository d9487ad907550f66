#!/usr/bin/env python3
"""Soak test: drives rollmoot-server over a pipe with a long stream of commands (players
joining, rolling, leaving) and then with many unload/load cycles of the plugin, samples the
server's resident memory after every chunk, and checks that the host allocator ends with no
block outstanding and that memory does not grow.

Usage: scripts/soak.py [--build-dir build/release] [--commands 1000000] [--cycles 1000]
       scripts/soak.py --short        (50,000 commands, 100 cycles: under a minute)
       scripts/soak.py --build-dir build/asan --short --no-rss-limit   (leaks by LeakSanitizer)
Exit status 0 when everything held, 1 otherwise.
"""
import argparse
import pathlib
import queue
import random
import subprocess
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
PLAYERS = [f"P{i:02d}" for i in range(100)]
DICE = ["/d3", "/d4", "/d6", "/d8", "/d10", "/d12", "/d20"]
TAILS = ["", " ", " 3", " 100", " 101", " 0", " -7", " abc", " 5abc", "  7", " +4", "\t5",
         " 0x10", " 2147483648", " \uff15", " \u00e9 2", " 3 4", " " + "9" * 150]
# Memory may settle a little after start (allocator arenas, first-use statics); beyond
# this, growth counts as a leak.
ALLOWED_GROWTH_KB = 4096


class Server:
    """rollmoot-server on a pipe; a reader thread drains its output and hands back stats."""

    def __init__(self, binary, log_sinks):
        command = [str(binary)]
        if not log_sinks:
            command.append("--no-log-sinks")
        self.process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self.stats = queue.Queue()
        self.errors = []
        self.chat_lines = 0
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            if raw.startswith(b"stats: "):
                self.stats.put(raw.decode().strip())
            elif raw.startswith(b"error: "):
                self.errors.append(raw.decode(errors="replace").strip())
            elif raw.startswith(b"["):
                self.chat_lines += 1
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


def chat_commands(count, rng):
    """Rolls from present players, with joins and leaves now and then; names are unique
    among present players, so a name always means the player who holds it now."""
    present, absent = [], list(PLAYERS)
    for _ in range(count):
        churn = rng.random() < 0.002 or not present
        if churn and absent and (not present or rng.random() < 0.5 or len(present) < 20):
            name = absent.pop(rng.randrange(len(absent)))
            present.append(name)
            yield f"join {name}"
        elif churn:
            name = present.pop(rng.randrange(len(present)))
            absent.append(name)
            yield f"leave {name}"
        else:
            text = rng.choice(DICE) + rng.choice(TAILS) if rng.random() < 0.98 else "hello all"
            yield f"say {rng.choice(present)} {text}"


def cycle_commands(count):
    for i in range(count):
        yield "unload"
        yield "load"
        yield f"say #1 /d20 {i % 101}"


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


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build-dir", default=str(ROOT / "build" / "release"))
    parser.add_argument("--commands", type=int, default=1000000)
    parser.add_argument("--cycles", type=int, default=1000)
    parser.add_argument("--short", action="store_true", help="50,000 commands and 100 cycles")
    parser.add_argument("--seed", type=int, default=1)
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
    runs = [("chat", False, chat_commands(args.commands, random.Random(args.seed)), 20),
            ("load/unload", True, ["join Roller"] + list(cycle_commands(args.cycles)), 10)]
    for title, log_sinks, commands, chunks in runs:
        server = Server(binary, log_sinks)
        steady = soak(title, server, commands, chunks)
        status, final = server.finish()
        clean = status == 0 and final is not None and final.startswith("stats: 0 blocks")
        print(f"{title}: exit {status}, at exit {final}; errors {len(server.errors)}")
        for error in server.errors[:5]:
            print(f"  {error}")
        steady = steady or args.no_rss_limit
        if not (steady and clean and not server.errors):
            print(f"{title}: FAILED" + ("" if steady else " (memory grew)"))
            ok = False
    print("soak: passed" if ok else "soak: FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
