// dataxml: runs one statement or script on the query service through TDataXML, or reads a saved
// reply, and prints its rows.

#include "json_keys.h"
#include "output_formats.h"
#include "reply_shape.h"
#include "result_table.h"
#include "script_statements.h"
#include "statement_excerpt.h"

#include "Exception.h"
#include "reply_text.h"
#include "uAutentica.h"
#include "uMySql.h"
#include "uwsselectxml.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <vector>

namespace {

const char *const usage = R"(uso: dataxml --host HOST[:PORTA] (--sql TEXTO | --sql - | -f ARQUIVO) [opções]
       dataxml --reply ARQUIVO [--format FORMATO] [--null TEXTO]

Executa uma instrução SQL (ou, com --script, várias separadas por ";") no serviço de consultas em
HOST e mostra as linhas; a situação vai para a saída de erros. --reply lê uma resposta gravada com
--save (ou pelo cliente, SalvarXML), sem rede.

  --sql TEXTO           a instrução; "--sql -" a lê da entrada padrão
  -f ARQUIVO            lê a instrução do arquivo
  --param NOME=VALOR    troca :NOME na instrução por 'VALOR'
  --script              várias instruções separadas por ";", um resultado por instrução
  --zip                 pede a resposta compactada
  --rede N              identificador de rede enviado com a instrução
  --token-file ARQUIVO  credenciais da seção TOKEN do arquivo (padrão: o arquivo do produto)
  --timeout SEGUNDOS    tempo limite da resposta inteira (padrão: 60)
  --save ARQUIVO        grava a resposta como veio (descompactada), para ler com --reply
  --format FORMATO      table (padrão), tsv, csv ou json; --tsv é o mesmo que --format tsv
  --null TEXTO          como mostrar NULL (padrão: NULL; em json é sempre null)

Formatos:
  table  colunas alinhadas, para leitura; caracteres de controle aparecem escapados (\x1b, \n,
         \u009b) e conteúdo binário como <blob N bytes>
  tsv    separado por tabulações, com linha de cabeçalho; \t, \n, \r e \\ escapados como no
         formato texto do PostgreSQL; conteúdo binário como \\x e os bytes em hexadecimal
  csv    RFC 4180, com linha de cabeçalho; conteúdo binário por inteiro
  json   uma lista de objetos, um por linha; números nas colunas numéricas, null para NULL,
         conteúdo binário em base64; uma escrita como {"afetados": N, "last_id": M} (null onde a
         resposta não diz); com --script, uma lista com um elemento por instrução, escritas
         incluídas

Nomes das colunas: como as definições da resposta os dão, em maiúsculas (o serviço os torna nomes
de elemento válidos). Em json, um nome repetido ganha _2, _3 e assim por diante, com uma nota na
saída de erros.
NULL e texto vazio: o serviço escreve NULL como elemento vazio e o texto vazio codificado, e assim
os distingue. Numa resposta que escreva também o texto vazio como elemento vazio (serviços mais
antigos), ele aparece como NULL.
Texto longo e binários (tipo 252) vêm em base64 duas vezes e são decodificados; um conteúdo que não
é UTF-8 válido, ou que tem bytes 0, é binário.
Um campo que não se pode ler (base64 inválido, texto que não é o que a sua marca diz) é nomeado na
saída de erros com a linha e a coluna; na saída aparece como <ilegível> (table), como NULL (tsv,
csv) ou null (json), e a situação de saída diz que houve falha.

Situação de saída: 0 linhas mostradas ou instrução executada, 1 nenhuma linha (situação 003),
2 falha informada pelo serviço, 3 falha da chamada (conexão, tempo limite, credenciais, resposta
ilegível, arquivo), 4 argumentos inválidos, 5 uma escrita foi executada e está gravada no banco,
mas dataxml não concluiu o que vinha depois (gravar o arquivo de --save, ler um campo): não a
repita.
)";

enum Exit {
  rows_shown = 0,
  no_rows = 1,
  service_failure = 2,
  call_failure = 3,
  bad_arguments = 4,
  written_not_finished = 5
};

// A failure that ends the tool with its exit status; the text names the operation and the object.
struct Stop {
  Exit status;
  std::string message;
};

