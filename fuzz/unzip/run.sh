#!/usr/bin/env bash
# Builds the ZIP reader's libFuzzer target and runs it for SECONDS (default 10) from the seed corpus.
# Usage: fuzz/unzip/run.sh [SECONDS] [extra libFuzzer options...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=$root/build/fuzz/unzip
seconds=${1:-10}
shift || true
mkdir -p "$out/corpus"

clang++ -std=c++20 -g -O1 -Wall -Wextra -Werror -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$root/support" "$here/unzip_fuzzer.cpp" \
  "$root"/support/{zip_names,zip_archive,unzip_files,unzip,text}.cpp -lz -o "$out/unzip_fuzzer"

# New findings go to the build folder's corpus; the seeds in the repository stay as they are.
cd "$out"
./unzip_fuzzer -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -dict="$here/zip.dict" "$@" corpus "$here/corpus"
