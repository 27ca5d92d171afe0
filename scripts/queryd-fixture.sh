#!/usr/bin/env bash
# Starts or stops the velacorte-queryd that the Windows tests share (they cannot start a Linux
# program under Wine). start STATE_DIR PROGRAM [PORT [SEED_DIR [ARGUMENT...]]]: demo catalogue, files
# in STATE_DIR/files (seeded with a copy of SEED_DIR, whose archives the catalogue keeps), port in
# STATE_DIR/port (a free one unless PORT is given), more arguments for velacorte-queryd after SEED_DIR
# (which may be empty). stop STATE_DIR: ends it. The file list has no sha256 column, as today's
# services have none; tests of the digests add it themselves.
set -euo pipefail
action=$1 state=$2
case $action in
start)
  program=$3 port=${4:-0} seed=${5:-}
  shift $(($# < 5 ? $# : 5))
  [ -x "$program" ] || { echo "queryd-fixture: $program is missing; build the native preset first" >&2; exit 1; }
  if [ -f "$state/pid" ]; then kill "$(cat "$state/pid")" 2>/dev/null || true; fi
  rm -rf "$state"
  mkdir -p "$state/files"
  [ -z "$seed" ] || cp -r "$seed/." "$state/files/"
  setsid "$program" --demo --no-sha256 --control --port "$port" --files "$state/files" --port-file "$state/port" \
    --log "$state/requests.log" "$@" \
    >"$state/stdout" 2>"$state/stderr" </dev/null &
  echo $! >"$state/pid"
  for _ in $(seq 100); do
    [ -s "$state/port" ] && { echo "velacorte-queryd on port $(cat "$state/port")"; exit 0; }
    kill -0 "$(cat "$state/pid")" 2>/dev/null || break
    sleep 0.1
  done
  echo "queryd-fixture: velacorte-queryd did not start" >&2
  cat "$state/stderr" >&2
  exit 1
  ;;
stop)
  exec bash "$(dirname "$0")/stop-process.sh" "$state" queryd-fixture velacorte-queryd
  ;;
*)
  echo "usage: queryd-fixture.sh start STATE_DIR PROGRAM [PORT [SEED_DIR [ARGUMENT...]]] | stop STATE_DIR" >&2
  exit 2
  ;;
esac