struct Options {
  std::string host, sql, sql_file, reply, token_file, rede, save;
  std::string null_text = "NULL";
  std::vector<std::string> params;
  bool zip = false, script = false, sql_given = false;
  Format format = Format::table;
  int timeout = 60;
};

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in)
    throw Stop{call_failure, "ler " + path + ": o arquivo não existe ou não pode ser lido"};
  std::string content(static_cast<size_t>(std::max<std::streamoff>(in.tellg(), 0)), '\0');
  in.seekg(0);
  if (!in.read(content.data(), static_cast<std::streamsize>(content.size())))
    throw Stop{call_failure, "ler " + path + ": o arquivo não pode ser lido"};
  return content;
}

Format format_named(const std::string &name) {
  if (name == "table")
    return Format::table;
  if (name == "tsv")
    return Format::tsv;
  if (name == "csv")
    return Format::csv;
  if (name == "json")
    return Format::json;
  throw Stop{bad_arguments, "--format " + name + ": use table, tsv, csv ou json"};
}

int seconds_named(const std::string &text) {
  size_t end = 0;
  int value = 0;
  try {
    value = std::stoi(text, &end);
  } catch (const std::exception &) {
    end = 0;
  }
  if (end != text.size() || value < 1 || value > 86400)
    throw Stop{bad_arguments, "--timeout " + text + ": dê um número de segundos de 1 a 86400"};
  return value;
}

Options parse(int argc, char **argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc)
        throw Stop{bad_arguments, arg + " precisa de um valor"};
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << usage;
      std::exit(0);
    } else if (arg == "--host") {
      o.host = value();
    } else if (arg == "--sql") {
      o.sql = value();
      o.sql_given = true;
    } else if (arg == "-f") {
      o.sql_file = value();
    } else if (arg == "--param") {
      o.params.push_back(value());
    } else if (arg == "--rede") {
      o.rede = value();
    } else if (arg == "--token-file") {
      o.token_file = value();
    } else if (arg == "--reply") {
      o.reply = value();
    } else if (arg == "--save") {
      o.save = value();
    } else if (arg == "--timeout") {
      o.timeout = seconds_named(value());
    } else if (arg == "--format") {
      o.format = format_named(value());
    } else if (arg == "--tsv") {
      o.format = Format::tsv;
    } else if (arg == "--null") {
      o.null_text = value();
    } else if (arg == "--zip") {
      o.zip = true;
    } else if (arg == "--script") {
      o.script = true;
    } else {
      throw Stop{bad_arguments, "argumento desconhecido: " + arg};
    }
  }
  const bool has_sql = o.sql_given || !o.sql_file.empty();
  if (o.sql_given && !o.sql_file.empty())
    throw Stop{bad_arguments, "dê a instrução com --sql ou com -f, não com os dois"};
  if (o.reply.empty() ? o.host.empty() || !has_sql : !o.host.empty() || has_sql)
    throw Stop{bad_arguments, "dê --host e a instrução, ou só --reply"};
  return o;
}

// The token is checked before anything is sent: the service's refusal would not say why.
void check_token(const std::string &path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error))
    throw Stop{call_failure, "ler o arquivo de token " + path + ": o arquivo não existe"};
  TLeitura token;
  token.LeIni();
  if (token.ID().empty() || token.SENHA().empty())
    throw Stop{call_failure, "ler o arquivo de token " + path + ": falta ID ou SENHA na seção TOKEN"};
}

// What one statement gave: its rows, or for a statement without columns, what it changed.
struct Statement {
  ResultTable table;
  bool write = false;
  std::optional<int64_t> afetados;
  std::optional<int64_t> last_id;
};

Statement read_statement(TDataXML &q, const std::string &where, FieldFailures &failures) {
  Statement s;
  s.table = ResultTable::read(q, where, failures);
  s.write = s.table.names.empty();
  const int64_t changed = q.RowsAffected();
  if (changed >= 0)
    s.afetados = changed;
  if (q.LastID() != 0)
    s.last_id = q.LastID();
  return s;
}

