#!/usr/bin/env bash
# The dataxml tool against a running velacorte-queryd and on saved replies: output, status lines and
# exit status. CSV and JSON are read back with Python's csv and json modules.
#   dataxml_tool_test.sh DATAXML VELACORTE_QUERYD STATE_DIR
set -u
tool=$1 queryd=$2 state=$3
rm -rf "$state" && mkdir -p "$state"
"$queryd" --demo --control --port 0 --port-file "$state/port" >"$state/queryd.log" 2>&1 &
queryd_pid=$!
trap 'kill $queryd_pid 2>/dev/null; wait $queryd_pid 2>/dev/null' EXIT
for _ in $(seq 100); do
  [ -s "$state/port" ] && break
  sleep 0.1
done
host=127.0.0.1:$(cat "$state/port")
# The control API answers only to the service's credentials (the demo's default token).
credentials=06192284400461:1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A
control() { curl -s -f -u "$credentials" -d '' "http://$host/_control/$1" >/dev/null || echo "FAILED: control call $1" >&2; }
requests() { curl -s -f -u "$credentials" "http://$host/_control/log" | wc -l; }
printf '[TOKEN]\nID=06192284400461\nSENHA=1E0CA7B3:C56F0A14:9B2E7D06:E3F81C5A\n' >"$state/token.ini"
printf '[TOKEN]\nID=06192284400461\n' >"$state/no-senha.ini"
printf '[TOKEN]\nID=06192284400461\nSENHA=errada\n' >"$state/wrong.ini"
printf '<?xml version="1.0"?><retorno><status><codigo>000</codigo><mensagem/></status><select rows="2"><row><N>77u/w6k=</N><V>7</V></row><row><N>eA==</N><V>8</V></row></select><fields><N tipo="253" tamanho="9"/><V tipo="3" tamanho="9"/></fields></retorno>' >"$state/saved.xml"
printf '<retorno><status><codigo>000</codigo>' >"$state/truncated.xml"
printf 'select count(*) as c from v' >"$state/count.sql"
failed=0

# expect STATUS OUT_PATTERN ERR_PATTERN ARGS...: the exit status, a line of standard output and a line
# of standard error (grep patterns; "" for any, "^$" for none). Standard input is the variable `input`.
input=
expect() {
  local status=$1 out_pattern=$2 err_pattern=$3
  shift 3
  local rc
  "$tool" "$@" <<<"$input" >"$state/stdout" 2>"$state/stderr"
  rc=$?
  if [ "$rc" -ne "$status" ] || ! grep -qE -- "$out_pattern" <<<"$(tr -d '\0' <"$state/stdout")" ||
    ! grep -qE -- "$err_pattern" <<<"$(cat "$state/stderr")"; then
    echo "FAILED: dataxml $* -> $rc (expected $status), output:" >&2
    cat "$state/stdout" "$state/stderr" >&2
    failed=1
  fi
}

t=(--host "$host" --token-file "$state/token.ini")
# Every byte in the blob; a tab, a line break, a quote, a comma, accents and ESC in the text; NULL and
# the empty text.
every_byte=$(for b in $(seq 0 255); do printf '%02x' "$b"; done)
expect 0 '' '^instrução 2: 1 registro\(s\) afetado\(s\)$' "${t[@]}" --script --sql "create table v (id integer primary key, t text, b blob);
  insert into v (t, b) values ('a' || char(9) || 'b' || char(10) || 'c \"q\", d é', X'$every_byte');
  insert into v (t, b) values ('', X'');
  insert into v (t, b) values (NULL, NULL);
  insert into v (t, b) values ('x' || char(27) || '[31m;' || char(155), 'texto')"
q=(--sql "select id, t, b from v order by id")

