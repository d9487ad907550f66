#!/usr/bin/env bash
# Builds the fuzz preset and runs each fuzz target for a bounded time, starting from a copy
# of the committed corpus (which stays untouched). Any finding fails the script and is kept
# in build/fuzz/findings/ with the command that replays it.
#   FUZZ_SECONDS  seconds per target (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${FUZZ_SECONDS:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target fuzz_chat fuzz_config fuzz_notation

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
findings=build/fuzz/findings
status=0
for target in chat config notation; do
  cp -r "fuzz/corpus/$target" "$work/$target"
  log="$work/$target.log"
  echo "fuzz-smoke: fuzz_$target for ${seconds} s"
  # -timeout: an input that takes seconds is a hang on a game server's thread.
  if "build/fuzz/bin/fuzz_$target" -dict="fuzz/$target.dict" -max_total_time="$seconds" \
      -timeout=5 -print_final_stats=1 -artifact_prefix="$work/$target-" "$work/$target" \
      >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz-smoke: fuzz_$target ok, ${runs:-?} inputs, no finding"
  else
    status=1
    tail -n 40 "$log"
    mkdir -p "$findings"
    for artifact in "$work/$target"-*; do
      [[ -e "$artifact" ]] || continue
      cp "$artifact" "$findings/"
      echo "fuzz-smoke: FINDING kept as $findings/${artifact##*/};" \
        "replay: build/fuzz/bin/fuzz_$target $findings/${artifact##*/}"
    done
  fi
done
exit "$status"
