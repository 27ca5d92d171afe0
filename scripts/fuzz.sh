#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs each for SECONDS, one after the other: first the
# seeds of fuzz/NAME/corpus and the inputs of earlier findings in fuzz/NAME/regressions, then new
# inputs, which are kept in build/fuzz/corpus/NAME. A crash, leak, timeout or memory blow-up stops the
# run with a failure; libFuzzer leaves the input as build/fuzz/findings/NAME/crash-*.
# Usage: scripts/fuzz.sh SECONDS [NAME...]   (every target when no NAME is given)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz.sh SECONDS [NAME...]}
shift
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(unzip roundtrip dataxml base64 compressed soap token separatexto)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j 2 --target "${targets[@]/%/_fuzzer}"

build=$PWD/build/fuzz
failed=()
for name in "${targets[@]}"; do
  corpus=$build/corpus/$name
  findings=$build/findings/$name
  mkdir -p "$corpus" "$findings"
  dirs=("$corpus" "fuzz/$name/corpus")
  [ -d "fuzz/$name/regressions" ] && dirs+=("fuzz/$name/regressions")
  dict=()
  [ -f "fuzz/$name/$name.dict" ] && dict=(-dict="fuzz/$name/$name.dict")
  echo "== fuzz $name for ${seconds}s"
  if ! "$build/fuzz/${name}_fuzzer" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -rss_limit_mb=2048 -artifact_prefix="$findings/" -print_final_stats=1 "${dict[@]}" "${dirs[@]}" \
    >"$findings/log" 2>&1; then
    tail -n 40 "$findings/log"
    failed+=("$name")
  else
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$findings/log" | tr '\n' ' '
    echo
  fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]} (inputs in $build/findings)" >&2
  exit 1
fi
