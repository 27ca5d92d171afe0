#!/usr/bin/env bash
# Installs the Debian packages the project needs; quiet when they are all present.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 xvfb xauth x11-utils imagemagick
  zlib1g-dev libpugixml-dev googletest libsqlite3-dev libcpp-httplib-dev
  zip unzip libarchive-tools unicode-data curl python3 pkg-config libclang-rt-14-dev
  php-cli php-soap php-xml
  mariadb-server libmariadb-dev
  libssl-dev openssl osslsigncode
  libxml2-utils
  # The network tests' forward proxy: its own hosts file resolves a host that nothing else knows, and
  # its basic authentication gives a real 407.
  squid
)

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

need_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: $1; run this script as root to do it" >&2
    exit 1
  fi
}

# apt's own words on a failed install, in the build tree.
apt_log=$(dirname "$0")/../build/setup-apt.log

install_packages() {
  echo "setup: installing $*"
  mkdir -p "$(dirname "$apt_log")"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  if ! apt-get install -y -qq --no-install-recommends "$@" >"$apt_log" 2>&1; then
    for p in "$@"; do
      apt-get install -y -qq --no-install-recommends "$p" >>"$apt_log" 2>&1 ||
        { echo "setup: could not install package '$p' (see $apt_log)" >&2; exit 1; }
    done
  fi
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  need_root "missing packages (${missing[*]})"
  install_packages "${missing[@]}"
fi

# The product is a 32-bit program: Wine runs it through wine32. Where the kernel cannot execute 32-bit
# programs, qemu-i386 runs them, registered with binfmt_misc; the "F" flag opens the interpreter once, so
# that it serves every mount namespace.
runs_32_bit() { /lib/ld-linux.so.2 --version >/dev/null 2>&1; }
qemu_rule=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:'
qemu_rule+='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'
qemu_rule+='/usr/bin/qemu-i386-static:F'

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_root "the i386 architecture is not enabled for Debian's wine32"
  echo "setup: enabling the i386 architecture"
  dpkg --add-architecture i386
fi
installed libc6:i386 || { need_root "libc6:i386 is missing"; install_packages libc6:i386; }
if ! runs_32_bit; then
  installed qemu-user-static || { need_root "qemu-user-static is missing"; install_packages qemu-user-static; }
  binfmt=/proc/sys/fs/binfmt_misc
  if [ ! -e $binfmt/qemu-i386 ]; then
    need_root "32-bit programs do not run here and qemu-i386 is not registered"
    [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt
    echo "setup: registering qemu-i386 with binfmt_misc: this kernel does not execute 32-bit programs"
    printf '%s' "$qemu_rule" >$binfmt/register
  fi
  runs_32_bit || { echo "setup: a 32-bit program does not start, even through qemu-i386" >&2; exit 1; }
fi
installed wine32:i386 || { need_root "wine32:i386 is missing"; install_packages wine32:i386; }
