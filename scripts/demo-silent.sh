#!/usr/bin/env bash
# Run inside a display (xvfb-run) by demo.sh: a whole unattended "Servidor" installation by the real
# Install.exe (/SILENT, every component) against the velacorte-queryd that demo.sh started, with
# pictures of the screen at the start, while a setup program runs and at the end, then a summary for a
# person. BUILD is the win64-test build folder, PROGRAM the Install.exe to run (by default BUILD's);
# WINEPREFIX is set.
set -euo pipefail
build=$1
program=${2:-$build/installer/Install.exe}
drive=$WINEPREFIX/drive_c
shots=$build/artifacts
log=$drive/Velacorte/Install.log
hold=$drive/velacorte-testes/segurar-setup

# The setup programs that the run expects in c:\install: the project's stand-ins. While $hold exists
# the UltraVNC stand-in keeps running, so that the run can be pictured while it waits.
scripts/wine-run.sh cmd /c exit 0 >/dev/null 2>&1 || true
rm -rf "$drive/Velacorte" "$drive/velacorte-testes"
mkdir -p "$shots" "$drive/install" "$drive/velacorte-testes"
for setup in UltraVNC_1.0.8.2_Setup.exe IboConsoleSetup.exe; do
  cp "$build/tests/installer/setup_standin.exe" "$drive/install/$setup"
done
: >"$hold"

# Waits up to 20 minutes for a command to succeed: an emulated 32-bit Wine starts slowly.
wait_until() {
  for _ in $(seq 6000); do
    if "$@"; then return 0; fi
    sleep 0.2
  done
  echo "demo: gave up waiting for: $*" >&2
  return 1
}
window_shown() { xwininfo -root -tree 2>/dev/null | grep -q '"Instalador Velacorte"'; }
logged() { grep -q "$1" "$log" 2>/dev/null; }

scripts/wine-run.sh "$program" /SILENT /TIPO=Servidor \
  /COMPONENTES=firebird,ultravnc,ibo,caminho,banco &
installer=$!
# Each picture a second after its moment, once the window has painted.
wait_until window_shown && sleep 1 && import -window root "$shots/demo-inicio.png"
wait_until logged "executar c:\\\\install\\\\UltraVNC" && sleep 1 && import -window root "$shots/demo-durante.png"
rm -f "$hold"
# A /SILENT run shows its outcome for a few seconds before the program ends.
wait_until logged " fim: " && sleep 1 && import -window root "$shots/demo-fim.png"
code=0
wait "$installer" || code=$?
rm -rf "$drive/velacorte-testes"
# The prefix's server goes while the display is still there, so that nothing of Wine's outlives it.
TMPDIR=$WINEPREFIX.tmp wineserver -k 2>/dev/null || true
TMPDIR=$WINEPREFIX.tmp wineserver -w 2>/dev/null || true

case $code in
0) outcome="Concluído" ;;
67) outcome="falha ou arquivos não instalados (1603)" ;;
*) outcome="código $code" ;;
esac
echo
echo "demo: $program /SILENT /TIPO=Servidor terminou: $outcome (código de saída $code, módulo 256 no Linux)"
echo "demo: últimas linhas do registro $log:"
tail -n 6 "$log" | cut -c1-160 | sed 's/^/    /'
echo "demo: c:\\Velacorte instalado:"
find "$drive/Velacorte" -maxdepth 1 | sort | sed "s|^$drive/|    c:/|"
echo "demo: fotos da tela: $shots/demo-inicio.png, demo-durante.png, demo-fim.png"
echo "demo: o prefixo do Wine (a máquina instalada): $WINEPREFIX"
exit "$code"
