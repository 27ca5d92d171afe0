#!/usr/bin/env bash
# Checks that the 32-bit Install.exe of BUILD starts under Wine, in the prefix named by WINEPREFIX:
# "Install.exe /VERYSILENT /?" must end with exit code 0. With a second build folder, BUILD must also
# have been configured with that build's service host, since both are tested against one service.
# A failure here is the machine's or the build's, not the product's: it says which and what to do.
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
  host_of() { sed -n 's/^VELACORTE_SERVICE_HOST:STRING=//p' "$1/CMakeCache.txt" 2>/dev/null; }
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
started=$(date +%s)
rc=0
timeout 600 "$scripts/wine-run.sh" "$program" /VERYSILENT '/?' >/dev/null 2>&1 || rc=$?
if [ "$rc" -ne 0 ]; then
  echo "32-bit check: '$program /VERYSILENT /?' under Wine ended with $rc instead of 0" \
    "(124: no end within 600 s); the 32-bit Wine does not start programs here" >&2
  exit 1
fi
echo "32-bit check: $program starts under Wine ($(($(date +%s) - started)) s, prefix $WINEPREFIX)"
