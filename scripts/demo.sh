#!/usr/bin/env bash
# Sets up what is missing, builds the plugin and the console server, and plays a short
# scripted session: players join, roll, one leaves, the plugin is unloaded and loaded again.
# Pass "--interactive" to play yourself instead (on a terminal).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh native
cmake --preset release >/dev/null
cmake --build --preset release --target rollmoot-server Rollmoot

if [[ "${1:-}" == --interactive ]]; then
  exec build/release/bin/rollmoot-server
fi
exec build/release/bin/rollmoot-server --players Ann,Nomad --script examples/demo.txt
