#!/usr/bin/env bash
# Downloads a 200 MB file from velacorte-queryd on loopback with the installer's download routine
# (download_bench.exe under Wine) and with `curl -o`, in turns, and prints the ratio of their best
# throughputs (target: at least 0.8) and the routine's peak memory growth (target: below 32 MB).
#
#   bash bench/download/bench_download.sh      (from the repository; builds what it needs)
set -euo pipefail
cd "$(dirname "$0")/../.."
ROUNDS=${ROUNDS:-3}
SIZE_MB=200

# An optimised velacorte-queryd of its own build folder (-O2: GCC 12 at -O3 warns falsely in the service
# code), so the server is not what limits either client.
cmake -S . -B build/bench-queryd -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELACORTE_TESTS=OFF >/dev/null
cmake --build build/bench-queryd --target velacorte-queryd >/dev/null
cmake --preset win64-test >/dev/null
cmake --build --preset win64-test --target download_bench >/dev/null
queryd=build/bench-queryd/server/velacorte-queryd
bench_exe=build/win64-test/bench/download/download_bench.exe
export WINEPREFIX=$PWD/build/win64-test/wineprefix

work=$(mktemp -d /tmp/velacorte-bench-download.XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/files/bench" "$work/out"
head -c $((SIZE_MB * 1024 * 1024)) /dev/urandom >"$work/files/bench/grande.zip"
"$queryd" --listen 127.0.0.1 --port 0 --port-file "$work/port" --files "$work/files" >"$work/queryd.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
url="http://127.0.0.1:$(cat "$work/port")/site/arquivos/bench/grande.zip"
target_z="Z:${work//\//\\}\\out\\rotina.zip"

# Wine's first start in a prefix is slow; start it before the timed rounds.
bash scripts/wine-run.sh cmd /c exit >/dev/null 2>&1 || true

best_curl=0
best_ours=0
growth_max=0
for round in $(seq "$ROUNDS"); do
  curl_s=$(curl -s -o "$work/out/curl.zip" -w '%{time_total}' "$url")
  read -r bytes ours_s growth < <(bash scripts/wine-run.sh "$bench_exe" "$url" "$target_z" | tr -d '\r')
  cmp -s "$work/out/curl.zip" "$work/out/rotina.zip" || { echo "bench: the two downloads differ" >&2; exit 1; }
  [ "$bytes" -eq $((SIZE_MB * 1024 * 1024)) ] || { echo "bench: routine received $bytes bytes" >&2; exit 1; }
  curl_mbs=$(awk -v s="$curl_s" -v m=$SIZE_MB 'BEGIN { printf "%.1f", m / s }')
  ours_mbs=$(awk -v s="$ours_s" -v m=$SIZE_MB 'BEGIN { printf "%.1f", m / s }')
  printf 'round %d: curl %s s (%s MB/s), routine %s s (%s MB/s), peak memory growth %.1f MB\n' \
    "$round" "$curl_s" "$curl_mbs" "$ours_s" "$ours_mbs" "$(awk -v g="$growth" 'BEGIN { print g / 1048576 }')"
  best_curl=$(awk -v a="$best_curl" -v b="$curl_mbs" 'BEGIN { print (b > a ? b : a) }')
  best_ours=$(awk -v a="$best_ours" -v b="$ours_mbs" 'BEGIN { print (b > a ? b : a) }')
  growth_max=$(awk -v a="$growth_max" -v b="$growth" 'BEGIN { print (b > a ? b : a) }')
  rm -f "$work/out/curl.zip" "$work/out/rotina.zip"
done

ratio=$(awk -v o="$best_ours" -v c="$best_curl" 'BEGIN { printf "%.2f", o / c }')
growth_mb=$(awk -v g="$growth_max" 'BEGIN { printf "%.1f", g / 1048576 }')
echo "download of $SIZE_MB MB, best of $ROUNDS: routine $best_ours MB/s, curl $best_curl MB/s"
echo "throughput ratio routine/curl: $ratio (target >= 0.8)"
echo "peak memory growth of the routine: $growth_mb MB (target < 32 MB)"
