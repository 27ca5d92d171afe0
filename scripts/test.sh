#!/usr/bin/env bash
# Every test of the project: installs what is missing, checks the layout of the code, builds the four
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

# The product itself, in a prefix of its own: a 32-bit Wine must start it (or the machine's setup is
# what failed, and the check says so), and its window must show.
smoke_run_product() {
  local prefix=$PWD/build/win32/wineprefix rc=0
  WINEPREFIX=$prefix bash scripts/check-32-bit-wine.sh build/win32 || return 1
  # Through qemu-i386 a 32-bit program dies at its first fault (see check-32-bit-wine.sh): whether its
  # window shows is then the emulator's matter, not the product's.
  if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 &&
    [ "${VELACORTE_WOW64_EMULATED:-}" != 1 ]; then
    echo "== NOT RUN: the 32-bit Install.exe's window: 32-bit programs run here only through qemu-i386" >&2
    return 0
  fi
  WINEPREFIX=$prefix xvfb-run -a bash -c '
    scripts/wine-run.sh build/win32/installer/Install.exe & program=$!
    for _ in $(seq 600); do
      xwininfo -root -tree 2>/dev/null | grep -q "\"Instalador Velacorte\"" && exit 0
      kill -0 $program 2>/dev/null || exit 2
      sleep 1
    done
    exit 1' || rc=$?
  WINEPREFIX=$prefix TMPDIR=$prefix.tmp wineserver -k 2>/dev/null || true
  case $rc in
  0) echo "the 32-bit Install.exe shows its window under Wine" ;;
  1) echo "the 32-bit Install.exe showed no window within 600 s" >&2 ;;
  *) echo "the 32-bit Install.exe ended before its window showed" >&2 ;;
  esac
  [ "$rc" -eq 0 ]
}

step check_format
# win32-test, the 32-bit product that the Windows tests drive as well, takes win64-test's host.
for preset in native win32 win64-test win32-test; do
  host=()
  [ "$preset" = win32-test ] &&
    host=("-DVELACORTE_SERVICE_HOST=$(bash scripts/service-host.sh build/win64-test)")
  step cmake --preset "$preset" "${host[@]}" >/dev/null
  step cmake --build --preset "$preset"
done
step check_product
step smoke_run_product
step ctest --preset native
# A few seconds per fuzzing target: the seeds and earlier findings are replayed, then some new inputs.
step bash scripts/fuzz.sh 5
# The 32-bit product's end-to-end runs need a 32-bit Wine that handles faults; where the check says
# this machine has none, they are left out, and that is said loudly.
if WINEPREFIX=$PWD/build/win64-test/wineprefix bash scripts/check-32-bit-wine.sh build/win32-test build/win64-test; then
  step xvfb-run -a -s '-screen 0 1024x768x24' ctest --preset win64-test
else
  echo "== NOT RUN: the 32-bit product's end-to-end runs (label wow64), for the reason above" >&2
  step xvfb-run -a -s '-screen 0 1024x768x24' ctest --preset win64-test-x64
fi
WINEPREFIX=$PWD/build/win64-test/wineprefix TMPDIR=$PWD/build/win64-test/wineprefix.tmp wineserver -k 2>/dev/null || true
exit $failed
