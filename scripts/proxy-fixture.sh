#!/usr/bin/env bash
# Starts or stops the forward proxy of the installer's network tests: Debian's squid on loopback, with
# two ports on 127.0.0.2, an address other than the services' own: Wine's WinHTTP asks a proxy whose
# host name is the target's as if it were the target. STATE_DIR/address-open ("127.0.0.2:PORT") serves
# every request from loopback; STATE_DIR/address-strict asks for a user and password (HTTP 407) before
# it carries a request for the demo host, STATE_DIR/address-closed before it carries any request. Names in HOSTS_FILE
# (lines "ADDRESS NAME") resolve through the proxy only, so that a host the tests make up is reached
# through it or not at all. Nothing is cached: every request reaches the service. Its access log is
# STATE_DIR/access.log.
#   start STATE_DIR HOSTS_FILE | stop STATE_DIR
set -euo pipefail
action=$1 state=$2
address=127.0.0.2
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("'$address'",0)); print(s.getsockname()[1])'; }
case $action in
start)
  hosts=$3
  command -v squid >/dev/null || { echo "proxy-fixture: squid is missing; run scripts/setup.sh" >&2; exit 1; }
  if [ -f "$state/squid.pid" ]; then kill "$(cat "$state/squid.pid")" 2>/dev/null || true; fi
  rm -rf "$state"
  mkdir -p "$state"
  state=$(cd "$state" && pwd)
  open_port=$(free_port) strict_port=$(free_port) closed_port=$(free_port)
  cp "$hosts" "$state/hosts"
  # The strict port's one account; its password is never given, so every request there gets 407.
  printf 'loja:%s\n' "$(openssl passwd -apr1 nunca-enviada)" >"$state/passwd"
  cat >"$state/squid.conf" <<CONF
http_port $address:$open_port name=open
http_port $address:$strict_port name=strict
http_port $address:$closed_port name=closed
visible_hostname velacorte-proxy-de-teste
pid_filename $state/squid.pid
access_log stdio:$state/access.log
cache_log $state/cache.log
cache_store_log none
coredump_dir $state
netdb_filename none
pinger_enable off
cache deny all
cache_mem 8 MB
hosts_file $state/hosts
dns_nameservers 127.0.0.1
shutdown_lifetime 0 seconds
auth_param basic program /usr/lib/squid/basic_ncsa_auth $state/passwd
auth_param basic children 1 startup=1
acl strict myportname strict
acl closed myportname closed
acl demo dstdomain -n $(awk 'NF>=2{print $2}' "$state/hosts" | tr '\n' ' ')
acl authenticated proxy_auth REQUIRED
http_access deny strict demo !authenticated
http_access deny closed !authenticated
acl loopback src 127.0.0.0/8
http_access allow loopback
http_access deny all
CONF
  # Run as root, squid becomes the user "proxy", which must write its logs here.
  if [ "$(id -u)" -eq 0 ]; then chown -R proxy:proxy "$state"; fi
  setsid squid -N -f "$state/squid.conf" >"$state/stdout" 2>"$state/stderr" </dev/null &
  echo $! >"$state/pid"
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/$address/$open_port") 2>/dev/null && (exec 3<>"/dev/tcp/$address/$strict_port") 2>/dev/null &&
      (exec 3<>"/dev/tcp/$address/$closed_port") 2>/dev/null; then
      echo "$address:$open_port" >"$state/address-open"
      echo "$address:$strict_port" >"$state/address-strict"
      echo "$address:$closed_port" >"$state/address-closed"
      echo "squid on ports $open_port (open), $strict_port (strict) and $closed_port (closed)"
      exit 0
    fi
    kill -0 "$(cat "$state/pid")" 2>/dev/null || break
    sleep 0.1
  done
  echo "proxy-fixture: squid did not start" >&2
  cat "$state/stderr" "$state/cache.log" >&2 || true
  exit 1
  ;;
stop)
  exec bash "$(dirname "$0")/stop-process.sh" "$state" proxy-fixture squid
  ;;
*)
  echo "usage: proxy-fixture.sh start STATE_DIR HOSTS_FILE | stop STATE_DIR" >&2
  exit 2
  ;;
esac
