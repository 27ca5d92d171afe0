#!/usr/bin/env bash
# Fetches Debian's source package of pugixml into DEST (for the MinGW builds, which have no pugixml
# package) and prints the folder holding pugixml.cpp. Uses a private source list so the machine's
# apt configuration stays as it is.
set -euo pipefail
dest=$1
found=$(ls -d "$dest"/pugixml-*/src 2>/dev/null | head -n 1 || true)
if [ -z "$found" ]; then
  mkdir -p "$dest/apt/lists/partial" "$dest/apt/sources"
  uri=$(awk '/^URIs:/{print $2; exit}' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
  [ -n "$uri" ] || uri=$(awk '/^deb /{print $2; exit}' /etc/apt/sources.list)
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
    "$uri" "$suite" >"$dest/apt/sources/src.sources"
  apt_opts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$dest/apt/sources"
    -o Dir::State::Lists="$dest/apt/lists")
  apt-get "${apt_opts[@]}" update -qq >/dev/null
  (cd "$dest" && apt-get "${apt_opts[@]}" source --download-only pugixml >"$dest/apt/source.log" 2>&1) ||
    { echo "fetch-pugixml: apt-get source pugixml failed (see $dest/apt/source.log)" >&2; exit 1; }
  tar -xzf "$(ls "$dest"/pugixml_*.orig.tar.gz | head -n 1)" -C "$dest"
  found=$(ls -d "$dest"/pugixml-*/src | head -n 1)
fi
echo "$found"
