#!/usr/bin/env bash
# A throwaway MariaDB server for the tests: its data folder, socket and temporary files under STATE,
# no network port. Usage: mariadb-fixture.sh start|stop STATE
# start prints nothing on success; the socket is STATE/mariadb.sock, user root without a password,
# database "velacorte".
set -euo pipefail

action=${1:?start or stop}
state=${2:?state folder}
socket="$state/mariadb.sock"
pid_file="$state/mariadbd.pid"

stop_server() {
  [ -f "$pid_file" ] || return 0
  local pid
  pid=$(cat "$pid_file")
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 300); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  if kill -0 "$pid" 2>/dev/null; then
    echo "mariadb-fixture: stop mariadbd $pid: still running after 30 s, killed" >&2
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$pid_file"
}

case "$action" in
start)
  stop_server
  rm -rf "$state"
  mkdir -p "$state/data" "$state/tmp"
  # mariadbd refuses to run as root unless told to.
  if ! mariadb-install-db --no-defaults --user="$(id -un)" --datadir="$state/data" --tmpdir="$state/tmp" \
    --auth-root-authentication-method=normal --skip-test-db >"$state/install.log" 2>&1; then
    echo "mariadb-fixture: mariadb-install-db --datadir=$state/data failed:" >&2
    tail -20 "$state/install.log" >&2
    exit 1
  fi
  mariadbd --no-defaults --user="$(id -un)" --datadir="$state/data" --tmpdir="$state/tmp" \
    --socket="$socket" --pid-file="$pid_file" --skip-networking --log-error="$state/error.log" \
    --innodb-buffer-pool-size=32M --innodb-log-file-size=16M --character-set-server=utf8mb4 \
    --collation-server=utf8mb4_general_ci </dev/null >/dev/null 2>&1 &
  for _ in $(seq 1 300); do
    if mariadb-admin --no-defaults --socket="$socket" -uroot ping >/dev/null 2>&1; then
      mariadb --no-defaults --socket="$socket" -uroot -e "CREATE DATABASE IF NOT EXISTS velacorte"
      exit 0
    fi
    sleep 0.1
  done
  echo "mariadb-fixture: start mariadbd on $socket: no answer after 30 s:" >&2
  tail -20 "$state/error.log" >&2 || true
  stop_server
  exit 1
  ;;
stop)
  stop_server
  rm -rf "$state"
  ;;
*)
  echo "mariadb-fixture: unknown action $action (start or stop)" >&2
  exit 2
  ;;
esac
