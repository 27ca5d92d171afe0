#!/usr/bin/env bash
# Install.exe where Wine can create no window at all (no display and no null graphics driver, in a
# prefix of its own): without its window there is no run, so in either mode the program must end with
# 1603 (67 in a Unix shell) and its log must name the call that failed, never a silent 1602.
set -uo pipefail
program=$1
export WINEPREFIX=$(realpath -m "$2")
unset DISPLAY VELACORTE_WINE_GRAPHICS
scripts=$(dirname "$0")/../../scripts
drive=$WINEPREFIX/drive_c
failed=0

# MODE ARGUMENTS... : runs the program with ARGUMENTS and checks its exit code and the log it names.
check() {
  local mode=$1 log=$2 rc=0
  shift 2
  rm -rf "$drive/Velacorte" "$log"
  timeout 300 "$scripts/wine-run.sh" "$program" "$@" >/dev/null 2>&1 || rc=$?
  if [ "$rc" -ne 67 ]; then
    echo "$mode: exit code $rc, expected 67 (1603)" >&2
    failed=1
  fi
  if ! grep -q 'criar a janela "Instalador Velacorte": CreateWindowExW: ' "$log" 2>/dev/null; then
    echo "$mode: the log $log does not name the failed window creation; it holds:" >&2
    cat "$log" >&2 2>/dev/null || echo "    (no log)" >&2
    failed=1
  fi
}

check "/VERYSILENT" "$drive/sem-janela.log" /VERYSILENT /TIPO=Servidor '/LOG=c:\sem-janela.log'
check "window mode" "$drive/Velacorte/Install.log"
rm -rf "$drive/Velacorte" "$drive/sem-janela.log"
exit $failed
