#!/usr/bin/env bash
# Looks for tests that fail by chance: builds each preset, runs its whole test suite N times
# in a row, then prints per test how many runs it failed and the output of every failure.
# The mingw preset runs under Wine, set up as scripts/windows-tests.sh does.
# Usage: scripts/repeat-tests.sh N [PRESET...]   (default preset: dev)
# Exit status 1 when any run failed. Each run's results stay in build/repeat/PRESET/.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: scripts/repeat-tests.sh N [PRESET...]" >&2
  exit 2
}
[[ $# -ge 1 && "$1" =~ ^[1-9][0-9]*$ ]] || usage
runs=$1
shift
presets=("${@:-dev}")

source scripts/wine-prefix.sh
status=0
for preset in "${presets[@]}"; do
  if [[ "$preset" == mingw ]]; then
    wine_find
    if [[ -n "$wine_missing" ]]; then
      echo "repeat-tests: mingw skipped: $wine_missing not installed"
      continue
    fi
  fi
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  # After the build: the mingw build's tree holds the prefix.
  if [[ "$preset" == mingw ]]; then
    wine_prefix_up build/mingw/wineboot.log || { echo "repeat-tests: no Wine prefix"; exit 1; }
  fi
  results="build/repeat/$preset"
  rm -rf "$results"
  mkdir -p "$results"
  for ((run = 1; run <= runs; run++)); do
    started=$(date +%s)
    outcome=passed
    # No terminal on the tests' input, as in windows-tests.sh.
    ctest --preset "$preset" --output-junit "$PWD/$results/run-$run.xml" \
      </dev/null >"$results/run-$run.log" 2>&1 || outcome=failed
    echo "repeat-tests: $preset run $run of $runs $outcome ($(($(date +%s) - started)) s," \
      "load $(cut -d' ' -f1-3 /proc/loadavg))"
  done
  python3 - "$preset" "$runs" "$results" <<'PY' || status=1
import sys
import xml.etree.ElementTree as ET

preset, runs, folder = sys.argv[1], int(sys.argv[2]), sys.argv[3]
failures = {}  # test -> [(run, output)]
skipped = {}
names = set()
broken = []
for run in range(1, runs + 1):
    try:
        root = ET.parse(f"{folder}/run-{run}.xml").getroot()
    except (OSError, ET.ParseError):
        broken.append(run)  # ctest itself did not finish: see run-N.log
        continue
    for case in root.iter("testcase"):
        name = case.get("name")
        names.add(name)
        out = case.findtext("system-out") or ""
        if case.find("failure") is not None or case.find("error") is not None or \
                case.get("status") == "fail":
            failures.setdefault(name, []).append((run, out))
        elif case.find("skipped") is not None or case.get("status") in ("notrun", "disabled"):
            skipped.setdefault(name, out.strip().splitlines()[-1:] or [""])

for name in sorted(failures, key=lambda n: (-len(failures[n]), n)):
    for run, out in failures[name]:
        print(f"\n---- {preset}: {name}, run {run} ----\n{out.rstrip()}")
print(f"\n==== {preset}: {runs} runs of {len(names)} tests ====")
for name in sorted(failures, key=lambda n: (-len(failures[n]), n)):
    print(f"{name}: failed {len(failures[name])} of {runs} runs")
for name in sorted(skipped):
    print(f"{name}: skipped ({skipped[name][0]})")
for run in broken:
    print(f"run {run}: ctest gave no results (see {folder}/run-{run}.log)")
passed = len(names) - len(failures) - len(skipped)
print(f"{preset}: {passed} tests failed 0 of {runs} runs, {len(failures)} failed at least once,"
      f" {len(skipped)} skipped")
sys.exit(1 if failures or broken else 0)
PY
  if [[ "$preset" == mingw ]]; then
    wineserver -k 2>/dev/null || true
  fi
done
exit $status
