#!/usr/bin/env bash
# Stops the process whose ID a fixture keeps in STATE_DIR/pid: SIGTERM, then SIGKILL after 5 s, which is
# reported as a failure, since the fixtures' programs must end on SIGTERM. NAME is the fixture's and the
# program's, for the report.
set -uo pipefail
state=$1 fixture=$2 program=$3
[ -f "$state/pid" ] || exit 0
pid=$(cat "$state/pid")
kill "$pid" 2>/dev/null || true
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || { rm -f "$state/pid"; exit 0; }
  sleep 0.1
done
kill -9 "$pid" 2>/dev/null || true
rm -f "$state/pid"
echo "$fixture: $program $pid did not end within 5 s of SIGTERM; killed" >&2
exit 1
