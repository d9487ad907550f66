#!/usr/bin/env bash
# Sets up what is missing, then builds and runs every test: the suite with gcc, the suite
# again under AddressSanitizer and UndefinedBehaviorSanitizer, a short soak through the
# console server, short fuzzing runs, and the Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

stage() { printf '\n==== %s ====\n' "$*"; }

stage "setup"
scripts/setup.sh all

stage "build and test (gcc)"
cmake --preset dev
cmake --build --preset dev
ctest --preset dev

stage "build and test under sanitizers (clang)"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

stage "soak through the console server, short form"
python3 scripts/soak.py --build-dir build/dev --short
python3 scripts/soak.py --build-dir build/dev --short --all-settings
python3 scripts/soak.py --build-dir build/asan --short --no-rss-limit

stage "fuzzing, short runs"
scripts/fuzz-smoke.sh

stage "Windows build under Wine"
scripts/windows-tests.sh

stage "all passed"
