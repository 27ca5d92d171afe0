#!/usr/bin/env bash
# The main job: builds the installer and its local query service, starts velacorte-queryd --demo on
# loopback (on the port of the test build's host, VELACORTE_SERVICE_HOST) and starts the installer under
# Wine: the 32-bit product built with that host (win32-test) where a 32-bit Wine runs it, otherwise the
# 64-bit test build; it says which. With a display the operator drives it; without one, under Xvfb, Install.exe /SILENT makes a
# complete "Servidor" installation, pictured at its start, middle and end (scripts/demo-silent.sh).
# Exits with the installer's own exit code (modulo 256: see the README).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target velacorte-queryd
cmake --preset win64-test >/dev/null
cmake --build --preset win64-test --target Install setup_standin e2e_seed

build=$PWD/build/win64-test
export WINEPREFIX=$build/wineprefix
host=$(bash scripts/service-host.sh "$build")
cmake --preset win32-test "-DVELACORTE_SERVICE_HOST=$host" >/dev/null
cmake --build --preset win32-test --target Install
program=$build/installer/Install.exe
if bash scripts/check-32-bit-wine.sh build/win32-test "$build"; then
  program=$PWD/build/win32-test/installer/Install.exe
  echo "demo: o produto de 32 bits (build/win32-test), sob WoW64"
else
  echo "demo: sem Wine de 32 bits aqui: o build de teste de 64 bits (build/win64-test)"
fi
state=$build/tests/installer/queryd-e2e
bash scripts/queryd-fixture.sh start "$state" build/native/server/velacorte-queryd "${host##*:}" \
  "$build/tests/installer/e2e-seed"
trap 'bash scripts/queryd-fixture.sh stop "$state"; TMPDIR=$WINEPREFIX.tmp wineserver -k 2>/dev/null || true' EXIT

if [ -n "${DISPLAY:-}" ]; then
  # The setup programs that the run expects in c:\install: the project's stand-ins.
  scripts/wine-run.sh cmd /c exit 0 >/dev/null 2>&1 || true
  mkdir -p "$WINEPREFIX/drive_c/install"
  for setup in UltraVNC_1.0.8.2_Setup.exe IboConsoleSetup.exe; do
    cp "$build/tests/installer/setup_standin.exe" "$WINEPREFIX/drive_c/install/$setup"
  done
  scripts/wine-run.sh "$program"
else
  xvfb-run -a -s '-screen 0 1024x768x24' bash scripts/demo-silent.sh "$build" "$program"
fi
