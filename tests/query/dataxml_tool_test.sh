#!/usr/bin/env bash
# The dataxml tool against a running velacorte-queryd and on saved replies: output and exit status.
#   dataxml_tool_test.sh DATAXML VELACORTE_QUERYD STATE_DIR
set -u
tool=$1 queryd=$2 state=$3
rm -rf "$state" && mkdir -p "$state"
"$queryd" --demo --port 0 --port-file "$state/port" >"$state/queryd.log" 2>&1 &
queryd_pid=$!
trap 'kill $queryd_pid 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ -s "$state/port" ] && break
  sleep 0.1
done
host=127.0.0.1:$(cat "$state/port")
printf '[TOKEN]\nID=06192284400461\nSENHA=1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A\n' >"$state/token.ini"
printf '<?xml version="1.0"?><retorno><status><codigo>000</codigo><mensagem/></status><select rows="2"><row><N>77u/w6k=</N><V>7</V></row><row><N>eA==</N><V>8</V></row></select><fields><N tipo="253" tamanho="9"/><V tipo="3" tamanho="9"/></fields></retorno>' >"$state/saved.xml"
printf '<retorno><status><codigo>000</codigo>' >"$state/truncated.xml"
failed=0

# expect STATUS OUTPUT_PATTERN ARGS...: the exit status and a line of standard output (a grep pattern).
expect() {
  local status=$1 pattern=$2
  shift 2
  local out rc
  out=$("$tool" "$@" 2>"$state/stderr")
  rc=$?
  if [ "$rc" -ne "$status" ] || ! grep -qE -- "$pattern" <<<"$out"; then
    echo "FAILED: dataxml $* -> $rc (expected $status), output:" >&2
    echo "$out" "$(cat "$state/stderr")" >&2
    failed=1
  fi
}

t=(--token-file "$state/token.ini")
expect 0 $'^CHECK_ID\tARQUIVO$' --host "$host" "${t[@]}" --tsv --sql "select check_id, arquivo from sistema.check_files"
expect 0 '^1001 +Velacorte.exe$' --host "$host" "${t[@]}" --zip --sql "select check_id, arquivo from sistema.check_files where check_id = :id" --param id=1001
expect 0 '^B  C$' --host "$host" "${t[@]}" --script --sql "select 1 as a; select 'é' as b, 2 as c"
expect 1 '^$' --host "$host" "${t[@]}" --sql "select * from sistema.check_files where check_id = 'none'"
expect 2 '^$' --host "$host" "${t[@]}" --sql "select * from no_such_table"
expect 3 '^$' --host "127.0.0.1:1" "${t[@]}" --sql "select 1"
expect 0 $'^é\t7$' --reply "$state/saved.xml" --tsv
expect 0 '^x  8$' --reply "$state/saved.xml"
expect 3 '^$' --reply "$state/truncated.xml"
expect 3 '^$' --reply "$state/missing.xml"
expect 4 '^$' --sql "select 1"
expect 0 '^usage: dataxml' --help
exit $failed
