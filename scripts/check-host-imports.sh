#!/usr/bin/env bash
# The plugin's link surface: every symbol the plugin module imports from the host library.
#
#   check-host-imports.sh MODULE|LIST HOST_LIBRARY
#       checks that HOST_LIBRARY exports every name the module (or a list file such as
#       host/imports/msvc.txt) imports from the host; prints the missing ones and exits 1.
#       HOST_LIBRARY: a .so, a .dll, or an import library (.lib, .dll.a).
#   check-host-imports.sh --list MODULE
#       prints the module's imports from the host, one a line, sorted.
#   check-host-imports.sh --compare LIST MODULE
#       exits 1 when the module's imports differ from LIST (the test of the committed lists).
#   check-host-imports.sh --write-list [BUILD_DIR...]
#       rewrites host/imports/<linux|mingw|msvc>.txt from the module each build directory
#       holds (default: build/dev and build/mingw, where built).
#
# MODULE is Rollmoot.so (ELF) or Rollmoot.dll (PE). An ELF module does not say which library
# a name comes from: its host imports are the undefined names that none of the other
# libraries it needs (as ldd finds them) defines. A DLL names AsaApi.dll in its import table.
# Tools: binutils' nm and ldd for ELF; llvm-readobj and llvm-nm for PE files and import
# libraries (Debian package llvm; on Windows, LLVM's own tools). Exit status 2: bad usage or
# a file that cannot be read.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
HOST_NAME=AsaApi  # libAsaApi.so, AsaApi.dll
NM="${NM:-nm}"
LLVM_READOBJ="${LLVM_READOBJ:-llvm-readobj}"
LLVM_NM="${LLVM_NM:-llvm-nm}"
export LC_ALL=C  # one sort order everywhere, so lists compare byte for byte

fail() {
  echo "check-host-imports: $*" >&2
  exit 2
}

need() {
  command -v "$1" >/dev/null ||
    fail "$1 not found (Debian: scripts/setup.sh all installs it; Windows: install LLVM's tools)"
}

# elf, pe, archive (an import library) or text (a list of names).
kind_of() {
  [[ -f "$1" && -r "$1" ]] || fail "cannot read $1"
  local magic
  magic=$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')
  case "$magic" in
    7f454c46*) echo elf ;;
    4d5a*) echo pe ;;
    213c617263683e0a) echo archive ;;
    *) echo text ;;
  esac
}

# Names of a list file: comments and blank lines skipped.
read_list() {
  sed -e 's/\r$//' -e '/^#/d' -e '/^[[:space:]]*$/d' "$1" | sort -u
}

# ELF: undefined (non-weak) dynamic names that no other needed library defines.
elf_imports() {
  need "$NM"
  need ldd
  local module others
  module="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"  # ldd wants a path, not a bare name
  others=$(mktemp)
  local line name path
  while IFS= read -r line; do
    line="${line#"${line%%[![:space:]]*}"}"
    case "$line" in
      *" => not found"*)
        name="${line%% =>*}"
        [[ "$name" == *"$HOST_NAME"* ]] && continue
        rm -f "$others"
        fail "$module needs $name, which ldd cannot find: its names cannot be told from the host's"
        ;;
      *" => "*)
        name="${line%% =>*}"
        path="${line#* => }"
        path="${path% (*}"
        ;;
      /*)
        name="$line"
        path="${line% (*}"
        ;;
      *) continue ;;  # the vDSO
    esac
    [[ "$name" == *"$HOST_NAME"* ]] && continue
    "$NM" -D --defined-only "$path" | awk 'NF >= 3 { print $3 }' >>"$others"
  done < <(ldd "$module")
  comm -23 \
    <("$NM" -D --undefined-only "$module" | awk '$1 == "U" { print $2 }' | sed 's/@.*//' | sort -u) \
    <(sed 's/@.*//' "$others" | sort -u)
  rm -f "$others"
}

# PE: the names the import table takes from AsaApi.dll ("Symbol: NAME (HINT)").
pe_imports() {
  need "$LLVM_READOBJ"
  "$LLVM_READOBJ" --coff-imports "$1" | awk -v host="$(echo "$HOST_NAME.dll" | tr 'A-Z' 'a-z')" '
    /^ *Import \{/ { inside = 0 }
    /^ *Name: / { inside = (tolower($2) == host) }
    inside && /^ *Symbol: / { sub(/^ *Symbol: /, ""); sub(/ \([0-9]+\)$/, ""); print }
  ' | sort -u
}

# Every DLL the PE file imports from, one a line.
pe_dlls() {
  need "$LLVM_READOBJ"
  "$LLVM_READOBJ" --coff-imports "$1" | awk '/^ *Import \{/ { getline; sub(/^ *Name: /, ""); print }'
}

module_imports() {
  local kind
  kind=$(kind_of "$1")
  case "$kind" in
    elf) elf_imports "$1" ;;
    pe) pe_imports "$1" ;;
    *) fail "$1 is no ELF or PE module" ;;
  esac
}

# What the module imports, or what the list says it does.
imports_of() {
  if [[ $(kind_of "$1") == text ]]; then read_list "$1"; else module_imports "$1"; fi
}

