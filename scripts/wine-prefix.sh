# Sourced, not run: the Wine set-up the Windows tests run in, shared by windows-tests.sh and
# repeat-tests.sh so both drive Wine the same way.
#
#   wine_find            sets $wine to the Wine loader and $wine_missing to the tools that
#                        are missing (empty when all are there)
#   wine_prefix_up LOG   a fresh prefix in build/mingw/wine, its own persistent wineserver
#                        (stopped when the calling shell exits) and the prefix booted; the
#                        boot's output goes to LOG, printed if the boot fails
# Run from the repository's root.

wine=""
wine_missing=""

wine_find() {
  local missing=()
  command -v x86_64-w64-mingw32-g++-posix >/dev/null || missing+=("x86_64-w64-mingw32-g++-posix")
  wine=""
  local candidate
  for candidate in wine wine64; do
    if command -v "$candidate" >/dev/null; then
      wine=$candidate
      break
    fi
  done
  [[ -n "$wine" ]] || missing+=("wine")
  command -v wineserver >/dev/null || missing+=("wineserver")
  wine_missing="${missing[*]}"
}

wine_prefix_up() {
  local log=$1
  # A fresh prefix each run: nothing from an earlier run (or the user's ~/.wine) leaks in. The
  # same values are in the mingw test preset, so ctest finds this prefix.
  export WINEPREFIX="$PWD/build/mingw/wine"
  export WINEDEBUG=-all             # Wine's own diagnostics would bury the test output
  export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or browser engine set-up during boot
  export WINEARCH=win64
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"

  # One persistent server for the whole run, detached from our output, and the prefix booted
  # from here: a server started on demand by a test, and the services the boot starts
  # (services.exe, winedevice.exe, plugplay.exe...), inherit that test's standard error and
  # keep it open long after the test ends. The server is ours (this prefix only), and stopped
  # on exit whatever happens. No terminal on the boot's input either, so the services get no
  # console.
  wineserver -p </dev/null >/dev/null 2>&1
  trap 'wineserver -k 2>/dev/null || true' EXIT
  if ! "$wine" wineboot --init </dev/null >"$log" 2>&1; then
    cat "$log"
    return 1
  fi
}