void write_statement(Output &out, const Statement &s, const Options &o, const std::string &where) {
  if (o.format == Format::json) {
    if (s.write)
      return write_json_write(out, s.afetados, s.last_id);
    std::vector<std::string> notes;
    std::vector<std::string> keys = json_keys(s.table.names, notes);
    for (const std::string &note : notes)
      std::cerr << "dataxml: nota: " << where << terminal_safe(note) << '\n';
    return write_json(out, s.table, keys);
  }
  switch (o.format) {
  case Format::table:
    return write_table(out, s.table, o.null_text);
  case Format::tsv:
    return write_tsv(out, s.table, o.null_text);
  case Format::csv:
    return write_csv(out, s.table, o.null_text);
  case Format::json:
    break;
  }
}

// "N registro(s)" of a query; of a write, how many rows it changed, when the reply says.
std::string count_text(const TDataXML &q, const Statement &s) {
  if (!s.write)
    return std::to_string(q.RecordCount()) + " registro(s)";
  return s.afetados ? std::to_string(*s.afetados) + " registro(s) afetado(s)" : "instrução executada";
}

// A script's failure names the statement that failed and what ran before it.
std::string failed_statement(const TDataXML &q, const std::string &script) {
  int32_t number = 0;
  try {
    std::optional<std::string> text = reply_text::element_text(q.XML(), "instrucao");
    number = text ? reply_text::to_int32(*text) : 0;
  } catch (const std::exception &) {
    return "a resposta não diz em que instrução o script falhou";
  }
  const std::vector<std::string> statements = script_statements(script);
  if (script.empty()) // a saved reply: the script itself is not at hand
    return "o script falhou na instrução " + std::to_string(number);
  if (number < 1 || static_cast<size_t>(number) > statements.size())
    return "o script falhou na instrução " + std::to_string(number) + ", que ele não tem";
  std::string message =
      "o script falhou na instrução " + std::to_string(number) + " de " + std::to_string(statements.size()) +
      ": \"" + terminal_safe(statement_excerpt(statements[static_cast<size_t>(number - 1)])) + "\"; ";
  if (number == 1)
    return message + "nenhuma instrução foi executada antes dela";
  if (number == 2)
    return message + "a instrução 1 foi executada antes dela";
  return message + "as instruções 1 a " + std::to_string(number - 1) + " foram executadas antes dela";
}

// The failure, when the reply cannot be saved.
std::optional<std::string> save_reply(const TDataXML &q, const std::string &path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << q.XML();
  if (!out.flush())
    return "gravar a resposta em " + path + ": não foi possível escrever o arquivo";
  return std::nullopt;
}

// The failure of the call, on one line; a refusal of the credentials names their file.
std::string call_failure_text(const std::string &raised, const Options &o) {
  std::string line;
  for (size_t i = 0; i < raised.size(); ++i)
    if (raised.compare(i, 2, "\r\n") == 0)
      line += ": ", ++i;
    else
      line += raised[i];
  if (line.find("Erro HTTP 401") != std::string::npos)
    return "o serviço recusou as credenciais do arquivo de token " +
           (o.token_file.empty() ? TokenFile : o.token_file) + " (HTTP 401)";
  return terminal_safe(line);
}