host_exports() {
  case "$(kind_of "$1")" in
    elf)
      need "$NM"
      "$NM" -D --defined-only "$1" | awk 'NF >= 3 { print $3 }' | sed 's/@.*//' | sort -u
      ;;
    pe)
      need "$LLVM_READOBJ"
      "$LLVM_READOBJ" --coff-exports "$1" | sed -n 's/^ *Name: //p' | sort -u
      ;;
    archive)
      # Every name an import library offers has its __imp_ pointer (data has nothing else).
      need "$LLVM_NM"
      "$LLVM_NM" --defined-only --format=just-symbols "$1" 2>/dev/null | sed -n 's/^__imp_//p' | sort -u
      ;;
    *) fail "$1 is no shared library, DLL or import library" ;;
  esac
}

# Demangled beside the name, where a demangler is at hand.
show() {
  local demangler=""
  if command -v llvm-cxxfilt >/dev/null; then
    demangler=llvm-cxxfilt
  elif command -v c++filt >/dev/null; then
    demangler=c++filt
  fi
  while IFS= read -r name; do
    local plain=""
    [[ -n "$demangler" ]] && plain=$(printf '%s\n' "$name" | "$demangler" 2>/dev/null || true)
    if [[ -n "$plain" && "$plain" != "$name" ]]; then
      printf '  %s    %s\n' "$name" "$plain"
    else
      printf '  %s\n' "$name"
    fi
  done
}

check() {
  local wanted missing
  wanted=$(imports_of "$1")
  [[ -n "$wanted" ]] || fail "$1 names nothing imported from $HOST_NAME: is it the plugin?"
  local exports
  exports=$(host_exports "$2")
  [[ -n "$exports" ]] || fail "$2 exports nothing that could be read"
  missing=$(comm -23 <(echo "$wanted") <(echo "$exports"))
  if [[ -n "$missing" ]]; then
    echo "check-host-imports: $2 does not export $(echo "$missing" | wc -l) of the $(echo "$wanted" | wc -l) names $1 imports:"
    echo "$missing" | show
    exit 1
  fi
  echo "check-host-imports: $2 exports all $(echo "$wanted" | wc -l) names $1 imports"
}

compare() {
  local expected actual
  expected=$(read_list "$1")
  actual=$(module_imports "$2")
  [[ -n "$actual" ]] || fail "$2 imports nothing from $HOST_NAME: is it the plugin?"
  if [[ "$expected" == "$actual" ]]; then
    echo "check-host-imports: $2 imports exactly the $(echo "$actual" | wc -l) names of $1"
    return
  fi
  echo "check-host-imports: what $2 imports from the host differs from $1"
  comm -13 <(echo "$expected") <(echo "$actual") | show | sed 's/^ /+/'
  comm -23 <(echo "$expected") <(echo "$actual") | show | sed 's/^ /-/'
  echo "(+ imported now, not in the list; - in the list, imported no more)"
  echo "If this change of the host surface is intended, regenerate the list from a fresh build and"
  echo "commit it with the change: scripts/check-host-imports.sh --write-list BUILD_DIR"
  echo "(build/dev writes host/imports/linux.txt, build/mingw host/imports/mingw.txt)"
  exit 1
}

built_module() {
  local candidate
  for candidate in "$1/bin/Release/Rollmoot.dll" "$1/bin/Rollmoot.dll" "$1/bin/Rollmoot.so"; do
    if [[ -f "$candidate" ]]; then
      echo "$candidate"
      return
    fi
  done
  fail "no built Rollmoot module in $1/bin"
}

write_list() {
  local module="$1" kind preset file names
  case "$(kind_of "$module")" in
    elf) kind=linux preset=dev ;;
    pe)
      # A DLL on Microsoft's C++ library is the MSVC build; otherwise mingw's.
      if pe_dlls "$module" | grep -qi '^msvcp140'; then kind=msvc; else kind=mingw; fi
      preset=$kind
      ;;
    *) fail "$module is no ELF or PE module" ;;
  esac
  names=$(module_imports "$module")
  [[ -n "$names" ]] || fail "$module imports nothing from $HOST_NAME: is it the plugin?"
  file="$root/host/imports/$kind.txt"
  mkdir -p "$(dirname "$file")"
  {
    echo "# What the $kind build of the plugin module imports from the host library, one name a line."
    echo "# A build that imports anything else fails its test: a change of the host surface is a"
    echo "# reviewed change. Regenerate: scripts/check-host-imports.sh --write-list build/$preset"
    echo "$names"
  } >"$file"
  echo "check-host-imports: wrote ${file#"$root"/} ($(echo "$names" | wc -l) names, from $module)"
}

usage() {
  sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

case "${1:-}" in
  --list)
    [[ $# -eq 2 ]] || usage
    module_imports "$2"
    ;;
  --compare)
    [[ $# -eq 3 ]] || usage
    compare "$2" "$3"
    ;;
  --write-list)
    shift
    dirs=("$@")
    if ((${#dirs[@]} == 0)); then
      for candidate in "$root/build/dev" "$root/build/mingw"; do
        [[ -d "$candidate/bin" ]] && dirs+=("$candidate")
      done
      ((${#dirs[@]})) || fail "no build/dev or build/mingw to read: build first, or name a build directory"
    fi
    for dir in "${dirs[@]}"; do write_list "$(built_module "$dir")"; done
    ;;
  -h | --help | "") usage ;;
  -*) usage ;;
  *)
    [[ $# -eq 2 ]] || usage
    check "$1" "$2"
    ;;
esac
