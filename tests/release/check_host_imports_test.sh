#!/usr/bin/env bash
# scripts/check-host-imports.sh against every kind of host library it is meant to read: the
# built one, import libraries in both formats, and hosts that lack one name the plugin needs.
# Hosts made from a list of names stand in for libraries this machine cannot build (an
# MSVC import library).
# Usage: check_host_imports_test.sh SCRIPT MODULE HOST_LIBRARY [IMPORT_LIBRARY]
set -euo pipefail

script="$1" module="$2" host="$3" implib="${4:-}"
lists="$(cd "$(dirname "$0")/../../host/imports" && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# expect STATUS WORD -- ARGS...: the script exits with STATUS, and its output holds WORD.
expect() {
  local status="$1" word="$2"
  shift 3
  local out code=0
  out=$(bash "$script" "$@" 2>&1) || code=$?
  if [[ "$code" != "$status" ]] || ! grep -qF -- "$word" <<<"$out"; then
    echo "FAIL: check-host-imports.sh $* exited $code, wanted $status with '$word':"
    echo "$out"
    failures=$((failures + 1))
  else
    echo "ok: $* -> $code"
  fi
}

# An import library in Microsoft's short format, offering the given names from AsaApi.dll.
import_library() {
  { echo "LIBRARY AsaApi.dll"; echo "EXPORTS"; sed 's/.*/  "&"/' "$1"; } >"$work/host.def"
  llvm-dlltool -m i386:x86-64 -d "$work/host.def" -l "$2"
}

# A shared library defining the given names (as functions; the check reads names only).
shared_library() {
  local i=0
  while IFS= read -r name; do
    printf 'void rollmoot_fake_%d(void) __asm__("%s");\nvoid rollmoot_fake_%d(void) {}\n' \
      "$i" "$name" "$i"
    i=$((i + 1))
  done <"$1" >"$work/host.c"
  "${CC:-cc}" -shared -fPIC -o "$2" "$work/host.c"
}

bash "$script" --list "$module" >"$work/imports.txt"
first=$(head -n 1 "$work/imports.txt")
sed 1d "$work/imports.txt" >"$work/all-but-first.txt"

# The module against the host it was built with, as a library and as its import library.
expect 0 "exports all" -- "$module" "$host"
[[ -n "$implib" ]] && expect 0 "exports all" -- "$module" "$implib"

# A host that lacks one name: named in the output, exit 1.
case "$module" in
  *.so) shared_library "$work/all-but-first.txt" "$work/short-host.so" && lacking="$work/short-host.so" ;;
  *) import_library "$work/all-but-first.txt" "$work/short-host.lib" && lacking="$work/short-host.lib" ;;
esac
expect 1 "$first" -- "$module" "$lacking"

# The committed MSVC list against MSVC-format import libraries, whole and lacking its last name.
grep -v '^#' "$lists/msvc.txt" >"$work/msvc.txt"
import_library "$work/msvc.txt" "$work/AsaApi.lib"
expect 0 "exports all" -- "$lists/msvc.txt" "$work/AsaApi.lib"
last=$(tail -n 1 "$work/msvc.txt")
sed '$d' "$work/msvc.txt" >"$work/msvc-short.txt"
import_library "$work/msvc-short.txt" "$work/AsaApi-short.lib"
expect 1 "$last" -- "$lists/msvc.txt" "$work/AsaApi-short.lib"

((failures == 0)) || exit 1
