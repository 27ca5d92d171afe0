#!/usr/bin/env bash
# What emulation costs the end-to-end runs: one unattended "Servidor" run with every component
# (Unattended.VerySilentServerRunWithEveryComponent) by the 64-bit test build and by the 32-bit product
# under WoW64, one after the other against the same velacorte-queryd; prints both times and their
# ratio. Needs the win64-test and win32-test builds (same host) and the native velacorte-queryd.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$PWD/build/win64-test
export WINEPREFIX=$build/wineprefix
host=$(sed -n 's/^VELACORTE_SERVICE_HOST:STRING=//p' "$build/CMakeCache.txt")
bash scripts/check-32-bit-wine.sh build/win32-test "$build" >/dev/null ||
  { echo "bench_wow64: the 32-bit product does not run here, for the reason above" >&2; exit 1; }
# The state folder that the test program is built to attach to.
state=$build/tests/installer/queryd-e2e
bash scripts/queryd-fixture.sh start "$state" build/native/server/velacorte-queryd "${host##*:}" \
  "$build/tests/installer/e2e-seed" >/dev/null
trap 'bash scripts/queryd-fixture.sh stop "$state" >/dev/null' EXIT

# Milliseconds for the case with BUILD's Install.exe; the test's own checks must pass.
milliseconds() {
  local start end
  start=$(date +%s%N)
  # The prefix's server goes while the display is still there, so that nothing of Wine's outlives it.
  TMPDIR=$WINEPREFIX.tmp xvfb-run -a -s '-screen 0 1024x768x24' bash -c '
    trap "wineserver -k 2>/dev/null" EXIT
    scripts/wine-run.sh "$0" "--gtest_filter=Builds/Unattended.VerySilentServerRunWithEveryComponent/$1"' \
    "$build/tests/installer/end_to_end_test.exe" "$1" >/dev/null
  end=$(date +%s%N)
  echo $(((end - start) / 1000000))
}
x64=$(milliseconds x64)
x86=$(milliseconds x86)
awk -v a="$x64" -v b="$x86" 'BEGIN {
  printf "end-to-end run, 64-bit test build: %.1f s\n", a / 1000
  printf "end-to-end run, 32-bit product under WoW64: %.1f s\n", b / 1000
  printf "ratio 32-bit / 64-bit: %.1f\n", b / a
}'
