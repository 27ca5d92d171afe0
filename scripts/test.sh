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
# what failed, and the check says so), and its window must show, within 60 s where 32-bit programs run
# natively.
smoke_run_product() {
  local prefix=$PWD/build/win32/wineprefix program=build/win32/installer/Install.exe rc=0 limit=60
  WINEPREFIX=$prefix bash scripts/check-32-bit-wine.sh build/win32 || rc=$?
  if [ "$rc" -eq 3 ]; then
    echo "== NOT RUN: the 32-bit Install.exe's window, for the reason above" >&2
    return 0
  fi
  [ "$rc" -eq 0 ] || return 1
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && limit=600
  echo "smoke: waiting up to $limit s for the window \"Instalador Velacorte\" of $program"
  # The prefix's server is stopped while the display still exists, so that nothing of Wine's outlives it.
  WINEPREFIX=$prefix TMPDIR=$prefix.tmp LIMIT=$limit PROGRAM=$program xvfb-run -a bash -c '
    trap "wineserver -k 2>/dev/null" EXIT
    scripts/wine-run.sh "$PROGRAM" & program=$!
    for second in $(seq "$LIMIT"); do
      if xwininfo -root -tree 2>/dev/null | grep -q "\"Instalador Velacorte\""; then
        echo "smoke: the window showed after $second s"
        exit 0
      fi
      if ! kill -0 $program 2>/dev/null; then
        wait $program
        echo "smoke: the program ended with exit code $? after $second s, before any window showed" >&2
        exit 1
      fi
      sleep 1
    done
    echo "smoke: no window within $LIMIT s; the program still runs; the windows on the display:" >&2
    xwininfo -root -children 2>/dev/null | grep "^ *0x" | sed "s/^ */    /" >&2
    echo "smoke: its Wine processes:" >&2
    pgrep -a -f "\.exe" | sed "s/^/    /" >&2
    exit 1' || rc=$?
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
# Where 32-bit programs run natively, the Windows tests include every run of the 32-bit product; where
# they run only through qemu-i386 (exit status 3 of the check), those runs are left out, and that is
# said loudly.
rc=0
WINEPREFIX=$PWD/build/win64-test/wineprefix bash scripts/check-32-bit-wine.sh build/win32-test build/win64-test || rc=$?
if [ "$rc" -eq 3 ]; then
  echo "== NOT RUN: the 32-bit product's end-to-end runs (label wow64), for the reason above" >&2
  step xvfb-run -a -s '-screen 0 1024x768x24' ctest --preset win64-test-x64
else
  [ "$rc" -eq 0 ] || { echo "== failed: the 32-bit check" >&2; failed=1; }
  step xvfb-run -a -s '-screen 0 1024x768x24' ctest --preset win64-test
fi
WINEPREFIX=$PWD/build/win64-test/wineprefix TMPDIR=$PWD/build/win64-test/wineprefix.tmp wineserver -k 2>/dev/null || true
exit $failed