expect 0 '^1 +a\\tb\\nc "q", d é +<blob 256 bytes>$' '^situação 000: 4 registro\(s\)$' "${t[@]}" "${q[@]}"
expect 0 '^3 +NULL +NULL$' '' "${t[@]}" "${q[@]}"
expect 0 '^2 +$' '' "${t[@]}" "${q[@]}" # the empty text, and an empty blob: no NULL
expect 0 '^4 +x\\x1b\[31m;\\u009b +texto$' '' "${t[@]}" "${q[@]}"
expect 0 '^3 +\(nulo\) +\(nulo\)$' '' "${t[@]}" "${q[@]}" --null '(nulo)'
if grep -q $'\x1b' "$state/stdout"; then
  echo "FAILED: the table sent ESC to the terminal" >&2
  failed=1
fi
expect 0 $'^ID\tT\tB$' '' "${t[@]}" "${q[@]}" --tsv
expect 0 $'^1\ta\\\\tb\\\\nc "q", d é\t\\\\\\\\x'"$every_byte"'$' '' "${t[@]}" "${q[@]}" --format tsv
expect 0 $'^2\t\t$' '' "${t[@]}" "${q[@]}" --format tsv
expect 0 $'^3\tNULL\tNULL$' '' "${t[@]}" "${q[@]}" --format tsv

check_python() { # check_python WHAT SCRIPT: the script reads the tool's output on standard input
  if ! python3 -c "$2" <"$state/stdout"; then
    echo "FAILED: $1" >&2
    failed=1
  fi
}
expect 0 '^ID,T,B' '' "${t[@]}" "${q[@]}" --format csv
check_python "CSV read back" '
import csv, io, sys
data = sys.stdin.buffer.read()
assert data.endswith(b"\r\n"), data[-10:]
rows = list(csv.reader(io.StringIO(data.decode("latin-1"), newline="")))
assert rows[0] == ["ID", "T", "B"], rows[0]
assert rows[1][1].encode("latin-1").decode() == "a\tb\nc \"q\", d é", rows[1]
assert rows[1][2].encode("latin-1") == bytes(range(256)), rows[1][2]
assert rows[2] == ["2", "", ""] and rows[3] == ["3", "NULL", "NULL"], rows[2:4]
assert len(rows) == 5'
expect 0 '^\[$' '' "${t[@]}" "${q[@]}" --format json
check_python "JSON read back" '
import base64, json, sys
rows = json.load(sys.stdin)
assert [r["ID"] for r in rows] == [1, 2, 3, 4], rows
assert rows[0]["T"] == "a\tb\nc \"q\", d é" and base64.b64decode(rows[0]["B"]) == bytes(range(256))
assert rows[1]["T"] == "" and rows[1]["B"] == ""
assert rows[2]["T"] is None and rows[2]["B"] is None
assert rows[3]["T"] == "x\x1b[31m;\x9b" and rows[3]["B"] == "texto"'
expect 0 '' '' "${t[@]}" --script --format json --sql "select 1 as a; update v set id = id where id > 2; select 'x' as b"
check_python "JSON of a script" '
import json, sys
assert json.load(sys.stdin) == [[{"A": 1}], [{"B": "x"}]]'

# SQL from standard input and from a file; writes; a failing script.
input="select count(*) as c from v"
expect 0 '^4$' '' "${t[@]}" --sql -
input=
expect 0 '^4$' '' "${t[@]}" -f "$state/count.sql"
expect 3 '^$' '^dataxml: ler .*/missing.sql: ' "${t[@]}" -f "$state/missing.sql"
expect 0 '^$' '^situação 000: 2 registro\(s\) afetado\(s\)$' "${t[@]}" --sql "update v set t = 'y' where id > 2"
expect 0 '^$' '^situação 000: 1 registro\(s\) afetado\(s\), last_id 5$' "${t[@]}" --sql "insert into v (t) values ('z')"
expect 2 '' '^o script falhou na instrução 3 de 4: "select \* from nada_aqui"; as instruções 1 a 2 foram executadas antes dela$' \
  "${t[@]}" --script --sql "select 1; update v set t = 'w' where id = 5; select * from nada_aqui; select 2"
