#!/usr/bin/env bash
# Runs a Windows program under Wine in the prefix named by WINEPREFIX (default: ./wineprefix of the
# current folder), creating the prefix once.
set -euo pipefail
export WINEPREFIX=${WINEPREFIX:-$PWD/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# Where a 32-bit Wine runs emulated (qemu-i386), qemu needs address space held back to map Wine's shared
# user data at 0x7ffe0000 and a stack above it; every 32-bit process a Wine program starts inherits it.
# No more than that: at each start Wine reserves the whole space 64 KB at a time through qemu's
# emulated mmap, and 0xf7000000 costs three times the CPU time of 0x90000000 (about 60 s against 20 s).
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0x90000000}
# The 64-bit loader, when there is one, makes the prefix and starts every program: with wine32 present,
# the `wine` script would route each start through the 32-bit loader first. A 32-bit program still gets
# the 32-bit loader, which the 64-bit one starts for it.
wine=wine
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
# No menu entries or .desktop files for the shortcuts that programs make: they would land in the home
# folder.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}
# Wine keeps its server's socket folder under TMPDIR: beside the prefix, not in /tmp. Whoever stops
# the prefix's server (wineserver -k) gives the same TMPDIR.
export TMPDIR=$WINEPREFIX.tmp
mkdir -p "$WINEPREFIX" "$TMPDIR"
(
  flock 9
  # One prefix, one display at a time: a program started with a display while the prefix's server still
  # runs from a start without one (or with another display) blocks for ever early in its start. So a
  # start in another mode than the prefix's last one first stops that prefix's server and waits for it.
  display=${DISPLAY:-none}
  if [ "$(cat "$TMPDIR/display" 2>/dev/null)" != "$display" ]; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    echo "$display" >"$TMPDIR/display"
  fi
  if [ ! -f "$WINEPREFIX/.velacorte-ready" ]; then
    "$wine" wineboot -i >/dev/null 2>&1 || true
    wineserver -w || true
    touch "$WINEPREFIX/.velacorte-ready"
  fi
  # VELACORTE_WINE_GRAPHICS=null: Wine's null graphics driver, for a prefix that runs with no display.
  if [ -n "${VELACORTE_WINE_GRAPHICS:-}" ] && [ ! -f "$WINEPREFIX/.velacorte-graphics" ]; then
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d "$VELACORTE_WINE_GRAPHICS" /f >/dev/null 2>&1
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
exec "$wine" "$@"
