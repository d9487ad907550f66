#!/usr/bin/env bash
# Cross builds the Windows DLLs and programs with mingw-w64 (preset mingw) and runs every
# test under Wine, in a Wine prefix of its own inside build/mingw. Without the cross compiler
# or Wine it says so and succeeds, so a machine set up with `scripts/setup.sh native` can
# still run scripts/test.sh.
# Usage: scripts/windows-tests.sh [extra ctest arguments, e.g. -R Windows]
set -euo pipefail

cd "$(dirname "$0")/.."

source scripts/wine-prefix.sh
wine_find
if [[ -n "$wine_missing" ]]; then
  echo "windows-tests: skipped: $wine_missing not installed (scripts/setup.sh all installs them)"
  exit 0
fi

seconds() { date +%s; }
started=$(seconds)

cmake --preset mingw
cmake --build --preset mingw
built=$(seconds)

if ! wine_prefix_up build/mingw/wineboot.log; then
  echo "windows-tests: making the Wine prefix failed"
  exit 1
fi
booted=$(seconds)

# Test discovery lists each program's tests under Wine too, so the prefix must be warm first.
# No terminal on the tests' input: Wine gives a program started on a terminal a console of its
# own (conhost.exe, and explorer.exe for its desktop), more processes that are no part of the
# test and that outlive it.
ctest --preset mingw "$@" </dev/null
finished=$(seconds)

echo "windows-tests: build $((built - started)) s, Wine prefix $((booted - built)) s," \
  "tests $((finished - booted)) s, total $((finished - started)) s"
