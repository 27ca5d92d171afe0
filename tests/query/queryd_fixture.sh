#!/usr/bin/env bash
# Starts or stops a velacorte-queryd with the demo catalogue for the query client's tests.
#   queryd_fixture.sh start QUERYD STATE_DIR   (the port is written to STATE_DIR/port)
#   queryd_fixture.sh stop STATE_DIR
set -eu
case $1 in
start)
  rm -rf "$3" && mkdir -p "$3"
  "$2" --demo --port 0 --port-file "$3/port" >"$3/log" 2>&1 &
  echo $! >"$3/pid"
  for _ in $(seq 100); do
    [ -s "$3/port" ] && exit 0
    sleep 0.1
  done
  echo "velacorte-queryd did not start" >&2
  exit 1
  ;;
stop)
  [ -f "$2/pid" ] && kill "$(cat "$2/pid")" 2>/dev/null || true
  ;;
esac
