// dataxml: runs one statement or script on the query service through TDataXML, or reads a saved
// reply, and prints its rows.

#include "reply_text.h"
#include "uAutentica.h"
#include "uMySql.h"

#include "Exception.h"
#include "uwsselectxml.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

const char *const usage =
    "usage: dataxml --host HOST[:PORT] --sql TEXT [--param NAME=VALUE]... [--zip] [--script] [--rede N]\n"
    "               [--token-file FILE] [--tsv]\n"
    "       dataxml --reply FILE [--tsv]\n"
    "\n"
    "Runs one statement (or, with --script, several separated by \";\") on the query service at HOST\n"
    "and prints the rows as an aligned table, or tab-separated with --tsv; the status goes to standard\n"
    "error. --reply reads a reply saved by the client (SalvarXML) instead, with no network.\n"
    "\n"
    "  --param NAME=VALUE  replaces :NAME in the statement by 'VALUE'\n"
    "  --zip               asks for a compressed reply\n"
    "  --rede N            network identifier sent with the statement\n"
    "  --token-file FILE   credentials from section TOKEN of FILE (default: the product's file)\n"
    "\n"
    "Exit status: 0 rows (or none to show), 1 no rows (status 003), 2 failure status from the service,\n"
    "3 failure of the call (connection, reply that cannot be read), 4 bad arguments.\n";

enum Exit { rows_shown = 0, no_rows = 1, service_failure = 2, call_failure = 3, bad_arguments = 4 };

struct Options {
  std::string host, sql, reply, token_file, rede;
  std::vector<std::string> params;
  bool zip = false, script = false, tsv = false;
};

size_t width(const std::string &s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// Line breaks and tabs would break the layout of both forms.
std::string one_line(std::string s) {
  std::replace_if(
      s.begin(), s.end(), [](char c) { return c == '\t' || c == '\n' || c == '\r'; }, ' ');
  return s;
}

void print_result_set(TDataXML &q, bool tsv) {
  std::vector<std::vector<std::string>> table(1);
  const int32_t columns = q.FieldsCount();
  for (int32_t c = 0; c < columns; ++c)
    table[0].push_back(q.FieldName(c));
  for (q.First(); !q.EOF(); q.Next()) {
    std::vector<std::string> &row = table.emplace_back();
    for (int32_t c = 0; c < columns; ++c)
      row.push_back(one_line(q.FieldByIndex(c)));
  }
  std::vector<size_t> widths(static_cast<size_t>(columns), 0);
  for (const auto &row : table)
    for (size_t c = 0; c < row.size(); ++c)
      widths[c] = std::max(widths[c], width(row[c]));
  for (const auto &row : table) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
      if (c > 0)
        line += tsv ? "\t" : "  ";
      line += row[c];
      if (!tsv && c + 1 < row.size())
        line.append(widths[c] - width(row[c]), ' ');
    }
    std::cout << line << '\n';
  }
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
  bool ok = o.zip ? q.ExecuteZ() : q.Execute();
  if (q.NotFound()) {
    std::cerr << "status 003: nenhum registro\n";
    return no_rows;
  }
  if (!ok) {
    if (q.Erro() == 0) {
      std::cerr << "falha: a resposta não tem conjuntos de resultados\n";
      return call_failure;
    }
    std::cerr << "erro " << q.Erro() << ": " << q.Error() << '\n';
    return service_failure;
  }
  if (o.script) {
    for (int32_t s = 1; s <= q.Script_Count(); ++s) {
      q.SetScript_Index(s);
      if (s > 1)
        std::cout << '\n';
      print_result_set(q, o.tsv);
      std::cerr << "script " << s << ": " << q.RecordCount() << " registro(s)\n";
    }
  } else {
    print_result_set(q, o.tsv);
    std::cerr << "status 000: " << q.RecordCount() << " registro(s)";
    if (q.LastID() != 0)
      std::cerr << ", last_id " << q.LastID();
    std::cerr << '\n';
  }
  return rows_shown;
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    throw Exception("não foi possível ler " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

} // namespace

int main(int argc, char **argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << "dataxml: " << arg << " requires a value\n" << usage;
        std::exit(bad_arguments);
      }
      return argv[++i];
    };
    if (arg == "--help" || arg == "-h") {
      std::cout << usage;
      return 0;
    } else if (arg == "--host") {
      o.host = value();
    } else if (arg == "--sql") {
      o.sql = value();
    } else if (arg == "--param") {
      o.params.push_back(value());
    } else if (arg == "--rede") {
      o.rede = value();
    } else if (arg == "--token-file") {
      o.token_file = value();
    } else if (arg == "--reply") {
      o.reply = value();
    } else if (arg == "--zip") {
      o.zip = true;
    } else if (arg == "--script") {
      o.script = true;
    } else if (arg == "--tsv") {
      o.tsv = true;
    } else {
      std::cerr << "dataxml: unknown argument " << arg << '\n' << usage;
      return bad_arguments;
    }
  }
  if (o.reply.empty() == (o.host.empty() || o.sql.empty()) || (!o.reply.empty() && !o.host.empty())) {
    std::cerr << usage;
    return bad_arguments;
  }
  std::string saved;
  try {
    if (!o.reply.empty()) {
      saved = read_file(o.reply);
      o.script = reply_text::find_lowered(saved, "<script") != std::string::npos;
      SetSelectXmlTransport([&saved](const std::string &, const std::string &, const std::string &,
                                     const std::string &) { return saved; });
    } else if (!o.token_file.empty()) {
      TokenFile = o.token_file;
    }
    return run(o);
  } catch (const std::exception &e) {
    std::cerr << "falha: " << e.what() << '\n';
    return call_failure;
  }
}
