#!/usr/bin/env bash
# The main job: builds the installer and starts it under Wine, on the user's display when there is
# one and otherwise under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset win64-test >/dev/null
cmake --build --preset win64-test
export WINEPREFIX=$PWD/build/win64-test/wineprefix
if [ -n "${DISPLAY:-}" ]; then
  scripts/wine-run.sh build/win64-test/installer/Install.exe
else
  timeout 20 xvfb-run -a scripts/wine-run.sh build/win64-test/installer/Install.exe || [ $? -eq 124 ]
  wineserver -k 2>/dev/null || true
  echo "demo: the installer started and ran under Xvfb"
fi
