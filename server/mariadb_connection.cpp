#include "mariadb_connection.h"

#include "reply_document.h"
#include "script_statements.h"
#include "text.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>

namespace {

// `timeout` seconds for the connection and its handshake, and for each read and write after it: a
// server that stops answering fails the statement instead of holding its worker.
MYSQL *connect(MYSQL *db, const MariadbSettings &settings, unsigned timeout) {
  mysql_options(db, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
  mysql_options(db, MYSQL_OPT_READ_TIMEOUT, &timeout);
  mysql_options(db, MYSQL_OPT_WRITE_TIMEOUT, &timeout);
  mysql_options(db, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  const char *host = settings.socket.empty() ? settings.host.c_str() : "localhost";
  const char *socket = settings.socket.empty() ? nullptr : settings.socket.c_str();
  return mysql_real_connect(db, host, settings.user.c_str(), settings.password.c_str(),
                            settings.database.empty() ? nullptr : settings.database.c_str(), settings.port,
                            socket, 0);
}

// The character set number of binary strings (BLOB, BINARY, VARBINARY) in the server's metadata.
constexpr unsigned binary_charset = 63;

// A BIT value arrives as its bytes, most significant first; it goes out as its number.
std::string bit_number(const char *bytes, unsigned long length) {
  unsigned long long number = 0;
  for (unsigned long i = 0; i < length; ++i)
    number = (number << 8) | static_cast<unsigned char>(bytes[i]);
  return std::to_string(number);
}

// The statement without trailing blanks and ";", which the server would take for a second statement.
std::string without_final_semicolon(const std::string &sql) {
  size_t end = sql.size();
  while (end > 0 && (static_cast<unsigned char>(sql[end - 1]) <= ' ' || sql[end - 1] == ';'))
    --end;
  return sql.substr(0, end);
}

// Whether the words SET STATEMENT follow each other anywhere in `sql` outside quotes and plain comments
// (the server runs the text of /*! ... */ comments), which would set max_statement_time for a statement.
bool sets_statement_variables(const std::string &sql) {
  std::string previous;
  size_t i = 0;
  while (i < sql.size()) {
    char c = sql[i];
    if (c == '\'' || c == '"' || c == '`') {
      for (++i; i < sql.size() && sql[i] != c; ++i)
        i += sql[i] == '\\';
      ++i;
      previous.clear();
    } else if (sql.compare(i, 2, "/*") == 0 && sql.compare(i, 3, "/*!") != 0 &&
               sql.compare(i, 4, "/*M!") != 0) {
      size_t end = sql.find("*/", i + 2);
      i = end == std::string::npos ? sql.size() : end + 2;
    } else if (sql.compare(i, 2, "--") == 0 || c == '#') {
      size_t end = sql.find('\n', i);
      i = end == std::string::npos ? sql.size() : end;
    } else if (std::isalpha(static_cast<unsigned char>(c))) {
      size_t start = i;
      while (i < sql.size() && (std::isalnum(static_cast<unsigned char>(sql[i])) || sql[i] == '_'))
        ++i;
      std::string word = text::upper_ascii(sql.substr(start, i - start));
      if (previous == "SET" && word == "STATEMENT")
        return true;
      previous = word;
    } else {
      ++i;
    }
  }
  return false;
}

} // namespace

bool read_mariadb_address(const std::string &address, MariadbSettings &settings) {
  if (address.find('/') != std::string::npos) {
    settings.socket = address;
    return true;
  }
  size_t colon = address.rfind(':');
  settings.host = address.substr(0, colon);
  if (colon == std::string::npos)
    return !settings.host.empty();
  std::string port = address.substr(colon + 1);
  char *end = nullptr;
  unsigned long number = std::strtoul(port.c_str(), &end, 10);
  if (port.empty() || *end || number < 1 || number > 65535 || settings.host.empty())
    return false;
  settings.port = static_cast<unsigned>(number);
  return true;
}

std::string mariadb_place(const MariadbSettings &settings) {
  std::string server =
      settings.socket.empty() ? settings.host + ":" + std::to_string(settings.port) : settings.socket;
  return "MariaDB " + server + " banco " + settings.database;
}

MariadbConnection::MariadbConnection(const MariadbSettings &settings, const StatementLimits &limits,
                                     const std::atomic<bool> &stopping)
    : settings_(settings), place_(mariadb_place(settings)), limits_(limits), stopping_(stopping) {
  db_ = mysql_init(nullptr);
  if (!db_)
    throw SqlError("conectar ao " + place_ + ": sem memória");
  // A statement may take its whole time limit before the server answers.
  auto statement_seconds = std::chrono::duration_cast<std::chrono::seconds>(limits.time).count();
  if (!connect(db_, settings, static_cast<unsigned>(statement_seconds) + 10)) {
    std::string message = mysql_error(db_);
    mysql_close(db_);
    throw SqlError("conectar ao " + place_ + ": " + message);
  }
  thread_id_ = mysql_thread_id(db_);
  try {
    set_up_session();
  } catch (const SqlError &e) {
    mysql_close(db_);
    throw SqlError("conectar ao " + place_ + ": " + e.what());
  }
}

void MariadbConnection::cancel() {
  // The connection that runs the statement waits for the server; another one asks the server to end it.
  MYSQL *other = mysql_init(nullptr);
  if (other && connect(other, settings_, 1)) {
    std::string kill = "KILL QUERY " + std::to_string(thread_id_);
    mysql_real_query(other, kill.data(), kill.size());
  }
  mysql_close(other);
}

MariadbConnection::~MariadbConnection() {
  mysql_close(db_);
}

void MariadbConnection::set_up_session() {
  char limit[64];
  std::snprintf(limit, sizeof limit, "SET SESSION max_statement_time = %.3f",
                static_cast<double>(limits_.time.count()) / 1000.0);
  query(limit);
}

void MariadbConnection::fail(const std::string &sql) {
  switch (mysql_errno(db_)) {
  case ER_STATEMENT_TIMEOUT:
    throw SqlError(statement_too_long(limits_.time, sql));
  case ER_QUERY_INTERRUPTED:
    if (stopping_.load())
      throw SqlError("comando cancelado: o serviço está parando");
    throw SqlError(mysql_error(db_));
  case CR_SERVER_GONE_ERROR:
  case CR_SERVER_LOST:
    throw SqlError(place_ + ": conexão perdida: " + mysql_error(db_));
  default:
    throw SqlError(mysql_error(db_));
  }
}

void MariadbConnection::query(const std::string &sql) {
  if (mysql_real_query(db_, sql.data(), sql.size()) != 0)
    fail(sql);
}

bool MariadbConnection::end_request() {
  // Undoes what the request left: an open transaction, session variables, temporary tables, locks.
  if (mysql_reset_connection(db_) != 0)
    return false;
  try {
    set_up_session();
  } catch (const SqlError &) {
    return false;
  }
  return true;
}

void MariadbConnection::begin_transaction() {
  query("START TRANSACTION");
}

void MariadbConnection::commit_transaction() {
  query("COMMIT");
}

bool MariadbConnection::in_transaction() const {
  unsigned status = 0;
  mariadb_get_infov(db_, MARIADB_CONNECTION_SERVER_STATUS, &status);
  return (status & SERVER_STATUS_IN_TRANS) != 0;
}

void MariadbConnection::exec(const std::string &script) {
  for (const std::string &statement : script_statements(script)) {
    query(statement);
    mysql_free_result(mysql_store_result(db_));
  }
}

StatementResult MariadbConnection::run(const std::string &sql) {
  if (stopping_.load())
    throw SqlError("comando cancelado: o serviço está parando");
  std::string statement = without_final_semicolon(sql);
  if (statement.empty())
    throw SqlError("comando vazio");
  if (sets_statement_variables(statement))
    throw SqlError(
        "SET STATEMENT recusado: o limite de tempo dos comandos é do serviço (--statement-timeout)");
  static const std::set<std::string> writes = {"INSERT", "UPDATE", "DELETE", "REPLACE"};
  hold_writes_of(statement, writes.count(first_keyword(statement)) > 0);
  query(statement);

  StatementResult result;
  unsigned count = mysql_field_count(db_);
  if (count == 0) {
    result.changes = static_cast<long long>(mysql_affected_rows(db_));
    result.last_id = static_cast<long long>(mysql_insert_id(db_));
    return result;
  }
  // Rows are read as they arrive, so that a reply past the size limit stops early.
  std::unique_ptr<MYSQL_RES, decltype(&mysql_free_result)> rows(mysql_use_result(db_), mysql_free_result);
  if (!rows)
    fail(statement);
  result.is_query = true;
  MYSQL_FIELD *fields = mysql_fetch_fields(rows.get());
  for (unsigned c = 0; c < count; ++c) {
    const MYSQL_FIELD &field = fields[c];
    ResultColumn column;
    column.name = text::upper_ascii(field.name);
    column.type.tipo = static_cast<int>(field.type);
    column.type.tamanho = static_cast<long long>(field.length);
    column.binary = field.charsetnr == binary_charset && carries_base64(column.type.tipo);
    result.columns.push_back(std::move(column));
  }
  while (MYSQL_ROW row = mysql_fetch_row(rows.get())) {
    unsigned long *lengths = mysql_fetch_lengths(rows.get());
    std::vector<std::optional<std::string>> values;
    size_t bytes = 0;
    for (unsigned c = 0; c < count; ++c) {
      if (!row[c]) {
        values.emplace_back();
        bytes += reply::value_cost(result.columns[c].name, nullptr, result.columns[c].type.tipo);
        continue;
      }
      values.emplace_back(fields[c].type == MYSQL_TYPE_BIT ? bit_number(row[c], lengths[c])
                                                           : std::string(row[c], lengths[c]));
      bytes += reply::value_cost(result.columns[c].name, &*values.back(), result.columns[c].type.tipo);
    }
    count_reply_bytes(bytes, limits_);
    result.rows.push_back(std::move(values));
  }
  if (mysql_errno(db_) != 0)
    fail(statement);
  return result;
}
