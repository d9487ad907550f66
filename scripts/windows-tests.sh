#!/usr/bin/env bash
# Cross builds the Windows DLLs and programs with mingw-w64 (preset mingw) and runs every
# test under Wine, in a Wine prefix of its own inside build/mingw. Without the cross compiler
# or Wine it says so and succeeds, so a machine set up with `scripts/setup.sh native` can
# still run scripts/test.sh.
# Usage: scripts/windows-tests.sh [extra ctest arguments, e.g. -R Windows]
set -euo pipefail

cd "$(dirname "$0")/.."

missing=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=("x86_64-w64-mingw32-g++-posix")
wine=""
for candidate in wine wine64; do
  if command -v "$candidate" >/dev/null; then
    wine=$candidate
    break
  fi
done
[[ -n "$wine" ]] || missing+=("wine")
command -v wineserver >/dev/null || missing+=("wineserver")
if ((${#missing[@]})); then
  echo "windows-tests: skipped: ${missing[*]} not installed (scripts/setup.sh all installs them)"
  exit 0
fi

seconds() { date +%s; }
started=$(seconds)

cmake --preset mingw
cmake --build --preset mingw
built=$(seconds)

# A fresh prefix each run: nothing from an earlier run (or the user's ~/.wine) leaks in. The
# same values are in the mingw test preset, so ctest below finds this prefix.
export WINEPREFIX="$PWD/build/mingw/wine"
export WINEDEBUG=-all             # Wine's own diagnostics would bury the test output
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or browser engine set-up during boot
export WINEARCH=win64
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"

# One persistent server for the whole run, detached from our output: a server started on
# demand by a test would inherit ctest's pipes and keep them open after the test ends.
# It is ours (this prefix only), and stopped on exit whatever happens.
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k 2>/dev/null || true' EXIT
if ! "$wine" wineboot --init >build/mingw/wineboot.log 2>&1; then
  cat build/mingw/wineboot.log
  echo "windows-tests: making the Wine prefix failed"
  exit 1
fi
booted=$(seconds)

# Test discovery lists each program's tests under Wine too, so the prefix must be warm first.
ctest --preset mingw "$@"
finished=$(seconds)

echo "windows-tests: build $((built - started)) s, Wine prefix $((booted - built)) s," \
  "tests $((finished - booted)) s, total $((finished - started)) s"
