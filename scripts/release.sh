#!/usr/bin/env bash
# Packs a built Rollmoot.dll for a server: dist/Rollmoot-<version>-win64.zip holds
# ArkApi/Plugins/Rollmoot/Rollmoot.dll, README.txt (the README, standing alone), CHANGELOG.md,
# the example settings and language files, the reference, the audit's verifier and
# SHA256SUMS; the same DLL gives the same archive bytes.
# Usage: scripts/release.sh [--test-build] [--out DIR] BUILD_DIR
#   BUILD_DIR     the build holding bin/Release/Rollmoot.dll (msvc presets) or bin/Rollmoot.dll
#   --test-build  pack a DLL not built with MSVC (e.g. mingw's), which a real host cannot
#                 load; the archive is then named Rollmoot-<version>-win64-test-build.zip
#   --out DIR     write the archive into DIR instead of dist/
set -euo pipefail
python=python3
command -v "$python" >/dev/null || python=python  # Windows installs it as python
exec "$python" "$(dirname "$0")/release.py" "$@"