int run(const Options &o) {
  TDataXML q;
  if (!o.host.empty())
    q.ServidorWS(o.host);
  q.SetSQL(o.sql);
  q.SetScript(o.script);
  q.SetRedeID(o.rede);
  for (const std::string &p : o.params) {
    size_t equals = p.find('=');
    q.GravaParam(p.substr(0, equals), equals == std::string::npos ? "" : p.substr(equals + 1));
  }
  bool ok = false;
  try {
    ok = o.zip ? q.ExecuteZ() : q.Execute();
  } catch (const std::exception &e) {
    if (!o.save.empty() && !q.XML().empty())
      if (std::optional<std::string> unsaved = save_reply(q, o.save))
        std::cerr << "dataxml: " << *unsaved << '\n';
    throw Stop{call_failure, call_failure_text(e.what(), o)};
  }
  const std::optional<std::string> unsaved = o.save.empty() ? std::nullopt : save_reply(q, o.save);
  if (q.NotFound()) {
    std::cerr << "situação 003: nenhum registro\n";
    if (unsaved)
      throw Stop{call_failure, *unsaved};
    return no_rows;
  }
  if (!ok) {
    if (q.Erro() == 0)
      throw Stop{call_failure, "ler a resposta: ela não tem resultados"};
    std::cerr << "erro " << q.Erro() << ": " << terminal_safe(q.Error()) << '\n';
    // Error holds the message lower-cased and without quotes; support staff want it as sent.
    std::optional<std::string> sent = service_message(q.XML());
    if (sent && !sent->empty())
      std::cerr << "mensagem do serviço: " << terminal_safe(*sent) << '\n';
    if (o.script)
      std::cerr << failed_statement(q, o.sql) << '\n';
    if (unsaved)
      std::cerr << "dataxml: " << *unsaved << '\n';
    return service_failure;
  }

  FieldFailures failures;
  bool wrote = false;
  try {
    Output out(std::cout);
    if (!o.script) {
      const Statement s = read_statement(q, "", failures);
      wrote = s.write;
      if (!s.write || o.format == Format::json) {
        write_statement(out, s, o, "");
        if (o.format == Format::json)
          out.text += '\n';
      }
      std::cerr << "situação 000: " << count_text(q, s);
      if (s.last_id)
        std::cerr << ", last_id " << *s.last_id;
      std::cerr << '\n';
    } else {
      // JSON: one element per statement; the other formats: the result sets, a blank line apart.
      if (o.format == Format::json)
        out.text += "[\n";
      bool first = true;
      for (int32_t n = 1; n <= q.Script_Count(); ++n) {
        q.SetScript_Index(n);
        const std::string where = "instrução " + std::to_string(n) + ", ";
        const Statement s = read_statement(q, where, failures);
        wrote |= s.write;
        if (!s.write || o.format == Format::json) {
          if (!first)
            out.text += o.format == Format::json ? ",\n" : "\n";
          write_statement(out, s, o, where);
          first = false;
        }
        std::cerr << "instrução " << n << ": " << count_text(q, s) << '\n';
      }
      if (o.format == Format::json)
        out.text += "\n]\n";
    }
  } catch (const std::exception &e) {
    if (!wrote)
      throw;
    throw Stop{written_not_finished,
               call_failure_text(e.what(), o) +
                   "; a escrita já foi executada e está gravada no banco: não a repita"};
  }
  if (!std::cout.flush())
    throw Stop{wrote ? written_not_finished : call_failure, "escrever na saída padrão: não foi possível"};
  failures.report(std::cerr);
  if (unsaved)
    std::cerr << "dataxml: " << *unsaved << '\n';
  if (!unsaved && failures.count() == 0)
    return rows_shown;
  if (!wrote)
    return call_failure;
  std::cerr << "dataxml: a escrita foi executada e está gravada no banco: não a repita\n";
  return written_not_finished;
}

int run_tool(int argc, char **argv) {
  Options o = parse(argc, argv);
  if (o.sql_given && o.sql == "-") {
    std::ostringstream in;
    in << std::cin.rdbuf();
    o.sql = in.str();
  } else if (!o.sql_file.empty()) {
    o.sql = read_file(o.sql_file);
  }
  std::string saved;
  if (!o.reply.empty()) {
    saved = read_file(o.reply);
    // A script's reply: its result sets, or the statement it failed at.
    const ReplyShape shape = reply_shape(saved);
    o.script = shape.script_results || shape.failed_statement;
    // Asked once: the reply is handed over, not copied.
    SetSelectXmlTransport([&saved](const std::string &, const std::string &, const std::string &,
                                   const std::string &) { return std::move(saved); });
  } else {
    if (!o.token_file.empty())
      TokenFile = o.token_file;
    check_token(TokenFile);
  }
  ReplyTimeLimit = o.timeout;
  try {
    return run(o);
  } catch (const Stop &) {
    throw;
  } catch (const std::exception &e) {
    throw Stop{call_failure, call_failure_text(e.what(), o)};
  }
}

} // namespace

int main(int argc, char **argv) {
  try {
    return run_tool(argc, argv);
  } catch (const Stop &stop) {
    std::cerr << "dataxml: " << stop.message << '\n';
    if (stop.status == bad_arguments)
      std::cerr << "use dataxml --help para ver as opções\n";
    return stop.status;
  }
}
