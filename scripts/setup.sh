#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those that are missing, so a
# repeated run costs nothing. Usage: scripts/setup.sh [native|all]
#   native: what building, running and testing on this machine needs
#   all:    also clang (sanitizers, fuzzing), the llvm tools (symbolizer, nm, readobj),
#           clang-format, valgrind, the Windows cross compiler and Wine, and headless Chromium
#           with its WebDriver and Python's selenium for the verifier page's test
# Programs are called by their plain names (clang++, llvm-symbolizer), so the unversioned
# packages "clang" and "llvm" are listed beside the versioned ones that provide the files.
set -euo pipefail

scope="${1:-all}"
packages=(cmake ninja-build g++ git python3 pkg-config
  libspdlog-dev libfmt-dev nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev
  libreadline-dev libssl-dev)
if [[ "$scope" == all ]]; then
  packages+=(clang clang-14 libclang-rt-14-dev llvm llvm-14 clang-format valgrind
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
    chromium chromium-driver python3-selenium)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -ne 0 ]] && sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
else
  echo "setup: all packages present"
fi
