#!/usr/bin/env bash
# Starts or stops the two HTTPS velacorte-queryd of the Windows tests, with the throwaway certificates
# of test-certificates.sh. "trusted" serves a certificate for localhost from the tests' own authority
# (ca.der, which the tests add to their Wine prefix's trusted roots, never to the host's); "stranger"
# serves one for localhost from an authority that nobody trusts.
#   start STATE_DIR PROGRAM HTTP_PORT_FILE: ports in STATE_DIR/trusted/port and STATE_DIR/stranger/port;
#     on "trusted", every request for /para-http/Velacorte6.zip and /para-http/selectxml.php answers 302 to
#     the same file or service on the plain velacorte-queryd whose port is in HTTP_PORT_FILE.
#   stop STATE_DIR
set -euo pipefail
action=$1 state=$2
fixture=$(dirname "$0")/queryd-fixture.sh
# The credentials that the default token gives, as the product's constants hold them.
token=$(sed -n 's/^inline constexpr char kDefaultCredentials\[\] = "\(.*\)";$/\1/p' "$(dirname "$0")/../support/product.h")
[[ -n $token ]]

case $action in
start)
  program=$3 http_port=$(cat "$4")
  certs=$state/certs
  bash "$(dirname "$0")/test-certificates.sh" "$certs"
  for name in trusted stranger; do
    bash "$fixture" start "$state/$name" "$program" 0 "" --tls-cert "$certs/$name.pem" --tls-key "$certs/$name.key"
  done
  port=$(cat "$state/trusted/port")
  for target in Velacorte6.zip:/site/arquivos/instaladores/Velacorte6.zip selectxml.php:/servicos/wsdl/selectxml/selectxml.php; do
    curl -sSf --cacert "$certs/ca.pem" -u "$token" -d '' \
      "https://localhost:$port/_control/fail?path=/para-http/${target%%:*}&count=1000000&status=302&location=http://127.0.0.1:$http_port${target#*:}" >/dev/null
  done
  ;;
stop)
  status=0
  for name in trusted stranger; do bash "$fixture" stop "$state/$name" || status=1; done
  exit $status
  ;;
*)
  echo "usage: tls-queryd-fixture.sh start STATE_DIR PROGRAM HTTP_PORT_FILE | stop STATE_DIR" >&2
  exit 2
  ;;
esac
