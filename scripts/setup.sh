#!/usr/bin/env bash
# Installs the Debian packages the project needs; quiet when they are all present.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang clang-format
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64 xvfb xauth imagemagick
  zlib1g-dev libpugixml-dev googletest libsqlite3-dev libcpp-httplib-dev
  zip unzip libarchive-tools unicode-data curl python3 pkg-config libclang-rt-14-dev
  php-cli php-soap php-xml
  libssl-dev openssl
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages (${missing[*]}); run this script as root to install them" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq >/dev/null
if ! apt-get install -y -qq --no-install-recommends "${missing[@]}" >/tmp/velacorte-apt.log 2>&1; then
  for p in "${missing[@]}"; do
    apt-get install -y -qq --no-install-recommends "$p" >>/tmp/velacorte-apt.log 2>&1 ||
      { echo "setup: could not install package '$p' (see /tmp/velacorte-apt.log)" >&2; exit 1; }
  done
fi
