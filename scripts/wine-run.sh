#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix named by WINEPREFIX (default: ./wineprefix of the
# current folder), creating the prefix once.
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$PWD/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
if [ ! -f "$WINEPREFIX/.velacorte-ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.velacorte-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w || true
      touch "$WINEPREFIX/.velacorte-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec wine "$@"