printf '<retorno><status><codigo>102</codigo><mensagem>no such table: x</mensagem><instrucao>2</instrucao></status></retorno>' >"$state/failed-script.xml"
expect 2 '^$' '^o script falhou na instrução 2$' --reply "$state/failed-script.xml"
expect 2 '' '^o script falhou na instrução 1 de 1: "select   nada_.{46}\.\.\."; nenhuma instrução foi executada antes dela$' \
  "${t[@]}" --script --sql "select   nada_de_uma_coluna_que_nao_existe_em_lugar_algum from v"

# Errors name their cause; the token is checked before anything is sent.
expect 3 '^$' 'conexão recusada' --host 127.0.0.1:1 --token-file "$state/token.ini" --sql "select 1"
expect 3 '^$' 'host desconhecido' --host nao-existe.invalid --token-file "$state/token.ini" --sql "select 1"
control "fail?path=/servicos/wsdl/selectxml/selectxml.php&count=1&status=0"
expect 3 '^$' 'sem resposta após 2 s' "${t[@]}" --timeout 2 --sql "select 1"
before=$(requests)
expect 3 '^$' '^dataxml: ler o arquivo de token .*/missing.ini: o arquivo não existe$' \
  --host "$host" --token-file "$state/missing.ini" --sql "select 1"
expect 3 '^$' '^dataxml: ler o arquivo de token .*/no-senha.ini: falta ID ou SENHA na seção TOKEN$' \
  --host "$host" --token-file "$state/no-senha.ini" --sql "select 1"
if [ "$(requests)" -ne "$before" ]; then
  echo "FAILED: a request was sent with a missing or incomplete token" >&2
  failed=1
fi
expect 3 '^$' 'recusou as credenciais do arquivo de token .*/wrong.ini \(HTTP 401\)' \
  --host "$host" --token-file "$state/wrong.ini" --sql "select 1"

# Saving a reply and reading it back, plain and compressed.
for zip in "" --zip; do
  expect 0 '^1 +a\\tb\\nc "q", d é +<blob 256 bytes>$' '' "${t[@]}" "${q[@]}" $zip --save "$state/reply.xml"
  expect 0 '^1 +a\\tb\\nc "q", d é +<blob 256 bytes>$' '^situação 000: 5 registro\(s\)$' --reply "$state/reply.xml"
done

# The checks of before.
expect 0 $'^CHECK_ID\tARQUIVO$' '' "${t[@]}" --tsv --sql "select check_id, arquivo from sistema.check_files"
expect 0 '^1001 +Velacorte.exe$' '' "${t[@]}" --zip --sql "select check_id, arquivo from sistema.check_files where check_id = :id" --param id=1001
expect 0 '^B  C$' '' "${t[@]}" --script --sql "select 1 as a; select 'é' as b, 2 as c"
expect 1 '^$' '^situação 003: nenhum registro$' "${t[@]}" --sql "select * from sistema.check_files where check_id = 'none'"
expect 2 '^$' '^erro 102: no such table: no_such_table$' "${t[@]}" --sql "select * from no_such_table"
expect 0 $'^é\t7$' '' --reply "$state/saved.xml" --tsv
expect 0 '^x  8$' '' --reply "$state/saved.xml"
expect 3 '^$' '^dataxml: ' --reply "$state/truncated.xml"
expect 3 '^$' '^dataxml: ler .*/missing.xml: ' --reply "$state/missing.xml"
expect 4 '^$' 'dê --host e a instrução' --sql "select 1"
expect 4 '^$' '^dataxml: --format xml: ' "${t[@]}" "${q[@]}" --format xml
expect 4 '^$' '^dataxml: --timeout 0: ' "${t[@]}" "${q[@]}" --timeout 0
expect 0 '^uso: dataxml' '' --help
expect 0 'NULL e texto vazio' '' --help
exit $failed
