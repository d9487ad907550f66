#!/usr/bin/env bash
# Builds the benchmarks (preset "bench": Release, gcc) and runs them: repetitions
# interleaved at random, so that background load hits every contender alike, then medians
# and the ratios of each roll to the floor and to the conventional handler.
#   scripts/bench.sh                 # wall-clock benchmarks and ratios
#   scripts/bench.sh --callgrind     # instruction counts per roll as well (valgrind)
#   REPETITIONS=20 scripts/bench.sh  # more repetitions on a busy machine
set -euo pipefail
cd "$(dirname "$0")/.."

repetitions="${REPETITIONS:-15}"
out="build/bench/results"
cmake --preset bench >/dev/null
cmake --build build/bench --target rollmoot_bench rollmoot_roll_count
mkdir -p "$out"

build/bench/bin/rollmoot_bench \
  --benchmark_repetitions="$repetitions" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_min_time=0.1 \
  --benchmark_out="$out/bench.json" --benchmark_out_format=json >/dev/null
python3 bench/report.py "$out/bench.json"

if [[ "${1:-}" == "--callgrind" ]]; then
  command -v valgrind >/dev/null ||
    { echo "bench: --callgrind needs valgrind (scripts/setup.sh all installs it)"; exit 1; }
  rolls=2000
  echo
  echo "instructions per roll (callgrind, $rolls rolls, set-up excluded)"
  printf '  %-14s %9s %9s %9s %11s %11s\n' scenario ours floor conv. ours/floor conv./ours
  settings_on=()
  messages_set=()
  for scenario in d6_1p d20x100_100p msg500_1p; do
    declare -A counts=()
    for implementation in ours floor conventional all_on all_on_private refused messages; do
      file="$out/callgrind.$scenario.$implementation"
      valgrind --tool=callgrind --collect-atstart=no --toggle-collect=rollmoot_measured_rolls \
        --callgrind-out-file="$file" \
        build/bench/bin/rollmoot_roll_count "$implementation" "$scenario" "$rolls" \
        >/dev/null 2>"$file.log" || { cat "$file.log"; exit 1; }
      counts[$implementation]=$(awk '/^totals:/ {print $2}' "$file")
    done
    python3 - "$scenario" "${counts[ours]}" "${counts[floor]}" "${counts[conventional]}" \
      "$rolls" <<'PY'
import sys
scenario, ours, floor, conventional, rolls = sys.argv[1], *map(int, sys.argv[2:])
o, f, c = ours / rolls, floor / rolls, conventional / rolls
print(f"  {scenario:14} {o:9.0f} {f:9.0f} {c:9.0f} {o / f:11.2f} {c / o:11.2f}")
PY
    settings_on+=("$scenario ${counts[ours]} ${counts[all_on]} ${counts[all_on_private]} ${counts[refused]}")
    messages_set+=("$scenario ${counts[ours]} ${counts[messages]} ${counts[floor]}")
  done
  echo
  echo "instructions per roll, every setting off and on (the roll log to a sink that drops it)"
  printf '  %-14s %9s %9s %7s %9s %9s\n' scenario off on on/off private refused
  printf '%s\n' "${settings_on[@]}" | awk -v rolls="$rolls" '{
    printf "  %-14s %9.0f %9.0f %7.2f %9.0f %9.0f\n", $1, $2 / rolls, $3 / rolls, $3 / $2,
      $4 / rolls, $5 / rolls }'
  echo
  echo "instructions per roll, the English lines and every message set (German)"
  printf '  %-14s %9s %9s %9s %9s\n' scenario english set set/eng. set/floor
  printf '%s\n' "${messages_set[@]}" | awk -v rolls="$rolls" '{
    printf "  %-14s %9.0f %9.0f %9.2f %9.2f\n", $1, $2 / rolls, $3 / rolls, $3 / $2, $3 / $4 }'
fi
