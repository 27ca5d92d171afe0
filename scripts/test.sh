#!/usr/bin/env bash
# Every test of the project: installs what is missing, checks the layout of the code, builds the three
# configurations, runs the native tests (sanitizers on), a short run of every fuzzing target and the
# Windows tests under Wine and Xvfb.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1

failed=0
step() {
  echo "== $*"
  "$@" || { echo "== failed: $*" >&2; failed=1; }
}

check_format() {
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
}

check_product() {
  local info
  info=$(file build/win32/installer/Install.exe)
  echo "$info"
  [[ $info == *"PE32 executable (GUI) Intel 80386"* ]]
}

# Debian's wine32 is often out of step with the amd64 packages; where it is installed, the product
# itself must start and keep its window open.
smoke_run_product() {
  if ! dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q 'install ok installed'; then
    echo "no 32-bit Wine here: the product is built but not started"
    return 0
  fi
  local rc=0
  WINEPREFIX=$PWD/build/win32/wineprefix timeout 20 xvfb-run -a scripts/wine-run.sh build/win32/installer/Install.exe || rc=$?
  WINEPREFIX=$PWD/build/win32/wineprefix wineserver -k 2>/dev/null || true
  [ "$rc" -eq 124 ]
}

step check_format
for preset in native win32 win64-test; do
  step cmake --preset "$preset" >/dev/null
  step cmake --build --preset "$preset"
done
step check_product
step smoke_run_product
step ctest --preset native
# A few seconds per fuzzing target: the seeds and earlier findings are replayed, then some new inputs.
step bash scripts/fuzz.sh 5
step xvfb-run -a -s '-screen 0 1024x768x24' ctest --preset win64-test
WINEPREFIX=$PWD/build/win64-test/wineprefix wineserver -k 2>/dev/null || true
exit $failed
