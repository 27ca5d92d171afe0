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
# A server's port, once it has written it to its file.
port_of() {
  for _ in $(seq 100); do
    [ -s "$1" ] && break
    sleep 0.1
  done
  cat "$1"
}
port=$(port_of "$state/port")
host=127.0.0.1:$port
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
check_python "JSON of a script: one element per statement, the write included" '
import json, sys
assert json.load(sys.stdin) == [[{"A": 1}], {"afetados": 2, "last_id": None}, [{"B": "x"}]]'

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

# Errors of the HTTP library in the tool's words: a service that reads the request and drops the
# connection without an answer, and TLS spoken to a service that does not speak it.
python3 -c '
import socket, sys
s = socket.socket()
s.bind(("127.0.0.1", 0))
s.listen(4)
with open(sys.argv[1], "w") as f:
    f.write(str(s.getsockname()[1]))
while True:
    c, _ = s.accept()
    request = b""
    while b"\r\n\r\n" not in request:
        request += c.recv(65536)
    head, body = request.split(b"\r\n\r\n", 1)
    length = int(next(l.split(b":")[1] for l in head.split(b"\r\n") if l.lower().startswith(b"content-length:")))
    while len(body) < length:
        body += c.recv(65536)
    c.close()' "$state/drop-port" &
drop_pid=$!
trap 'kill $queryd_pid $drop_pid 2>/dev/null; wait $queryd_pid $drop_pid 2>/dev/null' EXIT
expect 3 '^$' '^dataxml: Erro na execução do comando: Falha de conexão com http://127.0.0.1:[0-9]+/.*: a conexão caiu antes do fim da resposta$' \
  --host "127.0.0.1:$(port_of "$state/drop-port")" --token-file "$state/token.ini" --sql "select 1"
expect 3 '^$' ': falha na conexão segura \(TLS\)' --host "https://$host" --token-file "$state/token.ini" --sql "select 1"
if grep -qE 'SSLConnection|Read' "$state/stderr"; then
  echo "FAILED: the HTTP library's own name of a failure reached the user" >&2
  failed=1
fi

# The service's message as it sent it, beside the lower-cased one that TDataXML keeps.
expect 2 '^$' '^mensagem do serviço: no such table: Nada_Aqui$' "${t[@]}" --sql "select * from Nada_Aqui"

# Writes: in JSON an object with what they changed; --save that cannot write its file after a
# committed write says so with status 5, and the write is not repeated by anything.
expect 0 '' '' "${t[@]}" --sql "create table w (id integer primary key, t text)"
expect 0 '^\{"afetados": 1, "last_id": 1\}$' '^situação 000: 1 registro\(s\) afetado\(s\), last_id 1$' \
  "${t[@]}" --format json --sql "insert into w (t) values ('j')"
check_python "JSON of an insert" '
import json, sys
assert json.load(sys.stdin) == {"afetados": 1, "last_id": 1}'
expect 0 '^\{"afetados": 1, "last_id": null\}$' '' "${t[@]}" --format json --sql "update w set t = t"
expect 5 '^$' '^dataxml: gravar a resposta em .*/sem-pasta/r.xml: não foi possível escrever o arquivo$' \
  "${t[@]}" --save "$state/sem-pasta/r.xml" --sql "insert into w (t) values ('s')"
expect 3 '^1$' '^dataxml: gravar a resposta em .*/sem-pasta/r.xml: ' "${t[@]}" --save "$state/sem-pasta/r.xml" \
  --sql "select count(*) from w where t = 's'" # a query repeated is harmless: status 3; inserted once
expect 5 '' 'não a repita$' "${t[@]}" --save "$state/sem-pasta/r.xml" --format json --script \
  --sql "select 1 as a; delete from w where t = 's'"
expect 0 '^0$' '' "${t[@]}" --sql "select count(*) from w where t = 's'"

# Column names that repeat and that collide with the reply's own element names, live and saved:
# the saved reply reads as an ordinary one; CSV keeps the names, JSON makes them distinct.
markers=(--sql "select 1 as script, 'a,b' as script, 'x' as instrucao, 2 as instrucao, 3 as codigo,
  'm' as mensagem, 4 as script_2, 'q' as \"select\"")
expect 0 '^SCRIPT +SCRIPT +INSTRUCAO +INSTRUCAO +CODIGO +MENSAGEM +SCRIPT_2 +SELECT$' '^situação 000: 1 registro\(s\)$' \
  "${t[@]}" "${markers[@]}" --save "$state/markers.xml"
for source in live saved; do
  if [ $source = live ]; then from=("${t[@]}" "${markers[@]}"); else from=(--reply "$state/markers.xml"); fi
  expect 0 '^1 +a,b +x +2 +3 +m +4 +q$' '^situação 000: 1 registro\(s\)$' "${from[@]}"
  expect 0 '^SCRIPT,SCRIPT,INSTRUCAO' '' "${from[@]}" --format csv
  check_python "CSV of repeated names ($source)" '
import csv, io, sys
rows = list(csv.reader(io.StringIO(sys.stdin.read(), newline="")))
assert rows == [["SCRIPT", "SCRIPT", "INSTRUCAO", "INSTRUCAO", "CODIGO", "MENSAGEM", "SCRIPT_2", "SELECT"],
                ["1", "a,b", "x", "2", "3", "m", "4", "q"]], rows'
  expect 0 '' '^dataxml: nota: a coluna 2 repete o nome SCRIPT; no JSON ela se chama SCRIPT_3$' "${from[@]}" --format json
  check_python "JSON of repeated names ($source)" '
