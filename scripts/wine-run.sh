#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix named by WINEPREFIX (default: ./wineprefix of the
# current folder), creating the prefix once.
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$PWD/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# No menu entries or .desktop files for the shortcuts that programs make: they would land in the home
# folder.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.velacorte-ready" ]; then
    wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    touch "$WINEPREFIX/.velacorte-ready"
  fi
  # VELACORTE_WINE_GRAPHICS=null: Wine's null graphics driver, for a prefix that runs with no display.
  if [ -n "${VELACORTE_WINE_GRAPHICS:-}" ] && [ ! -f "$WINEPREFIX/.velacorte-graphics" ]; then
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$VELACORTE_WINE_GRAPHICS" /f >/dev/null 2>&1
    wineserver -w || true
    touch "$WINEPREFIX/.velacorte-graphics"
  fi
  # Wine links the user's Desktop, Documents and the like to the home folder; the prefix keeps folders
  # of its own, so that what programs write there stays inside it.
  for folder in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$folder" ]; then
      rm -f "$folder"
      mkdir -p "$folder"
    fi
  done
) 9>"$WINEPREFIX.lock"
exec wine "$@"
