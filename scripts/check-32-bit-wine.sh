#!/usr/bin/env bash
# Checks that the 32-bit Install.exe of BUILD starts under Wine, in the prefix named by WINEPREFIX:
# "Install.exe /VERYSILENT /?" must end with exit code 0. With a second build folder, BUILD must also
# have been configured with that build's service host, since both are tested against one service.
# A failure here is the machine's or the build's, not the product's: it says which and what to do.
# Exit status 3: the program starts, but only through an emulator that cannot run it reliably.
set -uo pipefail
build=$1
peer=${2:-}
scripts=$(dirname "$0")
program=$build/installer/Install.exe

if [ ! -f "$program" ]; then
  echo "32-bit check: $program is missing; build it with: cmake --preset win32-test" \
    "-DVELACORTE_SERVICE_HOST=<host of $peer> && cmake --build --preset win32-test" >&2
  exit 1
fi
if [ -n "$peer" ]; then
  host_of() { bash "$(dirname "$0")/service-host.sh" "$1"; }
  if [ "$(host_of "$build")" != "$(host_of "$peer")" ]; then
    echo "32-bit check: $build has the service host '$(host_of "$build")', $peer has '$(host_of "$peer")';" \
      "configure $build with -DVELACORTE_SERVICE_HOST=$(host_of "$peer")" >&2
    exit 1
  fi
fi
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1 ||
  ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
  echo "32-bit check: this machine cannot run 32-bit programs under Wine (wine32:i386, and qemu-i386 where" \
    "the kernel cannot run 32-bit programs); run scripts/setup.sh as root" >&2
  exit 1
fi
# qemu-i386 hands Wine's signal handler no trap number ("Got unexpected trap -1"): every hardware
# exception of a 32-bit program, even one that Wine resolves by itself on Windows' behalf, turns into an
# unhandled breakpoint, and the program dies or loops in the debugger. Starting still works, so the
# start is checked; but a run of the program cannot be relied on there, which exit status 3 tells.
emulated=0
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 &&
  [ "${VELACORTE_WOW64_EMULATED:-}" != 1 ]; then
  emulated=1
fi
emulation_note="32-bit programs run here only through qemu-i386, which gives Wine no trap number for a fault
('Got unexpected trap -1'); a 32-bit program dies at its first fault, so its runs cannot pass on this
machine. VELACORTE_WOW64_EMULATED=1 runs them anyway"
if [ -n "$peer" ] && [ "$emulated" = 1 ]; then
  echo "32-bit check: $emulation_note" >&2
  exit 3
fi
# A 32-bit start through qemu takes minutes; natively a few seconds.
limit=60
[ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && limit=600
started=$(date +%s)
rc=0
timeout $limit "$scripts/wine-run.sh" "$program" /VERYSILENT '/?' >/dev/null 2>&1 || rc=$?
if [ "$rc" -ne 0 ]; then
  echo "32-bit check: '$program /VERYSILENT /?' under Wine ended with $rc instead of 0" \
    "(124: no end within $limit s); the 32-bit Wine does not start programs here" >&2
  exit 1
fi
echo "32-bit check: $program starts under Wine ($(($(date +%s) - started)) s, prefix $WINEPREFIX)"
if [ "$emulated" = 1 ]; then
  echo "32-bit check: $emulation_note" >&2
  exit 3
fi