import json, sys
assert json.load(sys.stdin) == [{"SCRIPT": 1, "SCRIPT_3": "a,b", "INSTRUCAO": "x", "INSTRUCAO_2": 2,
                                 "CODIGO": 3, "MENSAGEM": "m", "SCRIPT_2": 4, "SELECT": "q"}]'
  if ! grep -q 'a coluna 4 repete o nome INSTRUCAO; no JSON ela se chama INSTRUCAO_2$' "$state/stderr"; then
    echo "FAILED: no note of the renamed INSTRUCAO ($source)" >&2
    failed=1
  fi
done

# The reply table: saved replies, each read as --reply with the expected status and output.
# reply_case STATUS OUT_PATTERN ERR_PATTERN XML [ARGS...]
reply_number=0
reply_case() {
  local status=$1 out_pattern=$2 err_pattern=$3 xml=$4
  shift 4
  reply_number=$((reply_number + 1))
  printf '%s' "$xml" >"$state/case-$reply_number.xml"
  expect "$status" "$out_pattern" "$err_pattern" --reply "$state/case-$reply_number.xml" "$@"
}
head='<?xml version="1.0" encoding="UTF-8"?><retorno><status><codigo>000</codigo><mensagem></mensagem></status>'
ab_fields='<fields><A tipo="253" tamanho="9"/><B tipo="3" tamanho="9"/></fields>'
# Read by structure, not by a column's name: columns named like the markers, an ordinary reply.
reply_case 0 '^1 +2$' '^situação 000: 1 registro\(s\)$' \
  "$head"'<select rows="1"><row><SCRIPT>1</SCRIPT><INSTRUCAO>2</INSTRUCAO></row></select><fields><SCRIPT tipo="3" tamanho="1"/><INSTRUCAO tipo="3" tamanho="1"/></fields></retorno>'
reply_case 0 '^x +7$' '' \
  "$head"'<select rows="1"><row><SCRIPTS>eA==</SCRIPTS><INSTRUCAO_N>7</INSTRUCAO_N></row></select><fields><SCRIPTS tipo="253" tamanho="1"/><INSTRUCAO_N tipo="3" tamanho="1"/></fields></retorno>'
# A script's result sets, and a comment and blanks between the elements; its write in JSON.
reply_case 0 '' '^instrução 1: 3 registro\(s\) afetado\(s\)$' \
  "$head"'
<!-- <select rows="9"> --> <script><select rows="0" afetados="3"/><fields/></script>
<script><select rows="1"><row><A>eA==</A><B>1</B></row></select>'"$ab_fields"'</script></retorno>' --format json
check_python "JSON of a saved script" '
import json, sys
assert json.load(sys.stdin) == [{"afetados": 3, "last_id": None}, [{"A": "x", "B": 1}]]'
# A failed script names its statement; the service's message as sent, entities and case kept.
reply_case 2 '^$' '^mensagem do serviço: Tabela "Vendas" & "Itens" não existem$' \
  '<retorno><status><codigo>102</codigo><mensagem>Tabela "Vendas" &amp; "Itens" não existem</mensagem><instrucao>3</instrucao></status></retorno>'
if ! grep -qx 'erro 102: tabela vendas &amp; itens não existem' "$state/stderr" ||
  ! grep -qx 'o script falhou na instrução 3' "$state/stderr"; then
  echo "FAILED: the failed script's reply, stored message or statement" >&2
  failed=1
fi
# Fields that cannot be read are named, shown as such, and fail the run; the others are shown.
bad_rows='<select rows="3"><row><A>dmVs!YQ==</A><B>1</B></row><row><A>77u/ww==</A><B>2</B></row><row><A>b2s=</A><B>3</B></row></select>'
reply_case 3 '^<ilegível> +1$' '^dataxml: ler linha 1, coluna 1 \(A\): base64 inválido$' "$head$bad_rows$ab_fields</retorno>"
if ! grep -qx 'dataxml: ler linha 2, coluna 1 (A): o texto não é UTF-8 válido, como a sua marca diz' "$state/stderr" ||
  ! grep -qE '^ok +3$' "$state/stdout"; then
  echo "FAILED: the second unreadable field, or the readable row after them" >&2
  failed=1
fi
reply_case 3 '^\{"A":null,"B":1\},$' '^dataxml: ler linha 1, coluna 1' "$head$bad_rows$ab_fields</retorno>" --format json
reply_case 3 $'^NULL	1$' '' "$head$bad_rows$ab_fields</retorno>" --format tsv
reply_case 3 '^<ilegível>$' 'base64 inválido na segunda codificação do conteúdo binário$' \
  "$head"'<select rows="1"><row><D>YWJjIQ==</D></row></select><fields><D tipo="252" tamanho="9"/></fields></retorno>'
# A row count that the rows do not reach; a reply without its rows element.
reply_case 3 '^$' '^dataxml: ler linha 2: a resposta diz ter 9 linha\(s\) e termina antes$' \
  "$head"'<select rows="9"><row><A>eA==</A><B>1</B></row></select>'"$ab_fields</retorno>"
reply_case 3 '^$' '^dataxml: ' "$head</retorno>"

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
